// An antenna line with one obliging device on it, for the file targets: at
// whatever address it is called, it takes every layer-7 request and answers
// OK, so that a download or upload runs as far as its file lets it. It keeps every request it took,
// so a target can compare what went over the line with the file.
//
// A request can be refused on purpose (FAIL, or no answer at all) to drive
// the retry and give-up paths. XID frames are never answered: a search for
// the device finds nothing.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "aldlink/adapter/adapter_platform.h"
#include "aldlink/adapter/sim_bridge_chip.h"

namespace fuzz {

using Message = std::vector<uint8_t>;

class FileLine final : public ald::AdapterPlatform {
 public:
  // Installs itself as the process's adapter platform until destroyed.
  FileLine();
  ~FileLine() override;
  FileLine(const FileLine&) = delete;
  FileLine& operator=(const FileLine&) = delete;

  ald::BridgeChipLibrary& Chips() override { return chips_; }
  int ExplicitPortNumber() override { return 1; }
  int LookupPortNumber(uint16_t, uint16_t, const char*) override { return 1; }
  std::unique_ptr<ald::SerialPort> OpenPort(int portNumber) override;

  // Requests from index `from` (counting every I-frame taken, repeats
  // included) up to `from + count - 1` are refused: answered FAIL, or not
  // answered at all when `silent`.
  void Refuse(int from, int count, bool silent) {
    refuseFrom_ = from;
    refuseCount_ = count;
    refuseSilent_ = silent;
  }

  // Every layer-7 message taken, as sent (AISG 1.x ones with their leading
  // byte), refused ones included.
  const std::vector<Message>& Requests() const { return requests_; }
  // Whether request `i` was refused.
  bool Refused(int i) const { return i >= refuseFrom_ && i < refuseFrom_ + refuseCount_; }

  // Called by the port.
  void Take(const uint8_t* wire, int length);
  std::deque<uint8_t>& Input() { return input_; }

 private:
  void Answer(uint8_t control, const Message& info);

  ald::SimBridgeChip chips_;
  uint8_t address_ = 0;
  int ns_ = 0;
  int nr_ = 0;
  int refuseFrom_ = -1;
  int refuseCount_ = 0;
  bool refuseSilent_ = false;
  std::vector<Message> requests_;
  std::deque<uint8_t> input_;
};

}  // namespace fuzz
