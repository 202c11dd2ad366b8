// The TMA detail window, the mode and gain window and the set gain dialog,
// driven through the main window against the real interface library and the
// in-process simulated line (tma.site) on the virtual clock. What a window
// sent is checked by reading the device back through the flat interface.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <memory>
#include <string>

#include "aldpanel/bandforms.h"
#include "aldpanel/core/bands.h"
#include "aldpanel/mainwindow.h"
#include "aldpanel/setgaindialog.h"
#include "aldpanel/tmadetailwindow.h"
#include "tests/aldpanel/fixture.h"

using namespace aldpanel;
using namespace aldpanel::test;

namespace {

GlueExports g_real;

int RecSetGain(int a, int s, int g) {
  Log("setGain " + std::to_string(a) + " " + std::to_string(s) + " " + std::to_string(g));
  return g_real.setGain(a, s, g);
}
int RecSetMode(int a, int s, int m) {
  Log("setMode " + std::to_string(a) + " " + std::to_string(s) + " " + std::to_string(m));
  return g_real.setMode(a, s, m);
}
int RecDownloadTma(int a, char* file) {
  Log("downloadSoftwareTMA " + std::to_string(a) + " " + file);
  return g_real.downloadSoftwareTMA(a, file);
}
int RecSetDeviceData(ALDGLUE_DEVICE_DATA_REQUEST r) {
  std::string ids;
  static const char* hex = "0123456789abcdef";
  for (const char* f = r.fields; *f != 0; ++f) {
    ids += hex[(*f >> 4) & 15];
    ids += hex[*f & 15];
    ids += ' ';
  }
  Log("setDeviceData " + std::to_string(r.kind) + " " + std::to_string(r.address) + " " +
      std::to_string(r.subunit) + " " + ids);
  return g_real.setDeviceData(r);
}
int RecSelfTestTma(int a) {
  Log("selfTestTMA " + std::to_string(a));
  return g_real.selfTestTMA(a);
}

// What the device holds now, read through the flat interface.
int DeviceGain(int address, int subunit) {
  int gain = -1;
  int result = g_real.getGain(address, subunit, &gain);
  return result == 0 ? gain : -1000 - result;
}
int DeviceMode(int address, int subunit) {
  int mode = -1;
  int result = g_real.getMode(address, subunit, &mode);
  return result == 0 ? mode : -1000 - result;
}

}  // namespace

class TmaWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  GlueLibrary& glue_ = SharedGlue();
  GlueExports realExports_;
  TestHost host_;
  std::unique_ptr<MainWindow> window_;

  struct Unit {
    int row = -1;
    int address = -1;
    int subunit = -1;
  };

  // Selects the TMA row of this serial number and subunit.
  Unit Select(const QString& serial, int subunit = 1) {
    MainWindow& w = *window_;
    w.tabs()->setCurrentWidget(w.tmaTab());
    Unit u;
    for (int r = 0; r < w.tmaGrid()->rowCount(); ++r) {
      QTableWidgetItem* item = w.tmaGrid()->item(r, 6);
      if (item != nullptr && item->text() == serial &&
          w.tmaRowSubunits()[static_cast<size_t>(r)] == std::to_string(subunit)) {
        u.row = r;
      }
    }
    if (u.row < 0) return u;
    w.tmaGrid()->setCurrentCell(u.row, 0);
    u.address = w.tmaGrid()->item(u.row, kTmaAddressColumn)->text().toInt();
    u.subunit = std::stoi(w.tmaRowSubunits()[static_cast<size_t>(u.row)]);
    return u;
  }

  // A field of the unit as a new scan reads it from the device.
  std::string Rescanned(const Unit& u, const char* name) {
    host_.answers = {true};
    window_->ScanDevice();
    return window_->FieldByName(std::to_string(u.address), std::to_string(u.subunit), name)
        .value_or("(absent)");
  }

  // Opens the detail window of the selected row through the Edit button.
  TmaDetailWindow* Edit() {
    window_->Edit();
    return window_->tmaDetailWindow();
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
    host_.Reset();
    glue_.mutableExports() = realExports_;
    GlueExports& ex = glue_.mutableExports();
    g_real = ex;
    ex.setGain = RecSetGain;
    ex.setMode = RecSetMode;
    ex.selfTestTMA = RecSelfTestTma;
    ex.downloadSoftwareTMA = RecDownloadTma;
    ex.setDeviceData = RecSetDeviceData;
    window_ = std::make_unique<MainWindow>(MakeContext(dir_->path(), host_));
    host_.answers = {true};
    window_->ScanDevice();
    ClearLog();
  }

  void cleanup() { window_.reset(); }

  void detailWindowShowsQuarterGainsRangeBandsAndType() {
    MainWindow& w = *window_;
    Unit u = Select("TQ25010001", 1);
    QVERIFY(u.row >= 0);
    // The grid shows the quarter too.
    QCOMPARE(w.tmaGrid()->item(u.row, kTmaGainColumn)->text(), QString("11.25"));
    TmaDetailWindow* d = Edit();
    QVERIFY(d != nullptr);
    QVERIFY2(Logged("dialog TMADetailSettingForm"), Dump().c_str());
    QCOMPARE(d->windowTitle(), QString("TMA Detail Setting"));
    QCOMPARE(d->tmaGroup()->title(),
             QString("AISG V2.x TMA ( address=%1, subunit=1 )").arg(u.address));
    QCOMPARE(d->status()->text(), QString("OK"));
    QCOMPARE(d->minGain()->text(), QString("0"));
    QCOMPARE(d->maxGain()->text(), QString("12.75"));
    QCOMPARE(d->resolution()->text(), QString("0.25"));
    QCOMPARE(d->gainList()->count(), 52);
    QCOMPARE(d->gainList()->itemText(50), QString("12.5"));
    QCOMPARE(d->gainList()->currentText(), QString("11.25"));
    QCOMPARE(d->rxLower()->text(), QString("1710.0"));
    QCOMPARE(d->rxUpper()->text(), QString("1785.0"));
    QCOMPARE(d->txLower()->text(), QString("1805.0"));
    QCOMPARE(d->txUpper()->text(), QString("1880.0"));
    QCOMPARE(d->modeList()->currentText(), QString("Normal"));
    // An AISG 2.0 unit has no type field: its supported-functions flag says
    // bypass only.
    QVERIFY(d->bypassBox()->isChecked());
    QVERIFY(!d->vswrBox()->isChecked());
    QVERIFY(!d->bypassBox()->isEnabled());
    // Antenna data in the device field's order, one value per band.
    QCOMPARE(d->edit(TmaDetailWindow::kFreqBand)->text(), QString("1800"));
    QCOMPARE(d->edit(TmaDetailWindow::kAntennaGain)->text(), QString("12.5"));
    QCOMPARE(d->edit(TmaDetailWindow::kBeamWidth)->text(), QString("65"));
    QCOMPARE(d->edit(TmaDetailWindow::kSiteId)->text(), QString("ENB-TMA-TEST"));
    QCOMPARE(d->edit(TmaDetailWindow::kSiteId)->maxLength(), 32);
    QCOMPARE(d->edit(TmaDetailWindow::kAntennaModel)->maxLength(), 15);
    // Get Gain reads 45 quarters: 11.25, not 11.
    ClearLog();
    d->findChild<QPushButton*>("ButtonGetGain")->click();
    QVERIFY2(Logged("message information [Get Gain] Gain : 11.25"), Dump().c_str());
  }

  void halfDecibelListAndTheAisg1TypeBits() {
    Unit u = Select("TQ25010001", 2);
    TmaDetailWindow* d = Edit();
    QCOMPARE(d->gainList()->count(), 25);
    QCOMPARE(d->gainList()->itemText(0), QString("0"));
    QCOMPARE(d->gainList()->itemText(1), QString("0.5"));
    QCOMPARE(d->gainList()->itemText(24), QString("12"));
    QCOMPARE(d->gainList()->currentText(), QString("5.5"));
    QCOMPARE(d->resolution()->text(), QString("0.5"));
    QCOMPARE(d->rxLower()->text(), QString("1920.0"));

    // The AISG 1.1 unit: type 3 ticks both boxes, no subunit in the caption,
    // the shorter identifier fields.
    u = Select("TM1108000001");
    QVERIFY(u.row >= 0);
    d = Edit();
    QVERIFY(d->bypassBox()->isChecked());
    QVERIFY(d->vswrBox()->isChecked());
    QCOMPARE(d->tmaGroup()->title(), QString("AISG V1.x TMA ( address=%1 )").arg(u.address));
    QCOMPARE(d->edit(TmaDetailWindow::kSiteId)->maxLength(), 12);
    QCOMPARE(d->edit(TmaDetailWindow::kSectorId)->maxLength(), 4);
    QCOMPARE(d->minGain()->text(), QString("4"));
    QCOMPARE(d->gainList()->currentText(), QString("8"));
    QCOMPARE(d->txUpper()->text(), QString("960.0"));
    // The AISG 1.1 unit's step field is in quarter decibels as well: 2 is
    // 0.5 dB, and 4.25 dB is no gain it can set.
    QCOMPARE(d->resolution()->text(), QString("0.5"));
    QCOMPARE(d->gainList()->count(), 17);
    QCOMPARE(d->gainList()->itemText(1), QString("4.5"));
    ClearLog();
    d->gainList()->setEditText("4.25");
    d->findChild<QPushButton*>("ButtonSetGain")->click();
    QCOMPARE(CountOf("setGain"), 0);
    QVERIFY2(CountOf("message error [Set Gain] Current Gain (dB): 4.25 dB") == 1, Dump().c_str());
  }

  void setGainSendsOnlyValuesTheDeviceTakes() {
    MainWindow& w = *window_;
    Unit half = Select("TQ25010001", 2);
    TmaDetailWindow* d = Edit();
    // 5.6 on a 0.5 dB step: refused, naming the neighbours, nothing sent.
    d->gainList()->setEditText("5.6");
    d->findChild<QPushButton*>("ButtonSetGain")->click();
    QVERIFY2(Logged("message error [Set Gain] Current Gain (dB): 5.6 dB is not a gain this TMA "
                    "can set (steps of 0.5 dB from 0 dB).\nNearest valid values: 5.5 dB and 6 "
                    "dB"),
             Dump().c_str());
    QCOMPARE(CountOf("setGain"), 0);
    QCOMPARE(DeviceGain(half.address, half.subunit), 22);
    // Above the 12 dB maximum.
    ClearLog();
    d->gainList()->setEditText("12.5");
    d->findChild<QPushButton*>("ButtonSetGain")->click();
    QVERIFY2(CountOf("message error [Set Gain] Out of range error!") == 1, Dump().c_str());
    QCOMPARE(CountOf("setGain"), 0);
    // A value from the list: sent in quarters, held by the device, shown.
    ClearLog();
    d->gainList()->setCurrentIndex(13);  // 6.5
    d->findChild<QPushButton*>("ButtonSetGain")->click();
    QVERIFY2(Logged("setGain " + std::to_string(half.address) + " 2 26"), Dump().c_str());
    QVERIFY(Logged("message information [Set Gain] Set gain success."));
    QCOMPARE(DeviceGain(half.address, half.subunit), 26);
    QCOMPARE(d->gainList()->currentText(), QString("6.5"));
    QCOMPARE(w.tmaGrid()->item(half.row, kTmaGainColumn)->text(), QString("6.5"));
    // Typed with blanks around it: 5.5 dB is 22 quarters.
    ClearLog();
    d->gainList()->setEditText(" 5.5 ");
    d->findChild<QPushButton*>("ButtonSetGain")->click();
    QVERIFY2(Logged("setGain " + std::to_string(half.address) + " 2 22"), Dump().c_str());
    QCOMPARE(DeviceGain(half.address, half.subunit), 22);

    // 12.5 lies inside a 12.75 dB maximum.
    Unit quarter = Select("TQ25010001", 1);
    d = Edit();
    ClearLog();
    d->gainList()->setEditText("12.5");
    d->findChild<QPushButton*>("ButtonSetGain")->click();
    QVERIFY2(Logged("setGain " + std::to_string(quarter.address) + " 1 50"), Dump().c_str());
    QCOMPARE(DeviceGain(quarter.address, quarter.subunit), 50);
    // Get Gain shows the quarters.
    ClearLog();
    d->findChild<QPushButton*>("ButtonGetGain")->click();
    QVERIFY2(Logged("message information [Get Gain] Gain : 12.5"), Dump().c_str());
  }

  void setAndGetModeAndTheReducedWindowMadeAnew() {
    MainWindow& w = *window_;
    Unit u = Select("TQ25010001", 1);
    QCOMPARE(w.setTiltButton()->text(), QString("Set Mode/Gain"));
    // The mode and gain window: only its groups, the data of the unit it
    // was opened for; bypass set from it reaches the device.
    QString title, caption, maximum;
    bool antennaShown = true;
    host_.onDialog = [&](QDialog& dialog) {
      auto* sub = qobject_cast<TmaDetailWindow*>(&dialog);
      if (sub == nullptr) return int(QDialog::Rejected);
      title = sub->windowTitle();
      caption = sub->tmaGroup()->title();
      maximum = sub->maxGain()->text();
      antennaShown = sub->antennaGroup()->isVisibleTo(sub);
      sub->modeList()->setCurrentText("Bypass");
      sub->findChild<QPushButton*>("ButtonSetMode")->click();
      return int(QDialog::Accepted);
    };
    w.setTiltButton()->click();
    QVERIFY2(Logged("dialog TMADetailSettingFormSub"), Dump().c_str());
    QCOMPARE(title, QString("Set Mode / Gain"));
    QVERIFY(!antennaShown);
    QCOMPARE(maximum, QString("12.75"));
    QVERIFY(Logged("setMode " + std::to_string(u.address) + " 1 1"));
    QVERIFY2(Logged("message information [Set Mode] Mode : Bypass"), Dump().c_str());
    QCOMPARE(DeviceMode(u.address, u.subunit), 1);
    QCOMPARE(w.tmaGrid()->item(u.row, 8)->text(), QString("Bypass"));

    // Pressed again on the other unit: a new window with that unit's range.
    Unit other = Select("TQ25010001", 2);
    host_.onDialog = [&](QDialog& dialog) {
      auto* sub = qobject_cast<TmaDetailWindow*>(&dialog);
      if (sub != nullptr) maximum = sub->maxGain()->text();
      if (sub != nullptr) caption = sub->tmaGroup()->title();
      return int(QDialog::Accepted);
    };
    w.setTiltButton()->click();
    QCOMPARE(maximum, QString("12"));
    QVERIFY(caption.endsWith("subunit=2 )"));

    // Get Mode in the detail window reads the device.
    host_.onDialog = nullptr;
    u = Select("TQ25010001", 1);
    TmaDetailWindow* d = Edit();
    QCOMPARE(d->modeList()->currentText(), QString("Bypass"));
    ClearLog();
    d->findChild<QPushButton*>("ButtonGetMode")->click();
    QVERIFY2(Logged("message information [Get Mode] Mode : Bypass"), Dump().c_str());
    // A blank mode sends nothing.
    ClearLog();
    d->modeList()->setCurrentIndex(2);
    d->findChild<QPushButton*>("ButtonSetMode")->click();
    QCOMPARE(CountOf("setMode"), 0);
    QVERIFY(LogLines().empty());
    (void)other;
  }

  void selfTestRunsOnTheUnitAndShowsTheDataAgain() {
    Unit u = Select("TQ25010001", 2);
    TmaDetailWindow* d = Edit();
    ClearLog();
    d->findChild<QPushButton*>("ButtonSelfTest")->click();
    QVERIFY2(Logged("selfTestTMA " + std::to_string(u.address)), Dump().c_str());
    QVERIFY(Logged("message information [Self Test] Process is finished."));
    QCOMPARE(d->status()->text(), QString("OK"));
  }

  void downloadAsksFirstAndSendsTheChosenFile() {
    Unit u = Select("TM1108000001");
    TmaDetailWindow* d = Edit();
    QPushButton* download = d->findChild<QPushButton*>("ButtonDownloadSoftware");
    const QString file = dir_->path() + "/tma-4.1.bin";
    QVERIFY(WriteFile(file, QByteArray(700, '\x5a')));
    // Cancelled choice, a file that is not there, a No to the question:
    // nothing reaches the device.
    host_.files = {"", (dir_->path() + "/missing.bin").toStdString(), file.toStdString()};
    host_.answers = {false};
    download->click();
    download->click();
    download->click();
    QVERIFY2(Logged("open [Download Software] Binary files (*.bin *.hex)|*.bin;*.hex|All files "
                    "(*.*)|*.*"),
             Dump().c_str());
    QCOMPARE(CountOf("message error [Download Software] File does not exist!"), 1);
    QCOMPARE(CountOf("ask [Download Software] Download software may BREAK this device !"), 1);
    QCOMPARE(CountOf("downloadSoftwareTMA"), 0);
    // Confirmed: the file goes to the unit, with its size for the busy
    // window, and no power-cycle hint follows.
    ClearLog();
    host_.files = {file.toStdString()};
    host_.answers = {true};
    download->click();
    QVERIFY2(Logged("downloadSoftwareTMA " + std::to_string(u.address) + " " + file.toStdString()),
             Dump().c_str());
    QVERIFY(CountOf("start [Download Software] [700]") == 1);
    QCOMPARE(CountOf("message information [Download Software]"), 1);
    QCOMPARE(CountOf("message information [Download Software] For old version"), 0);
  }

  void saveWritesTheTickedFieldsInOrderAndTheDeviceHoldsThem() {
    Unit u = Select("TQ25010001", 1);
    TmaDetailWindow* d = Edit();
    auto tick = [d](TmaDetailWindow::Item item, const char* text) {
      d->edit(item)->setText(text);
      d->check(item)->setChecked(true);
    };
    QPushButton* save = d->findChild<QPushButton*>("ButtonSaveSelected");
    // Site ID alone: the single identifier 0x23.
    tick(TmaDetailWindow::kSiteId, "SITE-TMA-9");
    save->click();
    const std::string prefix =
        "setDeviceData 2 " + std::to_string(u.address) + " " + std::to_string(u.subunit) + " ";
    QVERIFY2(Logged(prefix + "23 "), Dump().c_str());
    QVERIFY(!d->check(TmaDetailWindow::kSiteId)->isChecked());
    QCOMPARE(Rescanned(u, "Site ID"), std::string("SITE-TMA-9"));
    // Typing into a value ticks it.
    d = Edit();
    QVERIFY(!d->check(TmaDetailWindow::kBearing)->isChecked());
    QTest::keyClicks(d->edit(TmaDetailWindow::kBearing), "5");
    QVERIFY(d->check(TmaDetailWindow::kBearing)->isChecked());
    d->check(TmaDetailWindow::kBearing)->setChecked(false);

    // Every item at once, in the writing order; the model asks first.
    d = Edit();
    ClearLog();
    tick(TmaDetailWindow::kSectorId, "TQ9");
    tick(TmaDetailWindow::kInstallerId, "QB002");
    tick(TmaDetailWindow::kInstallDate, "261208");
    tick(TmaDetailWindow::kBearing, "2700");
    tick(TmaDetailWindow::kMechTilt, "-2.5");
    tick(TmaDetailWindow::kAntennaSerial, "AXQ-77");
    tick(TmaDetailWindow::kAntennaGain, "13.5");
    tick(TmaDetailWindow::kBeamWidth, "60");
    tick(TmaDetailWindow::kAntennaModel, "AX-NEW-1");
    host_.answers = {true};
    d->findChild<QPushButton*>("ButtonSaveSelected")->click();
    QVERIFY(Logged("ask [Save Device Data] Are you sure you want to change ANTENNA MODEL?"));
    QVERIFY2(Logged(prefix + "24 22 21 25 26 02 05 04 01 "), Dump().c_str());
    QVERIFY(CountOf("message information [Save Device Data] A new Antenna Model") == 1);
    QCOMPARE(Rescanned(u, "Sector ID"), std::string("TQ9"));
    QCOMPARE(Rescanned(u, "Installer ID"), std::string("QB002"));
    QCOMPARE(Rescanned(u, "Installation Date"), std::string("261208"));
    QCOMPARE(Rescanned(u, "Bearing"), std::string("2700"));
    QCOMPARE(Rescanned(u, "Mech. Tilt"), std::string("-25"));
    QCOMPARE(Rescanned(u, "Antenna Serial No."), std::string("AXQ-77"));
    QCOMPARE(Rescanned(u, "Antenna Gain").substr(0, 2), std::string("87"));  // 135 tenths
    QCOMPARE(Rescanned(u, "Beam Width").substr(0, 4), std::string("3c00"));
    QCOMPARE(Rescanned(u, "Antenna Model"), std::string("AX-NEW-1"));
    d = Edit();
    QCOMPARE(d->edit(TmaDetailWindow::kAntennaGain)->text(), QString("13.5"));
    QCOMPARE(d->edit(TmaDetailWindow::kMechTilt)->text(), QString("-2.5"));
  }

  void saveRefusesWhatTheFieldsCannotHoldAndSendsNothing() {
    Unit u = Select("TQ25010001", 2);
    TmaDetailWindow* d = Edit();
    QPushButton* save = d->findChild<QPushButton*>("ButtonSaveSelected");
    const char* refused[][2] = {{"25.6", "Antenna Gain"}, {"12345", "Installation Date"}};
    TmaDetailWindow::Item items[] = {TmaDetailWindow::kAntennaGain, TmaDetailWindow::kInstallDate};
    for (int i = 0; i < 2; ++i) {
      ClearLog();
      d->edit(items[i])->setText(refused[i][0]);
      d->check(items[i])->setChecked(true);
      save->click();
      QVERIFY2(CountOf(std::string("message error [Save Device Data] ") + refused[i][1]) == 1,
               Dump().c_str());
      QCOMPARE(CountOf("setDeviceData"), 0);
      // The input stays for correcting.
      QCOMPARE(d->edit(items[i])->text(), QString(refused[i][0]));
      d->check(items[i])->setChecked(false);
    }
    // Mechanical tilt 12.8 fits an AISG 2.0 unit.
    ClearLog();
    d->edit(TmaDetailWindow::kMechTilt)->setText("12.8");
    d->check(TmaDetailWindow::kMechTilt)->setChecked(true);
    save->click();
    QVERIFY2(CountOf("setDeviceData") == 1, Dump().c_str());
    QCOMPARE(Rescanned(u, "Mech. Tilt"), std::string("128"));
    // A cancelled model question writes nothing at all.
    d = Edit();
    ClearLog();
    d->edit(TmaDetailWindow::kAntennaModel)->setText("AX-NO");
    d->check(TmaDetailWindow::kAntennaModel)->setChecked(true);
    d->check(TmaDetailWindow::kSiteId)->setChecked(true);
    host_.answers = {false};
    d->findChild<QPushButton*>("ButtonSaveSelected")->click();
    QCOMPARE(CountOf("setDeviceData"), 0);
  }

  void bandChosenInTheTmaBandDialogReachesTheDevice() {
    Unit u = Select("TQ25010001", 2);
    TmaDetailWindow* d = Edit();
    QCOMPARE(d->edit(TmaDetailWindow::kFreqBand)->text(), QString("2100"));
    QString formName;
    host_.onDialog = [&](QDialog& dialog) {
      formName = dialog.objectName();
      auto* form = qobject_cast<BandFormBase*>(&dialog);
      if (form == nullptr) return int(QDialog::Rejected);
      form->bandBox(1)->setChecked(false);
      form->bandBox(3)->setChecked(true);
      form->applyButton()->click();
      return form->result();
    };
    ClearLog();
    d->findChild<QPushButton*>("ButtonSel")->click();
    QCOMPARE(formName, QString("AISG2xBandTMAForm"));
    QCOMPARE(d->edit(TmaDetailWindow::kFreqBand)->text(), QString("1800"));
    QVERIFY(d->check(TmaDetailWindow::kFreqBand)->isChecked());
    host_.onDialog = nullptr;
    d->findChild<QPushButton*>("ButtonSaveSelected")->click();
    QVERIFY2(Logged("setDeviceData 2 " + std::to_string(u.address) + " 2 03 "), Dump().c_str());
    QCOMPARE(DecodeBandField(Rescanned(u, "Freq. Band"), 2).text, std::string("1800"));
  }
};

QTEST_MAIN(TmaWindowTest)
#include "tma_window_test.moc"
