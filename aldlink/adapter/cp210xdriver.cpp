#include "aldlink/adapter/cp210xdriver.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "aldlink/adapter/adapter_error.h"
#include "aldlink/adapter/adapter_platform.h"
#include "support/clock.h"

namespace {

using ald::ChipHandle;
using ald::ChipPortConfig;
using ald::kInvalidChipHandle;

// Part number the vendor library reports for the adapter's bridge chip.
constexpr uint8_t kAdapterPartNumber = 3;

// Board signals on the chip's GPIO pins.
constexpr int kPowerGpio = 3;
constexpr int kAbSwitchGpio = 1;

// GPIO n lives in bit 8+n of the output-mode and reset-latch words.
constexpr int kConfigWordGpioShift = 8;

// Pauses the chip needs before it answers again.
constexpr int kConfigWriteSettleMs = 800;
constexpr int kResetSettleMs = 2000;

// Serial line time-outs: each of the first bytes of a frame may take up to
// 200 ms to arrive; after the fifth byte a 20 ms gap ends the frame.
constexpr uint32_t kReadTotalConstantMs = 200;
constexpr uint32_t kWriteTotalConstantMs = 120;
constexpr uint32_t kInFrameGapMs = 20;
constexpr int kBytesBeforeGapRule = 5;
// Read interval that makes a read return at once with what is queued.
constexpr uint32_t kReadReturnsAtOnce = 0xFFFFFFFFu;
// Stale input is dropped in chunks of a line buffer, at most this many.
constexpr int kDiscardChunk = 256;
constexpr int kDiscardRounds = 16;

// Room for the longest serial number the chip can hold, plus a terminator.
constexpr int kSerialBufferSize = 256;
// OpenDevice: a chip may be there but could not be looked at (no access to
// it, or no chip library); -1 means there is no adapter chip.
constexpr int kChipOutOfReach = -2;
// Room for the reason a chip could not be opened.
constexpr int kRefusalBufferSize = 128;
// The shipped rule that lets members of plugdev open the bridge chip.
constexpr const char* kUdevRuleFile = "60-aldcontrol-cp210x.rules";

ald::BridgeChipLibrary& Chips() {
  return ald::GetAdapterPlatform().Chips();
}

bool ValidGpio(int n) {
  return n >= 0 && n <= 3;
}
bool ValidControlGpio(int n) {
  return n >= 0 && n <= 2;
}

// Holds a chip opened by the driver and closes it when the operation ends,
// whichever way it leaves.
class ChipSession {
 public:
  explicit ChipSession(ChipHandle handle) : handle_(handle) {}
  ~ChipSession() {
    if (handle_ != kInvalidChipHandle) Chips().Close(handle_);
  }
  ChipSession(const ChipSession&) = delete;
  ChipSession& operator=(const ChipSession&) = delete;
  ChipHandle handle() const { return handle_; }

 private:
  ChipHandle handle_;
};

}  // namespace

CP210xDriver::CP210xDriver() : portNumber(0) {}

CP210xDriver::~CP210xDriver() {
  CloseComPort();
}

// ---------------------------------------------------------------------------
// Port

int CP210xDriver::OpenComPort() {
  if (GetComPort() == 0) return -1;
  // Ports are opened for exclusive use, so a still-open previous handle would
  // make the new open fail and keep the line busy for the life of the
  // process; release it before opening again.
  port.reset();
  port = ald::GetAdapterPlatform().OpenPort(portNumber);
  if (!port) return -1;
  if (!port->Purge(ald::kPurgeTxAbort | ald::kPurgeRxAbort | ald::kPurgeTxClear |
                   ald::kPurgeRxClear)) {
    // The port stays held until CloseComPort or destruction.
    return -1;
  }
  return InitComPort();
}

int CP210xDriver::CloseComPort() {
  port.reset();
  return 0;
}

int CP210xDriver::FlushComPort() {
  if (!port) return -1;
  return port->Purge(ald::kPurgeTxClear | ald::kPurgeRxClear) ? 0 : -1;
}

int CP210xDriver::SendData(const char* data, int length) {
  int written = 0;
  bool ok = port != nullptr && length >= 0 && (data != nullptr || length == 0);
  if (ok) ok = port->Write(data, length, written);
  if (written < 0) written = 0;
  if (written > length) written = length;
  if (!ok) {
    printf("Write to com port error!\n");
    return written;
  }
  // Let the bytes leave the line before the caller starts listening for the
  // answer: about one millisecond per byte at 9600 bit/s.
  ald::GetClock().SleepMs(length);
  return written;
}

