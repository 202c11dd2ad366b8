// aldctl against a stand-in interface library (fake/fake_glue.cpp): what
// each command passes to the exports, how results and missing exports are
// reported, and that the library's output lands in the trace file only.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_util.h"

using aldctl_test::ReadFile;
using aldctl_test::RunAldctl;
using aldctl_test::RunResult;

namespace {

struct FakeRun {
  RunResult r;
  std::string trace;
};

// Runs a chain that starts with a scan of the stand-in library.
FakeRun RunFake(std::vector<std::string> args, bool scan = true) {
  const std::string trace = aldctl_test::TempPath("fake_trace.txt");
  std::vector<std::string> full = {"--lib", aldctl_test::BinPath(FAKE_GLUE_NAME), "--trace", trace};
  if (scan) {
    full.push_back("scan");
    full.push_back("+");
  }
  full.insert(full.end(), args.begin(), args.end());
  FakeRun f{RunAldctl(full), ""};
  f.trace = ReadFile(trace);
  std::remove(trace.c_str());
  return f;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(AldctlFake, ScanSummaryAndTextTableGoToOutputTheTraceToTheFile) {
  const FakeRun f = RunFake({"list"});
  ASSERT_EQ(f.r.status, 0) << f.r.err;
  EXPECT_TRUE(Has(f.trace, "scanMain(4,1)\n")) << f.trace;
  EXPECT_FALSE(Has(f.r.out, "scanMain"));
  // The summary goes to standard error: standard output is the table alone.
  EXPECT_TRUE(Has(f.r.err, "Found 2 devices: RET 1 device, 2 units; TMA 1 device, 1 unit\n"))
      << f.r.err;
  EXPECT_EQ(f.r.out.rfind("ADDR", 0), 0u) << f.r.out;
  // Tilts and bearings in degrees, gain in dB, mode by name, columns
  // aligned on the header.
  const size_t head = f.r.out.find("ADDR");
  ASSERT_NE(head, std::string::npos);
  const std::string table = f.r.out.substr(head);
  const std::string header = table.substr(0, table.find('\n'));
  const size_t tiltColumn = header.find("TILT");
  const size_t gainColumn = header.find("GAIN");
  std::vector<std::string> rows;
  for (size_t p = table.find('\n') + 1; p < table.size(); p = table.find('\n', p) + 1) {
    rows.push_back(table.substr(p, table.find('\n', p) - p));
  }
  ASSERT_EQ(rows.size(), 3u) << table;
  EXPECT_EQ(rows[0].substr(tiltColumn, 3), "6.0") << table;
  EXPECT_TRUE(Has(rows[0], "300.5")) << rows[0];
  EXPECT_TRUE(Has(rows[0], "-1.5")) << rows[0];
  EXPECT_EQ(rows[2].substr(gainColumn, 5), "12.25") << table;
  EXPECT_TRUE(Has(rows[2], "bypass"));
  EXPECT_TRUE(Has(rows[2], "0e51"));
}

TEST(AldctlFake, ScriptFormatsQuoteAndBoundEveryField) {
  const FakeRun csv = RunFake({"list", "--format", "csv"});
  ASSERT_EQ(csv.r.status, 0) << csv.r.err;
  EXPECT_TRUE(Has(csv.r.out, "Address,Subunit,Device Type,AISG Version,Unique ID,")) << csv.r.out;
  EXPECT_TRUE(Has(csv.r.out, ",\"RCU, \"\"M3\"\"\",")) << csv.r.out;
  // The site ID field fills all 128 bytes without a terminator: the value
  // ends there, not in the next field.
  EXPECT_TRUE(Has(csv.r.out, "," + std::string(128, 'S') + ",")) << csv.r.out;
  EXPECT_FALSE(Has(csv.r.out, std::string(129, 'S')));

  const FakeRun json = RunFake({"list", "--format", "json"});
  ASSERT_EQ(json.r.status, 0) << json.r.err;
  ASSERT_EQ(json.r.out.rfind("[\n", 0), 0u) << json.r.out;
  EXPECT_TRUE(Has(json.r.out, "\"RET Model\": \"RCU, \\\"M3\\\"\"")) << json.r.out;
  EXPECT_TRUE(Has(json.r.out, "\"Current Gain\": \"49\""));
  size_t objects = 0;
  for (size_t p = json.r.out.find("{\"Address\""); p != std::string::npos;
       p = json.r.out.find("{\"Address\"", p + 1))
    ++objects;
  EXPECT_EQ(objects, 3u);
  EXPECT_EQ(json.r.out.substr(json.r.out.size() - 2), "]\n");
}

TEST(AldctlFake, DeviceCommandsNeedAScanInTheSameRun) {
  const FakeRun f = RunFake({"tilt", "get", "3", "1"}, false);
  EXPECT_EQ(f.r.status, 4);
  EXPECT_TRUE(Has(f.r.err, "scan first")) << f.r.err;
  EXPECT_FALSE(Has(f.trace, "getTilt"));
  // Every format writes its empty form (nothing, a header, an empty
  // array) and ends with the same status.
  const FakeRun list = RunFake({"list"}, false);
  EXPECT_EQ(list.r.status, 4);
  EXPECT_EQ(list.r.out, "");
  const FakeRun json = RunFake({"list", "--format", "json"}, false);
  EXPECT_EQ(json.r.status, 4);
  EXPECT_EQ(json.r.out, "[]\n");
  const FakeRun csv = RunFake({"list", "--format", "CSV"}, false);
  EXPECT_EQ(csv.r.status, 4);
  EXPECT_EQ(csv.r.out.rfind("Address,Subunit,", 0), 0u) << csv.r.out;
  EXPECT_EQ(csv.r.out.find("\r\n"), csv.r.out.size() - 2) << csv.r.out;
}

TEST(AldctlFake, TiltIsCheckedAgainstTheAntennaAndResultsAreExplained) {
  FakeRun f = RunFake({"tilt", "set", "3", "1", "1.5"});
  EXPECT_EQ(f.r.status, 2);
  EXPECT_TRUE(Has(f.r.err, "outside the antenna's range 2.0 to 12.0")) << f.r.err;
  EXPECT_FALSE(Has(f.trace, "setTilt"));

  f = RunFake({"tilt", "set", "3", "1", "4.5", "+", "tilt", "get", "3", "1"});
  EXPECT_EQ(f.r.status, 0) << f.r.err;
  EXPECT_TRUE(Has(f.trace, "setTilt(3,1,45)\ngetTilt(3,1)\n")) << f.trace;
  EXPECT_EQ(f.r.out, "-2.5\n");

  // A failing command ends the chain with its result and meaning.
  f = RunFake({"tilt", "set", "3", "2", "5", "+", "tilt", "get", "3", "1"});
  EXPECT_EQ(f.r.status, 1);
  EXPECT_TRUE(Has(f.r.err, "tilt set failed: result 30: the value read back differs")) << f.r.err;
  EXPECT_FALSE(Has(f.trace, "getTilt"));

  f = RunFake({"selftest", "7"});
  EXPECT_EQ(f.r.status, 1);
  EXPECT_TRUE(Has(f.trace, "selfTestTMA(7)"));
  EXPECT_TRUE(Has(f.r.err, "result -1800: general failure")) << f.r.err;
  f = RunFake({"selftest", "3"});
  EXPECT_EQ(f.r.status, 0);
  EXPECT_TRUE(Has(f.trace, "selfTest(3)"));
}

TEST(AldctlFake, AddressesKindsAndMissingExports) {
  FakeRun f = RunFake({"tilt", "get", "9", "1"});
  EXPECT_EQ(f.r.status, 4);
  EXPECT_TRUE(Has(f.r.err, "no device at address 9 (addresses in the table: 3, 7)")) << f.r.err;
  f = RunFake({"tilt", "get", "3", "3"});
  EXPECT_EQ(f.r.status, 4);
  EXPECT_TRUE(Has(f.r.err, "has no subunit 3")) << f.r.err;
  f = RunFake({"tilt", "get", "7", "1"});
  EXPECT_EQ(f.r.status, 4);
  EXPECT_TRUE(Has(f.r.err, "is not a RET")) << f.r.err;
  EXPECT_FALSE(Has(f.trace, "getTilt"));

  f = RunFake({"gain", "get", "7", "1", "+", "mode", "set", "7", "1", "bypass", "+", "gain", "set",
               "7", "1", "12"});
  EXPECT_EQ(f.r.status, 3);
  EXPECT_EQ(f.r.out, "12.25\n");
  EXPECT_TRUE(Has(f.trace, "setMode(7,1,1)"));
  EXPECT_TRUE(Has(f.r.err, "no setGain function")) << f.r.err;
  f = RunFake({"gain", "set", "7", "1", "3.75"});
  EXPECT_EQ(f.r.status, 2);
  EXPECT_TRUE(Has(f.r.err, "outside the unit's range 4.0 to 12.0 dB")) << f.r.err;
  f = RunFake({"calibrate", "3", "1"});
  EXPECT_EQ(f.r.status, 3);
  EXPECT_TRUE(Has(f.r.err, "no calibrate function")) << f.r.err;
}

TEST(AldctlFake, AlarmsDownloadAndAdapterCommands) {
  FakeRun f = RunFake({"alarms", "get", "3", "1", "+", "alarms", "get", "7", "1"});
  EXPECT_EQ(f.r.status, 0) << f.r.err;
  // Each alarm by its code and the name in its device's list, without the
  // library's "new" state code: the RET is an AISG 2.0 device, the TMA an
  // AISG 1.x one whose list does not name 0x0E.
  EXPECT_EQ(f.r.out, "0x0E NotCalibrated\n0x0E (unknown return code)\n");

  const std::string a = aldctl_test::TempPath("a.bin");
  const std::string b = aldctl_test::TempPath("b.hex");
  for (const std::string& name : {a, b}) {
    FILE* file = std::fopen(name.c_str(), "w");
    std::fputs("image", file);
    std::fclose(file);
  }
  f = RunFake({"download", "3", a, b});
  EXPECT_EQ(f.r.status, 0) << f.r.err;
  EXPECT_TRUE(Has(f.trace, "downloadSoftware(3," + a + "," + b + ")")) << f.trace;
  std::remove(a.c_str());
  std::remove(b.c_str());

  f = RunFake({"port", "+", "ab", "set", "1"}, false);
  EXPECT_EQ(f.r.status, 0) << f.r.err;
  EXPECT_EQ(f.r.out, "7\n");
  EXPECT_TRUE(Has(f.trace, "setPinValue(1)"));
  f = RunFake({"power", "get"}, false);
  EXPECT_EQ(f.r.status, 1);
  EXPECT_TRUE(Has(f.r.err, "result 89: no answer")) << f.r.err;
  f = RunFake({"version", "switch", "AN", "1"}, false);
  EXPECT_EQ(f.r.status, 1);
  EXPECT_TRUE(Has(f.r.err, "AISG version settings failed!")) << f.r.err;
  EXPECT_TRUE(Has(f.trace, "switchAISGVersion(AN,1)"));
}

TEST(AldctlFake, DeviceDataIsWrittenAsOneRequestAndReadFromTheTable) {
  FakeRun f = RunFake({"data", "set", "3", "2", "sector-id", "X9", "Mech. Tilt", "-15",
                       "Freq. Band", "0102030405FF", "bearing", "3599"});
  EXPECT_EQ(f.r.status, 0) << f.r.err;
  EXPECT_TRUE(Has(f.trace,
                  "setDeviceData(17,3,2,[242603080925],sectorid=X9,mechtilt=-15,bearing=3599,"
                  "band=0102030405ff)"))
      << f.trace;

  // The TMA is an AISG 1.x device: its limits apply before anything is sent.
  f = RunFake({"data", "set", "7", "1", "sector-id", "ABCDE"});
  EXPECT_EQ(f.r.status, 2);
  EXPECT_TRUE(Has(f.r.err, "at most 4 characters on an AISG 1.x device")) << f.r.err;
  f = RunFake({"data", "set", "7", "1", "max-tilt", "10"});
  EXPECT_EQ(f.r.status, 2);
  EXPECT_TRUE(Has(f.r.err, "RET devices only")) << f.r.err;
  EXPECT_FALSE(Has(f.trace, "setDeviceData"));

  f = RunFake(
      {"data", "get", "3", "1", "sector-id", "+", "data", "get", "3", "1", "Elec. Tilt", "Vendor"});
  EXPECT_EQ(f.r.status, 0) << f.r.err;
  EXPECT_EQ(f.r.out, "A1\nCurrent Tilt:  60\nVendor:        KA\n");
}

}  // namespace
