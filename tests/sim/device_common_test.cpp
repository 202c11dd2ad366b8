// Device-wide procedures of the simulated devices, both generations.
#include <gtest/gtest.h>

#include "tests/sim/device_test_util.h"

namespace ald::sim::testing {
namespace {

TEST(DeviceCommon, DeviceTypeOnlyInAisg1) {
  auto d1 = MakeRet(1);
  EXPECT_EQ(Send(*d1, Req1(0x02)), (Bytes{1, 0x02, 4, 0, 0x00, 'K', 'A', 0x01}));
  auto t1 = MakeTma(1);
  EXPECT_EQ(Body(Send(*t1, Req1(0x02)), 1), (Bytes{0x00, 'C', 'C', 0x02}));
  auto d2 = MakeRet(2);
  EXPECT_EQ(Send(*d2, Req2(0x02)), (Bytes{0x02, 2, 0, 0x0B, g2::kUnknownProcedure}));
}

TEST(DeviceCommon, EveryRefusalIsANamedCodeOfTheDevicesGeneration) {
  for (int generation : {1, 2}) {
    for (int why = 0; why <= static_cast<int>(Refusal::kProcedureSequence); ++why) {
      const uint8_t c = ReasonCode(generation, static_cast<Refusal>(why));
      SCOPED_TRACE(::testing::Message() << "generation " << generation << ", refusal " << why);
      // A RET and a TMA of AISG 2.0 read the same list; AISG 1.x TMAs answer
      // with the RET list until theirs is public.
      EXPECT_NE(ald::rc::ReturnCodeNameOf(generation, false, c), nullptr) << int{c};
      EXPECT_NE(c, kRetOk);
      EXPECT_NE(c, kRetFail);
      if (generation == 2) {
        // An AISG 2.0 controller reads these as TMA faults.
        EXPECT_NE(c, g2::kMinorTmaFault);
        EXPECT_NE(c, g2::kMajorTmaFault);
      }
    }
  }
  // The numbers the two lists give differently.
  EXPECT_EQ(ReasonCode(2, Refusal::kFormatError), 0x24);
  EXPECT_EQ(ReasonCode(2, Refusal::kUnsupportedProcedure), 0x25);
  EXPECT_EQ(ReasonCode(2, Refusal::kReadOnly), 0x1D);
  EXPECT_EQ(ReasonCode(2, Refusal::kUnknownParameter), 0x1E);
  EXPECT_EQ(ReasonCode(1, Refusal::kDeviceDisabled), 0x09);
  EXPECT_EQ(ReasonCode(1, Refusal::kUnsupportedProcedure), 0x19);
}

TEST(DeviceCommon, InfoTextsAreLengthPrefixedInOrder) {
  auto d = MakeRet(2);
  const Bytes expected =
      Cat(Cat(Cat(Cat(Bytes{0x00, 7}, Text("RCU-100")), Cat(Bytes{12}, Text("000012345678"))),
              Cat(Bytes{3}, Text("HW2"))),
          Cat(Bytes{7}, Text("SW1.0.3")));
  EXPECT_EQ(Body(Send(*d, Req2(0x05))), expected);
  auto d1 = MakeRet(1);
  EXPECT_EQ(Body(Send(*d1, Req1(0x05)), 1), expected);
}

TEST(DeviceCommon, AlarmsDeviceWideListEachCodeOnce) {
  auto d = MakeRet(2, 17, 3);
  d->subunits[0].alarms = {0x14};
  d->subunits[2].alarms = {0x02, 0x14};
  EXPECT_EQ(Body(Send(*d, Req2(0x04))), (Bytes{0x00, 0x14, 0x02}));
  // Per antenna, with the antenna number echoed in front of the return code.
  EXPECT_EQ(Send(*d, Req2(0x87, {}, 3)), (Bytes{0x87, 4, 0, 3, 0x00, 0x02, 0x14}));
  EXPECT_EQ(Body(Send(*d, Req2(0x87, {}, 2))), (Bytes{2, 0x00}));
  EXPECT_EQ(Body(Send(*d, Req2(0x86, {}, 3))), (Bytes{3, 0x00}));
  EXPECT_TRUE(d->subunits[2].alarms.empty());
  EXPECT_EQ(d->subunits[0].alarms, Bytes{0x14});
  EXPECT_EQ(Body(Send(*d, Req2(0x06))), Bytes{0x00});
  EXPECT_TRUE(d->subunits[0].alarms.empty());
}

TEST(DeviceCommon, ClearingCannotRemoveTheAlarmOfAJammedActuator) {
  auto d = MakeRet(1);
  d->subunits[0].jammed = true;
  d->subunits[0].alarms = {0x02, 0x14};
  EXPECT_EQ(Body(Send(*d, Req1(0x06)), 1), Bytes{0x00});
  EXPECT_EQ(Body(Send(*d, Req1(0x04)), 1), (Bytes{0x00, 0x02}));
}

TEST(DeviceCommon, DisabledAisg1DeviceRefusesToMoveUntilEnabled) {
  auto d = MakeRet(1);
  EXPECT_EQ(Body(Send(*d, Req1(0x09)), 1), Bytes{0x00});
  EXPECT_EQ(Body(Send(*d, Req1(0x33, {30, 0})), 1), (Bytes{0x0B, g1::kDeviceDisabled}));
  EXPECT_EQ(Body(Send(*d, Req1(0x31)), 1), (Bytes{0x0B, g1::kDeviceDisabled}));
  // Reading is still allowed.
  EXPECT_EQ(Body(Send(*d, Req1(0x34)), 1), (Bytes{0x00, 20, 0}));
  EXPECT_EQ(Body(Send(*d, Req1(0x08)), 1), Bytes{0x00});
  EXPECT_TRUE(Send(*d, Req1(0x33, {30, 0})).empty());  // moving
  // AISG 2.0 has no enable procedure.
  auto d2 = MakeRet(2);
  EXPECT_EQ(Body(Send(*d2, Req2(0x08))), (Bytes{0x0B, g2::kUnknownProcedure}));
  EXPECT_EQ(Body(Send(*d2, Req2(0x09))), (Bytes{0x0B, g2::kUnknownProcedure}));
}

TEST(DeviceCommon, SelfTestTakesTimeAndReportsAJam) {
  auto d = MakeTma(2);
  EXPECT_TRUE(Send(*d, Req2(0x0A), 1'000'000).empty());
  EXPECT_TRUE(d->Busy());
  EXPECT_TRUE(Poll(*d, 2'999'999).empty());
  EXPECT_EQ(Poll(*d, 3'000'000), (Bytes{0x0A, 1, 0, 0x00}));
  EXPECT_TRUE(Poll(*d, 3'500'000).empty());  // delivered once

  auto r = MakeRet(1);
  r->subunits[0].jammed = true;
  EXPECT_TRUE(Send(*r, Req1(0x0A)).empty());
  EXPECT_EQ(Body(Poll(*r, r->selfTestUs), 1), (Bytes{0x0B, g1::kActuatorJamPermanent}));
}

TEST(DeviceCommon, BitRatesOnlyInAisg1) {
  auto d = MakeRet(1);
  EXPECT_EQ(Body(Send(*d, Req1(0x0D)), 1), Cat(Bytes{0x00}, Text("9600")));
  auto d2 = MakeRet(2);
  EXPECT_EQ(Body(Send(*d2, Req2(0x0D))), (Bytes{0x0B, g2::kUnknownProcedure}));
}

TEST(DeviceCommon, UserDataWriteReadAndLimits) {
  auto d = MakeRet(2);
  d->userData.assign(64, 0);
  EXPECT_EQ(Body(Send(*d, Req2(0x11, {10, 0, 3, 'a', 'b', 'c'}))), Bytes{0x00});
  EXPECT_EQ(Body(Send(*d, Req2(0x10, {9, 0, 5}))), (Bytes{0x00, 0, 'a', 'b', 'c', 0}));
  // The last bytes of the area can be read, one more cannot.
  EXPECT_EQ(Body(Send(*d, Req2(0x10, {60, 0, 4}))).size(), 5u);
  EXPECT_EQ(Body(Send(*d, Req2(0x10, {61, 0, 4}))), (Bytes{0x0B, g2::kOutOfRange}));
  EXPECT_EQ(Body(Send(*d, Req2(0x11, {62, 0, 3, 1, 2, 3}))), (Bytes{0x0B, g2::kOutOfRange}));
  // The length byte must count the bytes that follow it.
  EXPECT_EQ(Body(Send(*d, Req2(0x11, {0, 0, 4, 1, 2, 3}))), (Bytes{0x0B, g2::kFormatError}));
  EXPECT_EQ(Body(Send(*d, Req2(0x10, {0, 0}))), (Bytes{0x0B, g2::kFormatError}));
  auto d1 = MakeRet(1);
  EXPECT_EQ(Body(Send(*d1, Req1(0x10, {0, 0, 1})), 1), (Bytes{0x0B, g1::kUnknownProcedure}));
}

TEST(DeviceCommon, AlarmSubscriptionIsAisg2AndEndsWithARestart) {
  auto d = MakeRet(2);
  EXPECT_EQ(Body(Send(*d, Req2(0x12))), Bytes{0x00});
  EXPECT_TRUE(d->alarmSubscribed);
  Send(*d, Req2(0x03));
  EXPECT_FALSE(d->alarmSubscribed);
  auto d1 = MakeTma(1);
  EXPECT_EQ(Body(Send(*d1, Req1(0x12)), 1), (Bytes{0x0B, g1::kUnknownProcedure}));
}

TEST(DeviceCommon, VendorSpecificNeedsTheDevicesVendorCode) {
  auto d1 = MakeRet(1);
  EXPECT_EQ(Send(*d1, Req1(0xFF, {'K', 'A', 0x03})), (Bytes{1, 0xFF, 1, 0, 0x00}));
  EXPECT_EQ(Body(Send(*d1, Req1(0xFF, {'A', 'R', 0x03})), 1), (Bytes{0x0B, g1::kUnknownProcedure}));
  EXPECT_EQ(Body(Send(*d1, Req1(0x90, {'K', 'A'})), 1), (Bytes{0x0B, g1::kUnknownProcedure}));
  auto d2 = MakeRet(2);
  EXPECT_EQ(Body(Send(*d2, Req2(0x90, {'K', 'A', 1, 2}))), Bytes{0x00});
  EXPECT_EQ(Body(Send(*d2, Req2(0x90, {'K'}))), (Bytes{0x0B, g2::kUnknownProcedure}));
}

TEST(DeviceCommon, ResetAnswersThenRestarts) {
  auto d = MakeRet(1);
  const Bytes a = Send(*d, Req1(0x03), 5'000'000);
  EXPECT_EQ(a, (Bytes{1, 0x03, 1, 0, 0x00}));
  EXPECT_TRUE(d->restartPending);
  EXPECT_EQ(d->restartUntilUs, 5'000'000 + d->restartUs);
  // It comes back disabled.
  EXPECT_EQ(Body(Send(*d, Req1(0x33, {30, 0}), 9'000'000), 1), (Bytes{0x0B, g1::kDeviceDisabled}));
  // A reset with data is malformed and restarts nothing.
  auto d2 = MakeRet(2);
  EXPECT_EQ(Body(Send(*d2, Req2(0x03, {1}))), (Bytes{0x0B, g2::kFormatError}));
  EXPECT_FALSE(d2->restartPending);
}

TEST(DeviceCommon, UnknownAndMalformedMessages) {
  auto d1 = MakeRet(1);
  auto d2 = MakeTma(2);
  EXPECT_EQ(Send(*d1, Req1(0x55)), (Bytes{1, 0x55, 2, 0, 0x0B, g1::kUnknownProcedure}));
  EXPECT_EQ(Send(*d2, Req2(0x55)), (Bytes{0x55, 2, 0, 0x0B, g2::kUnknownProcedure}));
  // A length field that does not count the data.
  EXPECT_EQ(Send(*d2, Bytes{0x05, 2, 0, 7}), (Bytes{0x05, 2, 0, 0x0B, g2::kFormatError}));
  // Too short to be a message, or more than one procedure at once: no answer.
  EXPECT_TRUE(Send(*d2, Bytes{0x05, 0}).empty());
  EXPECT_TRUE(Send(*d1, Bytes{1, 0x05, 0}).empty());
  EXPECT_TRUE(Send(*d1, Bytes{2, 0x05, 0, 0}).empty());
  // The enable probe of an AISG 1.x message reaches an AISG 2.0 device as
  // procedure 1 with a length it does not carry; the answer's code is not 0x08.
  const Bytes probe = Send(*d2, Req1(0x08));
  ASSERT_GE(probe.size(), 2u);
  EXPECT_NE(probe[1], 0x08);
}

TEST(DeviceCommon, NewMessageWhileWorkingIsAnsweredBusy) {
  auto d = MakeRet(2);
  EXPECT_TRUE(Send(*d, Req2(0x33, {100, 0})).empty());
  EXPECT_EQ(Body(Send(*d, Req2(0x34), 1'000'000)), (Bytes{0x0B, g2::kBusy}));
  EXPECT_EQ(Body(Poll(*d, 8'000'000)), Bytes{0x00});
  EXPECT_EQ(Body(Send(*d, Req2(0x34), 8'000'000)), (Bytes{0x00, 100, 0}));
}

}  // namespace
}  // namespace ald::sim::testing
