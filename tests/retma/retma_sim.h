// Simulator fixture for the RET and TMA procedure tests: a bus built from a
// site text, device n at HDLC address n, on the virtual clock.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "aldlink/adapter/adapter_platform.h"
#include "aldlink/procedures/aisgdeviceparams.h"
#include "sim/bus.h"
#include "sim/sim_ald.h"
#include "sim/sim_platform.h"
#include "sim/site_file.h"
#include "support/clock.h"

namespace retma {

class SimTest : public ::testing::Test {
 protected:
  ~SimTest() override {
    ald::SetAdapterPlatform(nullptr);
    std::fflush(stdout);
  }

  // Builds the bus; the test fails at once on a site the simulator refuses.
  void Site(const std::string& text) {
    ald::sim::DeviceList devices;
    std::string error;
    ASSERT_TRUE(ald::sim::ParseSite(text, devices, error)) << error;
    for (size_t i = 0; i < devices.size(); ++i) devices[i]->address = static_cast<int>(i + 1);
    bus_ = std::make_unique<ald::sim::SimBus>(std::move(devices));
    platform_ = std::make_unique<ald::sim::SimPlatform>(*bus_);
    ald::SetAdapterPlatform(platform_.get());
  }
  ald::sim::SimAld& Device(int address) {
    return static_cast<ald::sim::SimAld&>(bus_->Device(address - 1));
  }
  // Opens the port and the link to `address`.
  template <class EP>
  void Connect(EP& ep, int address) {
    ep.OpenConnection();
    ASSERT_EQ(ep.SetSNRM(address), 0);
  }
  int64_t NowMs() { return ald::GetClock().NowMs(); }

  ald::ScopedVirtualClock clock;
  AISGDeviceParams p{};

 private:
  std::unique_ptr<ald::sim::SimBus> bus_;
  std::unique_ptr<ald::sim::SimPlatform> platform_;
};

// Closes the link and the port when the test's procedure object goes.
template <class EP>
struct Session : EP {
  ~Session() { this->StopConnection(); }
};

}  // namespace retma
