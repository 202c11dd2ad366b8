// The procedures end to end against simulated devices of both generations
// on the virtual clock: the timed line, the devices' link layer and their
// layer-7 behaviour, including delayed answers and malformed ones.
#include <cstring>
#include <memory>
#include <string>

#include "sim/bus.h"
#include "sim/sim_platform.h"
#include "sim/site_file.h"
#include "tests/procedures/scripted_line.h"

namespace proctest {
namespace {

// Devices of `site` on a simulated line, given the addresses 1, 2, ... in
// the order of the file, with the engine's port open.
class SimTest : public ::testing::Test {
 protected:
  void Load(const std::string& site) {
    ald::sim::DeviceList devices;
    std::string error;
    ASSERT_TRUE(ald::sim::ParseSite(site, devices, error)) << error;
    for (size_t i = 0; i < devices.size(); ++i) devices[i]->address = static_cast<int>(i + 1);
    bus = std::make_unique<ald::sim::SimBus>(std::move(devices));
    platform = std::make_unique<ald::sim::SimPlatform>(*bus);
    ald::SetAdapterPlatform(platform.get());
    ep = std::make_unique<TestEP>();
    ep->OpenConnection();
  }
  void TearDown() override {
    if (ep) ep->StopConnection();
    ep.reset();
    ald::SetAdapterPlatform(nullptr);
  }
  int64_t NowMs() { return ald::GetClock().NowMs(); }

  ald::ScopedVirtualClock clock;
  std::unique_ptr<ald::sim::SimBus> bus;
  std::unique_ptr<ald::sim::SimPlatform> platform;
  std::unique_ptr<TestEP> ep;
  AISGDeviceParams p{};
};

const char kRet2[] = R"(
[device]
generation = 2
type = 17
vendor = KA
serial = MR4401203977
product = RCU-M3
hw-version = HW 3.1
sw-version = 2.04.11
3gpp-release = 9
subunits = 2
tilt-speed = 1.0
calibration-time = 140
[subunit 2]
antenna-model = AX-3M65
band = 0x0081
tilt-range = -2.0 12.0
tilt = 0.0
base-station-id = ENB-4711-NORTH-SECTOR-ONE-LONG
mechanical-tilt = -1.5
)";

TEST_F(SimTest, Aisg2RetIdentityAndDeviceData) {
  Load(kRet2);
  ASSERT_EQ(ep->SetSNRM(1), 0);
  EXPECT_EQ(ep->GetAisgVersion(1, &p), 0);
  EXPECT_EQ(p.devAisgVersion, 2);
  EXPECT_EQ(ep->Get3gppVersion(1, &p), 0);
  EXPECT_EQ(p.dev3gppVersion, 9);
  ASSERT_EQ(ep->GetInfo(1, 2, &p), 0);
  EXPECT_STREQ(p.devModel, "RCU-M3");
  EXPECT_STREQ(p.devSerial, "MR4401203977");
  EXPECT_STREQ(p.devHWver, "HW 3.1");
  EXPECT_STREQ(p.devSWver, "2.04.11");

  const struct { char id; } reads[] = {{0x01}, {0x03}, {0x06}, {0x07}, {0x23}, {0x26}};
  for (auto r : reads) {
    char id = r.id;
    EXPECT_EQ(ep->GetDeviceData(1, 2, 2, 17, &id, 1, &p), 0) << int(id);
  }
  EXPECT_STREQ(p.antModel, "AX-3M65");
  EXPECT_EQ(p.antFreqBand, 0x0081);
  EXPECT_EQ(p.antMinTilt, -20);
  EXPECT_EQ(p.antMaxTilt, 120);
  EXPECT_STREQ(p.antBaseStationID, "ENB-4711-NORTH-SECTOR-ONE-LONG");
  EXPECT_EQ(p.antMechanicalTilt, -15);

  // Written right-aligned as the device objects do, read back cleaned.
  char sector[33] = {0x24};
  std::memcpy(sector + 1 + 32 - 4, "SEC9", 4);
  EXPECT_EQ(ep->DeviceProcedure(1, 2, 2, static_cast<char>(0x83), sector, 33, &p), 0);
  char id = 0x24;
  EXPECT_EQ(ep->GetDeviceData(1, 2, 2, 17, &id, 1, &p), 0);
  EXPECT_STREQ(p.antSectorID, "SEC9");

  // A subunit the device does not have.
  EXPECT_EQ(ep->GetDeviceData(1, 2, 5, 17, &id, 1, &p), 11);
  EXPECT_EQ(ep->SetDISC(1), 0);
}

TEST_F(SimTest, DelayedAnswersArePolledOnTheVirtualClock) {
  Load(kRet2);
  ASSERT_EQ(ep->SetSNRM(1), 0);
  // 5.0 degrees at 1 degree per second: about ten polls 500 ms apart.
  char tilt[2] = {50, 0};
  int64_t start = NowMs();
  EXPECT_EQ(ep->DeviceProcedure(1, 2, 2, static_cast<char>(0x81), tilt, 2, &p), 0);
  EXPECT_GE(NowMs() - start, 5000);
  EXPECT_LT(NowMs() - start, 7000);

  // A calibration of 140 s fits the 300 polls.
  start = NowMs();
  EXPECT_EQ(ep->DeviceProcedure(1, 2, 2, static_cast<char>(0x80), nullptr, 0, &p), 0);
  EXPECT_GE(NowMs() - start, 140000);
}

TEST_F(SimTest, CalibrationLongerThanThePollsIsGivenUp) {
  std::string site = kRet2;
  site.replace(site.find("calibration-time = 140"), 22, "calibration-time = 200");
  Load(site);
  ASSERT_EQ(ep->SetSNRM(1), 0);
  int64_t start = NowMs();
  EXPECT_EQ(ep->DeviceProcedure(1, 2, 1, static_cast<char>(0x80), nullptr, 0, &p), 82);
  EXPECT_GE(NowMs() - start, 300 * 500);
  EXPECT_LT(NowMs() - start, 200000);
}

const char kRet1[] = R"(
[device]
generation = 1
type = 1
vendor = KA
serial = 0000RE0912004471
product = RCU-1
bit-rates = 9600
[subunit 1]
antenna-model = ANT-1
band = 0x0003
bearing = 123.4
mechanical-tilt = -1.0
base-station-id = BS12
sector-id = S1
)";

