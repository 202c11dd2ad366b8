// The operation runner: which export each operation code calls with which
// arguments, the busy window handshake around it, and the result message.
// Fakes stand in for the exports here; glue_test runs the real library.
#include "aldpanel/core/runner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "test_util.h"

namespace aldpanel {
namespace {

// What the fake exports saw, in order.
std::vector<std::string> g_calls;
int g_result = 0;

std::string Call(const std::string& name, std::initializer_list<std::string> args) {
  std::string s = name + "(";
  bool first = true;
  for (const std::string& a : args) {
    if (!first) s += ",";
    s += a;
    first = false;
  }
  return s + ")";
}
std::string N(int v) {
  return std::to_string(v);
}

int FakeSetTilt(int a, int s, int t) {
  g_calls.push_back(Call("setTilt", {N(a), N(s), N(t)}));
  return g_result;
}
int FakeGetTilt(int a, int s, int* t) {
  g_calls.push_back(Call("getTilt", {N(a), N(s)}));
  *t = -25;
  return g_result;
}
int FakeSelfTest(int a) {
  g_calls.push_back(Call("selfTest", {N(a)}));
  return g_result;
}
int FakeReset(int a) {
  g_calls.push_back(Call("resetSoftware", {N(a)}));
  return g_result;
}
int FakeCalibrate(int a, int s) {
  g_calls.push_back(Call("calibrate", {N(a), N(s)}));
  return g_result;
}
int FakeClear(int a, int s) {
  g_calls.push_back(Call("clearActiveAlarms", {N(a), N(s)}));
  return g_result;
}
int FakeRefresh() {
  g_calls.push_back("refreshMain()");
  return g_result;
}
int FakeScan(int d, int a) {
  g_calls.push_back(Call("scanMain", {N(d), N(a)}));
  return g_result;
}
int FakeAdd(char* v, char* s) {
  g_calls.push_back(Call("addDevice", {v, s}));
  return g_result;
}
int FakeDownload(int a, char* f) {
  g_calls.push_back(Call("downloadSoftware", {N(a), f}));
  return g_result;
}
int FakeGetMode(int a, int s, int* m) {
  g_calls.push_back(Call("getMode", {N(a), N(s)}));
  *m = 1;
  return g_result;
}
int FakeGetGain(int a, int s, int* g) {
  g_calls.push_back(Call("getGain", {N(a), N(s)}));
  *g = 48;
  return g_result;
}
int FakeSetGain(int a, int s, int g) {
  g_calls.push_back(Call("setGain", {N(a), N(s), N(g)}));
  return g_result;
}
int FakeSetMode(int a, int s, int m) {
  g_calls.push_back(Call("setMode", {N(a), N(s), N(m)}));
  return g_result;
}
int FakeSwitch(char* v, int n) {
  g_calls.push_back(Call("switchAISGVersion", {v, N(n)}));
  return g_result;
}
int FakeSelfTestTma(int a) {
  g_calls.push_back(Call("selfTestTMA", {N(a)}));
  return g_result;
}
int FakeResetTma(int a) {
  g_calls.push_back(Call("resetSoftwareTMA", {N(a)}));
  return g_result;
}
int FakeClearTma(int a, int s) {
  g_calls.push_back(Call("clearActiveAlarmsTMA", {N(a), N(s)}));
  return g_result;
}
int FakeDownloadTma(int a, char* f) {
  g_calls.push_back(Call("downloadSoftwareTMA", {N(a), f}));
  return g_result;
}
int FakeSetStatus(int pid, int status) {
  g_calls.push_back(Call("setProcessStatus", {N(pid), N(status)}));
  return 0;
}
int FakeLastErrorText(char* text, int size) {
  std::snprintf(text, size, "cannot open /dev/ttyUSB0: Permission denied");
  return static_cast<int>(std::strlen(text));
}

class FakeHost : public RunnerHost {
 public:
  int StartBusyWindow(const std::vector<std::string>& args, std::string* why) override {
    std::string s = "start";
    for (const auto& a : args) s += " [" + a + "]";
    g_calls.push_back(s);
    if (fail_start) {
      *why = "no such file";
      return -1;
    }
    return 4242;
  }
  void EndBusyWindow(int pid) override { g_calls.push_back("end " + N(pid)); }
  void Pause(int ms) override { g_calls.push_back("pause " + N(ms)); }
  void ShowMessage(MessageIcon icon, const std::string& title, const std::string& text) override {
    messages.push_back({icon, title, text});
  }
  struct Message {
    MessageIcon icon;
    std::string title;
    std::string text;
  };
  bool fail_start = false;
  std::vector<Message> messages;
};

class RunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls.clear();
    g_result = 0;
    GlueExports& f = glue.mutableExports();
    f.setTilt = FakeSetTilt;
    f.getTilt = FakeGetTilt;
    f.selfTest = FakeSelfTest;
    f.resetSoftware = FakeReset;
    f.calibrate = FakeCalibrate;
    f.clearActiveAlarms = FakeClear;
    f.refreshMain = FakeRefresh;
    f.scanMain = FakeScan;
    f.addDevice = FakeAdd;
    f.downloadSoftware = FakeDownload;
    f.getMode = FakeGetMode;
    f.getGain = FakeGetGain;
    f.setGain = FakeSetGain;
    f.setMode = FakeSetMode;
    f.switchAISGVersion = FakeSwitch;
    f.selfTestTMA = FakeSelfTestTma;
    f.resetSoftwareTMA = FakeResetTma;
    f.clearActiveAlarmsTMA = FakeClearTma;
    f.downloadSoftwareTMA = FakeDownloadTma;
    f.setProcessStatus = FakeSetStatus;
  }
  GlueLibrary glue;
  FakeHost host;
  aldpanel_test::TempDir work;
  OperationRunner runner{glue, host, work.path()};
};