int CP210xDriver::RecvData(char* buffer, int capacity) {
  if (!port || buffer == nullptr || capacity <= 0) return 0;

  ald::SerialTimeouts saved;
  const bool haveSaved = port->GetTimeouts(saved);

  int received = 0;
  while (received < capacity) {
    int got = 0;
    if (!port->Read(buffer + received, 1, got) || got <= 0) break;
    received += 1;
    if (received == kBytesBeforeGapRule) {
      ald::SerialTimeouts gap = saved;
      gap.readInterval = 0;
      gap.readTotalMultiplier = 0;
      gap.readTotalConstant = kInFrameGapMs;
      port->SetTimeouts(gap);
    }
  }

  if (haveSaved) port->SetTimeouts(saved);
  return received;
}

int CP210xDriver::DiscardInput() {
  if (!port) return 0;
  ald::SerialTimeouts saved;
  const bool haveSaved = port->GetTimeouts(saved);
  // Interval "all bits set" with no total: a read returns at once with what
  // the queue holds.
  ald::SerialTimeouts atOnce;
  atOnce.readInterval = kReadReturnsAtOnce;
  atOnce.writeTotalMultiplier = saved.writeTotalMultiplier;
  atOnce.writeTotalConstant = saved.writeTotalConstant;
  port->SetTimeouts(atOnce);
  char scratch[kDiscardChunk];
  int dropped = 0;
  // Bounded, so that a line that keeps talking cannot hold the caller; what
  // is left then goes with the purge.
  for (int round = 0; round < kDiscardRounds; ++round) {
    int got = 0;
    if (!port->Read(scratch, kDiscardChunk, got) || got <= 0) break;
    dropped += got;
    if (round == kDiscardRounds - 1) port->Purge(ald::kPurgeRxClear);
  }
  if (haveSaved) port->SetTimeouts(saved);
  return dropped;
}

int CP210xDriver::GetComPort() {
  if (portNumber != 0) return portNumber;

  ald::AdapterPlatform& platform = ald::GetAdapterPlatform();
  const int explicitPort = platform.ExplicitPortNumber();
  if (explicitPort > 0) {
    portNumber = explicitPort;
    return portNumber;
  }

  ChipHandle handle = kInvalidChipHandle;
  const int opened = OpenDevice(handle);
  if (opened == kChipOutOfReach) {
    // The port itself needs no access to the chip: a user without the udev
    // rule can still talk to the line (12 V and A/B switch aside).
    const int found = platform.LookupPortWithoutChip();
    if (found > 0) portNumber = found;
    return portNumber;
  }
  if (opened != 0) return portNumber;
  ChipSession chip(handle);
  ald::BridgeChipLibrary& chips = platform.Chips();

  uint16_t vid = 0;
  uint16_t pid = 0;
  char serial[kSerialBufferSize] = {};
  uint8_t length = 0;

  if (chips.GetVendorId(handle, vid) != 0) printf("Get Vid failed!\n");
  if (chips.GetProductId(handle, pid) != 0) {
    printf("Get Pid failed!\n");
  } else if (chips.GetSerialNumber(handle, serial, length, true) != 0) {
    printf("Get SN failed!\n");
    length = 0;
  }
  serial[length] = '\0';

  const int found = GetPortNum(vid, pid, serial);
  if (found > 0) {
    portNumber = found;
  } else {
    printf("Get port number failed!\n");
    ald::NoteAdapterError("the adapter was found but the system gives it no serial port");
  }
  return portNumber;
}

