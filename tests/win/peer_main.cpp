// A second process for the tests: loads aldglue.dll beside it and either
// prints the process status and download size ("get") or sets them ("set
// <status> <size>"); or opens a file for reading and writing, says "held"
// and keeps it until its standard input ends ("hold <path>").
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using GetWord = int (*)(int, int*);
using SetStatus = int (*)(int, int);
using GetSize = int (*)(int*);
using SetSize = int (*)(int);

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "hold") == 0) {
    // Willing to share: only an exclusive holder on the other side makes
    // either open fail.
    HANDLE h = CreateFileA(argv[2], GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      std::printf("not held\n");
      return 3;
    }
    std::printf("held\n");
    std::fflush(stdout);
    char c;
    DWORD n = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &n, nullptr) && n > 0) {
    }
    CloseHandle(h);
    return 0;
  }
  char self[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
  std::string dir(self, n);
  dir = dir.substr(0, dir.find_last_of("\\/"));
  HMODULE glue = LoadLibraryA((dir + "\\aldglue.dll").c_str());
  if (glue == nullptr) {
    std::printf("cannot load aldglue.dll\n");
    return 2;
  }
  auto getStatus =
      reinterpret_cast<GetWord>(reinterpret_cast<void*>(GetProcAddress(glue, "getProcessStatus")));
  auto setStatus = reinterpret_cast<SetStatus>(
      reinterpret_cast<void*>(GetProcAddress(glue, "setProcessStatus")));
  auto getSize = reinterpret_cast<GetSize>(
      reinterpret_cast<void*>(GetProcAddress(glue, "getDownloadFileSize")));
  auto setSize = reinterpret_cast<SetSize>(
      reinterpret_cast<void*>(GetProcAddress(glue, "setDownloadFileSize")));
  if (!getStatus || !setStatus || !getSize || !setSize) {
    std::printf("missing export\n");
    return 2;
  }
  if (argc == 4 && std::strcmp(argv[1], "set") == 0) {
    setStatus(0, std::atoi(argv[2]));
    setSize(std::atoi(argv[3]));
    return 0;
  }
  int status = -1;
  int size = -1;
  getStatus(0, &status);
  getSize(&size);
  std::printf("%d %d\n", status, size);
  return 0;
}
