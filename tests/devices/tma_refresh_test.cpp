// TMA device: refresh (what it reads, the state it decides, its limits),
// alarms, change detection, the summary record and the TMA listing.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "tests/devices/tma_sim.h"

namespace tma {
namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

// Device data fields other than the first of a subunit's set.
const std::set<uint8_t> kEightFields = {0x02, 0x03, 0x04, 0x05, 0x13, 0x14, 0x15, 0x21};

TEST_F(TmaTest, RefreshReadsGainsThenModesThenAlarmsDataAndFunctions) {
  Site(kDualTma);
  auto tma = Make(1);
  Device(1).requests.clear();
  CaptureStdout();
  ASSERT_EQ(tma->Refresh(), 0);
  const std::string trace = GetCapturedStdout();
  EXPECT_EQ(tma->GetState(), AISGDevice::kStateOk);
  EXPECT_TRUE(Contains(trace, "TMADevice::Refresh()\n"));
  EXPECT_TRUE(Contains(trace, "TMADevice::RemoveAlarm(ac:81,sub:0)\n"));
  EXPECT_TRUE(Contains(trace, "Time to refresh a device: "));

  std::string order;
  std::vector<uint8_t> fields[3];
  for (const Seen& r : Device(1).requests) {
    if (r.code >= 0x71 && r.code <= 0x7B && r.code != 0x75) {
      order += std::to_string(r.code - 0x70) + "/" + std::to_string(r.subunit) + " ";
    }
    if (r.code == 0x75) fields[r.subunit].push_back(r.first);
  }
  // Gains of both subunits, then modes, then alarms, then per subunit the
  // supported functions (non-linear gains are not asked: both have steps).
  EXPECT_EQ(order, "3/1 3/2 1/1 1/2 8/1 8/2 10/1 10/2 ");
  // One field a request, the gain range left to the supported functions.
  const std::vector<uint8_t> expected = {0x01, 0x02, 0x03, 0x04, 0x05, 0x13, 0x14,
                                         0x15, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26};
  EXPECT_EQ(fields[1], expected);
  EXPECT_EQ(fields[2], expected);

  const TMASubunit* s = tma->GetSubunit(1);
  EXPECT_EQ(s->curgain, 48);
  EXPECT_EQ(s->mode, 0);
  EXPECT_EQ(s->maxgain, 48);
  EXPECT_EQ(s->mingain, 16);
  EXPECT_EQ(s->resolution, 2);
  EXPECT_EQ(s->function, 1);
  EXPECT_EQ(s->tmatype, 3);
  EXPECT_EQ(s->alarm, ald::HString(""));
  EXPECT_EQ(s->status, 0);
  EXPECT_EQ(tma->GetSubunit(2)->curgain, 40);
  EXPECT_EQ(tma->GetSubunit(2)->alarm, ald::HString("\x30"));
  EXPECT_EQ(tma->GetSubunit(2)->status, 1);
}

TEST_F(TmaTest, Aisg1RefreshAsksForTheDataSetFiveFieldsAtATime) {
  Site(kAisg1Tma);
  auto tma = Make(1);
  ASSERT_EQ(tma->Refresh(), 0);
  std::string sizes;
  for (const Seen& r : Device(1).requests) {
    if (r.code == 0x0F) sizes += std::to_string(r.dataLength);
  }
  EXPECT_EQ(sizes, "5552");
  // No AISG 2.0 procedure ever reaches an AISG 1.x device.
  for (const Seen& r : Device(1).requests) EXPECT_LT(r.code, 0x70);
  const TMASubunit* s = tma->GetSubunit(1);
  EXPECT_EQ(s->curgain, 32);
  EXPECT_EQ(s->maxgain, 48);
  EXPECT_EQ(s->mingain, 16);
  EXPECT_EQ(s->resolution, 2);
  EXPECT_EQ(s->mechtilt, -10);
  EXPECT_EQ(s->bearing, 1200);
}

TEST_F(TmaTest, Aisg2WithTwoSubunitsIsNotAnsweringOnlyAbove18Errors) {
  Site(kDualTma);
  auto tma = Refreshed(1);
  // 2 gains and 8 fields of each subunit: 18 failed exchanges.
  Device(1).spoil = [](const Seen& r) {
    return r.code == 0x73 || (r.code == 0x75 && kEightFields.count(r.first) > 0);
  };
  CaptureStdout();
  ASSERT_EQ(tma->Refresh(), 0);
  EXPECT_TRUE(Contains(GetCapturedStdout(), "---------BAD RESPONDING---------,error no:18\n"));
  EXPECT_EQ(tma->GetState(), AISGDevice::kStateBadResponding);
  EXPECT_EQ(tma->GetSubunit(1)->alarm, ald::HString("\x52"));
  EXPECT_EQ(tma->GetSubunit(2)->alarm, ald::HString("\x52\x30"));
  EXPECT_EQ(tma->GetSubunit(1)->curgain, -1);

  // One mode more: 19.
  Device(1).spoil = [](const Seen& r) {
    return r.code == 0x73 || (r.code == 0x71 && r.subunit == 1) ||
           (r.code == 0x75 && kEightFields.count(r.first) > 0);
  };
  CaptureStdout();
  ASSERT_EQ(tma->Refresh(), 0);
  EXPECT_TRUE(Contains(GetCapturedStdout(), "------------NO RESPONDING----------------\n"));
  EXPECT_EQ(tma->GetState(), AISGDevice::kStateNotResponding);
  EXPECT_EQ(tma->GetSubunit(1)->alarm, ald::HString("\x53"));
  EXPECT_EQ(tma->GetSubunit(2)->alarm, ald::HString("\x53"));

  // Answering again clears the marker.
  Device(1).spoil = nullptr;
  ASSERT_EQ(tma->Refresh(), 0);
  EXPECT_EQ(tma->GetState(), AISGDevice::kStateOk);
  EXPECT_EQ(tma->GetSubunit(1)->alarm, ald::HString(""));
  EXPECT_EQ(tma->GetSubunit(2)->alarm, ald::HString("\x30"));
}

TEST_F(TmaTest, NewDeviceAboveTheLimitStaysNew) {
  Site(kDualTma);
  auto tma = Make(1);
  Device(1).spoil = [](const Seen& r) {
    return r.code == 0x73 || r.code == 0x71 || r.code == 0x75;
  };
  ASSERT_EQ(tma->Refresh(), 0);
  EXPECT_EQ(tma->GetState(), AISGDevice::kStateNew);
  EXPECT_EQ(tma->GetSubunit(1)->alarm, ald::HString("\x51"));
  SNMPTMAData summary;
  EXPECT_EQ(tma->GetSNMPTMAData(1, summary), 81);
}

TEST_F(TmaTest, FirstDataRequestOfASubunitDoesNotCount) {
  Site(kDualTma);
  auto tma = Refreshed(1);
  // The first field of both subunits and one gain: one error that counts.
  Device(1).spoil = [](const Seen& r) {
    return (r.code == 0x75 && r.first == 0x01) || (r.code == 0x73 && r.subunit == 2);
  };
  ASSERT_EQ(tma->Refresh(), 0);
  EXPECT_EQ(tma->GetState(), AISGDevice::kStateOk);
  // The second field does count: 1 + 2 = 3 errors.
  Device(1).spoil = [](const Seen& r) {
    return (r.code == 0x75 && r.first == 0x02) || (r.code == 0x73 && r.subunit == 2);
  };
  ASSERT_EQ(tma->Refresh(), 0);
  EXPECT_EQ(tma->GetState(), AISGDevice::kStateBadResponding);
}

TEST_F(TmaTest, Aisg1LimitIsFive) {
  Site(kAisg1Tma);
  auto tma = Refreshed(1);
  // Gain, mode and three of the four data requests.
  Device(1).spoil = [](const Seen& r) {
    return r.code == 0x43 || r.code == 0x41 || r.code == 0x0F;
  };
  CaptureStdout();
  ASSERT_EQ(tma->Refresh(), 0);
  EXPECT_TRUE(Contains(GetCapturedStdout(), "error no:5\n"));
  EXPECT_EQ(tma->GetState(), AISGDevice::kStateBadResponding);
  // And the identity too: six.
  Device(1).refuse = [](const Seen& r) { return r.code == 0x05; };
  CaptureStdout();
  ASSERT_EQ(tma->Refresh(), 0);
  EXPECT_TRUE(Contains(GetCapturedStdout(), "------------NO RESPONDING----------------\n"));
  EXPECT_EQ(tma->GetState(), AISGDevice::kStateNotResponding);
}

TEST_F(TmaTest, NoLinkForgetsModeAndGainOfAKnownDevice) {
  Site(kDualTma);
  auto fresh = Make(1);
  Device(1).faults.silent = true;
  CaptureStdout();
  EXPECT_EQ(fresh->Refresh(), 81);
  EXPECT_TRUE(Contains(GetCapturedStdout(), "Open connection failed!\n"));
  EXPECT_EQ(fresh->GetState(), AISGDevice::kStateNew);
  unsigned char buffer[256];
  EXPECT_EQ(fresh->GetAlarmStatus(1, buffer, 1), 81);

  Device(1).faults.silent = false;
  auto tma = Refreshed(1);
  Device(1).faults.silent = true;
  EXPECT_EQ(tma->Refresh(), 83);
  EXPECT_EQ(tma->GetState(), AISGDevice::kStateNotResponding);
  for (int i = 1; i <= 2; ++i) {
    EXPECT_EQ(tma->GetSubunit(i)->mode, -1);
    EXPECT_EQ(tma->GetSubunit(i)->curgain, -1);
    EXPECT_EQ(tma->GetSubunit(i)->alarm, ald::HString("\x53"));
  }
  unsigned char code = 0;
  unsigned int count = 0;
  EXPECT_EQ(tma->GetCurrentAlarmCount(2, code, count), 0x53u);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(tma->GetAlarmStatus(2, buffer, 0), 83);
  EXPECT_STREQ(reinterpret_cast<char*>(buffer), "\x53");
}

TEST_F(TmaTest, RefreshCountsSubunitsTheConstructorCouldNot) {
  Site(kDualTma);
  Device(1).faults.silent = true;
  auto tma = Make(1);
  EXPECT_EQ(tma->GetNumberOfSubunits(), 1);
  Device(1).faults.silent = false;
  ASSERT_EQ(tma->Refresh(), 0);
  EXPECT_EQ(tma->GetNumberOfSubunits(), 2);
  EXPECT_EQ(tma->GetState(), AISGDevice::kStateOk);
  EXPECT_EQ(tma->GetSubunit(2)->curgain, 40);
}

TEST_F(TmaTest, AlarmsPerSubunitAndClearing) {
  Site(kDualTma);
  auto tma = Make(1);
  unsigned char buffer[256];
  // A new device shows its marker in front of the device's codes.
  EXPECT_EQ(tma->GetAlarmStatus(2, buffer, 1), 0x51);
  EXPECT_STREQ(reinterpret_cast<char*>(buffer), "\x51\x30");

  ASSERT_EQ(tma->Refresh(), 0);
  Device(1).requests.clear();
  EXPECT_EQ(tma->GetAlarmStatus(2, buffer, 0), 0x30);
  EXPECT_STREQ(reinterpret_cast<char*>(buffer), "\x30");
  EXPECT_EQ(tma->GetAlarmStatus(1, buffer, 0), 0);
  EXPECT_STREQ(reinterpret_cast<char*>(buffer), "");
  EXPECT_TRUE(Device(1).requests.empty());
  // Several subunits: the flag only.
  std::memset(buffer, 0x7F, sizeof buffer);
  EXPECT_EQ(tma->GetAlarmStatus(buffer), 1);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(tma->GetAlarmStatus(3, buffer, 0), 36);

  EXPECT_EQ(tma->ClearActiveAlarms(2), 0);
  EXPECT_TRUE(SimSub(1, 2).alarms.empty());
  EXPECT_EQ(tma->GetSubunit(2)->status, 0);
  EXPECT_EQ(tma->GetAlarmStatus(buffer), 0);
  ASSERT_GE(Device(1).requests.size(), 2u);
  EXPECT_EQ(Device(1).Count(0x77), 1);
  EXPECT_EQ(Device(1).Count(0x78), 1);
  for (const Seen& r : Device(1).requests) {
    if (r.code == 0x77 || r.code == 0x78) {
      EXPECT_EQ(r.subunit, 2);
    }
  }
}

TEST_F(TmaTest, Aisg1AlarmsAreTheDeviceWideOnes) {
  Site(std::string(kAisg1Tma) + "alarms = 0x10 0x11\n");
  auto tma = Refreshed(1);
  unsigned char buffer[256];
  EXPECT_EQ(tma->GetAlarmStatus(buffer), 1);
  EXPECT_STREQ(reinterpret_cast<char*>(buffer), "\x10\x11");
  Device(1).requests.clear();
  CaptureStdout();
  EXPECT_EQ(tma->ClearActiveAlarms(1), 0);
  const std::string trace = GetCapturedStdout();
  EXPECT_TRUE(Contains(trace, "TMADevice::ClearActiveAlarms(1)\n"));
  EXPECT_TRUE(Contains(trace, "TMADevice::GetAlarmStatus(1)\n"));
  EXPECT_EQ(Device(1).Count(0x06), 1);
  EXPECT_EQ(Device(1).Count(0x04), 1);
  EXPECT_EQ(tma->GetAlarmStatus(buffer), 0);
}

TEST_F(TmaTest, AlarmRepeatCountFollowsTheFirstCode) {
  Site(kDualTma);
  auto tma = Refreshed(1);
  ASSERT_EQ(tma->Refresh(), 0);
  unsigned char code = 0;
  unsigned int count = 0;
  EXPECT_EQ(tma->GetCurrentAlarmCount(2, code, count), 0x30u);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(tma->GetCurrentAlarmCount(1, code, count), 0u);
  SimSub(1, 2).alarms = {0x31};
  ASSERT_EQ(tma->Refresh(), 0);
  EXPECT_EQ(tma->GetCurrentAlarmCount(2, code, count), 0x31u);
  EXPECT_EQ(count, 1u);
  unsigned char buffer[256];
  EXPECT_EQ(tma->GetCurrentAlarm(2, buffer), 0x31u);
  EXPECT_EQ(tma->GetCurrentAlarmCount(5, code, count), 36u);
}

TEST_F(TmaTest, ChangeDetectionSeesGainModeAndBandsButNotAlarms) {
  Site(kDualTma);
  auto tma = Make(1);
  ASSERT_EQ(tma->Refresh(), 0);
  EXPECT_EQ(tma->IsDataChanged(1), 1);  // everything was new

  ASSERT_EQ(tma->Refresh(), 0);
  EXPECT_EQ(tma->IsDataChanged(1), 0);
  EXPECT_EQ(tma->IsDataChanged(2), 0);

  SimSub(1, 1).gain = 40;
  SimSub(1, 2).alarms.push_back(0x31);
  CaptureStdout();
  ASSERT_EQ(tma->Refresh(), 0);
  const std::string trace = GetCapturedStdout();
  EXPECT_TRUE(Contains(trace, "Addr 1 unit 1 data changed!\n"));
  EXPECT_FALSE(Contains(trace, "Addr 1 unit 2 data changed!\n"));
  EXPECT_EQ(tma->IsDataChanged(1), 1);
  EXPECT_EQ(tma->IsDataChanged(2), 0);

  SimSub(1, 2).mode = 1;
  ASSERT_EQ(tma->Refresh(), 0);
  EXPECT_EQ(tma->IsDataChanged(1), 0);
  EXPECT_EQ(tma->IsDataChanged(2), 1);
  EXPECT_EQ(tma->IsDataChanged(3), 0);
}

TEST_F(TmaTest, SummaryRecordOfAnAisg2Subunit) {
  Site(kDualTma);
  SimSub(1, 2).alarms = {0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36};
  auto tma = Make(1);
  SNMPTMAData r;
  EXPECT_EQ(tma->GetSNMPTMAData(1, r), 81);
  EXPECT_STREQ(r.mode, "");
  EXPECT_STREQ(r.curgain, "");
  ASSERT_EQ(tma->Refresh(), 0);

  std::memset(&r, 0x7F, sizeof r);
  EXPECT_EQ(tma->GetSNMPTMAData(1, r), 0);
  EXPECT_STREQ(r.address, "1");
  EXPECT_STREQ(r.antnumber, "1");
  EXPECT_STREQ(r.devtype, "02");
  EXPECT_STREQ(r.aisgver, "2");
  EXPECT_STREQ(r.version3gpp, "");  // release 6 is not kept
  EXPECT_STREQ(r.uniqueid, "CCTD24090011");
  EXPECT_STREQ(r.vendorid, "CC");
  EXPECT_STREQ(r.productnumber, "TMA-DD-1821");
  EXPECT_STREQ(r.sn, "TD24090011");
  EXPECT_STREQ(r.hwver, "R2");
  EXPECT_STREQ(r.swver, "3.2.0");
  EXPECT_STREQ(r.antmodel, "TMA-DD-1821");
  EXPECT_STREQ(r.antsn, "TD24090011-1");
  EXPECT_STREQ(r.antband, "0008");
  EXPECT_STREQ(r.antbeam, "0000000000000000");
  EXPECT_STREQ(r.antgain, "00000000");
  EXPECT_STREQ(r.insdate, "260114");
  EXPECT_STREQ(r.insid, "JM042");
  EXPECT_STREQ(r.baseid, "ENB-4711-NORTH");
  EXPECT_STREQ(r.sectorid, "SEC-A2");
  EXPECT_STREQ(r.bearing, "300");
  EXPECT_STREQ(r.mechtilt, "0");
  EXPECT_STREQ(r.tmatype, "3");
  EXPECT_STREQ(r.rxband, "cc42ba45");  // 1710.0 and 1785.0 MHz, low byte first
  EXPECT_STREQ(r.txband, "82467049");
  EXPECT_STREQ(r.maxgain, "48");
  EXPECT_STREQ(r.mingain, "16");
  EXPECT_STREQ(r.resolution, "2");
  EXPECT_STREQ(r.nlgain, "");
  EXPECT_STREQ(r.status, "0");
  EXPECT_STREQ(r.alarm, "");
  EXPECT_STREQ(r.function, "01");
  EXPECT_STREQ(r.mode, "0");
  EXPECT_STREQ(r.curgain, "48");
  // Nothing past the last field's terminator was left unwritten.
  EXPECT_EQ(r.curgain[sizeof r.curgain - 1], 0);

  EXPECT_EQ(tma->GetSNMPTMAData(2, r), 0);
  EXPECT_STREQ(r.antnumber, "2");
  EXPECT_STREQ(r.status, "1");
  EXPECT_STREQ(r.alarm, "3031323334");  // the first five codes
  EXPECT_STREQ(r.curgain, "40");
  EXPECT_EQ(tma->GetSNMPTMAData(3, r), 36);
}

TEST_F(TmaTest, SummaryShowsNonLinearGainsAsHex) {
  Site(kDualTma);
  ald::sim::AldSubunit& s = SimSub(1, 1);
  s.minGain = 0;
  s.maxGain = 48;
  s.gainStep = 0;
  s.nonLinearGains.assign(80, 0xAB);
  auto tma = Refreshed(1);
  SNMPTMAData r;
  ASSERT_EQ(tma->GetSNMPTMAData(1, r), 0);
  EXPECT_EQ(std::strlen(r.nlgain), 138u);
  EXPECT_EQ(std::string(r.nlgain, 4), "abab");
  EXPECT_STREQ(r.resolution, "0");
}

TEST_F(TmaTest, AddressInfoListsTheRegisteredTmasOnly) {
  Site(std::string(kDualTma) + kAisg1Tma);
  char out[256];
  std::memset(out, 0x7F, sizeof out);
  TMADevice::GetTMAAddressInfo(out);
  EXPECT_STREQ(out, "");

  ASSERT_EQ(Registry::AddDevice(Make(1).release()), 0);
  ASSERT_EQ(Registry::AddDevice(new AISGDevice(1, 2, 9, "KA123", 5)), 0);
  ASSERT_EQ(Registry::AddDevice(Make(2).release()), 0);
  TMADevice::GetTMAAddressInfo(out);
  EXPECT_STREQ(out, "(1,2),(2,1)");
}

}  // namespace
}  // namespace tma
