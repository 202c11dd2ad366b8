// aldsim as a program: a pseudo-terminal served with real line timing, used
// through the controller's termios port, stopped by SIGTERM.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "aldlink/adapter/termios_port.h"

extern char** environ;

namespace {

class AldsimProcess {
 public:
  explicit AldsimProcess(std::vector<std::string> args) {
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    args.insert(args.begin(), ALDSIM_PATH);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, ALDSIM_PATH, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    out_ = out[0];
  }
  ~AldsimProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
  }

  // The first line of standard output, waiting at most 5 s.
  std::string FirstLine() {
    std::string line;
    for (;;) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 5000) <= 0) return line;
      char c;
      if (read(out_, &c, 1) != 1 || c == '\n') return line;
      line += c;
    }
  }

  // Sends `sig` and returns the wait status.
  int Stop(int sig) {
    kill(pid_, sig);
    int status = -1;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }

  bool running() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
};

TEST(AldsimProgram, AnswersSnrmOnThePseudoTerminalAndStopsCleanly) {
  AldsimProcess sim({"-q", "--echo-device", "2:KA00000000000000001:1"});
  ASSERT_TRUE(sim.running());
  const std::string path = sim.FirstLine();
  ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;

  auto port = ald::TermiosPort::Open(path);
  ASSERT_NE(port, nullptr);
  ald::SerialTimeouts t;
  t.readTotalConstant = 200;
  ASSERT_TRUE(port->SetTimeouts(t));
  const char snrm[] = {
      0x7E, 0x01, static_cast<char>(0x93), static_cast<char>(0x8D), static_cast<char>(0xB0), 0x7E};
  const auto start = std::chrono::steady_clock::now();
  int written = 0;
  ASSERT_TRUE(port->Write(snrm, 6, written));
  ASSERT_EQ(written, 6);
  std::vector<uint8_t> got;
  for (int i = 0; i < 6; ++i) {
    char c;
    int n = 0;
    ASSERT_TRUE(port->Read(&c, 1, n));
    if (n == 0) break;
    got.push_back(static_cast<uint8_t>(c));
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(got, (std::vector<uint8_t>{0x7E, 0x01, 0x73, 0x83, 0x57, 0x7E}));
  // Turnaround and six bytes at 9600 bit/s: at least 9 ms.
  EXPECT_GE(elapsed, std::chrono::milliseconds(9));

  // A frame to another address stays unanswered.
  const char snrm2[] = {
      0x7E, 0x02, static_cast<char>(0x93), static_cast<char>(0xE5), static_cast<char>(0x9A), 0x7E};
  ASSERT_TRUE(port->Write(snrm2, 6, written));
  char c;
  int n = 0;
  ASSERT_TRUE(port->Read(&c, 1, n));
  EXPECT_EQ(n, 0);
  port.reset();

  const int status = sim.Stop(SIGTERM);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(AldsimProgram, RefusesAMissingSiteFile) {
  AldsimProcess sim({"/nonexistent/site.file"});
  ASSERT_TRUE(sim.running());
  EXPECT_EQ(sim.FirstLine(), "");
  const int status = sim.Stop(0);  // already ending on its own
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
}

}  // namespace