int CP210xDriver::OpenDevice(ald::ChipHandle& handle) {
  handle = kInvalidChipHandle;
  ald::BridgeChipLibrary& chips = Chips();
  unsigned count = 0;
  // Without the chip library nothing can be said about the chips.
  if (chips.GetNumDevices(count) != 0) return kChipOutOfReach;
  if (count == 0) {
    ald::NoteAdapterError("no adapter found: no CP210x USB-to-RS-485 adapter is plugged in");
    return -1;
  }

  char refusal[kRefusalBufferSize] = {};
  for (unsigned index = 0; index < count; ++index) {
    ChipHandle candidate = kInvalidChipHandle;
    if (chips.Open(index, candidate) != 0 || candidate == kInvalidChipHandle) {
      const char* why = chips.LastOpenError();
      if (why != nullptr && refusal[0] == '\0') std::snprintf(refusal, sizeof refusal, "%s", why);
      continue;
    }
    uint8_t part = 0;
    if (chips.GetPartNumber(candidate, part) == 0 && part == kAdapterPartNumber) {
      handle = candidate;
      return 0;
    }
    chips.Close(candidate);
  }
  if (refusal[0] != '\0') {
    // The adapter is most likely there but out of this user's reach; say
    // so, and how to fix it, instead of failing without a word.
    printf("Cannot open the adapter's bridge chip: %s\n", refusal);
    printf(
        "The 12 V supply and the A/B switch cannot be used. Install the udev rule "
        "packaging/udev/%s (README, \"The adapter\"), add the user to group plugdev "
        "and plug the adapter in again.\n",
        kUdevRuleFile);
    ald::NoteAdapterError(
        "cannot open the adapter's bridge chip (%s): install the udev rule packaging/udev/%s, "
        "add the user to group plugdev and plug the adapter in again",
        refusal, kUdevRuleFile);
    return kChipOutOfReach;
  }
  // Every chip was opened and none is the adapter's: there is no adapter.
  ald::NoteAdapterError(
      "no adapter found: the USB bridge chips plugged in are not an AISG adapter");
  return -1;
}

int CP210xDriver::GetPortNum(unsigned short vid, unsigned short pid, char* serial) {
  // Serial numbers appear with underscores instead of spaces wherever the
  // system names the device; the lookup matches on that form.
  for (char* p = serial; *p != '\0'; ++p) {
    if (*p == ' ') *p = '_';
  }
  return ald::GetAdapterPlatform().LookupPortNumber(vid, pid, serial);
}

int CP210xDriver::InitComPort() {
  ald::LineSettings line;
  port->GetLineSettings(line);
  line.baudRate = 9600;
  line.dataBits = 8;
  line.parity = ald::Parity::kNone;
  line.stopBits = 1;
  port->SetLineSettings(line);

  ald::SerialTimeouts timeouts;
  timeouts.readInterval = 0;
  timeouts.readTotalMultiplier = 0;
  timeouts.readTotalConstant = kReadTotalConstantMs;
  timeouts.writeTotalMultiplier = 0;
  timeouts.writeTotalConstant = kWriteTotalConstantMs;
  port->SetTimeouts(timeouts);
  return 0;
}

// ---------------------------------------------------------------------------
// GPIO

template <class Use>
int CP210xDriver::ReadPortConfig(Use use) {
  ChipHandle handle = kInvalidChipHandle;
  if (OpenDevice(handle) != 0) return -1;
  ChipSession chip(handle);
  ChipPortConfig config;
  if (Chips().GetPortConfig(handle, config) != 0) return -1;
  use(config);
  return 0;
}

template <class Edit>
int CP210xDriver::EditPortConfig(Edit edit) {
  ChipHandle handle = kInvalidChipHandle;
  if (OpenDevice(handle) != 0) return -1;
  ChipSession chip(handle);
  ChipPortConfig config;
  if (Chips().GetPortConfig(handle, config) != 0) return -1;
  edit(config);
  if (Chips().SetPortConfig(handle, config) != 0) return -1;
  ald::GetClock().SleepMs(kConfigWriteSettleMs);
  return 0;
}

int CP210xDriver::SetGPIOOutputMode(int n, int value) {
  if (!ValidGpio(n)) return -1;
  return EditPortConfig([&](ChipPortConfig& config) {
    unsigned short mode = config.outputMode;
    value != 0 ? SetBit(mode, n + kConfigWordGpioShift) : ClearBit(mode, n + kConfigWordGpioShift);
    config.outputMode = mode;
  });
}

int CP210xDriver::SetGPIOResetLatch(int n, int value) {
  if (!ValidGpio(n)) return -1;
  return EditPortConfig([&](ChipPortConfig& config) {
    unsigned short latch = config.resetLatch;
    value != 0 ? SetBit(latch, n + kConfigWordGpioShift)
               : ClearBit(latch, n + kConfigWordGpioShift);
    config.resetLatch = latch;
  });
}

int CP210xDriver::SetGPIOControlMode(int n, int value) {
  if (!ValidControlGpio(n)) return -1;
  return EditPortConfig([&](ChipPortConfig& config) {
    unsigned char function = config.pinFunction;
    value != 0 ? SetBit(function, n) : ClearBit(function, n);
    config.pinFunction = function;
  });
}

