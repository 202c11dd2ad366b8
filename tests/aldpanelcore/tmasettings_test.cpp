#include "aldpanel/core/tmasettings.h"

#include <gtest/gtest.h>

#include "aldpanel/core/quarterdb.h"

namespace aldpanel {
namespace {

std::vector<std::string> Shown(const std::vector<long>& quarters, char separator = '.') {
  std::vector<std::string> texts;
  for (long q : quarters) texts.push_back(FormatQuarterDb(q, separator));
  return texts;
}

TEST(TmaGainList, HalfDecibelStepsFromZeroToTwelve) {
  GainRange range = ReadGainRange("0", "48", "2");
  EXPECT_EQ(range.step, 2);
  EXPECT_FALSE(range.stepRaised);
  std::vector<long> list = GainListQuarters(range, 22);
  ASSERT_EQ(list.size(), 25u);
  EXPECT_EQ(FormatQuarterDb(list.front()), "0");
  EXPECT_EQ(FormatQuarterDb(list[1]), "0.5");
  EXPECT_EQ(FormatQuarterDb(list.back()), "12");
  EXPECT_EQ(list[11], 22);  // the entry a current gain of 22 selects reads 5.5
}

TEST(TmaGainList, ResolutionBelowAQuarterOrUnreadBecomesAQuarter) {
  for (const char* resolution : {"0", ""}) {
    GainRange range = ReadGainRange("0", "3", resolution);
    EXPECT_TRUE(range.stepRaised) << resolution;
    EXPECT_EQ(Shown(GainListQuarters(range, std::nullopt)),
              (std::vector<std::string>{"0", "0.25", "0.5", "0.75"}));
  }
}

TEST(TmaGainList, QuarterStepsReachAMaximumOffTheWholeDecibels) {
  // 0 to 12.75 dB: the top entries are 12.5 and 12.75, none cut to 12.
  std::vector<long> list = GainListQuarters(ReadGainRange("0", "51", "1"), std::nullopt);
  ASSERT_EQ(list.size(), 52u);
  EXPECT_EQ(FormatQuarterDb(list[50], ','), "12,5");
  EXPECT_EQ(FormatQuarterDb(list[51], ','), "12,75");
}

TEST(TmaGainList, EqualEndsOrUnknownRangeGiveOneEntry) {
  EXPECT_EQ(GainListQuarters(ReadGainRange("40", "40", "2"), 48), (std::vector<long>{40}));
  // A range never read offers the gain the device reported, or nothing.
  EXPECT_EQ(GainListQuarters(ReadGainRange("", "", ""), 45), (std::vector<long>{45}));
  EXPECT_TRUE(GainListQuarters(ReadGainRange("", "48", "2"), std::nullopt).empty());
  // A device that reports its minimum above its maximum gets no invented list.
  EXPECT_EQ(GainListQuarters(ReadGainRange("48", "0", "2"), 30), (std::vector<long>{30}));
}

TEST(TmaGainCheck, ValuesOnTheStepsPassWithTheirQuarters) {
  GainRange half = ReadGainRange("0", "48", "2");
  GainCheck c = CheckGain("5.5", half, '.');
  EXPECT_TRUE(c.ok);
  EXPECT_EQ(c.quarters, 22);
  // Both ends are inclusive.
  EXPECT_EQ(CheckGain("0", half, '.').quarters, 0);
  EXPECT_EQ(CheckGain(" 12.0 ", half, '.').quarters, 48);
  // In a comma locale both the locale's separator and the point read.
  EXPECT_EQ(CheckGain("5,5", half, ',').quarters, 22);
  EXPECT_EQ(CheckGain("5.5", half, ',').quarters, 22);
  EXPECT_FALSE(CheckGain("5,5", half, '.').ok);
  // 12.5 lies inside a 12.75 dB maximum.
  GainCheck top = CheckGain("12.5", ReadGainRange("0", "51", "1"), '.');
  EXPECT_TRUE(top.ok);
  EXPECT_EQ(top.quarters, 50);
}

TEST(TmaGainCheck, OffStepValuesAreRefusedNamingTheNearestOnes) {
  GainRange half = ReadGainRange("0", "48", "2");
  GainCheck c = CheckGain("5.6", half, '.');
  EXPECT_FALSE(c.ok);
  EXPECT_NE(c.message.find("Current Gain (dB)"), std::string::npos) << c.message;
  EXPECT_NE(c.message.find("Nearest valid values: 5.5 dB and 6 dB"), std::string::npos)
      << c.message;
  // A quarter on a half decibel device, a steps grid starting at the minimum.
  GainCheck odd = CheckGain("4.75", ReadGainRange("16", "48", "2"), '.');
  EXPECT_NE(odd.message.find("4.5 dB and 5 dB"), std::string::npos) << odd.message;
  // Next to the maximum only the value below exists.
  GainCheck edge = CheckGain("11,7", ReadGainRange("0", "47", "2"), ',');
  EXPECT_NE(edge.message.find("Nearest valid value: 11,5 dB"), std::string::npos) << edge.message;
  // An unknown range still wants whole quarters.
  GainCheck free = CheckGain("3.1", ReadGainRange("", "", ""), '.');
  EXPECT_FALSE(free.ok);
  EXPECT_NE(free.message.find("3 dB and 3.25 dB"), std::string::npos) << free.message;
}

TEST(TmaGainCheck, OutOfRangeAndUnholdableValuesAndNonNumbers) {
  GainRange half = ReadGainRange("0", "48", "2");
  for (const char* text : {"12.3", "12.5", "-0.5"}) {
    GainCheck c = CheckGain(text, half, '.');
    EXPECT_FALSE(c.ok) << text;
    EXPECT_EQ(c.message.rfind("Out of range error!", 0), 0u) << text << ": " << c.message;
  }
  // A range never read leaves the range to the device, but not the byte.
  EXPECT_TRUE(CheckGain("40", ReadGainRange("", "", ""), '.').ok);
  GainCheck big = CheckGain("64", ReadGainRange("", "", ""), '.');
  EXPECT_FALSE(big.ok);
  EXPECT_NE(big.message.find("0 to 63.75 dB"), std::string::npos) << big.message;
  for (const char* text : {"", "abc", "5.5.5", "1e1", "-", "1234567.5"}) {
    GainCheck c = CheckGain(text, half, '.');
    EXPECT_FALSE(c.ok) << text;
    EXPECT_NE(c.message.find("is not a gain in dB"), std::string::npos) << text;
  }
}

TEST(TmaTexts, ModeTypeBitsAndBandEdges) {
  EXPECT_EQ(ModeText(0), "Normal");
  EXPECT_EQ(ModeText(1), "Bypass");
  EXPECT_EQ(ModeFromText(" Bypass "), 1);
  EXPECT_EQ(ModeFromText("Normal"), 0);
  EXPECT_FALSE(ModeFromText("   ").has_value());

  TmaTypeBits both = ReadTmaType("3", 1);
  EXPECT_TRUE(both.bypass && both.vswr);
  TmaTypeBits vswr = ReadTmaType("02", 2);
  EXPECT_FALSE(vswr.bypass);
  EXPECT_TRUE(vswr.vswr);
  // The AISG 2 flag is hexadecimal: "0a" has bit 1 set and bit 0 clear.
  TmaTypeBits hex = ReadTmaType("0a", 2);
  EXPECT_FALSE(hex.bypass);
  EXPECT_TRUE(hex.vswr);
  TmaTypeBits none = ReadTmaType("", 2);
  EXPECT_FALSE(none.bypass || none.vswr);

  // 1710.0 and 1785.0 MHz: 17100 = 0x42CC and 17850 = 0x45BA, low byte first.
  BandEdges rx = ReadBandEdges("CC42BA45", '.');
  EXPECT_EQ(rx.lower, "1710.0");
  EXPECT_EQ(rx.upper, "1785.0");
  EXPECT_EQ(ReadBandEdges("cc42ba45", ',').upper, "1785,0");
  EXPECT_TRUE(ReadBandEdges("CC42BA4", '.').lower.empty());
  EXPECT_TRUE(ReadBandEdges("CC42BA4X", '.').upper.empty());
}

}  // namespace
}  // namespace aldpanel
