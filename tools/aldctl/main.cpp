// aldctl: the command-line controller for antenna line devices. It loads the
// flat interface library by name, binds its exports and runs one command or
// a chain of commands joined by "+" in one process, since the device list
// that a scan builds lives only as long as the process. Arguments are all
// checked before the library is loaded; the library's trace goes to the
// --trace file or nowhere so that the tool's own output stays clean.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/aldctl/cli.h"
#include "tools/aldctl/fields.h"
#include "tools/aldctl/format.h"
#include "tools/aldctl/glue.h"
#include "tools/aldctl/report.h"

namespace {

using namespace aldctl;

constexpr const char* kVersion = ALD_VERSION;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitUnavailable = 3;
constexpr int kExitNoDevice = 4;
constexpr int kExitAdapter = 5;  // no adapter, or its port cannot be used
constexpr int kExitSite = 6;     // the ALDLINK_SIM site file cannot be used

constexpr int kScanMissedDevices = ald::results::kResultDevicesMissed;
constexpr int kPseudoNotResponding = ald::results::kPseudoAlarmNotResponding;

// Whether a list of two-digit hexadecimal codes holds `code`.
bool HasCode(const std::string& hexCodes, int code) {
  for (size_t i = 0; i + 1 < hexCodes.size(); i += 2) {
    long v = -1;
    if (std::sscanf(hexCodes.substr(i, 2).c_str(), "%lx", &v) == 1 && v == code) return true;
  }
  return false;
}

class Runner {
 public:
  Runner(Glue& glue, FILE* out, bool traced) : g_(glue), out_(out), traced_(traced) {}

  int Run(const Command& c) {
    const std::string& v = c.verb;
    // Commands that only read this run's table need no line.
    if (!lineChecked_ && !(v == "list" || v == "report" || (v == "data" && c.action == "get"))) {
      lineChecked_ = true;
      if (const int status = CheckLine(); status != kExitOk) return status;
    }
    if (v == "scan") return Scan(c);
    if (v == "add") return Add(c);
    if (v == "refresh") return Refresh();
    if (v == "list") return List(c);
    if (v == "report") return Report(c);
    if (v == "tilt") return Tilt(c);
    if (v == "calibrate") return Calibrate(c);
    if (v == "configure") return Configure(c);
    if (v == "gain" || v == "mode") return GainMode(c);
    if (v == "alarms") return Alarms(c);
    if (v == "selftest" || v == "reset" || v == "poll") return DeviceWide(c);
    if (v == "download") return Download(c);
    if (v == "data") return Data(c);
    if (v == "power" || v == "ab") return PowerAb(c);
    if (v == "port") return Port();
    if (v == "version") return Version(c);
    if (v == "close-port") return ClosePort();
    return Error(kExitUsage, v + ": not handled");
  }

 private:
  int Error(int status, const std::string& message) {
    std::fflush(out_);
    std::fprintf(stderr, "aldctl: %s\n", message.c_str());
    return status;
  }

  // The interface's text of the last adapter, port or site-file error of
  // the most recent export; empty when there was none or the library
  // cannot tell.
  std::string LastErrorText() {
    if (!g_.getLastErrorText) return "";
    char text[600] = {};
    g_.getLastErrorText(text, sizeof text);
    return text;
  }

  // A failure whose cause is the adapter, its port or the site file.
  int LineError(const std::string& what, const std::string& text) {
    return Error(text.rfind("site file ", 0) == 0 ? kExitSite : kExitAdapter, what + ": " + text);
  }

  // A library result: 0 is success, anything else names the failure, by
  // the list of the device of `entry` when it is a device's return code.
  int Result(const std::string& what, int result, const MIRELK_DATA* entry = nullptr) {
    if (result == 0) return kExitOk;
    const std::string line = LastErrorText();
    if (!line.empty()) return LineError(what + " failed", line);
    // The library names the file and its fault in its trace only.
    const std::string hint = result == ald::results::kResultFileError && !traced_
                                 ? " (--trace FILE shows which file and what is wrong with it)"
                                 : "";
    return Error(kExitFailed, what + " failed: result " + std::to_string(result) + ": " +
                                  ResultText(result, entry) + hint);
  }

