// RET procedures against simulated RETs: tilt movements that take time,
// calibration within the polling limits, device FAILs, configuration files
// arriving at the device, and the per-antenna forms of a three-antenna RET.
#include <cstring>
#include <fstream>
#include <string>

#include "aldlink/procedures/retep.h"
#include "tests/retma/retma_sim.h"

namespace retma {
namespace {

using Ret = Session<RETEP>;

// A single RET moving one degree per second over -10 to +10 degrees.
const char* kSingleRet2 = R"(
[device]
generation = 2
type = 1
vendor = KA
serial = RET2
tilt-speed = 1.0
calibration-time = 140
[subunit 1]
tilt-range = -10.0 10.0
tilt = 0.0
)";

TEST_F(SimTest, TiltMovesWhileTheDeviceAnswersRR) {
  Site(kSingleRet2);
  Ret ep;
  Connect(ep, 1);
  const int64_t t0 = NowMs();
  EXPECT_EQ(ep.SetTilt(1, 2, 75, &p), 0);
  // 7.5 degrees at one degree per second, polled every 500 ms.
  const int64_t took = NowMs() - t0;
  EXPECT_GE(took, 7500);
  EXPECT_LT(took, 9000);
  EXPECT_EQ(Device(1).subunits[0].tilt, 75);
  EXPECT_EQ(ep.GetTilt(1, 2, &p), 0);
  EXPECT_EQ(p.retCurrentTilt, 75);

  EXPECT_EQ(ep.SetTilt(1, 2, -100, &p), 0);
  EXPECT_EQ(ep.GetTilt(1, 2, &p), 0);
  EXPECT_EQ(p.retCurrentTilt, -100);
}

TEST_F(SimTest, TiltOutsideTheRangeIsRefusedWithItsReason) {
  Site(kSingleRet2);
  Ret ep;
  Connect(ep, 1);
  EXPECT_EQ(ep.SetTilt(1, 2, 101, &p), 11);
  EXPECT_EQ(p.devRcuCodesSize, 2);
  EXPECT_EQ(p.devRcuCodes[0], 0x0B);
  EXPECT_EQ(p.devRcuCodes[1], ald::rc::aisg2::kOutOfRange);
  EXPECT_EQ(Device(1).subunits[0].tilt, 0);
  // Out of 16 bits: refused here, the device never hears of it.
  EXPECT_EQ(ep.SetTilt(1, 2, 65536, &p), 84);
  EXPECT_EQ(Device(1).subunits[0].tilt, 0);
}

TEST_F(SimTest, MovementLongerThanThePollingLimitIsGivenUp) {
  // 20 degrees at 0.1 degree per second: 200 s, beyond 240 polls of 500 ms.
  Site(R"(
[device]
generation = 2
type = 1
vendor = KA
serial = SLOW
tilt-speed = 0.1
[subunit 1]
tilt-range = -10.0 10.0
tilt = -10.0
)");
  Ret ep;
  Connect(ep, 1);
  const int64_t t0 = NowMs();
  EXPECT_NE(ep.SetTilt(1, 2, 100, &p), 0);
  const int64_t took = NowMs() - t0;
  EXPECT_GE(took, 115000);
  EXPECT_LT(took, 140000);
  // Still moving: the device says it is busy.
  EXPECT_EQ(ep.GetTilt(1, 2, &p), 11);
  EXPECT_EQ(p.devRcuCodes[1], ald::rc::aisg2::kBusy);
}

TEST_F(SimTest, Aisg1TiltAndCalibration) {
  Site(R"(
[device]
generation = 1
type = 1
vendor = KA
serial = RET1
calibration-time = 30
[subunit 1]
tilt-range = -5.0 10.0
calibrated = no
)");
  Ret ep;
  Connect(ep, 1);
  // Not calibrated: neither set nor read.
  EXPECT_EQ(ep.SetTilt(1, 1, -25, &p), 11);
  EXPECT_EQ(p.devRcuCodes[1], ald::rc::aisg1::kNotCalibrated);
  EXPECT_EQ(ep.GetTilt(1, 1, &p), 11);

  const int64_t t0 = NowMs();
  EXPECT_EQ(ep.Calibrate(1, 1, &p), 0);
  EXPECT_GE(NowMs() - t0, 30000);
  EXPECT_TRUE(Device(1).subunits[0].calibrated);

  EXPECT_EQ(ep.SetTilt(1, 1, -25, &p), 0);
  p.retCurrentTilt = 0;
  EXPECT_EQ(ep.GetTilt(1, 1, &p), 0);
  EXPECT_EQ(p.retCurrentTilt, -25);
}

TEST_F(SimTest, CalibrationIsAwaitedUpTo300Polls) {
  // 140 s is within 300 polls of 500 ms.
  Site(kSingleRet2);
  Ret ep;
  Connect(ep, 1);
  const int64_t t0 = NowMs();
  EXPECT_EQ(ep.Calibrate(1, 2, &p), 0);
  EXPECT_GE(NowMs() - t0, 140000);
  EXPECT_LT(NowMs() - t0, 150000);
}

TEST_F(SimTest, CalibrationBeyondThePollingLimitAndJammedActuator) {
  Site(R"(
[device]
generation = 2
type = 1
vendor = KA
serial = LONGCAL
calibration-time = 170
[device]
generation = 2
type = 1
vendor = KA
serial = JAM
[subunit 1]
jammed = yes
)");
  {
    Ret ep;
    Connect(ep, 1);
    const int64_t t0 = NowMs();
    EXPECT_NE(ep.Calibrate(1, 2, &p), 0);
    EXPECT_GE(NowMs() - t0, 145000);
    EXPECT_LT(NowMs() - t0, 165000);
  }
  Ret ep;
  Connect(ep, 2);
  EXPECT_EQ(ep.Calibrate(2, 2, &p), 11);
  EXPECT_EQ(p.devRcuCodes[1], ald::rc::aisg2::kMotorJam);
  EXPECT_EQ(ep.SetTilt(2, 2, 10, &p), 11);
  EXPECT_EQ(p.devRcuCodes[1], ald::rc::aisg2::kMotorJam);
}

// --- Configuration data -------------------------------------------------------

class SimConfigTest : public SimTest {
 protected:
  std::string File(const std::string& name, const std::string& content) {
    std::string path = ::testing::TempDir() + "retma_sim_" + name;
    std::ofstream(path, std::ios::binary) << content;
    files_.push_back(path);
    return path;
  }
  ~SimConfigTest() override {
    for (const std::string& f : files_) std::remove(f.c_str());
  }

