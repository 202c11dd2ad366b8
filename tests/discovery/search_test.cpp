// The search itself: which bit each level decides, where devices a single
// bit apart are separated, the passes for 14-byte unique IDs, duplicates,
// and the trace of one scan exchange.
#include <cstring>
#include <set>

#include "tests/discovery/discovery_test_util.h"

namespace disctest {
namespace {

struct Bit {
  int byte;
  int mask;
};

// The bit a level decides, as the search walks down from its top level.
Bit DecidedBit(int level) {
  if (level >= 5) {
    const int fromTop = 80 - level;  // level 80 decides bit 3 of byte 0
    return {fromTop / 4, 0x08 >> (fromTop % 4)};
  }
  switch (level) {
    case 4:
      return {18, 0x10};
    case 3:
      return {18, 0x20};
    case 2:
      return {17, 0x10};
    default:
      return {17, 0x20};
  }
}

TEST(ScanMappingTest, EachLevelDecidesOneNewBitUnderTheBitsAlreadyDecided) {
  DiscoveryEP ep;
  for (int depth = 1; depth <= 17; ++depth) {
    // The bits decided above the current level; the pattern holds an
    // arbitrary choice for each of them and nothing elsewhere.
    unsigned char decided[19] = {};
    unsigned char pattern[19] = {};
    unsigned seed = 12345u + static_cast<unsigned>(depth);
    for (int level = 4 * depth + 4; level >= 1; --level) {
      SCOPED_TRACE("depth " + std::to_string(depth) + " level " + std::to_string(level));
      char setP[19], setM[19], clearP[19], clearM[19];
      ASSERT_EQ(ep.ScanMapping(depth, reinterpret_cast<char*>(pattern), level, setP, setM, clearP,
                               clearM),
                0);
      const Bit b = DecidedBit(level);
      if (depth == 1 && b.byte == 17) {
        // The last two levels of a depth-1 search also match the low bits
        // of the second-to-last character, which it never resolved; their
        // masks are fixed.
        EXPECT_EQ(static_cast<unsigned char>(setM[17]), level == 2 ? 0x1F : 0x3F);
      } else {
        ASSERT_GE(b.byte, 19 - depth);
        for (int i = 0; i < 19; ++i) {
          const unsigned expectMask = decided[i] | (i == b.byte ? b.mask : 0);
          EXPECT_EQ(static_cast<unsigned char>(setM[i]), expectMask) << "mask byte " << i;
        }
      }
      EXPECT_EQ(std::memcmp(setM, clearM, 19), 0);
      for (int i = 0; i < 19; ++i) {
        const unsigned bit = i == b.byte ? b.mask : 0;
        EXPECT_EQ(static_cast<unsigned char>(setP[i]), pattern[i] | bit) << "set byte " << i;
        EXPECT_EQ(static_cast<unsigned char>(clearP[i]), pattern[i] & ~bit) << "clear byte " << i;
      }
      // Go down one side or the other.
      seed = seed * 1103515245u + 12345u;
      std::memcpy(pattern, (seed >> 16) & 1 ? setP : clearP, 19);
      decided[b.byte] |= static_cast<unsigned char>(b.mask);
    }
  }
}

TEST(ScanMappingTest, LevelsOutsideTheTableLeaveThePatternAndTheStartMask) {
  DiscoveryEP ep;
  char pattern[19];
  for (int i = 0; i < 19; ++i) pattern[i] = static_cast<char>('A' + i);
  for (int level : {0, -3, 81, 200}) {
    char setP[19], setM[19], clearP[19], clearM[19];
    ep.ScanMapping(3, pattern, level, setP, setM, clearP, clearM);
    EXPECT_EQ(std::memcmp(setP, pattern, 19), 0);
    EXPECT_EQ(std::memcmp(clearP, pattern, 19), 0);
    const char start[19] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0F, 0x0F, 0x0F};
    EXPECT_EQ(std::memcmp(setM, start, 19), 0);
    EXPECT_EQ(std::memcmp(clearM, start, 19), 0);
  }
}

TEST_F(DiscoveryTest, IdsOneBitApartAreSeparatedWhereThatBitIsDecided) {
  // '0' and '1': only bit 0 of the last character differs.
  Load(R"(
[device]
generation = 2
type = 1
vendor = KA
serial = SE00000121
[device]
generation = 1
type = 1
vendor = KA
serial = SE00000120
)");
  Quiet([&] { EXPECT_EQ(ep->BinarySearch(&devices, 3), 2); });
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(IdOf(devices[0]), Uid("KA", "SE00000120"));
  EXPECT_EQ(devices[0].devAisgVersion, 1);
  EXPECT_EQ(IdOf(devices[1]), Uid("KA", "SE00000121"));
  EXPECT_EQ(devices[1].devAisgVersion, 2);

  // Until bit 0 of the last character is decided (level 5: every low bit
  // of the last three characters under the mask) the two answer together.
  const Bytes level5{0x0F, 0x0F, 0x0F};
  bool separated = false;
  for (const SentFrame& f : line->sent) {
    if (!f.IsScan()) continue;
    const Bytes mask = f.Param(3);
    if (mask.size() != 19) continue;  // the 14-byte passes come last
    const Bytes tail(mask.begin() + 16, mask.end());
    if (!separated) {
      if (f.GoodAnswer()) {
        EXPECT_EQ(tail, level5) << "first clean answer";
        separated = true;
      } else if (!f.answer.empty()) {
        EXPECT_NE(tail, level5);
      }
    }
  }
  EXPECT_TRUE(separated);
}

TEST_F(DiscoveryTest, DeviceHiddenBehindACleanAnswerIsFoundToo) {
  // The second device misses the first scan, so the first answers alone at
  // the top level; the two are only told apart further down.
  Load(R"(
[device]
generation = 2
type = 1
vendor = KA
serial = SE00000121
[device]
generation = 1
type = 1
vendor = KA
serial = SE00000120
fault.silent-frames = 1
)");
  Quiet([&] { EXPECT_EQ(ep->BinarySearch(&devices, 3), 2); });
  ASSERT_GE(line->sent.size(), 1u);
  EXPECT_TRUE(line->sent[0].GoodAnswer());
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(IdOf(devices[0]), Uid("KA", "SE00000120"));
}

TEST_F(DiscoveryTest, FourteenByteIdsAreFoundInTheirVendorsPass) {
  LoadFile("search-edge.site");
  Quiet([&] { EXPECT_EQ(ep->BinarySearch(&devices, 3), 17); });
  // Each 14-byte device answered scans of its own vendor's pass only, and
  // no 19-byte device answered those.
  std::set<std::string> shortVendorsHeard;
  for (const SentFrame& f : line->sent) {
    if (!f.IsScan() || f.answer.empty()) continue;
    const Bytes id = f.Param(1);
    if (id.size() == 14) {
      shortVendorsHeard.insert(std::string(id.begin(), id.begin() + 2));
      EXPECT_EQ(f.Param(3)[0], 0xFF);
      EXPECT_EQ(f.Param(3)[1], 0xFF);
    }
  }
  EXPECT_EQ(shortVendorsHeard, (std::set<std::string>{"AL", "LA", "LG", "PW", "RW"}));
  int shortIds = 0;
  for (const AISGDeviceParams& d : devices) {
    if (d.devUniqueIDSize == 14) {
      ++shortIds;
      EXPECT_TRUE(Reachable(IdOf(d)));
      EXPECT_NE(DeviceWithId(IdOf(d)), nullptr);
    }
  }
  EXPECT_EQ(shortIds, 6);
}

TEST_F(DiscoveryTest, DeviceFoundAgainInALaterPassIsNotAddedTwice) {
  // A 19-byte ID of a vendor with a 14-byte pass also answers that pass.
  Load(R"(
[device]
generation = 2
type = 1
vendor = PW
serial = 12345678901234567
uid-length = 19
)");
  std::string out = Quiet([&] { EXPECT_EQ(ep->BinarySearch(&devices, 3), 1); });
  bool answeredShortPass = false;
  for (const SentFrame& f : line->sent) {
    if (f.IsScan() && f.Param(1).size() == 14 && f.GoodAnswer()) answeredShortPass = true;
  }
  EXPECT_TRUE(answeredShortPass);
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].devUniqueIDSize, 19);
}

