// What aldctl prints after the bus work, run end to end against the
// in-process simulated line on the virtual clock: hostile device texts,
// alarmed, jammed and unreadable devices, broken site files, unusable
// ports and outputs. Each run checks the exit status, both streams exactly
// where they matter, and that script formats parse.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "run_util.h"
#include "tools/aldctl/format.h"

using aldctl_test::RunAldctl;
using aldctl_test::RunResult;

namespace {

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A site file in /tmp for the life of the object.
class SiteFile {
 public:
  explicit SiteFile(const std::string& text) : path_(aldctl_test::TempPath("t.site")) {
    FILE* f = std::fopen(path_.c_str(), "w");
    if (f != nullptr) {
      std::fputs(text.c_str(), f);
      std::fclose(f);
    }
  }
  ~SiteFile() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }
  std::vector<std::string> Env() const {
    return {"ALDLINK_SIM=" + path_, "ALDLINK_SIM_CLOCK=virtual"};
  }

 private:
  std::string path_;
};

// --- Checks of the script formats, independent of aldctl's own writers ----------

// A JSON text per RFC 8259, as far as aldctl's output needs: objects,
// arrays, strings with escapes, null, numbers, literals.
class JsonChecker {
 public:
  explicit JsonChecker(const std::string& text) : s_(text) {}
  bool Valid() {
    Space();
    if (!Value()) return false;
    Space();
    return i_ == s_.size();
  }

 private:
  void Space() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t'))
      ++i_;
  }
  bool Literal(const char* word) {
    const std::string w = word;
    if (s_.compare(i_, w.size(), w) != 0) return false;
    i_ += w.size();
    return true;
  }
  bool String() {
    if (i_ >= s_.size() || s_[i_] != '"') return false;
    for (++i_; i_ < s_.size(); ++i_) {
      const unsigned char c = s_[i_];
      if (c == '"') {
        ++i_;
        return true;
      }
      if (c < 0x20 || c >= 0x80) return false;  // aldctl writes ASCII only
      if (c == '\\') {
        if (++i_ >= s_.size()) return false;
        const char e = s_[i_];
        if (e == 'u') {
          for (int k = 0; k < 4; ++k) {
            if (++i_ >= s_.size() || !std::isxdigit(static_cast<unsigned char>(s_[i_])))
              return false;
          }
        } else if (std::string("\"\\/bfnrt").find(e) == std::string::npos) {
          return false;
        }
      }
    }
    return false;
  }
  bool Value() {
    if (i_ >= s_.size()) return false;
    const char c = s_[i_];
    if (c == '"') return String();
    if (c == 'n') return Literal("null");
    if (c == 't') return Literal("true");
    if (c == 'f') return Literal("false");
    if (c == '[' || c == '{') {
      const char close = c == '[' ? ']' : '}';
      ++i_;
      Space();
      if (i_ < s_.size() && s_[i_] == close) {
        ++i_;
        return true;
      }
      for (;;) {
        Space();
        if (close == '}') {
          if (!String()) return false;
          Space();
          if (i_ >= s_.size() || s_[i_++] != ':') return false;
          Space();
        }
        if (!Value()) return false;
        Space();
        if (i_ >= s_.size()) return false;
        if (s_[i_] == close) {
          ++i_;
          return true;
        }
        if (s_[i_++] != ',') return false;
      }
    }
    const size_t start = i_;
    while (i_ < s_.size() && std::string("+-.eE0123456789").find(s_[i_]) != std::string::npos) ++i_;
    return i_ > start;
  }

  const std::string& s_;
  size_t i_ = 0;
};

// RFC 4180 records; false for a malformed text (a stray quote, an
// unterminated quoted cell, a record without CRLF).
bool ParseCsv(const std::string& text, std::vector<std::vector<std::string>>& rows) {
  rows.clear();
  std::vector<std::string> row;
  std::string cell;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '"') {
      for (++i;; ++i) {
        if (i >= text.size()) return false;
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            cell += '"';
            ++i;
          } else {
            ++i;
            break;
          }
        } else {
          cell += text[i];
        }
      }
    } else {
      while (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '"' &&
             text[i] != '\n')
        cell += text[i++];
      if (i < text.size() && (text[i] == '"' || text[i] == '\n')) return false;
    }
    if (i < text.size() && text[i] == ',') {
      row.push_back(cell);
      cell.clear();
      ++i;
    } else if (text.compare(i, 2, "\r\n") == 0) {
      row.push_back(cell);
      cell.clear();
      rows.push_back(row);
      row.clear();
      i += 2;
    } else {
      return false;
    }
  }
  return row.empty() && cell.empty();
}

