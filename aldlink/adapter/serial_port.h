// The serial line under the adapter, as the adapter driver needs it.
//
// One implementation per platform (termios here) and one simulated line;
// the driver above sees only this interface. Semantics follow the classic
// COM-port model: line settings, read/write time-outs, purge flags.
#pragma once

#include <cstdint>

namespace ald {

// Read and write time-outs in milliseconds. With interval 0 and multiplier 0
// a read of n bytes returns when n bytes have arrived or after `readTotalConstant`
// ms, whichever comes first.
struct SerialTimeouts {
  uint32_t readInterval = 0;
  uint32_t readTotalMultiplier = 0;
  uint32_t readTotalConstant = 0;
  uint32_t writeTotalMultiplier = 0;
  uint32_t writeTotalConstant = 0;
};

// Purge flags; 15 aborts and clears everything, 12 only clears the buffers.
enum PurgeFlags : unsigned {
  kPurgeTxAbort = 0x1,
  kPurgeRxAbort = 0x2,
  kPurgeTxClear = 0x4,
  kPurgeRxClear = 0x8,
};

enum class Parity { kNone, kOdd, kEven };

struct LineSettings {
  int baudRate = 9600;
  int dataBits = 8;
  Parity parity = Parity::kNone;
  int stopBits = 1;
};

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  virtual bool GetLineSettings(LineSettings& settings) = 0;
  virtual bool SetLineSettings(const LineSettings& settings) = 0;
  virtual bool GetTimeouts(SerialTimeouts& timeouts) = 0;
  virtual bool SetTimeouts(const SerialTimeouts& timeouts) = 0;
  virtual bool Purge(unsigned flags) = 0;
  // Writes `length` bytes; `written` gets the count actually written.
  virtual bool Write(const char* data, int length, int& written) = 0;
  // Reads up to `length` bytes under the current time-outs; `got` may be 0
  // on a time-out, which is not a failure.
  virtual bool Read(char* buffer, int length, int& got) = 0;
};

}  // namespace ald
