#include "tests/hdlc/fake_line.h"

#include <algorithm>
#include <cstring>

#include "aldlink/hdlc/fcs.h"
#include "support/clock.h"

namespace hdlctest {

bool FakePort::GetLineSettings(ald::LineSettings& settings) {
  settings = settings_;
  return true;
}

bool FakePort::SetLineSettings(const ald::LineSettings& settings) {
  settings_ = settings;
  return true;
}

bool FakePort::GetTimeouts(ald::SerialTimeouts& timeouts) {
  timeouts = line_.timeouts;
  return true;
}

bool FakePort::SetTimeouts(const ald::SerialTimeouts& timeouts) {
  line_.timeouts = timeouts;
  return true;
}

bool FakePort::Purge(unsigned flags) {
  ++line_.purges;
  if (flags & ald::kPurgeRxClear) line_.input.clear();
  return true;
}

bool FakePort::Write(const char* data, int length, int& written) {
  written = length;
  if (line_.writeLimit >= 0 && written > line_.writeLimit) written = line_.writeLimit;
  line_.writes.emplace_back(data, data + written);
  if (!line_.answers.empty()) {
    const Bytes& answer = line_.answers.front();
    line_.input.insert(line_.input.end(), answer.begin(), answer.end());
    line_.answers.pop_front();
  }
  return true;
}

bool FakePort::Read(char* buffer, int length, int& got) {
  got = 0;
  while (got < length && !line_.input.empty()) {
    buffer[got++] = static_cast<char>(line_.input.front());
    line_.input.pop_front();
  }
  // Fewer bytes than asked for: the read runs into its total time-out.
  if (got < length) ald::GetClock().SleepMs(line_.timeouts.readTotalConstant);
  line_.lastReadUs = ald::GetClock().NowUs();
  return true;
}

int FakeChips::GetNumDevices(unsigned& count) {
  count = 1;
  return 0;
}
int FakeChips::Open(unsigned index, ald::ChipHandle& handle) {
  if (index != 0) return 1;
  handle = reinterpret_cast<ald::ChipHandle>(uintptr_t{1});
  return 0;
}
int FakeChips::Close(ald::ChipHandle) {
  return 0;
}
int FakeChips::GetPartNumber(ald::ChipHandle, uint8_t& partNumber) {
  partNumber = 3;
  return 0;
}
int FakeChips::GetVendorId(ald::ChipHandle, uint16_t& vid) {
  vid = 0x10C4;
  return 0;
}
int FakeChips::GetProductId(ald::ChipHandle, uint16_t& pid) {
  pid = 0xEA60;
  return 0;
}
int FakeChips::GetSerialNumber(ald::ChipHandle, char* buffer, uint8_t& length, bool) {
  std::memcpy(buffer, "0001", 4);
  length = 4;
  return 0;
}
int FakeChips::Reset(ald::ChipHandle) {
  return 0;
}
int FakeChips::GetPortConfig(ald::ChipHandle, ald::ChipPortConfig& config) {
  config = ald::ChipPortConfig{};
  return 0;
}
int FakeChips::SetPortConfig(ald::ChipHandle, const ald::ChipPortConfig&) {
  return 0;
}
int FakeChips::ReadLatch(ald::ChipHandle, uint8_t& latch) {
  latch = 0;
  return 0;
}
int FakeChips::WriteLatch(ald::ChipHandle, uint8_t, uint8_t) {
  return 0;
}

std::unique_ptr<ald::SerialPort> FakePlatform::OpenPort(int portNumber) {
  if (portNumber != 1 || line.refuseOpen || line.portOpen) return nullptr;
  return std::make_unique<FakePort>(line);
}

Bytes MakeFrame(uint8_t address, uint8_t control, const Bytes& info) {
  Bytes frame;
  frame.reserve(info.size() + 6);
  frame.push_back(0x7E);
  frame.push_back(address);
  frame.push_back(control);
  for (uint8_t b : info) frame.push_back(b);
  const uint16_t fcs = ald::hdlc::Fcs16(frame.data() + 1, frame.size() - 1);
  frame.push_back(static_cast<uint8_t>(fcs & 0xFF));
  frame.push_back(static_cast<uint8_t>(fcs >> 8));
  frame.push_back(0x7E);
  return frame;
}

}  // namespace hdlctest