 private:
  std::vector<std::string> files_;
};

TEST_F(SimConfigTest, RawAndHexFilesReachTheDevice) {
  Site(R"(
[device]
generation = 1
type = 1
vendor = KA
serial = CFG1
[device]
generation = 2
type = 17
vendor = KA
serial = CFG3
subunits = 3
)");
  std::string raw = File("cfg.bin", std::string(150, '\x7E'));
  std::string hex = File("cfg.hex", std::string(400, 'A'));
  {
    Ret ep;
    Connect(ep, 1);
    EXPECT_EQ(ep.SendConfigurationData(1, 1, raw.data(), &p), 0);
    EXPECT_EQ(Device(1).subunits[0].configurationBytes, 150);
    EXPECT_EQ(ep.SendConfigurationData(1, 1, hex.data(), &p), 0);
    EXPECT_EQ(Device(1).subunits[0].configurationBytes, 350);
  }
  Ret ep;
  Connect(ep, 2);
  EXPECT_EQ(ep.AntennaSendConfigurationData(2, 2, raw.data(), &p), 0);
  EXPECT_EQ(ep.AntennaSendConfigurationData(2, 3, hex.data(), &p), 0);
  EXPECT_EQ(Device(2).subunits[0].configurationBytes, 0);
  EXPECT_EQ(Device(2).subunits[1].configurationBytes, 150);
  EXPECT_EQ(Device(2).subunits[2].configurationBytes, 200);
  // The unit as a whole.
  EXPECT_EQ(ep.SendConfigurationData(2, 2, raw.data(), &p), 0);
  EXPECT_EQ(Device(2).subunits[0].configurationBytes, 150);

  // A refused file costs the device nothing; an antenna it does not have
  // stops the upload at the first piece.
  std::string bad = File("bad.hex", "0A0");
  EXPECT_EQ(ep.AntennaSendConfigurationData(2, 1, bad.data(), &p), 84);
  EXPECT_EQ(ep.AntennaSendConfigurationData(2, 4, raw.data(), &p), 11);
  EXPECT_EQ(p.devRcuCodes[1], ald::rc::aisg2::kFormatError);
  EXPECT_EQ(Device(2).subunits[0].configurationBytes, 150);
}

// --- Three-antenna RET ----------------------------------------------------------

const char* kTripleRet = R"(
[device]
generation = 2
type = 17
vendor = KA
serial = TRI
subunits = 3
tilt-speed = 2.0
calibration-time = 60
[subunit 1]
tilt = 2.0
[subunit 2]
tilt = 4.0
alarms = 0x02 0x0E
[subunit 3]
tilt-range = -5.0 5.0
sector-id = SECTOR-3
)";

