// aldglue.dll as the window program loads it: bound by export name, its
// adapter functions on the (stand-in) chip and registry, and its shared
// words seen by a second process.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "aldglue/aldglue.h"
#include "tests/win/win_test_util.h"

namespace {

using standin::Chip;
using wintest::StandinChipFile;

// The words of these tests are their own, never the user's.
constexpr const char* kWordsName = "aldglue-win-tests";

struct GlueDll {
  HMODULE module = nullptr;
  decltype(&::getPowerValue) getPowerValue = nullptr;
  decltype(&::setPowerValue) setPowerValue = nullptr;
  decltype(&::getPinValue) getPinValue = nullptr;
  decltype(&::setPinValue) setPinValue = nullptr;
  decltype(&::getPort) getPort = nullptr;
  decltype(&::getLastError) getLastError = nullptr;
  decltype(&::setProcessStatus) setProcessStatus = nullptr;
  decltype(&::getProcessStatus) getProcessStatus = nullptr;
  decltype(&::setDownloadFileSize) setDownloadFileSize = nullptr;
  decltype(&::getDownloadFileSize) getDownloadFileSize = nullptr;
  decltype(&::getDownloadProgress) getDownloadProgress = nullptr;
};

template <typename F>
void Bind(HMODULE module, const char* name, F& out) {
  out = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Loaded once for the test program, with its own shared-word name.
GlueDll& Glue() {
  static GlueDll glue = [] {
    wintest::SetEnv("ALDGLUE_SHM_NAME", kWordsName);
    GlueDll g;
    g.module = LoadLibraryA((wintest::ProgramDir() + "\\aldglue.dll").c_str());
    if (g.module == nullptr) return g;
    Bind(g.module, "getPowerValue", g.getPowerValue);
    Bind(g.module, "setPowerValue", g.setPowerValue);
    Bind(g.module, "getPinValue", g.getPinValue);
    Bind(g.module, "setPinValue", g.setPinValue);
    Bind(g.module, "getPort", g.getPort);
    Bind(g.module, "getLastError", g.getLastError);
    Bind(g.module, "setProcessStatus", g.setProcessStatus);
    Bind(g.module, "getProcessStatus", g.getProcessStatus);
    Bind(g.module, "setDownloadFileSize", g.setDownloadFileSize);
    Bind(g.module, "getDownloadFileSize", g.getDownloadFileSize);
    Bind(g.module, "getDownloadProgress", g.getDownloadProgress);
    return g;
  }();
  return glue;
}

// Runs win_peer.exe with `args`; its standard output, or "exit N" when it
// failed.
std::string Peer(const std::string& args) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return "no pipe";
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  std::string command = "\"" + wintest::ProgramDir() + "\\win_peer.exe\" " + args;
  const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &si, &pi);
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    return "not started";
  }
  std::string out;
  char buffer[256];
  DWORD n = 0;
  while (ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0) out.append(buffer, n);
  CloseHandle(readEnd);
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return code == 0 ? out : "exit " + std::to_string(code) + ": " + out;
}

Chip AdapterChip() {
  Chip chip;
  chip.parts = "3";
  chip.vid = 0x0aa1;
  chip.pid = 0x5c20;
  chip.serial = "GL 1";
  return chip;
}

TEST(GlueDll, PowerAndAbSwitchThroughTheExports) {
  GlueDll& g = Glue();
  ASSERT_NE(g.module, nullptr);
  ASSERT_TRUE(g.getPowerValue && g.setPowerValue && g.getPinValue && g.setPinValue &&
              g.getLastError);
  StandinChipFile file(AdapterChip());
  EXPECT_EQ(g.getPowerValue(), 0);
  EXPECT_EQ(g.setPowerValue(1), 0);
  EXPECT_EQ(g.getLastError(), 0);
  // The flat interface always makes the level the power-on level too.
  Chip c = file.Read();
  EXPECT_EQ(c.latch & 0x08u, 0x08u);
  EXPECT_EQ(c.reset & 0x0800u, 0x0800u);
  EXPECT_EQ(g.getPowerValue(), 1);
  EXPECT_EQ(g.setPinValue(1), 0);
  EXPECT_EQ(g.getPinValue(), 1);
  EXPECT_EQ(g.setPinValue(0), 0);
  EXPECT_EQ(g.getPinValue(), 0);
  EXPECT_EQ(file.Read().open, 0);
}

TEST(GlueDll, AbsentChipIsUnknownNotOff) {
  GlueDll& g = Glue();
  ASSERT_NE(g.module, nullptr);
  Chip chip = AdapterChip();
  chip.parts = "";
  StandinChipFile file(chip);
  EXPECT_EQ(g.getPowerValue(), -1);
  EXPECT_EQ(g.getLastError(), -1);
  EXPECT_EQ(g.getPinValue(), -1);
  EXPECT_EQ(g.setPowerValue(1), -1);
  EXPECT_EQ(g.getLastError(), -1);
}

TEST(GlueDll, PortNumberFromTheRegistry) {
  GlueDll& g = Glue();
  ASSERT_NE(g.module, nullptr);
  ASSERT_NE(g.getPort, nullptr);
  StandinChipFile file(AdapterChip());
  wintest::UsbDeviceKey key("Vid_0aa1&Pid_5c20", "GL_1", "COM21");
  ASSERT_TRUE(key.ok());
  EXPECT_EQ(g.getPort(), 21);
  EXPECT_EQ(file.Read().open, 0);
}

TEST(GlueDll, SharedWordsReachAnotherProcessOfTheSameName) {
  GlueDll& g = Glue();
  ASSERT_NE(g.module, nullptr);
  ASSERT_TRUE(g.setProcessStatus && g.getProcessStatus && g.setDownloadFileSize &&
              g.getDownloadFileSize);
  EXPECT_EQ(g.setProcessStatus(1234, 1001), 0);
  EXPECT_EQ(g.setDownloadFileSize(65536), 0);
  EXPECT_EQ(Peer("get"), "1001 65536");

  EXPECT_EQ(Peer("set 1000 7"), "");
  int status = 0;
  int size = 0;
  EXPECT_EQ(g.getProcessStatus(0, &status), 0);
  EXPECT_EQ(g.getDownloadFileSize(&size), 0);
  EXPECT_EQ(status, 1000);
  EXPECT_EQ(size, 7);
  EXPECT_EQ(g.getProcessStatus(0, nullptr), kAldglueFailure);
  EXPECT_EQ(g.getDownloadFileSize(nullptr), kAldglueFailure);
  ASSERT_NE(g.getDownloadProgress, nullptr);
  int sent = -1;
  EXPECT_EQ(g.getDownloadProgress(&sent), 0);
  EXPECT_EQ(sent, 0);  // no download yet
  EXPECT_EQ(g.getDownloadProgress(nullptr), kAldglueFailure);

  // Words of another name (another user's) are not these.
  wintest::SetEnv("ALDGLUE_SHM_NAME", "aldglue-win-tests-other");
  EXPECT_EQ(Peer("get"), "0 0");
  wintest::SetEnv("ALDGLUE_SHM_NAME", kWordsName);
}

}  // namespace
