// RET alarms: the list rules (markers in front, device codes behind), the
// alarm reads with and without a link, clearing, and what a refresh keeps
// of a list when the device reports no alarm.
#include <string>

#include "tests/devices/ret_fixture.h"

namespace rettest {
namespace {

TEST_F(RetSim, MarkersGoInFrontDeviceCodesBehindAndNothingTwice) {
  Site(kRet3);
  auto ret = Make(1);
  ret->RemoveAlarm(0x51, 0);
  for (int n = 1; n <= 3; ++n) ASSERT_EQ(ret->Unit(n).status, 0);

  ret->AddAlarm(0x10, 1);
  ret->AddAlarm(0x52, 0);
  EXPECT_EQ(Alarms(ret->Unit(1)), "\x52\x10");
  EXPECT_EQ(Alarms(ret->Unit(2)), "\x52");
  ret->AddAlarm(0x11, 1);
  EXPECT_EQ(Alarms(ret->Unit(1)), "\x52\x10\x11");
  ret->AddAlarm(0x53, 1);
  EXPECT_EQ(Alarms(ret->Unit(1)), "\x53\x52\x10\x11");

  // A code already there changes nothing but the status.
  ret->Unit(1).status = 0;
  ret->AddAlarm(0x10, 1);
  EXPECT_EQ(Alarms(ret->Unit(1)), "\x53\x52\x10\x11");
  EXPECT_EQ(ret->Unit(1).status, 1);

  EXPECT_EQ(ret->HasAlarm(0x11, 0), 1);
  EXPECT_EQ(ret->HasAlarm(0x11, 2), 0);
  EXPECT_EQ(ret->HasAlarm(0x20, 0), 0);

  ret->RemoveAlarm(0x10, 1);
  EXPECT_EQ(Alarms(ret->Unit(1)), "\x53\x52\x11");
  ret->RemoveAlarm(0x52, 0);
  EXPECT_EQ(Alarms(ret->Unit(2)), "");
  EXPECT_EQ(ret->Unit(2).status, 0);
  EXPECT_EQ(ret->Unit(1).status, 1);
  // Out-of-range subunits are ignored.
  ret->AddAlarm(0x10, 4);
  EXPECT_EQ(ret->HasAlarm(0x10, 4), 0);
}

TEST_F(RetSim, RefreshWithoutDeviceAlarmsKeepsOnlyALeadingMarker) {
  Site(kRet3);
  auto ret = Make(1);
  // Lists [marker, 0x10], [0x10] and [marker]; the device reports no alarm
  // and its device data is lost, so the new device stays new.
  ret->AddAlarm(0x10, 1);
  ret->RemoveAlarm(0x51, 2);
  ret->AddAlarm(0x10, 2);
  Ald(1).Bad({0x84});
  EXPECT_EQ(ret->Refresh(), 0);
  ASSERT_EQ(ret->GetState(), AISGDevice::kStateNew);
  EXPECT_EQ(Alarms(ret->Unit(1)), "\x51");
  EXPECT_EQ(ret->Unit(1).status, 1);
  EXPECT_EQ(Alarms(ret->Unit(2)), "");
  EXPECT_EQ(ret->Unit(2).status, 0);
  EXPECT_EQ(Alarms(ret->Unit(3)), "\x51");

  // A status without codes is corrected.
  ret->Unit(2).status = 1;
  Trace trace;
  EXPECT_EQ(ret->Refresh(), 0);
  EXPECT_NE(trace.Take().find("ERROR: No alarm cause!\n"), std::string::npos);
  EXPECT_EQ(ret->Unit(2).status, 0);
}

TEST_F(RetSim, AlarmReadsFollowTheDeviceAndTheLink) {
  Site(kRet3);
  auto ret = Make(1);
  Ald(1).subunits[1].alarms = {0x20, 0x21};
  unsigned char buffer[64] = {0xAA};
  // New device: the marker stays in front of what the device reports.
  EXPECT_EQ(ret->GetAlarmStatus(2, buffer, 0), 0x51);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer)), "\x51\x20\x21");
  EXPECT_EQ(ret->GetAlarmStatus(1, buffer, 1), 0x51);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer)), "\x51");
  EXPECT_EQ(ret->GetAlarmStatus(4, buffer, 1), 36);

  ASSERT_EQ(ret->Refresh(), 0);
  EXPECT_EQ(ret->GetAlarmStatus(2, buffer, 0), 0x20);
  EXPECT_EQ(ret->GetCurrentAlarm(2, buffer), 0x20u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer)), "\x20\x21");
  EXPECT_EQ(ret->GetCurrentAlarm(1, buffer), 0u);
  EXPECT_EQ(ret->GetAlarmStatus(buffer), 1);

  // Cleared on the device: gone from the list at once.
  Trace trace;
  EXPECT_EQ(ret->ClearActiveAlarms(2), 0);
  EXPECT_NE(trace.Take().find("RETDevice::ClearActiveAlarms(2)\n"), std::string::npos);
  EXPECT_TRUE(Ald(1).subunits[1].alarms.empty());
  EXPECT_EQ(ret->Unit(2).status, 0);
  EXPECT_EQ(ret->GetAlarmStatus(buffer), 0);
  EXPECT_EQ(ret->ClearActiveAlarms(0), 36);

  // No link: a known device is marked not answering everywhere.
  Ald(1).faults.silent = true;
  EXPECT_EQ(ret->GetAlarmStatus(3, buffer, 1), 0x53);
  EXPECT_EQ(ret->GetState(), AISGDevice::kStateNotResponding);
  for (int n = 1; n <= 3; ++n) {
    EXPECT_EQ(Alarms(ret->Unit(n)), "\x53") << n;
    EXPECT_EQ(ret->Unit(n).curtilt, RETDevice::kNoTilt) << n;
  }
  EXPECT_EQ(ret->ClearActiveAlarms(1), 89);

  // ... and a new one stays new.
  auto fresh = Make(1);
  EXPECT_EQ(fresh->GetAlarmStatus(1, buffer, 1), 0x51);
  EXPECT_EQ(fresh->GetState(), AISGDevice::kStateNew);
}

TEST_F(RetSim, SingleRetAlarmsAndTheDeviceWideClear) {
  Site(std::string(kRet1) + "alarms = 0x30\n");
  auto ret = Make(1);
  ASSERT_EQ(ret->Refresh(), 0);
  unsigned char buffer[64];
  EXPECT_EQ(ret->GetAlarmStatus(buffer), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer)), "\x30");
  // A device that answers with errors carries the marker after a read.
  ret->SetState(AISGDevice::kStateBadResponding);
  EXPECT_EQ(ret->GetAlarmStatus(1, buffer, 1), 0x52);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer)), "\x52\x30");
  ret->SetState(AISGDevice::kStateOk);

  Trace trace;
  EXPECT_EQ(ret->ClearActiveAlarms(), 0);
  const std::string out = trace.Take();
  EXPECT_NE(out.find("RETDevice::ClearActiveAlarms()\nAISGDevice::ClearActiveAlarms()\n"),
            std::string::npos);
  EXPECT_TRUE(Ald(1).subunits[0].alarms.empty());

  // A device FAIL keeps the cached list and reports the reason in the
  // error codes of the object.
  Ald(1).subunits[0].alarms = {0x31};
  Ald(1).faults.failReasons = {ald::rc::aisg2::kBusy};
  EXPECT_EQ(ret->GetAlarmStatus(1, buffer, 1), 0x52);
  EXPECT_EQ(std::string(ret->GetErrorCodes()), "\x05");
}

}  // namespace
}  // namespace rettest
