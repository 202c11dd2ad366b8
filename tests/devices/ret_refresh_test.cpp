// RET refresh: the communication state decided from the failed exchanges
// (limits of 5 for AISG 1.1 and 10 per antenna + 2 for AISG 2.0), the
// pseudo-alarms that go with each state, the alarm counts and the change
// detection that the device table relies on.
#include <string>

#include "tests/devices/ret_fixture.h"

namespace rettest {
namespace {

constexpr int kNew = AISGDevice::kStateNew;
constexpr int kBad = AISGDevice::kStateBadResponding;
constexpr int kGone = AISGDevice::kStateNotResponding;
constexpr int kOk = AISGDevice::kStateOk;

TEST_F(RetSim, NewRetBecomesOkAndLearnsEverything) {
  Site(kRet2);
  auto ret = Make(1);
  ASSERT_EQ(ret->GetState(), kNew);
  EXPECT_EQ(Alarms(ret->Unit(1)), "\x51");
  EXPECT_EQ(ret->Unit(1).curtilt, RETDevice::kNoTilt);

  Trace trace;
  EXPECT_EQ(ret->Refresh(), 0);
  const std::string out = trace.Take();
  EXPECT_EQ(ret->GetState(), kOk);
  const RETSubunit& s = ret->Unit(1);
  EXPECT_EQ(Alarms(s), "");
  EXPECT_EQ(s.status, 0);
  EXPECT_EQ(s.curtilt, 30);
  EXPECT_EQ(std::string(s.antmodel), "AM-2000");
  EXPECT_EQ(std::string(s.sectorid), "SECTOR-A");
  EXPECT_EQ(s.bearing, 1200);
  EXPECT_EQ(s.mechtilt, 20);
  EXPECT_EQ(s.antmaxtilt, 100);
  EXPECT_EQ(std::string(ret->GetSerialNumber()), "2RET0001");
  EXPECT_EQ(ret->Get3GPPVersion(), 9);
  EXPECT_NE(out.find("Time to refresh a device: "), std::string::npos);
  EXPECT_EQ(Count(out, "RESPONDING"), 0);

  // A 3GPP release outside 7 to 12 is not kept.
  Ald(1).release3gpp = 6;
  EXPECT_EQ(ret->Refresh(), 0);
  EXPECT_EQ(ret->Get3GPPVersion(), 0);
}

TEST_F(RetSim, NoLinkKeepsANewRetNewAndMarksAKnownOneNotResponding) {
  Site(kRet2);
  auto ret = Make(1);
  Ald(1).faults.silent = true;
  Trace trace;
  EXPECT_EQ(ret->Refresh(), 81);
  EXPECT_NE(trace.Take().find("Open connection failed!\n"), std::string::npos);
  EXPECT_EQ(ret->GetState(), kNew);
  EXPECT_EQ(Alarms(ret->Unit(1)), "\x51");

  Ald(1).faults.silent = false;
  ASSERT_EQ(ret->Refresh(), 0);
  ASSERT_EQ(ret->GetState(), kOk);
  Ald(1).subunits[0].alarms = {0x10};
  ASSERT_EQ(ret->Refresh(), 0);
  ASSERT_EQ(Alarms(ret->Unit(1)), "\x10");

  Ald(1).faults.silent = true;
  EXPECT_EQ(ret->Refresh(), 83);
  EXPECT_EQ(ret->GetState(), kGone);
  // The device's own codes are no longer known.
  EXPECT_EQ(Alarms(ret->Unit(1)), "\x53");
  EXPECT_EQ(ret->Unit(1).status, 1);
  EXPECT_EQ(ret->Unit(1).curtilt, RETDevice::kNoTilt);

  // Back again: the marker goes, the device's alarm returns.
  Ald(1).faults.silent = false;
  EXPECT_EQ(ret->Refresh(), 0);
  EXPECT_EQ(ret->GetState(), kOk);
  EXPECT_EQ(Alarms(ret->Unit(1)), "\x10");
}

TEST_F(RetSim, Aisg1LimitIsFiveLostExchanges) {
  Site(kRet1);
  auto ret = Make(1);
  ASSERT_EQ(ret->Refresh(), 0);
  ASSERT_EQ(ret->GetState(), kOk);

  // Three device data requests, the tilt and the alarms: 5, still answering.
  Ald(1).Bad({0x0F, 0x34, 0x04});
  Trace trace;
  EXPECT_EQ(ret->Refresh(), 0);
  EXPECT_NE(trace.Take().find("---------BAD RESPONDING---------,error no:5\n"), std::string::npos);
  EXPECT_EQ(ret->GetState(), kBad);
  EXPECT_EQ(Alarms(ret->Unit(1)), "\x52");

  // And the identity too: 6 is beyond the limit.
  Ald(1).Bad({0x0F, 0x34, 0x04, 0x05});
  Trace trace2;
  EXPECT_EQ(ret->Refresh(), 0);
  EXPECT_NE(trace2.Take().find("------------NO RESPONDING----------------\n"), std::string::npos);
  EXPECT_EQ(ret->GetState(), kGone);
  EXPECT_EQ(Alarms(ret->Unit(1)), "\x53");

  // One lost exchange is tolerated.
  Ald(1).Bad({0x04});
  EXPECT_EQ(ret->Refresh(), 0);
  EXPECT_EQ(ret->GetState(), kOk);
  EXPECT_EQ(Alarms(ret->Unit(1)), "");
  EXPECT_EQ(ret->Unit(1).status, 0);
}

TEST_F(RetSim, Aisg2LimitGrowsWithTheAntennas) {
  // One antenna: 13 lost device data requests exceed 10 + 2.
  Site(kRet2);
  auto single = Make(1);
  ASSERT_EQ(single->Refresh(), 0);
  Ald(1).Bad({0x0F});
  EXPECT_EQ(single->Refresh(), 0);
  EXPECT_EQ(single->GetState(), kGone);

  // Three antennas: the limit is 32.
  Site(kRet3);
  auto ret = Make(1);
  ASSERT_EQ(ret->GetNumberOfSubunits(), 3);
  ASSERT_EQ(ret->Refresh(), 0);
  ASSERT_EQ(ret->GetState(), kOk);
  // 2 x 13 device data requests, 3 tilts, 3 alarm reads: 32.
  Ald(1).badAnswers = {{0x84, {1, 2}}, {0x82, {}}, {0x87, {}}};
  Trace trace;
  EXPECT_EQ(ret->Refresh(), 0);
  EXPECT_NE(trace.Take().find(",error no:32\n"), std::string::npos);
  EXPECT_EQ(ret->GetState(), kBad);
  for (int n = 1; n <= 3; ++n) EXPECT_EQ(Alarms(ret->Unit(n)), "\x52") << n;

  // The identity as well: 33.
  Ald(1).badAnswers[0x05];
  EXPECT_EQ(ret->Refresh(), 0);
  EXPECT_EQ(ret->GetState(), kGone);
  for (int n = 1; n <= 3; ++n) EXPECT_EQ(Alarms(ret->Unit(n)), "\x53") << n;

  // A new device beyond the limit stays new.
  auto fresh = Make(1);
  ASSERT_EQ(fresh->GetNumberOfSubunits(), 3);
  Trace trace2;
  EXPECT_EQ(fresh->Refresh(), 0);
  EXPECT_NE(trace2.Take().find("------------NO RESPONDING----------------\n"), std::string::npos);
  EXPECT_EQ(fresh->GetState(), kNew);
  for (int n = 1; n <= 3; ++n) EXPECT_EQ(Alarms(fresh->Unit(n)), "\x51") << n;
}

TEST_F(RetSim, NewRetWithSomeLostExchangesGoesToBadResponding) {
  Site(kRet2);
  auto ret = Make(1);
  // A new device's failed identity read counts twice; with the tilt: 3.
  Ald(1).Bad({0x05, 0x34});
  EXPECT_EQ(ret->Refresh(), 0);
  EXPECT_EQ(ret->GetState(), kBad);
  EXPECT_EQ(Alarms(ret->Unit(1)), "\x52");
  // The cached reads stay off the bus only in state 5.
  const int before = Ald(1).messages;
  unsigned char buffer[64];
  EXPECT_EQ(ret->GetAlarmStatus(1, buffer, 0), 0x52);
  EXPECT_GT(Ald(1).messages, before);
  Ald(1).Bad({});
  EXPECT_EQ(ret->Refresh(), 0);
  EXPECT_EQ(ret->GetState(), kOk);
  EXPECT_EQ(Alarms(ret->Unit(1)), "");
}

TEST_F(RetSim, DeviceThatFallsSilentHalfwayThroughARefresh) {
  Site(kRet2);
  auto ret = Make(1);
  ASSERT_EQ(ret->Refresh(), 0);
  ASSERT_EQ(ret->GetState(), kOk);
  // Identity, tilt and alarms still come; every device data request is lost.
  Ald(1).silentAfter = Ald(1).messages + 3;
  Trace trace;
  EXPECT_EQ(ret->Refresh(), 0);
  const std::string out = trace.Take();
  EXPECT_EQ(Count(out, "GetDeviceData failed, return code: 59\n"), 13);
  EXPECT_EQ(ret->GetState(), kGone);
  EXPECT_EQ(Alarms(ret->Unit(1)), "\x53");
  // What was read before the silence is kept.
  EXPECT_EQ(std::string(ret->Unit(1).antmodel), "AM-2000");
}

TEST_F(RetSim, LostAddressDuringTheIdentityReadEndsTheRefresh) {
  Site(kRet2);
  auto ret = Make(1);
  ASSERT_EQ(ret->Refresh(), 0);
  // Another device answers the identity read at this address, and after
  // the address reset nothing answers any more.
  Ald(1).serialNumber = "OTHER01";
  Ald(1).silentAfter = Ald(1).messages + 1;
  Trace trace;
  EXPECT_EQ(ret->Refresh(), 83);
  const std::string out = trace.Take();
  EXPECT_NE(out.find("Address change found! Reset address!\n"), std::string::npos);
  EXPECT_EQ(out.find("Time to refresh a device"), std::string::npos);
  EXPECT_EQ(ret->GetState(), kGone);
  EXPECT_EQ(ret->HasAlarm(0x53, 1), 1);
  EXPECT_EQ(std::string(ret->GetSerialNumber()), "2RET0001");
}

TEST_F(RetSim, AlarmCountsFollowTheFirstCode) {
  Site(kRet2);
  auto ret = Make(1);
  unsigned char code = 0xEE;
  unsigned int count = 99;
  ASSERT_EQ(ret->Refresh(), 0);
  EXPECT_EQ(ret->GetCurrentAlarmCount(1, code, count), 0u);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(count, 1u);  // the new marker was the first code before

  Ald(1).subunits[0].alarms = {0x10, 0x11};
  Trace trace;
  ASSERT_EQ(ret->Refresh(), 0);
  EXPECT_NE(trace.Take().find("Device with address 1 has alarm:[10]\n"), std::string::npos);
  EXPECT_EQ(Alarms(ret->Unit(1)), "\x10\x11");
  EXPECT_EQ(ret->GetCurrentAlarmCount(1, code, count), 0x10u);
  EXPECT_EQ(count, 1u);
  ASSERT_EQ(ret->Refresh(), 0);
  ASSERT_EQ(ret->Refresh(), 0);
  EXPECT_EQ(ret->GetCurrentAlarmCount(1, code, count), 0x10u);
  EXPECT_EQ(count, 3u);

  Ald(1).subunits[0].alarms.clear();
  ASSERT_EQ(ret->Refresh(), 0);
  EXPECT_EQ(ret->Unit(1).status, 0);
  EXPECT_EQ(ret->GetCurrentAlarmCount(1, code, count), 0u);
  EXPECT_EQ(count, 1u);
  ASSERT_EQ(ret->Refresh(), 0);
  EXPECT_EQ(ret->GetCurrentAlarmCount(1, code, count), 0u);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(ret->GetCurrentAlarmCount(2, code, count), 36u);
}

TEST_F(RetSim, DataChangedFlagsSummaryChangesButNotAlarms) {
  Site(kRet3);
  auto ret = Make(1);
  EXPECT_EQ(ret->IsDataChanged(1), 0);  // new: never reported
  ASSERT_EQ(ret->Refresh(), 0);
  ASSERT_EQ(ret->Refresh(), 0);
  for (int n = 1; n <= 3; ++n) EXPECT_EQ(ret->IsDataChanged(n), 0) << n;

  Ald(1).subunits[0].alarms = {0x10};
  ASSERT_EQ(ret->Refresh(), 0);
  EXPECT_EQ(ret->IsDataChanged(1), 0);

  Ald(1).subunits[1].tilt = 55;
  Ald(1).subunits[2].SetField(0x24, ald::sim::TextValue("NEW", 32));
  Trace trace;
  ASSERT_EQ(ret->Refresh(), 0);
  const std::string out = trace.Take();
  EXPECT_NE(out.find("Addr 1 unit 2 data changed!\n"), std::string::npos);
  EXPECT_NE(out.find("Addr 1 unit 3 data changed!\n"), std::string::npos);
  Trace trace2;
  EXPECT_EQ(ret->IsDataChanged(1), 0);
  EXPECT_EQ(ret->IsDataChanged(2), 1);
  EXPECT_EQ(ret->IsDataChanged(3), 1);
  EXPECT_EQ(ret->IsDataChanged(4), 0);
  EXPECT_EQ(trace2.Take(),
            "RETDevice::IsDataChanged(1): 0\nRETDevice::IsDataChanged(2): 1\n"
            "RETDevice::IsDataChanged(3): 1\nRETDevice::IsDataChanged(4): 0\n");
  // The flags last until the next refresh.
  ASSERT_EQ(ret->Refresh(), 0);
  EXPECT_EQ(ret->IsDataChanged(2), 0);
}

TEST_F(RetSim, MultiAntennaRetIsCountedAtCreationOrAtItsFirstRefresh) {
  Site(R"(
[device]
generation = 2
type = 17
vendor = KA
serial = 20ANT
subunits = 20
)");
  auto big = Make(1);
  ASSERT_EQ(big->GetNumberOfSubunits(), 16);
  for (int n = 1; n <= 16; ++n) {
    EXPECT_EQ(big->Unit(n).antnumber, n);
    EXPECT_EQ(Alarms(big->Unit(n)), "\x51") << n;
  }

  // Not answering when created: one antenna until the first refresh.
  Site(kRet3);
  Ald(1).faults.silent = true;
  auto late = Make(1);
  ASSERT_EQ(late->GetNumberOfSubunits(), 1);
  Ald(1).faults.silent = false;
  EXPECT_EQ(late->Refresh(), 0);
  ASSERT_EQ(late->GetNumberOfSubunits(), 3);
  EXPECT_EQ(late->GetState(), kOk);
  for (int n = 1; n <= 3; ++n) {
    EXPECT_EQ(late->Unit(n).antnumber, n);
    EXPECT_EQ(late->Unit(n).curtilt, 10 * n);
    EXPECT_EQ(std::string(late->Unit(n).antmodel), "AM-300" + std::to_string(n));
    EXPECT_EQ(Alarms(late->Unit(n)), "");
    // New antennas are news for the table.
    EXPECT_EQ(late->IsDataChanged(n), 1) << n;
  }
}

}  // namespace
}  // namespace rettest
