// The Windows side of the platform interface (platform.h).
#include <windows.h>
// After windows.h, which the others need.
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <map>
#include <mutex>

#include "aldpanel/core/platform.h"

namespace aldpanel::platform {

const char* const kGlueLibraryFile = "aldglue.dll";
const char* const kBusyProgramFile = "notebox.exe";

namespace {

std::string SystemErrorText(DWORD code) {
  char* text = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result = n != 0 && text != nullptr ? std::string(text, n) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!result.empty() &&
         (result.back() == '\n' || result.back() == '\r' || result.back() == ' ')) {
    result.pop_back();
  }
  if (result.empty()) result = "error " + std::to_string(code);
  return result;
}

// One argument as the C runtime's command line parser reads it back:
// quoted when it holds blanks or quotes, backslashes doubled before a quote.
void AppendQuoted(std::string* line, const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
    *line += arg;
    return;
  }
  *line += '"';
  size_t slashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    if (c == '"') {
      line->append(slashes * 2 + 1, '\\');
    } else {
      line->append(slashes, '\\');
    }
    slashes = 0;
    *line += c;
  }
  line->append(slashes * 2, '\\');
  *line += '"';
}

// The callers know a process by its id (it is also the id the busy window
// handshake passes on); the handles that wait for and end it are kept here.
std::mutex processes_lock;
std::map<int, HANDLE> processes;

HANDLE HandleOf(int pid) {
  std::lock_guard<std::mutex> lock(processes_lock);
  auto it = processes.find(pid);
  return it != processes.end() ? it->second : nullptr;
}

void Forget(int pid) {
  std::lock_guard<std::mutex> lock(processes_lock);
  auto it = processes.find(pid);
  if (it == processes.end()) return;
  CloseHandle(it->second);
  processes.erase(it);
}

}  // namespace

void* LoadLibraryAt(const std::string& path, std::string* why) {
  HMODULE h = LoadLibraryA(path.c_str());
  if (h == nullptr && why != nullptr) *why = path + ": " + SystemErrorText(GetLastError());
  return reinterpret_cast<void*>(h);
}

void* FindSymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(void* library) {
  if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

int StartProgram(const std::string& program, const std::vector<std::string>& args,
                 std::string* why) {
  std::string line;
  AppendQuoted(&line, program);
  for (const std::string& a : args) {
    line += ' ';
    AppendQuoted(&line, a);
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  // CreateProcessA may write into the command line.
  std::vector<char> writable(line.begin(), line.end());
  writable.push_back('\0');
  if (!CreateProcessA(program.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &info)) {
    if (why != nullptr) *why = program + ": " + SystemErrorText(GetLastError());
    return -1;
  }
  CloseHandle(info.hThread);
  int pid = static_cast<int>(info.dwProcessId);
  std::lock_guard<std::mutex> lock(processes_lock);
  processes[pid] = info.hProcess;
  return pid;
}

bool ProgramRuns(int pid) {
  HANDLE h = HandleOf(pid);
  if (h == nullptr) return false;
  if (WaitForSingleObject(h, 0) != WAIT_OBJECT_0) return true;
  Forget(pid);
  return false;
}

void TerminateProgram(int pid, bool /*force*/) {
  // Windows has no polite request to a process as such: the busy window is
  // ended outright either way, as it holds nothing that needs saving.
  HANDLE h = HandleOf(pid);
  if (h != nullptr) TerminateProcess(h, 1);
}

void ReapProgram(int pid) {
  HANDLE h = HandleOf(pid);
  if (h == nullptr) return;
  WaitForSingleObject(h, INFINITE);
  Forget(pid);
}

bool ChangeDirectory(const std::string& path) {
  return _chdir(path.c_str()) == 0;
}

std::string ProgramDir() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  std::string full(path, n);
  size_t slash = full.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : full.substr(0, slash);
}

bool IsReadable(const std::string& path) {
  return _access(path.c_str(), 4) == 0;
}

bool IsDirectory(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int OpenNullForWriting() {
  return _open("NUL", _O_WRONLY | _O_NOINHERIT);
}

int OpenForWriting(const std::string& path) {
  return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_NOINHERIT | _O_BINARY,
               _S_IREAD | _S_IWRITE);
}

int Duplicate(int fd) {
  return _dup(fd);
}

void Redirect(int from, int to) {
  _dup2(from, to);
}

void Close(int fd) {
  _close(fd);
}

void RemoveFile(const std::string& path) {
  _unlink(path.c_str());
}

}  // namespace aldpanel::platform
