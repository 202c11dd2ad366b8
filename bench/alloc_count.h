// Heap allocation counter of the benchmark program. The program's own malloc
// family forwards to the C library and counts every call; operator new of the
// C++ library comes through it too, so this sees the allocations of every
// library the program loads.
#pragma once

#include <cstdint>

namespace aldbench {

// False when the counter cannot work in this build (a sanitizer owns malloc).
bool AllocationsCounted();
// Allocations (malloc, calloc, realloc, aligned forms) since the start.
int64_t AllocationCount();

}  // namespace aldbench
