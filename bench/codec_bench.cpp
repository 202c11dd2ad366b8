// aldbench_codec: throughput of the frame check sequence, the byte
// transparency and a whole frame exchange (build, escape, FCS, send, receive,
// unescape, check, trace) over an in-memory line. A regression guard: the
// figures are printed in MB/s and frames/s, one table row each.
//
//   aldbench_codec [Google Benchmark options, e.g. --benchmark_filter=Fcs]
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "aldlink/adapter/adapter_platform.h"
#include "aldlink/adapter/sim_bridge_chip.h"
#include "aldlink/hdlc/aisghdlc.h"
#include "aldlink/hdlc/fcs.h"
#include "support/clock.h"

namespace {

constexpr int kAddress = 3;

std::vector<uint8_t> Payload(size_t n) {
  std::vector<uint8_t> v(n);
  // One byte in eight needs escaping, as on a busy line.
  for (size_t i = 0; i < n; ++i) v[i] = (i % 8 == 3) ? 0x7E : static_cast<uint8_t>(i * 13 + 1);
  return v;
}

// The answer a device sends: an I-frame carrying `info`, escaped, flags around.
std::vector<uint8_t> AnswerFrame(const std::vector<uint8_t>& info) {
  std::vector<uint8_t> inner = {kAddress, 0x10};
  inner.insert(inner.end(), info.begin(), info.end());
  const uint16_t fcs = ald::hdlc::Fcs16(inner.data(), inner.size());
  inner.push_back(static_cast<uint8_t>(fcs & 0xFF));
  inner.push_back(static_cast<uint8_t>(fcs >> 8));
  std::vector<uint8_t> out(inner.size() * 2 + 2);
  out[0] = ald::hdlc::kFlag;
  const int n = ald::hdlc::EscapeBytes(inner.data(), inner.size(), out.data() + 1, out.size() - 2);
  out.resize(static_cast<size_t>(n) + 2);
  out.back() = ald::hdlc::kFlag;
  return out;
}

// A line that takes every frame and answers each with the same frame, byte
// by byte, as the serial driver hands them over.
class ReplayPort final : public ald::SerialPort {
 public:
  explicit ReplayPort(const std::vector<uint8_t>* answer) : answer_(answer) {}
  bool GetLineSettings(ald::LineSettings& s) override {
    s = settings_;
    return true;
  }
  bool SetLineSettings(const ald::LineSettings& s) override {
    settings_ = s;
    return true;
  }
  bool GetTimeouts(ald::SerialTimeouts& t) override {
    t = timeouts_;
    return true;
  }
  bool SetTimeouts(const ald::SerialTimeouts& t) override {
    timeouts_ = t;
    return true;
  }
  bool Purge(unsigned) override { return true; }
  bool Write(const char*, int length, int& written) override {
    written = length;
    next_ = 0;
    return true;
  }
  bool Read(char* buffer, int length, int& got) override {
    got = 0;
    while (got < length && next_ < answer_->size())
      buffer[got++] = static_cast<char>((*answer_)[next_++]);
    return true;
  }

 private:
  const std::vector<uint8_t>* answer_;
  ald::LineSettings settings_;
  ald::SerialTimeouts timeouts_;
  size_t next_ = 0;
};

class ReplayPlatform final : public ald::AdapterPlatform {
 public:
  ald::BridgeChipLibrary& Chips() override { return chip_; }
  int ExplicitPortNumber() override { return 1; }
  int LookupPortNumber(uint16_t, uint16_t, const char*) override { return 1; }
  std::unique_ptr<ald::SerialPort> OpenPort(int) override {
    return std::make_unique<ReplayPort>(&answer);
  }
  std::vector<uint8_t> answer;

