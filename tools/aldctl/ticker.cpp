// The elapsed-time line of long operations; the two calls it needs of the
// platform (is standard error a terminal, a newline written from a signal
// handler) live in the platform's loading unit.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <thread>

#include "tools/aldctl/glue.h"

namespace aldctl {

struct ElapsedTicker::State {
  std::string label;
  Progress progress;
  std::chrono::steady_clock::time_point start;
  std::mutex mutex;
  std::condition_variable wake;
  bool done = false;
  std::thread thread;
  void (*previous)(int) = SIG_DFL;
};

namespace {

// Ends the progress line, then lets Ctrl-C do what it does by default.
void EndLineOnInterrupt(int signal) {
  WriteNewlineToStderr();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// The share done as "45%", empty when unknown.
std::string Share(const ElapsedTicker::Progress& progress) {
  int done = 0, total = 0;
  if (!progress || !progress(done, total) || total <= 0 || done < 0) return "";
  const long long percent = std::min<long long>(100, 100LL * done / total);
  return std::to_string(percent) + "%, ";
}

}  // namespace

ElapsedTicker::ElapsedTicker(const std::string& label, Progress progress) {
  if (!StderrIsTerminal()) return;
  state_ = new State;
  state_->label = label;
  state_->progress = std::move(progress);
  state_->start = std::chrono::steady_clock::now();
  state_->previous = std::signal(SIGINT, EndLineOnInterrupt);
  State* s = state_;
  s->thread = std::thread([s] {
    std::unique_lock<std::mutex> lock(s->mutex);
    while (!s->wake.wait_for(lock, std::chrono::seconds(1), [s] { return s->done; })) {
      const auto secs = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::steady_clock::now() - s->start)
                            .count();
      std::fprintf(stderr, "\r%s: %s%lld s   ", s->label.c_str(), Share(s->progress).c_str(),
                   static_cast<long long>(secs));
    }
  });
}

ElapsedTicker::~ElapsedTicker() {
  if (state_ == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->done = true;
  }
  state_->wake.notify_all();
  state_->thread.join();
  const double secs =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - state_->start).count();
  std::fprintf(stderr, "\r%s: %s%.1f s   \n", state_->label.c_str(),
               Share(state_->progress).c_str(), secs);
  std::signal(SIGINT, state_->previous == SIG_ERR ? SIG_DFL : state_->previous);
  delete state_;
}

}  // namespace aldctl
