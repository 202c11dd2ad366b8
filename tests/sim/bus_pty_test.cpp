// aldsim as a program: a pseudo-terminal served with real line timing, used
// through the controller's termios port, stopped by SIGTERM.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "aldlink/adapter/termios_port.h"

extern char** environ;

namespace {

class AldsimProcess {
 public:
  // Starts `program` (aldsim unless told) with `args`; `env` entries of the
  // form NAME=VALUE are added to the environment and replace ALDLINK_*.
  explicit AldsimProcess(std::vector<std::string> args, const char* program = ALDSIM_PATH,
                         std::vector<std::string> env = {}) {
    for (char** e = environ; *e != nullptr; ++e) {
      if (std::strncmp(*e, "ALDLINK_", 8) != 0) env.push_back(*e);
    }
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, program, &actions, nullptr, argv.data(), envp.data()) != 0) {
      pid_ = -1;
    }
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

  // Everything the program writes until it closes its output (at most 10 s
  // of silence).
  std::string Rest() {
    std::string text;
    char buf[4096];
    for (;;) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 10000) <= 0) return text;
      const ssize_t n = read(out_, buf, sizeof buf);
      if (n <= 0) return text;
      text.append(buf, static_cast<size_t>(n));
    }
  }

  // Sends `sig` (none when 0) and returns the wait status.
  int Stop(int sig) {
    if (sig != 0) kill(pid_, sig);
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
  // The six command bytes crossing the line, the turnaround and the six
  // answer bytes at 9600 bit/s: at least 15 ms.
  EXPECT_GE(elapsed, std::chrono::milliseconds(15));

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

// The README's probe against aldsim through the real serial port code: both
// programs as a user runs them, on a two-device site (about a second).
TEST(AldsimProgram, ProbeReachesEverySiteDeviceThroughTheTerminal) {
  char sitePath[] = "/tmp/aldsim_test_XXXXXX";
  const int fd = mkstemp(sitePath);
  ASSERT_GE(fd, 0);
  const std::string site =
      "[device]\ngeneration = 2\ntype = 17\nvendor = KA\nserial = 4711\n\n"
      "[device]\ngeneration = 1\ntype = 1\nvendor = AL\nserial = 123456789012\n";
  ASSERT_EQ(write(fd, site.data(), site.size()), static_cast<ssize_t>(site.size()));
  close(fd);

  AldsimProcess sim({"-q", sitePath});
  const std::string path = sim.FirstLine();
  ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
  AldsimProcess probe({"--site", sitePath}, ALDPROBE_PATH, {"ALDLINK_PORT=" + path});
  ASSERT_TRUE(probe.running());
  const std::string out = probe.Rest();
  const int probeStatus = probe.Stop(0);
  ASSERT_TRUE(WIFEXITED(probeStatus));
  EXPECT_EQ(WEXITSTATUS(probeStatus), 0) << out;
  EXPECT_NE(out.find("2 of 2 devices answered"), std::string::npos) << out;

  const int status = sim.Stop(SIGINT);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::remove(sitePath);
}

}  // namespace
