// The words shared by every process of one user that loads this library: a
// small POSIX shared-memory object, mapped when the library is loaded.
//
// Layout: four aligned 32-bit words, all zero until written; the first is
// reserved, the second is the process status, the third the download file
// size, the fourth the bytes of the download image sent so far. One process
// writes a word, another polls it; each access is a single aligned 32-bit
// load or store, so no lock is needed.
//
// The object is named "/aldglue-<uid>" so that two users of one machine do
// not see each other's words; ALDGLUE_SHM_NAME overrides the name (tests use
// it to keep parallel runs apart). An object of that name owned by someone
// else is not used: the words then stay private to the process.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "aldglue/aldglue.h"
#include "aldlink/procedures/download_progress.h"

namespace {

constexpr int kWordCount = 4;
constexpr int kStatusWord = 1;
constexpr int kSizeWord = 2;
constexpr int kProgressWord = 3;
constexpr off_t kObjectSize = 4096;

// Used when the shared object cannot be had; keeps the functions working
// within the process.
alignas(4) uint32_t privateWords[kWordCount] = {};
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

uint32_t Load(int index);
void Store(int index, uint32_t value);

// The device library's download progress, published for other processes.
void PublishDownloadProgress(int bytesSent, int imageSize) {
  Store(kSizeWord, static_cast<uint32_t>(imageSize));
  Store(kProgressWord, static_cast<uint32_t>(bytesSent));
}

__attribute__((constructor)) void AttachSharedWords() {
  if (uint32_t* shared = MapSharedWords()) words = shared;
  ald::SetDownloadProgressSink(&PublishDownloadProgress);
}

__attribute__((destructor)) void DetachSharedWords() {
  ald::SetDownloadProgressSink(nullptr);
  if (mapping != nullptr) {
    words = privateWords;
    munmap(mapping, kObjectSize);
    mapping = nullptr;
  }
}

uint32_t Load(int index) {
  return std::atomic_ref<uint32_t>(words[index]).load(std::memory_order_relaxed);
}

void Store(int index, uint32_t value) {
  std::atomic_ref<uint32_t>(words[index]).store(value, std::memory_order_relaxed);
}

}  // namespace

int setProcessStatus(int, int status) {
  Store(kStatusWord, static_cast<uint32_t>(status));
  return 0;
}

int getProcessStatus(int, int* status) {
  if (status == nullptr) return kAldglueFailure;
  *status = static_cast<int>(Load(kStatusWord));
  return 0;
}

int setDownloadFileSize(int size) {
  Store(kSizeWord, static_cast<uint32_t>(size));
  return 0;
}

int getDownloadFileSize(int* size) {
  if (size == nullptr) return kAldglueFailure;
  *size = static_cast<int>(Load(kSizeWord));
  return 0;
}

int getDownloadProgress(int* bytes) {
  if (bytes == nullptr) return kAldglueFailure;
  *bytes = static_cast<int>(Load(kProgressWord));
  return 0;
}
