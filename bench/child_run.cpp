#include "bench/child_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace aldbench {

namespace {

std::string gTracePath = "/dev/null";

}  // namespace

void SetDetail(Report& r, const std::string& text) {
  std::snprintf(r.detail, sizeof r.detail, "%s", text.c_str());
}

void SetChildTrace(const std::string& path) {
  gTracePath = path;
}

bool InChild(const std::function<void(Report&)>& body, Report& out) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (pid == 0) {
    close(fds[0]);
    const int trace = open(gTracePath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (trace >= 0) dup2(trace, STDOUT_FILENO);
    Report r;
    body(r);
    std::fflush(stdout);
    const char* p = reinterpret_cast<const char*>(&r);
    size_t left = sizeof r;
    while (left > 0) {
      const ssize_t n = write(fds[1], p, left);
      if (n <= 0) _exit(1);
      p += n;
      left -= static_cast<size_t>(n);
    }
    // No destructors or exit handlers of the parent's objects run twice.
    _exit(0);
  }
  close(fds[1]);
  Report r;
  char* p = reinterpret_cast<char*>(&r);
  size_t got = 0;
  while (got < sizeof r) {
    const ssize_t n = read(fds[0], p + got, sizeof r - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(fds[0]);
  int status = 0;
  rusage ru{};
  if (wait4(pid, &status, 0, &ru) != pid) return false;
  // A child that died after writing its report still did not finish.
  if (got != sizeof r || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
  r.maxRssKb = ru.ru_maxrss;
  out = r;
  return true;
}

bool SimProcess::Start(const std::string& aldsim, const std::string& site, std::string& error) {
  Stop();
  int fds[2];
  if (pipe(fds) != 0) {
    error = "no pipe";
    return false;
  }
  std::fflush(stdout);
  pid_ = fork();
  if (pid_ < 0) {
    close(fds[0]);
    close(fds[1]);
    error = "fork failed";
    return false;
  }
  if (pid_ == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    execl(aldsim.c_str(), "aldsim", "-q", site.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  std::string line;
  char c = 0;
  while (read(fds[0], &c, 1) == 1 && c != '\n') line.push_back(c);
  close(fds[0]);
  if (line.empty()) {
    error = "aldsim (" + aldsim + ") printed no terminal";
    Stop();
    return false;
  }
  pty_ = line;
  return true;
}

void SimProcess::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  pty_.clear();
}

}  // namespace aldbench
