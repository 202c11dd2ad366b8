// The words shared by every process of one user that loads this library, on
// Windows: a named file mapping backed by the paging file, mapped on the
// first call of one of the functions below.
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

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "aldglue/shared_words.h"

namespace {

constexpr DWORD kObjectSize = 4096;

alignas(4) uint32_t privateWords[aldglue::kSharedWordCount] = {};

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

struct NamedMapping {
  HANDLE mapping = nullptr;
  uint32_t* words = privateWords;

  NamedMapping() {
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

  ~NamedMapping() {
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
  static NamedMapping shared;
  return shared.words;
}

}  // namespace

uint32_t* aldglue::SharedWords() {
  return Words();
}
