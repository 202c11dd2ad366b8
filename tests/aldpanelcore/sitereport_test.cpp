// The site report from hand-made device tables: the layout of both sections,
// the number formats and empty fields, and hostile texts read back by a CSV
// reader; the file written in place of an old one, also when that fails.
#include "aldpanel/core/sitereport.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "csv_reader.h"
#include "test_util.h"

namespace aldpanel {
namespace {

using aldpanel_test::TempDir;

void Put(MIRELK_DATA& e, int field, const std::string& text) {
  std::memset(e.field[field], 0, kMirelkFieldSize);
  std::memcpy(e.field[field], text.data(), std::min(text.size(), size_t{kMirelkFieldSize - 1}));
}

MIRELK_DATA Ret(const char* address, const char* subunit, const char* sector) {
  MIRELK_DATA e{};
  Put(e, kMdAddress, address);
  Put(e, kMdSubunit, subunit);
  Put(e, kMdDeviceType, "11");
  Put(e, kMdAisgVersion, "1");
  Put(e, kMdVendor, "KA");
  Put(e, kMdRetModel, "RCU-M3");
  Put(e, kMdRetSerial, "0007");
  Put(e, kMdHardwareVersion, "HW 3.1");
  Put(e, kMdSoftwareVersion, "2.04.11");
  Put(e, kMdAntennaModel, "AX3");
  Put(e, kMdAntennaSerial, "AX24-A");
  Put(e, kMdFreqBand, "0A0000000000");  // 900/1800
  Put(e, kMdBeamWidth, "4300410039000000");
  Put(e, kMdAntennaGain, "9ea30500");
  Put(e, kMdMaxTilt, "120");
  Put(e, kMdMinTilt, "-20");
  Put(e, kMdInstallationDate, "260114");
  Put(e, kMdInstallerId, "JM042");
  Put(e, kMdSiteId, "ENB-4711");
  Put(e, kMdSectorId, sector);
  Put(e, kMdBearing, "300");
  Put(e, kMdMechTilt, "15");
  Put(e, kMdDeviceStatus, "0");
  Put(e, kMdCurrentTilt, "60");
  return e;
}

MIRELK_DATA Tma(const char* address, const char* subunit, const char* sector) {
  MIRELK_DATA e = Ret(address, subunit, sector);
  Put(e, kMdDeviceType, "02");
  Put(e, kMdAisgVersion, "2");
  Put(e, kMdVendor, "CC");
  Put(e, kMdRetModel, "TMA-DD");
  Put(e, kMdFreqBand, "080000000000");  // band 3: 1800
  Put(e, kMdMaxTilt, "");
  Put(e, kMdMinTilt, "");
  Put(e, kMdCurrentTilt, "");
  Put(e, kMdMechTilt, "0");
  Put(e, kMdMaxGain, "48");
  Put(e, kMdMinGain, "16");
  Put(e, kMdTmaType, "1");
  Put(e, kMdTmaRxBand, "cc42ba45");  // 1710.0 to 1785.0 MHz
  Put(e, kMdTmaTxBand, "8646c84b");  // 1805.4 to 1940.0 MHz
  Put(e, kMdGainResolution, "2");
  Put(e, kMdMode, "0");
  Put(e, kMdCurrentGain, "45");
  return e;
}

GridLookups Names() {
  GridLookups l;
  l.vendorShortName = [](const std::string& v) { return v == "KA" ? "Kathrein" : v; };
  l.modelFullName = [](const std::string& m, const std::string&) {
    return m == "AX3" ? "AX 3-Port 65" : m;
  };
  l.errorText = [](int code) { return code == 0 ? std::string("OK") : "E" + std::to_string(code); };
  l.sectorControl = [](const std::string& v) { return v == "KA" ? 1 : 0; };
  // Ignored: the report always writes a point.
  l.decimalSeparator = ',';
  return l;
}

SiteReport Build(const std::vector<MIRELK_DATA>& t, const GridLookups& l = Names()) {
  return BuildSiteReport(t.data(), static_cast<int>(t.size()), l);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

const char* const kRetHeader =
    "Sector ID,Address,Device Type,Site ID,Installer ID,Installation Date,Bearing,Mech. Tilt,"
    "Antenna Model,Antenna Serial No.,Freq. Band,Beam Width,Antenna Gain,AISG Version,Device "
    "Status,Vendor Code,Vendor Name,RET Model,RET Serial No.,Hardware Version,Software "
    "Version,Min Tilt,Max Tilt,Elec. Tilt";
const char* const kTmaHeader =
    "Sector ID,Address,Device Type,Site ID,Installer ID,Installation Date,Bearing,Mech. Tilt,"
    "Antenna Model,Antenna Serial No.,Freq. Band,Beam Width,Antenna Gain,AISG Version,Device "
    "Status,Vendor Code,Vendor Name,TMA Model,TMA Serial No.,Hardware Version,Software "
    "Version,TMA Type,Mode,Min rxFreqBand,Max rxFreqBand,Min txFreqBand,Max txFreqBand,Min "
    "Gain,Max Gain,GainResolution,Current Gain";

TEST(SiteReport, OnlyRetsEndWithTheSeparatorAndKeepTheClassicLayout) {
  MIRELK_DATA two = Ret("4", "2", "3");
  Put(two, kMdCurrentTilt, "");           // not calibrated: no tilt
  Put(two, kMdMechTilt, "");              // never read: not 0.0
  Put(two, kMdFreqBand, "020000000000");  // one band: one beam width, one gain
  Put(two, kMdVendor, "EM");              // not sector-controlled: the ID as stored
  Put(two, kMdDeviceStatus, "1");
  Put(two, kMdDeviceStatusCause, "0e");
  SiteReport r = Build({two, Ret("3", "1", "3")});
  EXPECT_EQ(r.retRows, 2);
  EXPECT_EQ(r.tmaRows, 0);
  std::vector<std::string> lines = Lines(r.text);
  ASSERT_EQ(lines.size(), 5u) << r.text;
  EXPECT_EQ(lines[0] + "\n", kRetReportTitleLine);
  EXPECT_EQ(lines[0],
            "RET Report ,=\"\" ,=\"\" ,=\"\" ,=\"\" ,=\"\" ,=\"\" ,=\"\" ,=\"\" ,=\"\" ,=\"\" ");
  EXPECT_EQ(lines[1], kRetHeader);
  // Equal stored Sector IDs keep the table order; the sector-controlled
  // vendor's "3" is shown one-based, the other vendor's as stored.
  EXPECT_EQ(lines[2],
            "=\"3\",=\"4\",=\"11\",=\"ENB-4711\",=\"JM042\",=\"260114\",=\"300\",=\"\","
            "=\"AX 3-Port 65\",=\"AX24-A\",=\"900\",=\"67\",=\"15.8\",=\"1.x\",=\"E14\","
            "=\"EM\",=\"EM\",=\"RCU-M3\",=\"0007\",=\"HW 3.1\",=\"2.04.11\",=\"-2.0\","
            "=\"12.0\",=\"\"");
  EXPECT_EQ(lines[3],
            "=\"4\",=\"3\",=\"11\",=\"ENB-4711\",=\"JM042\",=\"260114\",=\"300\",=\"1.5\","
            "=\"AX 3-Port 65\",=\"AX24-A\",=\"900/1800\",=\"67/65\",=\"15.8/16.3\",=\"1.x\","
            "=\"OK\",=\"KA\",=\"Kathrein\",=\"RCU-M3\",=\"0007\",=\"HW 3.1\",=\"2.04.11\","
            "=\"-2.0\",=\"12.0\",=\"6.0\"");
  EXPECT_EQ(lines[4] + "\n", "  , , , , , , , , , , \n");
  EXPECT_EQ(r.text.back(), '\n');
}

TEST(SiteReport, OnlyTmasStartWithTheTmaTitleGainsInDecibelsAndNoSeparator) {
  MIRELK_DATA both = Tma("1", "2", "SEC-A");
  Put(both, kMdTmaType, "3");
  Put(both, kMdMode, "1");
  Put(both, kMdCurrentGain, "");
  Put(both, kMdMinGain, "");
  Put(both, kMdTmaTxBand, "");
  MIRELK_DATA none = Tma("1", "1", "SEC-A");
  Put(none, kMdTmaType, "0");
  SiteReport r = Build({both, none});
  EXPECT_EQ(r.retRows, 0);
  EXPECT_EQ(r.tmaRows, 2);
  std::vector<std::string> lines = Lines(r.text);
  ASSERT_EQ(lines.size(), 4u) << r.text;
  EXPECT_EQ(lines[0] + "\n", kTmaReportTitleLine);
  EXPECT_EQ(lines[0],
            "TMA Report ,=\"\" ,=\"\" ,=\"\" ,=\"\" ,=\"\" ,=\"\" ,=\"\" ,=\"\" ,=\"\",=\"\" ");
  EXPECT_EQ(lines[1], kTmaHeader);
  EXPECT_EQ(lines[2],
            "=\"SEC-A\",=\"1\",=\"02\",=\"ENB-4711\",=\"JM042\",=\"260114\",=\"300\",=\"0.0\","
            "=\"AX 3-Port 65\",=\"AX24-A\",=\"1800\",=\"67\",=\"15.8\",=\"2.x\",=\"OK\","
            "=\"CC\",=\"CC\",=\"TMA-DD\",=\"0007\",=\"HW 3.1\",=\"2.04.11\",=\"BypassVSWR\","
            "=\"Bypass\",=\"1710.0\",=\"1785.0\",=\"\",=\"\",=\"\",=\"12\",=\"2\",=\"\"");
  EXPECT_EQ(lines[3],
            "=\"SEC-A\",=\"1\",=\"02\",=\"ENB-4711\",=\"JM042\",=\"260114\",=\"300\",=\"0.0\","
            "=\"AX 3-Port 65\",=\"AX24-A\",=\"1800\",=\"67\",=\"15.8\",=\"2.x\",=\"OK\","
            "=\"CC\",=\"CC\",=\"TMA-DD\",=\"0007\",=\"HW 3.1\",=\"2.04.11\",=\"\","
            "=\"Normal\",=\"1710.0\",=\"1785.0\",=\"1805.4\",=\"1940.0\",=\"4\",=\"12\","
            "=\"2\",=\"11.25\"");
}

TEST(SiteReport, BothSectionsInGridOrderAndNothingForOtherDevices) {
  MIRELK_DATA other = Ret("9", "1", "A");
  Put(other, kMdDeviceType, "03");
  SiteReport r = Build({Tma("1", "1", "B"), other, Ret("2", "1", "B"), Ret("3", "1", "10")});
  EXPECT_EQ(r.retRows, 2);
  EXPECT_EQ(r.tmaRows, 1);
  std::vector<std::string> lines = Lines(r.text);
  ASSERT_EQ(lines.size(), 8u) << r.text;
  // RETs first; their Sector IDs "10"+1 and "B" compared as stored texts.
  EXPECT_EQ(lines[2].substr(0, 15), "=\"11\",=\"3\",=\"11");
  EXPECT_EQ(lines[3].substr(0, 14), "=\"B\",=\"2\",=\"11");
  EXPECT_EQ(lines[4], "  , , , , , , , , , , ");
  EXPECT_EQ(lines[5] + "\n", kTmaReportTitleLine);
  EXPECT_EQ(lines[7].substr(0, 14), "=\"B\",=\"1\",=\"02");

  EXPECT_EQ(Build({other}).text, "");
  EXPECT_EQ(BuildSiteReport(nullptr, 3, Names()).text, "");
}

TEST(SiteReport, MalformedNumbersAreShownAsStoredNeverAsAValue) {
  MIRELK_DATA e = Ret("1", "1", "S");
  Put(e, kMdBeamWidth, "43x0");
  Put(e, kMdAntennaGain, "9");
  Put(e, kMdMechTilt, "1.5.");
  SiteReport r = Build({e});
  csv_test::Rows rows;
  ASSERT_TRUE(csv_test::ReadCsv(r.text, rows));
  ASSERT_GE(rows.size(), 3u);
  EXPECT_EQ(rows[2][7], "=\"1.5.\"");
  EXPECT_EQ(rows[2][11], "=\"43x0\"");
  EXPECT_EQ(rows[2][12], "=\"9\"");
}

// Texts that would end the cell early, start a formula, split a cell or a
// row, or pass for a spreadsheet's own formula language.
const std::vector<std::string> kHostile = {
    "3\"+cmd|' /C calc'!A0+\"",
    "=1+1",
    "+41 (0)1",
    "-2+3",
    "@SUM(A1:A9)",
    "a,b,c",
    "a;b;c",
    "line\nbreak",
    "cr\rlf\r\n",
    "tab\there",
    "\tstarts with a tab",
    std::string("ctl\x01\x1b[31m\x7f", 10),
    "\"\"",
    "\"",
    "=\"\"&\"x\"",
    "DDE(\"cmd\";\"/C calc\";\"x\")",
};

// Every field of every row holds one string literal whose text is `want`
// when the field is one of `columns`.
void ExpectReadBack(const std::string& text, const std::vector<size_t>& columns,
                    const std::string& want, size_t expectedFields) {
  csv_test::Rows rows;
  std::string error;
  ASSERT_TRUE(csv_test::ReadCsv(text, rows, &error)) << error << "\n" << text;
  // Title, header, the row (and the separator of a RET section).
  ASSERT_GE(rows.size(), 3u) << text;
  const std::vector<std::string>& row = rows[2];
  ASSERT_EQ(row.size(), expectedFields) << text;
  for (size_t c = 0; c < row.size(); ++c) {
    std::optional<std::string> shown = csv_test::LiteralText(row[c]);
    ASSERT_TRUE(shown.has_value()) << "column " << c << " is not inert: " << row[c];
    if (std::find(columns.begin(), columns.end(), c) != columns.end()) {
      EXPECT_EQ(*shown, want) << "column " << c;
    }
  }
}

TEST(SiteReport, HostileDeviceTextsReadBackUnchangedAndInert) {
  for (const std::string& h : kHostile) {
    SCOPED_TRACE(h);
    MIRELK_DATA e = Ret("1", "1", "");
    Put(e, kMdSiteId, h);
    Put(e, kMdSectorId, h);
    Put(e, kMdRetSerial, h);
    Put(e, kMdSoftwareVersion, h);
    ExpectReadBack(Build({e}).text, {0, 3, 18, 20}, h, kRetReportColumnCount);
    MIRELK_DATA t = Tma("1", "1", "");
    Put(t, kMdInstallerId, h);
    Put(t, kMdRetModel, h);
    Put(t, kMdGainResolution, h);
    ExpectReadBack(Build({t}).text, {4, 17, 29}, h, kTmaReportColumnCount);
  }
}

TEST(SiteReport, HostileNamesFromTheTablesReadBackUnchangedAndInert) {
  // Names can be longer than a spreadsheet's string literal: split, with a
  // two-byte character at the cut kept whole.
  std::vector<std::string> names = kHostile;
  names.push_back(std::string(254, 'x') + "\xc3\xa9" + "\"" + std::string(300, ','));
  names.push_back(std::string(255, '"'));
  for (const std::string& h : names) {
    SCOPED_TRACE(h);
    GridLookups l = Names();
    l.vendorShortName = [&](const std::string&) { return h; };
    l.modelFullName = [&](const std::string&, const std::string&) { return h; };
    l.errorText = [&](int) { return h; };
    std::string text = Build({Ret("1", "1", "S")}, l).text;
    ExpectReadBack(text, {8, 14, 16}, h, kRetReportColumnCount);
    // The header and the separator are still whole lines of their own.
    csv_test::Rows rows;
    ASSERT_TRUE(csv_test::ReadCsv(text, rows));
    EXPECT_EQ(rows.size(), 4u);
  }
}

TEST(SiteReport, AnOrdinaryCellIsTheClassicFormulaAndALongOneIsJoinedLiterals) {
  EXPECT_EQ(ReportCell("AX2411030017A"), "=\"AX2411030017A\"");
  EXPECT_EQ(ReportCell(""), "=\"\"");
  EXPECT_EQ(ReportCell("a\"b"), "\"=\"\"a\"\"\"\"b\"\"\"");
  std::string cell = ReportCell(std::string(300, 'y'));
  EXPECT_EQ(cell, "=\"" + std::string(255, 'y') + "\"&\"" + std::string(45, 'y') + "\"");
}

// Python's csv module, when there is one, reads the hostile report as this
// reader does.
TEST(SiteReport, PythonsCsvModuleReadsTheSameFields) {
  // Run from a folder of its own: earlier tests may leave the process in a
  // folder that is gone.
  TempDir dir;
  const std::string in = "cd '" + dir.path() + "' && ";
  if (std::system((in + "python3 -c 'import csv' >/dev/null 2>&1").c_str()) != 0) {
    GTEST_SKIP() << "no python3 here";
  }
  MIRELK_DATA e = Ret("1", "1", "S");
  std::string joined;
  for (const std::string& h : kHostile) joined += h.substr(0, 7);
  Put(e, kMdSiteId, joined);
  std::string text = Build({e}).text;
  aldpanel_test::WriteFile(dir / "r.csv", text);
  std::string script =
      "import csv,sys\n"
      "rows=list(csv.reader(open(sys.argv[1],newline='',encoding='latin-1')))\n"
      "sys.stdout.buffer.write('\\x00'.join('\\x01'.join(r) for r in rows).encode('latin-1'))\n";
  aldpanel_test::WriteFile(dir / "read.py", script);
  std::string command = in + "python3 '" + (dir / "read.py") + "' '" + (dir / "r.csv") + "' > '" +
                        (dir / "out") + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::string theirs = aldpanel_test::ReadFile(dir / "out");
  csv_test::Rows rows;
  ASSERT_TRUE(csv_test::ReadCsv(text, rows));
  std::string ours;
  for (size_t r = 0; r < rows.size(); ++r) {
    if (r > 0) ours += '\0';
    for (size_t c = 0; c < rows[r].size(); ++c) {
      if (c > 0) ours += '\x01';
      ours += rows[r][c];
    }
  }
  EXPECT_EQ(theirs, ours);
  EXPECT_EQ(csv_test::LiteralText(rows[2][3]), joined);
}

TEST(SiteReportFile, ReplacesAnOldReportAndLeavesNoTemporaryFile) {
  TempDir dir;
  const std::string path = dir / "Report.csv";
  aldpanel_test::WriteFile(path, std::string(5000, 'o'));
  std::string why;
  ASSERT_TRUE(WriteReportFile(path, "new\n", &why)) << why;
  EXPECT_EQ(aldpanel_test::ReadFile(path), "new\n");
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1u);
}

TEST(SiteReportFile, AFailedWriteKeepsTheOldReportAndSaysWhy) {
  TempDir dir;
  const std::string path = dir / "Report.csv";
  aldpanel_test::WriteFile(path, "old report\n");

  // No such folder.
  std::string why;
  EXPECT_FALSE(WriteReportFile(dir / "missing/Report.csv", "x\n", &why));
  EXPECT_NE(why.find("missing/Report.csv"), std::string::npos) << why;
  EXPECT_NE(why.find("No such file or directory"), std::string::npos) << why;

  // The disk fills up half way: the file size limit stands in for it.
  struct sigaction ignore {
  }, old{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &old);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  why.clear();
  bool written = WriteReportFile(path, std::string(20000, 'n'), &why);
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &old, nullptr);
  EXPECT_FALSE(written);
  EXPECT_NE(why.find("cannot write " + path), std::string::npos) << why;
  EXPECT_EQ(aldpanel_test::ReadFile(path), "old report\n");

  // A folder of that name cannot be replaced by a file.
  std::filesystem::create_directory(dir / "folder.csv");
  why.clear();
  EXPECT_FALSE(WriteReportFile(dir / "folder.csv", "x\n", &why));
  EXPECT_NE(why.find("cannot replace"), std::string::npos) << why;

  // Nothing of the failed attempts is left beside the old report.
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 2u);
}

}  // namespace
}  // namespace aldpanel
