// aldctl with the real interface library on simulated antenna lines: the
// in-process simulator (ALDLINK_SIM) on the virtual clock, and the aldsim
// program behind a pseudo-terminal (ALDLINK_PORT), which runs in real time:
// a scan of the demo site takes most of a minute there, so that test is one
// chained run.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "run_util.h"

using aldctl_test::RunAldctl;

extern char** environ;

namespace {

const std::string kDemoSite = std::string(ALDCTL_SITES_DIR) + "/demo.site";

size_t CountOf(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) ++n;
  return n;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The JSON object of the entry with the given address and subunit.
std::string JsonEntry(const std::string& json, int address, int subunit) {
  const std::string key = "{\"Address\": \"" + std::to_string(address) + "\", \"Subunit\": \"" +
                          std::to_string(subunit) + "\"";
  const size_t start = json.find(key);
  if (start == std::string::npos) return "";
  return json.substr(start, json.find('}', start) - start + 1);
}

TEST(AldctlEndToEnd, InProcessSimulatorScanThenListAsJsonAndCsv) {
  const std::string trace = aldctl_test::TempPath("sim_trace.txt");
  const auto r = RunAldctl({"--trace", trace, "scan", "--depth", "2", "+", "list", "--format",
                            "json", "+", "list", "--format", "csv"},
                           {"ALDLINK_SIM=" + kDemoSite, "ALDLINK_SIM_CLOCK=virtual"});
  const std::string traceText = aldctl_test::ReadFile(trace);
  std::remove(trace.c_str());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "Found 5 devices: RET 3 devices, 5 units; TMA 2 devices, 3 units\n");
  EXPECT_EQ(r.out.rfind("[\n", 0), 0u) << r.out;
  // The library's trace went to the file and nowhere else.
  EXPECT_TRUE(Has(traceText, "AISGDevice::Scan(depth = 2, a = 1)"));
  EXPECT_FALSE(Has(r.out, "AISGDevice::"));
  EXPECT_FALSE(Has(r.out, "\x1b["));

  const size_t jsonStart = r.out.find("[\n");
  const size_t jsonEnd = r.out.find("\n]\n");
  ASSERT_NE(jsonStart, std::string::npos);
  ASSERT_NE(jsonEnd, std::string::npos);
  const std::string json = r.out.substr(jsonStart, jsonEnd + 3 - jsonStart);
  EXPECT_EQ(CountOf(json, "{\"Address\""), 8u);
  EXPECT_EQ(CountOf(json, "\"Mech. Tilt\": "), 8u);
  const std::string multi = JsonEntry(json, 3, 2);
  EXPECT_TRUE(Has(multi, "\"Device Type\": \"11\"")) << multi;
  EXPECT_TRUE(Has(multi, "\"Unique ID\": \"KAMR4401203977\"")) << multi;
  EXPECT_TRUE(Has(multi, "\"Antenna Serial No.\": \"AX2411030017B\"")) << multi;
  EXPECT_TRUE(Has(multi, "\"Current Tilt\": \"40\"")) << multi;
  const std::string aisg1 = JsonEntry(json, 4, 1);
  EXPECT_TRUE(Has(aisg1, "\"AISG Version\": \"1\"")) << aisg1;
  EXPECT_TRUE(Has(aisg1, "\"Mech. Tilt\": \"-10\"")) << aisg1;

  const std::string csv = r.out.substr(jsonEnd + 3);
  std::vector<std::string> lines;
  for (size_t p = 0; p < csv.size();) {
    const size_t end = csv.find("\r\n", p);
    if (end == std::string::npos) break;
    lines.push_back(csv.substr(p, end - p));
    p = end + 2;
  }
  ASSERT_EQ(lines.size(), 9u) << csv;
  for (const std::string& line : lines) EXPECT_EQ(CountOf(line, ","), 33u) << line;
  EXPECT_EQ(lines[0].rfind("Address,Subunit,Device Type,AISG Version,Unique ID,Vendor,", 0), 0u);
  EXPECT_TRUE(Has(csv, "\r\n3,2,11,2,KAMR4401203977,KA,RCU-M3-2.0,"));
}

// aldsim serving the demo site on a pseudo-terminal, stopped with SIGTERM.
class Aldsim {
 public:
  explicit Aldsim(const std::string& site) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      if (std::string(*e).rfind("ALDLINK_", 0) != 0) env.push_back(*e);
    }
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = aldctl_test::BinPath("aldsim");
    std::string quiet = "-q";
    std::string siteArg = site;
    char* argv[] = {program.data(), quiet.data(), siteArg.data(), nullptr};
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    out_ = out[0];
  }
  ~Aldsim() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
  }

  // The terminal path that aldsim prints first (waits at most 5 s).
  std::string PortPath() {
    std::string line;
    for (;;) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 5000) <= 0) return line;
      char c;
      if (read(out_, &c, 1) != 1 || c == '\n') return line;
      line += c;
    }
  }

  // SIGTERM, then the exit status (-1 when it did not exit normally).
  int Stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    const pid_t done = waitpid(pid_, &status, 0);
    pid_ = -1;
    return done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
};

TEST(AldctlEndToEnd, AldsimOverAPseudoTerminal) {
  Aldsim sim(kDemoSite);
  const std::string port = sim.PortPath();
  ASSERT_EQ(port.rfind("/dev/pts/", 0), 0u) << port;
  const auto r =
      RunAldctl({"scan",       "--depth", "2",    "+",    "list", "--format", "json",   "+",
                 "tilt",       "set",     "2",    "1",    "10.5", "+",        "tilt",   "get",
                 "2",          "1",       "+",    "data", "set",  "2",        "1",      "site-id",
                 "NEW-SITE-7", "bearing", "2655", "+",    "data", "get",      "2",      "1",
                 "Site ID",    "+",       "data", "get",  "2",    "1",        "bearing"},
                {"ALDLINK_PORT=" + port});
  EXPECT_EQ(sim.Stop(), 0);
  ASSERT_EQ(r.status, 0) << r.err << r.out;
  EXPECT_EQ(r.err.rfind("Found 5 devices: RET 3 devices, 5 units; TMA 2 devices, 3 units\n", 0), 0u)
      << r.err;
  EXPECT_EQ(r.out.rfind("[\n", 0), 0u) << r.out;
  const std::string before = JsonEntry(r.out, 2, 1);
  EXPECT_TRUE(Has(before, "\"Vendor\": \"EM\"")) << before;
  EXPECT_TRUE(Has(before, "\"Current Tilt\": \"75\"")) << before;
  EXPECT_TRUE(Has(before, "\"Site ID\": \"ENB-4711-NORTH\"")) << before;
  // The tilt read back from the device after the set, then the written
  // data fields as the device confirmed them.
  EXPECT_EQ(r.out.substr(r.out.find("\n]\n") + 3), "10.5\nNEW-SITE-7\n2655\n");
}

}  // namespace
