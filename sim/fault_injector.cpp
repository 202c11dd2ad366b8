#include "sim/fault_injector.h"

namespace ald::sim {
namespace {

// Relative weights of the kinds: the faults of one frame are common, the
// ones that take a device or the line away for seconds are rare.
constexpr int kWeights[static_cast<size_t>(FaultKind::kCount)] = {
    10,  // kSilence
    6,   // kCollision
    10,  // kBadFcs
    5,   // kFrmr
    5,   // kWrongAddress
    8,   // kFailAnswer
    4,   // kTrailingBytes
    4,   // kGluedFrame
    4,   // kZeroByteFrame
    4,   // kBusy
    4,   // kBadLengthField
    4,   // kShortAnswer
    3,   // kPaddedAnswer
    3,   // kBareFail
    4,   // kBadReturnCode
    4,   // kWrongProcedure
    3,   // kUnknownFields
    2,   // kLongTexts
    2,   // kVanish
    1,   // kRestart
    1,   // kPowerCycle
};

constexpr const char* kNames[static_cast<size_t>(FaultKind::kCount)] = {
    "silence",         "collision",      "bad FCS",       "FRMR",      "wrong address",
    "FAIL answer",     "trailing bytes", "glued frame",   "zero byte", "busy (RNR)",
    "length field",    "short answer",   "padded answer", "bare FAIL", "bad return code",
    "wrong procedure", "unknown fields", "long texts",    "vanish",    "restart",
    "power cycle"};

}  // namespace

const char* FaultName(FaultKind kind) {
  const auto i = static_cast<size_t>(kind);
  return i < static_cast<size_t>(FaultKind::kCount) ? kNames[i] : "?";
}

const std::vector<uint8_t>& FaultInjector::Reasons() {
  // Codes field devices send, and two with the top bit set.
  static const std::vector<uint8_t> reasons = {0x02, 0x05, 0x07, 0x0E, 0x13, 0x19,
                                               0x1B, 0x1E, 0x20, 0x22, 0x80, 0xFE};
  return reasons;
}

FaultInjector::FaultInjector(uint32_t seed, double rate) : rng_(seed), rate_(rate) {}

uint64_t FaultInjector::Total() const {
  uint64_t total = 0;
  for (uint64_t c : counts_) total += c;
  return total;
}

int FaultInjector::Target(SimBus& bus, const Frame& frame) {
  const int n = bus.DeviceCount();
  if (frame.address != kAllStations) {
    for (int i = 0; i < n; ++i) {
      if (bus.Device(i).address == frame.address) return i;
    }
  }
  return Pick(n);
}

void FaultInjector::Save(SimBus& bus, int index, Saved& slot) {
  slot.index = index;
  slot.faults = bus.Device(index).faults;
  slot.address = bus.Device(index).address;
}

void FaultInjector::Restore(SimBus& bus, Saved& slot) {
  if (slot.index < 0) return;
  bus.Device(slot.index).faults = slot.faults;
  slot.index = -1;
}

void FaultInjector::Wake(SimBus& bus, int64_t nowUs) {
  if (powerBackUs_ != 0 && nowUs >= powerBackUs_) {
    bus.SetPowered(true);
    powerBackUs_ = 0;
  }
  for (size_t i = 0; i < vanishedUntil_.size(); ++i) {
    if (vanishedUntil_[i] != 0 && nowUs >= vanishedUntil_[i]) {
      bus.Device(static_cast<int>(i)).faults.silent = false;
      vanishedUntil_[i] = 0;
    }
  }
}

void FaultInjector::Calm(SimBus& bus) {
  Restore(bus, primary_);
  if (secondary_.index >= 0) {
    bus.Device(secondary_.index).address = secondary_.address;
    secondary_.index = -1;
  }
  for (size_t i = 0; i < vanishedUntil_.size(); ++i) {
    if (vanishedUntil_[i] != 0) bus.Device(static_cast<int>(i)).faults.silent = false;
    vanishedUntil_[i] = 0;
  }
  if (powerBackUs_ != 0) bus.SetPowered(true);
  powerBackUs_ = 0;
}

void FaultInjector::BeforeExchange(SimBus& bus, const Frame& frame, int64_t nowUs) {
  const int n = bus.DeviceCount();
  if (n == 0) return;
  if (vanishedUntil_.size() != static_cast<size_t>(n)) vanishedUntil_.assign(n, 0);
  Wake(bus, nowUs);
  if (std::uniform_real_distribution<double>(0.0, 1.0)(rng_) >= rate_) return;

  int total = 0;
  for (int w : kWeights) total += w;
  int roll = Pick(total);
  int k = 0;
  while (roll >= kWeights[k]) roll -= kWeights[k++];
  const auto kind = static_cast<FaultKind>(k);

  const int index = Target(bus, frame);
  SimDevice& d = bus.Device(index);
  SimFaults& f = d.faults;
  if (kind != FaultKind::kCollision && kind != FaultKind::kVanish && kind != FaultKind::kRestart &&
      kind != FaultKind::kPowerCycle) {
    Save(bus, index, primary_);
  }
  switch (kind) {
    case FaultKind::kSilence:
      f.silentFrames = 1;
      break;
    case FaultKind::kCollision: {
      // Another device takes the frame for its own.
      if (n < 2 || d.address == 0) return;
      int other = Pick(n - 1);
      if (other >= index) ++other;
      Save(bus, other, secondary_);
      bus.Device(other).address = d.address;
      break;
    }
    case FaultKind::kBadFcs:
      f.badFcsFrames = 1;
      break;
    case FaultKind::kFrmr:
      f.frmrFrames = 1;
      break;
    case FaultKind::kWrongAddress:
      f.wrongAddress = 1 + Pick(127);
      break;
    case FaultKind::kFailAnswer:
      f.failReasons = {Reasons()[static_cast<size_t>(Pick(static_cast<int>(Reasons().size())))]};
      break;
    case FaultKind::kTrailingBytes:
      f.trailingBytes = true;
      break;
    case FaultKind::kGluedFrame:
      f.gluedFrame = true;
      break;
    case FaultKind::kZeroByteFrame:
      f.zeroByteFrames = 1;
      break;
    case FaultKind::kBusy:
      f.rnrFrames = 1;
      break;
    case FaultKind::kBadLengthField:
      f.lengthFieldDelta = Pick(2) == 0 ? -(1 + Pick(3)) : 1 + Pick(40);
      break;
    case FaultKind::kShortAnswer:
      f.missingBytes = 1 + Pick(8);
      break;
    case FaultKind::kPaddedAnswer:
      f.padAnswersTo = 1 + Pick(200);
      break;
    case FaultKind::kBareFail:
      f.failReasons = {0x05};
      f.bareFail = true;
      break;
    case FaultKind::kBadReturnCode:
      f.returnCode = 1 + Pick(254);
      if (f.returnCode == 0x0B) f.returnCode = 0x0C;
      break;
    case FaultKind::kWrongProcedure:
      f.wrongProcedureCode = true;
      break;
    case FaultKind::kUnknownFields:
      f.unknownFieldIds = true;
      break;
    case FaultKind::kLongTexts:
      f.longTexts = true;
      break;
    case FaultKind::kVanish:
      f.silent = true;
      vanishedUntil_[static_cast<size_t>(index)] = nowUs + 1000000LL * (1 + Pick(30));
      break;
    case FaultKind::kRestart:
      bus.RestartDevice(index, nowUs + 1000000LL * (1 + Pick(5)));
      break;
    case FaultKind::kPowerCycle:
      bus.SetPowered(false);
      powerBackUs_ = nowUs + 1000000LL * (1 + Pick(10));
      break;
    case FaultKind::kCount:
      return;
  }
  ++counts_[static_cast<size_t>(kind)];
}

void FaultInjector::AfterExchange(SimBus& bus, int64_t /*nowUs*/) {
  Restore(bus, primary_);
  if (secondary_.index >= 0) {
    bus.Device(secondary_.index).address = secondary_.address;
    secondary_.index = -1;
  }
}

}  // namespace ald::sim