TEST_F(DiscoveryTest, OneScanExchangeTracesAndFillsTheRecord) {
  Load(R"(
[device]
generation = 2
type = 17
vendor = KA
serial = MR4401203901
subunits = 2
)");
  AISGDeviceParams p{};
  int r = -1;
  const std::string out = Quiet([&] { r = ep->ScanDevice(0xFF, &p); });
  ASSERT_EQ(r, 0);
  const std::string id = Uid("KA", "MR4401203901");
  EXPECT_EQ(IdOf(p), id);
  EXPECT_EQ(p.devUniqueIDSize, 19);
  EXPECT_EQ(p.devType, 17);
  EXPECT_EQ(p.devAisgVersion, 2);
  EXPECT_STREQ(p.devVendorID, "KA");
  EXPECT_EQ(p.devAddress, 0);
  const std::string expected =
      "---------------------------\x1b[1;31mDEPTH=1\x1b[0m----------------------------------\n"
      "Scan found id = 0x00 0x00 0x00, msk = 0x00 0x00 0x00\n"
      "p->devAisgVersion=2\n"
      "p->devUniqueIDSize=19\n"
      "p->devUniqueID=" +
      id + "\n" + std::string(70, '-') + "\n";
  const size_t at = out.find("---------------------------\x1b");
  ASSERT_NE(at, std::string::npos) << out;
  EXPECT_EQ(out.substr(at), expected);

  // Deeper levels exchange silently apart from the frame trace.
  char pattern[19] = {};
  char mask[19] = {};
  mask[18] = 0x08;
  pattern[18] = '1' & 0x08;
  const std::string quiet = Quiet([&] { r = ep->ScanDevice(0xFF, pattern, mask, 19, 2, &p); });
  EXPECT_EQ(r, 0);
  EXPECT_EQ(quiet.find("DEPTH"), std::string::npos);
  EXPECT_EQ(quiet.find("p->"), std::string::npos);

  // Nobody matches: silence.
  pattern[0] = 'Z';
  mask[0] = static_cast<char>(0xFF);
  Quiet([&] { r = ep->ScanDevice(0xFF, pattern, mask, 19, 1, &p); });
  EXPECT_EQ(r, 89);
}

TEST_F(DiscoveryTest, CollidingAnswersAreUnusable) {
  Load(R"(
[device]
generation = 2
type = 1
vendor = KA
serial = 0001
[device]
generation = 1
type = 1
vendor = KA
serial = 0002
)");
  AISGDeviceParams p{};
  Quiet([&] { EXPECT_EQ(ep->ScanDevice(0xFF, &p), 82); });
  EXPECT_EQ(p.devUniqueIDSize, 0);
}

}  // namespace
}  // namespace disctest
