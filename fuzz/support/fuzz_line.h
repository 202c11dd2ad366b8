// A fake antenna line whose device answers come from a fuzz input: every
// command frame the controller writes draws the next answer from the input,
// and the controller then reads those bytes. Installed as the adapter
// platform for the life of the object; the process clock should be virtual,
// since a silent line waits out its read time-out on that clock.
//
// Answer encoding, one answer per command (the tag byte first):
//   tag % 4 == 0  silence
//   tag % 4 == 1  raw bytes: a length-prefixed run (see FuzzInput::Bytes)
//   tag % 4 == 2  one frame: address byte, control byte, information field
//   tag % 4 == 3  one frame to the command's own address: control byte, information
// For the two frame forms the other tag bits shape the frame:
//   0x04  the control byte is that of an I-frame a well-behaved device would
//         send in reply (its N(S) and N(R) follow the command); the input
//         still supplies a control byte, which is then ignored
//   0x08  the information field is a layer-7 answer to the command: the AISG
//         1.x prefix when the command had one, the command's procedure code,
//         the length of the data (two bytes, low first), then the data run
//   0x10  a noise run precedes the frame
//   0x20  a noise run follows the frame
//   0x40  the FCS is damaged
// Once the input is used up, or after the exchange cap, the line is silent.
//
// Seeds: with FUZZLINE_RECORD_SITE naming a site file and FUZZLINE_RECORD_OUT
// a file, the simulated devices of that site answer instead of the input,
// and each answer is written into a copy of the input, in the encoding above,
// at the place where the line would have read it. The copy, saved to
// FUZZLINE_RECORD_OUT when the line is destroyed, replays the same exchange
// without the simulator (fuzz/make_seeds.sh runs this over the replay programs).
// FUZZLINE_RECORD_ADDRESSED gives the devices addresses 1, 2, ... in site order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "aldlink/adapter/adapter_platform.h"
#include "aldlink/adapter/serial_port.h"
#include "aldlink/adapter/sim_bridge_chip.h"
#include "aldlink/procedures/aisgdeviceparams.h"
#include "fuzz/support/fuzz_input.h"

namespace fuzz {

using Bytes = std::vector<uint8_t>;

// One command as the controller wrote it, decoded (escaping undone, FCS dropped).
struct LineCommand {
  uint8_t address = 0;
  uint8_t control = 0;
  Bytes info;
  bool decoded = false;

  bool IsInfo() const { return (control & 0x01) == 0; }
};

// Wire bytes of one frame: flags, address, control, information, FCS, escaping.
Bytes WireFrame(uint8_t address, uint8_t control, const Bytes& info);
// Decodes a command frame; `decoded` stays false for anything but one frame.
LineCommand DecodeCommand(const uint8_t* wire, size_t length);
// The layer-7 procedure code of an I-frame command (after the AISG 1.x prefix).
bool CommandCode(const LineCommand& c, bool& generation1, uint8_t& code);

// The encoding of one recorded answer.
Bytes EncodeAnswer(const Bytes& answer);

// Tag bits, for the seed writers.
constexpr uint8_t kSilence = 0;
constexpr uint8_t kRaw = 1;
constexpr uint8_t kFrame = 2;
constexpr uint8_t kFrameHere = 3;
constexpr uint8_t kAutoControl = 0x04;
constexpr uint8_t kLayer7 = 0x08;
constexpr uint8_t kNoiseBefore = 0x10;
constexpr uint8_t kNoiseAfter = 0x20;
constexpr uint8_t kBadFcs = 0x40;

// Longest raw run, and the longest information field of a frame answer.
constexpr size_t kMaxRaw = 300;
constexpr size_t kMaxInfo = 256;
constexpr size_t kMaxNoise = 16;

class FuzzLine final : public ald::AdapterPlatform {
 public:
  // Draws answers from `input` (not owned), which reads `data`, at most
  // `maxExchanges` of them.
  FuzzLine(const uint8_t* data, size_t size, FuzzInput& input, int maxExchanges);
  ~FuzzLine() override;
  FuzzLine(const FuzzLine&) = delete;
  FuzzLine& operator=(const FuzzLine&) = delete;

  ald::BridgeChipLibrary& Chips() override { return chips_; }
  int ExplicitPortNumber() override { return 1; }
  int LookupPortNumber(uint16_t, uint16_t, const char*) override { return 1; }
  std::unique_ptr<ald::SerialPort> OpenPort(int portNumber) override;

  // Called by the port for every write: queues the next answer.
  void OnWrite(const uint8_t* data, size_t length);
  // Bytes waiting to be read.
  std::deque<uint8_t>& Pending() { return pending_; }
  ald::SerialTimeouts& Timeouts() { return timeouts_; }

  int Exchanges() const { return exchanges_; }
  // True once the input has nothing more to answer.
  bool Exhausted() const { return input_.Empty() || exchanges_ >= maxExchanges_; }

 private:
  struct Recorder;

  Bytes NextAnswer(const LineCommand& command);
  Bytes RecordAnswer(const uint8_t* data, size_t length);

  const uint8_t* data_;
  size_t size_;
  FuzzInput& input_;
  int maxExchanges_;
  int exchanges_ = 0;
  std::deque<uint8_t> pending_;
  ald::SerialTimeouts timeouts_;
  ald::SimBridgeChip chips_;
  std::unique_ptr<Recorder> recorder_;
};

// Stops the run (a crash the fuzzer reports) when a record that started
// zeroed no longer holds what its members promise whatever the device
// answered: counts within their arrays, texts zero-terminated. Overruns
// inside the record are invisible to the address sanitizer; this sees them.
void CheckRecord(const AISGDeviceParams& p);

// Sends standard output to /dev/null for the rest of the process.
void QuietStdout();

// Seed writing: a run as FuzzInput::Bytes reads it (length word, bytes), and
// a word as FuzzInput::Word / Pick read it.
void AppendRun(Bytes& out, const Bytes& run);
void AppendWord(Bytes& out, unsigned value);

}  // namespace fuzz
