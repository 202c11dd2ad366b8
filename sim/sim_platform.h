// The simulated antenna line as the adapter platform of a process: a
// simulated bridge chip and one serial port, number 1, that is the line of a
// SimBus.
#pragma once

#include <memory>

#include "aldlink/adapter/adapter_platform.h"
#include "aldlink/adapter/sim_bridge_chip.h"
#include "sim/bus.h"

namespace ald::sim {

// Tests build a SimBus from their devices, a SimPlatform over it, and install
// it with SetAdapterPlatform(&platform).
class SimPlatform final : public AdapterPlatform {
 public:
  static constexpr int kPortNumber = 1;

  explicit SimPlatform(SimBus& bus) : bus_(bus) {}
  ~SimPlatform() override;
  SimPlatform(const SimPlatform&) = delete;
  SimPlatform& operator=(const SimPlatform&) = delete;

  SimBus& bus() { return bus_; }
  SimBridgeChip& chip() { return chips_; }
  // True while the port is open.
  bool PortOpen() const { return *open_; }

  BridgeChipLibrary& Chips() override { return chips_; }
  int ExplicitPortNumber() override { return 0; }
  int LookupPortNumber(uint16_t vid, uint16_t pid, const char* serial) override;
  // Port 1 only, and only one holder at a time.
  std::unique_ptr<SerialPort> OpenPort(int portNumber) override;

 private:
  SimBus& bus_;
  SimBridgeChip chips_;
  // Shared with the open port, which may outlive the platform in a careless
  // caller; the flag is cleared when the port closes.
  std::shared_ptr<bool> open_ = std::make_shared<bool>(false);
};

// When ALDLINK_SIM names a site file, the process-wide simulated line and
// bridge chip serving that site (built on first use, kept for the life of the
// process); nullptr when the variable is unset or the site cannot be loaded
// (with a message on standard output).
AdapterPlatform* PlatformFromEnvironment();

// Why the site named by ALDLINK_SIM could not be loaded ("site file PATH:
// line N: reason"); empty when it loaded or none is named.
const char* SiteLoadError();

}  // namespace ald::sim
