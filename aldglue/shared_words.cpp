// The words shared by every process of one user that loads this library.
//
// Layout: four aligned 32-bit words, all zero until written; the first is
// reserved, the second is the process status, the third the download file
// size, the fourth the bytes of the download image sent so far. One process
// writes a word, another polls it; each access is a single aligned 32-bit
// load or store, so no lock is needed. Where the words live (a POSIX
// shared-memory object, a Windows named mapping) is the platform unit's
// business: SharedWords() gives them.
#include "aldglue/shared_words.h"

#include <atomic>
#include <cstdint>

#include "aldglue/aldglue.h"
#include "aldlink/procedures/download_progress.h"

namespace {

constexpr int kStatusWord = 1;
constexpr int kSizeWord = 2;
constexpr int kProgressWord = 3;
static_assert(kProgressWord < aldglue::kSharedWordCount);

uint32_t Load(int index) {
  return std::atomic_ref<uint32_t>(aldglue::SharedWords()[index]).load(std::memory_order_relaxed);
}

void Store(int index, uint32_t value) {
  std::atomic_ref<uint32_t>(aldglue::SharedWords()[index]).store(value, std::memory_order_relaxed);
}

// The device library's download progress, published for other processes.
void PublishDownloadProgress(int bytesSent, int imageSize) {
  Store(kSizeWord, static_cast<uint32_t>(imageSize));
  Store(kProgressWord, static_cast<uint32_t>(bytesSent));
}

// Installed while the library is loaded: only a pointer handed to aldlink,
// which is loaded and set up before this library.
struct ProgressSink {
  ProgressSink() { ald::SetDownloadProgressSink(&PublishDownloadProgress); }
  ~ProgressSink() { ald::SetDownloadProgressSink(nullptr); }
} progressSink;

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
