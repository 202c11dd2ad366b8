// The COM port layer: opening by device path, exclusive use, and the port
// chosen with ALDLINK_PORT. Wine does not refuse a second open of a COM port
// (its serial devices are shared), so exclusive use is shown on a file,
// which goes through the same CreateFileA call with no sharing.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "aldlink/adapter/win32_com_port.h"
#include "aldlink/adapter/win32_platform.h"
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
