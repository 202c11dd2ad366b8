// Device operations by address: every device of the right class at the
// address runs, the last result counts, and anything else is -1800.
#include <cstring>
#include <string>
#include <vector>

#include "aldlink/devices/retdevice.h"
#include "aldlink/devices/tmadevice.h"
#include "tests/aldglue/glue_fixture.h"

namespace gluetest {
namespace {

// Device objects whose device-wide operations answer from a script and log
// who ran, without a bus.
std::vector<std::string> ran;

class ScriptedRet : public RETDevice {
 public:
  ScriptedRet(const char* name, int at, int answer) : name_(name), answer_(answer) { address = at; }
  int SelfTest() override {
    ran.push_back(name_);
    return answer_;
  }
  int ResetSoftware() override {
    ran.push_back(name_);
    return answer_;
  }

 private:
  std::string name_;
  int answer_;
};

class ScriptedTma : public TMADevice {
 public:
  ScriptedTma(const char* name, int at, int answer) : name_(name), answer_(answer) { address = at; }
  int SelfTest() override {
    ran.push_back(name_);
    return answer_;
  }

 private:
  std::string name_;
  int answer_;
};

class DispatchTest : public GlueTest {
 protected:
  void SetUp() override {
    GlueTest::SetUp();
    ran.clear();
  }
  template <typename T>
  void Register(const char* name, int at, int answer) {
    ASSERT_EQ(Registry::AddDevice(new T(name, at, answer)), 0);
  }
  int AddressOf(int deviceType) {
    for (int i = 0; i < AISGDevice::GetNumberOfDevices(); ++i) {
      AISGDevice* d = AISGDevice::GetDevices()[i];
      if (d->GetDeviceType() == deviceType) return d->GetAddress();
    }
    ADD_FAILURE() << "no device of type " << deviceType;
    return -1;
  }
};

TEST_F(DispatchTest, TwoDevicesAtOneAddressBothRunAndTheSecondResultCounts) {
  Register<ScriptedRet>("first", 7, 11);
  Register<ScriptedRet>("other", 8, 0);
  Register<ScriptedRet>("second", 7, 0);
  EXPECT_EQ(selfTest(7), 0);
  EXPECT_EQ(ran, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(getLastError(), 0);

  Registry::Clear();
  ran.clear();
  Register<ScriptedRet>("first", 7, 0);
  Register<ScriptedRet>("second", 7, 11);
  EXPECT_EQ(resetSoftware(7), 11);
  EXPECT_EQ(ran, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(getLastError(), 11);
}

TEST_F(DispatchTest, OnlyTheClassOfTheFunctionRunsAtASharedAddress) {
  Register<ScriptedTma>("tma", 5, 3);
  Register<ScriptedRet>("ret", 5, 4);
  Register<ScriptedTma>("tma2", 6, 9);
  EXPECT_EQ(selfTest(5), 4);
  EXPECT_EQ(ran, std::vector<std::string>{"ret"});
  ran.clear();
  EXPECT_EQ(selfTestTMA(5), 3);
  EXPECT_EQ(ran, std::vector<std::string>{"tma"});
  ran.clear();
  // A TMA address through a RET function: nothing runs.
  EXPECT_EQ(selfTest(6), kAldglueFailure);
  EXPECT_EQ(getLastError(), kAldglueFailure);
  EXPECT_TRUE(ran.empty());
}

TEST_F(DispatchTest, UnknownAddressesTypesAndMissingTextsGiveTheGeneralFailure) {
  Register<ScriptedRet>("ret", 5, 0);
  Register<ScriptedTma>("tma", 6, 0);
  int value = 123;
  EXPECT_EQ(setTilt(9, 1, 50), kAldglueFailure);
  EXPECT_EQ(getLastError(), kAldglueFailure);
  EXPECT_EQ(selfTest(5), 0);
  EXPECT_EQ(getTilt(9, 1, &value), kAldglueFailure);
  EXPECT_EQ(getGain(5, 1, &value), kAldglueFailure);
  EXPECT_EQ(value, 123);
  EXPECT_EQ(getLastError(), kAldglueFailure);

  // A matching device and a type that names no operation.
  EXPECT_EQ(selfTest(5), 0);
  EXPECT_EQ(baseFunction(5, 1, &value, nullptr, 9), kAldglueFailure);
  EXPECT_EQ(getLastError(), kAldglueFailure);
  EXPECT_EQ(baseFunctionTMA(6, 1, &value, nullptr, 1), kAldglueFailure);
  EXPECT_EQ(baseFunctionTMA(6, 1, &value, nullptr, 57), kAldglueFailure);
  // Only the two self tests ran.
  EXPECT_EQ(ran, (std::vector<std::string>{"ret", "ret"}));

  // Operations that need a text refuse a null one before any device runs.
  EXPECT_EQ(getAlarmStatus(5, 1, nullptr), kAldglueFailure);
  EXPECT_EQ(downloadSoftware(5, nullptr), kAldglueFailure);
  EXPECT_EQ(downloadSoftwareTMA(6, nullptr), kAldglueFailure);
  EXPECT_EQ(configRET(5, 1, nullptr), kAldglueFailure);
}

TEST_F(DispatchTest, ConfigureGoesToTheFirstDeviceAtTheAddressAndKeepsTheLastResult) {
  Register<ScriptedTma>("tma", 5, 0);
  Register<ScriptedRet>("ret", 5, 0);
  EXPECT_EQ(selfTest(5), 0);
  char path[] = "/nonexistent/model.acf";
  // The first device at address 5 is a TMA.
  EXPECT_EQ(configRET(5, 1, path), kAldglueFailure);
  EXPECT_EQ(configRET(9, 1, path), kAldglueFailure);
  EXPECT_EQ(getLastError(), 0);
}

TEST_F(DispatchTest, RetTiltAndAlarmsReachTheSimulatedAntenna) {
  Site(std::string(kRet2) + kTma2);
  ASSERT_EQ(Scan(), 0);
  const int ret = AddressOf(0x11);
  const int tma = AddressOf(0x02);

  int result = -1;
  Quiet([&] { result = setTilt(ret, 2, 75); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(Sim(0).subunits[1].tilt, 75);
  int tilt = -1;
  Quiet([&] { result = getTilt(ret, 2, &tilt); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(tilt, 75);
  EXPECT_EQ(getLastError(), 0);
  // The table shows the new tilt after the next rebuild.
  EXPECT_EQ(Field(Entry(ret, 2), kMdCurrentTilt), "75");

  // Tilt to a TMA address: nothing on the bus, -1800.
  Quiet([&] { result = setTilt(tma, 1, 75); });
  EXPECT_EQ(result, kAldglueFailure);

  char alarms[256];
  std::memset(alarms, 0x7F, sizeof alarms);
  Quiet([&] { result = getAlarmStatus(ret, 3, alarms); });
  EXPECT_EQ(result, 0x0E);
  EXPECT_EQ(alarms[0], 0x0E);
  EXPECT_EQ(alarms[1], 0);
}

TEST_F(DispatchTest, TmaGainAndModeReachTheSimulatedAmplifier) {
  Site(std::string(kRet2) + kTma2);
  ASSERT_EQ(Scan(), 0);
  const int ret = AddressOf(0x11);
  const int tma = AddressOf(0x02);
  ald::sim::SimAld& sim = Sim(1);

  int result = -1;
  int value = -1;
  Quiet([&] { result = getGain(tma, 2, &value); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(value, 40);
  Quiet([&] { result = getMode(tma, 2, &value); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(value, 1);

  Quiet([&] { result = setMode(tma, 2, 0); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(sim.subunits[1].mode, 0);
  Quiet([&] { result = setGain(tma, 1, 32); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(sim.subunits[0].gain, 32);
  value = -1;
  Quiet([&] { result = getMode(tma, 2, &value); });
  EXPECT_EQ(value, 0);

  Quiet([&] { result = pollDevice(tma); });
  EXPECT_EQ(result, 0);
  // Gain of a RET address: nothing runs, the output stays.
  value = 99;
  Quiet([&] { result = getGain(ret, 1, &value); });
  EXPECT_EQ(result, kAldglueFailure);
  EXPECT_EQ(value, 99);
  EXPECT_EQ(getLastError(), kAldglueFailure);
}

TEST_F(DispatchTest, RefreshStoresItsResultWithoutRebuildingTheTable) {
  Site(kTma2);
  ASSERT_EQ(Scan(), 0);
  const int tma = AddressOf(0x02);
  EXPECT_EQ(selfTest(tma), kAldglueFailure);
  Sim(0).subunits[0].gain = 20;
  int result = -1;
  Quiet([&] { result = refreshMain(); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(getLastError(), 0);
  EXPECT_EQ(getMirelkDataCount(), 2);
  EXPECT_EQ(Field(Entry(tma, 1), kMdCurrentGain), "20");
}

}  // namespace
}  // namespace gluetest
