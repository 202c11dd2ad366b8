// Test bench of the flat control interface: a simulated antenna line built
// from a site text, on the virtual clock, whose serial port records every
// write and can be made to refuse opening or to take only part of a write.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "aldglue/aldglue.h"
#include "aldlink/adapter/adapter_platform.h"
#include "aldlink/adapter/sim_bridge_chip.h"
#include "aldlink/devices/aisgdevice.h"
#include "sim/bus.h"
#include "sim/sim_ald.h"
#include "support/clock.h"

namespace gluetest {

using Bytes = std::vector<uint8_t>;
using EntryCopy = std::shared_ptr<const MIRELK_DATA>;

class LinePlatform final : public ald::AdapterPlatform {
 public:
  explicit LinePlatform(ald::sim::SimBus& bus) : bus_(bus) {}
  ald::BridgeChipLibrary& Chips() override { return chip; }
  int ExplicitPortNumber() override { return 0; }
  int LookupPortNumber(uint16_t, uint16_t, const char*) override { return 1; }
  std::unique_ptr<ald::SerialPort> OpenPort(int portNumber) override;

  ald::SimBridgeChip chip;
  // Every Write call, as the bytes it was given.
  std::vector<Bytes> writes;
  bool refuseOpen = false;
  // >= 0: each write takes only this many bytes.
  int writeLimit = -1;
  int opens = 0;
  int closes = 0;

 private:
  ald::sim::SimBus& bus_;
};

// Gives tests the registry's protected members.
struct Registry : AISGDevice {
  using AISGDevice::AddDevice;
  static void Clear();
};

class GlueTest : public ::testing::Test {
 protected:
  void SetUp() override { Registry::Clear(); }
  void TearDown() override;

  // Puts the devices of a site text on the line (the test fails on a site
  // the simulator refuses).
  void Site(const std::string& text);
  // scanMain with address assignment, its trace swallowed.
  int Scan(int depth = 4);
  ald::sim::SimAld& Sim(int index);

  template <typename F>
  std::string Quiet(F f) {
    ::testing::internal::CaptureStdout();
    f();
    return ::testing::internal::GetCapturedStdout();
  }

  // A copy of the table entry of (address, subunit) after a rebuild, null
  // when absent. (Every rebuild releases the previous table.)
  EntryCopy Entry(int address, int subunit);
  static std::string Field(const MIRELK_DATA* e, int index) {
    return e == nullptr ? "<no entry>" : std::string(e->field[index]);
  }
  static std::string Field(const EntryCopy& e, int index) { return Field(e.get(), index); }

  ald::ScopedVirtualClock clock;
  std::unique_ptr<ald::sim::SimBus> bus;
  std::unique_ptr<LinePlatform> line;
};

// A single-antenna AISG 1.1 RET.
extern const char kRet1[];
// A three-antenna AISG 2.0 RET.
extern const char kRet2[];
// An AISG 1.1 TMA.
extern const char kTma1[];
// A two-unit AISG 2.0 TMA.
extern const char kTma2[];

}  // namespace gluetest
