// "Export Site Report" of the main window against the real interface library
// and the simulated demo site on the virtual clock: the report of a scan read
// back by a CSV reader and compared with the device table field by field,
// hostile texts a device holds and names the tables hold, and the failures.
#include <QAction>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "aldpanel/core/gridrows.h"
#include "aldpanel/core/sitereport.h"
#include "aldpanel/mainwindow.h"
#include "tests/aldpanel/fixture.h"
#include "tests/aldpanelcore/csv_reader.h"

using namespace aldpanel;
using namespace aldpanel::test;

namespace {

const char* const kSaveLine =
    "save [Site Report] Report.csv CSV files (*.csv)|*.csv|All files (*.*)|*.*";

std::string Field(const MIRELK_DATA& e, int field) {
  return std::string(e.field[field], strnlen(e.field[field], kMirelkFieldSize));
}

// The table's tenths of a degree in degrees, worked out here on its own.
std::string Degrees(const std::string& tenths) {
  if (tenths.empty()) return "";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", std::atoi(tenths.c_str()) / 10.0);
  return text;
}

// Quarter decibels in decibels with the decimals they need.
std::string Decibels(const std::string& quarters) {
  if (quarters.empty()) return "";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", std::atoi(quarters.c_str()) / 4.0);
  std::string s = text;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

// The texts a spreadsheet shows for each cell of a data row; a cell that is
// not a plain string literal fails the test.
std::vector<std::string> Shown(const std::vector<std::string>& row) {
  std::vector<std::string> shown;
  for (const std::string& cell : row) {
    std::optional<std::string> text = csv_test::LiteralText(cell);
    if (!text) {
      QTest::qFail(("a cell that is not inert: " + cell).c_str(), __FILE__, __LINE__);
      return {};
    }
    shown.push_back(*text);
  }
  return shown;
}

}  // namespace

class ReportWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  GlueLibrary& glue_ = SharedGlue();
  GlueExports realExports_;
  TestHost host_;
  std::unique_ptr<MainWindow> window_;

  std::string Path(const char* name) { return QDir(dir_->path()).filePath(name).toStdString(); }

  void Scan() {
    host_.answers = {true};
    window_->ScanDevice();
    QVERIFY2(Logged("dialog scanResultForm"), Dump().c_str());
  }

  QAction* ExportItem() { return window_->findChild<QAction*>("MenuExportSiteReport"); }

  // Exports to `path` through the menu item and reads the file back.
  csv_test::Rows Export(const std::string& path) {
    host_.files = {path};
    QAction* item = ExportItem();
    if (item == nullptr || !item->isEnabled()) return {};
    item->trigger();
    csv_test::Rows rows;
    std::string error;
    std::string text = ReadFile(QString::fromStdString(path)).toStdString();
    if (!csv_test::ReadCsv(text, rows, &error)) QTest::qFail(error.c_str(), __FILE__, __LINE__);
    return rows;
  }

  std::vector<MIRELK_DATA> Table() {
    const GlueExports& ex = glue_.exports();
    const MIRELK_DATA* t = ex.getMirelkData();
    int n = ex.getMirelkDataCount();
    return t != nullptr && n > 0 ? std::vector<MIRELK_DATA>(t, t + n) : std::vector<MIRELK_DATA>();
  }

  // The table entry of a device serial number and subunit.
  static const MIRELK_DATA* EntryOf(const std::vector<MIRELK_DATA>& t, const std::string& serial,
                                    const std::string& subunit) {
    for (const MIRELK_DATA& e : t) {
      if (Field(e, kMdRetSerial) == serial && Field(e, kMdSubunit) == subunit) return &e;
    }
    return nullptr;
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
    glue_.mutableExports() = realExports_;
    PanelContext context = MakeContext(dir_->path(), host_);
    // The report writes a point whatever the operator's locale shows.
    context.decimalSeparator = ',';
    window_ = std::make_unique<MainWindow>(context);
  }

  void cleanup() { window_.reset(); }

  // First: the process has not scanned yet, so the table is empty.
  void anEmptyTableAsksNothingAndWritesNothing() {
    QVERIFY(ExportItem() != nullptr);
    QVERIFY(ExportItem()->isEnabled());
    host_.files = {Path("Report.csv")};
    ExportItem()->trigger();
    QCOMPARE(CountOf("save"), 0);
    QCOMPARE(CountOf("message"), 0);
    QVERIFY(!QFile::exists(QString::fromStdString(Path("Report.csv"))));
    // Without the table exports nothing happens either.
    Scan();
    ClearLog();
    glue_.mutableExports().getMirelkData = nullptr;
    ExportItem()->trigger();
    QCOMPARE(CountOf("save"), 0);
  }

