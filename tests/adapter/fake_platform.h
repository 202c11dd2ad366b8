// A scripted adapter platform for the adapter tests: the in-memory bridge
// chip, a port lookup that records what it was asked, and serial ports whose
// incoming bytes arrive at set times on the virtual clock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "aldlink/adapter/adapter_platform.h"
#include "aldlink/adapter/sim_bridge_chip.h"
#include "support/clock.h"

namespace ald::test {

// Everything a test wants to see of the ports the driver opened; owned by the
// platform, shared by its ports.
struct PortState {
  // Incoming bytes: (arrival time in us on the process clock, byte).
  std::vector<std::pair<int64_t, char>> incoming;
  size_t nextIncoming = 0;
  std::string written;
  std::vector<unsigned> purges;
  std::vector<SerialTimeouts> timeoutHistory;  // every SetTimeouts
  SerialTimeouts timeouts;
  LineSettings line{115200, 7, Parity::kEven, 2};
  bool failPurge = false;
  bool failWrite = false;
  int openPorts = 0;   // ports alive now
  int totalOpens = 0;  // successful OpenPort calls
  std::vector<int> openedNumbers;
  int readCalls = 0;
  int maxReadLength = 0;

  // Queues `bytes` to arrive `startUs` from now, `gapUs` apart.
  void Arrive(const std::string& bytes, int64_t startUs, int64_t gapUs) {
    int64_t t = GetClock().NowUs() + startUs;
    for (char c : bytes) {
      incoming.emplace_back(t, c);
      t += gapUs;
    }
  }
};

// Reads wait on the virtual clock: a byte due within the read's total time
// moves the clock to its arrival; otherwise the whole time-out passes.
class ScriptedPort final : public SerialPort {
 public:
  explicit ScriptedPort(PortState& state) : state_(state) { ++state_.openPorts; }
  ~ScriptedPort() override { --state_.openPorts; }

  bool GetLineSettings(LineSettings& settings) override {
    settings = state_.line;
    return true;
  }
  bool SetLineSettings(const LineSettings& settings) override {
    state_.line = settings;
    return true;
  }
  bool GetTimeouts(SerialTimeouts& timeouts) override {
    timeouts = state_.timeouts;
    return true;
  }
  bool SetTimeouts(const SerialTimeouts& timeouts) override {
    state_.timeouts = timeouts;
    state_.timeoutHistory.push_back(timeouts);
    return true;
  }
  bool Purge(unsigned flags) override {
    state_.purges.push_back(flags);
    return !state_.failPurge;
  }
  bool Write(const char* data, int length, int& written) override {
    written = 0;
    if (state_.failWrite) return false;
    state_.written.append(data, static_cast<size_t>(length));
    written = length;
    return true;
  }
  bool Read(char* buffer, int length, int& got) override {
    ++state_.readCalls;
    if (length > state_.maxReadLength) state_.maxReadLength = length;
    got = 0;
    Clock& clock = GetClock();
    const int64_t deadline = clock.NowUs() + 1000 * int64_t{state_.timeouts.readTotalConstant +
                                                            state_.timeouts.readTotalMultiplier *
                                                                static_cast<uint32_t>(length)};
    while (got < length && state_.nextIncoming < state_.incoming.size()) {
      const auto& [when, byte] = state_.incoming[state_.nextIncoming];
      if (when > deadline) break;
      clock.SleepUntilUs(when);
      buffer[got++] = byte;
      ++state_.nextIncoming;
    }
    if (got < length) clock.SleepUntilUs(deadline);
    return true;
  }

 private:
  PortState& state_;
};

class FakePlatform final : public AdapterPlatform {
 public:
  FakePlatform() { SetAdapterPlatform(this); }
  ~FakePlatform() override { SetAdapterPlatform(nullptr); }
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;

  BridgeChipLibrary& Chips() override { return chip; }
  int ExplicitPortNumber() override { return explicitPort; }
  int LookupPortNumber(uint16_t vid, uint16_t pid, const char* serial) override {
    ++lookups;
    lastVid = vid;
    lastPid = pid;
    lastSerial = serial;
    return lookupResult;
  }
  int LookupPortWithoutChip() override {
    ++lookupsWithoutChip;
    return withoutChipResult;
  }
  std::unique_ptr<SerialPort> OpenPort(int portNumber) override {
    // Ports are exclusive, like the real ones.
    if (failOpen || port.openPorts > 0) return nullptr;
    ++port.totalOpens;
    port.openedNumbers.push_back(portNumber);
    return std::make_unique<ScriptedPort>(port);
  }

  SimBridgeChip chip;
  PortState port;
  int explicitPort = 0;
  int lookupResult = 5;
  bool failOpen = false;
  int lookups = 0;
  int withoutChipResult = -1;
  int lookupsWithoutChip = 0;
  uint16_t lastVid = 0;
  uint16_t lastPid = 0;
  std::string lastSerial;
};

}  // namespace ald::test
