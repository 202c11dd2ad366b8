// The simulated line under the adapter: byte timing at 9600 bit/s on the
// virtual clock, read time-outs, the receive buffer, the simulated platform,
// and the controller's own link layer talking to it.
#include <gtest/gtest.h>

#include <cstdio>

#include "aldlink/adapter/adapter_platform.h"
#include "aldlink/hdlc/aisghdlc.h"
#include "sim/sim_line.h"
#include "sim/sim_platform.h"
#include "support/clock.h"
#include "tests/sim/bus_test_util.h"

namespace ald::sim::testing {
namespace {

const std::string kId1 = Uid19("KA", "1");
const std::string kId2 = Uid19("KA", "2");

DeviceList OneDevice() {
  DeviceList list;
  list.push_back(MakeDevice(2, kId1, 1));
  return list;
}

const char kSnrm1[] = {
    0x7E, 0x01, static_cast<char>(0x93), static_cast<char>(0x8D), static_cast<char>(0xB0), 0x7E};

class LineTest : public ::testing::Test {
 protected:
  LineTest() : bus(OneDevice()), line(bus) {}
  void SetReadTimeout(uint32_t ms) {
    SerialTimeouts t;
    t.readTotalConstant = ms;
    line.SetTimeouts(t);
  }
  int64_t Now() { return vclock.clock().NowUs(); }

  ScopedVirtualClock vclock;
  SimBus bus;
  SimLine line;
};

TEST_F(LineTest, AnswerBytesArriveAtLineSpeedAfterTheTurnaround) {
  vclock.clock().Advance(5000000);
  const int64_t t0 = Now();
  int written = 0;
  ASSERT_TRUE(line.Write(kSnrm1, 6, written));
  EXPECT_EQ(written, 6);
  EXPECT_EQ(line.TransmitEndUs(), t0 + 6250);  // 6 bytes of 1041.67 us
  SetReadTimeout(200);
  char got[8];
  for (int i = 0; i < 6; ++i) {
    int n = 0;
    ASSERT_TRUE(line.Read(got + i, 1, n));
    ASSERT_EQ(n, 1) << i;
    EXPECT_EQ(Now(), ByteEndUs(t0 + 6250 + kTurnaroundUs, i)) << i;
  }
  // Six bytes out, the turnaround, six bytes back.
  EXPECT_EQ(Now(), t0 + 6250 + kTurnaroundUs + 6250);
  EXPECT_LT(Now() - line.TransmitEndUs(), 10000) << "UA complete within 10 ms";
  EXPECT_EQ(std::vector<uint8_t>(got, got + 6),
            (std::vector<uint8_t>{0x7E, 0x01, 0x73, 0x83, 0x57, 0x7E}));
  // Nothing more: the read waits out its time-out.
  const int64_t before = Now();
  int n = 0;
  ASSERT_TRUE(line.Read(got, 1, n));
  EXPECT_EQ(n, 0);
  EXPECT_EQ(Now() - before, 200000);
}

TEST_F(LineTest, ByteNotDueWithinTheTimeoutStaysQueued) {
  int written = 0;
  line.Write(kSnrm1, 6, written);
  SetReadTimeout(5);  // the first byte is due after about 10.3 ms
  const int64_t t0 = Now();
  char b;
  int n = 0;
  ASSERT_TRUE(line.Read(&b, 1, n));
  EXPECT_EQ(n, 0);
  EXPECT_EQ(Now() - t0, 5000);
  EXPECT_EQ(line.Queued(), 6);
  SetReadTimeout(20);
  ASSERT_TRUE(line.Read(&b, 1, n));
  EXPECT_EQ(n, 1);
  EXPECT_EQ(b, 0x7E);
}

TEST_F(LineTest, ReadOfManyBytesHonoursTheIntervalAndUnreadBytesWait) {
  int written = 0;
  line.Write(kSnrm1, 6, written);
  SerialTimeouts t;
  t.readTotalConstant = 200;
  t.readInterval = 20;
  line.SetTimeouts(t);
  char buf[64];
  int n = 0;
  ASSERT_TRUE(line.Read(buf, 3, n));
  EXPECT_EQ(n, 3);
  EXPECT_EQ(line.Queued(), 3);
  ASSERT_TRUE(line.Read(buf, 64, n));
  EXPECT_EQ(n, 3);
  EXPECT_EQ(line.Queued(), 0);
}

TEST_F(LineTest, PurgeDropsWhatHasArrivedOnly) {
  int written = 0;
  line.Write(kSnrm1, 6, written);
  vclock.clock().Advance(6250 + kTurnaroundUs + 3 * 1042);  // three bytes in
  line.Purge(kPurgeRxClear);
  EXPECT_EQ(line.Queued(), 3);
  vclock.clock().Advance(10000);
  line.Purge(kPurgeRxAbort | kPurgeRxClear);
  EXPECT_EQ(line.Queued(), 0);
}

TEST_F(LineTest, WrongLineSettingsAreNoise) {
  LineSettings s;
  s.baudRate = 19200;
  line.SetLineSettings(s);
  int written = 0;
  line.Write(kSnrm1, 6, written);
  EXPECT_EQ(written, 6);
  EXPECT_EQ(line.Queued(), 0);
}

TEST_F(LineTest, FrameSplitOverWritesAndNoiseBeforeIt) {
  const char noise[] = {0x00, 0x55};
  int written = 0;
  line.Write(noise, 2, written);
  line.Write(kSnrm1, 3, written);
  EXPECT_EQ(line.Queued(), 0);
  line.Write(kSnrm1 + 3, 3, written);
  EXPECT_EQ(line.Queued(), 6);
}

TEST(SimPlatformTest, OnePortOneHolder) {
  SimBus bus(OneDevice());
  SimPlatform platform(bus);
  EXPECT_EQ(platform.ExplicitPortNumber(), 0);
  EXPECT_EQ(platform.LookupPortNumber(0x10C4, 0xEA60, "0001"), 1);
  EXPECT_EQ(platform.OpenPort(2), nullptr);
  auto port = platform.OpenPort(1);
  ASSERT_NE(port, nullptr);
  EXPECT_TRUE(platform.PortOpen());
  EXPECT_EQ(platform.OpenPort(1), nullptr);
  port.reset();
  EXPECT_FALSE(platform.PortOpen());
  EXPECT_NE(platform.OpenPort(1), nullptr);
}

// The controller's link layer over the simulated platform.
class ControllerTest : public ::testing::Test {
 protected:
  ControllerTest() : bus(MakeList()), platform(bus) { SetAdapterPlatform(&platform); }
  ~ControllerTest() override { SetAdapterPlatform(nullptr); }
  static DeviceList MakeList() {
    DeviceList list;
    list.push_back(MakeDevice(2, kId1));
    list.push_back(MakeDevice(1, kId2));
    return list;
  }