  // Before the first command that needs the line: an adapter that is not
  // there, a port that cannot be opened or a site file that does not load
  // is named before any bus work, not reported later as a missing device.
  int CheckLine() {
    if (!g_.getPort) return kExitOk;
    if (g_.getPort() > 0) return kExitOk;
    const std::string text = LastErrorText();
    if (!text.empty()) return LineError("cannot reach the antenna line", text);
    return Error(kExitAdapter, "cannot reach the antenna line: no adapter port found");
  }

  int Missing(const char* exportName) {
    return Error(kExitUnavailable, std::string("the interface library has no ") + exportName +
                                       " function; this command is not available");
  }

  // The current table; null with `count` 0 when there is none.
  const MIRELK_DATA* Table(int& count) {
    count = 0;
    if (!g_.getMirelkData || !g_.getMirelkDataCount) return nullptr;
    const MIRELK_DATA* entries = g_.getMirelkData();
    count = g_.getMirelkDataCount();
    if (entries == nullptr || count < 0) count = 0;
    return count > 0 ? entries : nullptr;
  }

  // The table entry of a device subunit (`subunit` -1: the device's first
  // entry), or null after saying why not.
  const MIRELK_DATA* Entry(int address, int subunit, int& status) {
    if (!g_.getMirelkData || !g_.getMirelkDataCount) {
      status = Missing(!g_.getMirelkData ? "getMirelkData" : "getMirelkDataCount");
      return nullptr;
    }
    int count = 0;
    const MIRELK_DATA* t = Table(count);
    if (t == nullptr) {
      status = Error(kExitNoDevice,
                     "no devices known: every run starts with an empty device list, so scan "
                     "first in the same run (e.g. aldctl scan + tilt get 1 1)");
      return nullptr;
    }
    const std::string a = std::to_string(address);
    const std::string s = std::to_string(subunit);
    std::string known;
    bool addressFound = false;
    for (int i = 0; i < count; ++i) {
      const std::string ea = Field(t[i], kMdAddress);
      if (known.find(" " + ea + ",") == std::string::npos) known += " " + ea + ",";
      if (ea != a) continue;
      addressFound = true;
      if (subunit < 0 || Field(t[i], kMdSubunit) == s) return &t[i];
    }
    if (!known.empty()) known.pop_back();
    status = addressFound
                 ? Error(kExitNoDevice, "the device at address " + a + " has no subunit " + s)
                 : Error(kExitNoDevice,
                         "no device at address " + a + " (addresses in the table:" + known + ")");
    return nullptr;
  }

  // The entry of a device of the given kind ('R' or 'T'), or null.
  const MIRELK_DATA* KindEntry(const Command& c, char kind, int& status) {
    const MIRELK_DATA* e = Entry(c.address, c.subunit, status);
    if (e == nullptr) return nullptr;
    if (EntryKind(*e) != kind) {
      status =
          Error(kExitNoDevice, "the device at address " + std::to_string(c.address) + " is not a " +
                                   (kind == 'R' ? "RET" : "TMA") + "; " + c.verb + " is for " +
                                   (kind == 'R' ? "RET antennas" : "TMAs"));
      return nullptr;
    }
    return e;
  }

  int Scan(const Command& c) {
    if (!g_.scanMain) return Missing("scanMain");
    int result;
    {
      ElapsedTicker tick("scan");
      result = g_.scanMain(c.depth, c.assign);
    }
    const bool missed = result == kScanMissedDevices;
    if (result != 0 && !missed) return Result("scan", result);
    const int status = Summary("scan");
    if (missed && status == kExitOk) {
      std::fprintf(stderr, "aldctl: warning: scan: %s\n", ResultText(result).c_str());
    }
    return status;
  }

