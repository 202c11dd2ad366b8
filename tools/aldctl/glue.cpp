#include "tools/aldctl/glue.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace aldctl {

const char* const kGlueLibrary = "libaldglue.so";

std::string ProgramDirectory() {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "";
  std::string path(buffer, static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

bool LoadGlue(const std::string& explicitPath, Glue& glue, std::string& error) {
  std::string tried;
  auto attempt = [&](const std::string& path) {
    dlerror();
    glue.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (glue.handle != nullptr) {
      glue.path = path;
      return true;
    }
    const char* why = dlerror();
    tried += "\n  " + path + ": " + (why ? why : "not loaded");
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
      const std::string beside = dir + "/" + kGlueLibrary;
      if (access(beside.c_str(), F_OK) == 0) {
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
#define ALDCTL_BIND(name) \
  glue.name = reinterpret_cast<decltype(&::name)>(dlsym(glue.handle, #name));
  ALDCTL_EXPORTS(ALDCTL_BIND)
#undef ALDCTL_BIND
  return true;
}

FILE* SplitOutput(const std::string& traceFile, std::string& error) {
  std::fflush(stdout);
  const int sink = traceFile.empty()
                       ? open("/dev/null", O_WRONLY | O_CLOEXEC)
                       : open(traceFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (sink < 0) {
    error = "cannot open the trace file " + traceFile;
    return nullptr;
  }
  const int own = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  if (own < 0 || dup2(sink, STDOUT_FILENO) < 0) {
    close(sink);
    if (own >= 0) close(own);
    error = "cannot redirect the library's trace";
    return nullptr;
  }
  close(sink);
  FILE* out = fdopen(own, "w");
  if (out == nullptr) {
    close(own);
    error = "cannot open the output stream";
  }
  return out;
}

std::string PortProblem(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return "cannot open " + path + ": " + std::strerror(errno);
  if (S_ISREG(st.st_mode)) return path + " is a regular file, not a serial port";
  if (S_ISDIR(st.st_mode)) return path + " is a directory, not a serial port";
  if (!S_ISCHR(st.st_mode)) return path + " is not a serial port";
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return "cannot open " + path + ": " + std::strerror(errno);
  std::string problem;
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) {
    problem = path + " is not a serial port";
  } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    problem = "cannot open " + path + ": it is in use by another program";
  } else {
    flock(fd, LOCK_UN);
  }
  close(fd);
  return problem;
}

bool StderrIsTerminal() {
  return isatty(STDERR_FILENO) != 0;
}

void WriteNewlineToStderr() {
  const char newline = '\n';
  if (write(STDERR_FILENO, &newline, 1) < 0) {
    // Nothing more can be done for the line in a signal handler.
  }
}

}  // namespace aldctl
