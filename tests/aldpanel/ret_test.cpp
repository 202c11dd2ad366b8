// The set tilt dialog and the RET detail window driven against the real
// interface library and the simulated demo line on the virtual clock. What
// a window wrote is checked by reading the devices again (refreshMain and a
// new table), not by what the window meant to send.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "aldpanel/bandforms.h"
#include "aldpanel/mainwindow.h"
#include "aldpanel/retdetailwindow.h"
#include "aldpanel/settiltdialog.h"
#include "tests/aldpanel/fixture.h"

using namespace aldpanel;
using namespace aldpanel::test;

namespace {

GlueExports g_real;

int RecSetDeviceData(ALDGLUE_DEVICE_DATA_REQUEST request) {
  std::string ids;
  for (const char* f = request.fields; f != nullptr && *f != 0; ++f) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(*f));
    ids += ids.empty() ? hex : std::string(" ") + hex;
  }
  Log("setDeviceData " + std::to_string(request.kind) + " " + std::to_string(request.address) +
      " " + std::to_string(request.subunit) + " [" + ids + "]");
  return g_real.setDeviceData(request);
}
int RecConfigRet(int address, int subunit, char* file) {
  Log("configRET " + std::to_string(address) + " " + std::to_string(subunit) + " " + file);
  return g_real.configRET(address, subunit, file);
}
int RecSetTilt(int address, int subunit, int tilt) {
  Log("setTilt " + std::to_string(address) + " " + std::to_string(subunit) + " " +
      std::to_string(tilt));
  return g_real.setTilt(address, subunit, tilt);
}

}  // namespace

class RetWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  GlueLibrary& glue_ = SharedGlue();
  GlueExports realExports_;
  TestHost host_;
  std::unique_ptr<MainWindow> window_;

  RetDetailWindow& Detail() { return *window_->findChild<RetDetailWindow*>(); }
  SetTiltDialog& TiltDialog() { return *window_->findChild<SetTiltDialog*>(); }

  // Scans the demo line and selects the RET row of this device serial and
  // subunit; its address.
  int Select(const QString& serial, const std::string& subunit) {
    host_.answers = {true};
    window_->ScanDevice();
    QTableWidget* grid = window_->retGrid();
    for (int r = 0; r < grid->rowCount(); ++r) {
      QTableWidgetItem* s = grid->item(r, 6);
      if (s != nullptr && s->text() == serial &&
          window_->retRowSubunits()[static_cast<size_t>(r)] == subunit) {
        grid->setCurrentCell(r, 0);
        ClearLog();
        return grid->item(r, kRetAddressColumn)->text().toInt();
      }
    }
    return -1;
  }

  // A field of the subunit as the devices hold it now.
  QString DeviceField(int address, const std::string& subunit, const char* name) {
    glue_.exports().refreshMain();
    window_->FillGrids();
    return QString::fromStdString(
        window_->FieldByName(std::to_string(address), subunit, name).value_or("?"));
  }

  // Ticks a value of the Antenna Data group with this text.
  void Tick(const char* name, const QString& text) {
    RetDetailWindow& d = Detail();
    d.edit((QString("Edit") + name).toLatin1().constData())->setText(text);
    d.check((QString("Check") + name).toLatin1().constData())->setChecked(true);
  }

 private slots:
  void initTestCase() {
    QVERIFY2(std::getenv("ALDLINK_SIM") != nullptr, "the tests need ALDLINK_SIM");
    std::vector<std::string> messages = LoadSharedGlue();
    QVERIFY2(messages.empty(), messages.empty() ? "" : messages.front().c_str());
    realExports_ = glue_.exports();
  }

  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    WriteStandardData(dir_->path());
    ClearLog();
    host_.Reset();
    GlueExports& ex = glue_.mutableExports();
    ex = realExports_;
    g_real = ex;
    ex.setDeviceData = RecSetDeviceData;
    ex.configRET = RecConfigRet;
    ex.setTilt = RecSetTilt;
    window_ = std::make_unique<MainWindow>(MakeContext(dir_->path(), host_));
  }

  void cleanup() { window_.reset(); }

  void showsTheTableDataWithOneGainAndBeamWidthPerBand() {
    const int address = Select("MR4401203977", "2");
    QVERIFY(address > 0);
    // Edit on the RET tab opens the detail window of the selected subunit.
    window_->Edit();
    QVERIFY2(Logged("dialog RETDetailSettingForm"), Dump().c_str());
    RetDetailWindow& d = Detail();
    QCOMPARE(d.retGroup()->title(),
             QString("AISG V2.x RET ( address=%1, subunit=2 )").arg(address));
    QCOMPARE(d.edit("EditBand")->text(), QString("2100/1800"));
    QCOMPARE(d.edit("EditGain")->text().count('/'), 1);
    QCOMPARE(d.edit("EditBeamWidth")->text().count('/'), 1);
    QCOMPARE(d.edit("EditMinTilt")->text(), QString("0.0"));
    QCOMPARE(d.edit("EditMaxTilt")->text(), QString("10.0"));
    QCOMPARE(d.edit("EditCurrentTilt")->text(), QString("4.0"));
    QCOMPARE(d.edit("EditMechTilt")->text(), QString("1.5"));
    QCOMPARE(d.edit("EditSiteId")->text(), QString("ENB-4711-NORTH"));
    QCOMPARE(d.edit("EditVendor")->text(), QString("Kay Antennas Ltd"));
    QCOMPARE(d.edit("EditStatus")->text(), QString("OK"));
    QVERIFY(d.edit("EditStatus")->styleSheet().contains("72, 128, 0"));
    QCOMPARE(d.edit("EditSectorId")->maxLength(), 32);
    QCOMPARE(d.edit("EditCurrentTilt")->maxLength(), 5);
    QCOMPARE(d.edit("EditAntennaSerial")->maxLength(), 17);

    // The AISG 1.1 RET: no subunit in the caption, the short text fields.
    const int old = Select("0000RE0912004471", "1");
    d.Load(old, 1);
    QCOMPARE(d.retGroup()->title(), QString("AISG V1.x RET ( address=%1 )").arg(old));
    QCOMPARE(d.edit("EditBand")->text(), QString("900/2100"));
    QCOMPARE(d.edit("EditGain")->text().count('/'), 1);
    QCOMPARE(d.edit("EditSectorId")->maxLength(), 4);
    QCOMPARE(d.edit("EditSiteId")->maxLength(), 12);
    QCOMPARE(d.edit("EditMechTilt")->text(), QString("-1.0"));

    // The uncalibrated unit's status is its alarm text, in red.
    d.Load(address, 3);
    QVERIFY(d.edit("EditStatus")->text() != "OK");
    QVERIFY(d.edit("EditStatus")->styleSheet().contains("255, 0, 0"));
  }

  void setTiltChecksFormatAndInclusiveRangeBeforeTheDeviceTurns() {
    const int address = Select("MR4401203977", "2");
    QVERIFY(address > 0);
    SetTiltDialog& dialog = TiltDialog();
    int verdicts = 0;
    host_.onDialog = [&](QDialog& d) {
      if (&d != &dialog) return int(QDialog::Rejected);
      auto* set = dialog.findChild<QPushButton*>("ButtonSetTilt");
      for (const char* tilt : {"2.55", "10.1", "-0.1"}) {
        dialog.currentTilt()->setText(tilt);
        set->click();
        verdicts += dialog.result() == QDialog::Accepted ? 0 : 1;
      }
      dialog.currentTilt()->setText("10.0");
      set->click();
      return dialog.result();
    };
    window_->SetTiltOrModeGain();
    QVERIFY2(Logged("dialog SetElectricalTiltForm"), Dump().c_str());
    QCOMPARE(dialog.minTilt()->text(), QString("0.0"));
    QCOMPARE(verdicts, 3);
    QVERIFY(Logged("message error [Set Tilt] The decimal format is not correct."));
    QCOMPARE(CountOf("message error [Set Tilt] Out of range error!"), 2);
    QCOMPARE(CountOf("setTilt"), 1);
    QVERIFY(Logged("setTilt " + std::to_string(address) + " 2 100"));
    QVERIFY2(Logged("message information [Set Tilt] Set tilt success."), Dump().c_str());
    QCOMPARE(DeviceField(address, "2", "Current Tilt"), QString("100"));

    // The detail window's own Set tilt: the minimum itself is in range.
    RetDetailWindow& d = Detail();
    d.Load(address, 2);
    d.edit("EditCurrentTilt")->setText("0.0");
    ClearLog();
    d.SetTilt();
    QVERIFY2(Logged("setTilt " + std::to_string(address) + " 2 0"), Dump().c_str());
    QCOMPARE(d.edit("EditCurrentTilt")->text(), QString("0.0"));
    QCOMPARE(DeviceField(address, "2", "Current Tilt"), QString("0"));
  }

  void savingOnlySiteIdWritesTheSiteIdAlone() {
    const int address = Select("MR4401203977", "1");
    RetDetailWindow& d = Detail();
    d.Load(address, 1);
    Tick("SiteId", "ENB-0042");
    // Changed but not ticked: not written.
    d.edit("EditInstallerId")->setText("ZZ999");
    d.SaveSelected();
    QVERIFY2(Logged("setDeviceData 17 " + std::to_string(address) + " 1 [23]"), Dump().c_str());
    QVERIFY(Logged("message information [Save Device Data] Process is finished."));
    QVERIFY(!d.check("CheckSiteId")->isChecked());
    QCOMPARE(d.edit("EditSiteId")->text(), QString("ENB-0042"));
    QCOMPARE(d.edit("EditInstallerId")->text(), QString("JM042"));
    QCOMPARE(DeviceField(address, "1", "Site ID"), QString("ENB-0042"));
    QCOMPARE(DeviceField(address, "1", "Installer ID"), QString("JM042"));
  }

  void refusedValuesNameTheirFieldKeepTheInputAndWriteNothing() {
    const int old = Select("0000RE0912004471", "1");
    RetDetailWindow& d = Detail();
    d.Load(old, 1);
    Tick("MechTilt", "12.8");
    d.SaveSelected();
    QVERIFY2(Logged("message error [Save Device Data] Out of range error ( Min Mechanical Tilt: "
                    "-12.8  , Max Mechanical Tilt: 12.7 )"),
             Dump().c_str());
    QCOMPARE(d.edit("EditMechTilt")->text(), QString("12.8"));
    QVERIFY(d.check("CheckMechTilt")->isChecked());
    d.check("CheckMechTilt")->setChecked(false);
    for (const char* bearing : {"3601", "-1"}) {
      Tick("Bearing", bearing);
      d.SaveSelected();
    }
    QCOMPARE(CountOf("message error [Save Device Data] Out of range error ( Min Bearing: 0  , "
                     "Max Bearing: 3600 )"),
             2);
    d.check("CheckBearing")->setChecked(false);
    Tick("Gain", "25.6");
    d.SaveSelected();
    QVERIFY2(Logged("message error [Save Device Data] Antenna Gain: 25.6 does not fit the "
                    "device's field (0 to 25.5 dBi)."),
             Dump().c_str());
    d.check("CheckGain")->setChecked(false);
    Tick("BeamWidth", "65/300");  // one byte per beam width on AISG 1.x
    d.SaveSelected();
    QVERIFY(
        Logged("message error [Save Device Data] Beam Width: 300 does not fit the device's "
               "field (0 to 255 degrees)."));
    QCOMPARE(CountOf("setDeviceData"), 0);
    QCOMPARE(DeviceField(old, "1", "Mech. Tilt"), QString("-10"));

    // The same tilt fits the AISG 2.0 field; the largest bearing is in range.
    const int address = Select("MR4401203977", "3");
    d.Load(address, 3);
    Tick("MechTilt", "12.8");
    Tick("Bearing", "3600");
    d.SaveSelected();
    QVERIFY2(Logged("setDeviceData 17 " + std::to_string(address) + " 3 [25 26]"), Dump().c_str());
    QCOMPARE(DeviceField(address, "3", "Mech. Tilt"), QString("128"));
    QCOMPARE(DeviceField(address, "3", "Bearing"), QString("3600"));
  }

  void twoBandAntennaKeepsEachValueAtItsBand() {
    const int em = Select("12345678", "1");
    RetDetailWindow& d = Detail();
    d.Load(em, 1);
    QCOMPARE(d.edit("EditBand")->text(), QString("2100/1800"));
    Tick("Gain", "12.5/15.0");
    Tick("BeamWidth", "60/70");
    d.SaveSelected();
    QVERIFY2(Logged("setDeviceData 1 " + std::to_string(em) + " 1 [05 04]"), Dump().c_str());
    // The device keeps band 1 (2100) first, band 3 (1800) second.
    QCOMPARE(DeviceField(em, "1", "Antenna Gain"), QString("7d960000"));
    QCOMPARE(DeviceField(em, "1", "Beam Width"), QString("3c00460000000000"));
    d.Load(em, 1);
    QCOMPARE(d.edit("EditGain")->text(), QString("12.5/15.0"));
    QCOMPARE(d.edit("EditBeamWidth")->text(), QString("60/70"));
  }

  void bandChoiceKeepsEachBandsValuesInTheirPlacesOnTheDevice() {
    const int em = Select("12345678", "1");
    RetDetailWindow& d = Detail();
    d.Load(em, 1);
    // Known values first: band 1 (2100) 12.5 dBi and 60 degrees, band 3
    // (1800) 15.0 dBi and 70 degrees.
    Tick("Gain", "12.5/15.0");
    Tick("BeamWidth", "60/70");
    d.SaveSelected();
    d.Load(em, 1);
    QCOMPARE(d.edit("EditBand")->text(), QString("2100/1800"));

    // Band 2 (1900) joins between them: each old band keeps its value.
    std::vector<int> tick = {2};
    host_.onDialog = [&](QDialog& dialog) {
      auto* form = qobject_cast<Aisg2xBandForm*>(&dialog);
      if (form == nullptr) return int(QDialog::Rejected);
      for (int band : tick) {
        if (band < 0) {
          form->extendedBox(-band)->setChecked(true);
        } else {
          form->bandBox(band)->setChecked(true);
        }
      }
      form->applyButton()->click();
      return form->result();
    };
    d.button("ButtonSelBand")->click();
    QVERIFY2(Logged("dialog AISG2xBandForm"), Dump().c_str());
    QCOMPARE(d.edit("EditBand")->text(), QString("2100/1900/1800"));
    QCOMPARE(d.edit("EditGain")->text(), QString("12.5/0.0/15.0"));
    QCOMPARE(d.edit("EditBeamWidth")->text(), QString("60/0/70"));
    // Moved values are written with the bands.
    QVERIFY(d.check("CheckBand")->isChecked());
    QVERIFY(d.check("CheckGain")->isChecked());
    QVERIFY(d.check("CheckBeamWidth")->isChecked());
    d.edit("EditGain")->setText("12.5/14.0/15.0");
    d.edit("EditBeamWidth")->setText("60/65/70");
    d.SaveSelected();
    QVERIFY2(Logged("setDeviceData 1 " + std::to_string(em) + " 1 [05 04 03]"), Dump().c_str());
    QCOMPARE(DeviceField(em, "1", "Freq. Band").left(4), QString("3800"));
    QCOMPARE(DeviceField(em, "1", "Antenna Gain"), QString("7d8c9600"));
    QCOMPARE(DeviceField(em, "1", "Beam Width"), QString("3c00410046000000"));
    d.Load(em, 1);
    QCOMPARE(d.edit("EditGain")->text(), QString("12.5/14.0/15.0"));
    QCOMPARE(d.edit("EditBeamWidth")->text(), QString("60/65/70"));

    // A band of the first extended word asks for field 0x08 as well.
    ClearLog();
    tick = {-1, 20};
    d.button("ButtonSelBand")->click();
    QCOMPARE(d.edit("EditGain")->text(), QString("12.5/14.0/15.0/0.0"));
    d.SaveSelected();
    QVERIFY2(Logged("setDeviceData 1 " + std::to_string(em) + " 1 [05 04 03 08]"), Dump().c_str());
    QCOMPARE(DeviceField(em, "1", "Freq. Band").mid(4, 4), QString("2000"));

    // Cancel changes nothing and ticks nothing.
    d.Load(em, 1);
    const QString before = d.edit("EditBand")->text();
    host_.onDialog = [](QDialog&) { return int(QDialog::Rejected); };
    d.button("ButtonSelBand")->click();
    QCOMPARE(d.edit("EditBand")->text(), before);
    QVERIFY(!d.check("CheckBand")->isChecked());
  }

  void modelListComesFromTheCatalogueAndItsFileIsUploaded() {
    QDir work(dir_->path());
    work.mkpath("acf/RET/KA");
    QVERIFY(WriteFile(work.filePath("acf/RET/KA/K-9000.acf"), "config bytes\n"));
    QVERIFY(WriteFile(work.filePath("acf/RET/KA/K-1000.acf"), "config bytes\n"));
    QVERIFY(WriteFile(work.filePath("acf/RET/KA/notes.txt"), "not a model\n"));
    WriteFile(work.filePath("data/KA_default_model_full_name.tbl"),
              "K-9000=A 9000\nK-1000=Z 1000\n");
    const int address = Select("MR4401203977", "1");
    RetDetailWindow& d = Detail();
    d.Load(address, 1);
    QComboBox* list = d.modelList();
    // Sorted by full name; the current model, without a file, is there too.
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->itemText(0), QString("A 9000"));
    QCOMPARE(list->itemText(2), QString("Z 1000"));
    QCOMPARE(list->currentData().toString(), QString("AX-3M65-18V"));

    // Cancelling the question writes nothing at all.
    list->setCurrentIndex(0);
    d.check("CheckAntennaModel")->setChecked(true);
    Tick("SiteId", "X");
    host_.answers = {false};
    d.SaveSelected();
    QCOMPARE(CountOf("setDeviceData"), 0);
    QCOMPARE(CountOf("configRET"), 0);

    list->setCurrentIndex(0);
    d.check("CheckAntennaModel")->setChecked(true);
    d.SaveSelected();
    const std::string path = dir_->path().toStdString() + "/acf/RET/KA/K-9000.acf";
    QVERIFY2(Logged("configRET " + std::to_string(address) + " 1 " + path), Dump().c_str());
    QVERIFY(Logged("setDeviceData 17 " + std::to_string(address) + " 1 [01]"));
    QVERIFY(
        Logged("message information [Save Device Data] A new Antenna Model has been saved.\n"
               "Please verify that the Frequency Band, Beam Width and\nAntenna Gain displayed "
               "for the new model is correct."));
    QCOMPARE(DeviceField(address, "1", "Antenna Model"), QString("K-9000"));

    // A model whose file went missing is not written.
    QVERIFY(QFile::remove(work.filePath("acf/RET/KA/K-1000.acf")));
    d.Load(address, 1);
    WriteFile(work.filePath("data/error_code.tbl"), "0=OK\n122=File not found\n");
    const int index = list->findData("K-1000");
    QVERIFY(index < 0);  // gone from the list with its file
    ClearLog();
    list->addItem("Z 1000", "K-1000");
    list->setCurrentIndex(list->count() - 1);
    d.check("CheckAntennaModel")->setChecked(true);
    Tick("SiteId", "SITE-7");
    d.SaveSelected();
    QVERIFY2(Logged("message error [Save Device Data] File not found"), Dump().c_str());
    QCOMPARE(CountOf("configRET"), 0);
    QVERIFY(Logged("setDeviceData 17 " + std::to_string(address) + " 1 [23]"));
    QCOMPARE(DeviceField(address, "1", "Antenna Model"), QString("K-9000"));
  }

  void calibrateAndDownloadAskFirst() {
    const int address = Select("MR4401203977", "3");
    RetDetailWindow& d = Detail();
    d.Load(address, 3);
    host_.answers = {false};
    d.Calibrate();
    QCOMPARE(CountOf("start"), 0);
    host_.answers = {true};
    d.Calibrate();
    QVERIFY2(Logged("start [Calibrate]"), Dump().c_str());
    QVERIFY(Logged("message information [Calibrate] Process is finished."));
    QCOMPARE(d.edit("EditStatus")->text(), QString("OK"));  // calibrated now

    // Self Test and Clear Alarm are the main window's, on the same unit.
    ClearLog();
    d.button("ButtonSelfTest")->click();
    d.button("ButtonClearAlarm")->click();
    QVERIFY2(Logged("start [Self Test]"), Dump().c_str());
    QVERIFY(Logged("message information [Clear Alarms] Process is finished."));

    ClearLog();
    host_.files = {"", dir_->path().toStdString() + "/missing.bin"};
    d.DownloadSoftware();
    d.DownloadSoftware();
    QCOMPARE(CountOf("open [Download Software] Binary files (*.bin *.hex)|*.bin;*.hex|All files "
                     "(*.*)|*.*"),
             2);
    QCOMPARE(CountOf("message error [Download Software] File does not exist!"), 1);
    QCOMPARE(CountOf("ask"), 0);
    const std::string image = dir_->path().toStdString() + "/image.bin";
    QVERIFY(WriteFile(QString::fromStdString(image), QByteArray(1000, 'x')));
    host_.files = {image, image};
    host_.answers = {false};
    d.DownloadSoftware();
    QVERIFY(
        Logged("ask [Download Software] Download software may BREAK this device ! \n\nARE "
               "YOU SURE YOU WANT TO DOWNLOAD SOFTWARE TO DEVICE?\n\nSoftware file name "
               ":\n\n  " +
               image));
    QCOMPARE(CountOf("start"), 0);
    d.DownloadSoftware();
    QVERIFY2(Logged("start [Download Software] [1000]"), Dump().c_str());
    QCOMPARE(CountOf("message information [Download Software] For old version"), 0);
  }
  // Runs on its own site (ret_an.site).
  void commaLocaleSectorControlAndThePowerCycleHint() {
    if (!QString(std::getenv("ALDLINK_SIM")).endsWith("ret_an.site")) QSKIP("needs ret_an.site");
    QVERIFY(WriteFile(dir_->path() + "/sectorControl.conf", "AN\n"));
    PanelContext context = MakeContext(dir_->path(), host_);
    context.decimalSeparator = ',';
    window_ = std::make_unique<MainWindow>(context);
    const int address = Select("AN0000001", "1");
    QVERIFY(address > 0);
    RetDetailWindow& d = Detail();
    d.Load(address, 1);
    QCOMPARE(d.edit("EditSectorId")->text(), QString("1"));
    QCOMPARE(d.edit("EditMaxTilt")->text(), QString("10,0"));
    QCOMPARE(d.edit("EditGain")->text(), QString("17,0/17,5"));

    for (const char* tilt : {"2,55", "2.5", "2,5"}) {
      d.edit("EditCurrentTilt")->setText(tilt);
      d.SetTilt();
    }
    QVERIFY(Logged("message error [Set Tilt] The decimal format is not correct."));
    QVERIFY(Logged("message error [Set Tilt] Current Tilt: \"2.5\" is not a tilt in degrees."));
    QCOMPARE(CountOf("setTilt"), 1);
    QVERIFY2(Logged("setTilt " + std::to_string(address) + " 1 25"), Dump().c_str());
    QCOMPARE(d.edit("EditCurrentTilt")->text(), QString("2,5"));

    // One-based on the screen, zero-based on the device.
    Tick("SectorId", "3");
    Tick("Gain", "16,5/17,5");
    d.SaveSelected();
    QCOMPARE(DeviceField(address, "1", "Sector ID"), QString("2"));
    QCOMPARE(DeviceField(address, "1", "Antenna Gain").left(6), QString("a5af00"));
    d.Load(address, 1);
    QCOMPARE(d.edit("EditSectorId")->text(), QString("3"));

    const std::string image = dir_->path().toStdString() + "/image.bin";
    QVERIFY(WriteFile(QString::fromStdString(image), QByteArray(64, 'x')));
    host_.files = {image};
    ClearLog();
    d.DownloadSoftware();
    QVERIFY2(Logged("message information [Download Software] For old version software, you need "
                    "to reset device's power to activate new software.\nYou can disconnect and "
                    "connect back AISG cable to reset power."),
             Dump().c_str());
  }
};

QTEST_MAIN(RetWindowTest)
#include "ret_test.moc"
