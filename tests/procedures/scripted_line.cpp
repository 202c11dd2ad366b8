#include "tests/procedures/scripted_line.h"

#include <cstdio>
#include <string>

#include "aldlink/hdlc/fcs.h"
#include "support/clock.h"

namespace proctest {

Bytes Frame(uint8_t address, uint8_t control, const Bytes& info) {
  Bytes body{address, control};
  body.insert(body.end(), info.begin(), info.end());
  uint16_t fcs = ald::hdlc::Fcs16(body.data(), body.size());
  body.push_back(static_cast<uint8_t>(fcs & 0xFF));
  body.push_back(static_cast<uint8_t>(fcs >> 8));
  Bytes out{0x7E};
  for (uint8_t b : body) {
    if (b == 0x7E || b == 0x7D) {
      out.push_back(0x7D);
      out.push_back(static_cast<uint8_t>(b ^ 0x20));
    } else {
      out.push_back(b);
    }
  }
  out.push_back(0x7E);
  return out;
}

Bytes UA(uint8_t address) {
  return Frame(address, 0x73);
}
Bytes RR(uint8_t address, int nr) {
  return Frame(address, static_cast<uint8_t>(nr * 32 + 0x11));
}
Bytes RNR(uint8_t address, int nr) {
  return Frame(address, static_cast<uint8_t>(nr * 32 + 0x15));
}
Bytes IFrame(uint8_t address, int ns, int nr, const Bytes& info) {
  return Frame(address, static_cast<uint8_t>(nr * 32 + 0x10 + ns * 2), info);
}

Bytes Message2(uint8_t code, const Bytes& data) {
  Bytes m{code, static_cast<uint8_t>(data.size() & 0xFF), static_cast<uint8_t>(data.size() >> 8)};
  m.insert(m.end(), data.begin(), data.end());
  return m;
}

Bytes Message1(uint8_t code, const Bytes& data) {
  Bytes m{1};
  Bytes rest = Message2(code, data);
  m.insert(m.end(), rest.begin(), rest.end());
  return m;
}

namespace {

// Decodes one command frame as written by the controller.
Command Decode(const Bytes& wire) {
  Bytes raw;
  for (size_t i = 1; i + 1 < wire.size(); ++i) {
    if (wire[i] == 0x7D && i + 2 < wire.size()) {
      raw.push_back(static_cast<uint8_t>(wire[++i] ^ 0x20));
    } else {
      raw.push_back(wire[i]);
    }
  }
  Command c;
  if (raw.size() >= 4) {
    c.address = raw[0];
    c.control = raw[1];
    c.info.assign(raw.begin() + 2, raw.end() - 2);
  }
  return c;
}

class ScriptedPort final : public ald::SerialPort {
 public:
  explicit ScriptedPort(ScriptedLine& line) : line_(line) {}
  bool GetLineSettings(ald::LineSettings& s) override {
    s = settings_;
    return true;
  }
  bool SetLineSettings(const ald::LineSettings& s) override {
    settings_ = s;
    return true;
  }
  bool GetTimeouts(ald::SerialTimeouts& t) override {
    t = line_.timeouts;
    return true;
  }
  bool SetTimeouts(const ald::SerialTimeouts& t) override {
    line_.timeouts = t;
    return true;
  }
  bool Purge(unsigned) override {
    line_.input.clear();
    return true;
  }
  bool Write(const char* data, int length, int& written) override {
    Bytes wire(data, data + length);
    written = length;
    Command c = Decode(wire);
    line_.sent.push_back(c);
    line_.sentAtMs.push_back(ald::GetClock().NowMs());
    if (line_.responder) {
      Bytes answer = line_.responder(c);
      line_.input.insert(line_.input.end(), answer.begin(), answer.end());
    }
    return true;
  }
  bool Read(char* buffer, int length, int& got) override {
    got = 0;
    while (got < length && !line_.input.empty()) {
      buffer[got++] = static_cast<char>(line_.input.front());
      line_.input.pop_front();
    }
    if (got == 0) ald::GetClock().SleepMs(line_.timeouts.readTotalConstant);
    return true;
  }

 private:
  ScriptedLine& line_;
  ald::LineSettings settings_;
};

}  // namespace

ScriptedLine::ScriptedLine() {
  ald::SetAdapterPlatform(this);
}
ScriptedLine::~ScriptedLine() {
  ald::SetAdapterPlatform(nullptr);
}

std::unique_ptr<ald::SerialPort> ScriptedLine::OpenPort(int) {
  return std::make_unique<ScriptedPort>(*this);
}

int ScriptedLine::Count(uint8_t control) const {
  int n = 0;
  for (const Command& c : sent) n += c.control == control ? 1 : 0;
  return n;
}

Bytes ScriptedLine::LastInfo() const {
  for (auto it = sent.rbegin(); it != sent.rend(); ++it) {
    if (it->IsInfo()) return it->info;
  }
  return {};
}

int ScriptedLine::CountInfo() const {
  int n = 0;
  for (const Command& c : sent) n += c.IsInfo() ? 1 : 0;
  return n;
}

int ScriptedLine::CountRR() const {
  int n = 0;
  for (const Command& c : sent) n += c.IsRR() ? 1 : 0;
  return n;
}

std::vector<std::string> ScriptedLine::Trail() const {
  std::vector<std::string> out;
  for (const Command& c : sent) {
    if (c.control == kSNRM) {
      out.push_back("SNRM");
    } else if (c.control == kDISC) {
      out.push_back("DISC");
    } else if (c.control == kXID) {
      out.push_back("XID");
    } else if (c.IsRR()) {
      out.push_back("RR");
    } else if (c.IsInfo()) {
      out.push_back("I");
    } else {
      char hex[8];
      snprintf(hex, sizeof hex, "%02x", c.control);
      out.push_back(hex);
    }
  }
  return out;
}

Bytes ScriptedDevice::operator()(const Command& c) {
  if (c.address != address_) return {};
  if (c.control == kSNRM || c.control == kDISC) {
    ns_ = nr_ = 0;
    return UA(address_);
  }
  if (c.IsRR()) return RR(address_, nr_);
  if (c.IsInfo()) {
    nr_ = (nr_ + 1) % 8;
    Bytes answer = layer7_(c.info);
    if (answer.empty()) return RR(address_, nr_);
    Bytes frame = IFrame(address_, ns_, nr_, answer);
    ns_ = (ns_ + 1) % 8;
    return frame;
  }
  return {};
}

}  // namespace proctest
