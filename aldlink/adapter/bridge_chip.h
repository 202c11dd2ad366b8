// The USB-to-UART bridge chip's library roles, as the adapter driver uses
// them: enumerate chips, read identifiers, read and write the port
// configuration record and the live GPIO latch, reset.
//
// Every call returns 0 on success and non-zero on failure, like the chip
// vendor's own library. Implementations: libusb vendor requests on Linux and
// an in-memory chip for tests and the simulator.
#pragma once

#include <cstdint>

namespace ald {

// Silicon Labs' USB vendor identifier.
inline constexpr uint16_t kSiliconLabsVid = 0x10C4;

// The product identifiers Silicon Labs gives its CP210x USB-to-UART bridges
// (factory defaults and the identifiers of its driver updates). Only these
// are granted to users by the shipped udev rule and only these are taken
// for the adapter when its chip cannot be opened; an opened chip is known by
// its part number instead, whatever its product identifier.
inline bool IsCp210xProductId(uint16_t pid) {
  switch (pid) {
    case 0xEA60:  // CP2101 to CP2104, CP2102N
    case 0xEA61:
    case 0xEA63:
    case 0xEA70:  // CP2105
    case 0xEA71:  // CP2108
    case 0xEA7A:
    case 0xEA7B:
      return true;
    default:
      return false;
  }
}

using ChipHandle = void*;
inline ChipHandle const kInvalidChipHandle = reinterpret_cast<ChipHandle>(~uintptr_t{0});

// Port configuration record of the bridge chip; only these members are used.
struct ChipPortConfig {
  uint16_t outputMode = 0;    // bit 8+n: output mode of GPIO n
  uint16_t resetLatch = 0;    // bit 8+n: power-on level of GPIO n
  uint16_t suspendLatch = 0;  // kept as read
  uint8_t pinFunction = 0;    // bit n: GPIO n given to a chip function
};

class BridgeChipLibrary {
 public:
  virtual ~BridgeChipLibrary() = default;

  virtual int GetNumDevices(unsigned& count) = 0;
  virtual int Open(unsigned index, ChipHandle& handle) = 0;
  // Why the last Open failed although a chip was there (for example
  // "permission denied"), or nullptr when it did not fail that way. Valid
  // until the next Open.
  virtual const char* LastOpenError() const { return nullptr; }
  virtual int Close(ChipHandle handle) = 0;
  virtual int GetPartNumber(ChipHandle handle, uint8_t& partNumber) = 0;
  virtual int GetVendorId(ChipHandle handle, uint16_t& vid) = 0;
  virtual int GetProductId(ChipHandle handle, uint16_t& pid) = 0;
  // Serial number as text into `buffer` (capacity at least 64); `length` is
  // preset by the caller and receives the number of characters.
  virtual int GetSerialNumber(ChipHandle handle, char* buffer, uint8_t& length, bool asAscii) = 0;
  virtual int Reset(ChipHandle handle) = 0;
  virtual int GetPortConfig(ChipHandle handle, ChipPortConfig& config) = 0;
  virtual int SetPortConfig(ChipHandle handle, const ChipPortConfig& config) = 0;
  virtual int ReadLatch(ChipHandle handle, uint8_t& latch) = 0;
  virtual int WriteLatch(ChipHandle handle, uint8_t mask, uint8_t value) = 0;
};

}  // namespace ald
