// Test bench of the device object tests: a simulated antenna line with every
// frame the controller writes recorded and decoded, the virtual clock, and a
// device class that opens the protected members of AISGDevice to the tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "aldlink/adapter/adapter_platform.h"
#include "aldlink/adapter/sim_bridge_chip.h"
#include "aldlink/devices/aisgdevice.h"
#include "sim/bus.h"
#include "sim/sim_ald.h"
#include "sim/site_file.h"
#include "support/clock.h"

namespace devtest {

using Bytes = std::vector<uint8_t>;

// HDLC control bytes the tests look for (poll bit set).
constexpr uint8_t kSnrm = 0x93;
constexpr uint8_t kDisc = 0x53;
constexpr uint8_t kXid = 0xBF;

// One command frame as the controller wrote it.
struct SentFrame {
  uint8_t address = 0;
  uint8_t control = 0;
  Bytes info;
  int64_t atUs = 0;

  bool IsInformation() const { return (control & 0x01) == 0; }
  // An XID address assignment (user group with a new address, no scan mask).
  bool IsAssignment() const;
  // The value of XID user parameter `id`, empty when absent.
  Bytes XidParam(uint8_t id) const;
};

// The simulated line of a bus that records what is written to it.
class RecordingPlatform final : public ald::AdapterPlatform {
 public:
  explicit RecordingPlatform(ald::sim::SimBus& bus) : bus_(bus) {}
  ald::BridgeChipLibrary& Chips() override { return chips_; }
  int ExplicitPortNumber() override { return 1; }
  int LookupPortNumber(uint16_t, uint16_t, const char*) override { return 1; }
  std::unique_ptr<ald::SerialPort> OpenPort(int portNumber) override;

  std::vector<SentFrame> sent;

 private:
  ald::sim::SimBus& bus_;
  ald::SimBridgeChip chips_;
};

// AISGDevice with its protected members opened and its Refresh counted.
class ProbeDevice : public AISGDevice {
 public:
  using AISGDevice::AddDevice;
  using AISGDevice::AISGDevice;
  using AISGDevice::AISGReturnCodeMap;
  using AISGDevice::AlignRight;
  using AISGDevice::Char2Hex;
  using AISGDevice::CloseConnection;
  using AISGDevice::FindDevice;
  using AISGDevice::GetInformation;
  using AISGDevice::OpenConnection;
  using AISGDevice::RemoveDevice;
  using AISGDevice::ResetAllDeviceAdress;

  int Refresh() override {
    ++refreshes;
    refreshOrder.push_back(address);
    return 0;
  }

  void SetState(int s) { state = s; }
  void SetSerial(const char* s) { sn = ald::HString(s); }
  void SetProduct(const char* s) { productnumber = ald::HString(s); }
  void SetGeneration(int g) { aisgver = g; }
  const ald::HString& Hw() const { return hwver; }
  const ald::HString& Sw() const { return swver; }

  int refreshes = 0;
  // Addresses of the devices refreshed, process-wide, in call order.
  static std::vector<int> refreshOrder;
};

// Destroys every registered object and empties the registry.
void ClearRegistry();
int RegistryCount();
AISGDevice* RegistryEntry(int i);

// 19-byte (or `length`-byte) unique ID as the site format builds it.
std::string Uid(const std::string& vendor, const std::string& serial, int length = 19);
std::string SitePath(const std::string& name);

class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearRegistry(); }
  void TearDown() override;

  // Puts the devices of a site text (or file) on the line.
  void Load(const std::string& site);
  void LoadFile(const std::string& name);
  void Use(ald::sim::DeviceList devices);

  // Runs `f` with the standard output captured; returns the output.
  template <typename F>
  std::string Quiet(F f) {
    ::testing::internal::CaptureStdout();
    f();
    return ::testing::internal::GetCapturedStdout();
  }

  // The simulated device with this unique ID (nullptr when none).
  ald::sim::SimAld* SimWithId(const std::string& uid);
  ald::sim::SimAld* Sim(int index);
  // A probe for a simulated device, with its address on the bus.
  std::unique_ptr<ProbeDevice> ProbeFor(int index, int address);

  int Count(uint8_t control) const;
  int CountAssignments() const;
  // Layer-7 requests with this procedure code (AISG 2 layout).
  std::vector<Bytes> Requests(uint8_t code) const;
  int64_t NowUs() { return ald::GetClock().NowUs(); }

  ald::ScopedVirtualClock clock;
  std::unique_ptr<ald::sim::SimBus> bus;
  std::unique_ptr<RecordingPlatform> line;
};

}  // namespace devtest
