// Binding the real libaldglue.so and running operations through it on the
// simulated demo site (virtual clock: no real bus pauses), binding a library
// that lacks exports, and the real busy-window process handling.
#include "aldpanel/core/glue.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <filesystem>

#include "aldpanel/core/runner.h"
#include "test_util.h"

namespace aldpanel {
namespace {

// The library under test runs on the simulated demo site and its virtual
// clock, never on a real adapter or real bus pauses; set before the library
// is first loaded, since the simulated line reads them once per process.
const bool kSimulated = [] {
  setenv("ALDLINK_SIM", ALD_SOURCE_DIR "/sites/demo.site", 1);
  setenv("ALDLINK_SIM_CLOCK", "virtual", 1);
  return true;
}();

class RecordingHost : public RunnerHost {
 public:
  int StartBusyWindow(const std::vector<std::string>&, std::string*) override { return 777; }
  void EndBusyWindow(int pid) override { ended.push_back(pid); }
  void Pause(int ms) override { paused += ms; }
  void ShowMessage(MessageIcon, const std::string&, const std::string& text) override {
    messages.push_back(text);
  }
  std::vector<int> ended;
  int paused = 0;
  std::vector<std::string> messages;
};

TEST(GlueBindingTest, TheRealLibraryBindsEveryExport) {
  GlueLibrary glue;
  std::vector<std::string> messages = glue.Load("", ALDGLUE_LIBRARY);
  EXPECT_TRUE(messages.empty()) << messages.front();
  ASSERT_TRUE(glue.loaded());
  const GlueExports& f = glue.exports();
  const void* const bound[] = {
      reinterpret_cast<const void*>(f.pollDevice),
      reinterpret_cast<const void*>(f.getPort),
      reinterpret_cast<const void*>(f.scanMain),
      reinterpret_cast<const void*>(f.getMirelkDataCount),
      reinterpret_cast<const void*>(f.getMirelkDataCountStr),
      reinterpret_cast<const void*>(f.getMirelkData),
      reinterpret_cast<const void*>(f.selfTest),
      reinterpret_cast<const void*>(f.selfTestTMA),
      reinterpret_cast<const void*>(f.resetSoftware),
      reinterpret_cast<const void*>(f.resetSoftwareTMA),
      reinterpret_cast<const void*>(f.refreshMain),
      reinterpret_cast<const void*>(f.clearActiveAlarms),
      reinterpret_cast<const void*>(f.clearActiveAlarmsTMA),
      reinterpret_cast<const void*>(f.calibrate),
      reinterpret_cast<const void*>(f.setTilt),
      reinterpret_cast<const void*>(f.getPowerValue),
      reinterpret_cast<const void*>(f.getPinValue),
      reinterpret_cast<const void*>(f.setPinValue),
      reinterpret_cast<const void*>(f.setPowerValue),
      reinterpret_cast<const void*>(f.getTilt),
      reinterpret_cast<const void*>(f.addDevice),
      reinterpret_cast<const void*>(f.downloadSoftware),
      reinterpret_cast<const void*>(f.downloadSoftwareTMA),
      reinterpret_cast<const void*>(f.setDeviceData),
      reinterpret_cast<const void*>(f.getMode),
      reinterpret_cast<const void*>(f.getGain),
      reinterpret_cast<const void*>(f.setGain),
      reinterpret_cast<const void*>(f.setMode),
      reinterpret_cast<const void*>(f.setProcessStatus),
      reinterpret_cast<const void*>(f.getProcessStatus),
      reinterpret_cast<const void*>(f.configRET),
      reinterpret_cast<const void*>(f.switchAISGVersion),
      reinterpret_cast<const void*>(f.closeComPort),
  };
  static_assert(std::size(bound) == kRequiredExportCount);
  for (int i = 0; i < kRequiredExportCount; ++i) {
    EXPECT_NE(bound[i], nullptr) << kRequiredExportNames[i];
  }
  // The optional ones this library has too.
  EXPECT_NE(f.getLastErrorText, nullptr);
  EXPECT_NE(f.getDownloadProgress, nullptr);
  glue.Unload();
  EXPECT_FALSE(glue.loaded());
  EXPECT_EQ(glue.exports().scanMain, nullptr);
}

TEST(GlueBindingTest, TheLibraryBesideTheProgramIsFoundByName) {
  GlueLibrary glue;
  std::string dir = std::filesystem::path(ALDGLUE_LIBRARY).parent_path().string();
  EXPECT_TRUE(glue.Load(dir).empty());
  EXPECT_NE(glue.exports().scanMain, nullptr);
}

TEST(GlueBindingTest, AMissingLibraryLeavesEverythingInertWithOneMessage) {
  GlueLibrary glue;
  std::vector<std::string> messages = glue.Load("", "/nonexistent/libaldglue.so");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("Can't load 'libaldglue.so'!", 0), 0u) << messages[0];
  EXPECT_NE(messages[0].find("/nonexistent/libaldglue.so"), std::string::npos);
  EXPECT_FALSE(glue.loaded());
  EXPECT_EQ(glue.exports().setProcessStatus, nullptr);
  // Every runner call is then -111 and harmless.
  RecordingHost host;
  OperationRunner runner(glue, host, "");
  EXPECT_EQ(runner.Run(kOpScan, "Scan Device"), kNotRun);
  EXPECT_EQ(glue.LastErrorText(), "");
}

TEST(GlueBindingTest, EachMissingExportIsNamedOnceAndOnlyItStaysInert) {
  GlueLibrary glue;
  std::vector<std::string> messages = glue.Load("", PARTIAL_GLUE_LIBRARY);
  ASSERT_EQ(messages.size(), static_cast<size_t>(kRequiredExportCount - 2));
  EXPECT_EQ(messages[0], "not found pollDevice");
  EXPECT_EQ(messages[1], "Not found getPort function!");
  EXPECT_EQ(messages.back(), "Not found closeComPort function!");
  EXPECT_NE(glue.exports().setProcessStatus, nullptr);
  EXPECT_EQ(glue.exports().scanMain, nullptr);
  // The busy window's binding needs only the two status words.
  GlueLibrary status;
  EXPECT_TRUE(status.LoadStatusOnly("", PARTIAL_GLUE_LIBRARY).empty());
  EXPECT_NE(status.exports().getProcessStatus, nullptr);
}

// The device registry a scan fills lives in the library until the process
// ends, as in the program; unloading the library at the end of a test would
// orphan it. So the library used for bus work stays loaded for good.
GlueLibrary& LoadedForGood() {
  static GlueLibrary* glue = [] {
    auto* g = new GlueLibrary;
    g->Load("", ALDGLUE_LIBRARY);
    return g;
  }();
  return *glue;
}

class DemoSiteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kSimulated);
    ASSERT_TRUE(glue.loaded());
  }
  GlueLibrary& glue = LoadedForGood();
  RecordingHost host;
  aldpanel_test::TempDir work;
};

