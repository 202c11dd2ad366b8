// The few operating system calls of the widget-free library, behind one
// narrow interface so that the callers read the same on every platform:
// platform_posix.cpp holds the POSIX calls, platform_win32.cpp their Windows
// counterparts, and the build takes the one that fits.
#pragma once

#include <string>
#include <vector>

namespace aldpanel::platform {

// The interface library's file name ("libaldglue.so" or "aldglue.dll") and
// the busy window program's ("notebox" or "notebox.exe").
extern const char* const kGlueLibraryFile;
extern const char* const kBusyProgramFile;

// Loads the shared library at `path` (a bare name goes through the loader's
// own search); null with *why set to the loader's error text when it fails.
void* LoadLibraryAt(const std::string& path, std::string* why);
// The address of export `name`, or null.
void* FindSymbol(void* library, const char* name);
void CloseLibrary(void* library);

// Starts `program` with `args` (not counting the program itself); its
// process id, or -1 with *why set ("program: reason").
int StartProgram(const std::string& program, const std::vector<std::string>& args,
                 std::string* why);
// Whether process `pid` still runs; once it has ended it is reaped and this
// answers false.
bool ProgramRuns(int pid);
// Asks process `pid` to end; `force` ends it without asking.
void TerminateProgram(int pid, bool force);
// Waits until process `pid` has ended and reaps it.
void ReapProgram(int pid);

// Makes `path` the current directory; false when it cannot.
bool ChangeDirectory(const std::string& path);

// The folder of the running program; "" when unknown.
std::string ProgramDir();
bool IsReadable(const std::string& path);
bool IsDirectory(const std::string& path);

// Descriptors for the debug output. Both opens leave the descriptor out of
// the processes the program starts, so a busy window does not hold the log.
inline constexpr int kStdOut = 1;
inline constexpr int kStdErr = 2;
// The null device for writing; -1 when it cannot be opened.
int OpenNullForWriting();
// Creates or truncates `path` for writing (owner only); -1 when it cannot.
int OpenForWriting(const std::string& path);
int Duplicate(int fd);
void Redirect(int from, int to);
void Close(int fd);
void RemoveFile(const std::string& path);

}  // namespace aldpanel::platform