  // How many devices and units were found, on standard error so that
  // standard output carries only what a command was asked to print; and
  // which devices were found but could not be read.
  int Summary(const std::string& what) {
    if (!g_.getMirelkDataCount) return Missing("getMirelkDataCount");
    if (g_.getMirelkDataCount() < 1) return Error(kExitNoDevice, what + ": no device found");
    int retDevices = 0, retUnits = 0, tmaDevices = 0, tmaUnits = 0;
    const char* text = g_.getMirelkDataCountStr ? g_.getMirelkDataCountStr() : nullptr;
    if (text == nullptr ||
        std::sscanf(text, "%d/%d/%d/%d", &retDevices, &retUnits, &tmaDevices, &tmaUnits) != 4) {
      std::fprintf(stderr, "Found %d units.\n", g_.getMirelkDataCount());
    } else {
      const int devices = retDevices + tmaDevices;
      std::fprintf(stderr,
                   "Found %d device%s: RET %d device%s, %d unit%s; TMA %d device%s, %d unit%s\n",
                   devices, devices == 1 ? "" : "s", retDevices, retDevices == 1 ? "" : "s",
                   retUnits, retUnits == 1 ? "" : "s", tmaDevices, tmaDevices == 1 ? "" : "s",
                   tmaUnits, tmaUnits == 1 ? "" : "s");
    }
    ReportUnread();
    return kExitOk;
  }

  // Every subunit's bearing is a number once its device data was read, so
  // an empty one marks a unit whose data the device did not give.
  void ReportUnread() {
    int count = 0;
    const MIRELK_DATA* t = Table(count);
    for (int i = 0; i < count; ++i) {
      if (!Field(t[i], kMdBearing).empty()) continue;
      const std::string cause = Field(t[i], kMdDeviceStatusCause);
      const bool silent = HasCode(cause, kPseudoNotResponding);
      std::string who = Printable(Field(t[i], kMdVendor));
      const std::string serial = Printable(Field(t[i], kMdRetSerial));
      if (!serial.empty()) who += " " + serial;
      std::fprintf(stderr, "Device at address %s, subunit %s (%s): found, but %s\n",
                   Printable(Field(t[i], kMdAddress)).c_str(),
                   Printable(Field(t[i], kMdSubunit)).c_str(), who.c_str(),
                   silent ? "it does not answer; its device data is unknown"
                          : "its device data could not be read and is unknown");
    }
  }

  int Add(const Command& c) {
    if (!g_.addDevice) return Missing("addDevice");
    std::string vendor = c.vendor, serial = c.serial;
    int result;
    {
      ElapsedTicker tick("add");
      result = g_.addDevice(vendor.data(), serial.data());
    }
    if (result != 0) return Result("add", result);
    return Summary("add");
  }

  int Refresh() {
    if (!g_.refreshMain) return Missing("refreshMain");
    ElapsedTicker tick("refresh");
    return Result("refresh", g_.refreshMain());
  }

  int List(const Command& c) {
    if (!g_.getMirelkData) return Missing("getMirelkData");
    if (!g_.getMirelkDataCount) return Missing("getMirelkDataCount");
    int count = 0;
    const MIRELK_DATA* t = Table(count);
    // Every format writes what it has (an empty JSON array, a CSV header)
    // and an empty table ends the run alike in all of them.
    WriteTable(out_, t, count, c.format);
    if (t == nullptr) {
      return Error(kExitNoDevice,
                   "no devices known: every run starts with an empty device list, so scan "
                   "first in the same run (e.g. aldctl scan + list)");
    }
    return kExitOk;
  }

  // The site report of this run's table; no file for an empty table.
  int Report(const Command& c) {
    if (!g_.getMirelkData) return Missing("getMirelkData");
    if (!g_.getMirelkDataCount) return Missing("getMirelkDataCount");
    int count = 0;
    const MIRELK_DATA* t = Table(count);
    if (t == nullptr) {
      return Error(kExitNoDevice,
                   "report: no devices known: every run starts with an empty device list, so "
                   "scan first in the same run (e.g. aldctl scan + report site.csv)");
    }
    std::string why;
    if (!WriteSiteReport(t, count, c.files.front(), &why)) {
      return Error(kExitFailed, "report: " + why);
    }
    return kExitOk;
  }

