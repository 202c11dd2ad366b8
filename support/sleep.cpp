#include "support/sleep.h"

#include <cstdint>

#include "support/clock.h"

namespace ald {

void sleep(int seconds) {
  if (seconds <= 0) return;
  GetClock().SleepMs(static_cast<int64_t>(seconds) * 1000);
}

}  // namespace ald
