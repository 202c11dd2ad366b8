#include "bench/line_counter.h"

#include "bench/alloc_count.h"

namespace aldbench {

namespace {

// Counts the allocations made inside one call of the inner port.
class LineScope {
 public:
  explicit LineScope(LineCounters& c) : c_(c), start_(AllocationCount()) {}
  ~LineScope() { c_.lineAllocations += AllocationCount() - start_; }
  LineScope(const LineScope&) = delete;
  LineScope& operator=(const LineScope&) = delete;

 private:
  LineCounters& c_;
  int64_t start_;
};

class CountingPort final : public ald::SerialPort {
 public:
  CountingPort(std::unique_ptr<ald::SerialPort> inner, LineCounters& c)
      : inner_(std::move(inner)), c_(c) {}

  bool GetLineSettings(ald::LineSettings& s) override {
    LineScope scope(c_);
    return inner_->GetLineSettings(s);
  }
  bool SetLineSettings(const ald::LineSettings& s) override {
    LineScope scope(c_);
    return inner_->SetLineSettings(s);
  }
  bool GetTimeouts(ald::SerialTimeouts& t) override {
    LineScope scope(c_);
    return inner_->GetTimeouts(t);
  }
  bool SetTimeouts(const ald::SerialTimeouts& t) override {
    LineScope scope(c_);
    return inner_->SetTimeouts(t);
  }
  bool Purge(unsigned flags) override {
    LineScope scope(c_);
    return inner_->Purge(flags);
  }
  bool Write(const char* data, int length, int& written) override {
    if (length > 0) ++c_.frames;
    bool ok = false;
    {
      LineScope scope(c_);
      ok = inner_->Write(data, length, written);
    }
    c_.bytesOut += written > 0 ? written : 0;
    return ok;
  }
  bool Read(char* buffer, int length, int& got) override {
    bool ok = false;
    {
      LineScope scope(c_);
      ok = inner_->Read(buffer, length, got);
    }
    c_.bytesIn += got > 0 ? got : 0;
    return ok;
  }

 private:
  std::unique_ptr<ald::SerialPort> inner_;
  LineCounters& c_;
};

}  // namespace

std::unique_ptr<ald::SerialPort> CountingPlatform::OpenPort(int portNumber) {
  // Opening the port is the platform's work, and the counting wrapper is the
  // benchmark's: neither belongs to the controller.
  LineScope scope(counters);
  std::unique_ptr<ald::SerialPort> port = inner_.OpenPort(portNumber);
  if (!port) return nullptr;
  ++counters.opens;
  return std::make_unique<CountingPort>(std::move(port), counters);
}

}  // namespace aldbench