  int Tilt(const Command& c) {
    int status = 0;
    const MIRELK_DATA* e = KindEntry(c, 'R', status);
    if (e == nullptr) return status;
    if (c.action == "get") {
      if (!g_.getTilt) return Missing("getTilt");
      int tilt = kAldglueFailure;
      const int result = g_.getTilt(c.address, c.subunit, &tilt);
      if (result != 0) return Result("tilt get", result, e);
      std::fprintf(out_, "%s\n", Scaled(std::to_string(tilt), 10).c_str());
      return kExitOk;
    }
    if (!g_.setTilt) return Missing("setTilt");
    long lo = 0, hi = 0;
    if (ParseInt(Field(*e, kMdMinTilt), lo) && ParseInt(Field(*e, kMdMaxTilt), hi) && lo <= hi &&
        (c.value < lo || c.value > hi)) {
      return Error(kExitUsage, "tilt set: " + Scaled(std::to_string(c.value), 10) +
                                   " is outside the antenna's range " +
                                   Scaled(std::to_string(lo), 10) + " to " +
                                   Scaled(std::to_string(hi), 10) + " degrees");
    }
    ElapsedTicker tick("tilt set");
    return Result("tilt set", g_.setTilt(c.address, c.subunit, static_cast<int>(c.value)), e);
  }

  int Calibrate(const Command& c) {
    int status = 0;
    const MIRELK_DATA* e = KindEntry(c, 'R', status);
    if (e == nullptr) return status;
    if (!g_.calibrate) return Missing("calibrate");
    ElapsedTicker tick("calibrate");
    return Result("calibrate", g_.calibrate(c.address, c.subunit), e);
  }

  int Configure(const Command& c) {
    int status = 0;
    const MIRELK_DATA* e = KindEntry(c, 'R', status);
    if (e == nullptr) return status;
    if (!g_.configRET) return Missing("configRET");
    std::string file = c.files[0];
    ElapsedTicker tick("configure");
    return Result("configure", g_.configRET(c.address, c.subunit, file.data()), e);
  }

  int GainMode(const Command& c) {
    int status = 0;
    const MIRELK_DATA* e = KindEntry(c, 'T', status);
    if (e == nullptr) return status;
    const bool gain = c.verb == "gain";
    const std::string what = c.verb + " " + c.action;
    if (c.action == "get") {
      if (gain && !g_.getGain) return Missing("getGain");
      if (!gain && !g_.getMode) return Missing("getMode");
      int value = kAldglueFailure;
      const int result = gain ? g_.getGain(c.address, c.subunit, &value)
                              : g_.getMode(c.address, c.subunit, &value);
      if (result != 0) return Result(what, result, e);
      if (gain) {
        std::fprintf(out_, "%s\n", Scaled(std::to_string(value), 4).c_str());
      } else {
        std::fprintf(out_, "%s\n",
                     value == 1   ? "bypass"
                     : value == 0 ? "normal"
                                  : std::to_string(value).c_str());
      }
      return kExitOk;
    }
    if (gain) {
      long lo = 0, hi = 0;
      if (ParseInt(Field(*e, kMdMinGain), lo) && ParseInt(Field(*e, kMdMaxGain), hi) && lo <= hi &&
          (c.value < lo || c.value > hi)) {
        return Error(kExitUsage, "gain set: " + Scaled(std::to_string(c.value), 4) +
                                     " dB is outside the unit's range " +
                                     Scaled(std::to_string(lo), 4) + " to " +
                                     Scaled(std::to_string(hi), 4) + " dB");
      }
      if (!g_.setGain) return Missing("setGain");
      ElapsedTicker tick(what);
      return Result(what, g_.setGain(c.address, c.subunit, static_cast<int>(c.value)), e);
    }
    if (!g_.setMode) return Missing("setMode");
    ElapsedTicker tick(what);
    return Result(what, g_.setMode(c.address, c.subunit, static_cast<int>(c.value)), e);
  }

