#include "support/sleep.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/clock.h"

namespace {

TEST(SleepTest, WaitsWholeSecondsOnTheProcessClock) {
  ald::ScopedVirtualClock scoped;
  const auto realStart = std::chrono::steady_clock::now();
  const int64_t start = ald::GetClock().NowUs();
  ald::sleep(7);
  EXPECT_EQ(ald::GetClock().NowUs() - start, 7000000);
  ald::sleep(1);
  EXPECT_EQ(ald::GetClock().NowUs() - start, 8000000);
  ald::sleep(0);
  ald::sleep(-3);
  EXPECT_EQ(ald::GetClock().NowUs() - start, 8000000);
  EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(1));
}

}  // namespace