  void theDemoSiteReportHoldsTheDeviceTableFieldByField() {
    Scan();
    ClearLog();
    csv_test::Rows rows = Export(Path("Report.csv"));
    QVERIFY2(Logged(kSaveLine), Dump().c_str());
    QCOMPARE(CountOf("message"), 0);  // a written report says nothing
    // RET title, header, 5 rows, separator; TMA title, header, 3 rows.
    QCOMPARE(rows.size(), size_t{13});
    QCOMPARE(rows[1].size(), size_t{kRetReportColumnCount});
    QCOMPARE(rows[1][0], std::string("Sector ID"));
    QCOMPARE(rows[7][0], std::string("  "));
    QCOMPARE(rows[8][0], std::string("TMA Report "));
    QCOMPARE(rows[9].size(), size_t{kTmaReportColumnCount});
    QCOMPARE(rows[9][30], std::string("Current Gain"));

    std::vector<MIRELK_DATA> t = Table();
    QCOMPARE(t.size(), size_t{8});
    // The grids' order: RETs, then TMAs, each by Sector ID as text.
    const std::vector<std::pair<std::string, std::string>> rets = {{"0000RE0912004471", "1"},
                                                                   {"MR4401203977", "1"},
                                                                   {"MR4401203977", "2"},
                                                                   {"MR4401203977", "3"},
                                                                   {"12345678", "1"}};
    const std::vector<std::pair<std::string, std::string>> tmas = {
        {"TM1107000815", "1"}, {"TD24090011", "1"}, {"TD24090011", "2"}};
    std::map<std::string, std::string> vendorNames = {{"KA", "Kay"}, {"EM", "Em"}};
    auto common = [&](const MIRELK_DATA& e, const std::vector<std::string>& c) {
      QCOMPARE(c[0], Field(e, kMdSectorId));
      QCOMPARE(c[1], Field(e, kMdAddress));
      QCOMPARE(c[2], Field(e, kMdDeviceType));
      QCOMPARE(c[3], Field(e, kMdSiteId));
      QCOMPARE(c[4], Field(e, kMdInstallerId));
      QCOMPARE(c[5], Field(e, kMdInstallationDate));
      QCOMPARE(c[6], Field(e, kMdBearing));
      QCOMPARE(c[7], Degrees(Field(e, kMdMechTilt)));
      QCOMPARE(c[9], Field(e, kMdAntennaSerial));
      QCOMPARE(c[13], Field(e, kMdAisgVersion) + ".x");
      QCOMPARE(c[15], Field(e, kMdVendor));
      std::string vendor = Field(e, kMdVendor);
      QCOMPARE(c[16], vendorNames.count(vendor) ? vendorNames[vendor] : vendor);
      QCOMPARE(c[17], Field(e, kMdRetModel));
      QCOMPARE(c[18], Field(e, kMdRetSerial));
      QCOMPARE(c[19], Field(e, kMdHardwareVersion));
      QCOMPARE(c[20], Field(e, kMdSoftwareVersion));
    };
    for (size_t i = 0; i < rets.size(); ++i) {
      const MIRELK_DATA* e = EntryOf(t, rets[i].first, rets[i].second);
      QVERIFY(e != nullptr);
      std::vector<std::string> c = Shown(rows[2 + i]);
      QCOMPARE(c.size(), size_t{kRetReportColumnCount});
      common(*e, c);
      QCOMPARE(c[21], Degrees(Field(*e, kMdMinTilt)));
      QCOMPARE(c[22], Degrees(Field(*e, kMdMaxTilt)));
      QCOMPARE(c[23], Degrees(Field(*e, kMdCurrentTilt)));
    }
    for (size_t i = 0; i < tmas.size(); ++i) {
      const MIRELK_DATA* e = EntryOf(t, tmas[i].first, tmas[i].second);
      QVERIFY(e != nullptr);
      std::vector<std::string> c = Shown(rows[10 + i]);
      QCOMPARE(c.size(), size_t{kTmaReportColumnCount});
      common(*e, c);
      QCOMPARE(c[22], std::string(Field(*e, kMdMode) == "1" ? "Bypass" : "Normal"));
      QCOMPARE(c[27], Decibels(Field(*e, kMdMinGain)));
      QCOMPARE(c[28], Decibels(Field(*e, kMdMaxGain)));
      QCOMPARE(c[29], Field(*e, kMdGainResolution));
      QCOMPARE(c[30], Decibels(Field(*e, kMdCurrentGain)));
    }
    // What the site file gives the devices, read through the report: bands,
    // beam widths and gains per band, names, status, band edges.
    std::vector<std::string> multi = Shown(rows[3]);
    QCOMPARE(multi[11], std::string("67/65"));
    QCOMPARE(multi[12], std::string("15.8/16.3"));
    QCOMPARE(multi[14], std::string("OK"));
    std::vector<std::string> uncalibrated = Shown(rows[5]);
    QCOMPARE(uncalibrated[11], std::string("60"));
    QCOMPARE(uncalibrated[12], std::string("18.6"));
    QCOMPARE(uncalibrated[14], std::string("Not calibrated"));
    QCOMPARE(uncalibrated[23], std::string(""));  // no tilt before calibration
    std::vector<std::string> em = Shown(rows[6]);
    QCOMPARE(em[8], std::string("EA 1865 16 dBi"));
    std::vector<std::string> tma = Shown(rows[11]);
    QCOMPARE(tma[23], std::string("1710.0"));
    QCOMPARE(tma[24], std::string("1785.0"));
    QCOMPARE(tma[30], std::string("12"));

    // A second export replaces the first file whole.
    QByteArray first = ReadFile(QString::fromStdString(Path("Report.csv"))).toUtf8();
    WriteFile(QString::fromStdString(Path("Report.csv")), QByteArray(first.size() * 2, 'x'));
    Export(Path("Report.csv"));
    QCOMPARE(ReadFile(QString::fromStdString(Path("Report.csv"))).toUtf8(), first);
  }

