// The flat device table: which source fills each field for RET and TMA
// entries of both generations, the count text, and what a rebuild keeps
// when there is nothing to build from.
#include <cstring>
#include <set>
#include <string>

#include "tests/aldglue/glue_fixture.h"

namespace gluetest {
namespace {

class TableTest : public GlueTest {
 protected:
  // Every byte after a field's terminator is zero: fields are copied whole
  // into a zero-filled entry, never with stale bytes behind the text.
  static void ExpectClean(const MIRELK_DATA* e) {
    ASSERT_NE(e, nullptr);
    for (int f = 0; f < kMirelkFieldCount; ++f) {
      const char* field = e->field[f];
      const size_t n = strnlen(field, kMirelkFieldSize);
      ASSERT_LT(n, static_cast<size_t>(kMirelkFieldSize)) << "field " << f;
      for (size_t i = n; i < kMirelkFieldSize; ++i) {
        ASSERT_EQ(field[i], 0) << "field " << f << " byte " << i;
      }
    }
  }
  static void ExpectClean(const EntryCopy& e) { ExpectClean(e.get()); }
  static void ExpectEmpty(const EntryCopy& e, std::set<int> fields) {
    for (int f : fields) EXPECT_EQ(Field(e, f), "") << "field " << f;
  }
  // The address the scan gave the only device of the table.
  int OnlyAddress() {
    EXPECT_EQ(AISGDevice::GetNumberOfDevices(), 1);
    return AISGDevice::GetDevices()[0]->GetAddress();
  }
};

const std::set<int> kTmaOnly = {kMdMaxGain,   kMdMinGain,        kMdTmaType, kMdTmaRxBand,
                                kMdTmaTxBand, kMdGainResolution, kMdMode,    kMdCurrentGain};
const std::set<int> kRetOnly = {kMdMaxTilt, kMdMinTilt, kMdCurrentTilt};

TEST_F(TableTest, Aisg1RetEntryTakesEveryFieldFromItsSource) {
  Site(kRet1);
  ASSERT_EQ(Scan(), 0);
  const int address = OnlyAddress();
  EntryCopy e = Entry(address, 1);
  ExpectClean(e);
  EXPECT_EQ(Field(e, kMdAddress), std::to_string(address));
  EXPECT_EQ(Field(e, kMdSubunit), "1");
  EXPECT_EQ(Field(e, kMdDeviceType), "01");
  EXPECT_EQ(Field(e, kMdAisgVersion), "1");
  EXPECT_EQ(Field(e, kMdUniqueId), "KA0000RE0912004471");
  EXPECT_EQ(Field(e, kMdVendor), "KA");
  EXPECT_EQ(Field(e, kMdRetModel), "RCU-S1");
  EXPECT_EQ(Field(e, kMdRetSerial), "0000RE0912004471");
  EXPECT_EQ(Field(e, kMdHardwareVersion), "A2");
  EXPECT_EQ(Field(e, kMdSoftwareVersion), "1.1.07");
  EXPECT_EQ(Field(e, kMdAntennaModel), "K-742215");
  EXPECT_EQ(Field(e, kMdAntennaSerial), "0912004471");
  EXPECT_EQ(Field(e, kMdFreqBand), "220000000000");
  EXPECT_EQ(Field(e, kMdBeamWidth), "410041003f000000");
  EXPECT_EQ(Field(e, kMdAntennaGain), "aab0b400");
  EXPECT_EQ(Field(e, kMdMaxTilt), "80");
  EXPECT_EQ(Field(e, kMdMinTilt), "0");
  EXPECT_EQ(Field(e, kMdInstallationDate), "091120");
  EXPECT_EQ(Field(e, kMdInstallerId), "HB007");
  EXPECT_EQ(Field(e, kMdSiteId), "BTS0815");
  EXPECT_EQ(Field(e, kMdSectorId), "S2");
  EXPECT_EQ(Field(e, kMdBearing), "1500");
  EXPECT_EQ(Field(e, kMdMechTilt), "-10");
  EXPECT_EQ(Field(e, kMdDeviceStatus), "0");
  EXPECT_EQ(Field(e, kMdDeviceStatusCause), "");
  EXPECT_EQ(Field(e, kMdCurrentTilt), "30");
  ExpectEmpty(e, kTmaOnly);
  ExpectEmpty(e, {kMdUnused});
}

TEST_F(TableTest, Aisg2RetGivesOneEntryPerAntennaWithAllSixBandBytes) {
  // Band bits 14 and 15 announce the extension fields 0x08 and 0x09.
  std::string site = kRet2;
  site.replace(site.find("band = 0x0081"), 13, "band = 0xC081");
  Site(site);
  ASSERT_EQ(Scan(), 0);
  const int address = OnlyAddress();
  ASSERT_EQ(getMirelkDataCount(), 3);
  for (int sub = 1; sub <= 3; ++sub) {
    EntryCopy e = Entry(address, sub);
    ExpectClean(e);
    EXPECT_EQ(Field(e, kMdDeviceType), "11");
    EXPECT_EQ(Field(e, kMdAisgVersion), "2");
    EXPECT_EQ(Field(e, kMdRetModel), "RCU-M3-2.0");
    ExpectEmpty(e, kTmaOnly);
  }
  // Bytes in stored order (each 16-bit band low byte first), upper case.
  EXPECT_EQ(Field(Entry(address, 1), kMdFreqBand), "81C03412B0A0");
  EXPECT_EQ(Field(Entry(address, 2), kMdFreqBand), "280000000000");
  EXPECT_EQ(Field(Entry(address, 3), kMdFreqBand), "000000000000");
  EXPECT_EQ(Field(Entry(address, 1), kMdCurrentTilt), "60");
  EXPECT_EQ(Field(Entry(address, 2), kMdCurrentTilt), "40");
  EXPECT_EQ(Field(Entry(address, 1), kMdMaxTilt), "120");
  EXPECT_EQ(Field(Entry(address, 1), kMdMinTilt), "20");
  EXPECT_EQ(Field(Entry(address, 1), kMdSectorId), "SEC-A1");
  EXPECT_EQ(Field(Entry(address, 2), kMdSectorId), "SEC-A2");
  EXPECT_EQ(Field(Entry(address, 1), kMdBearing), "300");
  // The uncalibrated third antenna reports its alarm.
  EXPECT_EQ(Field(Entry(address, 3), kMdDeviceStatus), "1");
  EXPECT_EQ(Field(Entry(address, 3), kMdDeviceStatusCause), "0e");
}

TEST_F(TableTest, Aisg1TmaTypeComesFromTheTypeField) {
  Site(kTma1);
  ASSERT_EQ(Scan(), 0);
  const int address = OnlyAddress();
  EntryCopy e = Entry(address, 1);
  ExpectClean(e);
  EXPECT_EQ(Field(e, kMdDeviceType), "02");
  EXPECT_EQ(Field(e, kMdAisgVersion), "1");
  EXPECT_EQ(Field(e, kMdUniqueId), "PWTM1107000815");
  EXPECT_EQ(Field(e, kMdRetModel), "TMA-850");
  EXPECT_EQ(Field(e, kMdAntennaModel), "TMA-850-S");
  EXPECT_EQ(Field(e, kMdTmaType), "1");
  EXPECT_EQ(Field(e, kMdMaxGain), "48");
  EXPECT_EQ(Field(e, kMdMinGain), "16");
  EXPECT_EQ(Field(e, kMdGainResolution), "2");
  EXPECT_EQ(Field(e, kMdTmaRxBand), "30202a21");
  EXPECT_EQ(Field(e, kMdTmaTxBand), "f221ec22");
  EXPECT_EQ(Field(e, kMdMode), "0");
  EXPECT_EQ(Field(e, kMdCurrentGain), "32");
  EXPECT_EQ(Field(e, kMdSectorId), "S1");
  EXPECT_EQ(Field(e, kMdBearing), "1200");
  EXPECT_EQ(Field(e, kMdFreqBand), "000000000000");
  ExpectEmpty(e, kRetOnly);
  ExpectEmpty(e, {kMdUnused});
}

TEST_F(TableTest, Aisg2TmaShowsItsSupportedFunctionsInsteadOfTheType) {
  Site(kTma2);
  ASSERT_EQ(Scan(), 0);
  const int address = OnlyAddress();
  ASSERT_EQ(getMirelkDataCount(), 2);
  EntryCopy first = Entry(address, 1);
  EntryCopy second = Entry(address, 2);
  ExpectClean(first);
  ExpectClean(second);
  // The device's type field holds 3; the bypass flag is what is shown.
  EXPECT_EQ(Field(first, kMdTmaType), "01");
  EXPECT_EQ(Field(first, kMdAisgVersion), "2");
  EXPECT_EQ(Field(first, kMdFreqBand), "080000000000");
  EXPECT_EQ(Field(first, kMdTmaRxBand), "cc42ba45");
  EXPECT_EQ(Field(first, kMdCurrentGain), "48");
  EXPECT_EQ(Field(first, kMdMode), "0");
  EXPECT_EQ(Field(second, kMdSubunit), "2");
  EXPECT_EQ(Field(second, kMdTmaRxBand), "004b584d");
  EXPECT_EQ(Field(second, kMdTmaTxBand), "6c52c454");
  EXPECT_EQ(Field(second, kMdCurrentGain), "40");
  EXPECT_EQ(Field(second, kMdMode), "1");
  EXPECT_EQ(Field(second, kMdDeviceStatus), "1");
  EXPECT_EQ(Field(second, kMdDeviceStatusCause), "30");
  ExpectEmpty(first, kRetOnly);
  ExpectEmpty(second, kRetOnly);
}

TEST_F(TableTest, EntriesFollowTheRegistryAndTheCountTextSumsThem) {
  Site(std::string(kRet1) + kRet2 + kTma1 + kTma2);
  ASSERT_EQ(Scan(), 0);
  ASSERT_EQ(AISGDevice::GetNumberOfDevices(), 4);
  EXPECT_EQ(getMirelkDataCount(), 7);
  EXPECT_STREQ(getMirelkDataCountStr(), "2/4/2/3");
  EXPECT_EQ(getLastError(), 0);

  const MIRELK_DATA* table = nullptr;
  Quiet([&] { table = getMirelkData(); });
  ASSERT_NE(table, nullptr);
  int row = 0;
  for (int d = 0; d < AISGDevice::GetNumberOfDevices(); ++d) {
    AISGDevice* device = AISGDevice::GetDevices()[d];
    for (int sub = 1; sub <= device->GetNumberOfSubunits(); ++sub, ++row) {
      EXPECT_EQ(Field(&table[row], kMdAddress), std::to_string(device->GetAddress()));
      EXPECT_EQ(Field(&table[row], kMdSubunit), std::to_string(sub));
    }
  }
  EXPECT_EQ(row, 7);
}

TEST_F(TableTest, AnEmptyBusLeavesNoTable) {
  Site(kRet1);
  ASSERT_EQ(Scan(), 0);
  ASSERT_EQ(getMirelkDataCount(), 1);

  Site("");
  EXPECT_EQ(Scan(), 0);
  EXPECT_EQ(getMirelkDataCount(), -1);
  EXPECT_STREQ(getMirelkDataCountStr(), "");
  const MIRELK_DATA* table = reinterpret_cast<const MIRELK_DATA*>(1);
  Quiet([&] { table = getMirelkData(); });
  EXPECT_EQ(table, nullptr);
  EXPECT_EQ(getMirelkDataCount(), -1);
}

TEST_F(TableTest, WithoutDevicesTheOldTableAndLastResultStay) {
  Site(std::string(kRet1) + kTma1);
  ASSERT_EQ(Scan(), 0);
  const MIRELK_DATA* before = nullptr;
  Quiet([&] { before = getMirelkData(); });
  ASSERT_NE(before, nullptr);
  const std::string vendor = before[0].field[kMdVendor];
  ASSERT_FALSE(vendor.empty());
  EXPECT_EQ(selfTest(99), kAldglueFailure);

  Registry::Clear();
  const MIRELK_DATA* after = nullptr;
  Quiet([&] { after = getMirelkData(); });
  EXPECT_EQ(after, before);
  EXPECT_EQ(getMirelkDataCount(), 2);
  EXPECT_STREQ(getMirelkDataCountStr(), "1/1/1/1");
  EXPECT_EQ(getLastError(), kAldglueFailure);
  EXPECT_EQ(Field(after, kMdVendor), vendor);
}

TEST_F(TableTest, ScanResetsAnAdapterOutOfItsDefaultConfigurationOnce) {
  Site(kRet1);
  std::string trace = Quiet([] { scanMain(4, 1); });
  EXPECT_NE(trace.find("Resetting the device!\n"), std::string::npos);
  EXPECT_EQ(trace.find("Resetting the device failed!\n"), std::string::npos);
  EXPECT_EQ(line->chip.counters().resets, 1);
  EXPECT_EQ(getMirelkDataCount(), 1);

  trace = Quiet([] { scanMain(4, 1); });
  EXPECT_EQ(trace.find("Resetting the device!"), std::string::npos);
  EXPECT_EQ(line->chip.counters().resets, 1);
}

TEST_F(TableTest, AFailedAdapterResetIsReportedAndTheScanGoesOn) {
  Site(kRet1);
  line->chip.FailAlways(ald::SimBridgeChip::Op::kReset);
  const std::string trace = Quiet([] { scanMain(4, 1); });
  EXPECT_NE(trace.find("Resetting the device!\n"), std::string::npos);
  EXPECT_EQ(line->chip.counters().resets, 0);
  EXPECT_EQ(getMirelkDataCount(), 1);
}

TEST_F(TableTest, AddDeviceRegistersOneMultiAntennaRet) {
  Site(std::string(kRet1) + kRet2);
  std::string trace;
  int result = -1;
  char vendor[] = "KA";
  char serial[] = "MR4401203977";
  trace = Quiet([&] { result = addDevice(vendor, serial); });
  EXPECT_EQ(result, 0) << trace;
  EXPECT_EQ(AISGDevice::GetNumberOfDevices(), 1);
  EXPECT_EQ(getMirelkDataCount(), 3);
  EXPECT_STREQ(getMirelkDataCountStr(), "1/3/0/0");
  EXPECT_EQ(line->chip.counters().resets, 1);

  // The same device again: found, but the registry does not grow.
  Quiet([&] { result = addDevice(vendor, serial); });
  EXPECT_EQ(result, 123);
  EXPECT_EQ(getMirelkDataCount(), 3);
}

TEST_F(TableTest, AddDeviceOfAnAbsentSerialGives119) {
  Site(kRet1);
  char vendor[] = "KA";
  char serial[] = "NOSUCHSERIAL";
  int result = -1;
  const std::string trace = Quiet([&] { result = addDevice(vendor, serial); });
  EXPECT_EQ(result, 119);
  EXPECT_NE(trace.find("return struce is NULL\n<br>"), std::string::npos);
  EXPECT_EQ(getMirelkDataCount(), -1);
  EXPECT_EQ(AISGDevice::GetNumberOfDevices(), 0);
}

}  // namespace
}  // namespace gluetest
