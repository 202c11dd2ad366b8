// Child processes of the benchmark: each measurement runs in a fresh child
// so that its figures (CPU time, peak memory) and the process-wide state of
// the device library are its own, and aldsim runs as a child serving a
// pseudo-terminal.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>

namespace aldbench {

// What a child measured, sent to the parent through a pipe.
struct Report {
  int ok = 0;  // 1 done, 0 the job failed, -1 its preparation failed
  char detail[160] = {};
  int64_t clockUs = 0;  // process clock: virtual time, or real time
  int64_t wallUs = 0;
  int64_t cpuUs = 0;  // user + system of the controller process during the job
  int64_t frames = 0;
  int64_t exchanges = 0;
  int64_t allocations = 0;  // the controller's, outside the line
  int64_t lineAllocations = 0;
  int64_t operations = 0;
  int64_t operationAllocations = 0;
  long maxRssKb = 0;  // filled in by the parent
};

// `text`, cut to the width of the detail field.
void SetDetail(Report& r, const std::string& text);

// Where the children's standard output (the controller's trace) goes;
// /dev/null unless set.
void SetChildTrace(const std::string& path);

// Runs `body` in a child process with standard output sent to the trace
// file, and takes its report with the child's peak memory. False, `out`
// untouched, when the child could not run or ended without a whole report.
bool InChild(const std::function<void(Report&)>& body, Report& out);

// aldsim serving a site on a pseudo-terminal, stopped (SIGTERM) by Stop or
// the destructor.
class SimProcess {
 public:
  SimProcess() = default;
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;
  ~SimProcess() { Stop(); }

  // Starts `aldsim -q site` and waits for the terminal's path on its first
  // line. False with `error` set when it printed none.
  bool Start(const std::string& aldsim, const std::string& site, std::string& error);
  void Stop();
  const std::string& pty() const { return pty_; }
  bool running() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
  std::string pty_;
};

}  // namespace aldbench