TEST(AldctlFormats, FormatCheckersOfTheseTestsRejectBrokenTexts) {
  EXPECT_TRUE(JsonChecker("[{\"a\": null, \"b\": \"x\\\"\\u0001\"}]").Valid());
  EXPECT_FALSE(JsonChecker("Found 1 device\n[]").Valid());
  EXPECT_FALSE(JsonChecker("[\"a\tb\"]").Valid());
  std::vector<std::vector<std::string>> rows;
  EXPECT_TRUE(ParseCsv("a,\"b,\"\"c\"\"\"\r\n", rows));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][1], "b,\"c\"");
  EXPECT_FALSE(ParseCsv("a,b\"c\r\n", rows));
  EXPECT_FALSE(ParseCsv("Found 2 devices\na,b\r\n", rows));
}

// Any byte a device text can hold leaves the writers as parseable ASCII:
// the quoting and the neutralised formulas are checked byte by byte.
TEST(AldctlFormats, EveryByteValueStaysParseableAndFormulasStayText) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_TRUE(JsonChecker(aldctl::JsonQuote(all)).Valid());
  std::vector<std::vector<std::string>> rows;
  ASSERT_TRUE(ParseCsv(aldctl::CsvCell(all) + "\r\n", rows));
  ASSERT_EQ(rows.size(), 1u);
  for (unsigned char c : rows[0][0]) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << int(c);
  EXPECT_EQ(aldctl::Printable("A\x1b[2J\xc3\x84"), "A\\x1B[2J\\xC3\\x84");

  EXPECT_EQ(aldctl::CsvCell("=HYPERLINK(\"http://x/a,b\",\"y\")"),
            "\"'=HYPERLINK(\"\"http://x/a,b\"\",\"\"y\"\")\"");
  EXPECT_EQ(aldctl::CsvCell("+1+1"), "'+1+1");
  EXPECT_EQ(aldctl::CsvCell("@SUM(A1)"), "'@SUM(A1)");
  EXPECT_EQ(aldctl::CsvCell("-2+3"), "'-2+3");
  EXPECT_EQ(aldctl::CsvCell("\tX"), "'\\x09X");
  EXPECT_EQ(aldctl::CsvCell("\r=1"), "'\\x0D=1");
  // Plain numbers stay numbers; a formula character elsewhere is harmless.
  EXPECT_EQ(aldctl::CsvCell("-15"), "-15");
  EXPECT_EQ(aldctl::CsvCell("+3.5"), "+3.5");
  EXPECT_EQ(aldctl::CsvCell("A=1"), "A=1");
  EXPECT_EQ(aldctl::CsvCell(""), "");
  EXPECT_FALSE(aldctl::IsPlainNumber("-"));
  EXPECT_FALSE(aldctl::IsPlainNumber("1."));
  EXPECT_FALSE(aldctl::IsPlainNumber("1e5"));
}

