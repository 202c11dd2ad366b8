// Site files: the demo site, values in human units, and refusal of bad input.
#include "sim/site_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

#include "tests/sim/device_test_util.h"

namespace ald::sim::testing {
namespace {

std::string RepoPath(const std::string& relative) {
  return std::string(ALD_SOURCE_DIR) + "/" + relative;
}

SimAld& Ald(DeviceList& list, size_t i) {
  return dynamic_cast<SimAld&>(*list.at(i));
}

TEST(SiteFile, DemoSiteHasTheAdvertisedDevices) {
  DeviceList devices;
  std::string error;
  ASSERT_TRUE(LoadSite(RepoPath("sites/demo.site"), devices, error)) << error;
  ASSERT_EQ(devices.size(), 5u);

  SimAld& multi = Ald(devices, 0);
  EXPECT_EQ(multi.generation, 2);
  EXPECT_EQ(multi.deviceType, 17);
  EXPECT_EQ(multi.subunits.size(), 3u);
  EXPECT_EQ(multi.uniqueId, std::string("KA") + std::string(5, '\0') + "MR4401203977");
  EXPECT_EQ(multi.release3gpp, 9);
  EXPECT_EQ(multi.calibrationUs, 25'000'000);
  EXPECT_FALSE(multi.subunits[2].calibrated);

  SimAld& ret1 = Ald(devices, 1);
  EXPECT_EQ(ret1.generation, 1);
  EXPECT_EQ(ret1.deviceType, 1);
  EXPECT_EQ(ret1.tiltSpeed, 5);

  SimAld& tma2 = Ald(devices, 2);
  EXPECT_EQ(tma2.deviceType, 2);
  EXPECT_EQ(tma2.subunits.size(), 2u);
  SimAld& tma1 = Ald(devices, 3);
  EXPECT_EQ(tma1.generation, 1);
  EXPECT_EQ(tma1.uniqueId.size(), 14u);  // a 14-byte vendor code
  EXPECT_EQ(Ald(devices, 4).uniqueId, std::string("EM") + std::string(9, '\0') + "12345678");
}

TEST(SiteFile, HumanUnitsBecomeTheDeviceEncoding) {
  DeviceList devices;
  std::string error;
  ASSERT_TRUE(LoadSite(RepoPath("sites/demo.site"), devices, error)) << error;
  SimAld& multi = Ald(devices, 0);
  // Bearing 30.0 degrees in tenths, mechanical tilt 1.5 degrees as 16 bits.
  EXPECT_EQ(Body(Send(multi, Req2(0x84, {0x25}, 1))), (Bytes{1, 0x00, 0x25, 0x2C, 0x01}));
  EXPECT_EQ(Body(Send(multi, Req2(0x84, {0x26}, 1))), (Bytes{1, 0x00, 0x26, 15, 0}));
  EXPECT_EQ(Body(Send(multi, Req2(0x84, {0x05}, 1))), (Bytes{1, 0x00, 0x05, 158, 163, 0, 0}));
  EXPECT_EQ(Body(Send(multi, Req2(0x84, {0x04}, 1))),
            (Bytes{1, 0x00, 0x04, 67, 0, 65, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Body(Send(multi, Req2(0x84, {0x06}, 1))), (Bytes{1, 0x00, 0x06, 120, 0}));
  EXPECT_EQ(Body(Send(multi, Req2(0x82, {}, 1))), (Bytes{1, 0x00, 60, 0}));
  EXPECT_EQ(Body(Send(multi, Req2(0x87, {}, 3))), (Bytes{3, 0x00, 0x0E}));
  EXPECT_EQ(Body(Send(multi, Req2(0x84, {0x01}, 2))),
            Cat(Bytes{2, 0x00, 0x01}, TextValue("AX-3M65-18V", 15)));

  SimAld& ret1 = Ald(devices, 1);
  // AISG 1.x: mechanical tilt -1.0 degree in one byte, three beamwidths.
  EXPECT_EQ(Body(Send(ret1, Req1(0x0F, {0x26, 0x04})), 1),
            (Bytes{0x00, 0x26, 0xF6, 0x04, 65, 65, 63}));

  SimAld& tma2 = Ald(devices, 2);
  // Receive band 1710.0 to 1785.0 MHz in 100 kHz units; gains in quarter dB.
  EXPECT_EQ(Body(Send(tma2, Req2(0x75, {0x14}, 1))),
            (Bytes{1, 0x00, 0x14, 0xCC, 0x42, 0xBA, 0x45}));
  EXPECT_EQ(Body(Send(tma2, Req2(0x7A, {}, 1))), (Bytes{1, 0x00, 1, 16, 48, 2}));
  EXPECT_EQ(Body(Send(tma2, Req2(0x7B, {}, 2))), (Bytes{2, 0x00, 3, 32, 40, 48}));
  EXPECT_EQ(Body(Send(tma2, Req2(0x73, {}, 2))), (Bytes{2, 0x00, 40}));
}

TEST(SiteFile, OptionalKeysAndFaults) {
  const std::string text =
      "[device]\ngeneration = 2\ntype = 16\nvendor = \"XY\"\nserial = A1\nsubunits = 2\n"
      "self-test-time = 0.5\nrestart-time = 2.25\ndownload-time = 4\n"
      "after-download-generation = 2\nuser-data-size = 32\nread-only = 0x13\n"
      "fault.fail-reasons = 0x05, 0x13\nfault.long-texts = yes\nfault.silent-frames = 3\n"
      "fault.wrong-address = 7\nfault.return-code = 2\nfault.length-field-delta = -2\n"
      "fault.pad-answers-to = 200\nfault.missing-bytes = 1\nfault.unknown-field-ids = yes\n"
      "fault.bare-fail = yes\nfault.wrong-procedure-code = yes\nfault.silent = no\n"
      "fault.frmr-frames = 1\nfault.bad-fcs-frames = 2\nfault.zero-byte-frames = 3\n"
      "fault.rnr-frames = 4\nfault.trailing-bytes = yes\nfault.glued-frame = true\n"
      "fault.rnr-info-frames = 5\n"
      "[subunit 2]\nbypass = no\ngain = 4\n";
  DeviceList devices;
  std::string error;
  ASSERT_TRUE(ParseSite(text, devices, error)) << error;
  SimAld& d = Ald(devices, 0);
  EXPECT_EQ(d.selfTestUs, 500'000);
  EXPECT_EQ(d.restartUs, 2'250'000);
  EXPECT_EQ(d.userData.size(), 32u);
  EXPECT_EQ(d.readOnlyFields, Bytes{0x13});
  EXPECT_EQ(d.uniqueId.size(), 19u);
  const SimFaults& f = d.faults;
  EXPECT_EQ(f.failReasons, (Bytes{0x05, 0x13}));
  EXPECT_TRUE(f.longTexts && f.unknownFieldIds && f.bareFail && f.wrongProcedureCode);
  EXPECT_TRUE(f.trailingBytes && f.gluedFrame && !f.silent);
  EXPECT_EQ(f.silentFrames, 3);
  EXPECT_EQ(f.wrongAddress, 7);
  EXPECT_EQ(f.returnCode, 2);
  EXPECT_EQ(f.lengthFieldDelta, -2);
  EXPECT_EQ(f.padAnswersTo, 200);
  EXPECT_EQ(f.missingBytes, 1);
  EXPECT_EQ(f.frmrFrames + f.badFcsFrames + f.zeroByteFrames + f.rnrFrames, 10);
  EXPECT_EQ(f.rnrInfoFrames, 5);
  EXPECT_EQ(d.subunits[1].functions & 1, 0);
  EXPECT_EQ(d.subunits[1].gain, 16);
}

struct BadSite {
  const char* text;
  const char* expected;  // part of the error message
};

constexpr const char* kHead = "[device]\ngeneration = 2\ntype = 1\nvendor = KA\nserial = S1\n";

TEST(SiteFile, BadInputIsRefusedWithItsLine) {
  const std::string head = kHead;  // five lines
  const BadSite cases[] = {
      {"", "line 0: no [device]"},
      {"vendor = KA\n", "line 1: 'vendor' before any [device]"},
      {"[device\n", "line 1: section header without ']'"},
      {"[antenna]\n", "line 1: unknown section [antenna]"},
      {"[subunit 1]\n", "line 1: subunit section before any [device]"},
      {"[device]\ntype = 1\nvendor = KA\nserial = 1\n", "line 1: device without 'generation'"},
      {"[device]\ngeneration = 2\nvendor = KA\nserial = 1\n", "device without 'type'"},
      {"[device]\ngeneration = 2\ntype = 1\nserial = 1\n", "device without 'vendor'"},
      {"[device]\ngeneration = 2\ntype = 1\nvendor = KA\n", "device without 'serial'"},
      {"[device]\ngeneration = 3\ntype = 1\nvendor = KA\nserial = 1\n",
       "line 2: 'generation': 3 is out of range"},
      {"[device]\ngeneration = two\ntype = 1\nvendor = KA\nserial = 1\n",
       "line 2: 'generation': 'two' is not a number"},
      {"[device]\ngeneration = 2\ntype = 5\nvendor = KA\nserial = 1\n",
       "line 3: 'type': 5 is not 1, 2, 16 or 17"},
      {"[device]\ngeneration = 1\ntype = 17\nvendor = KA\nserial = 1\n",
       "line 3: 'type': an AISG 1.x device"},
      {"[device]\ngeneration = 2\ntype = 1\nvendor = KAT\nserial = 1\n", "line 4: 'vendor'"},
      {"[device]\ngeneration = 2\ntype = 1\nvendor = K\nserial = 1\n",
       "line 4: 'vendor': two characters"},
      {"[device]\ngeneration = 2\ntype = 1\nvendor = KA\nserial = 123456789012345678\n",
       "line 5: 'serial'"},
      {"[device]\ngeneration = 2\ntype = 1\nvendor = PW\nserial = 1234567890123\n",
       "at most 12 characters"},
      {"[device]\ngeneration = 2\ntype = 1\nvendor = KA\nserial = 1\ncolour = red\n",
       "line 6: unknown device key 'colour'"},
      {"[device]\ngeneration = 2\ntype = 1\nvendor = KA\nserial = 1\nproduct\n",
       "line 6: expected key = value"},
      {"[device]\ngeneration = 2\ntype = 1\nvendor = KA\nserial = 1\nproduct =\n",
       "line 6: 'product' without a value"},
      {"[device]\ngeneration = 2\ngeneration = 2\ntype = 1\nvendor = KA\nserial = 1\n",
       "line 3: 'generation' given twice"},
      {"[device]\ngeneration = 2\ntype = 1\nvendor = KA\nserial = 1\nsubunits = 2\n",
       "line 6: 'subunits': a single RET"},
  };
  for (const BadSite& c : cases) {
    DeviceList devices;
    std::string error;
    EXPECT_FALSE(ParseSite(c.text, devices, error)) << c.text;
    EXPECT_NE(error.find(c.expected), std::string::npos) << "got: " << error << "\nfor: " << c.text;
    EXPECT_TRUE(devices.empty());
  }
  const BadSite tail[] = {
      {"product = ABCDEFGHIJKLMNOPQRST\n",
       "line 6: 'product': 'ABCDEFGHIJKLMNOPQRST' is longer than 19"},
      {"product = A\x01"
       "B\n",
       "line 6: 'product': texts are printable ASCII"},
      {"tilt-speed = 0\n", "line 6: 'tilt-speed': 0 is out of range 0.1 to 100.0"},
      {"fault.shaky = yes\n", "line 6: unknown fault 'fault.shaky'"},
      {"fault.silent = maybe\n", "line 6: 'fault.silent': expected yes or no"},
      {"fault.fail-reasons = 0x100\n", "line 6: 'fault.fail-reasons': 0x100 is out of range"},
      {"fault.return-code = 0x1G\n", "'0x1G' is not a number"},
      {"read-only = 0x30\n", "line 6: 'read-only': unknown field 0x30"},
      {"calibration-time = -1\n", "'calibration-time': -1 is out of range"},
      {"[subunit 2]\ntilt = 1\n", "line 7: subunit 2 of a device with 1 subunit(s)"},
      {"[subunit 0]\n", "line 6: 'subunit': 0 is out of range"},
      {"[subunit 1]\nwidth = 3\n", "line 7: unknown subunit key 'width'"},
      {"[subunit 1]\ngain = 12\n", "line 7: 'gain' does not apply to a device of type 1"},
      {"[subunit 1]\ntilt = 4.55\n", "line 7: 'tilt': 4.55 is finer than the device's step"},
      {"[subunit 1]\ntilt = 20\n", "subunit 1: the tilt lies outside the tilt range"},
      {"[subunit 1]\ntilt-range = 5 1\n", "line 7: 'tilt-range': the minimum is above the maximum"},
      {"[subunit 1]\ntilt-range = 5\n", "line 7: 'tilt-range': minimum and maximum tilt expected"},
      {"[subunit 1]\nbearing = 360.1\n",
       "line 7: 'bearing': 360.1 is out of range 0.0 to 360.0 degrees"},
      {"[subunit 1]\nmechanical-tilt = 91\n",
       "line 7: 'mechanical-tilt': 91 is out of range -90.0 to 90.0"},
      {"[subunit 1]\nantenna-model = 1234567890123456\n",
       "line 7: 'antenna-model': '1234567890123456' is longer than 15"},
      {"[subunit 1]\nsector-id = 123456789012345678901234567890123\n", "is longer than 32"},
      {"[subunit 1]\nbeamwidth = 60 60 60 60 60\n",
       "line 7: 'beamwidth': 1 to 4 beamwidths expected"},
      {"[subunit 1]\nantenna-gain = 25.6\n",
       "'antenna-gain': 25.6 is out of range 0.0 to 25.5 dBi"},
      {"[subunit 1]\nband = 0x10000\n", "'band': 0x10000 is out of range"},
      {"[subunit 1]\nalarms = 0x02 0\n", "'alarms': 0 is out of range 1 to 255"},
      {"[subunit 1]\ncalibrated = no\ncalibrated = yes\n", "line 8: 'calibrated' given twice"},
      {"[subunit 1]\ntilt = 99999999999999999999\n", "is out of range"},
  };
  for (const BadSite& c : tail) {
    DeviceList devices;
    std::string error;
    EXPECT_FALSE(ParseSite(head + c.text, devices, error)) << c.text;
    EXPECT_NE(error.find(c.expected), std::string::npos) << "got: " << error << "\nfor: " << c.text;
    EXPECT_TRUE(devices.empty());
  }
}

TEST(SiteFile, GenerationAndTypeDecideWhatFits) {
  const BadSite cases[] = {
      // AISG 1.x lengths: sector ID 4, base station ID 12, mechanical tilt one byte.
      {"[device]\ngeneration = 1\ntype = 1\nvendor = KA\nserial = 1\n[subunit 1]\nsector-id = "
       "S12345\n",
       "line 7: 'sector-id': 'S12345' is longer than 4"},
      {"[device]\ngeneration = 1\ntype = 1\nvendor = KA\nserial = 1\n[subunit 1]\nmechanical-tilt "
       "= 12.8\n",
       "out of range -12.8 to 12.7"},
      {"[device]\ngeneration = 1\ntype = 2\nvendor = KA\nserial = 1\nsubunits = 2\n",
       "AISG 1.x devices have one subunit"},
      {"[device]\ngeneration = 2\ntype = 2\nvendor = KA\nserial = 1\n[subunit 1]\ntilt = 1\n",
       "'tilt' does not apply to a device of type 2"},
      {"[device]\ngeneration = 2\ntype = 2\nvendor = KA\nserial = 1\n[subunit 1]\ngain = 12.1\n",
       "12.1 dB is not a multiple of 0.25"},
      {"[device]\ngeneration = 2\ntype = 2\nvendor = KA\nserial = 1\n[subunit 1]\ngain = 12.5\n",
       "the gain is not one the TMA can set"},
      {"[device]\ngeneration = 2\ntype = 2\nvendor = KA\nserial = 1\n[subunit 1]\ngain = 4.25\n",
       "the gain is not one the TMA can set"},
      {"[device]\ngeneration = 2\ntype = 2\nvendor = KA\nserial = 1\n[subunit 1]\nbypass = "
       "no\nmode = bypass\n",
       "bypass mode on a TMA without bypass"},
      {"[device]\ngeneration = 2\ntype = 2\nvendor = KA\nserial = 1\n[subunit 1]\nrx-band = 1785 "
       "1710\n",
       "the lower edge is above the upper edge"},
      {"[device]\ngeneration = 2\ntype = 17\nvendor = KA\nserial = 1\nsubunits = "
       "2\nafter-download-generation = 1\n",
       "'after-download-generation'"},
      {"[device]\ngeneration = 2\ntype = 1\nvendor = KA\nserial = 1\n[device]\ngeneration = "
       "2\ntype = 1\nvendor = KA\nserial = 1\n",
       "line 6: a second device with the unique ID"},
  };
  for (const BadSite& c : cases) {
    DeviceList devices;
    std::string error;
    EXPECT_FALSE(ParseSite(c.text, devices, error)) << c.text;
    EXPECT_NE(error.find(c.expected), std::string::npos) << "got: " << error << "\nfor: " << c.text;
  }
}

TEST(SiteFile, MissingFileIsReported) {
  DeviceList devices;
  std::string error;
  EXPECT_FALSE(LoadSite("/nonexistent/none.site", devices, error));
  EXPECT_NE(error.find("/nonexistent/none.site: cannot open"), std::string::npos);
}

// Mutated demo sites: every outcome is either a site or an error text.
TEST(SiteFile, MutatedSitesNeverCrash) {
  DeviceList devices;
  std::string error;
  std::ifstream in(RepoPath("sites/demo.site"));
  const std::string demo((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(demo.empty());
  std::mt19937 rng(777);
  int accepted = 0;
  for (int i = 0; i < 3000; ++i) {
    std::string t = demo;
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int k = 0; k < edits; ++k) {
      const size_t at = rng() % t.size();
      switch (rng() % 3) {
        case 0:
          t[at] = static_cast<char>(rng());
          break;
        case 1:
          t.erase(at, rng() % 20);
          break;
        default:
          t.insert(at, std::string(1 + rng() % 5, static_cast<char>(rng())));
      }
    }
    if (ParseSite(t, devices, error)) {
      ++accepted;
      EXPECT_FALSE(devices.empty());
    } else {
      EXPECT_TRUE(devices.empty());
      EXPECT_EQ(error.rfind("line ", 0), 0u) << error;
    }
  }
  EXPECT_GT(accepted, 0);
}

// The example of the format description is a valid site.
TEST(SiteFile, DocumentedExampleLoads) {
  std::ifstream in(RepoPath("docs/site-format.md"));
  const std::string doc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t example = doc.find("## Example");
  ASSERT_NE(example, std::string::npos);
  const size_t open = doc.find("```\n", example);
  const size_t close = doc.find("```", open + 4);
  ASSERT_NE(close, std::string::npos);
  DeviceList devices;
  std::string error;
  ASSERT_TRUE(ParseSite(doc.substr(open + 4, close - open - 4), devices, error)) << error;
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(Ald(devices, 0).subunits[1].alarms, Bytes{0x30});
  EXPECT_EQ(Ald(devices, 1).faults.failReasons, Bytes{0x05});
}

}  // namespace
}  // namespace ald::sim::testing
