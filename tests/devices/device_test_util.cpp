#include "tests/devices/device_test_util.h"

#include <algorithm>

#include "sim/link_layer.h"
#include "sim/sim_line.h"

namespace devtest {

std::vector<int> ProbeDevice::refreshOrder;

namespace {

// Walks the user group of an XID frame: format, group 0xF0, length, then
// identifier, length, value.
bool FindXid(const Bytes& info, uint8_t id, Bytes* value) {
  if (info.size() < 3 || info[0] != 0x81 || info[1] != 0xF0) return false;
  const size_t end = std::min(info.size(), static_cast<size_t>(3 + info[2]));
  for (size_t i = 3; i + 2 <= end;) {
    const size_t len = info[i + 1];
    if (i + 2 + len > end) return false;
    if (info[i] == id) {
      if (value != nullptr) value->assign(info.begin() + i + 2, info.begin() + i + 2 + len);
      return true;
    }
    i += 2 + len;
  }
  return false;
}

// The simulated line with a recorder in front of it.
class RecordingPort final : public ald::SerialPort {
 public:
  RecordingPort(ald::sim::SimBus& bus, RecordingPlatform& owner) : line_(bus), owner_(owner) {}

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
    }
    return line_.Write(data, length, written);
  }
  bool Read(char* buffer, int length, int& got) override { return line_.Read(buffer, length, got); }

 private:
  ald::sim::SimLine line_;
  RecordingPlatform& owner_;
};

}  // namespace

bool SentFrame::IsAssignment() const {
  return control == kXid && !FindXid(info, 3, nullptr) && FindXid(info, 2, nullptr);
}

Bytes SentFrame::XidParam(uint8_t id) const {
  Bytes v;
  FindXid(info, id, &v);
  return v;
}

std::unique_ptr<ald::SerialPort> RecordingPlatform::OpenPort(int portNumber) {
  if (portNumber != 1) return nullptr;
  return std::make_unique<RecordingPort>(bus_, *this);
}

// The registry members are protected; a derived class reaches them.
struct RegistryAccess : AISGDevice {
  static void Clear() {
    for (int i = 0; i < theDeviceCount; ++i) {
      delete theDevices[i];
      theDevices[i] = nullptr;
    }
    theDeviceCount = 0;
  }
};

void ClearRegistry() {
  RegistryAccess::Clear();
}

int RegistryCount() {
  return AISGDevice::GetNumberOfDevices();
}

AISGDevice* RegistryEntry(int i) {
  return AISGDevice::GetDevices()[i];
}

std::string Uid(const std::string& vendor, const std::string& serial, int length) {
  return vendor + std::string(static_cast<size_t>(length) - 2 - serial.size(), '\0') + serial;
}

std::string SitePath(const std::string& name) {
  return std::string(ALD_SITES_DIR) + "/" + name;
}

void DeviceTest::TearDown() {
  ClearRegistry();
  ProbeDevice::refreshOrder.clear();
  ald::SetAdapterPlatform(nullptr);
}

void DeviceTest::Use(ald::sim::DeviceList devices) {
  bus = std::make_unique<ald::sim::SimBus>(std::move(devices));
  line = std::make_unique<RecordingPlatform>(*bus);
  ald::SetAdapterPlatform(line.get());
}

void DeviceTest::Load(const std::string& site) {
  ald::sim::DeviceList list;
  std::string error;
  ASSERT_TRUE(ald::sim::ParseSite(site, list, error)) << error;
  Use(std::move(list));
}

void DeviceTest::LoadFile(const std::string& name) {
  ald::sim::DeviceList list;
  std::string error;
  ASSERT_TRUE(ald::sim::LoadSite(SitePath(name), list, error)) << error;
  Use(std::move(list));
}

ald::sim::SimAld* DeviceTest::SimWithId(const std::string& uid) {
  for (int i = 0; i < bus->DeviceCount(); ++i) {
    if (bus->Device(i).uniqueId == uid) return Sim(i);
  }
  return nullptr;
}

ald::sim::SimAld* DeviceTest::Sim(int index) {
  return dynamic_cast<ald::sim::SimAld*>(&bus->Device(index));
}

std::unique_ptr<ProbeDevice> DeviceTest::ProbeFor(int index, int address) {
  ald::sim::SimAld* d = Sim(index);
  if (d->generation == 1) d->address = address;
  return std::make_unique<ProbeDevice>(d->deviceType, d->generation, address, d->uniqueId.data(),
                                       static_cast<int>(d->uniqueId.size()));
}

int DeviceTest::Count(uint8_t control) const {
  return static_cast<int>(std::count_if(line->sent.begin(), line->sent.end(),
                                        [&](const SentFrame& f) { return f.control == control; }));
}

int DeviceTest::CountAssignments() const {
  return static_cast<int>(std::count_if(line->sent.begin(), line->sent.end(),
                                        [](const SentFrame& f) { return f.IsAssignment(); }));
}

std::vector<Bytes> DeviceTest::Requests(uint8_t code) const {
  std::vector<Bytes> out;
  for (const SentFrame& f : line->sent) {
    if (f.IsInformation() && !f.info.empty() && f.info[0] == code) out.push_back(f.info);
  }
  return out;
}

}  // namespace devtest
