// An adapter platform that passes everything to another one and counts what
// crosses the line: frames written, bytes each way, and the heap allocations
// made while the line itself (a simulated bus in this process, or the serial
// driver) had control, so that they can be told apart from the controller's.
#pragma once

#include <cstdint>
#include <memory>

#include "aldlink/adapter/adapter_platform.h"

namespace aldbench {

struct LineCounters {
  int64_t frames = 0;  // Write calls that carried bytes: one command frame each
  int64_t bytesOut = 0;
  int64_t bytesIn = 0;
  int64_t opens = 0;
  int64_t lineAllocations = 0;  // made inside the inner port's calls
};

class CountingPlatform final : public ald::AdapterPlatform {
 public:
  explicit CountingPlatform(ald::AdapterPlatform& inner) : inner_(inner) {}

  ald::BridgeChipLibrary& Chips() override { return inner_.Chips(); }
  int ExplicitPortNumber() override { return inner_.ExplicitPortNumber(); }
  int LookupPortNumber(uint16_t vid, uint16_t pid, const char* serial) override {
    return inner_.LookupPortNumber(vid, pid, serial);
  }
  std::unique_ptr<ald::SerialPort> OpenPort(int portNumber) override;

  LineCounters counters;

 private:
  ald::AdapterPlatform& inner_;
};

}  // namespace aldbench
