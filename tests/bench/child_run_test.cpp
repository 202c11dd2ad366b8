// Child processes of the benchmark: a measurement's report comes back whole
// or not at all, its trace goes where it was sent, and aldsim is started and
// stopped.
#include "bench/child_run.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using aldbench::InChild;
using aldbench::Report;

class ChildRun : public ::testing::Test {
 protected:
  void SetUp() override {
    char path[] = "/tmp/child_run_test.XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    trace_ = path;
    aldbench::SetChildTrace(trace_);
  }
  void TearDown() override {
    aldbench::SetChildTrace("/dev/null");
    std::remove(trace_.c_str());
  }
  std::string Trace() const {
    std::ifstream in(trace_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string trace_;
};

TEST_F(ChildRun, TheChildsReportAndTraceComeBackAndItsMemoryIsMeasured) {
  Report out;
  ASSERT_TRUE(InChild(
      [](Report& r) {
        std::printf("trace line of the child\n");
        r.ok = 1;
        r.frames = 464;
        r.clockUs = 76800000;
        aldbench::SetDetail(r, "5 devices");
      },
      out));
  EXPECT_EQ(out.ok, 1);
  EXPECT_EQ(out.frames, 464);
  EXPECT_EQ(out.clockUs, 76800000);
  EXPECT_STREQ(out.detail, "5 devices");
  EXPECT_GT(out.maxRssKb, 0);
  EXPECT_EQ(Trace(), "trace line of the child\n");

  // The parent's own state is not touched by what the child did.
  static int parentValue = 1;
  ASSERT_TRUE(InChild([](Report& r) { r.ok = ++parentValue; }, out));
  EXPECT_EQ(out.ok, 2);
  EXPECT_EQ(parentValue, 1);
}

TEST_F(ChildRun, AChildThatDiesGivesNoReport) {
  Report out;
  out.ok = 7;
  // Killed before it could report.
  EXPECT_FALSE(InChild([](Report&) { raise(SIGKILL); }, out));
  // Gone without a report, with a clean exit status.
  EXPECT_FALSE(InChild([](Report&) { _exit(0); }, out));
  EXPECT_EQ(out.ok, 7);
}

TEST_F(ChildRun, DetailsAreCutToTheirField) {
  Report r;
  aldbench::SetDetail(r, std::string(500, 'x'));
  EXPECT_EQ(std::string(r.detail), std::string(sizeof r.detail - 1, 'x'));
}

TEST(SimProcess, AMissingProgramIsReportedAndNothingRuns) {
  aldbench::SimProcess sim;
  std::string error;
  EXPECT_FALSE(sim.Start("/nonexistent/aldsim", ALDBENCH_SITES_DIR "/demo.site", error));
  EXPECT_NE(error.find("/nonexistent/aldsim"), std::string::npos) << error;
  EXPECT_FALSE(sim.running());
  EXPECT_EQ(sim.pty(), "");
}

TEST(SimProcess, ServesTheSiteOnAPseudoTerminalUntilStopped) {
  aldbench::SimProcess sim;
  std::string error;
  ASSERT_TRUE(sim.Start(ALDSIM_PATH, ALDBENCH_SITES_DIR "/demo.site", error)) << error;
  EXPECT_TRUE(sim.running());
  EXPECT_EQ(sim.pty().rfind("/dev/pts/", 0), 0u) << sim.pty();
  EXPECT_EQ(access(sim.pty().c_str(), R_OK | W_OK), 0);
  sim.Stop();
  EXPECT_FALSE(sim.running());
  // A site aldsim refuses: it prints no terminal.
  EXPECT_FALSE(sim.Start(ALDSIM_PATH, "/nonexistent/site.file", error));
  EXPECT_NE(error.find("no terminal"), std::string::npos) << error;
}

}  // namespace
