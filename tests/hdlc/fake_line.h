// A scripted RS-485 line for the link-layer tests: the adapter platform hands
// out a serial port that records every write and, after each write, serves
// the next scripted answer. A read that finds no byte waits its time-out on
// the process clock (virtual in tests) and returns nothing, as a silent bus.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "aldlink/adapter/adapter_platform.h"
#include "aldlink/adapter/bridge_chip.h"
#include "aldlink/adapter/serial_port.h"

namespace hdlctest {

using Bytes = std::vector<uint8_t>;

struct LineState {
  std::deque<Bytes> answers;  // one answer per write, in order
  std::deque<uint8_t> input;  // bytes waiting in the receive buffer
  std::vector<Bytes> writes;  // every write, as on the wire
  int writeLimit = -1;        // >= 0: a write puts at most this many bytes out
  int purges = 0;             // purge calls
  int64_t lastReadUs = -1;    // clock time when the last read returned
  ald::SerialTimeouts timeouts;
  bool portOpen = false;
  bool refuseOpen = false;  // the port cannot be opened
};

class FakePort final : public ald::SerialPort {
 public:
  explicit FakePort(LineState& line) : line_(line) { line_.portOpen = true; }
  ~FakePort() override { line_.portOpen = false; }

  bool GetLineSettings(ald::LineSettings& settings) override;
  bool SetLineSettings(const ald::LineSettings& settings) override;
  bool GetTimeouts(ald::SerialTimeouts& timeouts) override;
  bool SetTimeouts(const ald::SerialTimeouts& timeouts) override;
  bool Purge(unsigned flags) override;
  bool Write(const char* data, int length, int& written) override;
  bool Read(char* buffer, int length, int& got) override;

 private:
  LineState& line_;
  ald::LineSettings settings_;
};

// One adapter chip that answers every query; the port number comes from
// ExplicitPortNumber anyway.
class FakeChips final : public ald::BridgeChipLibrary {
 public:
  int GetNumDevices(unsigned& count) override;
  int Open(unsigned index, ald::ChipHandle& handle) override;
  int Close(ald::ChipHandle handle) override;
  int GetPartNumber(ald::ChipHandle handle, uint8_t& partNumber) override;
  int GetVendorId(ald::ChipHandle handle, uint16_t& vid) override;
  int GetProductId(ald::ChipHandle handle, uint16_t& pid) override;
  int GetSerialNumber(ald::ChipHandle handle, char* buffer, uint8_t& length, bool asAscii) override;
  int Reset(ald::ChipHandle handle) override;
  int GetPortConfig(ald::ChipHandle handle, ald::ChipPortConfig& config) override;
  int SetPortConfig(ald::ChipHandle handle, const ald::ChipPortConfig& config) override;
  int ReadLatch(ald::ChipHandle handle, uint8_t& latch) override;
  int WriteLatch(ald::ChipHandle handle, uint8_t mask, uint8_t value) override;
};

class FakePlatform final : public ald::AdapterPlatform {
 public:
  ald::BridgeChipLibrary& Chips() override { return chips_; }
  int ExplicitPortNumber() override { return 1; }
  int LookupPortNumber(uint16_t, uint16_t, const char*) override { return 1; }
  std::unique_ptr<ald::SerialPort> OpenPort(int portNumber) override;

  LineState line;

 private:
  FakeChips chips_;
};

// A complete frame (flags, address, control, information, FCS) before
// transparency.
Bytes MakeFrame(uint8_t address, uint8_t control, const Bytes& info = {});

}  // namespace hdlctest
