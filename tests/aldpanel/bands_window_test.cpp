// The band selection dialogs driven directly with the edit a detail window
// hands them, on the offscreen platform; and one dialog loaded with the band
// field of an AISG 2.x antenna read from the simulated demo line.
#include <QCheckBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "aldpanel/bandforms.h"
#include "aldpanel/core/gridrows.h"
#include "tests/aldpanel/fixture.h"

using namespace aldpanel;
using namespace aldpanel::test;

namespace {

BandEdit Edit(int version, const std::string& field, const std::string& beam = "",
              const std::string& gain = "", char separator = '.') {
  BandEdit e;
  e.aisgVersion = version;
  e.fieldText = field;
  e.beamWidthText = beam;
  e.gainText = gain;
  e.decimalSeparator = separator;
  return e;
}

// The keys of the ticked boxes, ascending.
std::vector<int> Ticked(const BandFormBase& form, const std::vector<int>& keys) {
  std::vector<int> ticked;
  for (int key : keys) {
    if (form.bandBox(key) != nullptr && form.bandBox(key)->isChecked()) ticked.push_back(key);
  }
  return ticked;
}

std::vector<int> AllAisg2Bands() {
  std::vector<int> bands;
  for (int b = 1; b <= 29; ++b) bands.push_back(b);
  for (int b = 33; b <= 44; ++b) bands.push_back(b);
  return bands;
}

const std::vector<int> kAisg1Keys = {800, 900, 1500, 1800, 1900, 2100, 2600};

}  // namespace

class BandsWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void namesCaptionsAndBoxes() {
    Aisg1xBandForm ret1(BandFormKind::kRet);
    Aisg1xBandForm tma1(BandFormKind::kTma);
    Aisg2xBandForm ret2(BandFormKind::kRet);
    Aisg2xBandForm tma2(BandFormKind::kTma);
    QCOMPARE(ret1.objectName(), QString("AISG1xBandForm"));
    QCOMPARE(tma1.objectName(), QString("AISG1xBandTMAForm"));
    QCOMPARE(ret2.objectName(), QString("AISG2xBandForm"));
    QCOMPARE(tma2.objectName(), QString("AISG2xBandTMAForm"));
    for (QDialog* d : std::vector<QDialog*>{&ret1, &tma1, &ret2, &tma2}) {
      QCOMPARE(d->windowTitle(), QString("Select Frequency"));
    }
    for (int key : kAisg1Keys) {
      QVERIFY(ret1.bandBox(key) != nullptr);
      QCOMPARE(ret1.bandBox(key)->text(), QString::number(key));
    }
    QVERIFY(ret1.bandBox(1000) == nullptr);
    for (int band : AllAisg2Bands()) QVERIFY2(ret2.bandBox(band) != nullptr, "a band box");
    QVERIFY(ret2.bandBox(30) == nullptr);
    QCOMPARE(ret2.applyButton()->text(), QString("Apply"));
    QCOMPARE(ret2.cancelButton()->text(), QString("Cancel"));
    // The markers of the extended words are the device's, never shown.
    QVERIFY(ret2.extendedBox(1)->isHidden());
    QVERIFY(ret2.extendedBox(2)->isHidden());
  }

  void aisg1LoadsTicksAndApplies() {
    Aisg1xBandForm form(BandFormKind::kRet);
    // 0x41: 800 and 2600; the kept bands keep their values, 1800 is new.
    form.Load(Edit(1, "410000000000", "90/33", "15,5/17,0", ','));
    QCOMPARE(Ticked(form, kAisg1Keys), (std::vector<int>{800, 2600}));
    form.bandBox(1800)->setChecked(true);
    form.applyButton()->click();
    QCOMPARE(form.result(), int(QDialog::Accepted));
    const BandEdit& e = form.edit();
    QCOMPARE(e.fieldText, std::string("490000000000"));
    QCOMPARE(e.bandText, std::string("800/1800/2600"));
    QCOMPARE(e.beamWidthText, std::string("90/0/33"));
    QCOMPARE(e.gainText, std::string("15,5/0,0/17,0"));
    QVERIFY(!e.writeExtended1 && !e.writeExtended2);

    // A second Load unticks what the operator ticked before.
    form.Load(Edit(1, "080000000000"));
    QCOMPARE(Ticked(form, kAisg1Keys), (std::vector<int>{1800}));
  }

  void cancelChangesNothing() {
    Aisg2xBandForm form(BandFormKind::kRet);
    form.Load(Edit(2, "280000000000", "65/63", "17.9/18.4"));
    form.bandBox(1)->setChecked(false);
    form.cancelButton()->click();
    QCOMPARE(form.result(), int(QDialog::Rejected));
    QCOMPARE(form.edit().fieldText, std::string("280000000000"));
    QCOMPARE(form.edit().gainText, std::string("17.9/18.4"));
    QVERIFY(form.edit().bandText.empty());
  }

  void aisg2Bands1And3InAscendingOrder() {
    Aisg2xBandForm form(BandFormKind::kRet);
    form.Load(Edit(2, "000000000000"));
    QVERIFY(Ticked(form, AllAisg2Bands()).empty());
    form.bandBox(3)->setChecked(true);
    form.bandBox(1)->setChecked(true);
    form.applyButton()->click();
    const BandEdit& e = form.edit();
    QCOMPARE(e.fieldText, std::string("280000000000"));
    QCOMPARE(e.bandText, std::string("2100/1800"));
    QCOMPARE(int(e.bandBytes[0]), 0x28);
    QVERIFY(!e.writeExtended1 && !e.writeExtended2);
  }

  void keptValuesStayWithTheirBands() {
    // Bands 1 and 3 as the device holds them (band 1 first). Band 1 goes,
    // band 8 (bit 7) and band 6 (bit 0) come: in bit order band 6 would come
    // before band 3 and take band 3's values.
    Aisg2xBandForm form(BandFormKind::kRet);
    form.Load(Edit(2, "280000000000", "65/63", "17.9/18.4"));
    QCOMPARE(Ticked(form, AllAisg2Bands()), (std::vector<int>{1, 3}));
    form.bandBox(1)->setChecked(false);
    form.bandBox(8)->setChecked(true);
    form.bandBox(6)->setChecked(true);
    form.applyButton()->click();
    const BandEdit& e = form.edit();
    QCOMPARE(e.bandText, std::string("1800/800/900"));
    QCOMPARE(e.beamWidthText, std::string("63/0/0"));
    QCOMPARE(e.gainText, std::string("18.4/0.0/0.0"));
    QCOMPARE(e.fieldText, std::string("890000000000"));
  }

  void extendedWordsEnableTheirBandsAndAskForTheirFields() {
    Aisg2xBandForm form(BandFormKind::kRet);
    // Bit 14 missing: bands 17 to 29 disabled, whatever the second word
    // holds (band 20 is ticked there, and kept).
    form.Load(Edit(2, "000020000000"));
    for (int band = 17; band <= 29; ++band) QVERIFY(!form.bandBox(band)->isEnabled());
    for (int band = 33; band <= 44; ++band) QVERIFY(!form.bandBox(band)->isEnabled());
    QVERIFY(form.bandBox(14)->isEnabled());
    QVERIFY(form.bandBox(20)->isChecked());
    // Reserved bands have no bit: their boxes cannot be ticked.
    QVERIFY(!form.bandBox(15)->isEnabled());
    QVERIFY(!form.bandBox(16)->isEnabled());

    // Both markers: every band box enabled again; band 20 and band 40 give
    // the second word 0x0020 and the third 0x0080.
    form.Load(Edit(2, "00C000000000"));
    QVERIFY(form.extendedBox(1)->isChecked() && form.extendedBox(2)->isChecked());
    for (int band : AllAisg2Bands()) {
      if (band != 15 && band != 16) QVERIFY(form.bandBox(band)->isEnabled());
    }
    form.bandBox(20)->setChecked(true);
    form.applyButton()->click();
    QCOMPARE(form.edit().fieldText, std::string("00C020000000"));
    QVERIFY(form.edit().writeExtended1);
    QVERIFY(!form.edit().writeExtended2);

    form.Load(Edit(2, "00C000000000"));
    form.bandBox(40)->setChecked(true);
    form.applyButton()->click();
    QCOMPARE(form.edit().fieldText, std::string("00C000008000"));
    QVERIFY(!form.edit().writeExtended1);
    QVERIFY(form.edit().writeExtended2);
    QCOMPARE(form.edit().bandText, std::string("2300"));
  }

  void bands22And23TickedFromTheField() {
    Aisg2xBandForm form(BandFormKind::kRet);
    // Second word 0x0180: bit 7 is band 22, bit 8 band 23.
    form.Load(Edit(2, "004080010000"));
    QCOMPARE(Ticked(form, AllAisg2Bands()), (std::vector<int>{22, 23}));
    form.Load(Edit(2, "004000010000"));
    QCOMPARE(Ticked(form, AllAisg2Bands()), (std::vector<int>{23}));
  }

  void tmaDialogsSetBandsOnly() {
    Aisg2xBandForm form(BandFormKind::kTma);
    form.Load(Edit(2, "200000000000", "", "12.5"));
    form.bandBox(8)->setChecked(true);
    form.applyButton()->click();
    QCOMPARE(form.edit().fieldText, std::string("A00000000000"));
    QCOMPARE(form.edit().bandText, std::string("2100/900"));
    QCOMPARE(form.edit().gainText, std::string("12.5"));

    Aisg1xBandForm one(BandFormKind::kTma);
    one.Load(Edit(1, "020000000000", "65", "10.0"));
    one.bandBox(2100)->setChecked(true);
    one.applyButton()->click();
    QCOMPARE(one.edit().bandText, std::string("900/2100"));
    QCOMPARE(one.edit().beamWidthText, std::string("65"));
  }

  // The band field of the demo line's AISG 2.x antennas, as the library's
  // table holds it, ticks the boxes of the bands the grid shows.
  void scannedAntennaTicksItsBands() {
    if (!QString(std::getenv("ALDLINK_SIM")).endsWith("demo.site")) QSKIP("needs the demo site");
    std::vector<std::string> messages = LoadSharedGlue();
    QVERIFY2(messages.empty(), messages.empty() ? "" : messages.front().c_str());
    QTemporaryDir dir;
    WriteStandardData(dir.path());
    TestHost host;
    MainWindow window(MakeContext(dir.path(), host));
    host.answers = {true};
    window.ScanDevice();
    int checked = 0;
    for (size_t row = 0; row < window.retRowSubunits().size(); ++row) {
      const QTableWidgetItem* cell =
          window.retGrid()->item(static_cast<int>(row), kRetAddressColumn);
      if (cell == nullptr || cell->text().isEmpty()) continue;
      const std::string address = cell->text().toStdString();
      const std::string subunit = window.retRowSubunits()[row];
      if (window.FieldByName(address, subunit, "AISG Version").value_or("") != "2") continue;
      const std::string field = window.FieldByName(address, subunit, "Freq. Band").value_or("");
      Aisg2xBandForm form(BandFormKind::kRet);
      form.Load(Edit(2, field));
      std::string keys;
      for (int band : Ticked(form, AllAisg2Bands())) {
        keys += (keys.empty() ? "" : " ") + std::to_string(band);
      }
      QCOMPARE(keys, DecodeBandField(field, 2).keys);
      // Apply without a change gives the same field back.
      form.applyButton()->click();
      QCOMPARE(form.edit().fieldText, field);
      ++checked;
    }
    QVERIFY2(checked >= 2, "the demo line has AISG 2.x antennas with bands");
  }
};

QTEST_MAIN(BandsWindowTest)
#include "bands_window_test.moc"