  ScopedVirtualClock vclock;
  SimBus bus;
  SimPlatform platform;
};

TEST_F(ControllerTest, ScanAddressAndLinkThroughTheRealReceivePath) {
  AISGHDLC link;
  link.EnableRS485();
  char zeros[19] = {};
  // Both devices answer the open scan: the controller sees a bad frame.
  EXPECT_EQ(link.SetXIDScan(0xFF, zeros, zeros, 19), 82);
  int address = -1, version = -1, length = 0;
  char params[256];
  EXPECT_EQ(link.GetXIDScan(address, version, params, length), 82);

  // One bit of the last character apart ('1' and '2' differ in bits 0 and 1).
  char pattern[19] = {};
  char mask[19] = {};
  mask[18] = 0x01;
  pattern[18] = 0x01;
  EXPECT_EQ(link.SetXIDScan(0xFF, pattern, mask, 19), 0);
  ASSERT_EQ(link.GetXIDScan(address, version, params, length), 0);
  EXPECT_EQ(version, 2);
  EXPECT_EQ(std::string(params + 2, 19), kId1);

  char id[19];
  std::memcpy(id, kId1.data(), 19);
  EXPECT_EQ(link.SetXIDAddress(1, id, 19), 0);
  EXPECT_EQ(link.GetXIDAddress(address, version, params, length), 0);
  EXPECT_EQ(address, 1);
  EXPECT_EQ(version, 2);
  std::memcpy(id, kId2.data(), 19);
  EXPECT_EQ(link.SetXIDAddress(2, id, 19), 0);
  EXPECT_EQ(link.GetXIDAddress(address, version, params, length), 0);
  EXPECT_EQ(version, 1);

  const int64_t t0 = vclock.clock().NowUs();
  EXPECT_EQ(link.SetSNRM(1), 0);
  EXPECT_EQ(link.GetSNRM(1), 0);
  // Frame, turnaround, answer and the 20 ms end-of-frame gap: well below
  // the 200 ms a silent device costs.
  EXPECT_LT(vclock.clock().NowUs() - t0, 60000);

  char msg[] = {0x05, 0x00, 0x00};
  EXPECT_EQ(link.SetInfo(1, msg, 3), 0);
  char out[256];
  EXPECT_EQ(link.GetInfo(1, 2, out), 0);
  EXPECT_EQ(std::memcmp(out, msg, 3), 0);
  EXPECT_EQ(link.SetRR(1), 0);
  EXPECT_EQ(link.GetRR(1), 0);
  EXPECT_EQ(link.SetDISC(1), 0);
  EXPECT_EQ(link.GetDISC(1), 0);
  EXPECT_EQ(link.SetSNRM(1), 89) << "the AISG 2.0 device gave up its address";
  link.DisableRS485();
  std::fflush(stdout);
}

}  // namespace
}  // namespace ald::sim::testing
