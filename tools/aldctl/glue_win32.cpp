// Loading the interface library on Windows: LoadLibrary and GetProcAddress,
// the program's directory from the module file name, and the C runtime's
// descriptors for splitting the library's trace from the tool's output.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "tools/aldctl/glue.h"

namespace aldctl {

const char* const kGlueLibrary = "aldglue.dll";

namespace {

std::string WindowsErrorText(DWORD code) {
  char text[256] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, text, sizeof text, nullptr);
  std::string out(text, n);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) {
    out.pop_back();
  }
  return out.empty() ? "error " + std::to_string(code) : out;
}

}  // namespace

bool PortExists(const char* port) {
  if (port == nullptr || *port == '\0') return false;
  std::string name = port;
  if (name.rfind("\\\\.\\", 0) == 0) name.erase(0, 4);
  // A COM port is a name in the device namespace, not a file.
  char target[1024];
  if (QueryDosDeviceA(name.c_str(), target, sizeof target) != 0) return true;
  return GetFileAttributesA(port) != INVALID_FILE_ATTRIBUTES;
}

std::string ProgramDirectory() {
  char buffer[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  if (n == 0 || n >= sizeof buffer) return "";
  std::string path(buffer, n);
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

bool LoadGlue(const std::string& explicitPath, Glue& glue, std::string& error) {
  std::string tried;
  auto attempt = [&](const std::string& path) {
    // No system dialog for a broken library: the message below says it.
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryA(path.c_str());
    const DWORD code = GetLastError();
    SetErrorMode(oldMode);
    if (module != nullptr) {
      glue.handle = module;
      glue.path = path;
      return true;
    }
    tried += "\n  " + path + ": " + WindowsErrorText(code);
    return false;
  };
  bool loaded = false;
  if (!explicitPath.empty()) {
    loaded = attempt(explicitPath);
  } else {
    const std::string dir = ProgramDirectory();
    if (!dir.empty()) {
      // Only when the file is there: a broken library beside the program
      // must be reported, a missing one falls through to the search path.
      const std::string beside = dir + "\\" + kGlueLibrary;
      if (GetFileAttributesA(beside.c_str()) != INVALID_FILE_ATTRIBUTES) {
        loaded = attempt(beside);
        if (!loaded) {
          error = "cannot load the interface library:" + tried;
          return false;
        }
      }
    }
    if (!loaded) loaded = attempt(kGlueLibrary);
  }
  if (!loaded) {
    error = "cannot load the interface library:" + tried;
    return false;
  }
  HMODULE module = static_cast<HMODULE>(glue.handle);
#define ALDCTL_BIND(name) \
  glue.name =             \
      reinterpret_cast<decltype(&::name)>(reinterpret_cast<void*>(GetProcAddress(module, #name)));
  ALDCTL_EXPORTS(ALDCTL_BIND)
#undef ALDCTL_BIND
  return true;
}

FILE* SplitOutput(const std::string& traceFile, std::string& error) {
  std::fflush(stdout);
  const int sink = traceFile.empty()
                       ? _open("NUL", _O_WRONLY)
                       : _open(traceFile.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC, 0644);
  if (sink < 0) {
    error = "cannot open the trace file " + traceFile;
    return nullptr;
  }
  const int own = _dup(_fileno(stdout));
  if (own < 0 || _dup2(sink, _fileno(stdout)) < 0) {
    _close(sink);
    if (own >= 0) _close(own);
    error = "cannot redirect the library's trace";
    return nullptr;
  }
  _close(sink);
  FILE* out = _fdopen(own, "w");
  if (out == nullptr) {
    _close(own);
    error = "cannot open the output stream";
  }
  return out;
}

struct ElapsedTicker::State {
  std::string label;
  std::chrono::steady_clock::time_point start;
  std::mutex mutex;
  std::condition_variable wake;
  bool done = false;
  std::thread thread;
};

ElapsedTicker::ElapsedTicker(const std::string& label) {
  if (!_isatty(_fileno(stderr))) return;
  state_ = new State;
  state_->label = label;
  state_->start = std::chrono::steady_clock::now();
  State* s = state_;
  s->thread = std::thread([s] {
    std::unique_lock<std::mutex> lock(s->mutex);
    while (!s->wake.wait_for(lock, std::chrono::seconds(1), [s] { return s->done; })) {
      const auto secs = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::steady_clock::now() - s->start)
                            .count();
      std::fprintf(stderr, "\r%s: %lld s", s->label.c_str(), static_cast<long long>(secs));
    }
  });
}

ElapsedTicker::~ElapsedTicker() {
  if (state_ == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->done = true;
  }
  state_->wake.notify_all();
  state_->thread.join();
  const double secs =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - state_->start).count();
  std::fprintf(stderr, "\r%s: %.1f s\n", state_->label.c_str(), secs);
  delete state_;
}

}  // namespace aldctl