// A device's number is named from its own generation's list; the library's
// own numbers keep their meaning whatever the device.
TEST(AldctlFormats, ResultsAreExplainedByTheDevicesGeneration) {
  using ald::results::DeviceKind;
  using ald::results::ResultText;
  const DeviceKind ret2{2, false}, ret1{1, false}, tma2{2, true}, tma1{1, true}, unknown{};
  EXPECT_EQ(ResultText(25, ret1), "not supported by an AISG 1.x device");
  EXPECT_EQ(ResultText(25, ret2), "the device refused: return code 0x19 UnknownProcedure");
  EXPECT_EQ(ResultText(25, unknown), "the procedure is not supported by the device");
  EXPECT_EQ(ResultText(2, ret2), "the device refused: return code 0x02 MotorJam");
  EXPECT_EQ(ResultText(2, ret1), "the device refused: return code 0x02 ActuatorJamPermanent");
  // 0x1A is a TMA fault on AISG 2.0 and named by no first-generation RET list.
  EXPECT_EQ(ResultText(26, tma2), "the device refused: return code 0x1A MinorTMAFault");
  EXPECT_EQ(ResultText(26, ret1), "the device refused: return code 0x1A (unknown return code)");
  EXPECT_EQ(ResultText(26, tma1), "the device refused: return code 0x1A (unknown return code)");
  // Codes above 0x7F arrive sign-extended; the generation unknown, no list
  // is guessed at.
  EXPECT_EQ(ResultText(-2, ret2), "the device refused: return code 0xFE (unknown return code)");
  EXPECT_EQ(ResultText(19, unknown), "the device refused: return code 0x13 (unknown return code)");
  EXPECT_EQ(ResultText(89, ret1), "no answer from the device");
  EXPECT_EQ(ResultText(-1800), "general failure: no device of the needed kind at this address");
  EXPECT_EQ(ResultText(130), "the scan finished but devices may have been missed");
  EXPECT_EQ(ResultText(131).rfind("a file of the job cannot be used", 0), 0u);
  EXPECT_EQ(ResultText(4000), "unknown result");
}

// --- Hostile texts and script output ---------------------------------------------

const char kHostileSite[] =
    "[device]\ngeneration = 2\ntype = 1\nvendor = KA\nserial = H1\n\n"
    "[subunit 1]\n"
    "base-station-id = =HYPERLINK(\"http://x/a,b\",\"y\")\n"
    "sector-id = A\"1\\\n"
    "antenna-serial = @SUM(A1)\n"
    "antenna-model = -2+3\n"
    "installer-id = +1+1\n"
    "install-date = -15\n"
    "tilt-range = 2.0 12.0\n"
    "tilt = 4.0\n";

TEST(AldctlTruth, HostileTextsGiveParseableScriptOutputWithFormulasNeutralised) {
  SiteFile site(kHostileSite);
  const RunResult csv = RunAldctl({"scan", "+", "list", "--format", "csv"}, site.Env());
  ASSERT_EQ(csv.status, 0) << csv.err;
  EXPECT_EQ(csv.err, "Found 1 device: RET 1 device, 1 unit; TMA 0 devices, 0 units\n");
  std::vector<std::vector<std::string>> rows;
  ASSERT_TRUE(ParseCsv(csv.out, rows)) << csv.out;
  ASSERT_EQ(rows.size(), 2u);
  ASSERT_EQ(rows[0].size(), 34u);
  ASSERT_EQ(rows[1].size(), 34u);
  auto cell = [&](const std::string& name) {
    for (size_t k = 0; k < rows[0].size(); ++k) {
      if (rows[0][k] == name) return rows[1][k];
    }
    return std::string("<no column>");
  };
  EXPECT_EQ(cell("Site ID"), "'=HYPERLINK(\"http://x/a,b\",\"y\")");
  EXPECT_EQ(cell("Sector ID"), "A\"1\\");
  EXPECT_EQ(cell("Antenna Serial No."), "'@SUM(A1)");
  EXPECT_EQ(cell("Antenna Model"), "'-2+3");
  EXPECT_EQ(cell("Installer ID"), "'+1+1");
  EXPECT_EQ(cell("Installation Date"), "-15");
  EXPECT_EQ(cell("Min Tilt"), "20");

  // JSON keeps the raw texts, and the whole standard output is one value.
  const RunResult json = RunAldctl({"scan", "+", "list", "--format", "json"}, site.Env());
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_TRUE(JsonChecker(json.out).Valid()) << json.out;
  EXPECT_TRUE(Has(json.out, "\"Site ID\": \"=HYPERLINK(\\\"http://x/a,b\\\",\\\"y\\\")\""))
      << json.out;
  EXPECT_TRUE(Has(json.out, "\"Sector ID\": \"A\\\"1\\\\\"")) << json.out;
  EXPECT_TRUE(Has(json.out, "\"Installer ID\": \"+1+1\"")) << json.out;
}

// --- Alarms and refusals ------------------------------------------------------------

