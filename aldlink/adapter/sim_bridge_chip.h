// An in-memory bridge chip library: one or more CP210x-like chips whose
// identifiers, port configuration record and live GPIO latch live in memory.
//
// Used by the adapter tests and as the bridge chip of the simulated adapter.
// Every chip starts as the adapter's chip: part number 3, vendor 0x10C4,
// product 0xEA60, serial "0001", all-zero configuration and latch.
//
// Handles are small integers (chip index + 1) cast to ChipHandle; a handle is
// valid from Open until Close. Calls on an invalid or closed handle fail.
//
// Failure injection: FailAlways(op) makes every later call of that operation
// fail; FailNext(op, n) makes the next n calls fail; ClearFailures() undoes
// both. Failing calls change nothing and are still counted.
//
// Counters (Counters()) tell tests whether and how the chip was touched.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "aldlink/adapter/bridge_chip.h"

namespace ald {

class SimBridgeChip final : public BridgeChipLibrary {
 public:
  enum class Op {
    kGetNumDevices,
    kOpen,
    kClose,
    kGetPartNumber,
    kGetVendorId,
    kGetProductId,
    kGetSerialNumber,
    kReset,
    kGetPortConfig,
    kSetPortConfig,
    kReadLatch,
    kWriteLatch,
  };
  static constexpr int kOpCount = 12;

  // State of one simulated chip.
  struct Chip {
    uint8_t partNumber = 3;
    uint16_t vid = 0x10C4;
    uint16_t pid = 0xEA60;
    std::string serial = "0001";  // at most 63 characters are reported
    ChipPortConfig config;
    uint8_t latch = 0;  // live GPIO levels, bit n = GPIO n
    int openHandles = 0;
  };

  struct Counters {
    int opens = 0;         // successful opens
    int closes = 0;        // successful closes
    int configReads = 0;   // successful configuration reads
    int configWrites = 0;  // successful configuration writes
    int latchReads = 0;    // successful live latch reads
    int latchWrites = 0;   // successful live latch writes
    int resets = 0;        // successful resets
    int calls = 0;         // every call, failing or not
  };

  SimBridgeChip() : chips_(1) {}
  explicit SimBridgeChip(unsigned chipCount) : chips_(chipCount) {}

  // Chips: resize (new chips take the defaults above) and access by index.
  void SetChipCount(unsigned count) { chips_.resize(count); }
  unsigned ChipCount() const { return static_cast<unsigned>(chips_.size()); }
  Chip& chip(unsigned index = 0) { return chips_.at(index); }
  const Chip& chip(unsigned index = 0) const { return chips_.at(index); }

  // Shorthands for the first chip.
  void SetSerial(const std::string& serial) { chips_.at(0).serial = serial; }
  uint8_t Latch() const { return chips_.at(0).latch; }
  const ChipPortConfig& Config() const { return chips_.at(0).config; }

  // Failure injection.
  // Non-empty: every Open fails with this reason, as a chip the user may not
  // open (no udev rule).
  std::string refuseOpen;
  void FailAlways(Op op) { failures_[Index(op)] = -1; }
  void FailNext(Op op, int times) { failures_[Index(op)] = times > 0 ? times : 0; }
  void ClearFailures() { failures_.fill(0); }

  const Counters& counters() const { return counters_; }
  void ResetCounters() { counters_ = Counters{}; }
  // Handles opened and not closed, over all chips.
  int OpenHandleCount() const;

  // BridgeChipLibrary.
  int GetNumDevices(unsigned& count) override;
  int Open(unsigned index, ChipHandle& handle) override;
  const char* LastOpenError() const override {
    return openRefusedNow_ ? refuseOpen.c_str() : nullptr;
  }
  int Close(ChipHandle handle) override;
  int GetPartNumber(ChipHandle handle, uint8_t& partNumber) override;
  int GetVendorId(ChipHandle handle, uint16_t& vid) override;
  int GetProductId(ChipHandle handle, uint16_t& pid) override;
  int GetSerialNumber(ChipHandle handle, char* buffer, uint8_t& length, bool asAscii) override;
  // Restarts the chip: the live latch takes the power-on levels of the
  // configuration record.
  int Reset(ChipHandle handle) override;
  int GetPortConfig(ChipHandle handle, ChipPortConfig& config) override;
  int SetPortConfig(ChipHandle handle, const ChipPortConfig& config) override;
  int ReadLatch(ChipHandle handle, uint8_t& latch) override;
  int WriteLatch(ChipHandle handle, uint8_t mask, uint8_t value) override;

 private:
  static int Index(Op op) { return static_cast<int>(op); }
  // Counts the call and consumes one injected failure; true when it must fail.
  bool Fails(Op op);
  // The chip behind an open handle, or nullptr.
  Chip* Lookup(ChipHandle handle);

  std::vector<Chip> chips_;
  bool openRefusedNow_ = false;
  std::array<int, kOpCount> failures_{};
  Counters counters_;
};

}  // namespace ald
