// Fixture of the RET device tests: simulated RETs on a bus built from a
// site text (device n at HDLC address n), on the virtual clock, with a few
// behaviours the site files cannot express: an actuator that stops short of
// its target, a device that alters a written device data field, malformed
// answers to chosen procedures (per antenna), and a device that falls silent
// after a number of messages.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "aldlink/adapter/adapter_platform.h"
#include "aldlink/devices/retdevice.h"
#include "sim/bus.h"
#include "sim/sim_ald.h"
#include "sim/sim_platform.h"
#include "sim/site_file.h"
#include "support/clock.h"

namespace rettest {

class ScriptedRet : public ald::sim::SimAld {
 public:
  explicit ScriptedRet(const ald::sim::SimAld& base) : SimAld(base) {}

  // Layer-7 messages received so far.
  int messages = 0;
  // The device answers this many messages, then nothing more (-1: never).
  int silentAfter = -1;
  // Added to the target of every set-tilt request.
  int tiltOffset = 0;
  // Device data field whose written value the device stores altered (0: none).
  uint8_t alteredField = 0;
  // Procedure code -> antennas (subunit bytes) whose answers carry a return
  // code no device may send; an empty set means every answer to that code.
  std::map<uint8_t, std::set<uint8_t>> badAnswers;
  void Bad(std::initializer_list<uint8_t> codes) {
    badAnswers.clear();
    for (uint8_t c : codes) badAnswers[c];
  }

  int HandleMessage(const uint8_t* info, int length, int64_t nowUs, uint8_t* out,
                    int capacity) override {
    ++messages;
    if (silentAfter >= 0 && messages >= silentAfter) faults.silent = true;
    uint8_t copy[300];
    if (length < (generation == 1 ? 4 : 3) || length > static_cast<int>(sizeof copy)) {
      return SimAld::HandleMessage(info, length, nowUs, out, capacity);
    }
    std::memcpy(copy, info, static_cast<size_t>(length));
    const int head = generation == 1 ? 4 : 3;
    const uint8_t code = copy[generation == 1 ? 1 : 0];
    const bool perAntenna = generation == 2 && code >= 0x80 && code <= 0x89 && code != 0x88;
    const uint8_t antenna = perAntenna && length > head ? copy[head] : 0;

    if ((code == 0x33 || code == 0x81) && tiltOffset != 0) {
      int tilt = copy[length - 2] | static_cast<int8_t>(copy[length - 1]) << 8;
      tilt += tiltOffset;
      copy[length - 2] = static_cast<uint8_t>(tilt & 0xFF);
      copy[length - 1] = static_cast<uint8_t>((tilt >> 8) & 0xFF);
    }
    const int idAt = head + (perAntenna ? 1 : 0);
    if ((code == 0x0E || code == 0x83) && alteredField != 0 && length > idAt + 1 &&
        copy[idAt] == alteredField) {
      copy[length - 1] ^= 0x01;
    }

    const auto entry = badAnswers.find(code);
    const bool bad =
        entry != badAnswers.end() && (entry->second.empty() || entry->second.count(antenna) != 0);
    const int saved = faults.returnCode;
    if (bad) faults.returnCode = 0x02;
    const int n = SimAld::HandleMessage(copy, length, nowUs, out, capacity);
    faults.returnCode = saved;
    return n;
  }
};

// RETDevice with its protected bookkeeping opened for the tests.
class TestRet : public RETDevice {
 public:
  using RETDevice::AddAlarm;
  using RETDevice::CheckDataChange;
  using RETDevice::HasAlarm;
  using RETDevice::RemoveAlarm;
  using RETDevice::RETDevice;
  using RETDevice::UpdateAlarmCount;