  int Alarms(const Command& c) {
    int status = 0;
    const MIRELK_DATA* e = Entry(c.address, c.subunit, status);
    if (e == nullptr) return status;
    const char kind = EntryKind(*e);
    if (kind == 0) return Error(kExitNoDevice, "the device at this address is neither RET nor TMA");
    const std::string what = "alarms " + c.action;
    if (c.action == "clear") {
      if (kind == 'R' && !g_.clearActiveAlarms) return Missing("clearActiveAlarms");
      if (kind == 'T' && !g_.clearActiveAlarmsTMA) return Missing("clearActiveAlarmsTMA");
      return Result(what,
                    kind == 'R' ? g_.clearActiveAlarms(c.address, c.subunit)
                                : g_.clearActiveAlarmsTMA(c.address, c.subunit),
                    e);
    }
    std::vector<int> codes;
    if (kind == 'R') {
      if (!g_.getAlarmStatus) return Missing("getAlarmStatus");
      // Far more room than any alarm list needs; zero-filled so that the
      // list always ends inside it.
      char buffer[1024] = {};
      const int result = g_.getAlarmStatus(c.address, c.subunit, buffer);
      for (size_t i = 0; i < sizeof buffer - 1 && buffer[i] != '\0'; ++i)
        codes.push_back(static_cast<unsigned char>(buffer[i]));
      // The interface answers with the first code of the list: that is the
      // answer, not a failure. Any other number, or one with an empty list,
      // is the failure of the read.
      const bool answer = result == 0 || (!codes.empty() && result == codes[0]);
      if (!answer) return Result(what, result, e);
    } else {
      // The interface reads TMA alarms only as part of a refresh; show what
      // the last one found (two hexadecimal digits per code).
      const std::string cause = Field(*e, kMdDeviceStatusCause);
      for (size_t i = 0; i + 1 < cause.size(); i += 2) {
        long code = 0;
        if (std::sscanf(cause.substr(i, 2).c_str(), "%lx", &code) == 1)
          codes.push_back(static_cast<int>(code));
      }
    }
    // The library's own state codes are no device alarms: a device that
    // did not answer has no known alarms, which is a failure, not "none".
    std::vector<int> alarms;
    if (std::find(codes.begin(), codes.end(), ald::results::kPseudoAlarmBadResponding) !=
        codes.end()) {
      std::fprintf(stderr,
                   "aldctl: warning: the device at address %d answers with errors; its alarm "
                   "list may be out of date\n",
                   c.address);
    }
    for (int code : codes) {
      if (code == ald::results::kPseudoAlarmNotResponding)
        return Error(kExitFailed, what + " failed: the device at address " +
                                      std::to_string(c.address) +
                                      " does not answer; its alarms are unknown");
      if (!ald::results::IsPseudoAlarm(code)) alarms.push_back(code);
    }
    if (alarms.empty()) {
      std::fprintf(out_, "none\n");
      return kExitOk;
    }
    const ald::results::DeviceKind device = KindOf(e);
    for (int code : alarms)
      std::fprintf(out_, "%s\n", ald::results::ReturnCodeText(device, code).c_str());
    return kExitOk;
  }

  int DeviceWide(const Command& c) {
    int status = 0;
    const MIRELK_DATA* e = Entry(c.address, -1, status);
    if (e == nullptr) return status;
    const char kind = EntryKind(*e);
    if (c.verb == "poll") {
      if (kind != 'T')
        return Error(kExitNoDevice, "poll is for TMAs; the device at this address is not one");
      if (!g_.pollDevice) return Missing("pollDevice");
      return Result("poll", g_.pollDevice(c.address), e);
    }
    if (kind == 0) return Error(kExitNoDevice, "the device at this address is neither RET nor TMA");
    const bool test = c.verb == "selftest";
    auto fn = kind == 'R' ? (test ? g_.selfTest : g_.resetSoftware)
                          : (test ? g_.selfTestTMA : g_.resetSoftwareTMA);
    if (!fn) {
      return Missing(kind == 'R' ? (test ? "selfTest" : "resetSoftware")
                                 : (test ? "selfTestTMA" : "resetSoftwareTMA"));
    }
    ElapsedTicker tick(c.verb);
    return Result(c.verb, fn(c.address), e);
  }

  int Download(const Command& c) {
    int status = 0;
    const MIRELK_DATA* e = Entry(c.address, -1, status);
    if (e == nullptr) return status;
    const char kind = EntryKind(*e);
    if (kind == 0) return Error(kExitNoDevice, "the device at this address is neither RET nor TMA");
    auto fn = kind == 'R' ? g_.downloadSoftware : g_.downloadSoftwareTMA;
    if (!fn) return Missing(kind == 'R' ? "downloadSoftware" : "downloadSoftwareTMA");
    std::string list;
    for (const std::string& f : c.files) list += (list.empty() ? "" : ",") + f;
    // The library publishes each image's size and the bytes sent of it.
    if (g_.setDownloadFileSize) g_.setDownloadFileSize(0);
    ElapsedTicker::Progress progress;
    if (g_.getDownloadProgress && g_.getDownloadFileSize) {
      Glue* g = &g_;
      progress = [g](int& sent, int& size) {
        return g->getDownloadProgress(&sent) == 0 && g->getDownloadFileSize(&size) == 0;
      };
    }
    ElapsedTicker tick("download", progress);
    return Result("download", fn(c.address, list.data()), e);
  }

