#include "support/clock.h"

#include <cerrno>
#include <ctime>

namespace ald {

namespace {
RealClock theRealClock;
Clock* theClock = &theRealClock;
}  // namespace

int64_t RealClock::NowUs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

void RealClock::SleepUntilUs(int64_t t) {
  timespec ts{};
  ts.tv_sec = t / 1000000;
  ts.tv_nsec = (t % 1000000) * 1000;
  // Absolute sleep, so an interrupted wait resumes without drifting.
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

std::time_t RealClock::CalendarTime() {
  return std::time(nullptr);
}

Clock& GetClock() {
  return *theClock;
}

void SetClock(Clock* clock) {
  theClock = clock ? clock : &theRealClock;
}

}  // namespace ald
