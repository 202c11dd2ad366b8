// Answers no well-behaved device gives, on a scripted line: a bus on which
// every scan collides, unique IDs that do not fit, parameters cut short.
#include <algorithm>
#include <cstring>
#include <string>

#include "tests/discovery/discovery_test_util.h"
#include "tests/procedures/scripted_line.h"

namespace disctest {
namespace {

using proctest::Command;
using proctest::Frame;

bool IsScanCommand(const Command& c) {
  return c.control == 0xBF && c.info.size() > 3 && c.info[1] == 0xF0 &&
         std::find(c.info.begin(), c.info.end(), 3) != c.info.end();
}

// An XID answer of the user group with these parameter bytes; the group
// length says `groupLength` (the real length when negative).
Bytes XidAnswer(uint8_t address, uint8_t control, const Bytes& params, int groupLength = -1) {
  Bytes info;
  info.reserve(3 + params.size());
  info.push_back(0x81);
  info.push_back(0xF0);
  info.push_back(
      static_cast<uint8_t>(groupLength >= 0 ? groupLength : static_cast<int>(params.size())));
  for (uint8_t b : params) info.push_back(b);
  return Frame(address, control, info);
}

Bytes IdParam(int length, uint8_t fill = 'X') {
  Bytes p{1, static_cast<uint8_t>(length)};
  p.insert(p.end(), static_cast<size_t>(length), fill);
  return p;
}

class BadAnswerTest : public ::testing::Test {
 protected:
  void SetUp() override { ep.OpenConnection(); }
  template <typename F>
  std::string Quiet(F f) {
    ::testing::internal::CaptureStdout();
    f();
    return ::testing::internal::GetCapturedStdout();
  }

  ald::ScopedVirtualClock clock;
  proctest::ScriptedLine line;
  DiscoveryEP ep;
  AISGDeviceParams p{};
};

TEST_F(BadAnswerTest, ABusThatAlwaysCollidesIsSearchedForDepthMinutesOnly) {
  int scans = 0;
  line.responder = [&](const Command& c) -> Bytes {
    if (!IsScanCommand(c)) return {};
    ++scans;
    return {0x7E, 0x00, 0xBF, 0x12, 0x34, 0x7E};  // what colliding answers leave
  };
  std::vector<AISGDeviceParams> devices;
  const int64_t start = ald::GetClock().NowUs();
  int found = -1;
  const std::string out = Quiet([&] { found = ep.BinarySearch(&devices, 3); });
  const double seconds = (ald::GetClock().NowUs() - start) / 1e6;
  EXPECT_EQ(found, 0);
  EXPECT_GE(seconds, 180.0);
  EXPECT_LT(seconds, 181.0);
  const std::string stop = "Scan terminated! Scan Time > 3 mins.\n";
  ASSERT_NE(out.find(stop), std::string::npos);
  int stops = 0;
  for (size_t at = out.find(stop); at != std::string::npos; at = out.find(stop, at + 1)) ++stops;
  // Every node still open when the time ran out stops once: the path from
  // the top (16 levels, then one node per bit of the ID below level 1) and
  // the siblings along it, and the top of each later pass.
  EXPECT_LE(stops, 2 * (16 + 19 * 8) + 6);
  // Those collisions were never told apart: the search says it is incomplete.
  EXPECT_TRUE(ep.SearchMayHaveMissed());
  EXPECT_NE(out.find("Search incomplete, devices may have been missed!\n"), std::string::npos);
  // The collisions drove the search down: far more scans than the 30 of an
  // empty bus, far fewer than the whole tree.
  std::printf("colliding bus: %d scans in %.1f s, %d stop lines\n", scans, seconds, stops);
  EXPECT_GT(scans, 1000);
  EXPECT_LT(scans, 4000);
}

TEST_F(BadAnswerTest, ScanAnswersWithoutAUsableIdAreRefused) {
  struct Case {
    const char* what;
    Bytes params;
    int groupLength;
  };
  const Case cases[] = {
      {"ID longer than any unique ID", IdParam(30), -1},
      {"ID of length 0", Bytes{1, 0, 4, 1, 1}, -1},
      {"ID cut short by the frame", Bytes{1, 19, 'K', 'A', '0', '0', '1'}, 21},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    line.responder = [&](const Command& cmd) -> Bytes {
      return IsScanCommand(cmd) ? XidAnswer(0, 0xBF, c.params, c.groupLength) : Bytes{};
    };
    std::memset(&p, 0, sizeof p);
    p.devUniqueIDSize = 3;
    std::memcpy(p.devUniqueID, "old", 3);
    Quiet([&] { EXPECT_EQ(ep.ScanDevice(0xFF, &p), 82); });
    EXPECT_EQ(p.devUniqueIDSize, 3);
    EXPECT_EQ(std::memcmp(p.devUniqueID, "old\0", 4), 0);
  }
}

TEST_F(BadAnswerTest, ScanAnswerParametersThatDoNotFitAreSkipped) {
  // A good ID, then a type without a value, a vendor code of one character
  // and an address beyond the answer: the ID counts, the rest is left alone.
  Bytes params = IdParam(19, 'Q');
  params.insert(params.end(), {4, 0, 6, 1, 'Z', 2, 5});
  line.responder = [&](const Command& cmd) -> Bytes {
    return IsScanCommand(cmd) ? XidAnswer(0, 0x73, params) : Bytes{};
  };
  p.devType = 9;
  std::strcpy(p.devVendorID, "AB");
  p.devAddress = 4;
  Quiet([&] { EXPECT_EQ(ep.ScanDevice(0xFF, &p), 0); });
  EXPECT_EQ(p.devUniqueIDSize, 19);
  EXPECT_EQ(p.devAisgVersion, 1);
  EXPECT_EQ(p.devType, 9);
  EXPECT_STREQ(p.devVendorID, "AB");
  EXPECT_EQ(p.devAddress, 0) << "from the answer's address byte";
}

TEST_F(BadAnswerTest, AssignmentAnswersThatDoNotFitTheRecord) {
  // A long parameter list fills the response area and no more; an ID that
  // cannot be one ends the walk.
  Bytes params = IdParam(25);
  params.insert(params.end(), {4, 1, 2});
  while (params.size() < 200) params.insert(params.end(), {0x33, 1, 0});
  line.responder = [&](const Command& cmd) -> Bytes {
    return cmd.control == 0xBF ? XidAnswer(5, 0xBF, params) : Bytes{};
  };
  const std::string id = "KA" + std::string(12, '\0') + "12345";
  std::memcpy(p.devUniqueID, id.data(), 19);
  p.devUniqueIDSize = 19;
  Quiet([&] { EXPECT_EQ(ep.SetDeviceAddress(5, &p), 0); });
  EXPECT_EQ(p.devAisgVersion, 2);
  EXPECT_EQ(p.devRcuCodesSize, 128);
  EXPECT_EQ(p.devUniqueIDSize, 19);
  EXPECT_EQ(std::memcmp(p.devUniqueID, id.data(), 19), 0);
  EXPECT_EQ(p.devType, 0);
}

}  // namespace
}  // namespace disctest
