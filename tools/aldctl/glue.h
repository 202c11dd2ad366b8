// The interface library as aldctl sees it: loaded by name at run time and
// bound export by export, as the window program does, so that the tool runs
// exactly the path the other programs run. A missing export disables only
// the commands that need it.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "aldglue/aldglue.h"

namespace aldctl {

// X(name) for every export aldctl binds.
// clang-format off
#define ALDCTL_EXPORTS(X)                                                               \
  X(scanMain) X(refreshMain) X(addDevice) X(getMirelkData) X(getMirelkDataCount)        \
  X(getMirelkDataCountStr) X(getLastError) X(setTilt) X(getTilt) X(selfTest)            \
  X(resetSoftware) X(calibrate) X(clearActiveAlarms) X(getAlarmStatus)                  \
  X(downloadSoftware) X(configRET) X(getGain) X(getMode) X(setGain) X(setMode)          \
  X(pollDevice) X(selfTestTMA) X(resetSoftwareTMA) X(clearActiveAlarmsTMA)              \
  X(downloadSoftwareTMA) X(setDeviceData) X(switchAISGVersion) X(getPort)               \
  X(getPowerValue) X(getPinValue) X(setPowerValue) X(setPinValue) X(closeComPort)        \
  X(getLastErrorText) X(setDownloadFileSize) X(getDownloadFileSize) X(getDownloadProgress)
// clang-format on

struct Glue {
  void* handle = nullptr;
  std::string path;  // where the library was loaded from
#define ALDCTL_POINTER(name) decltype(&::name) name = nullptr;
  ALDCTL_EXPORTS(ALDCTL_POINTER)
#undef ALDCTL_POINTER
};

// The library's file name (libaldglue.so; aldglue.dll on Windows), given by
// the platform's unit.
extern const char* const kGlueLibrary;

// Loads the library from `explicitPath` when given, else from the directory
// of the running program, else by the normal search; binds every export
// that is there. False with a message when no library could be loaded.
bool LoadGlue(const std::string& explicitPath, Glue& glue, std::string& error);

// The directory of the running program (empty when unknown).
std::string ProgramDirectory();

// Sends the library's trace (standard output, file descriptor 1) to
// `traceFile`, or discards it when that is empty, and returns the stream on
// which the tool writes its own output: the original standard output. Null
// with a message when the trace file cannot be opened.
FILE* SplitOutput(const std::string& traceFile, std::string& error);

// What keeps `path` from serving as the adapter's serial port (missing, no
// permission, not a terminal device, locked by another program); empty
// when it can be opened. Opens and closes it once. On Windows `path` may be
// a COM port name ("COM5") or its device path ("\\.\COM5").
std::string PortProblem(const std::string& path);

// Whether standard error is a terminal; a newline on standard error that is
// safe to write from a signal handler.
bool StderrIsTerminal();
void WriteNewlineToStderr();

// Shows the seconds an operation has run, on standard error, while it runs;
// only when standard error is a terminal. With a progress source the line
// also shows the share done. Ctrl-C while it shows ends the line before the
// program stops, so that the shell's prompt starts on a line of its own.
class ElapsedTicker {
 public:
  // Gives the bytes done and the total; false when it cannot tell.
  using Progress = std::function<bool(int& done, int& total)>;
  explicit ElapsedTicker(const std::string& label, Progress progress = {});
  ~ElapsedTicker();
  ElapsedTicker(const ElapsedTicker&) = delete;
  ElapsedTicker& operator=(const ElapsedTicker&) = delete;

 private:
  struct State;
  State* state_ = nullptr;
};

}  // namespace aldctl