  int Data(const Command& c) {
    int status = 0;
    const MIRELK_DATA* e = Entry(c.address, c.subunit, status);
    if (e == nullptr) return status;
    if (c.action == "get") {
      if (c.data.size() == 1) {
        std::fprintf(out_, "%s\n", Printable(Field(*e, c.data[0].first)).c_str());
        return kExitOk;
      }
      std::vector<int> fields;
      for (const auto& d : c.data) fields.push_back(d.first);
      if (fields.empty()) {
        for (int i = 0; i < kMirelkFieldCount; ++i) {
          if (*TableFieldName(i) != '\0') fields.push_back(i);
        }
      }
      const bool tma = EntryKind(*e) == 'T';
      size_t width = 0;
      for (int f : fields) width = std::max(width, std::strlen(TableFieldName(f, tma)));
      for (int f : fields) {
        std::fprintf(out_, "%-*s  %s\n", static_cast<int>(width + 1),
                     (std::string(TableFieldName(f, tma)) + ":").c_str(),
                     Printable(Field(*e, f)).c_str());
      }
      return kExitOk;
    }
    if (!g_.setDeviceData) return Missing("setDeviceData");
    long type = 0, generation = 0;
    if (std::sscanf(Field(*e, kMdDeviceType).c_str(), "%lx", &type) != 1 || EntryKind(*e) == 0)
      return Error(kExitNoDevice, "the device at this address is neither RET nor TMA");
    if (!ParseInt(Field(*e, kMdAisgVersion), generation) || (generation != 1 && generation != 2))
      return Error(kExitNoDevice, "the device's AISG version is unknown");
    ALDGLUE_DEVICE_DATA_REQUEST request{};
    request.kind = static_cast<int>(type);
    request.address = c.address;
    request.subunit = c.subunit;
    std::string ids;
    for (const auto& d : c.data) {
      const std::string problem =
          StoreValue(*FindWritableField(d.first), d.second, static_cast<int>(generation),
                     EntryKind(*e) == 'R', request.data, ids);
      if (!problem.empty()) return Error(kExitUsage, "data set: " + problem);
    }
    request.fields = ids.c_str();
    ElapsedTicker tick("data set");
    return Result("data set", g_.setDeviceData(request), e);
  }

  int PowerAb(const Command& c) {
    const bool power = c.verb == "power";
    const std::string what = c.verb + " " + c.action;
    if (c.action == "get") {
      auto fn = power ? g_.getPowerValue : g_.getPinValue;
      if (!fn) return Missing(power ? "getPowerValue" : "getPinValue");
      const int value = fn();
      if (value < 0) {
        return g_.getLastError ? Result(what, g_.getLastError() != 0 ? g_.getLastError() : -1)
                               : Result(what, -1);
      }
      std::fprintf(out_, "%s\n", power ? (value ? "on" : "off") : std::to_string(value).c_str());
      return kExitOk;
    }
    auto fn = power ? g_.setPowerValue : g_.setPinValue;
    if (!fn) return Missing(power ? "setPowerValue" : "setPinValue");
    return Result(what, fn(static_cast<int>(c.value)));
  }

  int Port() {
    if (!g_.getPort) return Missing("getPort");
    const int port = g_.getPort();
    if (port <= 0) return Error(kExitFailed, "port: no adapter port found");
    std::fprintf(out_, "%d\n", port);
    return kExitOk;
  }

  int Version(const Command& c) {
    if (!g_.switchAISGVersion) return Missing("switchAISGVersion");
    std::string vendor = c.vendor;
    ElapsedTicker tick("version switch");
    const int result = g_.switchAISGVersion(vendor.data(), static_cast<int>(c.value));
    if (result == -1 && c.value == 1) {
      return Error(kExitFailed, "version switch failed: result -1: AISG version settings failed!");
    }
    return Result("version switch", result);
  }

