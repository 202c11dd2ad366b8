// RET tilt: the read-back checks after a movement, the failures a set can
// end in, the cached read, calibration and configuration upload.
#include <cstdio>
#include <fstream>
#include <string>

#include "tests/devices/ret_fixture.h"

namespace rettest {
namespace {

TEST_F(RetSim, TiltThatArrivesWithinHalfADegreeIsAccepted) {
  Site(kRet2);
  auto ret = Make(1);
  // The actuator stops 0.4 degrees short: close enough.
  Ald(1).tiltOffset = -4;
  Trace trace;
  EXPECT_EQ(ret->SetTilt(1, 50), 0);
  const std::string out = trace.Take();
  EXPECT_EQ(Ald(1).subunits[0].tilt, 46);
  EXPECT_EQ(ret->Unit(1).curtilt, 46);
  EXPECT_NE(out.find("RETDevice::SetTilt(1,50)\n"), std::string::npos);
  EXPECT_EQ(Count(out, "Tilt value not valid"), 0);
  EXPECT_EQ(ret->GetErrorCodes().GetLength(), 0u);

  // Exactly on target, AISG 1.1.
  Site(kRet1);
  auto ret1 = Make(1);
  EXPECT_EQ(ret1->SetTilt(1, -25), 0);
  EXPECT_EQ(Ald(1).subunits[0].tilt, -25);
  EXPECT_EQ(ret1->Unit(1).curtilt, -25);
}

TEST_F(RetSim, TiltShortOfItsTargetIsCheckedFourTimesFiveSecondsApart) {
  Site(kRet2);
  auto ret = Make(1);
  Ald(1).tiltOffset = -6;  // stops at 4.4 degrees when asked for 5.0
  const int64_t t0 = NowMs();
  Trace trace;
  EXPECT_EQ(ret->SetTilt(1, 50), 11);
  const std::string out = trace.Take();
  const int64_t took = NowMs() - t0;
  EXPECT_EQ(Count(out, "Tilt value not valid:44\n"), 4);
  // Three pauses of 5 s between the four readings, not four.
  EXPECT_GE(took, 15000);
  EXPECT_LT(took, 19000);
  EXPECT_EQ(ret->Unit(1).curtilt, 44);
  // A failed set re-reads the alarms on a second link.
  EXPECT_NE(out.find("RETDevice::GetAlarmStatus(1)\n"), std::string::npos);
}

TEST_F(RetSim, RefusedTiltReportsTheDevicesReason) {
  Site(kRet2);
  auto ret = Make(1);
  // Beyond the 10-degree range: the device refuses with "out of range"
  // and the antenna stays at 3.0 degrees, which the checks then see.
  Trace trace;
  EXPECT_EQ(ret->SetTilt(1, 200), ald::rc::aisg2::kOutOfRange);
  EXPECT_EQ(Count(trace.Take(), "Tilt value not valid:30\n"), 4);
  EXPECT_EQ(std::string(ret->GetErrorCodes()), std::string(1, ald::rc::aisg2::kOutOfRange));
  EXPECT_EQ(Ald(1).subunits[0].tilt, 30);

  // A refused set still counts as done when the antenna stands within half
  // a degree of the target: 10.4 degrees is refused, 10.0 is close enough.
  EXPECT_EQ(ret->SetTilt(1, 100), 0);
  EXPECT_EQ(ret->SetTilt(1, 104), 0);
  EXPECT_EQ(Ald(1).subunits[0].tilt, 100);
}

TEST_F(RetSim, TiltOperationsWithoutALinkOrWithABadSubunit) {
  Site(kRet3);
  auto ret = Make(1);
  ASSERT_EQ(ret->GetNumberOfSubunits(), 3);
  const int before = Ald(1).messages;
  int tilt = 7;
  EXPECT_EQ(ret->SetTilt(0, 10), 36);
  EXPECT_EQ(ret->SetTilt(4, 10), 36);
  EXPECT_EQ(ret->GetTilt(4, tilt, 1), 36);
  EXPECT_EQ(ret->Calibrate(-1), 36);
  EXPECT_EQ(ret->Configure(4, nullptr), 36);
  EXPECT_EQ(Ald(1).messages, before);
  EXPECT_EQ(tilt, 7);

  // The antenna form moves only the antenna asked for.
  EXPECT_EQ(ret->SetTilt(2, 75), 0);
  EXPECT_EQ(Ald(1).subunits[0].tilt, 10);
  EXPECT_EQ(Ald(1).subunits[1].tilt, 75);
  EXPECT_EQ(Ald(1).subunits[2].tilt, 30);

  Ald(1).faults.silent = true;
  EXPECT_EQ(ret->SetTilt(1, 20), 89);
  EXPECT_EQ(ret->GetTilt(2, tilt, 1), 89);
  EXPECT_EQ(tilt, 7);  // nothing read, the caller's value stays
  EXPECT_EQ(ret->Unit(2).curtilt, RETDevice::kNoTilt);
}

TEST_F(RetSim, TiltIsServedFromTheCacheOnlyOnceRefreshed) {
  Site(kRet2);
  auto ret = Make(1);
  int tilt = 0;
  // A new device is always asked.
  EXPECT_EQ(ret->GetTilt(1, tilt, 0), 0);
  EXPECT_EQ(tilt, 30);

  ASSERT_EQ(ret->Refresh(), 0);
  ASSERT_EQ(ret->GetState(), AISGDevice::kStateOk);
  Ald(1).subunits[0].tilt = 60;  // moved behind the controller's back
  const int before = Ald(1).messages;
  tilt = 0;
  Trace trace;
  EXPECT_EQ(ret->GetTilt(1, tilt, 0), 0);
  EXPECT_EQ(trace.Take(), "RETDevice::GetTilt(1,0)\n");
  EXPECT_EQ(tilt, 30);
  EXPECT_EQ(Ald(1).messages, before);

  EXPECT_EQ(ret->GetTilt(1, tilt, 1), 0);
  EXPECT_EQ(tilt, 60);

  // A refreshed device whose tilt could not be read has nothing cached.
  Ald(1).Bad({0x34});
  ASSERT_EQ(ret->Refresh(), 0);
  ASSERT_EQ(ret->GetState(), AISGDevice::kStateOk);  // one lost exchange is tolerated
  ASSERT_EQ(ret->Unit(1).curtilt, RETDevice::kNoTilt);
  Ald(1).Bad({});
  tilt = 0;
  EXPECT_EQ(ret->GetTilt(1, tilt, 0), 0);
  EXPECT_EQ(tilt, 60);
  EXPECT_GT(Ald(1).messages, before);
}

TEST_F(RetSim, CalibrationMakesAnUncalibratedRetUsableAndRefreshes) {
  Site(std::string(kRet1) + "calibrated = no\n");
  auto ret = Make(1);
  EXPECT_EQ(ret->SetTilt(1, 20), ald::rc::aisg1::kNotCalibrated);
  const int64_t t0 = NowMs();
  EXPECT_EQ(ret->Calibrate(1), 0);
  EXPECT_GE(NowMs() - t0, 20000);  // the sweep takes its 20 s
  EXPECT_TRUE(Ald(1).subunits[0].calibrated);
  EXPECT_EQ(ret->GetState(), AISGDevice::kStateOk);  // refreshed afterwards
  EXPECT_EQ(ret->SetTilt(1, 20), 0);

  Ald(1).subunits[0].jammed = true;
  EXPECT_EQ(ret->Calibrate(1), ald::rc::aisg1::kActuatorJamPermanent);
}

TEST_F(RetSim, ConfigurationFileReachesTheAntenna) {
  Site(kRet3);
  auto ret = Make(1);
  const std::string path = testing::TempDir() + "ret_config.bin";
  {
    std::ofstream f(path, std::ios::binary);
    f << std::string(150, 'C');
  }
  std::string name = path;
  Trace trace;
  EXPECT_EQ(ret->Configure(2, name.data()), 0);
  EXPECT_NE(trace.Take().find("RETDevice::Configure(2," + path + ")\n"), std::string::npos);
  EXPECT_EQ(Ald(1).subunits[1].configurationBytes, 150);
  EXPECT_EQ(Ald(1).subunits[0].configurationBytes, 0);

  std::remove(path.c_str());
}

// Files the upload cannot take are refused before the bus with what is
// wrong, not reported as a device that did not answer, and nothing of
// them reaches the antenna.
TEST_F(RetSim, UnusableConfigurationFilesAreRefusedBeforeTheBus) {
  Site(kRet3);
  auto ret = Make(1);
  auto put = [](const std::string& name, const std::string& content) {
    const std::string path = testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  };
  struct Case {
    std::string path;
    std::string why;
  };
  const std::vector<Case> cases = {
      {testing::TempDir() + "no_such_config.bin", "cannot be opened: No such file or directory"},
      {put("empty_config.bin", ""), "empty"},
      // 200 good digits, then a line end: the first 142 would have been sent.
      {put("config_nl.hex", std::string(200, 'A') + "\n"),
       "not hexadecimal digit pairs (byte 200 is 0x0a)"},
      {put("config_odd.hex", std::string(151, '7')), "odd number of hexadecimal digits"},
      {put("config_text.hex", "hello"), "not hexadecimal digit pairs (byte 0 is 0x68)"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.path);
    const int before = Ald(1).messages;
    std::string name = k.path;
    Trace trace;
    EXPECT_EQ(ret->Configure(1, name.data()), kDevResultFileError);
    EXPECT_NE(trace.Take().find("Configuration file " + k.path + ": " + k.why + "\n"),
              std::string::npos);
    EXPECT_EQ(Ald(1).messages, before);
    EXPECT_EQ(Ald(1).subunits[0].configurationBytes, 0);
    std::remove(k.path.c_str());
  }
  // Digit pairs alone are sent as bytes.
  std::string hex = put("config_ok.hex", std::string(150, '5'));
  EXPECT_EQ(ret->Configure(1, hex.data()), 0);
  EXPECT_EQ(Ald(1).subunits[0].configurationBytes, 75);
  std::remove(hex.c_str());
}

}  // namespace
}  // namespace rettest
