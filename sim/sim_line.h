// The simulated serial line: the adapter's view of a SimBus. What the
// controller writes crosses the line at 9600 bit/s, the devices answer after
// their turnaround, and the answer's bytes arrive one by one at the times a
// real line would deliver them. Reads wait on the process clock, so tests
// with a virtual clock run in no real time.
#pragma once

#include <cstdint>

#include "aldlink/adapter/serial_port.h"
#include "sim/bus.h"

namespace ald::sim {

class SimLine final : public SerialPort {
 public:
  explicit SimLine(SimBus& bus) : bus_(bus) {}

  bool GetLineSettings(LineSettings& settings) override;
  bool SetLineSettings(const LineSettings& settings) override;
  bool GetTimeouts(SerialTimeouts& timeouts) override;
  bool SetTimeouts(const SerialTimeouts& timeouts) override;
  bool Purge(unsigned flags) override;
  bool Write(const char* data, int length, int& written) override;
  bool Read(char* buffer, int length, int& got) override;

  // Bytes received (arrived or on their way) and not read yet.
  int Queued() const { return count_; }
  // Arrival time of the next queued byte; only valid when Queued() > 0.
  int64_t NextArrivalUs() const { return queue_[head_].atUs; }
  // The last byte the controller wrote has crossed the line at this time.
  int64_t TransmitEndUs() const { return lineFreeUs_; }

 private:
  struct Byte {
    uint8_t value;
    int64_t atUs;
  };
  static constexpr int kQueueSize = 4096;

  bool SettingsMatchLine() const;
  void Enqueue(uint8_t value, int64_t atUs);
  void DropFront() {
    head_ = (head_ + 1) % kQueueSize;
    --count_;
  }

  SimBus& bus_;
  LineSettings settings_;
  SerialTimeouts timeouts_;
  FrameAssembler assembler_;
  int64_t lineFreeUs_ = 0;
  Byte queue_[kQueueSize] = {};
  int head_ = 0;
  int count_ = 0;
  uint8_t answer_[kMaxWire] = {};
};

}  // namespace ald::sim
