// The real adapter platform on Linux: the bridge chip through libusb, the
// serial port through termios, and the port lookup through sysfs.
//
// Port numbers: port number N is the device /dev/ttyUSB(N-1), so the first
// USB serial adapter, /dev/ttyUSB0, is port 1. LookupPortNumber finds the
// ttyUSB device whose USB device carries the chip's vendor identifier,
// product identifier and serial number, and answers k+1 for /dev/ttyUSBk.
//
// ALDLINK_PORT: when this environment variable holds a device path (for
// example /dev/ttyUSB3 or the pseudo-terminal of the line simulator), the
// port is not searched through the chip: ExplicitPortNumber() answers
// kExplicitPortNumber (1) and OpenPort opens exactly that path, whatever
// number it is given. The GPIO functions still go to the bridge chip.
#pragma once

#include <memory>
#include <string>

#include "aldlink/adapter/adapter_platform.h"
#include "aldlink/adapter/libusb_bridge_chip.h"

namespace ald {

class PosixPlatform final : public AdapterPlatform {
 public:
  static constexpr int kExplicitPortNumber = 1;

  // `sysfsRoot` and `devRoot` are "/sys" and "/dev" on a real system; tests
  // point them at a fake tree.
  explicit PosixPlatform(std::string sysfsRoot = "/sys", std::string devRoot = "/dev");

  BridgeChipLibrary& Chips() override { return chips_; }
  int ExplicitPortNumber() override;
  // Prints "Open USB key failed!\n" when the USB serial devices cannot be
  // listed and "Open Port key failed!\n" when none matches; -1 then.
  int LookupPortNumber(uint16_t vid, uint16_t pid, const char* serial) override;
  // The ttyUSB device of a CP210x (vendor 0x10C4, a CP210x product
  // identifier) in sysfs, first interface and lowest number first; traces
  // the device it took with its vendor, product and serial number. Silent
  // with -1 when there is none.
  int LookupPortWithoutChip() override;
  std::unique_ptr<SerialPort> OpenPort(int portNumber) override;

  // The device path of `portNumber` (ALDLINK_PORT when set); empty for
  // numbers below 1.
  std::string PortPath(int portNumber) const;

 private:
  std::string sysfsRoot_;
  std::string devRoot_;
  LibusbBridgeChip chips_;
};

}  // namespace ald