  void hostileTextsOfADeviceAndOfTheTablesReadBackUnchangedAndInert() {
    Scan();
    // A site ID that ends the cell early and calls a command, written into
    // the simulated device; a one-based sector of a listed vendor.
    const std::string hostile = "\"=cmd|' /C calc'!A0\",+@-;x\"";
    const MIRELK_DATA* old = nullptr;
    std::vector<MIRELK_DATA> t = Table();
    old = EntryOf(t, "MR4401203977", "1");
    QVERIFY(old != nullptr);
    ALDGLUE_DEVICE_DATA_REQUEST request{};
    request.kind = 17;
    request.address = std::atoi(Field(*old, kMdAddress).c_str());
    request.subunit = 1;
    request.fields = "\x23\x24";
    std::snprintf(request.data.baseid, sizeof request.data.baseid, "%s", hostile.c_str());
    std::snprintf(request.data.sectorid, sizeof request.data.sectorid, "%s", "3");
    QCOMPARE(glue_.exports().setDeviceData(request), 0);
    t = Table();
    std::string stored = Field(*EntryOf(t, "MR4401203977", "1"), kMdSiteId);
    QVERIFY2(stored == hostile, stored.c_str());

    // Control characters only the table files can carry.
    // ('=' ends a table key, so the formula starts with '+'.)
    const std::string name = std::string("K\x01y\x1b[2J;,\"+1+1\"\x7f", 15);
    WriteFile(QDir(dir_->path()).filePath("data/vendor_short_name.tbl"),
              QByteArray::fromStdString("KA=" + name + "\n"));
    WriteFile(QDir(dir_->path()).filePath("sectorControl.conf"), "KA\n");

    csv_test::Rows rows = Export(Path("Report.csv"));
    QCOMPARE(rows.size(), size_t{13});
    // Sector "3" shown as 4 sorts before the "S2" and "SEC-..." IDs.
    std::vector<std::string> c = Shown(rows[2]);
    QCOMPARE(c.size(), size_t{kRetReportColumnCount});
    QCOMPARE(c[18], std::string("MR4401203977"));
    QCOMPARE(c[9], std::string("AX2411030017A"));
    QCOMPARE(c[0], std::string("4"));
    QCOMPARE(c[3], hostile);
    QCOMPARE(c[16], name);
    for (size_t r = 2; r < rows.size(); ++r) {
      if (r == 7 || r == 8 || r == 9) continue;  // separator, TMA title and header
      QVERIFY(!Shown(rows[r]).empty());
    }
  }

  void aFailedWriteSaysWhyAndACancelDoesNothing() {
    Scan();
    ClearLog();
    Export(Path("missing/Report.csv"));
    QVERIFY(Logged(kSaveLine));
    QCOMPARE(CountOf("message error [Site Report] Report write failed!\n"), 1);
    QVERIFY2(CountOf("message error [Site Report] Report write failed!\ncannot create a file "
                     "beside " +
                     Path("missing/Report.csv") + ": No such file or directory") == 1,
             Dump().c_str());

    ClearLog();
    host_.files.clear();  // the operator cancels
    ExportItem()->trigger();
    QVERIFY(Logged(kSaveLine));
    QCOMPARE(CountOf("message"), 0);
    QCOMPARE(QDir(dir_->path()).entryList({"*.csv", "*.tmp"}, QDir::Files).size(), 0);
  }
};

QTEST_MAIN(ReportWindowTest)
#include "report_window_test.moc"
