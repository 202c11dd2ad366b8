#include "bench/alloc_count.h"

#include <atomic>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define ALDBENCH_NO_COUNTING 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ALDBENCH_NO_COUNTING 1
#endif
#endif

namespace {
std::atomic<int64_t> gAllocations{0};
}  // namespace

namespace aldbench {

#ifdef ALDBENCH_NO_COUNTING
bool AllocationsCounted() {
  return false;
}
#else
bool AllocationsCounted() {
  return true;
}
#endif

int64_t AllocationCount() {
  return gAllocations.load(std::memory_order_relaxed);
}

}  // namespace aldbench

#ifndef ALDBENCH_NO_COUNTING
// glibc's own entry points; the definitions below take the public names for
// the whole process.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);

void* malloc(size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(count, size);
}

void* realloc(void* p, size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(p, size);
}

void* memalign(size_t alignment, size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_memalign(alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_memalign(alignment, size);
}

int posix_memalign(void** out, size_t alignment, size_t size) {
  if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return 22;  // EINVAL
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  void* p = __libc_memalign(alignment, size);
  if (p == nullptr && size != 0) return 12;  // ENOMEM
  *out = p;
  return 0;
}
}
#endif
