// TMA device: construction, mode and gain with their read-back and caches,
// supported functions and non-linear gains, against simulated devices.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/devices/tma_sim.h"

namespace tma {
namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST_F(TmaTest, ConstructionCountsSubunitsOfAisg2AndMarksEveryOneNew) {
  Site(std::string(kDualTma) + kAisg1Tma + R"(
[device]
generation = 2
type = 16
vendor = CC
serial = TD20
subunits = 20
)");
  auto dual = Make(1);
  EXPECT_EQ(dual->GetNumberOfSubunits(), 2);
  EXPECT_EQ(Device(1).Count(0x79), 1);
  for (int i = 1; i <= 2; ++i) {
    const TMASubunit* s = dual->GetSubunit(i);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->antnumber, i);
    EXPECT_EQ(s->alarm, ald::HString("\x51"));
    EXPECT_EQ(s->status, 1);
    EXPECT_EQ(s->mode, -1);
    EXPECT_EQ(s->curgain, -1);
    EXPECT_EQ(s->function, 0);
  }
  EXPECT_EQ(dual->GetSubunit(3), nullptr);

  // An AISG 1.x TMA is one unit; nothing is asked while it is built.
  auto single = Make(2);
  EXPECT_EQ(single->GetNumberOfSubunits(), 1);
  EXPECT_EQ(single->GetSubunit(1)->function, 1);
  EXPECT_TRUE(Device(2).requests.empty());

  // More subunits than an object keeps.
  EXPECT_EQ(Make(3)->GetNumberOfSubunits(), 16);
}

TEST_F(TmaTest, UnknownTypeBecomesTypeZeroAndRefusesDeviceData) {
  Site(kAisg1Tma);
  CaptureStdout();
  TMADevice odd(5, 1, 1, Device(1).uniqueId.data(), static_cast<int>(Device(1).uniqueId.size()));
  EXPECT_TRUE(Contains(GetCapturedStdout(), "Unknown device type for creating TMA device: 0x05"));
  EXPECT_EQ(odd.GetDeviceType(), 0);
  EXPECT_EQ(odd.GetNumberOfSubunits(), 1);
  DeviceData data{};
  // The device data requests are refused by the object (procedure result
  // 11) before any reaches the bus.
  EXPECT_EQ(odd.GetDeviceData(1, data, 1), 11);
  EXPECT_EQ(odd.SetDeviceData(1, "\x24", data), 11);
  EXPECT_EQ(Device(1).Count(0x0F), 0);
  EXPECT_EQ(Device(1).Count(0x0E), 0);
}

TEST_F(TmaTest, UnknownTypeOfAisg2ReportsNoStaleReasonCodes) {
  Site(kDualTma);
  TMADevice odd(0x21, 2, 1, Device(1).uniqueId.data(), static_cast<int>(Device(1).uniqueId.size()));
  EXPECT_EQ(odd.GetDeviceType(), 0);
  // Still counted as the AISG 2.0 unit it is.
  EXPECT_EQ(odd.GetNumberOfSubunits(), 2);
  DeviceData data{};
  EXPECT_EQ(odd.GetDeviceData(2, data, 1), 11);
  EXPECT_EQ(odd.GetErrorCodes(), ald::HString("\x0b"));
  EXPECT_EQ(Device(1).Count(0x75), 0);
}

TEST_F(TmaTest, SetModeReadsBackUntilTheModeArrivesThenTheGain) {
  Site(kDualTma);
  auto tma = Refreshed(1);
  Device(1).requests.clear();

  CaptureStdout();
  const int64_t start = NowMs();
  EXPECT_EQ(tma->SetMode(2, kTMAModeBypass), 0);
  const std::string trace = GetCapturedStdout();
  EXPECT_TRUE(Contains(trace, "TMADevice::SetMode(2,1)\n"));
  EXPECT_EQ(SimSub(1, 2).mode, 1);
  EXPECT_EQ(tma->GetSubunit(2)->mode, 1);
  EXPECT_EQ(tma->GetSubunit(2)->curgain, 40);
  // One reading was enough: one pause of 2 s, one mode and one gain read,
  // then the alarms of the subunit.
  EXPECT_EQ(Device(1).Count(0x70), 1);
  EXPECT_EQ(Device(1).Count(0x71), 1);
  EXPECT_EQ(Device(1).Count(0x73), 1);
  EXPECT_EQ(Device(1).Count(0x78), 1);
  EXPECT_GE(NowMs() - start, 2000);
  EXPECT_LT(NowMs() - start, 4000);
  for (const Seen& r : Device(1).requests) EXPECT_EQ(r.subunit, 2);
}

