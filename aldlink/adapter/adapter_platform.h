// What the adapter driver asks of the machine it runs on: the bridge chip
// library, the mapping from the chip's identifiers to a serial port number,
// and opening that port.
//
// The default platform is chosen once per process: the simulated antenna line
// when ALDLINK_SIM names a site file, otherwise the real one (termios, sysfs,
// libusb). Tests install their own with SetAdapterPlatform.
#pragma once

#include <cstdint>
#include <memory>

#include "aldlink/adapter/bridge_chip.h"
#include "aldlink/adapter/serial_port.h"

namespace ald {

class AdapterPlatform {
 public:
  virtual ~AdapterPlatform() = default;

  virtual BridgeChipLibrary& Chips() = 0;

  // A port number (> 0) configured outside the chip, such as an explicit
  // device path; 0 when the port must be found through the chip.
  virtual int ExplicitPortNumber() = 0;

  // Maps the chip's identifiers to a port number (> 0), or -1, printing the
  // lookup's failure messages.
  virtual int LookupPortNumber(uint16_t vid, uint16_t pid, const char* serial) = 0;

  // The port of an adapter whose bridge chip cannot be opened, found from
  // the system's own list of USB serial devices (Silicon Labs vendor, CP210x
  // product identifiers only); -1 when there is none. None by default.
  virtual int LookupPortWithoutChip() { return -1; }

  // Opens port `portNumber` for exclusive use; nullptr when it cannot be
  // opened (absent, or already open by anyone).
  virtual std::unique_ptr<SerialPort> OpenPort(int portNumber) = 0;
};

// Why the platform chosen for this process cannot serve at all (the site
// file named by ALDLINK_SIM did not load); null when it can. Nothing may be
// sent then: falling back to a real adapter would drive a real line that
// the operator meant to simulate.
const char* PlatformSetupError();

// The platform in force for this process.
AdapterPlatform& GetAdapterPlatform();
// Installs `platform` (not owned); nullptr returns to the default platform.
void SetAdapterPlatform(AdapterPlatform* platform);

}  // namespace ald
