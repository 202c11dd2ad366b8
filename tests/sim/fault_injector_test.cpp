// The bus's exchange observer, the restart of one device, and the random
// fault injector: faults last one exchange, the line is sound again after
// Calm, and a seed replays the same faults.
#include "sim/fault_injector.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "tests/sim/bus_test_util.h"

namespace ald::sim::testing {
namespace {

constexpr uint8_t kSnrm = 0x93;
constexpr uint8_t kUa = 0x73;

DeviceList TwoDevices() {
  DeviceList list;
  list.push_back(MakeDevice(1, Uid19("KA", "1"), 3));
  list.push_back(MakeDevice(2, Uid19("KA", "2"), 5));
  return list;
}

class Recorder final : public ExchangeObserver {
 public:
  void BeforeExchange(SimBus&, const Frame& frame, int64_t) override {
    before.push_back(frame.address);
  }
  void AfterExchange(SimBus&, int64_t) override { ++after; }
  std::vector<uint8_t> before;
  int after = 0;
};

TEST(BusObserver, SeesEveryGoodFrameOnceEvenWithoutSupply) {
  BusDriver d(TwoDevices());
  Recorder r;
  d.bus.SetObserver(&r);
  d.Send(3, kSnrm);
  const uint8_t garbage[] = {0x7E, 0x01, 0x02, 0x7E};
  d.SendWire(garbage, sizeof garbage);  // no frame: nothing to observe
  d.bus.SetPowered(false);
  EXPECT_EQ(d.Send(5, kSnrm).length, 0);
  EXPECT_EQ(r.before, (std::vector<uint8_t>{3, 5}));
  EXPECT_EQ(r.after, 2);
  d.bus.SetObserver(nullptr);
  d.Send(3, kSnrm);
  EXPECT_EQ(r.after, 2);
}

TEST(BusRestart, OneDeviceLosesItsAddressAndStaysSilentWhileItStarts) {
  BusDriver d(TwoDevices());
  d.bus.RestartDevice(0, d.nowUs + 2000000);
  EXPECT_EQ(d.bus.Device(0).address, 0);  // even an AISG 1.1 device: a power cycle
  EXPECT_EQ(d.bus.Device(1).address, 5);
  EXPECT_EQ(d.Send(0xFF, 0xBF).length, 0);
  d.nowUs += 2000000;
  d.bus.Device(0).address = 3;
  EXPECT_EQ(d.Send(3, kSnrm).control, kUa);
}

TEST(FaultInjector, EveryFaultEndsWithItsExchange) {
  BusDriver d(TwoDevices());
  FaultInjector inj(7, 1.0);
  d.bus.SetObserver(&inj);
  const SimFaults sound;
  for (int i = 0; i < 400; ++i) {
    d.Send(i % 2 ? 3 : 5, kSnrm);
    for (int k = 0; k < 2; ++k) {
      const SimFaults& f = d.bus.Device(k).faults;
      // Vanishing lasts seconds by design; everything else is gone now.
      EXPECT_EQ(f.failReasons, sound.failReasons);
      EXPECT_EQ(f.wrongAddress, -1);
      EXPECT_EQ(f.badFcsFrames + f.frmrFrames + f.silentFrames + f.zeroByteFrames, 0);
      EXPECT_FALSE(f.trailingBytes || f.gluedFrame || f.bareFail || f.wrongProcedureCode);
      EXPECT_EQ(f.returnCode, -1);
      EXPECT_EQ(f.lengthFieldDelta + f.missingBytes + f.padAnswersTo, 0);
    }
    // A collision borrows an address for one exchange only.
    EXPECT_NE(d.bus.Device(0).address, 5) << "exchange " << i;
  }
  EXPECT_GT(inj.Total(), 300u);
  for (int k = 0; k < static_cast<int>(FaultKind::kCount); ++k) {
    EXPECT_GT(inj.Count(static_cast<FaultKind>(k)), 0u) << FaultName(static_cast<FaultKind>(k));
  }
}

TEST(FaultInjector, CalmBringsBackVanishedDevicesAndTheSupply) {
  BusDriver d(TwoDevices());
  FaultInjector inj(3, 1.0);
  d.bus.SetObserver(&inj);
  for (int i = 0;
       i < 300 && (inj.Count(FaultKind::kVanish) == 0 || inj.Count(FaultKind::kPowerCycle) == 0);
       ++i) {
    d.Send(3, kSnrm);
  }
  ASSERT_GT(inj.Count(FaultKind::kVanish), 0u);
  inj.Calm(d.bus);
  inj.SetRate(0);
  EXPECT_TRUE(d.bus.Powered());
  EXPECT_FALSE(d.bus.Device(0).faults.silent);
  EXPECT_FALSE(d.bus.Device(1).faults.silent);
  d.nowUs += 10000000;  // past any restart
  d.bus.Device(0).address = 3;
  EXPECT_EQ(d.Send(3, kSnrm).control, kUa);
}

TEST(FaultInjector, TheSameSeedGivesTheSameFaults) {
  auto run = [](uint32_t seed) {
    BusDriver d(TwoDevices());
    FaultInjector inj(seed, 0.3);
    d.bus.SetObserver(&inj);
    std::vector<std::vector<uint8_t>> answers;
    for (int i = 0; i < 200; ++i) answers.push_back(d.Send(i % 3 ? 3 : 5, kSnrm).bytes);
    return answers;
  };
  EXPECT_EQ(run(42), run(42));
  EXPECT_NE(run(42), run(43));
}

}  // namespace
}  // namespace ald::sim::testing
