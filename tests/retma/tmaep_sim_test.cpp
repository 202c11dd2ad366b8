// TMA procedures against simulated TMAs of both generations: mode and gain
// round trips, refusals with their reasons, and the per-subunit procedures
// of a two-subunit TMA.
#include <cstring>
#include <string>

#include "aldlink/procedures/tmaep.h"
#include "tests/retma/retma_sim.h"

namespace retma {
namespace {

using Tma = Session<TMAEP>;

TEST_F(SimTest, Aisg1ModeAndGain) {
  Site(R"(
[device]
generation = 1
type = 2
vendor = KA
serial = TMA1
)");
  Tma ep;
  Connect(ep, 1);
  EXPECT_EQ(ep.TMAGetGain(1, 1, 0, &p), 0);
  EXPECT_EQ(p.tmaCurrentGain, 48);
  EXPECT_EQ(ep.TMASetGain(1, 1, 0, 40, &p), 0);
  EXPECT_EQ(Device(1).subunits[0].gain, 40);
  EXPECT_EQ(ep.TMAGetGain(1, 1, 0, &p), 0);
  EXPECT_EQ(p.tmaCurrentGain, 40);
  // 10.25 dB is not on the half-decibel step.
  EXPECT_EQ(ep.TMASetGain(1, 1, 0, 41, &p), 11);
  EXPECT_EQ(p.devRcuCodes[1], ald::rc::aisg1::kOutOfRange);

  EXPECT_EQ(ep.TMASetMode(1, 1, 0, 1, &p), 0);
  EXPECT_EQ(ep.TMAGetMode(1, 1, 0, &p), 0);
  EXPECT_EQ(p.tmaCurrentMode, 1);
  // The subunit means nothing to AISG 1.x.
  EXPECT_EQ(ep.TMASetMode(1, 1, 3, 0, &p), 0);
  EXPECT_EQ(ep.TMAGetMode(1, 1, 2, &p), 0);
  EXPECT_EQ(p.tmaCurrentMode, 0);
}

const char* kDualTma = R"(
[device]
generation = 2
type = 16
vendor = KA
serial = TMA2
subunits = 2
[subunit 1]
tma-model = TMA-A
[subunit 2]
tma-model = TMA-B
non-linear-gains = 4.0 8.0 12.0
gain = 8.0
bypass = no
alarms = 0x21
)";

TEST_F(SimTest, Aisg2ModeAndGainPerSubunit) {
  Site(kDualTma);
  Tma ep;
  Connect(ep, 1);
  EXPECT_EQ(ep.TMAGetGain(1, 2, 2, &p), 0);
  EXPECT_EQ(p.tmaCurrentGain, 32);
  EXPECT_EQ(ep.TMASetGain(1, 2, 1, 20, &p), 0);
  EXPECT_EQ(ep.TMAGetGain(1, 2, 1, &p), 0);
  EXPECT_EQ(p.tmaCurrentGain, 20);
  EXPECT_EQ(ep.TMAGetGain(1, 2, 2, &p), 0);
  EXPECT_EQ(p.tmaCurrentGain, 32);
  // Subunit 2 only knows its listed gains.
  EXPECT_EQ(ep.TMASetGain(1, 2, 2, 20, &p), 11);
  EXPECT_EQ(ep.TMASetGain(1, 2, 2, 48, &p), 0);

  EXPECT_EQ(ep.TMASetMode(1, 2, 1, 0x11, &p), 0);  // bypass, high bits dropped
  EXPECT_EQ(ep.TMAGetMode(1, 2, 1, &p), 0);
  EXPECT_EQ(p.tmaCurrentMode, 1);
  // Subunit 2 has no bypass.
  EXPECT_EQ(ep.TMASetMode(1, 2, 2, 1, &p), 11);
  EXPECT_EQ(p.devRcuCodes[1], ald::rc::aisg2::kOutOfRange);
  EXPECT_EQ(ep.TMAGetMode(1, 2, 2, &p), 0);
  EXPECT_EQ(p.tmaCurrentMode, 0);
  EXPECT_EQ(ep.TMAGetMode(1, 2, 3, &p), 11);
  EXPECT_EQ(p.devRcuCodes[1], ald::rc::aisg2::kFormatError);
}

TEST_F(SimTest, Aisg2SubunitCountFunctionsAndGainLists) {
  Site(kDualTma);
  Tma ep;
  Connect(ep, 1);
  EXPECT_EQ(ep.TMAGetNumOfSubunits(1, &p), 0);
  EXPECT_EQ(p.devTotalSubUnits, 2);

  EXPECT_EQ(ep.TMAGetSupportedFunctions(1, 1, &p), 0);
  EXPECT_EQ(p.tmaFunctionFlag, 1);
  EXPECT_EQ(p.tmaMinGain, 16);
  EXPECT_EQ(p.tmaMaxGain, 48);
  EXPECT_EQ(p.tmaGainResolution, 2);
  EXPECT_EQ(ep.TMAGetSupportedFunctions(1, 2, &p), 0);
  EXPECT_EQ(p.tmaFunctionFlag, 0);

  EXPECT_EQ(ep.TMAGetSupportedNonLinearGainValues(1, 2, &p), 0);
  EXPECT_EQ(p.tmaNumofNonLinearGains, 3);
  EXPECT_EQ(p.tmaNonLinearGains[0], 16);
  EXPECT_EQ(p.tmaNonLinearGains[1], 32);
  EXPECT_EQ(p.tmaNonLinearGains[2], 48);
  EXPECT_EQ(ep.TMAGetSupportedNonLinearGainValues(1, 1, &p), 0);
  EXPECT_EQ(p.tmaNumofNonLinearGains, 0);
  EXPECT_EQ(p.tmaNonLinearGains[0], 0);
}

TEST_F(SimTest, Aisg2SubunitDeviceDataAndAlarms) {
  Site(kDualTma);
  Tma ep;
  Connect(ep, 1);
  char model[1] = {0x11};
  EXPECT_EQ(ep.TMAGetDeviceData(1, 2, model, 1, &p), 0);
  EXPECT_STREQ(p.tmaModel, "TMA-B");
  EXPECT_EQ(ep.TMAGetDeviceData(1, 1, model, 1, &p), 0);
  EXPECT_STREQ(p.tmaModel, "TMA-A");

  // A sector name written to subunit 1 stays with subunit 1.
  char sector[33] = {0x24};
  std::memcpy(sector + 1 + 32 - 4, "N-01", 4);
  EXPECT_EQ(ep.TMASetDeviceData(1, 1, sector, 33, &p), 0);
  char sectorId[1] = {0x24};
  EXPECT_EQ(ep.TMAGetDeviceData(1, 1, sectorId, 1, &p), 0);
  EXPECT_STREQ(p.antSectorID, "N-01");
  EXPECT_EQ(ep.TMAGetDeviceData(1, 2, sectorId, 1, &p), 0);
  EXPECT_STREQ(p.antSectorID, "");

  EXPECT_EQ(ep.TMAGetAlarmStatus(1, 2, &p), 0);
  EXPECT_EQ(p.devRcuCodesSize, 2);
  EXPECT_EQ(p.devRcuCodes[1], 0x21);
  EXPECT_EQ(ep.TMAClearAlarms(1, 2, &p), 0);
  EXPECT_EQ(ep.TMAGetAlarmStatus(1, 2, &p), 0);
  EXPECT_EQ(p.devRcuCodesSize, 1);
  // A request that names no subunit is disregarded: polls only get RR.
  EXPECT_EQ(ep.TMAGetAlarmStatus(1, 0, &p), 82);
  EXPECT_EQ(p.devRcuCodesSize, 0);
}

}  // namespace
}  // namespace retma