// Finds the table entry of a device type ("01"/"11" RET, "02"/"10" TMA).
int AddressOf(const GlueLibrary& glue, bool ret) {
  MIRELK_DATA* table = glue.exports().getMirelkData();
  int count = glue.exports().getMirelkDataCount();
  for (int i = 0; table != nullptr && i < count; ++i) {
    std::string type = table[i].field[kMdDeviceType];
    if ((type == "01" || type == "11") == ret) return std::atoi(table[i].field[kMdAddress]);
  }
  return -1;
}

TEST_F(DemoSiteTest, ScanSelfTestAndAlarmClearingRunThroughTheRunner) {
  OperationRunner runner(glue, host, work.path());
  runner.SetScanArguments(9, 1);
  ASSERT_EQ(runner.Run(kOpScan, "Scan Device"), 0);
  ASSERT_NE(glue.exports().getMirelkData(), nullptr);
  EXPECT_EQ(glue.exports().getMirelkDataCount(), 8);
  EXPECT_STREQ(glue.exports().getMirelkDataCountStr(), "3/5/2/3");
  // The handshake ended in the finished status and the window was ended.
  int status = 0;
  glue.exports().getProcessStatus(0, &status);
  EXPECT_EQ(status, kStatusFinished);
  EXPECT_EQ(host.ended, std::vector<int>{777});
  EXPECT_EQ(host.paused, kBusyEndWaitMs);

  int ret = AddressOf(glue, true);
  int tma = AddressOf(glue, false);
  ASSERT_GT(ret, 0);
  ASSERT_GT(tma, 0);
  EXPECT_EQ(runner.Run(kOpSelfTest, ret, "Self Test"), 0);
  EXPECT_EQ(runner.Run(kOpSelfTestTma, tma, "Self Test"), 0);
  EXPECT_EQ(runner.Run(kOpClearAlarms, 1, ret, "Clear Alarm"), 0);
  // The class of device matters: a RET operation on a TMA's address is the
  // interface's general failure, passed through unchanged.
  EXPECT_EQ(runner.Run(kOpSelfTest, tma, "Self Test"), kUnused);
  int tilt = 12345;
  EXPECT_EQ(runner.Run(kOpGetTilt, &tilt, "", "", kUnused, 1, ret, "Get Tilt"), 0);
  EXPECT_NE(tilt, 12345);
}

// The real process handling; the windows supply the message box.
class SilentProcessHost : public ProcessRunnerHost {
 public:
  using ProcessRunnerHost::ProcessRunnerHost;
  void ShowMessage(MessageIcon, const std::string&, const std::string&) override {}
};

TEST(ProcessHostTest, StartsEndsAndReapsTheBusyWindowProgram) {
  SilentProcessHost sleeper("/bin/sleep");
  std::string why;
  int pid = sleeper.StartBusyWindow({"30"}, &why);
  ASSERT_GT(pid, 0) << why;
  auto start = std::chrono::steady_clock::now();
  sleeper.EndBusyWindow(pid);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  // Reaped: the process id is no child any more.
  EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1);

  SilentProcessHost quick("/bin/true");
  pid = quick.StartBusyWindow({"Title"}, &why);
  ASSERT_GT(pid, 0);
  // Let it finish on its own; ending it then only reaps it.
  for (int i = 0; i < 200 && kill(pid, 0) == 0; ++i) {
    siginfo_t info{};
    if (waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid) break;
    quick.Pause(10);
  }
  quick.EndBusyWindow(pid);
  EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1);
}

TEST(ProcessHostTest, AProgramThatCannotStartGivesMinusOneAndTheReason) {
  SilentProcessHost missing("/nonexistent/notebox");
  std::string why;
  EXPECT_EQ(missing.StartBusyWindow({"Scan Device"}, &why), -1);
  EXPECT_NE(why.find("/nonexistent/notebox"), std::string::npos) << why;
  missing.EndBusyWindow(-1);  // nothing to end
}

}  // namespace
}  // namespace aldpanel
