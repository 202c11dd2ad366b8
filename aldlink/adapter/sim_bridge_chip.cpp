#include "aldlink/adapter/sim_bridge_chip.h"

#include <algorithm>
#include <cstring>

namespace ald {

namespace {

// The chip stores at most 63 serial number characters.
constexpr size_t kMaxSerialChars = 63;

ChipHandle HandleFor(size_t index) {
  return reinterpret_cast<ChipHandle>(uintptr_t{index + 1});
}

}  // namespace

int SimBridgeChip::OpenHandleCount() const {
  int total = 0;
  for (const Chip& c : chips_) total += c.openHandles;
  return total;
}

bool SimBridgeChip::Fails(Op op) {
  ++counters_.calls;
  int& pending = failures_[Index(op)];
  if (pending == 0) return false;
  if (pending > 0) --pending;
  return true;
}

SimBridgeChip::Chip* SimBridgeChip::Lookup(ChipHandle handle) {
  const uintptr_t raw = reinterpret_cast<uintptr_t>(handle);
  if (raw == 0 || raw > chips_.size()) return nullptr;
  Chip& c = chips_[raw - 1];
  return c.openHandles > 0 ? &c : nullptr;
}

int SimBridgeChip::GetNumDevices(unsigned& count) {
  if (Fails(Op::kGetNumDevices)) return 1;
  count = ChipCount();
  return 0;
}

int SimBridgeChip::Open(unsigned index, ChipHandle& handle) {
  openRefusedNow_ = false;
  if (Fails(Op::kOpen) || index >= chips_.size()) return 1;
  if (!refuseOpen.empty()) {
    openRefusedNow_ = true;
    return 1;
  }
  ++chips_[index].openHandles;
  ++counters_.opens;
  handle = HandleFor(index);
  return 0;
}

int SimBridgeChip::Close(ChipHandle handle) {
  if (Fails(Op::kClose)) return 1;
  Chip* c = Lookup(handle);
  if (c == nullptr) return 1;
  --c->openHandles;
  ++counters_.closes;
  return 0;
}

int SimBridgeChip::GetPartNumber(ChipHandle handle, uint8_t& partNumber) {
  if (Fails(Op::kGetPartNumber)) return 1;
  Chip* c = Lookup(handle);
  if (c == nullptr) return 1;
  partNumber = c->partNumber;
  return 0;
}

int SimBridgeChip::GetVendorId(ChipHandle handle, uint16_t& vid) {
  if (Fails(Op::kGetVendorId)) return 1;
  Chip* c = Lookup(handle);
  if (c == nullptr) return 1;
  vid = c->vid;
  return 0;
}

int SimBridgeChip::GetProductId(ChipHandle handle, uint16_t& pid) {
  if (Fails(Op::kGetProductId)) return 1;
  Chip* c = Lookup(handle);
  if (c == nullptr) return 1;
  pid = c->pid;
  return 0;
}

int SimBridgeChip::GetSerialNumber(ChipHandle handle, char* buffer, uint8_t& length, bool asAscii) {
  if (Fails(Op::kGetSerialNumber)) return 1;
  Chip* c = Lookup(handle);
  if (c == nullptr || buffer == nullptr) return 1;
  const size_t chars = std::min(c->serial.size(), kMaxSerialChars);
  if (asAscii) {
    std::memcpy(buffer, c->serial.data(), chars);
    length = static_cast<uint8_t>(chars);
  } else {
    // UTF-16LE, as the chip's string descriptor holds it; the length is in
    // bytes then, and the 64-byte buffer bounds the characters.
    const size_t wide = std::min(chars, size_t{32});
    for (size_t i = 0; i < wide; ++i) {
      buffer[2 * i] = c->serial[i];
      buffer[2 * i + 1] = 0;
    }
    length = static_cast<uint8_t>(2 * wide);
  }
  return 0;
}

int SimBridgeChip::Reset(ChipHandle handle) {
  if (Fails(Op::kReset)) return 1;
  Chip* c = Lookup(handle);
  if (c == nullptr) return 1;
  c->latch = static_cast<uint8_t>((c->config.resetLatch >> 8) & 0x0F);
  ++counters_.resets;
  return 0;
}

int SimBridgeChip::GetPortConfig(ChipHandle handle, ChipPortConfig& config) {
  if (Fails(Op::kGetPortConfig)) return 1;
  Chip* c = Lookup(handle);
  if (c == nullptr) return 1;
  config = c->config;
  ++counters_.configReads;
  return 0;
}

int SimBridgeChip::SetPortConfig(ChipHandle handle, const ChipPortConfig& config) {
  if (Fails(Op::kSetPortConfig)) return 1;
  Chip* c = Lookup(handle);
  if (c == nullptr) return 1;
  c->config = config;
  ++counters_.configWrites;
  return 0;
}

int SimBridgeChip::ReadLatch(ChipHandle handle, uint8_t& latch) {
  if (Fails(Op::kReadLatch)) return 1;
  Chip* c = Lookup(handle);
  if (c == nullptr) return 1;
  latch = c->latch;
  ++counters_.latchReads;
  return 0;
}

int SimBridgeChip::WriteLatch(ChipHandle handle, uint8_t mask, uint8_t value) {
  if (Fails(Op::kWriteLatch)) return 1;
  Chip* c = Lookup(handle);
  if (c == nullptr) return 1;
  c->latch = static_cast<uint8_t>((c->latch & ~mask) | (value & mask));
  ++counters_.latchWrites;
  return 0;
}

}  // namespace ald
