#include "fuzz/support/file_line.h"

#include "aldlink/adapter/serial_port.h"
#include "aldlink/hdlc/fcs.h"
#include "support/clock.h"

namespace fuzz {

namespace {

constexpr uint8_t kFlag = 0x7E;
constexpr uint8_t kEscape = 0x7D;
constexpr uint8_t kSNRM = 0x93;
constexpr uint8_t kDISC = 0x53;
constexpr uint8_t kUA = 0x73;

class FilePort final : public ald::SerialPort {
 public:
  explicit FilePort(FileLine& line) : line_(line) {}
  bool GetLineSettings(ald::LineSettings& s) override {
    s = settings_;
    return true;
  }
  bool SetLineSettings(const ald::LineSettings& s) override {
    settings_ = s;
    return true;
  }
  bool GetTimeouts(ald::SerialTimeouts& t) override {
    t = timeouts_;
    return true;
  }
  bool SetTimeouts(const ald::SerialTimeouts& t) override {
    timeouts_ = t;
    return true;
  }
  bool Purge(unsigned) override {
    line_.Input().clear();
    return true;
  }
  bool Write(const char* data, int length, int& written) override {
    written = length;
    line_.Take(reinterpret_cast<const uint8_t*>(data), length);
    return true;
  }
  bool Read(char* buffer, int length, int& got) override {
    got = 0;
    auto& input = line_.Input();
    while (got < length && !input.empty()) {
      buffer[got++] = static_cast<char>(input.front());
      input.pop_front();
    }
    // A silent line costs its time-out, on the clock in force (virtual).
    if (got == 0) ald::GetClock().SleepMs(timeouts_.readTotalConstant);
    return true;
  }

 private:
  FileLine& line_;
  ald::LineSettings settings_;
  ald::SerialTimeouts timeouts_;
};

}  // namespace

FileLine::FileLine() {
  ald::SetAdapterPlatform(this);
}

FileLine::~FileLine() {
  ald::SetAdapterPlatform(nullptr);
}

std::unique_ptr<ald::SerialPort> FileLine::OpenPort(int) {
  return std::make_unique<FilePort>(*this);
}

void FileLine::Take(const uint8_t* wire, int length) {
  // One command frame per write: flag, escaped body, flag.
  Message raw;
  for (int i = 1; i + 1 < length; ++i) {
    if (wire[i] == kEscape && i + 2 < length) {
      raw.push_back(static_cast<uint8_t>(wire[++i] ^ 0x20));
    } else {
      raw.push_back(wire[i]);
    }
  }
  if (raw.size() < 4) return;
  // Whatever address the controller uses, the device answers to it.
  address_ = raw[0];
  const uint8_t control = raw[1];
  Message info(raw.begin() + 2, raw.end() - 2);
  if (control == kSNRM || control == kDISC) {
    ns_ = nr_ = 0;
    Answer(kUA, {});
    return;
  }
  if ((control & 0x1F) == 0x11) {  // RR
    Answer(static_cast<uint8_t>(nr_ * 32 + 0x11), {});
    return;
  }
  if ((control & 0x11) != 0x10) return;  // XID and the rest: no answer

  const int index = static_cast<int>(requests_.size());
  requests_.push_back(info);
  if (Refused(index) && refuseSilent_) return;
  nr_ = (nr_ + 1) % 8;
  // AISG 1.x messages lead with a byte of 1; the answer does the same.
  const bool gen1 = !info.empty() && info[0] == 1;
  const size_t at = gen1 ? 1 : 0;
  const uint8_t code = info.size() > at ? info[at] : 0;
  Message data;
  // The antenna procedures of a multi-antenna unit name the antenna first,
  // in the request and in the answer.
  if (!gen1 && code >= 0x80 && code <= 0x8F && info.size() >= 4) data.push_back(info[3]);
  data.push_back(static_cast<uint8_t>(Refused(index) ? 1 : 0));
  // Devices repeat the block number of a header and the segment number of
  // an AISG 1.x segment after the return code.
  if (code == 0x20 && info.size() >= at + 5) {
    data.push_back(info[at + 3]);
    data.push_back(info[at + 4]);
  }
  if (code == 0x21 && info.size() >= at + 4) data.push_back(info[at + 3]);
  if (Refused(index)) data.push_back(0x1E);  // invalid file content
  Message answer;
  if (gen1) answer.push_back(1);
  answer.push_back(code);
  answer.push_back(static_cast<uint8_t>(data.size()));
  answer.push_back(0);
  answer.insert(answer.end(), data.begin(), data.end());
  Answer(static_cast<uint8_t>(nr_ * 32 + 0x10 + ns_ * 2), answer);
  ns_ = (ns_ + 1) % 8;
}

void FileLine::Answer(uint8_t control, const Message& info) {
  Message body{address_, control};
  body.insert(body.end(), info.begin(), info.end());
  const uint16_t fcs = ald::hdlc::Fcs16(body.data(), body.size());
  body.push_back(static_cast<uint8_t>(fcs & 0xFF));
  body.push_back(static_cast<uint8_t>(fcs >> 8));
  input_.push_back(kFlag);
  for (uint8_t b : body) {
    if (b == kFlag || b == kEscape) {
      input_.push_back(kEscape);
      input_.push_back(static_cast<uint8_t>(b ^ 0x20));
    } else {
      input_.push_back(b);
    }
  }
  input_.push_back(kFlag);
}

}  // namespace fuzz
