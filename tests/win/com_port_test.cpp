// The COM port layer: opening by device path, exclusive use, and the port
// chosen with ALDLINK_PORT. Wine does not refuse a second open of a COM port
// (its serial devices are shared), so exclusive use, within one process and
// against another, is shown on a file, which goes through the same
// CreateFileA call with no sharing.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "aldlink/adapter/adapter_error.h"
#include "aldlink/adapter/adapter_platform.h"
#include "aldlink/adapter/cp210xdriver.h"
#include "aldlink/adapter/win32_com_port.h"
#include "aldlink/adapter/win32_platform.h"
#include "support/clock.h"
#include "tests/win/win_test_util.h"

namespace {

std::string TempFile() {
  char dir[MAX_PATH];
  char file[MAX_PATH];
  GetTempPathA(sizeof dir, dir);
  GetTempFileNameA(dir, "com", 0, file);
  return file;
}

TEST(ComPort, DevicePathOfAPortNumber) {
  EXPECT_EQ(ald::ComPortPath(5), "\\\\.\\COM5");
  EXPECT_EQ(ald::ComPortPath(12), "\\\\.\\COM12");
}

TEST(ComPort, AbsentPortIsNotOpenedAndSaysWhy) {
  std::string error;
  EXPECT_EQ(ald::Win32ComPort::Open(ald::ComPortPath(199), &error), nullptr);
  EXPECT_EQ(error.rfind("cannot open \\\\.\\COM199: ", 0), 0u) << error;
  EXPECT_GT(error.size(), std::string("cannot open \\\\.\\COM199: ").size());
  // The same reason for the interface's last adapter error.
  EXPECT_EQ(std::string(ald::AdapterErrorText()), error);
}

TEST(ComPort, SecondOpenFailsUntilTheFirstIsClosed) {
  const std::string path = TempFile();
  auto first = ald::Win32ComPort::Open(path);
  ASSERT_NE(first, nullptr);
  std::string error;
  EXPECT_EQ(ald::Win32ComPort::Open(path, &error), nullptr);
  EXPECT_NE(error.find(path), std::string::npos);
  first.reset();
  auto again = ald::Win32ComPort::Open(path);
  EXPECT_NE(again, nullptr);
  again.reset();
  DeleteFileA(path.c_str());
}

// Another process holds the port: the open fails until that process lets
// go of it.
TEST(ComPort, PortHeldByAnotherProcessCannotBeOpened) {
  const std::string path = TempFile();
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr;
  ASSERT_TRUE(CreatePipe(&inRead, &inWrite, &sa, 0));
  ASSERT_TRUE(CreatePipe(&outRead, &outWrite, &sa, 0));
  SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = inRead;
  si.hStdOutput = outWrite;
  si.hStdError = outWrite;
  PROCESS_INFORMATION pi{};
  std::string command = "\"" + wintest::ProgramDir() + "\\win_peer.exe\" hold \"" + path + "\"";
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &si, &pi));
  CloseHandle(inRead);
  CloseHandle(outWrite);
  char said[16] = {};
  DWORD n = 0;
  ReadFile(outRead, said, sizeof said - 1, &n, nullptr);
  EXPECT_EQ(std::string(said, n).rfind("held", 0), 0u) << said;

  std::string error;
  EXPECT_EQ(ald::Win32ComPort::Open(path, &error), nullptr);
  EXPECT_EQ(error, "cannot open " + path + ": it is in use by another program");

  CloseHandle(inWrite);  // the other process ends and closes the port
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  CloseHandle(outRead);
  auto port = ald::Win32ComPort::Open(path);
  ASSERT_NE(port, nullptr);

  // And the other way round: while this process holds it, the other process
  // cannot open it.
  STARTUPINFOA plain{};
  plain.cb = sizeof plain;
  PROCESS_INFORMATION second{};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &plain, &second));
  EXPECT_EQ(WaitForSingleObject(second.hProcess, 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(second.hProcess, &code);
  EXPECT_EQ(code, 3u);  // "not held"
  CloseHandle(second.hProcess);
  CloseHandle(second.hThread);
  port.reset();
  DeleteFileA(path.c_str());
}

TEST(ComPort, ExplicitPortOverridesTheChip) {
  ald::Win32Platform platform;
  wintest::SetEnv("ALDLINK_PORT", "COM7");
  EXPECT_EQ(platform.ExplicitPortNumber(), 7);
  EXPECT_EQ(platform.PortPath(3), "\\\\.\\COM7");
  wintest::SetEnv("ALDLINK_PORT", "\\\\.\\COM15");
  EXPECT_EQ(platform.ExplicitPortNumber(), 15);
  EXPECT_EQ(platform.PortPath(1), "\\\\.\\COM15");

  // Any other path is port 1 and is opened as it stands, exclusively.
  const std::string path = TempFile();
  wintest::SetEnv("ALDLINK_PORT", path.c_str());
  EXPECT_EQ(platform.ExplicitPortNumber(), 1);
  auto first = platform.OpenPort(1);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(platform.OpenPort(1), nullptr);
  first.reset();
  EXPECT_NE(platform.OpenPort(1), nullptr);

  wintest::SetEnv("ALDLINK_PORT", nullptr);
  EXPECT_EQ(platform.ExplicitPortNumber(), 0);
  EXPECT_EQ(platform.PortPath(0), "");
  EXPECT_EQ(platform.PortPath(4), "\\\\.\\COM4");
  DeleteFileA(path.c_str());
}

}  // namespace