int CP210xDriver::SetGPIOLatch(int n, int value) {
  if (!ValidGpio(n)) return -1;
  ChipHandle handle = kInvalidChipHandle;
  if (OpenDevice(handle) != 0) return -1;
  ChipSession chip(handle);
  unsigned char mask = 0;
  unsigned char level = 0;
  SetBit(mask, n);
  if (value != 0) SetBit(level, n);
  return Chips().WriteLatch(handle, mask, level) == 0 ? 0 : -1;
}

int CP210xDriver::GetGPIOOutputMode(int n, int& value) {
  if (!ValidGpio(n)) return -1;
  return ReadPortConfig([&](const ChipPortConfig& config) {
    value = (config.outputMode >> (n + kConfigWordGpioShift)) & 1;
  });
}

int CP210xDriver::GetGPIOResetLatch(int n, int& value) {
  if (!ValidGpio(n)) return -1;
  return ReadPortConfig([&](const ChipPortConfig& config) {
    value = (config.resetLatch >> (n + kConfigWordGpioShift)) & 1;
  });
}

int CP210xDriver::GetGPIOLatch(int n, int& value) {
  if (!ValidGpio(n)) return -1;
  ChipHandle handle = kInvalidChipHandle;
  if (OpenDevice(handle) != 0) return -1;
  ChipSession chip(handle);
  uint8_t latch = 0;
  if (Chips().ReadLatch(handle, latch) != 0) return -1;
  value = (latch >> n) & 1;
  return 0;
}

int CP210xDriver::GetGPIOControlMode(int n, int& value) {
  if (!ValidControlGpio(n)) return -1;
  return ReadPortConfig(
      [&](const ChipPortConfig& config) { value = (config.pinFunction >> n) & 1; });
}

// ---------------------------------------------------------------------------
// Board functions

int CP210xDriver::Set12VPower(int value, int persist) {
  const int result = SetGPIOLatch(kPowerGpio, value);
  if (result == 0 && persist == 1) return SetGPIOResetLatch(kPowerGpio, value);
  return result;
}

int CP210xDriver::SetRS485ABSwich(int value, int persist) {
  const int result = SetGPIOLatch(kAbSwitchGpio, value);
  if (result == 0 && persist == 1) return SetGPIOResetLatch(kAbSwitchGpio, value);
  return result;
}

int CP210xDriver::Get12VPower(int& value) {
  return GetGPIOLatch(kPowerGpio, value);
}

int CP210xDriver::GetRS485ABSwich(int& value) {
  // The switch's state is its power-on level, which the board applies at
  // every chip reset.
  return GetGPIOResetLatch(kAbSwitchGpio, value);
}

int CP210xDriver::InitToDefaultConfig() {
  return EditPortConfig([](ChipPortConfig& config) {
    unsigned short mode = config.outputMode;
    unsigned short latch = config.resetLatch;
    unsigned char function = config.pinFunction;
    for (int n = 0; n <= 3; ++n) {
      SetBit(mode, n + kConfigWordGpioShift);
      ClearBit(latch, n + kConfigWordGpioShift);
    }
    SetBit(function, 2);
    ClearBit(function, 0);
    ClearBit(function, 3);
    config.outputMode = mode;
    config.resetLatch = latch;
    config.pinFunction = function;
  });
}

int CP210xDriver::IsInitialized() {
  int resetLevel = 0;
  int outputMode = 0;
  if (GetGPIOResetLatch(0, resetLevel) != 0) return 0;
  if (GetGPIOOutputMode(0, outputMode) != 0) return 0;
  return (resetLevel == 0 && outputMode == 1) ? 1 : 0;
}

int CP210xDriver::Reset() {
  ChipHandle handle = kInvalidChipHandle;
  if (OpenDevice(handle) != 0) return -1;
  {
    ChipSession chip(handle);
    // The chip drops off the bus while it restarts; its answer tells nothing.
    Chips().Reset(handle);
  }
  ald::GetClock().SleepMs(kResetSettleMs);
  return 0;
}

// ---------------------------------------------------------------------------
// Bit helpers

void CP210xDriver::SetBit(unsigned char& byte, int bit) {
  byte = static_cast<unsigned char>(byte | (1u << bit));
}

void CP210xDriver::ClearBit(unsigned char& byte, int bit) {
  byte = static_cast<unsigned char>(byte & ~(1u << bit));
}

void CP210xDriver::SetBit(unsigned short& word, int bit) {
  word = static_cast<unsigned short>(word | (1u << bit));
}

void CP210xDriver::ClearBit(unsigned short& word, int bit) {
  word = static_cast<unsigned short>(word & ~(1u << bit));
}
