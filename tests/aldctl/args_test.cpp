// Command lines that aldctl must refuse before anything reaches the
// interface library, and the checks of values and field names behind them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "run_util.h"
#include "tools/aldctl/cli.h"
#include "tools/aldctl/fields.h"

using aldctl::Invocation;
using aldctl::ParseInvocation;
using aldctl_test::RunAldctl;

namespace {

// The parse error of a command line split at blanks (empty when it parses).
std::string ErrorOf(const std::vector<std::string>& args) {
  Invocation inv;
  std::string error;
  if (ParseInvocation(args, inv, error)) return "";
  return error.empty() ? "(no message)" : error;
}

Invocation Parsed(const std::vector<std::string>& args) {
  Invocation inv;
  std::string error;
  EXPECT_TRUE(ParseInvocation(args, inv, error)) << error;
  return inv;
}

TEST(AldctlArgs, NumbersAreConvertedExactlyOrRefused) {
  EXPECT_EQ(Parsed({"tilt", "set", "3", "1", "-2.5"}).commands[0].value, -25);
  EXPECT_EQ(Parsed({"tilt", "set", "3", "1", "+4"}).commands[0].value, 40);
  EXPECT_EQ(Parsed({"tilt", "set", "3", "1", ".5"}).commands[0].value, 5);
  EXPECT_EQ(Parsed({"tilt", "set", "3", "1", "-0.5"}).commands[0].value, -5);
  EXPECT_EQ(Parsed({"tilt", "set", "3", "1", "90"}).commands[0].value, 900);
  EXPECT_EQ(Parsed({"gain", "set", "7", "1", "12.25"}).commands[0].value, 49);
  EXPECT_EQ(Parsed({"gain", "set", "7", "1", "63.75"}).commands[0].value, 255);
  EXPECT_EQ(Parsed({"mode", "set", "7", "1", "bypass"}).commands[0].value, 1);

  for (const char* tilt : {"4.55", "abc", "90.1", "-91", "5.", "-", "", "1e1", "4,5", "0x10"}) {
    EXPECT_NE(ErrorOf({"tilt", "set", "3", "1", tilt}), "") << tilt;
  }
  for (const char* gain : {"12.3", "12.125", "64", "-0.25", "x"}) {
    EXPECT_NE(ErrorOf({"gain", "set", "7", "1", gain}), "") << gain;
  }
  EXPECT_NE(ErrorOf({"mode", "set", "7", "1", "fast"}), "");
  EXPECT_NE(ErrorOf({"tilt", "set", "3", "1", "99999999999999999999"}), "");
}

TEST(AldctlArgs, AddressesSubunitsAndCountsAreChecked) {
  EXPECT_NE(ErrorOf({"tilt", "get", "0", "1"}).find("address \"0\""), std::string::npos);
  EXPECT_NE(ErrorOf({"tilt", "get", "255", "1"}), "");
  EXPECT_NE(ErrorOf({"tilt", "get", "1x", "1"}), "");
  EXPECT_NE(ErrorOf({"tilt", "get", "3", "0"}).find("subunit \"0\""), std::string::npos);
  EXPECT_NE(ErrorOf({"selftest", "-3"}), "");
  EXPECT_NE(ErrorOf({"tilt", "get", "3"}).find("missing arguments"), std::string::npos);
  EXPECT_NE(ErrorOf({"tilt", "get", "3", "1", "2"}).find("too many"), std::string::npos);
  EXPECT_NE(ErrorOf({"tilt"}).find("missing action"), std::string::npos);
  EXPECT_NE(ErrorOf({"tilt", "move", "3", "1"}).find("unknown action"), std::string::npos);
  EXPECT_NE(ErrorOf({"tilts", "get", "3", "1"}).find("unknown command"), std::string::npos);
  EXPECT_NE(ErrorOf({"list", "extra"}), "");
  EXPECT_NE(ErrorOf({"alarms", "reset", "3", "1"}), "");
  EXPECT_NE(ErrorOf({"power", "set", "2"}), "");
  EXPECT_NE(ErrorOf({"ab", "set", "on"}), "");
  EXPECT_NE(ErrorOf({"version", "switch", "AN", "3"}), "");
  EXPECT_NE(ErrorOf({"version", "switch", "ANX", "1"}), "");
  EXPECT_NE(ErrorOf({"add", "A", "123"}), "");
  EXPECT_NE(ErrorOf({"add", "KA", "123456789012345678"}), "");
  EXPECT_NE(ErrorOf({"add", "KA", "12 34"}), "");
  EXPECT_EQ(ErrorOf({"add", "KA", "MR4401203977"}), "");
  EXPECT_EQ(ErrorOf({"poll", "254"}), "");
}

TEST(AldctlArgs, OptionsTakeOnlyTheirValues) {
  const Invocation scan = Parsed({"scan", "--depth", "17", "--assign=0"});
  EXPECT_EQ(scan.commands[0].depth, 17);
  EXPECT_EQ(scan.commands[0].assign, 0);
  EXPECT_EQ(Parsed({"scan"}).commands[0].depth, 4);
  EXPECT_EQ(Parsed({"scan"}).commands[0].assign, 1);
  EXPECT_NE(ErrorOf({"scan", "--depth", "0"}), "");
  EXPECT_NE(ErrorOf({"scan", "--depth", "18"}), "");
  EXPECT_NE(ErrorOf({"scan", "--depth"}).find("needs a value"), std::string::npos);
  EXPECT_NE(ErrorOf({"scan", "--assign", "2"}), "");
  EXPECT_NE(ErrorOf({"list", "--format", "xml"}), "");
  EXPECT_NE(ErrorOf({"list", "--depth", "3"}).find("unknown option"), std::string::npos);
  EXPECT_NE(ErrorOf({"tilt", "get", "3", "1", "--format", "json"}), "");
  EXPECT_NE(ErrorOf({"--trace"}), "");
  EXPECT_NE(ErrorOf({"--verbose", "scan"}), "");
  EXPECT_NE(ErrorOf({}).find("no command"), std::string::npos);
  const Invocation global = Parsed({"--trace", "t.txt", "--lib=x.so", "port"});
  EXPECT_EQ(global.traceFile, "t.txt");
  EXPECT_EQ(global.library, "x.so");
}

TEST(AldctlArgs, ChainsSplitAtALonePlus) {
  const Invocation inv = Parsed({"scan", "--depth", "2", "+", "list", "--format", "json", "+",
                                 "tilt", "set", "3", "2", "4.5"});
  ASSERT_EQ(inv.commands.size(), 3u);
  EXPECT_EQ(inv.commands[0].depth, 2);
  EXPECT_EQ(inv.commands[1].format, aldctl::TableFormat::kJson);
  EXPECT_EQ(inv.commands[2].address, 3);
  EXPECT_EQ(inv.commands[2].subunit, 2);
  EXPECT_EQ(inv.commands[2].value, 45);
  EXPECT_NE(ErrorOf({"scan", "+", "+", "list"}), "");
  EXPECT_NE(ErrorOf({"scan", "+"}), "");
  EXPECT_NE(ErrorOf({"+", "scan"}), "");
  // A mistake anywhere in the chain refuses the whole run.
  EXPECT_NE(ErrorOf({"scan", "+", "tilt", "set", "3", "1", "95"}), "");
}

TEST(AldctlArgs, DataNamesAndValuesAreChecked) {
  const Invocation get = Parsed({"data", "get", "3", "1", "Site ID", "elec. tilt", "mech-tilt"});
  ASSERT_EQ(get.commands[0].data.size(), 3u);
  EXPECT_EQ(get.commands[0].data[0].first, kMdSiteId);
  EXPECT_EQ(get.commands[0].data[1].first, kMdCurrentTilt);
  EXPECT_EQ(get.commands[0].data[2].first, kMdMechTilt);
  EXPECT_NE(ErrorOf({"data", "get", "3", "1", "Colour"}).find("no table field"), std::string::npos);

  EXPECT_EQ(ErrorOf({"data", "set", "3", "1", "sector-id", "SEC-B", "Bearing", "3599"}), "");
  EXPECT_NE(ErrorOf({"data", "set", "3", "1", "Address", "4"}).find("cannot be written"),
            std::string::npos);
  EXPECT_NE(ErrorOf({"data", "set", "3", "1", "Current Tilt", "40"}), "");
  EXPECT_NE(ErrorOf({"data", "set", "3", "1", "site-id", std::string(33, 'x')}), "");
  EXPECT_NE(ErrorOf({"data", "set", "3", "1", "site-id", "tab\there"}), "");
  EXPECT_NE(ErrorOf({"data", "set", "3", "1", "bearing", "3600"}), "");
  EXPECT_NE(ErrorOf({"data", "set", "3", "1", "mech-tilt", "4.5"}), "");
  EXPECT_NE(ErrorOf({"data", "set", "3", "1", "Freq. Band", "01020304050"}), "");
  EXPECT_NE(ErrorOf({"data", "set", "3", "1", "Freq. Band", "01020304050g"}), "");
  EXPECT_NE(ErrorOf({"data", "set", "3", "1", "bearing", "1", "Bearing", "2"}).find("twice"),
            std::string::npos);
  EXPECT_NE(ErrorOf({"data", "set", "3", "1", "bearing"}), "");
  EXPECT_NE(ErrorOf({"data", "set", "3", "1", "bearing", "1", "site-id"}), "");
}

TEST(AldctlArgs, StoredValuesFollowTheDeviceGeneration) {
  using aldctl::FindWritableField;
  using aldctl::StoreValue;
  DeviceData d{};
  std::string ids;
  // AISG 1.x: short sector IDs and a one-byte mechanical tilt.
  EXPECT_NE(StoreValue(*FindWritableField(kMdSectorId), "ABCDE", 1, true, d, ids), "");
  EXPECT_EQ(StoreValue(*FindWritableField(kMdSectorId), "ABCD", 1, true, d, ids), "");
  EXPECT_NE(StoreValue(*FindWritableField(kMdMechTilt), "-129", 1, true, d, ids), "");
  EXPECT_EQ(StoreValue(*FindWritableField(kMdMechTilt), "-900", 2, true, d, ids), "");
  EXPECT_EQ(d.mechtilt, -900);
  EXPECT_STREQ(d.sectorid, "ABCD");
  // The band writes its extension words on AISG 2.0 devices only.
  EXPECT_EQ(StoreValue(*FindWritableField(kMdFreqBand), "0A0bC0000102", 2, true, d, ids), "");
  EXPECT_EQ(ids, std::string("\x24\x26\x03\x08\x09"));
  const unsigned char band[6] = {0x0A, 0x0B, 0xC0, 0x00, 0x01, 0x02};
  EXPECT_EQ(std::memcmp(d.antband, band, 6), 0);
  std::string ids1;
  EXPECT_EQ(StoreValue(*FindWritableField(kMdFreqBand), "0A0BC0000102", 1, true, d, ids1), "");
  EXPECT_EQ(ids1, "\x03");
  // Fields of the other kind of device are refused.
  EXPECT_NE(StoreValue(*FindWritableField(kMdMaxTilt), "100", 2, false, d, ids1), "");
  EXPECT_NE(StoreValue(*FindWritableField(kMdMaxGain), "48", 2, true, d, ids1), "");
  EXPECT_EQ(ids1, "\x03");
  // A text of the full width keeps its terminator inside the member.
  DeviceData full{};
  std::memset(&full, 'Z', sizeof full);
  EXPECT_EQ(
      StoreValue(*FindWritableField(kMdAntennaModel), std::string(15, 'M'), 2, true, full, ids1),
      "");
  EXPECT_EQ(std::string(full.antmodel), std::string(15, 'M'));
}

// The program itself: every refusal names the problem, exits with status 2
// and happens before the library is loaded or the trace file is created.
TEST(AldctlArgs, ProgramRefusesBadArgumentsWithoutTouchingTheLibrary) {
  const std::string trace = aldctl_test::TempPath("trace.txt");
  const std::string missingLib = "/nonexistent/libaldglue.so";
  const std::string acf = aldctl_test::TempPath("missing.acf");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"tilt", "set", "1", "1", "95"}, "outside -90.0 to 90.0"},
      {{"tilt", "get", "1", "0"}, "subunit \"0\""},
      {{"gain", "set", "2", "1", "12.1"}, "quarter steps"},
      {{"data", "get", "1", "1", "Colour"}, "no table field is named \"Colour\""},
      {{"configure", "1", "1", acf}, "no such file"},
      {{"download", "1", "/tmp"}, "not a regular file"},
      {{"scan", "--depth", "40"}, "--depth takes a number from 1 to 17"},
      {{"frobnicate"}, "unknown command"},
  };
  for (const auto& [args, message] : cases) {
    std::vector<std::string> full = {"--lib", missingLib, "--trace", trace};
    full.insert(full.end(), args.begin(), args.end());
    const auto r = RunAldctl(full);
    EXPECT_EQ(r.status, 2) << message << ": " << r.err;
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("cannot load"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(aldctl_test::FileExists(trace));
  }
  // The same library path with good arguments is tried, and reported.
  const auto r = RunAldctl({"--lib", missingLib, "port"});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("cannot load the interface library"), std::string::npos) << r.err;
  // A simulator site that does not exist is caught before the library
  // could fall back to a real adapter.
  const auto sim = RunAldctl({"--lib", missingLib, "scan"}, {"ALDLINK_SIM=/nonexistent.site"});
  EXPECT_EQ(sim.status, 6);
  EXPECT_NE(sim.err.find("ALDLINK_SIM"), std::string::npos) << sim.err;
}

TEST(AldctlArgs, EveryCommandHasHelp) {
  for (const char* verb :
       {"scan", "add",   "refresh", "list",     "tilt",    "calibrate", "configure",
        "gain", "mode",  "alarms",  "selftest", "reset",   "poll",      "download",
        "data", "power", "ab",      "port",     "version", "close-port"}) {
    const auto r = RunAldctl({"--lib", "/nonexistent/libaldglue.so", verb, "--help"});
    EXPECT_EQ(r.status, 0) << verb;
    EXPECT_EQ(r.out.rfind(std::string("usage: aldctl ") + verb, 0), 0u) << r.out;
  }
  const auto general = RunAldctl({"--help"});
  EXPECT_EQ(general.status, 0);
  EXPECT_NE(general.out.find("Exit status"), std::string::npos);
  const auto help = RunAldctl({"help", "tilt"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: aldctl tilt", 0), 0u);
  EXPECT_EQ(RunAldctl({"help", "nosuch"}).status, 2);
}

}  // namespace