TEST_F(TmaTest, ModeThatDoesNotArriveGives11AfterTwoPauses) {
  Site(kDualTma);
  auto tma = Refreshed(1);
  Device(1).stuckMode = 0;
  Device(1).requests.clear();

  const int64_t start = NowMs();
  EXPECT_EQ(tma->SetMode(1, kTMAModeBypass), 11);
  EXPECT_GE(NowMs() - start, 4000);
  EXPECT_EQ(Device(1).Count(0x71), 2);
  EXPECT_EQ(tma->GetSubunit(1)->mode, 0);

  TMAMode mode = kTMAModeBypass;
  EXPECT_EQ(tma->GetMode(1, mode, 0), 0);
  EXPECT_EQ(mode, kTMAModeNormal);
}

TEST_F(TmaTest, RefusedModeGivesTheDeviceReasonNot11) {
  Site(kDualTma);
  SimSub(1, 1).functions = 0;  // no bypass
  auto tma = Refreshed(1);
  // 0x13: out of range, the device's own word.
  EXPECT_EQ(tma->SetMode(1, kTMAModeBypass), 0x13);
  EXPECT_EQ(tma->GetErrorCodes(), ald::HString("\x13"));
  EXPECT_EQ(tma->GetSubunit(1)->mode, 0);
}

TEST_F(TmaTest, SetModeOnAisg1UsesTheWholeUnitCodes) {
  Site(kAisg1Tma);
  auto tma = Refreshed(1);
  Device(1).requests.clear();
  EXPECT_EQ(tma->SetMode(1, kTMAModeBypass), 0);
  EXPECT_EQ(Device(1).Count(0x40), 1);
  EXPECT_EQ(Device(1).Count(0x41), 1);
  EXPECT_EQ(Device(1).Count(0x43), 1);
  EXPECT_EQ(Device(1).Count(0x04), 1);  // device-wide alarm status
  EXPECT_EQ(SimSub(1, 1).mode, 1);
}

TEST_F(TmaTest, SetGainOnStepOffStepAndBeyondAByte) {
  Site(kDualTma);
  auto tma = Refreshed(1);

  // 8.5 dB on the 0.5 dB steps from 4 dB.
  EXPECT_EQ(tma->SetGain(1, 34), 0);
  EXPECT_EQ(SimSub(1, 1).gain, 34);
  EXPECT_EQ(tma->GetSubunit(1)->curgain, 34);

  // Off the step, and above the range: the device refuses, the cache keeps
  // what the device still has.
  EXPECT_EQ(tma->SetGain(1, 35), 0x13);
  EXPECT_EQ(tma->GetSubunit(1)->curgain, 34);
  EXPECT_EQ(tma->SetGain(1, 60), 0x13);
  EXPECT_EQ(SimSub(1, 1).gain, 34);

  // A gain that does not fit the one byte sent is never sent cut.
  Device(1).requests.clear();
  EXPECT_EQ(tma->SetGain(1, 34 + 256), 89);
  EXPECT_EQ(Device(1).Count(0x72), 0);
  EXPECT_EQ(SimSub(1, 1).gain, 34);

  EXPECT_EQ(tma->SetGain(3, 34), 36);
}

TEST_F(TmaTest, GainThatDoesNotArriveGives11) {
  Site(kAisg1Tma);
  auto tma = Refreshed(1);
  Device(1).stuckGain = 32;
  Device(1).requests.clear();
  const int64_t start = NowMs();
  EXPECT_EQ(tma->SetGain(1, 48), 11);
  EXPECT_GE(NowMs() - start, 4000);
  EXPECT_EQ(Device(1).Count(0x43), 2);
  EXPECT_EQ(tma->GetSubunit(1)->curgain, 32);
  // No mode read and no alarm re-read after a gain.
  EXPECT_EQ(Device(1).Count(0x41), 0);
  EXPECT_EQ(Device(1).Count(0x04), 0);
}