const char kAlarmSite[] =
    "[device]\ngeneration = 2\ntype = 1\nvendor = KA\nserial = AL2\n\n"
    "[subunit 1]\ntilt-range = 0.0 10.0\njammed = yes\nalarms = 0x03 0x13 0x2A\n\n"
    "[device]\ngeneration = 1\ntype = 1\nvendor = KB\nserial = AL1\n\n"
    "[subunit 1]\ntilt-range = 0.0 10.0\njammed = yes\nalarms = 0x03\n\n"
    "[device]\ngeneration = 2\ntype = 1\nvendor = KC\nserial = OK2\n\n"
    "[subunit 1]\ntilt-range = 0.0 10.0\n";

// The scan gives addresses in search order; the test finds them by serial.
std::string AddressOf(const std::string& json, const std::string& serial) {
  const size_t at = json.find("\"RET Serial No.\": \"" + serial + "\"");
  if (at == std::string::npos) return "?";
  const size_t start = json.rfind("{\"Address\": \"", at);
  if (start == std::string::npos) return "?";
  const size_t value = start + 13;
  return json.substr(value, json.find('"', value) - value);
}

TEST(AldctlTruth, AlarmsAreTheAnswerNamedByTheDevicesGenerationAndJamsAreNamedRefusals) {
  SiteFile site(kAlarmSite);
  const RunResult table = RunAldctl({"scan", "+", "list", "--format", "json"}, site.Env());
  ASSERT_EQ(table.status, 0) << table.err;
  const std::string a2 = AddressOf(table.out, "AL2");
  const std::string a1 = AddressOf(table.out, "AL1");
  const std::string ok = AddressOf(table.out, "OK2");

  // Every active alarm with its code and name, exit 0; the first
  // generation's list names 0x03 differently; 0x2A is in no list.
  RunResult r = RunAldctl({"scan", "+", "alarms", "get", a2, "1"}, site.Env());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "0x03 ActuatorJam\n0x13 OutOfRange\n0x2A (unknown return code)\n");
  r = RunAldctl({"scan", "+", "alarms", "get", a1, "1", "+", "alarms", "get", ok, "1"}, site.Env());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "0x03 ActuatorJamTemporary\nnone\n");

  // A jammed actuator refuses by name and number, per generation.
  r = RunAldctl({"scan", "+", "tilt", "set", a2, "1", "5.50"}, site.Env());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(Has(r.err,
                  "aldctl: tilt set failed: result 2: the device refused: return code "
                  "0x02 MotorJam\n"))
      << r.err;
  r = RunAldctl({"scan", "+", "calibrate", a1, "1"}, site.Env());
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Has(r.err, "return code 0x02 ActuatorJamPermanent\n")) << r.err;
}

// --- Devices that cannot be read ------------------------------------------------

const char kRefusingSite[] =
    "[device]\ngeneration = 2\ntype = 1\nvendor = KA\nserial = GOOD1\n\n"
    "[subunit 1]\ntilt-range = 2.0 12.0\ntilt = 6.0\nbearing = 30.0\n\n"
    "[device]\ngeneration = 2\ntype = 1\nvendor = KA\nserial = BAD1\n"
    "fault.fail-reasons = 0x0B\n\n"
    "[subunit 1]\ntilt-range = 2.0 12.0\ntilt = 6.0\nbearing = 30.0\n";