namespace {

// A named pipe stands in for a port whose device goes away while it is open
// (the adapter pulled out): the same ReadFile and WriteFile calls, which then
// fail instead of blocking.
class PipeLine {
 public:
  PipeLine() {
    name_ = "\\\\.\\pipe\\aldlink-win-test-" + std::to_string(GetCurrentProcessId());
    server_ = CreateNamedPipeA(name_.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                               4096, 4096, 0, nullptr);
  }
  ~PipeLine() { Pull(); }
  bool ok() const { return server_ != INVALID_HANDLE_VALUE; }
  const std::string& name() const { return name_; }
  bool Send(const std::string& bytes) {
    DWORD n = 0;
    return WriteFile(server_, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) &&
           n == bytes.size();
  }
  std::string Receive(int count) {
    std::string out(static_cast<size_t>(count), '\0');
    DWORD n = 0;
    if (!ReadFile(server_, out.data(), static_cast<DWORD>(count), &n, nullptr)) return "";
    out.resize(n);
    return out;
  }
  void Pull() {
    if (server_ == INVALID_HANDLE_VALUE) return;
    DisconnectNamedPipe(server_);
    CloseHandle(server_);
    server_ = INVALID_HANDLE_VALUE;
  }

 private:
  std::string name_;
  HANDLE server_ = INVALID_HANDLE_VALUE;
};

TEST(ComPort, PortThatVanishesMidOperationFailsInsteadOfHanging) {
  PipeLine line;
  ASSERT_TRUE(line.ok());
  auto port = ald::Win32ComPort::Open(line.name());
  ASSERT_NE(port, nullptr);
  int written = 0;
  EXPECT_TRUE(port->Write("\x7e\x03", 2, written));
  EXPECT_EQ(written, 2);
  EXPECT_EQ(line.Receive(2), "\x7e\x03");
  ASSERT_TRUE(line.Send("A"));
  char c = 0;
  int got = 0;
  EXPECT_TRUE(port->Read(&c, 1, got));
  EXPECT_EQ(got, 1);
  EXPECT_EQ(c, 'A');

  line.Pull();
  EXPECT_FALSE(port->Write("\x7e", 1, written));
  EXPECT_EQ(written, 0);
  EXPECT_FALSE(port->Read(&c, 1, got));
  EXPECT_EQ(got, 0);
}

// The driver on such a port: the bytes go out while the device is there;
// once it is gone a send reports the write error and a receive ends at once
// with nothing, and the port cannot be opened again.
TEST(ComPort, DriverOnAVanishedPortReportsTheWriteErrorAndReceivesNothing) {
  PipeLine line;
  ASSERT_TRUE(line.ok());
  ald::SetAdapterPlatform(&ald::NativeAdapterPlatform());
  wintest::SetEnv("ALDLINK_PORT", line.name().c_str());
  ald::ScopedVirtualClock clock;
  {
    CP210xDriver driver;
    // A pipe has no line settings, so the open reports failure, but the
    // handle is held, as after any failed purge.
    EXPECT_EQ(driver.OpenComPort(), -1);
    EXPECT_EQ(driver.SendData("\x7e\x03\x7e", 3), 3);
    EXPECT_EQ(line.Receive(3), "\x7e\x03\x7e");
    line.Pull();
    testing::internal::CaptureStdout();
    EXPECT_EQ(driver.SendData("\x7e", 1), 0);
    char buffer[16];
    EXPECT_EQ(driver.RecvData(buffer, sizeof buffer), 0);
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Write to com port error!\n");
    EXPECT_EQ(driver.CloseComPort(), 0);
    EXPECT_EQ(driver.OpenComPort(), -1);
  }
  wintest::SetEnv("ALDLINK_PORT", nullptr);
  ald::SetAdapterPlatform(nullptr);
}

}  // namespace
