#include "aldpanel/core/runner.h"

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "aldpanel/core/platform.h"
#include "aldpanel/core/startup.h"

namespace aldpanel {

bool ShowsBusyWindow(int code) {
  switch (code) {
    case kOpSetTilt:
    case kOpSelfTest:
    case kOpReset:
    case kOpCalibrate:
    case kOpRefresh:
    case kOpScan:
    case kOpAddDevice:
    case kOpDownload:
    case kOpSetGain:
    case kOpSetMode:
    case kOpSwitchAisgVersion:
    case kOpSelfTestTma:
    case kOpResetTma:
    case kOpDownloadTma:
      return true;
    default:
      // The quick reads and alarm clearing (52, 56, 62, 63, 156) run
      // without it, and a code that calls nothing needs none.
      return false;
  }
}

std::vector<std::string> BusyWindowArgs(int code, const std::string& title, int fileSize) {
  std::vector<std::string> args{title};
  if (code == kOpDownload || code == kOpDownloadTma) args.push_back(std::to_string(fileSize));
  return args;
}

std::string BusyStartFailedText(const std::string& program, const std::string& why) {
  std::string text = "Could not start the busy window (" + program + ")";
  if (!why.empty()) text += ": " + why;
  text += ".\nThe operation runs without it.";
  return text;
}

int ProcessRunnerHost::StartBusyWindow(const std::vector<std::string>& args, std::string* why) {
  return platform::StartProgram(busyProgram_, args, why);
}

void ProcessRunnerHost::EndBusyWindow(int pid) {
  if (pid <= 0) return;
  if (!platform::ProgramRuns(pid)) return;  // it closed by itself
  platform::TerminateProgram(pid, false);
  // A window program that ignores the request is ended for good after a
  // second; the child is reaped either way so no zombie stays behind.
  for (int i = 0; i < 100; ++i) {
    if (!platform::ProgramRuns(pid)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  platform::TerminateProgram(pid, true);
  platform::ReapProgram(pid);
}

void ProcessRunnerHost::Pause(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int OperationRunner::CallExport(int code, int* out, const std::string& a, const std::string& b,
                                int x, int y, int z) {
  const GlueExports& f = glue_.exports();
  // The exports take writable texts; they get copies.
  std::vector<char> text_a(a.begin(), a.end());
  text_a.push_back('\0');
  std::vector<char> text_b(b.begin(), b.end());
  text_b.push_back('\0');
  int scratch = 0;
  int* value = out != nullptr ? out : &scratch;
  switch (code) {
    case kOpSetTilt:
      return f.setTilt ? f.setTilt(z, y, x) : kNotRun;
    case kOpGetTilt:
      return f.getTilt ? f.getTilt(z, y, value) : kNotRun;
    case kOpSelfTest:
      return f.selfTest ? f.selfTest(z) : kNotRun;
    case kOpReset:
      return f.resetSoftware ? f.resetSoftware(z) : kNotRun;
    case kOpCalibrate:
      return f.calibrate ? f.calibrate(z, y) : kNotRun;
    case kOpClearAlarms:
      return f.clearActiveAlarms ? f.clearActiveAlarms(z, y) : kNotRun;
    case kOpRefresh:
      return f.refreshMain ? f.refreshMain() : kNotRun;
    case kOpScan:
      return f.scanMain ? f.scanMain(scanDepth_, addressAssign_) : kNotRun;
    case kOpAddDevice:
      return f.addDevice ? f.addDevice(text_b.data(), text_a.data()) : kNotRun;
    case kOpDownload:
      return f.downloadSoftware ? f.downloadSoftware(z, text_a.data()) : kNotRun;
    case kOpGetMode:
      return f.getMode ? f.getMode(z, y, value) : kNotRun;
    case kOpGetGain:
      return f.getGain ? f.getGain(z, y, value) : kNotRun;
    case kOpSetGain:
      return f.setGain ? f.setGain(z, y, x) : kNotRun;
    case kOpSetMode:
      return f.setMode ? f.setMode(z, y, x) : kNotRun;
    case kOpSwitchAisgVersion:
      return f.switchAISGVersion ? f.switchAISGVersion(text_b.data(), std::atoi(a.c_str()))
                                 : kNotRun;
    case kOpSelfTestTma:
      return f.selfTestTMA ? f.selfTestTMA(z) : kNotRun;
    case kOpResetTma:
      return f.resetSoftwareTMA ? f.resetSoftwareTMA(z) : kNotRun;
    case kOpClearAlarmsTma:
      return f.clearActiveAlarmsTMA ? f.clearActiveAlarmsTMA(z, y) : kNotRun;
    case kOpDownloadTma:
      return f.downloadSoftwareTMA ? f.downloadSoftwareTMA(z, text_a.data()) : kNotRun;
    default:
      return kNotRun;
  }
}

int OperationRunner::Run(int code, int* out, const std::string& a, const std::string& b, int x,
                         int y, int z, const std::string& title) {
  lastFault_.clear();
  if (!workDir_.empty() && !platform::ChangeDirectory(workDir_)) {
    // The operation itself names its files by full path; a working
    // directory that vanished does not stop it.
  }
  const GlueExports& f = glue_.exports();
  const bool busy = ShowsBusyWindow(code);
  int pid = -1;
  if (busy) {
    std::string why;
    pid = host_.StartBusyWindow(BusyWindowArgs(code, title, x), &why);
    if (pid < 0) {
      host_.ShowMessage(MessageIcon::kError, kBusyStartFailedTitle,
                        BusyStartFailedText(kBusyProgramName, why));
    }
    if (f.setProcessStatus) f.setProcessStatus(pid, kStatusBusy);
  }

  int result = CallExport(code, out, a, b, x, y, z);
  if (result != 0 && result != kNotRun) lastFault_ = glue_.LastErrorText();

  if (busy) {
    if (f.setProcessStatus) f.setProcessStatus(pid, kStatusFinished);
    if (pid >= 0) {
      host_.Pause(kBusyEndWaitMs);
      host_.EndBusyWindow(pid);
    }
  }
  return result;
}

ResultMessageText MakeResultMessage(int code, int result, const std::string& errorText,
                                    const std::string& faultText) {
  ResultMessageText m{MessageIcon::kError, {}};
  if (result == 0) {
    m.icon = MessageIcon::kInformation;
    m.text = "Process is finished.";
    return m;
  }
  if (result == -1) {
    m.text =
        code == kOpSwitchAisgVersion ? "AISG version settings failed!" : "The settings failed!";
  } else if (!errorText.empty()) {
    m.text = errorText;
  } else {
    m.text = std::to_string(result);
  }
  if (!faultText.empty()) m.text += "\n" + faultText;
  return m;
}

void ShowResultMessage(RunnerHost& host, const std::string& title, int code, int result,
                       const std::string& errorText, const std::string& faultText) {
  ResultMessageText m = MakeResultMessage(code, result, errorText, faultText);
  host.ShowMessage(m.icon, title, m.text);
}

}  // namespace aldpanel
