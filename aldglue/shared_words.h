// Where the shared words live; each platform's unit defines SharedWords().
#pragma once

#include <cstdint>

namespace aldglue {

inline constexpr int kSharedWordCount = 4;

// The words shared between processes, or this process's own when the shared
// object cannot be had (the functions then still work within the process).
// Never null.
uint32_t* SharedWords();

}  // namespace aldglue
