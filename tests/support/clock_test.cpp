#include "support/clock.h"

#include <gtest/gtest.h>

namespace {

TEST(ClockTest, VirtualClockAdvancesOnlyWhenWaitedOn) {
  ald::ScopedVirtualClock scoped;
  ald::Clock& clock = ald::GetClock();
  ASSERT_TRUE(clock.IsVirtual());
  const int64_t start = clock.NowUs();
  clock.SleepMs(150000);  // a long protocol pause costs no real time
  EXPECT_EQ(clock.NowUs() - start, 150000000);
  clock.SleepUntilUs(start);  // waiting for the past does not go back
  EXPECT_EQ(clock.NowUs() - start, 150000000);
  EXPECT_EQ(clock.CalendarTime(), 1767225600 + 150);
}

TEST(ClockTest, ScopeEndRestoresRealClock) {
  { ald::ScopedVirtualClock scoped; }
  EXPECT_FALSE(ald::GetClock().IsVirtual());
}

}  // namespace
