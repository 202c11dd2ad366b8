#include "notebox/progress.h"

#include <algorithm>

#include "aldpanel/core/runner.h"

namespace notebox {

int64_t ExpectedDurationMs(int64_t expectedSize) {
  expectedSize = std::max<int64_t>(expectedSize, 0);
  return (expectedSize / 431) * 1000 + 12000;
}

int ProgressPosition(int64_t expectedSize, int64_t elapsedMs) {
  const int64_t step = ExpectedDurationMs(expectedSize) / 100;
  if (elapsedMs <= 0 || step <= 0) return 0;
  return static_cast<int>(std::min<int64_t>(elapsedMs / step, 100));
}

std::optional<int64_t> ParseExpectedSize(const std::string& text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

bool StatusWatch::Feed(int status) {
  if (status == aldpanel::kStatusBusy) sawBusy_ = true;
  return sawBusy_ && status == aldpanel::kStatusFinished;
}

}  // namespace notebox
