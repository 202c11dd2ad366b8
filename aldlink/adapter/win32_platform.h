// The real adapter platform on Windows: the bridge chip through the chip
// maker's libraries, the port lookup through the USB enumeration keys of the
// registry, and the port through the COM-port API.
//
// ALDLINK_PORT: when set to a COM port ("COM7") or a device path
// ("\\.\COM7"), that port is used instead of the one found through the chip:
// ExplicitPortNumber() answers its number (1 for a path without one) and
// OpenPort opens exactly that port. The GPIO functions still go to the chip.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "aldlink/adapter/adapter_platform.h"
#include "aldlink/adapter/win32_vendor_chip.h"

namespace ald {

// Reads the COM port number of the USB device (vid, pid, serial) from the
// registry: the "PortName" value of its "Device Parameters" key under
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\USB, the key of interface
// 0 of a composite device first. Spaces in `serial` become underscores, in
// place. Returns the port number, or -1 after printing why ("Open controlset
// key failed!", "Open USB key failed!", "Open Port key failed!", "Open
// PortName key failed!", or that PortName is not "COM" and a number).
int GetPortNum(unsigned short vid, unsigned short pid, char* serial);

// "COM<n>" (any case, n from 1 to 9999, nothing else) -> n; -1 otherwise.
int ParseComPortName(const char* name);

class Win32Platform final : public AdapterPlatform {
 public:
  Win32Platform() = default;

  BridgeChipLibrary& Chips() override { return chips_; }
  int ExplicitPortNumber() override;
  int LookupPortNumber(uint16_t vid, uint16_t pid, const char* serial) override;
  std::unique_ptr<SerialPort> OpenPort(int portNumber) override;

  // The device path of `portNumber` (ALDLINK_PORT when set); empty for
  // numbers below 1.
  std::string PortPath(int portNumber) const;

 private:
  VendorDllBridgeChip chips_;
};

}  // namespace ald
