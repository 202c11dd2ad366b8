#include "tests/aldglue/glue_fixture.h"

#include <cstdio>
#include <cstdlib>

#include "sim/sim_line.h"
#include "sim/site_file.h"

namespace gluetest {
namespace {

// The simulated line, recording writes and taking only part of them when
// told to.
class RecordingLine final : public ald::SerialPort {
 public:
  RecordingLine(ald::sim::SimBus& bus, LinePlatform& owner) : line_(bus), owner_(owner) {}
  ~RecordingLine() override { ++owner_.closes; }
  bool GetLineSettings(ald::LineSettings& s) override { return line_.GetLineSettings(s); }
  bool SetLineSettings(const ald::LineSettings& s) override { return line_.SetLineSettings(s); }
  bool GetTimeouts(ald::SerialTimeouts& t) override { return line_.GetTimeouts(t); }
  bool SetTimeouts(const ald::SerialTimeouts& t) override { return line_.SetTimeouts(t); }
  bool Purge(unsigned flags) override { return line_.Purge(flags); }
  bool Write(const char* data, int length, int& written) override {
    if (owner_.writeLimit >= 0 && length > owner_.writeLimit) length = owner_.writeLimit;
    owner_.writes.emplace_back(data, data + length);
    return line_.Write(data, length, written);
  }
  bool Read(char* buffer, int length, int& got) override { return line_.Read(buffer, length, got); }

 private:
  ald::sim::SimLine line_;
  LinePlatform& owner_;
};

}  // namespace

std::unique_ptr<ald::SerialPort> LinePlatform::OpenPort(int portNumber) {
  if (refuseOpen || portNumber != 1) return nullptr;
  ++opens;
  return std::make_unique<RecordingLine>(bus_, *this);
}

void Registry::Clear() {
  for (int i = 0; i < theDeviceCount; ++i) {
    delete theDevices[i];
    theDevices[i] = nullptr;
  }
  theDeviceCount = 0;
}

void GlueTest::TearDown() {
  Registry::Clear();
  ald::SetAdapterPlatform(nullptr);
  std::fflush(stdout);
}

void GlueTest::Site(const std::string& text) {
  ald::sim::DeviceList devices;
  std::string error;
  if (!text.empty()) {
    ASSERT_TRUE(ald::sim::ParseSite(text, devices, error)) << error;
  }
  bus = std::make_unique<ald::sim::SimBus>(std::move(devices));
  line = std::make_unique<LinePlatform>(*bus);
  ald::SetAdapterPlatform(line.get());
}

int GlueTest::Scan(int depth) {
  int result = -1;
  Quiet([&] { result = scanMain(depth, 1); });
  return result;
}

ald::sim::SimAld& GlueTest::Sim(int index) {
  return static_cast<ald::sim::SimAld&>(bus->Device(index));
}

EntryCopy GlueTest::Entry(int address, int subunit) {
  const MIRELK_DATA* table = nullptr;
  Quiet([&] { table = getMirelkData(); });
  for (int i = 0; table != nullptr && i < getMirelkDataCount(); ++i) {
    if (std::atoi(table[i].field[kMdAddress]) == address &&
        std::atoi(table[i].field[kMdSubunit]) == subunit) {
      return std::make_shared<const MIRELK_DATA>(table[i]);
    }
  }
  return nullptr;
}

const char kRet1[] = R"(
[device]
generation = 1
type = 1
vendor = KA
serial = 0000RE0912004471
product = RCU-S1
hw-version = A2
sw-version = 1.1.07

[subunit 1]
antenna-model = K-742215
antenna-serial = 0912004471
band = 0x0022
beamwidth = 65 65 63
antenna-gain = 17.0 17.6 18.0
tilt-range = 0.0 8.0
tilt = 3.0
install-date = 091120
installer-id = HB007
base-station-id = BTS0815
sector-id = S2
bearing = 150.0
mechanical-tilt = -1.0
)";

const char kRet2[] = R"(
[device]
generation = 2
type = 17
vendor = KA
serial = MR4401203977
product = RCU-M3-2.0
hw-version = HW 3.1
sw-version = 2.04.11
subunits = 3

[subunit 1]
antenna-model = AX-3M65-18V
antenna-serial = AX2411030017A
band = 0x0081
band-ext08 = 0x1234
band-ext09 = 0xA0B0
tilt-range = 2.0 12.0
tilt = 6.0
sector-id = SEC-A1
bearing = 30.0

[subunit 2]
antenna-model = AX-3M65-18V
band = 0x0028
tilt-range = 0.0 10.0
tilt = 4.0
sector-id = SEC-A2

[subunit 3]
tilt = 2.0
alarms = 0x0E
)";

const char kTma1[] = R"(
[device]
generation = 1
type = 2
vendor = PW
serial = TM1107000815
product = TMA-850
hw-version = 1.0
sw-version = 1.0.2

[subunit 1]
antenna-model = TMA-850-S
tma-type = 1
rx-band = 824.0 849.0
tx-band = 869.0 894.0
gain-range = 4.0 12.0 0.5
gain = 8.0
sector-id = S1
bearing = 120.0
)";

const char kTma2[] = R"(
[device]
generation = 2
type = 2
vendor = CC
serial = TD24090011
product = TMA-DD-1821
hw-version = R2
sw-version = 3.2.0
subunits = 2

[subunit 1]
antenna-model = TMA-DD-1821
tma-type = 3
rx-band = 1710.0 1785.0
tx-band = 1805.0 1880.0
gain-range = 4.0 12.0 0.5
gain = 12.0
band = 0x0008
sector-id = SEC-A2

[subunit 2]
rx-band = 1920.0 1980.0
tx-band = 2110.0 2170.0
gain-range = 4.0 12.0 0.5
gain = 10.0
mode = bypass
alarms = 0x30
)";

}  // namespace gluetest