TEST(AldctlTruth, NeverReadValuesAreUnknownNotZeroAndTheDeviceDecidesTheRange) {
  SiteFile site(kRefusingSite);
  const RunResult r = RunAldctl(
      {"scan", "+", "list", "--format", "json", "+", "list", "--format", "csv", "+", "list"},
      site.Env());
  ASSERT_EQ(r.status, 0) << r.err;
  // The summary says which device could not be read.
  EXPECT_TRUE(Has(r.err, "Found 2 devices: RET 2 devices, 2 units; TMA 0 devices, 0 units\n"))
      << r.err;
  EXPECT_TRUE(Has(r.err, "found, but its device data could not be read and is unknown\n")) << r.err;
  EXPECT_FALSE(Has(r.err, "GOOD1")) << r.err;

  const size_t csvStart = r.out.find("Address,");
  const size_t textStart = r.out.find("ADDR ");
  ASSERT_NE(csvStart, std::string::npos);
  ASSERT_NE(textStart, std::string::npos);
  const std::string json = r.out.substr(0, csvStart);
  EXPECT_TRUE(JsonChecker(json).Valid()) << json;
  // The readable device shows its values, the other none of them.
  EXPECT_TRUE(Has(json, "\"Max Tilt\": \"120\", \"Min Tilt\": \"20\"")) << json;
  EXPECT_TRUE(Has(json, "\"Max Tilt\": null, \"Min Tilt\": null")) << json;
  EXPECT_TRUE(Has(json, "\"Bearing\": \"300\"")) << json;
  EXPECT_TRUE(Has(json, "\"Bearing\": null")) << json;
  EXPECT_TRUE(Has(json, "\"Freq. Band\": null, \"Beam Width\": null, \"Antenna Gain\": null"))
      << json;

  std::vector<std::vector<std::string>> rows;
  ASSERT_TRUE(ParseCsv(r.out.substr(csvStart, textStart - csvStart), rows));
  ASSERT_EQ(rows.size(), 3u);
  size_t bearing = 0;
  while (bearing < rows[0].size() && rows[0][bearing] != "Bearing") ++bearing;
  ASSERT_LT(bearing, rows[0].size());
  EXPECT_TRUE((rows[1][bearing] == "300" && rows[2][bearing].empty()) ||
              (rows[2][bearing] == "300" && rows[1][bearing].empty()))
      << rows[1][bearing] << "|" << rows[2][bearing];

  // With the range never read, no local range check: the device answers
  // (here with its refusal) instead of "outside 0.0 to 0.0".
  std::string unreadable;
  for (const auto& row : rows) {
    if (!row.empty() && row[0] != "Address" && row[bearing].empty()) unreadable = row[0];
  }
  ASSERT_FALSE(unreadable.empty());
  const RunResult tilt = RunAldctl({"scan", "+", "tilt", "set", unreadable, "1", "5", "+", "data",
                                    "get", unreadable, "1", "Min Tilt"},
                                   site.Env());
  EXPECT_EQ(tilt.status, 1);
  EXPECT_FALSE(Has(tilt.err, "outside the antenna's range")) << tilt.err;
  EXPECT_TRUE(Has(tilt.err, "tilt set failed: result ")) << tilt.err;
}

// --- The line cannot be had ---------------------------------------------------------

TEST(AldctlTruth, BrokenSiteFilesUnusablePortsAndAMissingAdapterAreNamed) {
  // A malformed site file: its line and reason, its own status, no output.
  SiteFile broken("[device]\ngeneration = 2\ntype = 1\nvendor = KA\nserial = X\nflavour = mild\n");
  RunResult r = RunAldctl({"scan", "+", "list", "--format", "json"}, broken.Env());
  EXPECT_EQ(r.status, 6);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "aldctl: cannot reach the antenna line: site file " + broken.path() +
                       ": line 6: unknown device key 'flavour'\n");
  EXPECT_FALSE(Has(r.err, "no device found"));

  // ALDLINK_PORT naming things that are no serial port.
  const std::string regular = aldctl_test::TempPath("port");
  std::fclose(std::fopen(regular.c_str(), "w"));
  const std::vector<std::pair<std::string, std::string>> ports = {
      {"/nonexistent/ttyUSB9",
       "aldctl: ALDLINK_PORT: cannot open /nonexistent/ttyUSB9: No such "
       "file or directory\n"},
      {regular, "aldctl: ALDLINK_PORT: " + regular + " is a regular file, not a serial port\n"},
      {"/tmp", "aldctl: ALDLINK_PORT: /tmp is a directory, not a serial port\n"},
      {"/dev/null", "aldctl: ALDLINK_PORT: /dev/null is not a serial port\n"},
  };
  for (const auto& [port, message] : ports) {
    r = RunAldctl({"scan"}, {"ALDLINK_PORT=" + port});
    EXPECT_EQ(r.status, 5) << port;
    EXPECT_EQ(r.err, message);
    EXPECT_EQ(r.out, "");
  }
  std::remove(regular.c_str());

  // A terminal another program holds.
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string slave = ptsname(master);
  const int held = open(slave.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
  r = RunAldctl({"scan"}, {"ALDLINK_PORT=" + slave});
  EXPECT_EQ(r.status, 5);
  EXPECT_EQ(r.err,
            "aldctl: ALDLINK_PORT: cannot open " + slave + ": it is in use by another program\n");
  close(held);
  close(master);

  // No adapter at all: said before any search, never as "no device found".
  r = RunAldctl({"scan"});
  EXPECT_EQ(r.status, 5) << r.err;
  EXPECT_EQ(r.err.rfind("aldctl: cannot reach the antenna line: ", 0), 0u) << r.err;
  EXPECT_FALSE(Has(r.err, "no device found")) << r.err;
}

