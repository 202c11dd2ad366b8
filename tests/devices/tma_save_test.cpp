// TMA device: which operations ask for the device database to be saved. A
// missing save loses a changed gain over a restart; a save on a cached read
// rewrites the database for nothing.
#include <gtest/gtest.h>

#include <string>

#include "tests/devices/tma_sim.h"

namespace tma {
namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

constexpr char kSave[] = "AISGDevice::SaveDevices(0)\n";

int Saves(const std::string& out) {
  int n = 0;
  for (size_t at = out.find(kSave); at != std::string::npos; at = out.find(kSave, at + 1)) ++n;
  return n;
}

TEST_F(TmaTest, GainChangesAndBusReadsSaveCachedReadsAndModeDoNot) {
  Site(kDualTma);
  auto tma = Refreshed(1);

  CaptureStdout();
  EXPECT_EQ(tma->SetGain(1, 40), 0);
  EXPECT_EQ(Saves(GetCapturedStdout()), 1);

  // The mode itself is not saved; the alarm re-read that follows it is.
  CaptureStdout();
  EXPECT_EQ(tma->SetMode(1, kTMAModeBypass), 0);
  std::string out = GetCapturedStdout();
  EXPECT_EQ(Saves(out), 1);
  const size_t alarms = out.find("TMADevice::GetAlarmStatus(1)\n");
  ASSERT_NE(alarms, std::string::npos);
  EXPECT_EQ(out.find(kSave), out.find(kSave, alarms));

  int gain = 0;
  CaptureStdout();
  EXPECT_EQ(tma->GetGain(1, gain, 1), 0);
  EXPECT_EQ(Saves(GetCapturedStdout()), 1);
  EXPECT_EQ(gain, 40);

  // From the cache: no bus traffic and nothing to save.
  Device(1).requests.clear();
  gain = 0;
  CaptureStdout();
  EXPECT_EQ(tma->GetGain(1, gain, 0), 0);
  EXPECT_EQ(Saves(GetCapturedStdout()), 0);
  EXPECT_EQ(gain, 40);
  EXPECT_TRUE(Device(1).requests.empty());

  // A read that finds no device still saves the forgotten value.
  Device(1).faults.silent = true;
  CaptureStdout();
  EXPECT_EQ(tma->GetGain(1, gain, 1), 89);
  EXPECT_EQ(Saves(GetCapturedStdout()), 1);
  EXPECT_EQ(tma->GetSubunit(1)->curgain, -1);
}

}  // namespace
}  // namespace tma
