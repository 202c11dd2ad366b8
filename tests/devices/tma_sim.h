// Simulator fixture for the TMA device tests: a bus built from a site text,
// device n at HDLC address n, on the virtual clock. Every simulated device
// is wrapped so that a test can see which procedures reached it, spoil
// chosen answers (to make exchanges fail on purpose) and keep a device from
// taking a new mode or gain while it still answers OK.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "aldlink/adapter/adapter_platform.h"
#include "aldlink/devices/tmadevice.h"
#include "sim/bus.h"
#include "sim/sim_ald.h"
#include "sim/sim_platform.h"
#include "sim/site_file.h"
#include "support/clock.h"

namespace tma {

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// One layer-7 request as the device saw it.
struct Seen {
  uint8_t code = 0;
  int subunit = 0;     // AISG 2.0 per-subunit requests, else 0
  uint8_t first = 0;   // first data byte after the subunit (a field identifier)
  int dataLength = 0;  // data bytes after the subunit
};

class ProbeAld : public ald::sim::SimAld {
 public:
  explicit ProbeAld(const ald::sim::SimAld& device) : SimAld(device) {}

  std::vector<Seen> requests;
  // Requests for which this gives true get an answer padded with zero bytes,
  // which no fixed-size read accepts.
  std::function<bool(const Seen&)> spoil;
  // Requests for which this gives true are answered FAIL busy.
  std::function<bool(const Seen&)> refuse;
  // >= 0: the device answers OK but keeps this mode (gain) whatever is set.
  int stuckMode = -1;
  int stuckGain = -1;

  int Count(uint8_t code) const {
    return static_cast<int>(std::count_if(requests.begin(), requests.end(),
                                          [code](const Seen& r) { return r.code == code; }));
  }

  int HandleMessage(const uint8_t* info, int length, int64_t nowUs, uint8_t* out,
                    int capacity) override {
    const int lead = generation == 1 ? 1 : 0;
    const int header = lead + 3;
    Seen r;
    if (info != nullptr && length >= header) {
      r.code = info[lead];
      const uint8_t* data = info + header;
      int n = length - header;
      const int fixed = ald::sim::SubunitDataLength(r.code);
      if (generation == 2 && fixed != -2 && n > std::max(fixed, 0)) {
        r.subunit = data[0];
        ++data;
        --n;
      }
      r.first = n > 0 ? data[0] : 0;
      r.dataLength = n;
      requests.push_back(r);
    }
    const int pad = faults.padAnswersTo;
    const std::vector<uint8_t> reasons = faults.failReasons;
    if (spoil && spoil(r)) faults.padAnswersTo = 60;
    if (refuse && refuse(r)) faults.failReasons = {ald::rc::aisg2::kBusy};
    const int written = SimAld::HandleMessage(info, length, nowUs, out, capacity);
    faults.padAnswersTo = pad;
    faults.failReasons = reasons;
    for (ald::sim::AldSubunit& s : subunits) {
      if (stuckMode >= 0) s.mode = stuckMode;
      if (stuckGain >= 0) s.gain = stuckGain;
    }
    return written;
  }
};

// Gives tests the registry members that only the scan and the database use.
struct Registry : AISGDevice {
  using AISGDevice::AddDevice;
  // Destroys every registered object.
  static void Clear() {
    for (int i = 0; i < theDeviceCount; ++i) {
      delete theDevices[i];
      theDevices[i] = nullptr;
    }
    theDeviceCount = 0;
  }
};

class TmaTest : public ::testing::Test {
 protected:
  ~TmaTest() override {
    Registry::Clear();
    ald::SetAdapterPlatform(nullptr);
    std::fflush(stdout);
  }

  // Builds the bus; the test fails at once on a site the simulator refuses.
  void Site(const std::string& text) {
    ald::sim::DeviceList parsed;
    std::string error;
    ASSERT_TRUE(ald::sim::ParseSite(text, parsed, error)) << error;
    ald::sim::DeviceList devices;
    for (size_t i = 0; i < parsed.size(); ++i) {
      auto probe = std::make_unique<ProbeAld>(static_cast<ald::sim::SimAld&>(*parsed[i]));
      probe->address = static_cast<int>(i + 1);
      devices.push_back(std::move(probe));
    }
    bus_ = std::make_unique<ald::sim::SimBus>(std::move(devices));
    platform_ = std::make_unique<ald::sim::SimPlatform>(*bus_);
    ald::SetAdapterPlatform(platform_.get());
  }
  ProbeAld& Device(int address) { return static_cast<ProbeAld&>(bus_->Device(address - 1)); }
  ald::sim::AldSubunit& SimSub(int address, int subunit) {
    return Device(address).subunits.at(static_cast<size_t>(subunit - 1));
  }
  // The device object of the simulated device at `address`, as a scan makes it.
  std::unique_ptr<TMADevice> Make(int address) {
    const ProbeAld& d = Device(address);
    return std::make_unique<TMADevice>(d.deviceType, d.generation, address, d.uniqueId.data(),
                                       static_cast<int>(d.uniqueId.size()));
  }
  // A device object that has been refreshed once without errors.
  std::unique_ptr<TMADevice> Refreshed(int address) {
    auto tma = Make(address);
    EXPECT_EQ(tma->Refresh(), 0);
    EXPECT_EQ(tma->GetState(), AISGDevice::kStateOk);
    return tma;
  }
  int64_t NowMs() { return ald::GetClock().NowMs(); }

  ald::ScopedVirtualClock clock;

 private:
  std::unique_ptr<ald::sim::SimBus> bus_;
  std::unique_ptr<ald::sim::SimPlatform> platform_;
};

// An AISG 2.0 TMA with two subunits: the first with a gain range, the
// second with an alarm.
inline const char kDualTma[] = R"(
[device]
generation = 2
type = 2
vendor = CC
serial = TD24090011
product = TMA-DD-1821
hw-version = R2
sw-version = 3.2.0
subunits = 2

[subunit 1]
antenna-model = TMA-DD-1821
antenna-serial = TD24090011-1
tma-type = 3
rx-band = 1710.0 1785.0
tx-band = 1805.0 1880.0
gain-range = 4.0 12.0 0.5
gain = 12.0
band = 0x0008
install-date = 260114
installer-id = JM042
base-station-id = ENB-4711-NORTH
sector-id = SEC-A2
bearing = 30.0

[subunit 2]
rx-band = 1920.0 1980.0
tx-band = 2110.0 2170.0
gain-range = 4.0 12.0 0.5
gain = 10.0
alarms = 0x30
)";

// An AISG 1.1 TMA.
inline const char kAisg1Tma[] = R"(
[device]
generation = 1
type = 2
vendor = PW
serial = TM1107000815
product = TMA-850
hw-version = 1.0
sw-version = 1.0.2

[subunit 1]
antenna-model = TMA-850-S
tma-type = 1
rx-band = 824.0 849.0
tx-band = 869.0 894.0
gain-range = 4.0 12.0 0.5
gain = 8.0
sector-id = S1
bearing = 120.0
mechanical-tilt = -1.0
)";

}  // namespace tma
