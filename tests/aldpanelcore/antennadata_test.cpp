#include "aldpanel/core/antennadata.h"

#include <gtest/gtest.h>

#include <cstring>

namespace aldpanel {
namespace {

TEST(AntennaData, DecimalFormatUsesTheLocaleSeparator) {
  EXPECT_FALSE(DecimalFormatOk("2.55", '.'));
  EXPECT_TRUE(DecimalFormatOk("2.5", '.'));
  EXPECT_TRUE(DecimalFormatOk("2.", '.'));
  EXPECT_TRUE(DecimalFormatOk("25", '.'));
  EXPECT_FALSE(DecimalFormatOk("2,55", ','));
  EXPECT_TRUE(DecimalFormatOk("2,5", ','));
  // In a comma locale a point is no separator, so "2.55" is no number
  // rather than a format fault.
  EXPECT_FALSE(ParseTenths("2.55", ',').has_value());

  EXPECT_EQ(ParseTenths("2.", '.'), 20);
  EXPECT_EQ(ParseTenths(" -1.5 ", '.'), -15);
  EXPECT_EQ(ParseTenths(",5", ','), 5);
  EXPECT_EQ(ParseTenths("2,3", ','), 23);
  EXPECT_FALSE(ParseTenths("", '.').has_value());
  EXPECT_FALSE(ParseTenths("-", '.').has_value());
  EXPECT_FALSE(ParseTenths("1e3", '.').has_value());
  EXPECT_FALSE(ParseTenths("99999999999999999999", '.').has_value());

  EXPECT_EQ(FormatTenths(-5, '.'), "-0.5");
  EXPECT_EQ(FormatTenths(120, ','), "12,0");
}

TEST(AntennaData, SetTiltLimitsAreInclusiveAndAnUnreadRangeIsNotChecked) {
  EXPECT_EQ(CheckSetTilt("  ", "0.0", "10.0", '.').verdict, TiltVerdict::kNothing);
  const TiltCheck format = CheckSetTilt("2.55", "0.0", "10.0", '.');
  EXPECT_EQ(format.verdict, TiltVerdict::kBadFormat);
  EXPECT_EQ(format.message, "The decimal format is not correct.");
  EXPECT_EQ(CheckSetTilt("2,55", "0,0", "10,0", ',').verdict, TiltVerdict::kBadFormat);

  EXPECT_EQ(CheckSetTilt("2.0", "2.0", "12.0", '.').verdict, TiltVerdict::kOk);
  EXPECT_EQ(CheckSetTilt("12.0", "2.0", "12.0", '.').tenths, 120);
  EXPECT_EQ(CheckSetTilt("1.9", "2.0", "12.0", '.').verdict, TiltVerdict::kOutOfRange);
  EXPECT_EQ(CheckSetTilt("12.1", "2.0", "12.0", '.').verdict, TiltVerdict::kOutOfRange);
  EXPECT_EQ(CheckSetTilt("-0.5", "-1,0", "1,0", ',').verdict, TiltVerdict::kNotANumber);

  const TiltCheck unread = CheckSetTilt("45.0", "", "", '.');
  EXPECT_EQ(unread.verdict, TiltVerdict::kOk);
  EXPECT_EQ(unread.tenths, 450);
  EXPECT_EQ(CheckSetTilt("4.", "", "3.0", '.').verdict, TiltVerdict::kOutOfRange);
  EXPECT_EQ(CheckSetTilt("abc", "0.0", "10.0", '.').verdict, TiltVerdict::kNotANumber);
}

TEST(AntennaData, SectorIsOneBasedForSectorControlledVendorsOnly) {
  EXPECT_EQ(SectorForDisplay("0", true), "1");
  EXPECT_EQ(SectorForDisplay("0009", true), "10");
  EXPECT_EQ(SectorForDisplay("99", true), "100");
  EXPECT_EQ(SectorForDisplay("SEC-A1", true), "SEC-A1");
  EXPECT_EQ(SectorForDisplay("", true), "");
  EXPECT_EQ(SectorForDisplay("3", false), "3");
  // Digits beyond any integer width convert exactly.
  EXPECT_EQ(SectorForDisplay("99999999999999999999", true), "100000000000000000000");

  EXPECT_EQ(SectorForDevice("1", true), "0");
  EXPECT_EQ(SectorForDevice("100", true), "99");
  EXPECT_EQ(SectorForDevice("10", false), "10");
  EXPECT_FALSE(SectorForDevice("0", true).has_value());
  EXPECT_FALSE(SectorForDevice("000", true).has_value());
}

TEST(AntennaData, ShowsOneGainAndBeamWidthPerBand) {
  // The device holds four values whatever the band count; two bands show two.
  EXPECT_EQ(GainDisplayText("7D969FA0", 2, 2, '.'), "12.5/15.0");
  EXPECT_EQ(GainDisplayText("7D969FA0", 2, 2, ','), "12,5/15,0");
  EXPECT_EQ(GainDisplayText("7D969FA0", 9, 2, '.'), "12.5/15.0/15.9/16.0");
  // AISG 1.x keeps three.
  EXPECT_EQ(GainDisplayText("7D969FA0", 4, 1, '.'), "12.5/15.0/15.9");
  EXPECT_EQ(GainDisplayText("7D96", 2, 2, '.'), "");
  EXPECT_EQ(GainDisplayText("7D96ZZA0", 2, 2, '.'), "");

  EXPECT_EQ(BeamWidthDisplayText("43004100E8030000", 2, 2), "67/65");
  EXPECT_EQ(BeamWidthDisplayText("43004100E8030000", 3, 2), "67/65/1000");
  EXPECT_EQ(BeamWidthDisplayText("43004100", 2, 2), "");
  EXPECT_EQ(BandCount("2100/1800"), 2);
}

AntennaDataInput Input(int version) {
  AntennaDataInput in;
  in.aisgVersion = version;
  in.bandText = "2100/1800";
  return in;
}

TEST(AntennaData, BuildsTheFieldsInWritingOrderWithEveryConversion) {
  AntennaDataInput in = Input(2);
  in.sectorControlled = true;
  in.model = "AX-3M65";
  in.band = true;
  in.bandBytes = {0x28, 0x00, 0x10, 0x00, 0x00, 0x00};
  in.writeExtended1 = true;
  in.beamWidth = "65/300";
  in.gain = "17.5/18";
  in.antennaSerial = "AX1";
  in.mechanicalTilt = "-1.5";
  in.bearing = "3600";
  in.installDate = "011426";
  in.installerId = "JM042";
  in.siteId = "ENB-4711";
  in.sectorId = "3";
  const AntennaDataBuild b = BuildAntennaData(in);
  ASSERT_TRUE(b.ok) << b.message;
  EXPECT_EQ(b.record.fields, std::string("\x24\x23\x22\x21\x25\x26\x02\x05\x04\x03\x08\x01"));
  const DeviceData& d = b.record.data;
  EXPECT_STREQ(d.sectorid, "2");
  EXPECT_STREQ(d.baseid, "ENB-4711");
  EXPECT_STREQ(d.insid, "JM042");
  EXPECT_STREQ(d.insdate, "011426");
  EXPECT_EQ(d.bearing, 3600);
  EXPECT_EQ(d.mechtilt, -15);
  EXPECT_STREQ(d.antsn, "AX1");
  const unsigned char gains[4] = {175, 180, 0, 0};
  EXPECT_EQ(std::memcmp(d.antgain, gains, 4), 0);
  const unsigned char beams[8] = {65, 0, 0x2C, 0x01, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(d.antbeam, beams, 8), 0);
  EXPECT_EQ(d.antband[0], 0x28);
  EXPECT_EQ(d.antband[2], 0x10);
  EXPECT_STREQ(d.antmodel, "AX-3M65");

  // Only Site ID ticked: the single identifier, the rest of the record zero.
  AntennaDataInput site = Input(1);
  site.siteId = "S";
  const AntennaDataBuild one = BuildAntennaData(site);
  ASSERT_TRUE(one.ok);
  EXPECT_EQ(one.record.fields, "\x23");
  EXPECT_EQ(one.record.data.bearing, 0);

  // Field widths depend on the generation: an unknown one writes nothing.
  site.aisgVersion = 0;
  EXPECT_FALSE(BuildAntennaData(site).ok);

  AntennaDataRecord dropped = b.record;
  DropField(dropped, kFieldAntennaModel);
  EXPECT_EQ(dropped.fields, std::string("\x24\x23\x22\x21\x25\x26\x02\x05\x04\x03\x08"));
}

TEST(AntennaData, TmaWritesTheFirstBandWordAndAPlainModel) {
  AntennaDataInput in = Input(2);
  in.tma = true;
  in.band = true;
  in.bandBytes = {0x01, 0xC0, 0x10, 0x00, 0x02, 0x00};
  in.writeExtended1 = in.writeExtended2 = true;
  in.model = "";
  const AntennaDataBuild b = BuildAntennaData(in);
  ASSERT_TRUE(b.ok) << b.message;
  EXPECT_EQ(b.record.fields, std::string("\x03\x01"));
  EXPECT_EQ(b.record.data.antband[1], 0xC0);
  EXPECT_EQ(b.record.data.antband[2], 0);
  EXPECT_EQ(b.record.data.antband[4], 0);

  in.model = "0123456789ABCDEF";
  EXPECT_FALSE(BuildAntennaData(in).ok);
}

// The message of the first refused value, "" when it was accepted.
std::string Refusal(AntennaDataInput in) {
  const AntennaDataBuild b = BuildAntennaData(in);
  if (b.ok) return "";
  EXPECT_TRUE(b.record.fields.empty());
  return b.message;
}

TEST(AntennaData, RefusesWhatTheDeviceFieldCannotHold) {
  AntennaDataInput in = Input(1);
  in.mechanicalTilt = "12.8";
  EXPECT_EQ(Refusal(in),
            "Out of range error ( Min Mechanical Tilt: -12.8  , Max Mechanical Tilt: 12.7 )");
  in.mechanicalTilt = "-12.8";
  EXPECT_EQ(Refusal(in), "");
  in.aisgVersion = 2;
  in.mechanicalTilt = "12.8";
  EXPECT_EQ(Refusal(in), "");
  in.mechanicalTilt = "-90.1";
  EXPECT_EQ(Refusal(in),
            "Out of range error ( Min Mechanical Tilt: -90.0  , Max Mechanical Tilt: 90.0 )");
  in.mechanicalTilt = "1.25";
  EXPECT_EQ(Refusal(in), "The decimal format is not correct.");
  in.mechanicalTilt.reset();

  for (const char* bad : {"3601", "-1", "12.5", ""}) {
    in.bearing = bad;
    EXPECT_NE(Refusal(in), "") << bad;
  }
  in.bearing = "3601";
  EXPECT_EQ(Refusal(in), "Out of range error ( Min Bearing: 0  , Max Bearing: 3600 )");
  in.bearing = "0";
  EXPECT_EQ(Refusal(in), "");
  in.bearing.reset();

  in.gain = "25.6";
  EXPECT_EQ(Refusal(in), "Antenna Gain: 25.6 does not fit the device's field (0 to 25.5 dBi).");
  in.gain = "25.5/-1";
  EXPECT_NE(Refusal(in).find("Antenna Gain: -1"), std::string::npos);
  in.gain = "17.55";
  EXPECT_NE(Refusal(in).find("more than one decimal"), std::string::npos);
  in.gain = "17.5//18";
  EXPECT_NE(Refusal(in).find("value 2"), std::string::npos);
  in.gain = "1/2/3/4/5";
  EXPECT_NE(Refusal(in).find("at most 4"), std::string::npos);
  in.decimalSeparator = ',';
  in.gain = "17,5/18,0";
  EXPECT_EQ(Refusal(in), "");
  in.gain = "17.5";
  EXPECT_NE(Refusal(in).find("not a number"), std::string::npos);
  in.gain.reset();

  // One byte per beam width on AISG 1.x, 16 bits on 2.x; three slots on 1.x.
  in.beamWidth = "256";
  EXPECT_EQ(Refusal(in), "");
  in.aisgVersion = 1;
  EXPECT_EQ(Refusal(in), "Beam Width: 256 does not fit the device's field (0 to 255 degrees).");
  in.beamWidth = "65/65/65/65";
  EXPECT_NE(Refusal(in).find("at most 3"), std::string::npos);
  in.beamWidth = "65";
  in.bandText = "800/900/1800/2100";
  EXPECT_NE(Refusal(in).find("4 bands"), std::string::npos);
  in.bandText = "900";
  in.aisgVersion = 2;
  in.beamWidth = "65536";
  EXPECT_NE(Refusal(in), "");
  in.beamWidth.reset();

  for (const char* bad : {"12345", "0114266", "01-426", ""}) {
    in.installDate = bad;
    EXPECT_NE(Refusal(in).find("Installation Date"), std::string::npos) << bad;
  }
  in.installDate.reset();

  // Text lengths per field and generation.
  in.siteId = std::string(13, 'S');
  EXPECT_EQ(Refusal(in), "");
  in.aisgVersion = 1;
  EXPECT_EQ(Refusal(in),
            "Site ID: \"SSSSSSSSSSSSS\" is 13 characters long; the device's field "
            "holds at most 12.");
  in.siteId = "Bj\xc3\xb6rk";
  EXPECT_NE(Refusal(in).find("plain ASCII"), std::string::npos);
  in.siteId.reset();
  in.sectorId = "12345";
  EXPECT_NE(Refusal(in).find("at most 4"), std::string::npos);
  in.sectorControlled = true;
  in.sectorId = "0";
  EXPECT_NE(Refusal(in).find("first sector is 1"), std::string::npos);
  in.sectorId.reset();
  in.installerId = "JM0421";
  EXPECT_NE(Refusal(in).find("at most 5"), std::string::npos);
  in.installerId.reset();
  in.antennaSerial = std::string(18, 'A');
  EXPECT_NE(Refusal(in).find("at most 17"), std::string::npos);
}

}  // namespace
}  // namespace aldpanel
