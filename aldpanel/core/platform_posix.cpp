// The POSIX side of the platform interface (platform.h).
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "aldpanel/core/platform.h"

extern char** environ;

namespace aldpanel::platform {

const char* const kGlueLibraryFile = "libaldglue.so";
const char* const kBusyProgramFile = "notebox";

void* LoadLibraryAt(const std::string& path, std::string* why) {
  dlerror();
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr && why != nullptr) {
    const char* e = dlerror();
    *why = e != nullptr ? e : "";
  }
  return h;
}

void* FindSymbol(void* library, const char* name) {
  return dlsym(library, name);
}

void CloseLibrary(void* library) {
  if (library != nullptr) dlclose(library);
}

int StartProgram(const std::string& program, const std::vector<std::string>& args,
                 std::string* why) {
  std::vector<std::string> owned;
  owned.reserve(args.size() + 1);
  owned.push_back(program);
  owned.insert(owned.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : owned) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
  if (rc != 0) {
    if (why != nullptr) *why = program + ": " + std::strerror(rc);
    return -1;
  }
  return static_cast<int>(pid);
}

bool ProgramRuns(int pid) {
  int status = 0;
  pid_t done = waitpid(pid, &status, WNOHANG);
  return !(done == pid || (done < 0 && errno == ECHILD));
}

void TerminateProgram(int pid, bool force) {
  kill(pid, force ? SIGKILL : SIGTERM);
}

void ReapProgram(int pid) {
  int status = 0;
  waitpid(pid, &status, 0);
}

bool ChangeDirectory(const std::string& path) {
  return ::chdir(path.c_str()) == 0;
}

std::string ProgramDir() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return exe.parent_path().string();
}

bool IsReadable(const std::string& path) {
  return ::access(path.c_str(), R_OK) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int OpenNullForWriting() {
  return ::open("/dev/null", O_WRONLY | O_CLOEXEC);
}

int OpenForWriting(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
}

int Duplicate(int fd) {
  return ::dup(fd);
}

void Redirect(int from, int to) {
  ::dup2(from, to);
}

void Close(int fd) {
  ::close(fd);
}

void RemoveFile(const std::string& path) {
  ::unlink(path.c_str());
}

}  // namespace aldpanel::platform
