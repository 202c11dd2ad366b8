// The words shared by every process of one user that loads this library, on
// Windows: a named file mapping backed by the paging file, mapped on the
// first call of one of the functions below.
//
// Layout and access as on Linux: four aligned 32-bit words, all zero until
// written; the first is reserved, the second is the process status, the
// third the download file size, the fourth the bytes of the download image
// sent so far. Each access is a single aligned 32-bit load or store, so no
// lock is needed.
//
// The mapping is named "Local\aldglue-<user SID>": the session's own
// namespace, and the user's security identifier in the name, so that two
// users of one machine never share the words (a data section shared by the
// PE image would be shared by every user). The default security of a new
// mapping admits only its creator's account. ALDGLUE_SHM_NAME overrides the
// name (tests keep parallel runs apart with it). The mapping lives while
// any process holds it; when it cannot be had the words stay private to the
// process.
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "aldglue/aldglue.h"
#include "aldlink/procedures/download_progress.h"

namespace {

constexpr int kWordCount = 4;
constexpr int kStatusWord = 1;
constexpr int kSizeWord = 2;
constexpr int kProgressWord = 3;
constexpr DWORD kObjectSize = 4096;

alignas(4) uint32_t privateWords[kWordCount] = {};

// The string form of this process's user SID; empty when it cannot be read.
std::string UserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  std::string sid;
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  if (size > 0) {
    std::string buffer(size, '\0');
    if (GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
      char* text = nullptr;
      if (ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
        sid = text;
        LocalFree(text);
      }
    }
  }
  CloseHandle(token);
  return sid;
}

std::string MappingName() {
  const char* override = std::getenv("ALDGLUE_SHM_NAME");
  if (override != nullptr && override[0] != '\0') {
    // Linux names begin with a slash; a mapping name needs none.
    std::string name = override;
    while (!name.empty() && name.front() == '/') name.erase(0, 1);
    if (!name.empty()) return "Local\\" + name;
  }
  const std::string sid = UserSid();
  return sid.empty() ? std::string() : "Local\\aldglue-" + sid;
}

struct SharedWords {
  HANDLE mapping = nullptr;
  uint32_t* words = privateWords;

  SharedWords() {
    const std::string name = MappingName();
    if (name.empty()) return;
    // A new mapping of the paging file is zero-filled; a second process
    // opens the same one.
    mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kObjectSize,
                                 name.c_str());
    if (mapping == nullptr) return;
    void* view = MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, kObjectSize);
    if (view == nullptr) {
      CloseHandle(mapping);
      mapping = nullptr;
      return;
    }
    words = static_cast<uint32_t*>(view);
  }

  ~SharedWords() {
    if (mapping == nullptr) return;
    uint32_t* view = words;
    words = privateWords;
    UnmapViewOfFile(view);
    CloseHandle(mapping);
  }
};

// Mapped on first use rather than while the library is being loaded, where
// the loader lock is held and calls into other libraries are best avoided.
uint32_t* Words() {
  static SharedWords shared;
  return shared.words;
}

uint32_t Load(int index) {
  return std::atomic_ref<uint32_t>(Words()[index]).load(std::memory_order_relaxed);
}

void Store(int index, uint32_t value) {
  std::atomic_ref<uint32_t>(Words()[index]).store(value, std::memory_order_relaxed);
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
