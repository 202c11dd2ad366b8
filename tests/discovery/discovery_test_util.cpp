#include "tests/discovery/discovery_test_util.h"

#include <algorithm>
#include <cstring>

#include "sim/link_layer.h"
#include "sim/sim_line.h"

namespace disctest {

bool SentFrame::Find(uint8_t id, Bytes* value) const {
  if (info.size() < 3 || info[0] != 0x81 || info[1] != 0xF0) return false;
  const size_t end = std::min(info.size(), static_cast<size_t>(3 + info[2]));
  for (size_t i = 3; i + 2 <= end;) {
    const size_t len = info[i + 1];
    if (i + 2 + len > end) return false;
    if (info[i] == id) {
      if (value != nullptr) value->assign(&info[i + 2], &info[i + 2] + len);
      return true;
    }
    i += 2 + len;
  }
  return false;
}

Bytes SentFrame::Param(uint8_t id) const {
  Bytes v;
  Find(id, &v);
  return v;
}

bool SentFrame::IsReset() const {
  return IsXid() && info.size() == 5 && info[1] == 0xF0 && info[3] == 7 && info[4] == 0;
}

bool SentFrame::GoodAnswer() const {
  uint8_t raw[ald::sim::kMaxWire];
  ald::sim::Frame f;
  return !answer.empty() && answer.size() <= static_cast<size_t>(ald::sim::kMaxWire) &&
         ald::sim::DecodeFrame(answer.data(), static_cast<int>(answer.size()), raw, sizeof raw, f);
}

namespace {

// The simulated line with a recorder in front of it.
class RecordingPort final : public ald::SerialPort {
 public:
  RecordingPort(ald::sim::SimBus& bus, WirePlatform& owner) : line_(bus), owner_(owner) {}

  bool GetLineSettings(ald::LineSettings& s) override { return line_.GetLineSettings(s); }
  bool SetLineSettings(const ald::LineSettings& s) override { return line_.SetLineSettings(s); }
  bool GetTimeouts(ald::SerialTimeouts& t) override { return line_.GetTimeouts(t); }
  bool SetTimeouts(const ald::SerialTimeouts& t) override { return line_.SetTimeouts(t); }
  bool Purge(unsigned flags) override { return line_.Purge(flags); }
  bool Write(const char* data, int length, int& written) override {
    uint8_t raw[ald::sim::kMaxWire];
    ald::sim::Frame f;
    if (length > 0 && length <= ald::sim::kMaxWire &&
        ald::sim::DecodeFrame(reinterpret_cast<const uint8_t*>(data), length, raw, sizeof raw, f)) {
      SentFrame s;
      s.address = f.address;
      s.control = f.control;
      s.info.assign(f.info, f.info + f.infoLength);
      s.atUs = ald::GetClock().NowUs();
      owner_.sent.push_back(std::move(s));
    } else {
      ++owner_.undecodable;
    }
    return line_.Write(data, length, written);
  }
  bool Read(char* buffer, int length, int& got) override {
    const bool ok = line_.Read(buffer, length, got);
    if (ok && got > 0 && !owner_.sent.empty())
      owner_.sent.back().answer.insert(owner_.sent.back().answer.end(), buffer, buffer + got);
    return ok;
  }

