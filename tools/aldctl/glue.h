// The interface library as aldctl sees it: loaded by name at run time and
// bound export by export, as the window program does, so that the tool runs
// exactly the path the other programs run. A missing export disables only
// the commands that need it.
#pragma once

#include <cstdio>
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
  X(getPowerValue) X(getPinValue) X(setPowerValue) X(setPinValue) X(closeComPort)
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

// Whether the serial port ALDLINK_PORT names is there: a device path on
// Linux; a COM port name ("COM5", "\\.\COM5") or a path on Windows.
bool PortExists(const char* port);

// The directory of the running program (empty when unknown).
std::string ProgramDirectory();

// Sends the library's trace (standard output, file descriptor 1) to
// `traceFile`, or discards it when that is empty, and returns the stream on
// which the tool writes its own output: the original standard output. Null
// with a message when the trace file cannot be opened.
FILE* SplitOutput(const std::string& traceFile, std::string& error);

// Shows the seconds an operation has run, on standard error, while it runs;
// only when standard error is a terminal.
class ElapsedTicker {
 public:
  explicit ElapsedTicker(const std::string& label);
  ~ElapsedTicker();
  ElapsedTicker(const ElapsedTicker&) = delete;
  ElapsedTicker& operator=(const ElapsedTicker&) = delete;

 private:
  struct State;
  State* state_ = nullptr;
};

}  // namespace aldctl
