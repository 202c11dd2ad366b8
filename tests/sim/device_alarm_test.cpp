// Alarms as a field device keeps them: indicated on the next poll after a
// subscription, forgotten by a restart except for conditions that still hold.
#include <gtest/gtest.h>

#include "tests/sim/bus_test_util.h"
#include "tests/sim/device_test_util.h"

namespace ald::sim::testing {
namespace {

constexpr int64_t kJamUs = 2'000'000;  // how long a jammed actuator strains

TEST(Alarms, SubscribedRetIndicatesAJamOnTheNextPoll) {
  auto d = MakeRet(2);
  d->subunits[0].jammed = true;
  EXPECT_EQ(Send(*d, Req2(0x12)), (Bytes{0x12, 1, 0, 0x00}));
  EXPECT_TRUE(Send(*d, Req2(0x33, {60, 0})).empty());
  // The answer first, then the indication: code and state 1 (raised), no
  // return code, since it answers nothing.
  EXPECT_EQ(Body(Poll(*d, kJamUs)), (Bytes{0x0B, g2::kMotorJam}));
  EXPECT_EQ(Poll(*d, kJamUs + 1), (Bytes{0x07, 2, 0, g2::kMotorJam, 0x01}));
  EXPECT_TRUE(Poll(*d, kJamUs + 2).empty()) << "indicated once";
  // An alarm already active is not new.
  EXPECT_TRUE(Send(*d, Req2(0x33, {60, 0}), 3 * kJamUs).empty());
  EXPECT_EQ(Body(Poll(*d, 4 * kJamUs)), (Bytes{0x0B, g2::kMotorJam}));
  EXPECT_TRUE(Poll(*d, 4 * kJamUs + 1).empty());
}

TEST(Alarms, AnIndicationNeverStandsInForAnAnswer) {
  auto d = MakeRet(2);
  d->subunits[0].jammed = true;
  Send(*d, Req2(0x12));
  Send(*d, Req2(0x33, {60, 0}));
  EXPECT_EQ(Body(Poll(*d, kJamUs)), (Bytes{0x0B, g2::kMotorJam}));
  EXPECT_EQ(d->QueuedIndications(), 1);
  // A request that answers at once gets its answer; one that takes time
  // gets nothing yet, and the indication goes out on a poll meanwhile.
  EXPECT_EQ(Send(*d, Req2(0x34), kJamUs), (Bytes{0x34, 3, 0, 0x00, 20, 0}));
  EXPECT_TRUE(Send(*d, Req2(0x33, {60, 0}), kJamUs).empty());
  EXPECT_EQ(Poll(*d, kJamUs + 1), (Bytes{0x07, 2, 0, g2::kMotorJam, 0x01}));
  EXPECT_EQ(Body(Poll(*d, 2 * kJamUs)), (Bytes{0x0B, g2::kMotorJam}));
}

TEST(Alarms, WithoutSubscriptionNothingIsIndicated) {
  auto d = MakeRet(2);
  d->subunits[0].jammed = true;
  EXPECT_TRUE(Send(*d, Req2(0x33, {60, 0})).empty());
  EXPECT_EQ(Body(Poll(*d, kJamUs)), (Bytes{0x0B, g2::kMotorJam}));
  EXPECT_TRUE(Poll(*d, kJamUs + 1).empty());
  EXPECT_EQ(d->subunits[0].alarms, Bytes{g2::kMotorJam}) << "raised all the same";
  EXPECT_EQ(d->QueuedIndications(), 0);
  // AISG 1.x devices have no subscription to make.
  auto old = MakeRet(1);
  EXPECT_EQ(Body(Send(*old, Req1(0x12)), 1), (Bytes{0x0B, g1::kUnknownProcedure}));
}

TEST(Alarms, MultiAntennaRetNamesTheAntennaAndIndicatesTheClearedState) {
  auto d = MakeRet(2, 17, 2);
  d->subunits[1].calibrated = false;
  d->subunits[1].alarms = {g2::kNotCalibrated};
  d->subunits[0].jammed = true;
  d->calibrationUs = 1'000'000;
  Send(*d, Req2(0x12));
  EXPECT_TRUE(Send(*d, Req2(0x80, {}, 2)).empty());
  EXPECT_EQ(Body(Poll(*d, 1'000'000)), (Bytes{2, 0x00}));
  EXPECT_EQ(Poll(*d, 1'000'001), (Bytes{0x85, 3, 0, 2, g2::kNotCalibrated, 0x00}));
  EXPECT_TRUE(Send(*d, Req2(0x81, {60, 0}, 1), 2'000'000).empty());
  EXPECT_EQ(Body(Poll(*d, 2'000'000 + kJamUs)), (Bytes{1, 0x0B, g2::kMotorJam}));
  EXPECT_EQ(Poll(*d, 2'000'001 + kJamUs), (Bytes{0x85, 3, 0, 1, g2::kMotorJam, 0x01}));
}

TEST(Alarms, ResetEndsTheSubscriptionAndClearsAllButStandingConditions) {
  auto d = MakeRet(2, 17, 2);
  d->subunits[0].alarms = {g2::kMotorJam, 0x30};  // a past jam, since freed
  d->subunits[1].calibrated = false;
  d->subunits[1].alarms = {g2::kNotCalibrated, 0x30};
  Send(*d, Req2(0x12));
  EXPECT_EQ(Send(*d, Req2(0x03)), (Bytes{0x03, 1, 0, 0x00}));
  EXPECT_TRUE(d->restartPending);
  EXPECT_TRUE(d->subunits[0].alarms.empty());
  EXPECT_EQ(d->subunits[1].alarms, Bytes{g2::kNotCalibrated});
  EXPECT_FALSE(d->alarmSubscribed);
  const int64_t back = d->restartUntilUs;
  EXPECT_EQ(Body(Send(*d, Req2(0x04), back)), (Bytes{0x00, g2::kNotCalibrated}));
  // Still not calibrated: tilts are refused as before the reset.
  EXPECT_EQ(Body(Send(*d, Req2(0x81, {20, 0}, 2), back)), (Bytes{2, 0x0B, g2::kNotCalibrated}));
  // A jam raised now is not indicated: the subscription died with the reset.
  d->subunits[0].jammed = true;
  EXPECT_TRUE(Send(*d, Req2(0x81, {60, 0}, 1), back).empty());
  EXPECT_EQ(Body(Poll(*d, back + kJamUs)), (Bytes{1, 0x0B, g2::kMotorJam}));
  EXPECT_TRUE(Poll(*d, back + kJamUs + 1).empty());

  // AISG 1.x: the same, with that generation's numbers.
  auto old = MakeRet(1);
  old->subunits[0].calibrated = false;
  old->subunits[0].alarms = {0x30};
  Send(*old, Req1(0x03));
  EXPECT_EQ(old->subunits[0].alarms, Bytes{g1::kNotCalibrated});
}

TEST(Alarms, ClearingLeavesConditionsThatStillHold) {
  auto d = MakeRet(2);
  d->subunits[0].calibrated = false;
  d->subunits[0].alarms = {g2::kNotCalibrated, 0x30};
  EXPECT_EQ(Send(*d, Req2(0x06)), (Bytes{0x06, 1, 0, 0x00}));
  EXPECT_EQ(Body(Send(*d, Req2(0x04))), (Bytes{0x00, g2::kNotCalibrated}));
  EXPECT_EQ(Body(Send(*d, Req2(0x33, {20, 0}))), (Bytes{0x0B, g2::kNotCalibrated}));
  // Per antenna the same.
  auto m = MakeRet(2, 17, 2);
  m->subunits[1].calibrated = false;
  m->subunits[1].alarms = {0x30};
  EXPECT_EQ(Body(Send(*m, Req2(0x86, {}, 2))), (Bytes{2, 0x00}));
  EXPECT_EQ(Body(Send(*m, Req2(0x87, {}, 2))), (Bytes{2, 0x00, g2::kNotCalibrated}));
  // A TMA has no such conditions.
  auto t = MakeTma(2);
  t->subunits[0].alarms = {0x30};
  EXPECT_EQ(Body(Send(*t, Req2(0x77, {}, 1))), (Bytes{1, 0x00}));
  EXPECT_TRUE(t->subunits[0].alarms.empty());
}

// The same over the line: I-frames in, I-frames out.
uint8_t Info(int ns, int nr) {
  return static_cast<uint8_t>(nr << 5 | 0x10 | ns << 1);
}
uint8_t Rr(int nr) {
  return static_cast<uint8_t>(nr << 5 | 0x11);
}

TEST(Alarms, OverTheLineTheSubscriptionEndsWithTheLink) {
  DeviceList list;
  auto ret = MakeRet(2);
  ret->subunits[0].jammed = true;
  const std::string uid = ret->uniqueId;
  list.push_back(std::move(ret));
  BusDriver d(std::move(list));
  ASSERT_TRUE(d.Assign(1, uid).good);
  ASSERT_EQ(d.Send(1, 0x93).control, 0x73);
  Answer a = d.Send(1, Info(0, 0), Req2(0x12));
  EXPECT_EQ(a.info, (Bytes{0x12, 1, 0, 0x00}));
  a = d.Send(1, Info(1, 1), Req2(0x33, {60, 0}));
  EXPECT_EQ(a.control, Rr(2)) << "moving";
  d.nowUs += kJamUs;
  a = d.Send(1, Rr(1));
  EXPECT_EQ(a.info, (Bytes{0x33, 2, 0, 0x0B, g2::kMotorJam}));
  a = d.Send(1, Rr(2));
  EXPECT_EQ(a.control, Info(2, 2));
  EXPECT_EQ(a.info, (Bytes{0x07, 2, 0, g2::kMotorJam, 0x01}));
  EXPECT_EQ(d.Send(1, Rr(3)).control, Rr(2));

  // A new link without a subscription: the alarm, cleared and raised again
  // by the jam, is not indicated.
  EXPECT_EQ(d.Send(1, 0x53).control, 0x73);
  ASSERT_TRUE(d.Assign(1, uid).good);
  ASSERT_EQ(d.Send(1, 0x93).control, 0x73);
  EXPECT_EQ(d.Send(1, Info(0, 0), Req2(0x06)).info, (Bytes{0x06, 1, 0, 0x00}));
  d.Send(1, Info(1, 1), Req2(0x33, {60, 0}));
  d.nowUs += kJamUs;
  EXPECT_EQ(d.Send(1, Rr(1)).info, (Bytes{0x33, 2, 0, 0x0B, g2::kMotorJam}));
  EXPECT_EQ(d.Send(1, Rr(2)).control, Rr(2));
}

}  // namespace
}  // namespace ald::sim::testing
