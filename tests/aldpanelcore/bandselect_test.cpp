// Apply of the band dialogs without widgets: words, bytes, extended-field
// flags, and per-band values that stay with their band.
#include "aldpanel/core/bandselect.h"

#include <gtest/gtest.h>

#include <array>

namespace aldpanel {
namespace {

int Bit(int band) {
  return Aisg2BitOfBand(band);
}

TEST(BandSelectTest, Aisg2Bands1And3GiveFirstWordOnlyInAscendingOrder) {
  BandEdit e;
  e.aisgVersion = 2;
  ApplyBandSelection(e, {Bit(3), Bit(1)}, 2, BandFormKind::kRet);
  EXPECT_EQ(e.fieldText, "280000000000");
  EXPECT_EQ(e.bandText, "2100/1800");
  EXPECT_EQ(e.bandBytes, (std::array<uint8_t, 6>{0x28, 0, 0, 0, 0, 0}));
  EXPECT_FALSE(e.writeExtended1);
  EXPECT_FALSE(e.writeExtended2);
  // Two new bands: one zero value each.
  EXPECT_EQ(e.beamWidthText, "0/0");
  EXPECT_EQ(e.gainText, "0.0/0.0");
}

TEST(BandSelectTest, ExtendedBandsAskForTheirFieldsAndKeepTheMarkers) {
  BandEdit e;
  e.aisgVersion = 2;
  ApplyBandSelection(e, {Bit(20), 14}, 2, BandFormKind::kRet);
  EXPECT_EQ(e.bandBytes, (std::array<uint8_t, 6>{0x00, 0x40, 0x20, 0x00, 0, 0}));
  EXPECT_TRUE(e.writeExtended1);
  EXPECT_FALSE(e.writeExtended2);
  EXPECT_EQ(e.bandText, "800");

  BandEdit f;
  f.aisgVersion = 2;
  ApplyBandSelection(f, {Bit(40), 15}, 2, BandFormKind::kRet);
  EXPECT_EQ(f.fieldText, "008000008000");
  EXPECT_FALSE(f.writeExtended1);
  EXPECT_TRUE(f.writeExtended2);
  EXPECT_EQ(f.bandText, "2300");

  // Unticking the last band of an extended word must still write the word,
  // or the device would keep band 20.
  BandEdit g;
  g.aisgVersion = 2;
  g.fieldText = "004020000000";
  ApplyBandSelection(g, {14}, 2, BandFormKind::kRet);
  EXPECT_EQ(g.fieldText, "004000000000");
  EXPECT_TRUE(g.writeExtended1);
  EXPECT_FALSE(g.writeExtended2);
}

TEST(BandSelectTest, KeptBandsKeepTheirValuesInAscendingBandOrder) {
  // Bands 1 and 3 as the device holds them: band 1 first.
  BandEdit e;
  e.aisgVersion = 2;
  e.decimalSeparator = ',';
  e.fieldText = "280000000000";
  e.beamWidthText = "65/33";
  e.gainText = "17,5/18,1";
  // Band 3 stays, band 1 goes, band 8 (bit 7) and band 6 (bit 0) come.
  ApplyBandSelection(e, {Bit(3), Bit(8), Bit(6)}, 2, BandFormKind::kRet);
  EXPECT_EQ(e.bandText, "1800/800/900");  // bands 3, 6, 8
  EXPECT_EQ(e.beamWidthText, "33/0/0");
  EXPECT_EQ(e.gainText, "18,1/0,0/0,0");

  // A value the text lacks counts as new, a value too many is dropped.
  BandEdit f;
  f.aisgVersion = 1;
  f.fieldText = "410000000000";  // 800 and 2600
  f.beamWidthText = "90";
  f.gainText = "15.0/16.5/99.9";
  ApplyBandSelection(f, {6, 0, 3}, 1, BandFormKind::kRet);
  EXPECT_EQ(f.bandText, "800/1800/2600");
  EXPECT_EQ(f.beamWidthText, "90/0/0");
  EXPECT_EQ(f.gainText, "15.0/0.0/16.5");
}

TEST(BandSelectTest, Aisg1UsesTheFirstWordOnly) {
  BandEdit e;
  e.aisgVersion = 1;
  e.fieldText = "41000000FFFF";
  ApplyBandSelection(e, {0, 6, 14, 20}, 1, BandFormKind::kRet);
  EXPECT_EQ(e.fieldText, "410000000000");
  EXPECT_EQ(e.bandText, "800/2600");
  EXPECT_FALSE(e.writeExtended1);
  EXPECT_FALSE(e.writeExtended2);
  EXPECT_EQ(Aisg1BitOfKey(1800), 3);
  EXPECT_EQ(Aisg1BitOfKey(1000), -1);
}

TEST(BandSelectTest, TmaKeepsItsTextsAndGetsTheBands) {
  BandEdit e;
  e.aisgVersion = 2;
  e.fieldText = "200000000000";
  e.beamWidthText = "untouched";
  e.gainText = "12.5";
  ApplyBandSelection(e, {Bit(1), Bit(8)}, 2, BandFormKind::kTma);
  EXPECT_EQ(e.fieldText, "A00000000000");
  EXPECT_EQ(e.bandText, "2100/900");
  EXPECT_EQ(e.beamWidthText, "untouched");
  EXPECT_EQ(e.gainText, "12.5");
}

TEST(BandSelectTest, UnreadableOldFieldCountsAsNoBands) {
  BandEdit e;
  e.aisgVersion = 2;
  e.fieldText = "not a field";
  e.gainText = "17.5";
  ApplyBandSelection(e, {Bit(1)}, 2, BandFormKind::kRet);
  EXPECT_EQ(e.gainText, "0.0");
  EXPECT_FALSE(e.writeExtended1);
}

}  // namespace
}  // namespace aldpanel
