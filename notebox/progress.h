// The busy window's progress bar: it fills in about twelve seconds plus one
// second per 431 bytes of the software being downloaded, and then stays full.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace notebox {

// The expected size when the command line gives none.
inline constexpr int64_t kDefaultExpectedSize = 15000;

// Expected duration in milliseconds: (size / 431) * 1000 + 12000, the
// division being an integer division. A negative size counts as 0.
int64_t ExpectedDurationMs(int64_t expectedSize);

// The bar's position (0 to 100) after `elapsedMs` milliseconds.
int ProgressPosition(int64_t expectedSize, int64_t elapsedMs);

// The expected size given as the second argument: a whole decimal number
// of at most 18 digits, no sign; nullopt for anything else.
std::optional<int64_t> ParseExpectedSize(const std::string& text);

// The finished status closes the busy window only once the window has seen
// the busy status of its own operation: a finished status left over from the
// previous operation must not close it.
class StatusWatch {
 public:
  // Feeds one status reading; true when the window should close now.
  bool Feed(int status);
  bool sawBusy() const { return sawBusy_; }

 private:
  bool sawBusy_ = false;
};

}  // namespace notebox
