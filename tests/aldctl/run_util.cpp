#include "run_util.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace aldctl_test {

std::string BinPath(const std::string& name) {
  return std::string(ALDCTL_BIN_DIR) + "/" + name;
}

std::string TempPath(const std::string& stem) {
  static std::atomic<int> counter{0};
  return "/tmp/aldctl_test_" + std::to_string(getpid()) + "_" + std::to_string(counter++) + "_" +
         stem;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

RunResult RunAldctl(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  return RunAldctlTo("", args, env);
}

RunResult RunAldctlTo(const std::string& outPath, const std::vector<std::string>& args,
                      const std::vector<std::string>& env) {
  RunResult r;
  std::vector<std::string> envs = env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "ALDLINK_", 8) != 0) envs.push_back(*e);
  }
  std::vector<char*> envp;
  for (auto& e : envs) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argStore = args;
  const std::string program = BinPath("aldctl");
  argStore.insert(argStore.begin(), program);
  std::vector<char*> argv;
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return r;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (outPath.empty()) {
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY, 0);
  }
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  pid_t pid = -1;
  const int spawned =
      posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  if (spawned != 0) {
    close(out[0]);
    close(err[0]);
    return r;
  }
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&r.out, &r.err};
  int open = 2;
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buf[4096];
      const ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) r.status = WEXITSTATUS(status);
  return r;
}

RunResult RunAldctlOnTerminal(const std::vector<std::string>& args,
                              const std::vector<std::string>& env, int interruptAfterMs) {
  RunResult r;
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return r;
  const std::string slave = ptsname(master);
  std::vector<std::string> envs = env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "ALDLINK_", 8) != 0) envs.push_back(*e);
  }
  std::vector<char*> envp;
  for (auto& e : envs) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argStore = args;
  const std::string program = BinPath("aldctl");
  argStore.insert(argStore.begin(), program);
  std::vector<char*> argv;
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return r;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, slave.c_str(), O_RDWR | O_NOCTTY, 0);
  pid_t pid = -1;
  const int spawned =
      posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    close(master);
    return r;
  }
  const auto start = std::chrono::steady_clock::now();
  bool interrupted = interruptAfterMs < 0;
  bool outOpen = true;
  for (;;) {
    pollfd fds[2] = {{master, POLLIN, 0}, {outOpen ? out[0] : -1, POLLIN, 0}};
    poll(fds, 2, 50);
    char buf[4096];
    if (fds[0].revents & POLLIN) {
      const ssize_t n = read(master, buf, sizeof buf);
      if (n > 0) r.err.append(buf, static_cast<size_t>(n));
    }
    if (outOpen && (fds[1].revents & (POLLIN | POLLHUP))) {
      const ssize_t n = read(out[0], buf, sizeof buf);
      if (n > 0) {
        r.out.append(buf, static_cast<size_t>(n));
      } else {
        outOpen = false;
      }
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    if (!interrupted && ms >= interruptAfterMs) {
      kill(pid, SIGINT);
      interrupted = true;
    }
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      // What is left on the terminal.
      for (;;) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0 || !(p.revents & POLLIN)) break;
        const ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;
        r.err.append(buf, static_cast<size_t>(n));
      }
      r.status = WIFEXITED(status)     ? WEXITSTATUS(status)
                 : WIFSIGNALED(status) ? 128 + WTERMSIG(status)
                                       : -1;
      break;
    }
  }
  close(out[0]);
  close(master);
  return r;
}

}  // namespace aldctl_test