 private:
  ald::sim::SimLine line_;
  WirePlatform& owner_;
};

}  // namespace

std::unique_ptr<ald::SerialPort> WirePlatform::OpenPort(int portNumber) {
  if (portNumber != 1) return nullptr;
  return std::make_unique<RecordingPort>(bus_, *this);
}

std::string SitePath(const std::string& name) {
  return std::string(ALD_SITES_DIR) + "/" + name;
}

ald::sim::DeviceList ParseOrFail(const std::string& site) {
  ald::sim::DeviceList list;
  std::string error;
  EXPECT_TRUE(ald::sim::ParseSite(site, list, error)) << error;
  return list;
}

std::string Uid(const std::string& vendor, const std::string& serial, int length) {
  return vendor + std::string(static_cast<size_t>(length) - 2 - serial.size(), '\0') + serial;
}

std::string IdOf(const AISGDeviceParams& p) {
  const int n = std::clamp(p.devUniqueIDSize, 0, 20);
  return std::string(reinterpret_cast<const char*>(p.devUniqueID), static_cast<size_t>(n));
}

void DiscoveryTest::Use(ald::sim::DeviceList list) {
  bus = std::make_unique<ald::sim::SimBus>(std::move(list));
  line = std::make_unique<WirePlatform>(*bus);
  ald::SetAdapterPlatform(line.get());
  ep = std::make_unique<DiscoveryEP>();
  ep->OpenConnection();
}

void DiscoveryTest::LoadFile(const std::string& name) {
  ald::sim::DeviceList list;
  std::string error;
  ASSERT_TRUE(ald::sim::LoadSite(SitePath(name), list, error)) << error;
  Use(std::move(list));
}

void DiscoveryTest::TearDown() {
  if (ep) ep->StopConnection();
  ep.reset();
  ald::SetAdapterPlatform(nullptr);
}

int DiscoveryTest::CountScans() const {
  return static_cast<int>(std::count_if(line->sent.begin(), line->sent.end(),
                                        [](const SentFrame& f) { return f.IsScan(); }));
}

int DiscoveryTest::CountAssignments() const {
  return static_cast<int>(std::count_if(line->sent.begin(), line->sent.end(),
                                        [](const SentFrame& f) { return f.IsAssignment(); }));
}

int DiscoveryTest::CountResets() const {
  return static_cast<int>(std::count_if(line->sent.begin(), line->sent.end(),
                                        [](const SentFrame& f) { return f.IsReset(); }));
}

int DiscoveryTest::CountControl(uint8_t control) const {
  return static_cast<int>(std::count_if(line->sent.begin(), line->sent.end(),
                                        [&](const SentFrame& f) { return f.control == control; }));
}

ald::sim::SimDevice* DiscoveryTest::DeviceWithId(const std::string& uid) {
  for (int i = 0; i < bus->DeviceCount(); ++i) {
    if (bus->Device(i).uniqueId == uid) return &bus->Device(i);
  }
  return nullptr;
}

bool Reachable(const std::string& uid) {
  if (uid.size() == 19) return true;
  if (uid.size() != 14) return false;
  const std::string v = uid.substr(0, 2);
  return v == "AL" || v == "LA" || v == "LG" || v == "PW" || v == "RE" || v == "RW";
}

void DiscoveryTest::ExpectAllFoundAndAddressed(const std::vector<AISGDeviceParams>& found) {
  std::vector<std::string> expected;
  for (int i = 0; i < bus->DeviceCount(); ++i) {
    const std::string& id = bus->Device(i).uniqueId;
    if (Reachable(id)) {
      expected.push_back(id);
    } else {
      EXPECT_EQ(bus->Device(i).address, 0) << "unreachable device addressed";
    }
  }
  // Byte order of the IDs; std::string compares char, which may be signed.
  auto unsignedLess = [](const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
      return static_cast<uint8_t>(x) < static_cast<uint8_t>(y);
    });
  };
  std::sort(expected.begin(), expected.end(), unsignedLess);
  std::vector<std::string> got;
  for (const AISGDeviceParams& p : found) got.push_back(IdOf(p));
  ASSERT_EQ(got, expected);
  for (size_t i = 0; i < found.size(); ++i) {
    const AISGDeviceParams& p = found[i];
    SCOPED_TRACE("device " + IdOf(p));
    ald::sim::SimDevice* d = DeviceWithId(IdOf(p));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(p.devAddress, static_cast<int>(i + 1));
    EXPECT_EQ(d->address, static_cast<int>(i + 1));
    EXPECT_EQ(p.devAisgVersion, d->generation);
    EXPECT_EQ(p.devType, d->deviceType);
    EXPECT_EQ(std::string(p.devVendorID), d->VendorCode());
    EXPECT_EQ(p.devUniqueIDSize, static_cast<int>(d->uniqueId.size()));
  }
}

}  // namespace disctest