struct Case {
  int code;
  const char* call;
};

TEST_F(RunnerTest, EveryCodeCallsItsExportWithItsArgumentsInsideTheBusyHandshake) {
  runner.SetScanArguments(9, 0);
  const Case busy[] = {
      {kOpSetTilt, "setTilt(3,2,-15)"},
      {kOpSelfTest, "selfTest(3)"},
      {kOpReset, "resetSoftware(3)"},
      {kOpCalibrate, "calibrate(3,2)"},
      {kOpRefresh, "refreshMain()"},
      {kOpScan, "scanMain(9,0)"},
      {kOpAddDevice, "addDevice(KA,MR4401203977)"},
      {kOpSetGain, "setGain(3,2,-15)"},
      {kOpSetMode, "setMode(3,2,-15)"},
      {kOpSwitchAisgVersion, "switchAISGVersion(KA,1)"},
      {kOpSelfTestTma, "selfTestTMA(3)"},
      {kOpResetTma, "resetSoftwareTMA(3)"},
  };
  for (const Case& c : busy) {
    g_calls.clear();
    std::string a = c.code == kOpSwitchAisgVersion ? "1" : "MR4401203977";
    EXPECT_EQ(runner.Run(c.code, a, "KA", -15, 2, 3, "Title"), 0);
    std::vector<std::string> want = {"start [Title]", "setProcessStatus(4242,1001)",
                                     c.call,          "setProcessStatus(4242,1000)",
                                     "pause 300",     "end 4242"};
    EXPECT_EQ(g_calls, want) << "code " << c.code;
  }
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(RunnerTest, DownloadsPassTheFileSizeToTheBusyWindow) {
  EXPECT_EQ(runner.Run(kOpDownload, "/tmp/sw.bin", "", 43100, kUnused, 7, "Download Software"), 0);
  EXPECT_EQ(g_calls[0], "start [Download Software] [43100]");
  EXPECT_EQ(g_calls[2], "downloadSoftware(7,/tmp/sw.bin)");
  g_calls.clear();
  runner.Run(kOpDownloadTma, "/tmp/tma.hex", "", 10, kUnused, 8, "Download Software");
  EXPECT_EQ(g_calls[0], "start [Download Software] [10]");
  EXPECT_EQ(g_calls[2], "downloadSoftwareTMA(8,/tmp/tma.hex)");
}

TEST_F(RunnerTest, QuickReadsAndAlarmClearingRunWithoutTheBusyWindow) {
  int out = 0;
  EXPECT_EQ(runner.Run(kOpGetTilt, &out, "", "", kUnused, 2, 3, "t"), 0);
  EXPECT_EQ(out, -25);
  EXPECT_EQ(runner.Run(kOpGetMode, &out, "", "", kUnused, 1, 4, "t"), 0);
  EXPECT_EQ(out, 1);
  EXPECT_EQ(runner.Run(kOpGetGain, &out, "", "", kUnused, 1, 4, "t"), 0);
  EXPECT_EQ(out, 48);
  runner.Run(kOpClearAlarms, 2, 3, "t");
  runner.Run(kOpClearAlarmsTma, 1, 4, "t");
  std::vector<std::string> want = {"getTilt(3,2)", "getMode(4,1)", "getGain(4,1)",
                                   "clearActiveAlarms(3,2)", "clearActiveAlarmsTMA(4,1)"};
  EXPECT_EQ(g_calls, want);
}

TEST_F(RunnerTest, ABusyWindowThatCannotStartIsReportedAndTheOperationStillRuns) {
  host.fail_start = true;
  g_result = 89;
  EXPECT_EQ(runner.Run(kOpSelfTest, 5, "Self Test"), 89);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].icon, MessageIcon::kError);
  EXPECT_EQ(host.messages[0].title, kBusyStartFailedTitle);
  EXPECT_NE(host.messages[0].text.find("notebox"), std::string::npos);
  EXPECT_NE(host.messages[0].text.find("no such file"), std::string::npos);
  // The status still ends finished; there is no window to wait for or end.
  std::vector<std::string> want = {"start [Self Test]", "setProcessStatus(-1,1001)", "selfTest(5)",
                                   "setProcessStatus(-1,1000)"};
  EXPECT_EQ(g_calls, want);
}

