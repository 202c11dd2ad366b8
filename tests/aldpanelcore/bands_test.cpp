// Band texts of both generations and the Freq. Band field they come from.
#include "aldpanel/core/bands.h"

#include <gtest/gtest.h>

#include <set>

namespace aldpanel {
namespace {

TEST(BandsTest, Aisg1WordGivesBandsInTableOrder) {
  BandDecoding d = DecodeBands({0x41, 0, 0}, 1);
  EXPECT_EQ(d.text, "800/2600");
  EXPECT_EQ(d.keys, "800 2600");
  EXPECT_EQ(DecodeBands({0x2A, 0, 0}, 1).text, "900/1800/2100");
  // Bits above the seven bands and the extended words mean nothing on 1.x.
  EXPECT_EQ(DecodeBands({0xFF80, 0xFFFF, 0xFFFF}, 1).text, "");
}

TEST(BandsTest, Aisg2WordsGiveBandsInAscendingBandNumber) {
  // Bands 1 (bit 5) and 3 (bit 3): band 1 first.
  BandDecoding d = DecodeBands({0x28, 0, 0}, 2);
  EXPECT_EQ(d.text, "2100/1800");
  EXPECT_EQ(d.keys, "1 3");
  // Band 8 (bit 7) and band 6 (bit 0): 800 for band 6 comes first.
  EXPECT_EQ(DecodeBands({0x81, 0, 0}, 2).keys, "6 8");
  // Band 20 is bit 5 of the second word, band 40 bit 7 of the third; the
  // marker bits 14 and 15 of the first word carry no band.
  BandDecoding e = DecodeBands({0xC000, 0x0020, 0x0080}, 2);
  EXPECT_EQ(e.text, "800/2300");
  EXPECT_EQ(e.keys, "20 40");
  EXPECT_EQ(DecodeBands({0, 0x8003, 0xF000}, 2).text, "");
}

TEST(BandsTest, EveryAisg2BitWithABandHasAFigureAndRoundTrips) {
  std::set<int> bands;
  for (int p = 0; p < 48; ++p) {
    int band = kAisg2BandOfBit[p];
    if (band < 0) continue;
    EXPECT_TRUE(bands.insert(band).second) << "band " << band << " twice";
    EXPECT_FALSE(Aisg2BandText(band).empty()) << band;
    EXPECT_EQ(Aisg2BitOfBand(band), p);
    BandWords w{};
    w[p / 16] = static_cast<uint16_t>(1u << (p % 16));
    EXPECT_EQ(DecodeBands(w, 2).keys, std::to_string(band));
  }
  EXPECT_EQ(bands.size(), 39u);  // 1 to 14, 17 to 29, 33 to 44
  EXPECT_EQ(Aisg2BitOfBand(15), -1);
  EXPECT_EQ(Aisg2BitOfBand(16), -1);
  EXPECT_TRUE(Aisg2BandText(15).empty());
  EXPECT_EQ(Aisg2BandText(22), "3500");
  EXPECT_EQ(Aisg2BandText(23), "2000");
}

TEST(BandsTest, OtherGenerationsShowNothing) {
  EXPECT_EQ(DecodeBands({0xFFFF, 0xFFFF, 0xFFFF}, 0).text, "");
  EXPECT_EQ(DecodeBands({0xFFFF, 0xFFFF, 0xFFFF}, 3).keys, "");
}

TEST(BandsTest, FieldTextIsThreeWordsLowByteFirst) {
  auto w = ParseBandField("2A0000000000");
  ASSERT_TRUE(w);
  EXPECT_EQ((*w)[0], 0x2A);
  w = ParseBandField("0040200080a0");
  ASSERT_TRUE(w);
  EXPECT_EQ((*w)[0], 0x4000);
  EXPECT_EQ((*w)[1], 0x0020);
  EXPECT_EQ((*w)[2], 0xA080);
  EXPECT_EQ(FormatBandField(*w), "0040200080A0");
  EXPECT_EQ(FormatBandField({0x0028, 0, 0}), "280000000000");
  // A short field reads as if padded with zeros.
  EXPECT_EQ((*ParseBandField("28"))[0], 0x28);
}

TEST(BandsTest, BrokenFieldsGiveNoBandsRatherThanWrongOnes) {
  EXPECT_FALSE(ParseBandField("2G0000000000"));
  EXPECT_FALSE(ParseBandField("28 000000000"));
  EXPECT_FALSE(ParseBandField("2800000000000"));  // 13 digits
  EXPECT_FALSE(ParseBandField(std::string(128, 'F')));
  EXPECT_EQ(DecodeBandField("zz0000000000", 1).text, "");
  EXPECT_EQ(DecodeBandField("", 2).text, "");  // never read: empty
  EXPECT_EQ(DecodeBandField("220000000000", 1).text, "900/2100");
  EXPECT_EQ(DecodeBandField("810000000000", 2).text, "800/900");
}

}  // namespace
}  // namespace aldpanel
