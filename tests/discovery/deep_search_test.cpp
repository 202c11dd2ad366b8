// Devices the levels of the search cannot tell apart, vendors with 14-byte
// unique IDs in both searches, and the deepest searches of those IDs.
#include <map>

#include "tests/discovery/discovery_test_util.h"

namespace disctest {
namespace {

int Occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST_F(DiscoveryTest, DevicesThatDifferOnlyAboveTheResolvedCharactersAreAllFound) {
  // Two pairs collide with every level decided; each pair is split below
  // level 1 on the bits the levels never look at.
  LoadFile("deep-collision.site");
  int settled = 0;
  const std::string out = Quiet([&] { settled = ep->ScanAllDevice(&devices, 3); });
  EXPECT_EQ(settled, 5);
  ExpectAllFoundAndAddressed(devices);
  EXPECT_EQ(Occurrences(out, "ALDs still collide at level 1, searching deeper\n"), 2);
  EXPECT_EQ(out.find("Scan terminated!"), std::string::npos);
  EXPECT_EQ(out.find("may have been missed"), std::string::npos);
  EXPECT_FALSE(ep->SearchMayHaveMissed());
}

TEST_F(DiscoveryTest, DeepSearchSplitsOnlyOnBitsTheMaskLeavesOpen) {
  LoadFile("deep-collision.site");
  Quiet([&] { ep->BinarySearch(&devices, 3); });
  ASSERT_EQ(devices.size(), 5u);
  // Below level 1 every scan decides one bit more than the level-1 mask
  // (0x0F 0x3F 0x3F on the last three bytes), and each mask byte only ever
  // gains bits: no candidate ever repeats a decided bit with the other value.
  int deeper = 0;
  for (const SentFrame& f : line->sent) {
    if (!f.IsScan()) continue;
    const Bytes mask = f.Param(3);
    const Bytes id = f.Param(1);
    ASSERT_EQ(mask.size(), id.size());
    if (mask.size() != 19) continue;
    const bool belowLevel1 =
        (mask[16] & 0xF0) != 0 || (mask[17] & 0xC0) != 0 || (mask[18] & 0xC0) != 0 || mask[15] != 0;
    if (!belowLevel1) continue;
    ++deeper;
    EXPECT_EQ(mask[16] & 0x0F, 0x0F);
    EXPECT_EQ(mask[17] & 0x3F, 0x3F);
    EXPECT_EQ(mask[18] & 0x3F, 0x3F);
    for (size_t i = 0; i < 19; ++i) EXPECT_EQ(id[i] & ~mask[i] & 0xFF, 0) << "byte " << i;
  }
  EXPECT_GT(deeper, 0);
}

TEST_F(DiscoveryTest, EveryFourteenByteVendorIsSearchedAndFoundAlone) {
  // An RE device next to an RW one: both have a pass of their own.
  LoadFile("short-ids.site");
  int settled = 0;
  Quiet([&] { settled = ep->ScanAllDevice(&devices, 3); });
  EXPECT_EQ(settled, 7);
  ExpectAllFoundAndAddressed(devices);

  // The search for one device uses the 14-byte pattern for each of them.
  for (const char* v : {"RW", "RE", "AL", "PW"}) {
    SCOPED_TRACE(v);
    std::string serial;
    for (int i = 0; i < bus->DeviceCount(); ++i) {
      const std::string& id = bus->Device(i).uniqueId;
      if (id.compare(0, 2, v) == 0) serial = id.substr(2);
    }
    serial.erase(0, serial.find_first_not_of('\0'));
    ASSERT_FALSE(serial.empty());
    line->sent.clear();
    AISGDeviceParams p{};
    char vendor[3] = {v[0], v[1], 0};
    int r = -1;
    Quiet([&] { r = ep->ScanDevice(vendor, serial.data(), &p); });
    EXPECT_EQ(r, 0);
    EXPECT_EQ(IdOf(p), Uid(v, serial, 14));
    EXPECT_EQ(CountScans(), 1);
  }
}

TEST_F(DiscoveryTest, DeepSearchesOfFourteenByteIdsStayInsideTheId) {
  for (int depth : {12, 13, 15, 17}) {
    SCOPED_TRACE(depth);
    LoadFile("short-ids.site");
    devices.clear();
    const std::string out = Quiet([&] { EXPECT_EQ(ep->BinarySearch(&devices, depth), 7); });
    EXPECT_EQ(out.find("Scan terminated!"), std::string::npos);
    EXPECT_FALSE(ep->SearchMayHaveMissed());
    // Every vendor pass sent its scans; none of them decided a bit of the
    // vendor code, and no pattern went out more often than its tries.
    std::map<std::string, int> passScans;
    std::map<Bytes, int> sentTimes;
    for (const SentFrame& f : line->sent) {
      if (!f.IsScan() || f.Param(1).size() != 14) continue;
      const Bytes id = f.Param(1);
      const Bytes mask = f.Param(3);
      ++passScans[std::string(id.begin(), id.begin() + 2)];
      EXPECT_EQ(mask[0], 0xFF);
      EXPECT_EQ(mask[1], 0xFF);
      Bytes key = id;
      key.insert(key.end(), mask.begin(), mask.end());
      EXPECT_LE(++sentTimes[key], 2);
    }
    for (const char* v : {"AL", "LA", "LG", "PW", "RE", "RW"}) EXPECT_GE(passScans[v], 2) << v;
    // The top of a 14-byte pass decides the first serial character.
    for (const SentFrame& f : line->sent) {
      if (!f.IsScan() || f.Param(1).size() != 14) continue;
      Bytes top(14, 0);
      top[0] = top[1] = 0xFF;
      top[2] = 0x08;
      EXPECT_EQ(f.Param(3), top);
      break;
    }
    TearDown();
  }
}

}  // namespace
}  // namespace disctest