 private:
  ald::SimBridgeChip chip_;
};

void BM_Fcs16(benchmark::State& state) {
  const std::vector<uint8_t> data = Payload(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(ald::hdlc::Fcs16(data.data(), data.size()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Fcs16)->Arg(16)->Arg(74)->Arg(250);

void BM_Escape(benchmark::State& state) {
  const std::vector<uint8_t> data = Payload(static_cast<size_t>(state.range(0)));
  std::vector<uint8_t> out(data.size() * 2);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        ald::hdlc::EscapeBytes(data.data(), data.size(), out.data(), out.size()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Escape)->Arg(74)->Arg(120);

// One I-frame out and one back through the link layer; the trace goes to
// /dev/null, as in a controller run without a console.
void BM_FrameExchange(benchmark::State& state) {
  ald::ScopedVirtualClock clock;
  ReplayPlatform platform;
  const std::vector<uint8_t> info = Payload(static_cast<size_t>(state.range(0)));
  platform.answer = AnswerFrame(info);
  ald::SetAdapterPlatform(&platform);
  std::vector<char> request(info.begin(), info.end());
  AISGHDLC link;
  link.EnableRS485();
  int failures = 0;
  for (auto _ : state) {
    if (link.SetInfo(kAddress, request.data(), static_cast<int>(request.size())) != 0) ++failures;
  }
  link.DisableRS485();
  ald::SetAdapterPlatform(nullptr);
  if (failures > 0) state.SkipWithError("the answer frame was not accepted");
  state.SetItemsProcessed(state.iterations());
  // Both frames' information bytes.
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 2 * state.range(0));
}
BENCHMARK(BM_FrameExchange)->Arg(0)->Arg(74);

// Keeps the runs and prints them as table rows once standard output is back.
class TableReporter final : public benchmark::BenchmarkReporter {
 public:
  bool ReportContext(const Context&) override { return true; }
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) runs_.push_back(r);
  }
  void Print(const std::string& program) const {
    std::printf("| benchmark | CPU ns per call | MB/s | frames/s | command |\n");
    std::printf("|---|---|---|---|---|\n");
    for (const Run& r : runs_) {
      if (r.error_occurred) {
        std::printf("| %s | FAILED: %s | | | |\n", r.benchmark_name().c_str(),
                    r.error_message.c_str());
        continue;
      }
      // CPU time, as the rates: other work on the machine does not skew it.
      const double ns = r.GetAdjustedCPUTime() * (r.time_unit == benchmark::kNanosecond    ? 1.0
                                                  : r.time_unit == benchmark::kMicrosecond ? 1e3
                                                  : r.time_unit == benchmark::kMillisecond ? 1e6
                                                                                           : 1e9);
      auto counter = [&](const char* name) {
        auto it = r.counters.find(name);
        return it == r.counters.end() ? 0.0 : static_cast<double>(it->second);
      };
      const double bytes = counter("bytes_per_second");
      const double items = counter("items_per_second");
      std::string frames = items > 0 ? std::to_string(static_cast<long long>(items)) : "-";
      char mb[32] = "-";
      if (bytes > 0) std::snprintf(mb, sizeof mb, "%.1f", bytes / 1e6);
      std::printf("| %s | %.1f | %s | %s | `%s --benchmark_filter='^%s$'` |\n",
                  r.benchmark_name().c_str(), ns, mb, frames.c_str(), program.c_str(),
                  r.benchmark_name().c_str());
    }
  }

 private:
  std::vector<Run> runs_;
};

}  // namespace

int main(int argc, char** argv) {
  const std::string program = argc > 0 ? argv[0] : "aldbench_codec";
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;

  // The link layer traces every frame on standard output.
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  const int null = open("/dev/null", O_WRONLY);
  if (null >= 0) dup2(null, STDOUT_FILENO);
  TableReporter table;
  benchmark::RunSpecifiedBenchmarks(&table);
  std::fflush(stdout);
  if (saved >= 0) dup2(saved, STDOUT_FILENO);

  std::printf("# aldbench_codec\n\n");
  table.Print(program);
  benchmark::Shutdown();
  return 0;
}