TEST_F(RunnerTest, UnboundExportsAndUnknownCodesGiveMinus111) {
  glue.mutableExports().selfTest = nullptr;
  EXPECT_EQ(runner.Run(kOpSelfTest, 5, "Self Test"), kNotRun);
  g_calls.clear();
  EXPECT_EQ(runner.Run(57, 5, "Nothing"), kNotRun);
  EXPECT_TRUE(g_calls.empty());  // no busy window for a code that calls nothing
  // Without setProcessStatus the handshake is skipped, the window still ended.
  glue.mutableExports().setProcessStatus = nullptr;
  g_calls.clear();
  runner.Run(kOpReset, 5, "Reset");
  std::vector<std::string> want = {"start [Reset]", "resetSoftware(5)", "pause 300", "end 4242"};
  EXPECT_EQ(g_calls, want);
}

TEST_F(RunnerTest, OperationsRunInTheWorkingDirectory) {
  ASSERT_EQ(chdir("/"), 0);
  runner.Run(kOpRefresh, "Refresh");
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(std::filesystem::canonical(cwd), std::filesystem::canonical(work.path()));
}

TEST_F(RunnerTest, AFailureCarriesTheLibrarysOwnReason) {
  glue.mutableExports().getLastErrorText = FakeLastErrorText;
  g_result = 84;
  runner.Run(kOpScan, "Scan Device");
  EXPECT_EQ(runner.lastFaultText(), "cannot open /dev/ttyUSB0: Permission denied");
  g_result = 0;
  runner.Run(kOpScan, "Scan Device");
  EXPECT_EQ(runner.lastFaultText(), "");
}

TEST(ResultMessageTest, SuccessGeneralFailureAndTableTexts) {
  ResultMessageText ok = MakeResultMessage(kOpSelfTest, 0, "OK");
  EXPECT_EQ(ok.icon, MessageIcon::kInformation);
  EXPECT_EQ(ok.text, "Process is finished.");

  ResultMessageText failed = MakeResultMessage(kOpSetGain, -1, "ignored");
  EXPECT_EQ(failed.icon, MessageIcon::kError);
  EXPECT_EQ(failed.text, "The settings failed!");
  EXPECT_EQ(MakeResultMessage(kOpSwitchAisgVersion, -1, "").text, "AISG version settings failed!");

  EXPECT_EQ(MakeResultMessage(kOpScan, 89, "No answer from the device").text,
            "No answer from the device");
  // A number without a text is still shown as its number.
  EXPECT_EQ(MakeResultMessage(kOpScan, 77, "").text, "77");
  EXPECT_EQ(MakeResultMessage(kOpScan, 84, "Invalid argument", "cannot open /dev/ttyUSB0").text,
            "Invalid argument\ncannot open /dev/ttyUSB0");

  FakeHost host;
  ShowResultMessage(host, "Self Test", kOpSelfTest, 89, "No answer");
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].title, "Self Test");
  EXPECT_EQ(host.messages[0].text, "No answer");
}

}  // namespace
}  // namespace aldpanel
