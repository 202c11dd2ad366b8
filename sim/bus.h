// The simulated RS-485 bus: the devices of one antenna line, the timing of
// bytes on a 9600 bit/s line, and what the line carries when several devices
// answer the same command at once.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sim/link_layer.h"
#include "sim/site_file.h"

namespace ald::sim {

// 10 bits per character at 9600 bit/s.
constexpr int64_t kBitsPerByte = 10;
constexpr int64_t kBaudRate = 9600;
// Time from the end of a command to the first bit of the answer.
constexpr int64_t kTurnaroundUs = 3000;

// The moment byte `index` (0-based) of a transmission that starts at
// `startUs` has completely crossed the line.
inline int64_t ByteEndUs(int64_t startUs, int index) {
  return startUs + (static_cast<int64_t>(index) + 1) * kBitsPerByte * 1000000 / kBaudRate;
}

// Cuts a byte stream into frames: bytes before an opening flag are noise, a
// frame ends at the first 0x7E after data, and that flag may open the next.
class FrameAssembler {
 public:
  // Takes one byte; true when it completed a frame, which frame() and
  // frameLength() then show until the next Push.
  bool Push(uint8_t b);
  void Clear() { length_ = 0; }
  const uint8_t* frame() const { return frame_; }
  int frameLength() const { return frameLength_; }

 private:
  uint8_t buffer_[kMaxWire] = {};
  int length_ = 0;
  bool overflow_ = false;
  uint8_t frame_[kMaxWire] = {};
  int frameLength_ = 0;
};

class SimBus;

// Sees every good command frame on its way to the devices, before and after
// they answer it; a fault injector changes devices for one exchange here.
class ExchangeObserver {
 public:
  virtual ~ExchangeObserver() = default;
  virtual void BeforeExchange(SimBus& bus, const Frame& frame, int64_t nowUs) = 0;
  virtual void AfterExchange(SimBus& bus, int64_t nowUs) = 0;
};

class SimBus {
 public:
  explicit SimBus(DeviceList devices);
  SimBus(const SimBus&) = delete;
  SimBus& operator=(const SimBus&) = delete;

  int DeviceCount() const { return static_cast<int>(devices_.size()); }
  SimDevice& Device(int index) { return *devices_.at(static_cast<size_t>(index)); }

  // Without the 12 V supply every device is silent; switching it on again
  // restarts them all (no addresses, no links).
  void SetPowered(bool on);
  bool Powered() const { return powered_; }

  // One device alone loses its supply and comes back: no link, no address,
  // and silent until `silentUntilUs` while it starts up.
  void RestartDevice(int index, int64_t silentUntilUs);

  // At most one observer; nullptr removes it. The bus does not own it.
  void SetObserver(ExchangeObserver* observer) { observer_ = observer; }

  // One command frame as it crossed the line (flags included) whose last
  // byte ended at `endUs`. Writes what the line carries in answer into `out`
  // (capacity at least kMaxWire) and returns the byte count, 0 for silence.
  // When several devices answer, the line carries their bytes combined as
  // driven outputs do (a 0 bit wins), made certain to fail the FCS.
  int Exchange(const uint8_t* wire, int length, int64_t endUs, uint8_t* out, int capacity);

  // Number of devices that answered the last exchange.
  int LastAnswerCount() const { return lastAnswers_; }

 private:
  DeviceList devices_;
  std::vector<std::unique_ptr<SecondaryStation>> stations_;
  bool powered_ = true;
  ExchangeObserver* observer_ = nullptr;
  int lastAnswers_ = 0;
  uint8_t raw_[kMaxWire] = {};
  uint8_t answer_[kMaxWire] = {};
};

}  // namespace ald::sim
