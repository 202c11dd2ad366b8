// Process-wide clock through which every wait of the system goes.
//
// The real clock is the default. Tests install a VirtualClock: it never
// blocks, waiting simply moves its time forward, so protocol pauses of
// minutes cost nothing. Everything that waits or reads the time (the sleep
// of the support library, the millisecond pauses of the procedures, the
// serial read time-outs of simulated lines, the calendar time of run-time
// trace lines) asks GetClock().
#pragma once

#include <cstdint>
#include <ctime>

namespace ald {

class Clock {
 public:
  virtual ~Clock() = default;
  // Monotonic time in microseconds since an arbitrary start.
  virtual int64_t NowUs() = 0;
  // Blocks (or, for a virtual clock, advances) until NowUs() >= t.
  virtual void SleepUntilUs(int64_t t) = 0;
  // Calendar time for human-readable trace lines.
  virtual std::time_t CalendarTime() = 0;
  // True when waiting costs no real time (tests).
  virtual bool IsVirtual() const { return false; }

  void SleepUs(int64_t us) { SleepUntilUs(NowUs() + (us > 0 ? us : 0)); }
  void SleepMs(int64_t ms) { SleepUs(ms * 1000); }
  int64_t NowMs() { return NowUs() / 1000; }
};

class RealClock final : public Clock {
 public:
  int64_t NowUs() override;
  void SleepUntilUs(int64_t t) override;
  std::time_t CalendarTime() override;
};

// Time moves only when something waits on it (or Advance is called).
class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(std::time_t calendarStart = 1767225600 /* 2026-01-01 */)
      : calendarStart_(calendarStart) {}
  int64_t NowUs() override { return now_; }
  void SleepUntilUs(int64_t t) override {
    if (t > now_) now_ = t;
  }
  std::time_t CalendarTime() override { return calendarStart_ + now_ / 1000000; }
  bool IsVirtual() const override { return true; }
  void Advance(int64_t us) { now_ += us > 0 ? us : 0; }

 private:
  std::time_t calendarStart_;
  int64_t now_ = 0;
};

// The clock in force for the whole process.
Clock& GetClock();
// Installs `clock` (not owned) as the process clock; nullptr restores the real clock.
void SetClock(Clock* clock);

// Installs a virtual clock for the lifetime of this object (tests).
class ScopedVirtualClock {
 public:
  explicit ScopedVirtualClock(std::time_t calendarStart = 1767225600) : clock_(calendarStart) {
    SetClock(&clock_);
  }
  ~ScopedVirtualClock() { SetClock(nullptr); }
  ScopedVirtualClock(const ScopedVirtualClock&) = delete;
  ScopedVirtualClock& operator=(const ScopedVirtualClock&) = delete;
  VirtualClock& clock() { return clock_; }

 private:
  VirtualClock clock_;
};

}  // namespace ald
