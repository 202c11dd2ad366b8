// Layer-7 faults of the simulated devices, and robustness against any
// message.
#include <gtest/gtest.h>

#include <random>

#include "tests/sim/device_test_util.h"

namespace ald::sim::testing {
namespace {

TEST(DeviceFaults, FailReasonsAnswerEveryProcedureWithoutEffect) {
  auto d = MakeRet(2, 17, 2);
  d->faults.failReasons = {0x05, 0x13};
  EXPECT_EQ(Send(*d, Req2(0x05)), (Bytes{0x05, 3, 0, 0x0B, 0x05, 0x13}));
  // The antenna number is still echoed, and nothing moves.
  EXPECT_EQ(Send(*d, Req2(0x81, {50, 0}, 2)), (Bytes{0x81, 4, 0, 2, 0x0B, 0x05, 0x13}));
  EXPECT_FALSE(d->Busy());
  EXPECT_EQ(d->subunits[1].tilt, 20);
  EXPECT_EQ(Body(Send(*d, Req2(0x03))), (Bytes{0x0B, 0x05, 0x13}));
  EXPECT_FALSE(d->restartPending);
  // AISG 1.x download answers keep their numbers in front of the reasons.
  auto d1 = MakeRet(1);
  d1->faults.failReasons = {0x05, 0x13};
  EXPECT_EQ(Body(Send(*d1, Req1(0x20, {2, 0, 69, 0})), 1), (Bytes{0x0B, 2, 0, 0x05, 0x13}));
  EXPECT_EQ(Body(Send(*d1, Req1(0x21, {7, 1, 2})), 1), (Bytes{0x0B, 7, 0x05, 0x13}));
}

TEST(DeviceFaults, LongTextsOverflowTheFieldsTheyFill) {
  auto d = MakeRet(2);
  d->faults.longTexts = true;
  const Bytes info = Body(Send(*d, Req2(0x05)));
  ASSERT_GE(info.size(), 2u);
  EXPECT_EQ(info[1], 32);  // product number, against 20 characters of room
  EXPECT_LE(info.size(), 80u);
  const Bytes model = Body(Send(*d, Req2(0x0F, {0x01})));
  EXPECT_GT(model.size(), 2u + 15u);
  auto d1 = MakeTma(1);
  d1->faults.longTexts = true;
  EXPECT_GT(Body(Send(*d1, Req1(0x0D)), 1).size(), 1u + 8u);
}

TEST(DeviceFaults, MalformedAnswers) {
  auto d = MakeRet(1);
  d->faults.lengthFieldDelta = 3;
  EXPECT_EQ(Send(*d, Req1(0x34)), (Bytes{1, 0x34, 6, 0, 0x00, 20, 0}));
  d->faults = SimFaults{};
  d->faults.padAnswersTo = 200;
  Bytes padded = Send(*d, Req1(0x34));
  ASSERT_EQ(padded.size(), 204u);
  EXPECT_EQ(padded[2] | padded[3] << 8, 200);
  EXPECT_EQ(Bytes(padded.begin() + 4, padded.begin() + 7), (Bytes{0x00, 20, 0}));
  // Padding never runs past the buffer the bus gives.
  EXPECT_EQ(Send(*d, Req1(0x34), 0, 64).size(), 64u);
  d->faults = SimFaults{};
  d->faults.missingBytes = 1;
  EXPECT_EQ(Send(*d, Req1(0x34)), (Bytes{1, 0x34, 2, 0, 0x00, 20}));
  d->faults = SimFaults{};
  d->faults.returnCode = 0x02;
  EXPECT_EQ(Body(Send(*d, Req1(0x34)), 1), (Bytes{0x02, 20, 0}));
  d->faults = SimFaults{};
  d->faults.wrongProcedureCode = true;
  EXPECT_EQ(Send(*d, Req1(0x34)), (Bytes{1, 0x35, 3, 0, 0x00, 20, 0}));
  d->faults = SimFaults{};
  d->faults.bareFail = true;
  EXPECT_EQ(Send(*d, Req1(0x33, {0x2C, 0x01})), (Bytes{1, 0x33, 1, 0, 0x0B}));
}

TEST(DeviceFaults, UnknownFieldIdentifiersInDeviceDataAnswers) {
  auto d = MakeRet(2);
  d->faults.unknownFieldIds = true;
  EXPECT_EQ(Body(Send(*d, Req2(0x0F, {0x25}))), (Bytes{0x00, 0x0C, 0, 0}));
  auto d1 = MakeRet(1);
  d1->faults.unknownFieldIds = true;
  EXPECT_EQ(Body(Send(*d1, Req1(0x0F, {0x25, 0x26})), 1), (Bytes{0x00, 0x0C, 0, 0, 0x26, 0}));
}

TEST(DeviceFaults, DelayedAnswersAreShapedToo) {
  auto d = MakeRet(2);
  d->faults.missingBytes = 1;
  d->faults.lengthFieldDelta = -1;
  EXPECT_TRUE(Send(*d, Req2(0x33, {30, 0})).empty());
  EXPECT_EQ(Poll(*d, 1'000'000), (Bytes{0x33, 0, 0, 0x00}));
}

// Whatever arrives, a device answers within the buffer it is given or not
// at all, and keeps answering afterwards.
TEST(DeviceFaults, RandomMessagesNeverOverrunOrWedge) {
  std::mt19937 rng(12345);
  std::vector<std::unique_ptr<SimAld>> devices;
  devices.push_back(MakeRet(1));
  devices.push_back(MakeRet(2, 17, 3));
  devices.push_back(MakeTma(1));
  devices.push_back(MakeTma(2, 2));
  devices.push_back(MakeRet(2));
  devices.back()->faults.padAnswersTo = 300;
  devices.back()->faults.longTexts = true;
  int64_t now = 0;
  for (int i = 0; i < 20000; ++i) {
    SimAld& d = *devices[static_cast<size_t>(i) % devices.size()];
    Bytes m(static_cast<size_t>(rng() % 12), 0);
    for (uint8_t& b : m) b = static_cast<uint8_t>(rng());
    // Often a well-formed header with a known code, so the handlers are reached.
    if (m.size() >= 4 && rng() % 2) {
      const size_t h = d.generation == 1 ? 4 : 3;
      if (d.generation == 1) m[0] = 1;
      m[h - 2] = static_cast<uint8_t>(m.size() - h);
      m[h - 1] = 0;
    }
    const int capacity = 1 + static_cast<int>(rng() % 300);
    Send(d, m, now, capacity);
    now += 100'000;
    Poll(d, now, capacity);
    if (d.restartPending) {
      d.restartPending = false;
    }
  }
  // Still sane: the next plain request after all pending work gets its answer.
  for (auto& d : devices) {
    d->faults = SimFaults{};
    Poll(*d, now + 1'000'000'000);
    const Bytes a = d->generation == 1 ? Send(*d, Req1(0x05), now + 1'000'000'000)
                                       : Send(*d, Req2(0x05), now + 1'000'000'000);
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(Body(a, d->generation)[0], 0x00);
  }
}

}  // namespace
}  // namespace ald::sim::testing
