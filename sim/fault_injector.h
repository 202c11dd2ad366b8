// Random faults on a simulated line, frame by frame: a seeded generator
// decides for every command frame whether the devices misbehave in answering
// it, and how. The same seed and the same traffic give the same faults, so a
// failure found with it can be replayed.
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "sim/bus.h"

namespace ald::sim {

enum class FaultKind : int {
  kSilence,         // the addressed device ignores this frame
  kCollision,       // a second device answers under the same address
  kBadFcs,          // the answer's check sequence is broken
  kFrmr,            // the answer is a frame reject
  kWrongAddress,    // the answer carries another address
  kFailAnswer,      // a layer-7 answer is FAIL with a reason code
  kTrailingBytes,   // garbage after the answer's closing flag
  kGluedFrame,      // a second frame glued to the answer
  kZeroByteFrame,   // the answer is a single zero byte
  kBusy,            // a poll is answered with RNR
  kBadLengthField,  // the layer-7 length field disagrees with the data
  kShortAnswer,     // result bytes missing from the layer-7 answer
  kPaddedAnswer,    // zero bytes padded onto the layer-7 answer
  kBareFail,        // FAIL without reason codes
  kBadReturnCode,   // a return code that is neither OK nor FAIL
  kWrongProcedure,  // the answer names another procedure
  kUnknownFields,   // device data answers with an identifier no device knows
  kLongTexts,       // identity texts longer than their fields
  kVanish,          // the device falls silent for a while
  kRestart,         // the device restarts alone and loses its address
  kPowerCycle,      // the whole line loses its supply for a while
  kCount
};

// A short name for reports.
const char* FaultName(FaultKind kind);

class FaultInjector final : public ExchangeObserver {
 public:
  // `rate`: the chance that one frame gets a fault, 0 to 1.
  FaultInjector(uint32_t seed, double rate);

  void SetRate(double rate) { rate_ = rate; }
  // Ends every fault in force now (vanished devices return, the supply comes
  // back, every changed setting is restored) so that the line is sound again.
  void Calm(SimBus& bus);

  void BeforeExchange(SimBus& bus, const Frame& frame, int64_t nowUs) override;
  void AfterExchange(SimBus& bus, int64_t nowUs) override;

  // How often each kind was injected.
  uint64_t Count(FaultKind kind) const { return counts_[static_cast<size_t>(kind)]; }
  uint64_t Total() const;
  // The reason codes a FAIL answer of this injector can carry.
  static const std::vector<uint8_t>& Reasons();

 private:
  struct Saved {
    int index = -1;
    SimFaults faults;
    int address = 0;
  };
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  // The device the frame is for, or a random one for a broadcast.
  int Target(SimBus& bus, const Frame& frame);
  void Save(SimBus& bus, int index, Saved& slot);
  void Restore(SimBus& bus, Saved& slot);
  void Wake(SimBus& bus, int64_t nowUs);

  std::mt19937 rng_;
  double rate_;
  Saved primary_;
  Saved secondary_;
  // Devices silenced by kVanish, until when (0: not vanished).
  std::vector<int64_t> vanishedUntil_;
  int64_t powerBackUs_ = 0;
  std::array<uint64_t, static_cast<size_t>(FaultKind::kCount)> counts_{};
};

}  // namespace ald::sim
