// Test helpers for the bus and link layer: an echo device and a bus driven
// with raw frames.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "aldlink/hdlc/fcs.h"
#include "sim/bus.h"

namespace ald::sim::testing {

// Layer 7 that answers every message with itself, at once or after
// `delayUs` (then through PendingAnswer).
class EchoDevice final : public SimDevice {
 public:
  int64_t delayUs = 0;
  int messages = 0;  // messages handed to layer 7

  int HandleMessage(const uint8_t* info, int length, int64_t nowUs, uint8_t* out,
                    int capacity) override {
    ++messages;
    last_.assign(info, info + length);
    if (delayUs > 0) {
      readyAtUs_ = nowUs + delayUs;
      waiting_ = true;
      return 0;
    }
    return Copy(out, capacity);
  }
  int PendingAnswer(int64_t nowUs, uint8_t* out, int capacity) override {
    if (!waiting_ || nowUs < readyAtUs_) return 0;
    waiting_ = false;
    return Copy(out, capacity);
  }

 private:
  int Copy(uint8_t* out, int capacity) {
    const int n =
        static_cast<int>(last_.size()) < capacity ? static_cast<int>(last_.size()) : capacity;
    if (n > 0) std::memcpy(out, last_.data(), static_cast<size_t>(n));
    return n;
  }
  std::vector<uint8_t> last_;
  bool waiting_ = false;
  int64_t readyAtUs_ = 0;
};

inline std::unique_ptr<EchoDevice> MakeDevice(int generation, const std::string& uid,
                                              int address = 0) {
  auto d = std::make_unique<EchoDevice>();
  d->generation = generation;
  d->aisgVersion = generation;
  d->uniqueId = uid;
  d->address = address;
  d->deviceType = generation == 1 ? 1 : 2;
  return d;
}

// 19-byte unique ID: vendor code, then the serial number padded with '0'.
inline std::string Uid19(const std::string& vendor, const std::string& serial) {
  return vendor + std::string(17 - serial.size(), '0') + serial;
}

// One answer as the primary sees it.
struct Answer {
  int length = 0;  // bytes on the line, 0 = silence
  bool good = false;
  uint8_t address = 0;
  uint8_t control = 0;
  std::vector<uint8_t> info;
  std::vector<uint8_t> bytes;
};

class BusDriver {
 public:
  explicit BusDriver(DeviceList devices) : bus(std::move(devices)) {}

  // Sends a command frame and returns the answer at time `nowUs`.
  Answer Send(uint8_t address, uint8_t control, const std::vector<uint8_t>& info = {}) {
    // Built here rather than with EncodeFrame so that over-long frames can
    // be sent too.
    std::vector<uint8_t> raw{address, control};
    raw.insert(raw.end(), info.begin(), info.end());
    const uint16_t fcs = hdlc::Fcs16(raw.data(), raw.size());
    raw.push_back(static_cast<uint8_t>(fcs & 0xFF));
    raw.push_back(static_cast<uint8_t>(fcs >> 8));
    std::vector<uint8_t> wire(2 * raw.size() + 2);
    wire[0] = hdlc::kFlag;
    const int n = hdlc::EscapeBytes(raw.data(), raw.size(), wire.data() + 1, wire.size() - 2);
    EXPECT_GT(n, 0);
    wire[n + 1] = hdlc::kFlag;
    return SendWire(wire.data(), n + 2);
  }
  Answer SendWire(const uint8_t* wire, int n) {
    uint8_t out[kMaxWire];
    Answer a;
    a.length = bus.Exchange(wire, n, nowUs, out, sizeof out);
    a.bytes.assign(out, out + a.length);
    uint8_t raw[kMaxWire];
    Frame f;
    if (a.length > 0 && DecodeFrame(out, a.length, raw, sizeof raw, f)) {
      a.good = true;
      a.address = f.address;
      a.control = f.control;
      a.info.assign(f.info, f.info + f.infoLength);
    }
    nowUs += 250000;
    return a;
  }
  // XID frame of the user group with the given parameter bytes.
  Answer Xid(uint8_t address, const std::vector<uint8_t>& params, uint8_t group = 0xF0) {
    std::vector<uint8_t> info{0x81, group, static_cast<uint8_t>(params.size())};
    info.insert(info.end(), params.begin(), params.end());
    return Send(address, 0xBF, info);
  }
  Answer Scan(const std::string& pattern, const std::string& mask) {
    std::vector<uint8_t> p{1, static_cast<uint8_t>(pattern.size())};
    p.insert(p.end(), pattern.begin(), pattern.end());
    p.push_back(3);
    p.push_back(static_cast<uint8_t>(mask.size()));
    p.insert(p.end(), mask.begin(), mask.end());
    return Xid(0xFF, p);
  }
  Answer Assign(int address, const std::string& uid) {
    std::vector<uint8_t> p{1, static_cast<uint8_t>(uid.size())};
    p.insert(p.end(), uid.begin(), uid.end());
    p.push_back(2);
    p.push_back(1);
    p.push_back(static_cast<uint8_t>(address));
    return Xid(0xFF, p);
  }

  SimBus bus;
  int64_t nowUs = 1000000;
};

// The value of XID parameter `id` in an answer's user group, empty if absent.
inline std::vector<uint8_t> XidParam(const Answer& a, uint8_t id) {
  if (a.info.size() < 3) return {};
  const size_t end = 3 + a.info[2];
  for (size_t i = 3; i + 2 <= end && i + 2 <= a.info.size();) {
    const size_t len = a.info[i + 1];
    if (i + 2 + len > a.info.size()) break;
    if (a.info[i] == id) return {a.info.begin() + i + 2, a.info.begin() + i + 2 + len};
    i += 2 + len;
  }
  return {};
}

inline std::string AsString(const std::vector<uint8_t>& v) {
  return {v.begin(), v.end()};
}

}  // namespace ald::sim::testing