  void SetState(int s) { state = s; }
  RETSubunit& Unit(int n) { return subunits[n - 1]; }
  // An object as loading would leave it: this address and subunit count.
  static TestRet* Loaded(int address, int count) {
    auto* d = new TestRet();
    d->address = address;
    d->devtype = count > 1 ? 17 : 1;
    d->aisgver = 2;
    d->subunitcount = count;
    d->subunits = std::make_unique<RETSubunit[]>(static_cast<size_t>(count));
    return d;
  }
  static int Register(AISGDevice* d) { return AddDevice(d); }
  static void ClearRegistry() {
    for (int i = 0; i < theDeviceCount; ++i) {
      delete theDevices[i];
      theDevices[i] = nullptr;
    }
    theDeviceCount = 0;
  }
};

// The alarm list of a subunit as a byte string.
inline std::string Alarms(const RETSubunit& s) {
  return std::string(static_cast<char*>(s.alarm), s.alarm.GetLength());
}

// Standard output of a stretch of a test.
class Trace {
 public:
  Trace() {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
  }
  ~Trace() {
    if (!taken_) Take();
  }
  std::string Take() {
    std::fflush(stdout);
    taken_ = true;
    return testing::internal::GetCapturedStdout();
  }

 private:
  bool taken_ = false;
};

inline int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class RetSim : public ::testing::Test {
 protected:
  ~RetSim() override {
    TestRet::ClearRegistry();
    ald::SetAdapterPlatform(nullptr);
    std::fflush(stdout);
  }

  void Site(const std::string& text) {
    ald::sim::DeviceList parsed;
    std::string error;
    ASSERT_TRUE(ald::sim::ParseSite(text, parsed, error)) << error;
    ald::sim::DeviceList devices;
    for (size_t i = 0; i < parsed.size(); ++i) {
      auto d = std::make_unique<ScriptedRet>(static_cast<ald::sim::SimAld&>(*parsed[i]));
      d->address = static_cast<int>(i + 1);
      devices.push_back(std::move(d));
    }
    // A second site replaces the first: the platform goes before its bus.
    ald::SetAdapterPlatform(nullptr);
    platform_.reset();
    bus_ = std::make_unique<ald::sim::SimBus>(std::move(devices));
    platform_ = std::make_unique<ald::sim::SimPlatform>(*bus_);
    ald::SetAdapterPlatform(platform_.get());
  }
  ScriptedRet& Ald(int address) { return static_cast<ScriptedRet&>(bus_->Device(address - 1)); }

  // The object a scan would make for the device at `address`.
  std::unique_ptr<TestRet> Make(int address) {
    ScriptedRet& d = Ald(address);
    return std::make_unique<TestRet>(d.deviceType, d.generation, address, d.uniqueId.data(),
                                     static_cast<int>(d.uniqueId.size()));
  }
  int64_t NowMs() { return ald::GetClock().NowMs(); }

  ald::ScopedVirtualClock clock;

 private:
  std::unique_ptr<ald::sim::SimBus> bus_;
  std::unique_ptr<ald::sim::SimPlatform> platform_;
};

// A single AISG 2.0 RET with complete device data.
inline const char* kRet2 = R"(
[device]
generation = 2
type = 1
vendor = KA
serial = 2RET0001
product = RET-2A
hw-version = H2
sw-version = 2.1.0
3gpp-release = 9
tilt-speed = 100.0
[subunit 1]
antenna-model = AM-2000
antenna-serial = AS2000-1
band = 0x0028
beamwidth = 65 64 63 62
antenna-gain = 17.5 18.0 18.5 19.0
install-date = 260101
installer-id = INST1
base-station-id = SITE-0001
sector-id = SECTOR-A
bearing = 120.0
mechanical-tilt = 2.0
tilt-range = 0.0 10.0
tilt = 3.0
)";

// A single AISG 1.1 RET.
inline const char* kRet1 = R"(
[device]
generation = 1
type = 1
vendor = KA
serial = 1RET0001
product = RET-1A
sw-version = 1.0.4
tilt-speed = 100.0
[subunit 1]
antenna-model = AM-1000
band = 0x0008
beamwidth = 65 64 63
antenna-gain = 17.5 18.0 18.5
base-station-id = SITE-01
sector-id = S1
mechanical-tilt = -1.0
tilt-range = -5.0 10.0
tilt = 1.0
)";

// A three-antenna AISG 2.0 RET.
inline const char* kRet3 = R"(
[device]
generation = 2
type = 17
vendor = KA
serial = 3RET0001
product = RET-3A
tilt-speed = 100.0
subunits = 3
[subunit 1]
antenna-model = AM-3001
tilt = 1.0
[subunit 2]
antenna-model = AM-3002
tilt = 2.0
[subunit 3]
antenna-model = AM-3003
tilt = 3.0
)";

}  // namespace rettest