// --- Losses --------------------------------------------------------------------------

TEST(AldctlTruth, WriteErrorsAndFilesTheDeviceCannotTakeFailLoudly) {
  SiteFile site(kHostileSite);
  RunResult r = aldctl_test::RunAldctlTo("/dev/full", {"scan", "+", "list"}, site.Env());
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Has(r.err, "aldctl: cannot write the output: No space left on device\n")) << r.err;
  r = RunAldctl({"--trace", "/dev/full", "scan"}, site.Env());
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(
      Has(r.err, "aldctl: cannot write the trace file /dev/full: No space left on device\n"))
      << r.err;
  r = aldctl_test::RunAldctlTo("/dev/full", {"--version"});
  EXPECT_EQ(r.status, 1);

  // Six files for a device that takes five, and an empty image: refused
  // before the library is loaded.
  std::vector<std::string> files;
  for (int i = 0; i < 6; ++i) {
    files.push_back(aldctl_test::TempPath("image.bin"));
    FILE* f = std::fopen(files.back().c_str(), "w");
    std::fputs("image", f);
    std::fclose(f);
  }
  std::vector<std::string> args = {"download", "1"};
  args.insert(args.end(), files.begin(), files.end());
  r = RunAldctl(args, site.Env());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "aldctl: download: a device takes at most 5 files in one download, not 6\n");
  FILE* f = std::fopen(files[0].c_str(), "w");
  std::fclose(f);
  r = RunAldctl({"scan", "+", "download", "1", files[0]}, site.Env());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "aldctl: download: the file is empty: " + files[0] + "\n");
  for (const std::string& name : files) std::remove(name.c_str());

  // A hexadecimal configuration file with a stray character or half a byte.
  const std::string acf = aldctl_test::TempPath("antenna.hex");
  for (const auto& [content, message] : std::vector<std::pair<std::string, std::string>>{
           {"0A1B\n", ": byte 5 is 0x0A, not a hexadecimal digit"},
           {"0A1", ": an odd number of digits"}}) {
    f = std::fopen(acf.c_str(), "w");
    std::fputs(content.c_str(), f);
    std::fclose(f);
    r = RunAldctl({"scan", "+", "configure", "1", "1", acf}, site.Env());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err,
              "aldctl: configure: not a hexadecimal configuration file: " + acf + message + "\n");
  }
  std::remove(acf.c_str());

  // A software image the library finds malformed: its result and meaning,
  // and where to see which file and what is wrong with it.
  const std::string image = aldctl_test::TempPath("image.hex");
  f = std::fopen(image.c_str(), "w");
  std::fputs(":04000000010203\n", f);
  std::fclose(f);
  r = RunAldctl({"scan", "+", "download", "1", image}, site.Env());
  std::remove(image.c_str());
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Has(r.err,
                  "aldctl: download failed: result 131: a file of the job cannot be used "
                  "(missing, unreadable, empty or malformed); nothing was sent to the "
                  "device (--trace FILE shows which file and what is wrong with it)\n"))
      << r.err;
}

// --- Smaller things --------------------------------------------------------------------

