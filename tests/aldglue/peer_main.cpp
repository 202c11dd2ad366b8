// A second process for the shared-word tests: loads the flat control
// library by path and binds its word functions by name, as the busy window
// does.
//   aldglue_peer LIBRARY get            prints "status=S size=N"
//   aldglue_peer LIBRARY set S N        writes both words
// Exit status 0 on success, 2 on bad arguments, 3 when loading or binding
// failed.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
using GetFn = int (*)(int, int*);
using SetFn = int (*)(int, int);
using SetSizeFn = int (*)(int);
using GetSizeFn = int (*)(int*);
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 3;
  }
  auto getStatus = reinterpret_cast<GetFn>(dlsym(lib, "getProcessStatus"));
  auto setStatus = reinterpret_cast<SetFn>(dlsym(lib, "setProcessStatus"));
  auto getSize = reinterpret_cast<GetSizeFn>(dlsym(lib, "getDownloadFileSize"));
  auto setSize = reinterpret_cast<SetSizeFn>(dlsym(lib, "setDownloadFileSize"));
  if (!getStatus || !setStatus || !getSize || !setSize) return 3;

  if (std::strcmp(argv[2], "get") == 0) {
    int status = -1, size = -1;
    getStatus(0, &status);
    getSize(&size);
    // The library writes its trace to standard output too; this line is the
    // last one.
    std::printf("status=%d size=%d\n", status, size);
  } else if (std::strcmp(argv[2], "set") == 0 && argc == 5) {
    setStatus(0, std::atoi(argv[3]));
    setSize(std::atoi(argv[4]));
  } else {
    return 2;
  }
  dlclose(lib);
  return 0;
}