TEST_F(TmaTest, GainAndModeComeFromTheCacheOnlyWhenRefreshedAndKnown) {
  Site(kDualTma);
  auto tma = Make(1);

  // A new device always asks.
  int gain = -5;
  EXPECT_EQ(tma->GetGain(1, gain, 0), 0);
  EXPECT_EQ(gain, 48);
  EXPECT_EQ(Device(1).Count(0x73), 1);

  ASSERT_EQ(tma->Refresh(), 0);
  Device(1).requests.clear();
  SimSub(1, 1).gain = 40;  // changed behind the object's back
  gain = 0;
  TMAMode mode = kTMAModeBypass;
  EXPECT_EQ(tma->GetGain(1, gain, 0), 0);
  EXPECT_EQ(tma->GetMode(1, mode, 0), 0);
  EXPECT_EQ(gain, 48);
  EXPECT_EQ(mode, kTMAModeNormal);
  EXPECT_TRUE(Device(1).requests.empty());

  EXPECT_EQ(tma->GetGain(1, gain, 1), 0);
  EXPECT_EQ(gain, 40);

  // A failed read forgets the value, so the next cached read asks again.
  Device(1).spoil = [](const Seen& r) { return r.code == 0x73; };
  gain = 7;
  EXPECT_EQ(tma->GetGain(1, gain, 1), 89);
  EXPECT_EQ(gain, 7);
  EXPECT_EQ(tma->GetSubunit(1)->curgain, -1);
  Device(1).spoil = nullptr;
  Device(1).requests.clear();
  EXPECT_EQ(tma->GetGain(1, gain, 0), 0);
  EXPECT_EQ(gain, 40);
  EXPECT_EQ(Device(1).Count(0x73), 1);

  // No link: 89 and nothing cached.
  Device(1).faults.silent = true;
  gain = 7;
  EXPECT_EQ(tma->GetGain(1, gain, 1), 89);
  EXPECT_EQ(gain, 7);
  EXPECT_EQ(tma->GetMode(1, mode, 1), 89);
  EXPECT_EQ(tma->GetSubunit(1)->mode, -1);
  EXPECT_EQ(tma->GetGain(0, gain, 1), 36);
}

TEST_F(TmaTest, Aisg1HasNoSupportedFunctionsOrNonLinearGains) {
  Site(kAisg1Tma);
  auto tma = Make(1);
  SupportedFunction f{};
  char gains[80] = {};
  int count = -1;
  EXPECT_EQ(tma->GetSupportedFunctions(1, f, 1), 25);
  EXPECT_EQ(tma->GetNonLinearGains(1, gains, count, 1), 25);
  EXPECT_EQ(count, -1);
  // Even a bad subunit: the generation decides first.
  EXPECT_EQ(tma->GetSupportedFunctions(9, f, 1), 25);
  EXPECT_TRUE(Device(1).requests.empty());
}

TEST_F(TmaTest, SupportedFunctionsFillTheGainRange) {
  Site(kDualTma);
  SimSub(1, 2).functions = 0;
  auto tma = Make(1);
  SupportedFunction f{};
  EXPECT_EQ(tma->GetSupportedFunctions(2, f, 0), 0);  // new device: asks
  EXPECT_EQ(f.flags, 0);
  EXPECT_EQ(f.mingain, 16);
  EXPECT_EQ(f.maxgain, 48);
  EXPECT_EQ(f.resolution, 2);
  EXPECT_EQ(tma->GetSupportedFunctions(3, f, 0), 36);

  ASSERT_EQ(tma->Refresh(), 0);
  Device(1).requests.clear();
  SupportedFunction cached{};
  EXPECT_EQ(tma->GetSupportedFunctions(1, cached, 0), 0);
  EXPECT_EQ(cached.flags, 1);
  EXPECT_EQ(cached.maxgain, 48);
  EXPECT_TRUE(Device(1).requests.empty());
}

TEST_F(TmaTest, NonLinearGainsAreReadOnceAndKept) {
  Site(kDualTma);
  // Subunit 1: range 0 to 12 dB without steps, three gains it can take.
  ald::sim::AldSubunit& s = SimSub(1, 1);
  s.minGain = 0;
  s.maxGain = 48;
  s.gainStep = 0;
  s.nonLinearGains = {0x10, 0x20, 0x30};
  auto tma = Make(1);
  ASSERT_EQ(tma->Refresh(), 0);
  ASSERT_EQ(tma->Refresh(), 0);
  // Only subunit 1 qualifies, and only the first refresh asks.
  EXPECT_EQ(Device(1).Count(0x7B), 1);
  for (const Seen& r : Device(1).requests) {
    if (r.code == 0x7B) {
      EXPECT_EQ(r.subunit, 1);
    }
  }

  char gains[80];
  std::memset(gains, 0x7F, sizeof gains);
  int count = 0;
  Device(1).requests.clear();
  EXPECT_EQ(tma->GetNonLinearGains(1, gains, count, 0), 0);
  EXPECT_TRUE(Device(1).requests.empty());
  ASSERT_EQ(count, 3);
  EXPECT_EQ(std::string(gains, 4), std::string("\x10\x20\x30\0", 4));

  // Asked again on request; a device that offers more values than an
  // object keeps is cut to 69.
  s.nonLinearGains.assign(100, 0x20);
  EXPECT_EQ(tma->GetNonLinearGains(1, gains, count, 1), 0);
  EXPECT_EQ(count, 69);
  EXPECT_EQ(gains[68], 0x20);
  EXPECT_EQ(gains[69], 0);

  // A failed read keeps what was known.
  Device(1).faults.failReasons = {0x05};
  EXPECT_EQ(tma->GetNonLinearGains(1, gains, count, 1), 5);
  EXPECT_EQ(count, 69);
}

}  // namespace
}  // namespace tma