TEST_F(SimTest, Aisg1RetListsAndTypes) {
  Load(kRet1);
  ASSERT_EQ(ep->SetSNRM(1), 0);
  ASSERT_EQ(ep->GetDeviceType(1, &p), 0);
  EXPECT_STREQ(p.devVendorID, "KA");
  EXPECT_EQ(p.devType, 1);
  EXPECT_EQ(ep->EnableDevice(1, &p), 0);
  EXPECT_EQ(ep->GetBitRates(1, &p), 0);
  EXPECT_STREQ(p.devBitRates, "9600");
  EXPECT_EQ(ep->GetInfo(1, 1, &p), 0);
  EXPECT_STREQ(p.devSerial, "0000RE0912004471");

  char ids[] = {0x01, 0x03, 0x25, 0x26, 0x23, 0x24};
  ASSERT_EQ(ep->GetDeviceData(1, 1, ids, sizeof ids, &p), 0);
  EXPECT_STREQ(p.antModel, "ANT-1");
  EXPECT_EQ(p.antFreqBand, 0x0003);
  EXPECT_EQ(p.antBearing, 1234);
  EXPECT_EQ(p.antMechanicalTilt, -10);
  EXPECT_STREQ(p.antBaseStationID, "BS12");
  EXPECT_STREQ(p.antSectorID, "S1");

  char bearing[3] = {0x25, 0x10, 0x0E};
  EXPECT_EQ(ep->SetDeviceData(1, 1, bearing, 3, &p), 0);
  char id = 0x25;
  EXPECT_EQ(ep->GetDeviceData(1, 1, &id, 1, &p), 0);
  EXPECT_EQ(p.antBearing, 0x0E10);

  EXPECT_EQ(ep->ResetSoftware(1, 1, &p), 0);
}

