// Test bench of the discovery tests: the simulated antenna line of a site,
// with every frame the controller puts on the line recorded and decoded, on
// the virtual clock.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "aldlink/adapter/adapter_platform.h"
#include "aldlink/adapter/sim_bridge_chip.h"
#include "aldlink/procedures/aisgdeviceep.h"
#include "sim/bus.h"
#include "sim/site_file.h"
#include "support/clock.h"

namespace disctest {

using Bytes = std::vector<uint8_t>;

// One command frame as the controller wrote it, decoded.
struct SentFrame {
  uint8_t address = 0;
  uint8_t control = 0;
  Bytes info;
  int64_t atUs = 0;
  // The bytes the line carried back before the next command.
  Bytes answer;

  bool IsXid() const { return control == 0xBF; }
  // Whether the user group carries XID parameter `id`, and its value.
  bool Find(uint8_t id, Bytes* value) const;
  // The value of XID parameter `id`, empty when absent.
  Bytes Param(uint8_t id) const;
  bool IsScan() const { return IsXid() && Find(3, nullptr); }
  bool IsAssignment() const { return IsXid() && !Find(3, nullptr) && Find(2, nullptr); }
  bool IsReset() const;
  // True when the answer was one good frame.
  bool GoodAnswer() const;
};

// The simulated line of a bus, recording what is written to it.
class WirePlatform final : public ald::AdapterPlatform {
 public:
  explicit WirePlatform(ald::sim::SimBus& bus) : bus_(bus) {}

  ald::BridgeChipLibrary& Chips() override { return chips_; }
  int ExplicitPortNumber() override { return 1; }
  int LookupPortNumber(uint16_t, uint16_t, const char*) override { return 1; }
  std::unique_ptr<ald::SerialPort> OpenPort(int portNumber) override;

  std::vector<SentFrame> sent;
  // Frames the controller wrote that did not decode as one good frame.
  int undecodable = 0;

 private:
  ald::sim::SimBus& bus_;
  ald::SimBridgeChip chips_;
};

// Gives tests the protected members of discovery.
class DiscoveryEP : public AISGDEVICEEP {
 public:
  using AISGDEVICEEP::rBinarySearch;
  using AISGDEVICEEP::ScanDevice;
  using AISGDEVICEEP::ScanMapping;
  using AISGDEVICEEP::scanStartUs;
};

// Path of a site file of the repository's sites folder.
std::string SitePath(const std::string& name);
// Devices of a site text; fails the test on a parse error.
ald::sim::DeviceList ParseOrFail(const std::string& site);
// 19-byte unique ID as the site format builds it: vendor, zeros, serial.
std::string Uid(const std::string& vendor, const std::string& serial, int length = 19);

class DiscoveryTest : public ::testing::Test {
 protected:
  // Puts the devices on the line and opens the engine's port.
  void Use(ald::sim::DeviceList devices);
  void Load(const std::string& site) { Use(ParseOrFail(site)); }
  void LoadFile(const std::string& name);
  void TearDown() override;

  // Runs `f` with the standard output captured and returns the output.
  template <typename F>
  std::string Quiet(F f) {
    ::testing::internal::CaptureStdout();
    f();
    return ::testing::internal::GetCapturedStdout();
  }

  int CountScans() const;
  int CountAssignments() const;
  int CountResets() const;
  int CountControl(uint8_t control) const;
  int64_t NowUs() { return ald::GetClock().NowUs(); }
  // The bus's device with this unique ID, nullptr when none.
  ald::sim::SimDevice* DeviceWithId(const std::string& uid);
  // Checks a completed scan: every device on the bus found exactly once,
  // ascending by unique ID, addresses 1..n on the records and on the
  // devices, generation and type as the devices have them. Devices the bus
  // search cannot reach (IDs neither 19 bytes long nor 14 bytes of a vendor
  // with a pass of its own) must stay unaddressed.
  void ExpectAllFoundAndAddressed(const std::vector<AISGDeviceParams>& found);

  ald::ScopedVirtualClock clock;
  std::unique_ptr<ald::sim::SimBus> bus;
  std::unique_ptr<WirePlatform> line;
  std::unique_ptr<DiscoveryEP> ep;
  std::vector<AISGDeviceParams> devices;
};

std::string IdOf(const AISGDeviceParams& p);
// Whether the bus search can find a device with this unique ID at all.
bool Reachable(const std::string& uid);

}  // namespace disctest