TEST_F(SimTest, ThreeAntennasAreCountedAndTiltedOneByOne) {
  Site(kTripleRet);
  Ret ep;
  Connect(ep, 1);
  EXPECT_EQ(ep.AntennaGetNumOfAntennas(1, &p), 0);
  EXPECT_EQ(p.devTotalSubUnits, 3);

  const int expected[3] = {20, 40, 0};
  for (int a = 1; a <= 3; ++a) {
    EXPECT_EQ(ep.AntennaGetTilt(1, a, &p), 0) << a;
    EXPECT_EQ(p.retCurrentTilt, expected[a - 1]) << a;
  }
  const int64_t t0 = NowMs();
  EXPECT_EQ(ep.AntennaSetTilt(1, 3, -45, &p), 0);
  EXPECT_GE(NowMs() - t0, 2250);  // 4.5 degrees at 2 degrees per second
  EXPECT_EQ(ep.AntennaGetTilt(1, 3, &p), 0);
  EXPECT_EQ(p.retCurrentTilt, -45);
  EXPECT_EQ(ep.AntennaGetTilt(1, 1, &p), 0);
  EXPECT_EQ(p.retCurrentTilt, 20);

  // Each antenna has its own range; a fourth antenna does not exist.
  EXPECT_EQ(ep.AntennaSetTilt(1, 3, 60, &p), 11);
  EXPECT_EQ(p.devRcuCodes[1], ald::rc::aisg2::kOutOfRange);
  EXPECT_EQ(ep.AntennaSetTilt(1, 1, 60, &p), 0);
  EXPECT_EQ(ep.AntennaGetTilt(1, 4, &p), 11);
  EXPECT_EQ(p.devRcuCodes[1], ald::rc::aisg2::kFormatError);

  EXPECT_EQ(ep.AntennaCalibrate(1, 2, &p), 0);
  EXPECT_EQ(ep.AntennaCalibrate(1, 4, &p), 11);
}

TEST_F(SimTest, ThreeAntennasKeepTheirOwnDataAndAlarms) {
  Site(kTripleRet);
  Ret ep;
  Connect(ep, 1);
  char sector[1] = {0x24};
  EXPECT_EQ(ep.AntennaGetDeviceData(1, 3, sector, 1, &p), 0);
  EXPECT_STREQ(p.antSectorID, "SECTOR-3");
  EXPECT_EQ(ep.AntennaGetDeviceData(1, 1, sector, 1, &p), 0);
  EXPECT_STREQ(p.antSectorID, "");

  // Bearing 123.4 degrees on antenna 2 only.
  char bearing[3] = {0x25, static_cast<char>(1234 & 0xFF), static_cast<char>(1234 >> 8)};
  EXPECT_EQ(ep.AntennaSetDeviceData(1, 2, bearing, 3, &p), 0);
  char bearingId[1] = {0x25};
  EXPECT_EQ(ep.AntennaGetDeviceData(1, 2, bearingId, 1, &p), 0);
  EXPECT_EQ(p.antBearing, 1234);
  EXPECT_EQ(ep.AntennaGetDeviceData(1, 3, bearingId, 1, &p), 0);
  EXPECT_EQ(p.antBearing, 0);
  // The tilt range is the device's own and cannot be written.
  char maxTilt[3] = {0x06, 0x10, 0x00};
  EXPECT_EQ(ep.AntennaSetDeviceData(1, 1, maxTilt, 3, &p), 11);
  EXPECT_EQ(p.devRcuCodes[1], ald::rc::aisg2::kReadOnly);
  char rangeIds[1] = {0x07};
  EXPECT_EQ(ep.AntennaGetDeviceData(1, 3, rangeIds, 1, &p), 0);
  EXPECT_EQ(p.antMinTilt, -50);

  EXPECT_EQ(ep.AntennaGetAlarmStatus(1, 2, &p), 0);
  EXPECT_EQ(p.devRcuCodesSize, 3);
  EXPECT_EQ(p.devRcuCodes[1], 0x02);
  EXPECT_EQ(p.devRcuCodes[2], 0x0E);
  EXPECT_EQ(ep.AntennaGetAlarmStatus(1, 1, &p), 0);
  EXPECT_EQ(p.devRcuCodesSize, 1);
  EXPECT_EQ(ep.AntennaClearAlarms(1, 2, &p), 0);
  EXPECT_EQ(ep.AntennaGetAlarmStatus(1, 2, &p), 0);
  EXPECT_EQ(p.devRcuCodesSize, 1);
}

}  // namespace
}  // namespace retma
