// A scripted antenna line for the procedure tests: every command frame the
// controller writes is decoded and handed to a responder, whose answer bytes
// the controller then reads. A read that finds nothing waits its time-out on
// the process clock (virtual in these tests), as on a silent bus.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "aldlink/adapter/adapter_platform.h"
#include "aldlink/adapter/serial_port.h"
#include "aldlink/adapter/sim_bridge_chip.h"
#include "aldlink/procedures/aisgdeviceep.h"
#include "support/clock.h"

namespace proctest {

using Bytes = std::vector<uint8_t>;

// Control bytes of the commands.
constexpr uint8_t kSNRM = 0x93;
constexpr uint8_t kDISC = 0x53;
constexpr uint8_t kXID = 0xBF;

struct Command {
  uint8_t address = 0;
  uint8_t control = 0;
  Bytes info;  // information field (unescaped)

  bool IsInfo() const { return (control & 0x11) == 0x10; }
  bool IsRR() const { return (control & 0x1F) == 0x11; }
  int Nr() const { return control >> 5; }
};

// Wire bytes of one answer frame: flags, FCS and escaping.
Bytes Frame(uint8_t address, uint8_t control, const Bytes& info = {});
Bytes UA(uint8_t address);
Bytes RR(uint8_t address, int nr = 0);
Bytes RNR(uint8_t address, int nr = 0);
Bytes IFrame(uint8_t address, int ns, int nr, const Bytes& info);
// Layer-7 messages: code, length (low byte first), data; AISG 1.x ones
// carry a leading byte of 1.
Bytes Message2(uint8_t code, const Bytes& data);
Bytes Message1(uint8_t code, const Bytes& data);

class ScriptedLine : public ald::AdapterPlatform {
 public:
  using Responder = std::function<Bytes(const Command&)>;

  ScriptedLine();
  ~ScriptedLine() override;

  ald::BridgeChipLibrary& Chips() override { return chips_; }
  int ExplicitPortNumber() override { return 1; }
  int LookupPortNumber(uint16_t, uint16_t, const char*) override { return 1; }
  std::unique_ptr<ald::SerialPort> OpenPort(int portNumber) override;

  // Called for every command frame; returns the raw answer bytes (empty for
  // silence). The default answers nothing.
  Responder responder;
  std::vector<Command> sent;
  std::vector<int64_t> sentAtMs;  // clock time of each write
  std::deque<uint8_t> input;
  ald::SerialTimeouts timeouts;

  int Count(uint8_t control) const;
  // Information field of the last I-frame sent, empty when none.
  Bytes LastInfo() const;
  int CountInfo() const;
  int CountRR() const;
  // The controls of all commands, in order, as one readable word per frame
  // ("SNRM", "DISC", "RR", "I", "XID", or the hex byte).
  std::vector<std::string> Trail() const;

 private:
  ald::SimBridgeChip chips_;
};

// A well-behaved device at `address` that answers SNRM and DISC with UA,
// RR with RR, and each I-frame with the I-frame `layer7` returns for the
// message (RR when it returns nothing). Tracks its own N(S).
class ScriptedDevice {
 public:
  using Layer7 = std::function<Bytes(const Bytes& message)>;
  ScriptedDevice(uint8_t address, Layer7 layer7) : address_(address), layer7_(std::move(layer7)) {}
  Bytes operator()(const Command& c);

 private:
  uint8_t address_;
  Layer7 layer7_;
  int ns_ = 0;
  int nr_ = 0;
};

// Gives tests the protected members of the engine.
class TestEP : public AISGDEVICEEP {
 public:
  using AISGDEVICEEP::DeviceProcedure;
  using AISGDEVICEEP::GetDeviceData;
  using AISGDEVICEEP::GlobalProcedure;
  using AISGDEVICEEP::InitialParams;
  using AISGDEVICEEP::Polling;
  using AISGDEVICEEP::PrintDeviceData;
  using AISGDEVICEEP::PrintDeviceInfo;
};

// Virtual clock, scripted line and an engine with its port open.
class ProcedureTest : public ::testing::Test {
 protected:
  void SetUp() override { ep.OpenConnection(); }
  int64_t NowMs() { return ald::GetClock().NowMs(); }

  ald::ScopedVirtualClock clock;
  ScriptedLine line;
  TestEP ep;
  AISGDeviceParams p{};
};

}  // namespace proctest
