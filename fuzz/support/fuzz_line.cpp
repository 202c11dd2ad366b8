#include "fuzz/support/fuzz_line.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <utility>

#include "aldlink/hdlc/fcs.h"
#include "sim/bus.h"
#include "sim/sim_line.h"
#include "sim/site_file.h"
#include "support/clock.h"

namespace fuzz {

Bytes WireFrame(uint8_t address, uint8_t control, const Bytes& info) {
  Bytes body{address, control};
  body.insert(body.end(), info.begin(), info.end());
  const uint16_t fcs = ald::hdlc::Fcs16(body.data(), body.size());
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

LineCommand DecodeCommand(const uint8_t* wire, size_t length) {
  LineCommand c;
  if (length < 2 || wire[0] != 0x7E || wire[length - 1] != 0x7E) return c;
  Bytes raw;
  for (size_t i = 1; i + 1 < length; ++i) {
    if (wire[i] == 0x7D && i + 2 < length) {
      raw.push_back(static_cast<uint8_t>(wire[++i] ^ 0x20));
    } else {
      raw.push_back(wire[i]);
    }
  }
  if (raw.size() < 4) return c;
  c.address = raw[0];
  c.control = raw[1];
  c.info.assign(raw.begin() + 2, raw.end() - 2);
  c.decoded = true;
  return c;
}

bool CommandCode(const LineCommand& c, bool& generation1, uint8_t& code) {
  if (!c.decoded || !c.IsInfo() || c.info.size() < 3) return false;
  // An AISG 1.x message carries a leading 1 before code, length and data.
  generation1 = c.info[0] == 1 && c.info.size() >= 4 &&
                static_cast<size_t>(c.info[2] | (c.info[3] << 8)) + 4 == c.info.size();
  code = generation1 ? c.info[1] : c.info[0];
  return true;
}

namespace {

class FuzzPort final : public ald::SerialPort {
 public:
  explicit FuzzPort(FuzzLine& line) : line_(line) {}
  bool GetLineSettings(ald::LineSettings& s) override {
    s = settings_;
    return true;
  }
  bool SetLineSettings(const ald::LineSettings& s) override {
    settings_ = s;
    return true;
  }
  bool GetTimeouts(ald::SerialTimeouts& t) override {
    t = line_.Timeouts();
    return true;
  }
  bool SetTimeouts(const ald::SerialTimeouts& t) override {
    line_.Timeouts() = t;
    return true;
  }
  bool Purge(unsigned) override {
    line_.Pending().clear();
    return true;
  }
  bool Write(const char* data, int length, int& written) override {
    written = length > 0 ? length : 0;
    if (length > 0) line_.OnWrite(reinterpret_cast<const uint8_t*>(data), length);
    return true;
  }
  bool Read(char* buffer, int length, int& got) override {
    got = 0;
    auto& pending = line_.Pending();
    while (got < length && !pending.empty()) {
      buffer[got++] = static_cast<char>(pending.front());
      pending.pop_front();
    }
    if (got == 0) ald::GetClock().SleepMs(line_.Timeouts().readTotalConstant);
    return true;
  }

 private:
  FuzzLine& line_;
  ald::LineSettings settings_;
};

}  // namespace

// The simulated line that answers while seeds are recorded, and the
// answers with the input positions they belong at.
struct FuzzLine::Recorder {
  explicit Recorder(ald::sim::DeviceList devices) : bus(std::move(devices)), line(bus) {}

  ald::sim::SimBus bus;
  ald::sim::SimLine line;
  std::string out;
  std::vector<std::pair<size_t, Bytes>> answers;
};

FuzzLine::FuzzLine(const uint8_t* data, size_t size, FuzzInput& input, int maxExchanges)
    : data_(data), size_(size), input_(input), maxExchanges_(maxExchanges) {
  const char* site = std::getenv("FUZZLINE_RECORD_SITE");
  const char* out = std::getenv("FUZZLINE_RECORD_OUT");
  if (site != nullptr && out != nullptr) {
    ald::sim::DeviceList devices;
    std::string error;
    if (ald::sim::LoadSite(site, devices, error)) {
      // Procedures other than discovery need devices that already have an
      // address: with FUZZLINE_RECORD_ADDRESSED set, device k has k + 1.
      if (std::getenv("FUZZLINE_RECORD_ADDRESSED") != nullptr) {
        for (size_t k = 0; k < devices.size(); ++k) devices[k]->address = static_cast<int>(k + 1);
      }
      recorder_ = std::make_unique<Recorder>(std::move(devices));
      recorder_->out = out;
    } else {
      std::fprintf(stderr, "cannot record from %s: %s\n", site, error.c_str());
    }
  }
  ald::SetAdapterPlatform(this);
}

FuzzLine::~FuzzLine() {
  ald::SetAdapterPlatform(nullptr);
  if (!recorder_) return;
  Bytes seed;
  size_t from = 0;
  for (const auto& [at, answer] : recorder_->answers) {
    seed.insert(seed.end(), data_ + from, data_ + at);
    seed.insert(seed.end(), answer.begin(), answer.end());
    from = at;
  }
  seed.insert(seed.end(), data_ + from, data_ + size_);
  std::ofstream file(recorder_->out, std::ios::binary);
  file.write(reinterpret_cast<const char*>(seed.data()), static_cast<std::streamsize>(seed.size()));
  if (!file) std::fprintf(stderr, "cannot write %s\n", recorder_->out.c_str());
}

Bytes EncodeAnswer(const Bytes& answer) {
  Bytes out;
  if (answer.empty()) {
    out.push_back(kSilence);
    return out;
  }
  const LineCommand frame = DecodeCommand(answer.data(), answer.size());
  if (frame.decoded && frame.info.size() <= kMaxInfo &&
      WireFrame(frame.address, frame.control, frame.info) == answer) {
    out.push_back(kFrame);
    out.push_back(frame.address);
    out.push_back(frame.control);
    AppendRun(out, frame.info);
    return out;
  }
  out.push_back(kRaw);
  AppendRun(out, Bytes(answer.begin(),
                       answer.begin() + static_cast<std::ptrdiff_t>(
                                            answer.size() < kMaxRaw ? answer.size() : kMaxRaw)));
  return out;
}

Bytes FuzzLine::RecordAnswer(const uint8_t* data, size_t length) {
  ald::sim::SimLine& sim = recorder_->line;
  ald::SerialTimeouts timeouts;
  timeouts.readTotalConstant = 1000;
  sim.SetTimeouts(timeouts);
  int written = 0;
  sim.Write(reinterpret_cast<const char*>(data), static_cast<int>(length), written);
  // The devices answer at once; everything they send is queued by now.
  Bytes answer;
  while (sim.Queued() > 0) {
    char b = 0;
    int got = 0;
    if (!sim.Read(&b, 1, got) || got != 1) break;
    answer.push_back(static_cast<uint8_t>(b));
  }
  if (answer.size() > kMaxRaw) answer.resize(kMaxRaw);
  recorder_->answers.emplace_back(size_ - input_.Remaining(), EncodeAnswer(answer));
  return answer;
}

std::unique_ptr<ald::SerialPort> FuzzLine::OpenPort(int) {
  return std::make_unique<FuzzPort>(*this);
}

void FuzzLine::OnWrite(const uint8_t* data, size_t length) {
  if (exchanges_ >= maxExchanges_) return;
  ++exchanges_;
  const Bytes answer =
      recorder_ ? RecordAnswer(data, length) : NextAnswer(DecodeCommand(data, length));
  pending_.insert(pending_.end(), answer.begin(), answer.end());
}

Bytes FuzzLine::NextAnswer(const LineCommand& command) {
  const uint8_t tag = input_.Byte();
  const int form = tag % 4;
  if (form == kSilence) return {};
  if (form == kRaw) return input_.Bytes(kMaxRaw);

  const uint8_t address = form == kFrame ? input_.Byte() : command.address;
  uint8_t control = input_.Byte();
  if ((tag & kAutoControl) != 0) {
    // The reply of a device in step with the controller: its N(S) is the
    // command's N(R); it has received the command's I-frame, if any.
    const int nr = command.control >> 5;
    const int ns = command.IsInfo() ? ((command.control >> 1) & 7) : -1;
    const int ack = ns >= 0 ? (ns + 1) % 8 : (control >> 5);
    control = static_cast<uint8_t>(ack * 32 + 0x10 + nr * 2);
  }
  Bytes info;
  if ((tag & kLayer7) != 0) {
    bool generation1 = false;
    uint8_t code = 0;
    CommandCode(command, generation1, code);
    const Bytes data = input_.Bytes(kMaxInfo - 4);
    if (generation1) info.push_back(1);
    info.push_back(code);
    info.push_back(static_cast<uint8_t>(data.size() & 0xFF));
    info.push_back(static_cast<uint8_t>(data.size() >> 8));
    info.insert(info.end(), data.begin(), data.end());
  } else {
    info = input_.Bytes(kMaxInfo);
  }
  Bytes out;
  if ((tag & kNoiseBefore) != 0) out = input_.Bytes(kMaxNoise);
  Bytes frame = WireFrame(address, control, info);
  if ((tag & kBadFcs) != 0 && frame.size() >= 3) frame[frame.size() - 2] ^= 0x5A;
  out.insert(out.end(), frame.begin(), frame.end());
  if ((tag & kNoiseAfter) != 0) {
    const Bytes noise = input_.Bytes(kMaxNoise);
    out.insert(out.end(), noise.begin(), noise.end());
  }
  return out;
}

namespace {

template <size_t N>
bool Terminated(const char (&text)[N]) {
  for (size_t i = 0; i < N; ++i) {
    if (text[i] == 0) return true;
  }
  return false;
}

void Fail(const char* what) {
  std::fprintf(stderr, "record check failed: %s\n", what);
  std::abort();
}

}  // namespace

void CheckRecord(const AISGDeviceParams& p) {
  if (p.devRcuCodesSize < 0 || p.devRcuCodesSize > static_cast<int>(sizeof p.devRcuCodes))
    Fail("devRcuCodesSize");
  if (p.devUniqueIDSize < 0 || p.devUniqueIDSize > static_cast<int>(sizeof p.devUniqueID))
    Fail("devUniqueIDSize");
  if (p.tmaNumofNonLinearGains < 0 ||
      p.tmaNumofNonLinearGains > static_cast<int>(sizeof p.tmaNonLinearGains))
    Fail("tmaNumofNonLinearGains");
  struct Text {
    bool terminated;
    const char* name;
  };
  const Text texts[] = {
      {Terminated(p.devVendorID), "devVendorID"},
      {Terminated(p.devModel), "devModel"},
      {Terminated(p.devSerial), "devSerial"},
      {Terminated(p.devBitRates), "devBitRates"},
      {Terminated(p.devHWver), "devHWver"},
      {Terminated(p.devSWver), "devSWver"},
      {Terminated(p.antModel), "antModel"},
      {Terminated(p.antSerial), "antSerial"},
      {Terminated(p.antInstallDate), "antInstallDate"},
      {Terminated(p.antInstallID), "antInstallID"},
      {Terminated(p.antBaseStationID), "antBaseStationID"},
      {Terminated(p.antSectorID), "antSectorID"},
      {Terminated(p.tmaModel), "tmaModel"},
      {Terminated(p.tmaSerial), "tmaSerial"},
  };
  for (const Text& t : texts) {
    if (!t.terminated) Fail(t.name);
  }
}

void QuietStdout() {
  // The link and procedure traces print to standard output; at thousands of
  // runs a second that would be all the fuzzer does.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) {
    std::fprintf(stderr, "cannot silence standard output\n");
  }
}

void AppendRun(Bytes& out, const Bytes& run) {
  out.push_back(static_cast<uint8_t>(run.size() & 0xFF));
  out.push_back(static_cast<uint8_t>(run.size() >> 8));
  out.insert(out.end(), run.begin(), run.end());
}

void AppendWord(Bytes& out, unsigned value) {
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

}  // namespace fuzz
