// The device operation runner: the one routine through which the windows
// run a bus operation. It starts the busy window program (notebox) before
// the operations that show it, calls the export, hands the finished status
// to the busy window through the shared process status, and ends it.
//
// Everything that touches the screen, another process or the clock goes
// through RunnerHost, so that the windows supply message boxes and tests
// answer them and skip the 300 ms wait.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "aldpanel/core/glue.h"

namespace aldpanel {

// Operation codes.
enum OperationCode : int {
  kOpSetTilt = 51,
  kOpGetTilt = 52,
  kOpSelfTest = 53,
  kOpReset = 54,
  kOpCalibrate = 55,
  kOpClearAlarms = 56,
  kOpRefresh = 58,
  kOpScan = 59,
  kOpAddDevice = 60,
  kOpDownload = 61,
  kOpGetMode = 62,
  kOpGetGain = 63,
  kOpSetGain = 64,
  kOpSetMode = 65,
  kOpSwitchAisgVersion = 71,
  kOpSelfTestTma = 153,
  kOpResetTma = 154,
  kOpClearAlarmsTma = 156,
  kOpDownloadTma = 161,
};

// The filler of an integer argument that an operation does not use, and the
// runner's result when the export is not bound or the code calls nothing.
inline constexpr int kUnused = -1800;
inline constexpr int kNotRun = -111;

// Process status words of the busy window handshake.
inline constexpr int kStatusBusy = 1001;
inline constexpr int kStatusFinished = 1000;
// How long the runner lets the busy window close by itself.
inline constexpr int kBusyEndWaitMs = 300;

// Whether an operation shows the busy window (all but the quick reads and
// alarm clearing).
bool ShowsBusyWindow(int code);

// The busy window's arguments: the title, and for downloads (61, 161) the
// file size in decimal.
std::vector<std::string> BusyWindowArgs(int code, const std::string& title, int fileSize);

enum class MessageIcon { kInformation, kWarning, kError, kQuestion };

// What the runner needs from its surroundings.
class RunnerHost {
 public:
  virtual ~RunnerHost() = default;
  // Starts the busy window program with `args` (not counting the program
  // itself); its process id, or -1 with *why set when it cannot be started.
  virtual int StartBusyWindow(const std::vector<std::string>& args, std::string* why) = 0;
  // Ends the busy window `pid` if it is still running and reaps it.
  virtual void EndBusyWindow(int pid) = 0;
  // The pause between the finished status and ending the busy window.
  virtual void Pause(int milliseconds) = 0;
  // A message box.
  virtual void ShowMessage(MessageIcon icon, const std::string& title, const std::string& text) = 0;
};

// The real process handling for this platform (platform.h): starts
// `busyProgram` (the notebox beside aldpanel), pauses with a sleep, asks the
// busy window to end (ends it outright when it does not go within a second)
// and reaps it. ShowMessage stays for the windows to supply.
class ProcessRunnerHost : public RunnerHost {
 public:
  explicit ProcessRunnerHost(std::string busyProgram) : busyProgram_(std::move(busyProgram)) {}
  int StartBusyWindow(const std::vector<std::string>& args, std::string* why) override;
  void EndBusyWindow(int pid) override;
  void Pause(int milliseconds) override;

 private:
  std::string busyProgram_;
};

// The message shown when the busy window cannot be started, and its title.
inline constexpr const char* kBusyStartFailedTitle = "Busy window";
std::string BusyStartFailedText(const std::string& program, const std::string& why);

class OperationRunner {
 public:
  // `workDir` becomes the current directory before each operation (when not
  // empty). `scanDepth` and `addressAssign` are scanMain's arguments.
  OperationRunner(GlueLibrary& glue, RunnerHost& host, std::string workDir)
      : glue_(glue), host_(host), workDir_(std::move(workDir)) {}

  void SetScanArguments(int scanDepth, int addressAssign) {
    scanDepth_ = scanDepth;
    addressAssign_ = addressAssign;
  }
  int scanDepth() const { return scanDepth_; }
  int addressAssign() const { return addressAssign_; }

  // Runs operation `code` (OperationCode; any other code calls nothing).
  // A: file name or serial number or version text; B: vendor code; X: tilt,
  // gain, mode or file size; Y: subunit; Z: address. `out` receives the value
  // of the get operations (may be null otherwise). The export's result, or
  // kNotRun.
  int Run(int code, int* out, const std::string& a, const std::string& b, int x, int y, int z,
          const std::string& title);
  int Run(int code, const std::string& title) {
    return Run(code, nullptr, "", "", kUnused, kUnused, kUnused, title);
  }
  int Run(int code, int z, const std::string& title) {
    return Run(code, nullptr, "", "", kUnused, kUnused, z, title);
  }
  int Run(int code, int y, int z, const std::string& title) {
    return Run(code, nullptr, "", "", kUnused, y, z, title);
  }
  int Run(int code, int x, int y, int z, const std::string& title) {
    return Run(code, nullptr, "", "", x, y, z, title);
  }
  int Run(int code, const std::string& a, const std::string& b, int x, int y, int z,
          const std::string& title) {
    return Run(code, nullptr, a, b, x, y, z, title);
  }

  // The adapter, port or site-file fault text that the library reported
  // right after the last Run ("" when none).
  const std::string& lastFaultText() const { return lastFault_; }

 private:
  int CallExport(int code, int* out, const std::string& a, const std::string& b, int x, int y,
                 int z);

  GlueLibrary& glue_;
  RunnerHost& host_;
  std::string workDir_;
  int scanDepth_ = 4;
  int addressAssign_ = 1;
  std::string lastFault_;
};

// The result message of a runner call: its icon and text. 0: "Process is
// finished." (information); -1: "The settings failed!" (for code 71
// "AISG version settings failed!"), error icon; any other result: its error
// text (`errorText`, from the error table), error icon. A non-empty
// `faultText` (the library's own reason) is added on a line of its own.
struct ResultMessageText {
  MessageIcon icon;
  std::string text;
};
ResultMessageText MakeResultMessage(int code, int result, const std::string& errorText,
                                    const std::string& faultText = "");

// Shows the result message of a runner call through `host`, titled `title`;
// `errorText` as above (the caller looks it up with Tables::ErrorText).
void ShowResultMessage(RunnerHost& host, const std::string& title, int code, int result,
                       const std::string& errorText, const std::string& faultText = "");

}  // namespace aldpanel
