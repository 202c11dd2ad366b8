// aldctl report: the site report of a scan on the in-process simulator read
// back by a CSV reader and compared with the table that `list` prints in the
// same run, hostile device texts, the tables it names codes with, and its
// failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "run_util.h"
#include "tests/aldpanelcore/csv_reader.h"
#include "tools/aldctl/cli.h"

using aldctl_test::RunAldctl;

namespace {

const std::string kDemoSite = std::string(ALDCTL_SITES_DIR) + "/demo.site";
const std::string kHostileSite = std::string(ALDCTL_TESTS_DIR) + "/hostile.site";
const std::string kDataDir = std::string(ALDCTL_SITES_DIR) + "/../data";

// A scratch folder, removed with its contents.
struct Scratch {
  std::string path = aldctl_test::TempPath("report");
  Scratch() { std::filesystem::create_directories(path); }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

// The simulated line of `site`, the shipped tables and a working directory
// of the operator program that has none of its own.
std::vector<std::string> Env(const std::string& site, const Scratch& home) {
  return {"ALDLINK_SIM=" + site, "ALDLINK_SIM_CLOCK=virtual", "XDG_DATA_HOME=" + home.path,
          "ALDPANEL_DATA_DIR=" + kDataDir};
}

csv_test::Rows ReadReport(const std::string& path) {
  csv_test::Rows rows;
  std::string error;
  EXPECT_TRUE(csv_test::ReadCsv(aldctl_test::ReadFile(path), rows, &error)) << error;
  return rows;
}

// The texts a spreadsheet shows for a data row; empty when a cell is not
// one plain string literal.
std::vector<std::string> Shown(const std::vector<std::string>& row) {
  std::vector<std::string> shown;
  for (const std::string& cell : row) {
    std::optional<std::string> text = csv_test::LiteralText(cell);
    if (!text) {
      ADD_FAILURE() << "a cell that is not inert: " << cell;
      return {};
    }
    shown.push_back(*text);
  }
  return shown;
}

std::string Degrees(const std::string& tenths) {
  if (tenths.empty()) return "";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", std::atoi(tenths.c_str()) / 10.0);
  return text;
}

std::string Decibels(const std::string& quarters) {
  if (quarters.empty()) return "";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", std::atoi(quarters.c_str()) / 4.0);
  std::string s = text;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

TEST(AldctlReport, ArgumentsAreCheckedFirst) {
  aldctl::Invocation inv;
  std::string error;
  EXPECT_FALSE(aldctl::ParseInvocation({"scan", "+", "report"}, inv, error));
  EXPECT_EQ(error, "report: missing arguments; usage: aldctl report FILE");
  EXPECT_FALSE(aldctl::ParseInvocation({"report", "a.csv", "b.csv"}, inv, error));
  EXPECT_EQ(error, "report: too many arguments; usage: aldctl report FILE");
  EXPECT_FALSE(aldctl::ParseInvocation({"report", ""}, inv, error));
  EXPECT_EQ(error, "report: empty file name");
  aldctl::Invocation good;
  ASSERT_TRUE(aldctl::ParseInvocation({"scan", "+", "report", "site.csv"}, good, error)) << error;
  EXPECT_EQ(good.commands[1].files, std::vector<std::string>{"site.csv"});
}

TEST(AldctlReport, TheDemoSiteReportHoldsTheTableOfTheSameRun) {
  Scratch dir;
  const std::string file = dir / "site.csv";
  const auto r =
      RunAldctl({"scan", "+", "report", file, "+", "list", "--format", "csv"}, Env(kDemoSite, dir));
  ASSERT_EQ(r.status, 0) << r.err;
  // Nothing of the report goes to standard output: only the list.
  EXPECT_EQ(r.out.rfind("Address,Subunit,", 0), 0u) << r.out;

  csv_test::Rows list;
  ASSERT_TRUE(csv_test::ReadCsv(r.out, list));
  ASSERT_EQ(list.size(), 9u);
  std::map<std::string, size_t> at;
  for (size_t i = 0; i < list[0].size(); ++i) at[list[0][i]] = i;
  std::vector<std::vector<std::string>> entries(list.begin() + 1, list.end());
  auto f = [&](const std::vector<std::string>& e, const char* name) { return e[at.at(name)]; };
  auto isRet = [&](const std::vector<std::string>& e) {
    return f(e, "Device Type") == "01" || f(e, "Device Type") == "11";
  };
  // The grids' order: RETs first, then by Sector ID as text, the table's
  // order among equals.
  std::stable_sort(entries.begin(), entries.end(), [&](const auto& a, const auto& b) {
    if (isRet(a) != isRet(b)) return isRet(a);
    return f(a, "Sector ID") < f(b, "Sector ID");
  });

  csv_test::Rows report = ReadReport(file);
  ASSERT_EQ(report.size(), 13u);
  const std::map<std::string, std::string> names = {
      {"KA", "Kathrein"}, {"CC", "CCI"}, {"PW", "Powerwave"}, {"EM", "EM"}};
  size_t row = 2;
  for (const auto& e : entries) {
    if (row == 7) row = 10;  // the separator and the TMA section's title and header
    SCOPED_TRACE("report row " + std::to_string(row));
    std::vector<std::string> c = Shown(report[row++]);
    ASSERT_EQ(c.size(), isRet(e) ? 24u : 31u);
    EXPECT_EQ(c[0], f(e, "Sector ID"));
    EXPECT_EQ(c[1], f(e, "Address"));
    EXPECT_EQ(c[2], f(e, "Device Type"));
    EXPECT_EQ(c[3], f(e, "Site ID"));
    EXPECT_EQ(c[4], f(e, "Installer ID"));
    EXPECT_EQ(c[5], f(e, "Installation Date"));
    EXPECT_EQ(c[6], f(e, "Bearing"));
    EXPECT_EQ(c[7], Degrees(f(e, "Mech. Tilt")));
    EXPECT_EQ(c[9], f(e, "Antenna Serial No."));
    EXPECT_EQ(c[13], f(e, "AISG Version") + ".x");
    EXPECT_EQ(c[15], f(e, "Vendor"));
    EXPECT_EQ(c[16], names.at(f(e, "Vendor")));
    EXPECT_EQ(c[17], f(e, "RET Model"));
    EXPECT_EQ(c[18], f(e, "RET Serial No."));
    EXPECT_EQ(c[19], f(e, "Hardware Version"));
    EXPECT_EQ(c[20], f(e, "Software Version"));
    if (f(e, "Device Status Cause").empty()) {
      EXPECT_EQ(c[14], "OK");
    }
    if (isRet(e)) {
      EXPECT_EQ(c[21], Degrees(f(e, "Min Tilt")));
      EXPECT_EQ(c[22], Degrees(f(e, "Max Tilt")));
      EXPECT_EQ(c[23], Degrees(f(e, "Current Tilt")));
    } else {
      EXPECT_EQ(c[22], f(e, "Mode") == "1" ? "Bypass" : "Normal");
      EXPECT_EQ(c[27], Decibels(f(e, "Min Gain")));
      EXPECT_EQ(c[28], Decibels(f(e, "Max Gain")));
      EXPECT_EQ(c[29], f(e, "GainResolution"));
      EXPECT_EQ(c[30], Decibels(f(e, "Current Gain")));
    }
  }
  EXPECT_EQ(row, 13u);
  // The shipped tables name the model and the uncalibrated actuator's state.
  std::vector<std::string> sectorA3 = Shown(report[5]);
  ASSERT_EQ(sectorA3.size(), 24u);
  EXPECT_EQ(sectorA3[8], "Triple-array panel antenna, 65 degrees, three RET actuators");
  EXPECT_EQ(sectorA3[14].rfind("NotCalibrated", 0), 0u) << sectorA3[14];
  EXPECT_EQ(sectorA3[23], "");
}

TEST(AldctlReport, HostileDeviceTextsReadBackUnchangedAndInert) {
  Scratch dir;
  const std::string file = dir / "site.csv";
  const auto r = RunAldctl({"scan", "+", "report", file}, Env(kHostileSite, dir));
  ASSERT_EQ(r.status, 0) << r.err;
  csv_test::Rows report = ReadReport(file);
  ASSERT_EQ(report.size(), 7u) << aldctl_test::ReadFile(file);
  std::vector<std::string> ret = Shown(report[2]);
  ASSERT_EQ(ret.size(), 24u);
  EXPECT_EQ(ret[0], "   , leading blanks");
  EXPECT_EQ(ret[3], "\\\"=cmd|' /C calc'!A0\\\",+@-;x");
  EXPECT_EQ(ret[4], ";,;,;");
  EXPECT_EQ(ret[5], "=A1");
  EXPECT_EQ(ret[8], "a\\\"b,c;d");
  EXPECT_EQ(ret[9], "=HYPERLINK(\"x\")");
  EXPECT_EQ(ret[17], "+SUM(A1:A9)");
  EXPECT_EQ(ret[18], "=1+1\\\",;@x");
  EXPECT_EQ(ret[19], "-2+3");
  EXPECT_EQ(ret[20], "@cmd");
  std::vector<std::string> separator(11, " ");
  separator[0] = "  ";
  EXPECT_EQ(report[3], separator);
  std::vector<std::string> tma = Shown(report[6]);
  ASSERT_EQ(tma.size(), 31u);
  EXPECT_EQ(tma[0], "@A1");
  EXPECT_EQ(tma[3], "-1+1");
  EXPECT_EQ(tma[17], "TMA,\"x\"");
  EXPECT_EQ(tma[18], "TD\"1,2;3");
}

TEST(AldctlReport, WithoutTablesTheCodesAreWritten) {
  // A copy of the program far from any data tree, loading the library of
  // the build.
  Scratch dir;
  std::filesystem::create_directories(dir / "bin");
  std::filesystem::copy_file(aldctl_test::BinPath("aldctl"), dir / "bin/aldctl");
  const std::string file = dir / "site.csv";
  const std::string command = "cd '" + dir.path +
                              "' && env -u ALDLINK_PORT -u ALDPANEL_DATA_DIR ALDLINK_SIM='" +
                              kDemoSite + "' ALDLINK_SIM_CLOCK=virtual XDG_DATA_HOME='" + dir.path +
                              "' bin/aldctl --lib '" + aldctl_test::BinPath("libaldglue.so") +
                              "' scan + report '" + file + "' 2>/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  csv_test::Rows report = ReadReport(file);
  ASSERT_EQ(report.size(), 13u);
  std::vector<std::string> first = Shown(report[2]);
  ASSERT_EQ(first.size(), 24u);
  EXPECT_EQ(first[8], "K-742215");
  EXPECT_EQ(first[14], "0");
  EXPECT_EQ(first[16], "KA");
}

TEST(AldctlReport, NoTableNoFileAndWriteErrorsNamed) {
  Scratch dir;
  const std::string file = dir / "site.csv";
  auto r = RunAldctl({"report", file}, Env(kDemoSite, dir));
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.err.find("aldctl: report: no devices known"), std::string::npos) << r.err;
  EXPECT_FALSE(aldctl_test::FileExists(file));

  const std::string missing = dir / "missing/site.csv";
  r = RunAldctl({"scan", "+", "report", missing, "+", "list"}, Env(kDemoSite, dir));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("aldctl: report: cannot create a file beside " + missing +
                       ": No such file or directory\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.out, "");  // the run ended there

  // A folder in the way; the file beside it is not touched.
  std::filesystem::create_directories(dir / "folder.csv");
  r = RunAldctl({"scan", "+", "report", dir / "folder.csv"}, Env(kDemoSite, dir));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("aldctl: report: cannot replace " + (dir / "folder.csv")), std::string::npos)
      << r.err;
  EXPECT_TRUE(std::filesystem::is_directory(dir / "folder.csv"));
}

}  // namespace