TEST_F(SimTest, LinkFaults) {
  Load(kRet1);
  bus->Device(0).faults.frmrFrames = 1;
  EXPECT_EQ(ep->SetSNRM(1), 0);
  bus->Device(0).faults.silent = true;
  EXPECT_EQ(ep->SetSNRM(1), 89);
  EXPECT_EQ(ep->GetAlarmStatus(1, 1, &p), 89);
  bus->Device(0).faults.silent = false;
  bus->Device(0).faults.rnrFrames = 3;
  EXPECT_EQ(ep->SetSNRM(1), 0);
  EXPECT_EQ(ep->SelfTest(1, 1, &p), 0);
}

// Every malformed answer the devices can be made to give ends in a result
// number, and no field runs past its width. (One device per test: the link's
// sequence numbers belong to one device at a time.)
TEST_F(SimTest, MalformedAisg1Answers) {
  Load(kRet1);
  ald::sim::SimDevice& d = bus->Device(0);
  ASSERT_EQ(ep->SetSNRM(1), 0);

  d.faults.longTexts = true;
  std::memset(p.devHWver, 'x', sizeof p.devHWver);
  EXPECT_EQ(ep->GetInfo(1, 1, &p), 0);
  EXPECT_EQ(std::strlen(p.devModel), 19u);
  EXPECT_EQ(std::strlen(p.devSerial), 19u);
  EXPECT_EQ(p.devBitRates[0], 0);  // the neighbour of devSerial is untouched
  EXPECT_STREQ(p.devHWver, "");
  EXPECT_EQ(ep->GetBitRates(1, &p), 0);
  EXPECT_EQ(std::strlen(p.devBitRates), 7u);
  char id = 0x01;
  EXPECT_EQ(ep->GetDeviceData(1, 1, &id, 1, &p), 82);
  d.faults.longTexts = false;

  d.faults.missingBytes = 1;
  EXPECT_EQ(ep->GetDeviceType(1, &p), 82);
  char ids[] = {0x01, 0x25};
  EXPECT_EQ(ep->GetDeviceData(1, 1, ids, 2, &p), 82);
  d.faults.missingBytes = 0;

  d.faults.unknownFieldIds = true;
  EXPECT_EQ(ep->GetDeviceData(1, 1, ids, 2, &p), 82);
  d.faults.unknownFieldIds = false;
  EXPECT_EQ(ep->GetDeviceData(1, 1, ids, 2, &p), 0);
}

TEST_F(SimTest, MalformedAisg2Answers) {
  Load(kRet2);
  ald::sim::SimDevice& d = bus->Device(0);
  ASSERT_EQ(ep->SetSNRM(1), 0);

  // Two 32-character texts make the answer longer than the 80 bytes kept
  // of it: the texts cannot all be read, and none is taken.
  d.faults.longTexts = true;
  std::strcpy(p.devModel, "OLD");
  EXPECT_EQ(ep->GetInfo(1, 2, &p), 82);
  EXPECT_STREQ(p.devModel, "OLD");
  char id = 0x01;
  EXPECT_EQ(ep->GetDeviceData(1, 2, 2, 17, &id, 1, &p), 82);
  EXPECT_EQ(p.antModel[0], 0);
  d.faults.longTexts = false;

  d.faults.padAnswersTo = 200;
  EXPECT_EQ(ep->GetAlarmStatus(1, 2, &p), 0);
  EXPECT_EQ(p.devRcuCodesSize, 80);
  d.faults.padAnswersTo = 0;

  for (int delta : {5, 300, -1}) {
    d.faults.lengthFieldDelta = delta;
    EXPECT_EQ(ep->GetAlarmStatus(1, 2, &p), 82) << delta;
  }
  d.faults.lengthFieldDelta = 0;

  d.faults.failReasons = {0x05};
  d.faults.bareFail = true;
  EXPECT_EQ(ep->GetAlarmStatus(1, 2, &p), 11);
  EXPECT_EQ(p.devRcuCodesSize, 1);
  d.faults.failReasons.clear();
  d.faults.bareFail = false;

  d.faults.returnCode = 0x02;
  EXPECT_EQ(ep->GetAlarmStatus(1, 2, &p), 82);
  d.faults.returnCode = -1;

  d.faults.wrongProcedureCode = true;
  EXPECT_EQ(ep->GetAlarmStatus(1, 2, &p), 82);
  d.faults.wrongProcedureCode = false;
  EXPECT_EQ(ep->GetAlarmStatus(1, 2, &p), 0);
}

}  // namespace
}  // namespace proctest
