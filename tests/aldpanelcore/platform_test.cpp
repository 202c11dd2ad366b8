// The POSIX side of the platform interface: loading a library, and starting,
// watching and ending the busy window process, reaped in every case.
#include "aldpanel/core/platform.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>

#include "aldpanel/core/runner.h"

namespace aldpanel {
namespace {

class QuietHost : public ProcessRunnerHost {
 public:
  QuietHost() : ProcessRunnerHost("/bin/sh") {}
  void ShowMessage(MessageIcon, const std::string&, const std::string&) override {}
};

bool Gone(int pid) {
  return ::kill(pid, 0) != 0;
}

TEST(PlatformLibraryTest, AFailedLoadGivesTheLoadersTextAndABoundExportIsFound) {
  std::string why;
  EXPECT_EQ(platform::LoadLibraryAt("/nonexistent/libaldglue.so", &why), nullptr);
  EXPECT_NE(why.find("/nonexistent/libaldglue.so"), std::string::npos) << why;
  void* lib = platform::LoadLibraryAt(PARTIAL_GLUE_LIBRARY, &why);
  ASSERT_NE(lib, nullptr) << why;
  EXPECT_NE(platform::FindSymbol(lib, "setProcessStatus"), nullptr);
  EXPECT_EQ(platform::FindSymbol(lib, "pollDevice"), nullptr);
  EXPECT_EQ(platform::FindSymbol(lib, "noSuchExport"), nullptr);
  platform::CloseLibrary(lib);
}

TEST(PlatformProcessTest, AProgramThatCannotStartIsNamedWithTheReason) {
  std::string why;
  EXPECT_EQ(platform::StartProgram("/nonexistent/notebox", {"Title"}, &why), -1);
  EXPECT_EQ(why.rfind("/nonexistent/notebox: ", 0), 0u) << why;
}

TEST(PlatformProcessTest, AProgramThatEndsByItselfIsReapedAndStaysEnded) {
  std::string why;
  int pid = platform::StartProgram("/bin/sh", {"-c", "exit 0"}, &why);
  ASSERT_GT(pid, 0) << why;
  bool runs = true;
  for (int i = 0; i < 500 && runs; ++i) {
    runs = platform::ProgramRuns(pid);
    if (runs) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_FALSE(runs);
  EXPECT_TRUE(Gone(pid)) << "left as a zombie";
  EXPECT_FALSE(platform::ProgramRuns(pid));
}

TEST(PlatformProcessTest, EndingTheBusyWindowAsksFirst) {
  std::string why;
  int pid = platform::StartProgram("/bin/sh", {"-c", "exec sleep 30"}, &why);
  ASSERT_GT(pid, 0) << why;
  QuietHost host;
  auto start = std::chrono::steady_clock::now();
  host.EndBusyWindow(pid);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
  EXPECT_TRUE(Gone(pid));
}

TEST(PlatformProcessTest, ABusyWindowThatIgnoresTheRequestIsEndedForGoodAndReaped) {
  std::string why;
  int pid = platform::StartProgram("/bin/sh", {"-c", "trap '' TERM; exec sleep 30"}, &why);
  ASSERT_GT(pid, 0) << why;
  // Let the shell set the trap before it is asked.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  QuietHost host;
  auto start = std::chrono::steady_clock::now();
  host.EndBusyWindow(pid);
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(900));
  EXPECT_LT(took, std::chrono::seconds(10));
  EXPECT_TRUE(Gone(pid));
}

TEST(PlatformFileTest, DescriptorsOpenedForWritingAreNotInherited) {
  std::string path = ::testing::TempDir() + "platform_test_cloexec.log";
  int fd = platform::OpenForWriting(path);
  ASSERT_GE(fd, 0);
  std::string why;
  // The child leaves a mark when it finds the descriptor open.
  std::string mark = path + ".inherited";
  platform::RemoveFile(mark);
  std::string check = "test -e /proc/self/fd/" + std::to_string(fd) + " && : > " + mark;
  int pid = platform::StartProgram("/bin/sh", {"-c", check}, &why);
  ASSERT_GT(pid, 0) << why;
  platform::ReapProgram(pid);
  platform::Close(fd);
  platform::RemoveFile(path);
  EXPECT_FALSE(platform::IsReadable(mark)) << "the child held the log descriptor";
  platform::RemoveFile(mark);
}

}  // namespace
}  // namespace aldpanel