TEST(AldctlTruth, SmallThingsAUserTripsOver) {
  RunResult r = RunAldctl({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("aldctl ", 0), 0u) << r.out;
  r = RunAldctl({"help", "alarms"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("usage: aldctl alarms", 0), 0u) << r.out;
  // Inside a chain too, and nothing runs then.
  r = RunAldctl({"--lib", "/nonexistent/libaldglue.so", "scan", "+", "help", "list"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("usage: aldctl list", 0), 0u) << r.out;
  EXPECT_EQ(RunAldctl({"scan", "+", "help", "frobnicate"}).status, 2);

  const std::string demo = std::string(ALDCTL_SITES_DIR) + "/demo.site";
  const std::vector<std::string> env = {"ALDLINK_SIM=" + demo, "ALDLINK_SIM_CLOCK=virtual",
                                        "ALDLINK_PORT=/dev/ttyUSB0"};
  r = RunAldctl({"scan", "--depth", "2"}, env);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Has(r.err,
                  "aldctl: warning: both ALDLINK_SIM and ALDLINK_PORT are set; the "
                  "simulated line of ALDLINK_SIM is used and ALDLINK_PORT is ignored\n"))
      << r.err;
  // Site-file names and table names reach the same fields; a TMA's model
  // is "TMA Model"; 4.50 is 4.5; BYPASS is bypass.
  const RunResult table = RunAldctl({"scan", "--depth", "2", "+", "list", "--format", "json"},
                                    {"ALDLINK_SIM=" + demo, "ALDLINK_SIM_CLOCK=virtual"});
  ASSERT_EQ(table.status, 0) << table.err;
  const std::string ret = AddressOf(table.out, "MR4401203977");
  const std::string tma = [&] {
    const size_t at = table.out.find("\"Device Type\": \"02\"");
    const size_t start = table.out.rfind("{\"Address\": \"", at);
    return table.out.substr(start + 13, table.out.find('"', start + 13) - start - 13);
  }();
  r = RunAldctl({"scan",
                 "--depth",
                 "2",
                 "+",
                 "data",
                 "get",
                 ret,
                 "1",
                 "base-station-id",
                 "+",
                 "data",
                 "get",
                 ret,
                 "1",
                 "Site ID",
                 "+",
                 "tilt",
                 "set",
                 ret,
                 "1",
                 "4.50",
                 "+",
                 "tilt",
                 "get",
                 ret,
                 "1",
                 "+",
                 "mode",
                 "set",
                 tma,
                 "1",
                 "BYPASS",
                 "+",
                 "mode",
                 "get",
                 tma,
                 "1",
                 "+",
                 "data",
                 "get",
                 tma,
                 "1",
                 "TMA Model",
                 "TMA Serial No."},
                {"ALDLINK_SIM=" + demo, "ALDLINK_SIM_CLOCK=virtual"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "ENB-4711-NORTH\nENB-4711-NORTH\n4.5\nbypass\nTMA Model:       TMA-DD-1821\n"
            "TMA Serial No.:  TD24090011\n");
  // A lower-case vendor code is the same code.
  r = RunAldctl({"add", "ka", "MR4401203977"},
                {"ALDLINK_SIM=" + demo, "ALDLINK_SIM_CLOCK=virtual"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Has(r.err, "Found 1 device: RET 1 device, 3 units")) << r.err;
}

// On a terminal: a download shows the share of the image sent (100% at
// the end, from the library's progress word), and Ctrl-C during a long
// operation ends the progress line before the program stops.
TEST(AldctlTruth, TheProgressLineShowsTheShareSentAndEndsCleanlyOnCtrlC) {
  const std::string demo = std::string(ALDCTL_SITES_DIR) + "/demo.site";
  const std::string image = aldctl_test::TempPath("image.bin");
  FILE* f = std::fopen(image.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  const std::string bytes(2000, '\x33');
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  const std::vector<std::string> env = {"ALDLINK_SIM=" + demo, "ALDLINK_SIM_CLOCK=virtual"};
  const RunResult table = RunAldctl({"scan", "--depth", "2", "+", "list", "--format", "json"}, env);
  const std::string ret = AddressOf(table.out, "12345678");
  RunResult r =
      aldctl_test::RunAldctlOnTerminal({"scan", "--depth", "2", "+", "download", ret, image}, env);
  std::remove(image.c_str());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Has(r.err, "\rdownload: 100%, ")) << r.err;

  // Real time here: the scan of the demo line takes most of a minute, and
  // is interrupted after its first tick.
  r = aldctl_test::RunAldctlOnTerminal({"scan"}, {"ALDLINK_SIM=" + demo}, 1300);
  EXPECT_EQ(r.status, 128 + SIGINT);
  EXPECT_TRUE(Has(r.err, "\rscan: 1 s")) << r.err;
  ASSERT_FALSE(r.err.empty());
  EXPECT_EQ(r.err.back(), '\n') << r.err;
}

}  // namespace