  int ClosePort() {
    if (!g_.closeComPort) return Missing("closeComPort");
    return Result("close-port", g_.closeComPort());
  }

  Glue& g_;
  FILE* out_;
  bool traced_;  // the library's trace goes to a file
  bool lineChecked_ = false;
};

// Settings the library reads from the environment, checked here because
// the library can only report a bad one after it has been asked to work.
// The exit status for a bad one, kExitOk when they are usable.
int CheckEnvironment() {
  const char* site = std::getenv("ALDLINK_SIM");
  const char* port = std::getenv("ALDLINK_PORT");
  const bool haveSite = site != nullptr && *site != '\0';
  const bool havePort = port != nullptr && *port != '\0';
  if (haveSite && havePort) {
    std::fprintf(stderr,
                 "aldctl: warning: both ALDLINK_SIM and ALDLINK_PORT are set; the simulated "
                 "line of ALDLINK_SIM is used and ALDLINK_PORT is ignored\n");
  }
  if (haveSite) {
    if (access(site, R_OK) != 0) {
      std::fprintf(stderr, "aldctl: ALDLINK_SIM names a site file that cannot be read: %s: %s\n",
                   site, std::strerror(errno));
      return kExitSite;
    }
    return kExitOk;
  }
  if (!havePort) return kExitOk;
  const std::string problem = PortProblem(port);
  if (!problem.empty()) {
    std::fprintf(stderr, "aldctl: ALDLINK_PORT: %s\n", problem.c_str());
    return kExitAdapter;
  }
  return kExitOk;
}

// The output could not be written (a full disk, a closed pipe): said, and
// never an exit status of success.
int WriteFailure(const std::string& what, int error) {
  std::fprintf(stderr, "aldctl: cannot write %s: %s\n", what.c_str(), std::strerror(error));
  return kExitFailed;
}

// Flushes and checks a stream that carries the program's own output.
bool Flushed(FILE* stream, int& error) {
  errno = 0;
  if (std::fflush(stream) == 0 && !std::ferror(stream)) return true;
  error = errno != 0 ? errno : EIO;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  Invocation inv;
  std::string error;
  if (!ParseInvocation(args, inv, error)) {
    std::fprintf(stderr, "aldctl: %s\n", error.c_str());
    return kExitUsage;
  }
  int writeError = 0;
  if (inv.version) {
    std::printf("aldctl %s\n", kVersion);
    return Flushed(stdout, writeError) ? kExitOk : WriteFailure("the output", writeError);
  }
  if (inv.help) {
    WriteHelp(stdout, inv.helpVerb);
    return Flushed(stdout, writeError) ? kExitOk : WriteFailure("the output", writeError);
  }
  bool helped = false;
  for (const Command& c : inv.commands) {
    if (c.help) helped = WriteHelp(stdout, c.verb) || helped;
  }
  if (helped) return Flushed(stdout, writeError) ? kExitOk : WriteFailure("the output", writeError);
  if (const int status = CheckEnvironment(); status != kExitOk) return status;

  FILE* out = SplitOutput(inv.traceFile, error);
  if (out == nullptr) {
    std::fprintf(stderr, "aldctl: %s\n", error.c_str());
    return kExitUsage;
  }
  Glue glue;
  if (!LoadGlue(inv.library, glue, error)) {
    std::fprintf(stderr, "aldctl: %s\n", error.c_str());
    return kExitUnavailable;
  }
  Runner runner(glue, out, !inv.traceFile.empty());
  int status = kExitOk;
  for (const Command& c : inv.commands) {
    status = runner.Run(c);
    if (!Flushed(out, writeError)) {
      if (status == kExitOk) status = WriteFailure("the output", writeError);
      break;
    }
    if (status != kExitOk) break;
  }
  // The library's trace is flushed before the process ends; the library
  // stays loaded, like the device list it holds, until then. A trace that
  // could not be written is a failure too: it was asked for.
  if (!Flushed(stdout, writeError) && status == kExitOk) {
    status = WriteFailure("the trace file " + inv.traceFile, writeError);
  }
  errno = 0;
  if (std::fclose(out) != 0 && status == kExitOk) {
    status = WriteFailure("the output", errno != 0 ? errno : EIO);
  }
  return status;
}
