// The shared words on POSIX systems: a small shared-memory object, mapped
// when the library is loaded.
//
// The object is named "/aldglue-<uid>" so that two users of one machine do
// not see each other's words; ALDGLUE_SHM_NAME overrides the name (tests use
// it to keep parallel runs apart). An object of that name owned by someone
// else is not used: the words then stay private to the process.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "aldglue/shared_words.h"

namespace {

constexpr off_t kObjectSize = 4096;

// Used when the shared object cannot be had; keeps the functions working
// within the process.
alignas(4) uint32_t privateWords[aldglue::kSharedWordCount] = {};
uint32_t* words = privateWords;
void* mapping = nullptr;

uint32_t* MapSharedWords() {
  char name[256];
  const char* override = std::getenv("ALDGLUE_SHM_NAME");
  if (override != nullptr && override[0] == '/') {
    std::snprintf(name, sizeof name, "%s", override);
  } else {
    std::snprintf(name, sizeof name, "/aldglue-%u", static_cast<unsigned>(getuid()));
  }
  const int fd = shm_open(name, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  struct stat st {};
  bool usable = fstat(fd, &st) == 0 && st.st_uid == getuid();
  // A new object has size 0; giving it its size zero-fills it. A second
  // process that does the same on a sized object changes nothing.
  if (usable && st.st_size < kObjectSize) usable = ftruncate(fd, kObjectSize) == 0;
  void* p =
      usable ? mmap(nullptr, kObjectSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
  close(fd);
  if (p == MAP_FAILED) return nullptr;
  mapping = p;
  return static_cast<uint32_t*>(p);
}

__attribute__((constructor)) void AttachSharedWords() {
  if (uint32_t* shared = MapSharedWords()) words = shared;
}

__attribute__((destructor)) void DetachSharedWords() {
  if (mapping != nullptr) {
    words = privateWords;
    munmap(mapping, kObjectSize);
    mapping = nullptr;
  }
}

}  // namespace

uint32_t* aldglue::SharedWords() {
  return words;
}
