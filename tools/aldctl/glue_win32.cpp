// Loading the interface library on Windows: LoadLibrary and GetProcAddress,
// the program's directory from the module file name, and the C runtime's
// descriptors for splitting the library's trace from the tool's output.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>

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

std::string PortProblem(const std::string& path) {
  // "COM5" names the device \\.\COM5; anything else is opened as given.
  std::string device = path;
  const std::string bare = path.rfind("\\\\.\\", 0) == 0 ? path.substr(4) : path;
  if (bare.size() > 3 && (bare[0] == 'C' || bare[0] == 'c') && (bare[1] == 'O' || bare[1] == 'o') &&
      (bare[2] == 'M' || bare[2] == 'm') &&
      bare.find_first_not_of("0123456789", 3) == std::string::npos) {
    device = "\\\\.\\" + bare;
  }
  const DWORD attributes = GetFileAttributesA(device.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return path + " is a directory, not a serial port";
  }
  // Opened as the library opens it: no sharing, so a port held by another
  // program fails here too.
  HANDLE h = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION) {
      return "cannot open " + path + ": it is in use by another program";
    }
    return "cannot open " + path + ": " + WindowsErrorText(code);
  }
  std::string problem;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(h, &dcb)) problem = path + " is not a serial port";
  CloseHandle(h);
  return problem;
}

bool StderrIsTerminal() {
  return _isatty(_fileno(stderr)) != 0;
}

void WriteNewlineToStderr() {
  const char newline = '\n';
  if (_write(_fileno(stderr), &newline, 1) < 0) {
    // Nothing more can be done for the line in a signal handler.
  }
}

}  // namespace aldctl
