#include "aldlink/adapter/cp210xdriver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/clock.h"
#include "tests/adapter/fake_platform.h"

namespace {

using ald::SimBridgeChip;
using Op = ald::SimBridgeChip::Op;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

class AdapterTest : public testing::Test {
 protected:
  int64_t NowMs() { return clock.clock().NowUs() / 1000; }

  ald::ScopedVirtualClock clock;
  ald::test::FakePlatform platform;
  CP210xDriver driver;
};

// ---------------------------------------------------------------------------
// Finding the port

TEST_F(AdapterTest, GetComPortLooksUpChipIdentifiersWithSpacesAsUnderscores) {
  platform.chip.SetSerial("AB 12 3");
  platform.lookupResult = 12;
  CaptureStdout();
  EXPECT_EQ(driver.GetComPort(), 12);
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(platform.lastVid, 0x10C4);
  EXPECT_EQ(platform.lastPid, 0xEA60);
  EXPECT_EQ(platform.lastSerial, "AB_12_3");
  EXPECT_EQ(platform.chip.OpenHandleCount(), 0);
}

TEST_F(AdapterTest, GetComPortAnswersFromMemoryOnceFound) {
  platform.lookupResult = 7;
  ASSERT_EQ(driver.GetComPort(), 7);
  const int callsAfterFirst = platform.chip.counters().calls;
  platform.lookupResult = 9;
  EXPECT_EQ(driver.GetComPort(), 7);
  EXPECT_EQ(platform.chip.counters().calls, callsAfterFirst);
  EXPECT_EQ(platform.lookups, 1);
}

TEST_F(AdapterTest, GetComPortSearchesAgainAfterFindingNothing) {
  platform.lookupResult = -1;
  CaptureStdout();
  EXPECT_EQ(driver.GetComPort(), 0);
  EXPECT_EQ(GetCapturedStdout(), "Get port number failed!\n");
  platform.lookupResult = 3;
  EXPECT_EQ(driver.GetComPort(), 3);
  EXPECT_EQ(platform.lookups, 2);
}

TEST_F(AdapterTest, GetComPortReportsUnreadableIdentifiersAndGoesOn) {
  platform.chip.FailNext(Op::kGetVendorId, 1);
  CaptureStdout();
  EXPECT_EQ(driver.GetComPort(), 5);
  EXPECT_EQ(GetCapturedStdout(), "Get Vid failed!\n");
  EXPECT_EQ(platform.lastVid, 0);
  EXPECT_EQ(platform.lastSerial, "0001");
}

TEST_F(AdapterTest, UnreadableProductIdMeansEmptySerialWithoutAskingForIt) {
  platform.chip.FailNext(Op::kGetProductId, 1);
  platform.chip.FailAlways(Op::kGetSerialNumber);  // would add a message if asked
  CaptureStdout();
  driver.GetComPort();
  EXPECT_EQ(GetCapturedStdout(), "Get Pid failed!\n");
  EXPECT_EQ(platform.lastSerial, "");
  EXPECT_EQ(platform.lastVid, 0x10C4);
}

TEST_F(AdapterTest, UnreadableSerialIsLookedUpEmpty) {
  platform.chip.FailNext(Op::kGetSerialNumber, 1);
  platform.lookupResult = -1;
  CaptureStdout();
  EXPECT_EQ(driver.GetComPort(), 0);
  EXPECT_EQ(GetCapturedStdout(), "Get SN failed!\nGet port number failed!\n");
  EXPECT_EQ(platform.lastSerial, "");
  EXPECT_EQ(platform.chip.OpenHandleCount(), 0);
}

TEST_F(AdapterTest, FirstChipWithAdapterPartNumberWins) {
  platform.chip.SetChipCount(3);
  platform.chip.chip(0).partNumber = 2;
  platform.chip.chip(0).serial = "OTHER";
  platform.chip.chip(1).serial = "FIRST3";
  platform.chip.chip(2).serial = "SECOND3";
  EXPECT_EQ(driver.GetComPort(), 5);
  EXPECT_EQ(platform.lastSerial, "FIRST3");
  EXPECT_EQ(platform.chip.counters().opens, 2);
  EXPECT_EQ(platform.chip.OpenHandleCount(), 0);
}

TEST_F(AdapterTest, ChipsThatCannotBeOpenedOrIdentifiedAreSkipped) {
  platform.chip.SetChipCount(3);
  platform.chip.chip(0).serial = "FIRST";
  platform.chip.chip(1).serial = "SECOND";
  platform.chip.chip(2).serial = "THIRD";
  platform.chip.FailNext(Op::kOpen, 1);           // chip 0 does not open
  platform.chip.FailNext(Op::kGetPartNumber, 1);  // chip 1 does not tell its part
  EXPECT_EQ(driver.GetComPort(), 5);
  EXPECT_EQ(platform.lastSerial, "THIRD");
  EXPECT_EQ(platform.chip.OpenHandleCount(), 0);
}

TEST_F(AdapterTest, ExplicitPortNeedsNoChip) {
  platform.chip.SetChipCount(0);
  platform.explicitPort = 4;
  EXPECT_EQ(driver.GetComPort(), 4);
  EXPECT_EQ(platform.chip.counters().calls, 0);
  EXPECT_EQ(platform.lookups, 0);
  EXPECT_EQ(driver.OpenComPort(), 0);
  ASSERT_EQ(platform.port.openedNumbers.size(), 1u);
  EXPECT_EQ(platform.port.openedNumbers[0], 4);
}

TEST_F(AdapterTest, NoAdapterChip) {
  platform.chip.SetChipCount(0);
  int value = 7;
  CaptureStdout();
  EXPECT_EQ(driver.GetComPort(), 0);
  EXPECT_EQ(driver.OpenComPort(), -1);
  EXPECT_EQ(driver.Set12VPower(1, 1), -1);
  EXPECT_EQ(driver.Get12VPower(value), -1);
  EXPECT_EQ(driver.GetRS485ABSwich(value), -1);
  EXPECT_EQ(driver.SetGPIOOutputMode(0, 1), -1);
  EXPECT_EQ(driver.InitToDefaultConfig(), -1);
  EXPECT_EQ(driver.IsInitialized(), 0);
  EXPECT_EQ(driver.Reset(), -1);
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(value, 7);
  EXPECT_EQ(platform.lookups, 0);
  EXPECT_EQ(platform.port.totalOpens, 0);
  EXPECT_EQ(NowMs(), 0);
}

TEST_F(AdapterTest, OnlyOtherBridgeChipsMeansNoAdapter) {
  platform.chip.SetChipCount(2);
  platform.chip.chip(0).partNumber = 2;
  platform.chip.chip(1).partNumber = 4;
  EXPECT_EQ(driver.GetComPort(), 0);
  EXPECT_EQ(platform.chip.OpenHandleCount(), 0);
  EXPECT_EQ(platform.chip.counters().opens, 2);
}

// ---------------------------------------------------------------------------
// Opening, sending, flushing

// A chip the user may not open (no udev rule): the port is still found
// without it, and the board functions fail saying why and what to do.
TEST_F(AdapterTest, ChipOutOfReachStillGivesThePortButNoBoardFunctions) {
  platform.chip.refuseOpen = "permission denied";
  platform.withoutChipResult = 7;
  CaptureStdout();
  EXPECT_EQ(driver.GetComPort(), 7);
  EXPECT_EQ(driver.OpenComPort(), 0);
  EXPECT_EQ(platform.port.openedNumbers, std::vector<int>{7});
  EXPECT_EQ(platform.lookups, 0);
  EXPECT_EQ(driver.Set12VPower(1, 0), -1);
  int value = 5;
  EXPECT_EQ(driver.GetRS485ABSwich(value), -1);
  EXPECT_EQ(value, 5);
  const std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("Cannot open the adapter's bridge chip: permission denied\n"),
            std::string::npos);
  EXPECT_NE(out.find("The 12 V supply and the A/B switch cannot be used. Install the udev rule "
                     "packaging/udev/60-aldcontrol-cp210x.rules"),
            std::string::npos);
  EXPECT_NE(out.find("group plugdev"), std::string::npos);
  EXPECT_EQ(platform.chip.Latch(), 0);

  EXPECT_EQ(platform.lookupsWithoutChip, 1);

  // Chips that open and are not the adapter's, or no chip at all: there is
  // no adapter, so no port is taken without one and nothing is explained.
  platform.chip.refuseOpen.clear();
  platform.chip.chip(0).partNumber = 2;
  for (unsigned chips : {1u, 0u}) {
    platform.chip.SetChipCount(chips);
    CP210xDriver other;
    CaptureStdout();
    EXPECT_EQ(other.GetComPort(), 0);
    EXPECT_EQ(other.Set12VPower(1, 0), -1);
    EXPECT_EQ(GetCapturedStdout(), "");
  }
  EXPECT_EQ(platform.lookupsWithoutChip, 1);

  // Without the chip library the chips cannot be looked at: the port may
  // still be found.
  platform.chip.FailAlways(Op::kGetNumDevices);
  CP210xDriver third;
  EXPECT_EQ(third.GetComPort(), 7);
  EXPECT_EQ(platform.lookupsWithoutChip, 2);
}

TEST_F(AdapterTest, OpenComPortPurgesAndConfiguresTheLine) {
  EXPECT_EQ(driver.OpenComPort(), 0);
  ASSERT_EQ(platform.port.purges.size(), 1u);
  EXPECT_EQ(platform.port.purges[0], 15u);
  EXPECT_EQ(platform.port.line.baudRate, 9600);
  EXPECT_EQ(platform.port.line.dataBits, 8);
  EXPECT_EQ(platform.port.line.parity, ald::Parity::kNone);
  EXPECT_EQ(platform.port.line.stopBits, 1);
  const ald::SerialTimeouts& t = platform.port.timeouts;
  EXPECT_EQ(t.readInterval, 0u);
  EXPECT_EQ(t.readTotalMultiplier, 0u);
  EXPECT_EQ(t.readTotalConstant, 200u);
  EXPECT_EQ(t.writeTotalMultiplier, 0u);
  EXPECT_EQ(t.writeTotalConstant, 120u);
  EXPECT_EQ(platform.port.openedNumbers.at(0), 5);
}

TEST_F(AdapterTest, FailedPurgeKeepsThePortUntilClosed) {
  platform.port.failPurge = true;
  EXPECT_EQ(driver.OpenComPort(), -1);
  EXPECT_EQ(platform.port.openPorts, 1);
  EXPECT_EQ(driver.CloseComPort(), 0);
  EXPECT_EQ(platform.port.openPorts, 0);
}

TEST_F(AdapterTest, PortThatCannotBeOpened) {
  platform.failOpen = true;
  EXPECT_EQ(driver.OpenComPort(), -1);
  EXPECT_EQ(driver.FlushComPort(), -1);
}

TEST_F(AdapterTest, ReopeningReleasesThePreviousPort) {
  ASSERT_EQ(driver.OpenComPort(), 0);
  EXPECT_EQ(driver.OpenComPort(), 0);
  EXPECT_EQ(platform.port.openPorts, 1);
  EXPECT_EQ(platform.port.totalOpens, 2);
}

TEST_F(AdapterTest, DestructionClosesThePort) {
  {
    CP210xDriver other;
    ASSERT_EQ(other.OpenComPort(), 0);
    // The port is exclusive: a second object cannot have it meanwhile.
    EXPECT_EQ(driver.OpenComPort(), -1);
  }
  EXPECT_EQ(platform.port.openPorts, 0);
  EXPECT_EQ(driver.OpenComPort(), 0);
}

TEST_F(AdapterTest, FlushClearsBuffersWithoutAborting) {
  EXPECT_EQ(driver.FlushComPort(), -1);
  ASSERT_EQ(driver.OpenComPort(), 0);
  EXPECT_EQ(driver.FlushComPort(), 0);
  EXPECT_EQ(platform.port.purges.back(), 12u);
  platform.port.failPurge = true;
  EXPECT_EQ(driver.FlushComPort(), -1);
  EXPECT_EQ(driver.CloseComPort(), 0);
  EXPECT_EQ(driver.CloseComPort(), 0);
}

TEST_F(AdapterTest, SendDataWaitsOneMillisecondPerByte) {
  ASSERT_EQ(driver.OpenComPort(), 0);
  const int64_t before = NowMs();
  EXPECT_EQ(driver.SendData("\x7e\x03\x93\x7e", 4), 4);
  EXPECT_EQ(NowMs() - before, 4);
  EXPECT_EQ(platform.port.written, std::string("\x7e\x03\x93\x7e"));
}

TEST_F(AdapterTest, SendDataFailureIsReported) {
  ASSERT_EQ(driver.OpenComPort(), 0);
  platform.port.failWrite = true;
  const int64_t before = NowMs();
  CaptureStdout();
  EXPECT_EQ(driver.SendData("abc", 3), 0);
  EXPECT_EQ(GetCapturedStdout(), "Write to com port error!\n");
  EXPECT_EQ(NowMs(), before);

  CP210xDriver closed;
  CaptureStdout();
  EXPECT_EQ(closed.SendData("abc", 3), 0);
  EXPECT_EQ(GetCapturedStdout(), "Write to com port error!\n");
}

// ---------------------------------------------------------------------------
// Receiving

class RecvTest : public AdapterTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(driver.OpenComPort(), 0);
    before = platform.port.timeouts;
    platform.port.timeoutHistory.clear();
  }
  void ExpectTimeoutsRestored() {
    const ald::SerialTimeouts& now = platform.port.timeouts;
    EXPECT_EQ(now.readInterval, before.readInterval);
    EXPECT_EQ(now.readTotalMultiplier, before.readTotalMultiplier);
    EXPECT_EQ(now.readTotalConstant, before.readTotalConstant);
    EXPECT_EQ(now.writeTotalMultiplier, before.writeTotalMultiplier);
    EXPECT_EQ(now.writeTotalConstant, before.writeTotalConstant);
  }

  ald::SerialTimeouts before;
  char buffer[256] = {};
};

TEST_F(RecvTest, CapacityOneReturnsAfterTheFirstByte) {
  platform.port.Arrive("abc", 1000, 1000);
  EXPECT_EQ(driver.RecvData(buffer, 1), 1);
  EXPECT_EQ(buffer[0], 'a');
  EXPECT_EQ(platform.port.readCalls, 1);
  EXPECT_EQ(NowMs(), 1);
  ExpectTimeoutsRestored();
}

TEST_F(RecvTest, FrameEndsAtTheGapAfterItsFifthByte) {
  const std::string frame = "0123456789";
  platform.port.Arrive(frame, 50000, 1040);
  const int64_t start = NowMs();
  EXPECT_EQ(driver.RecvData(buffer, 256), 10);
  EXPECT_EQ(std::string(buffer, 10), frame);
  // Last byte at 50 + 9 * 1.04 ms, then one 20 ms gap.
  EXPECT_EQ(NowMs() - start, 50 + 9 + 20);
  EXPECT_EQ(platform.port.maxReadLength, 1);
  ASSERT_GE(platform.port.timeoutHistory.size(), 2u);
  const ald::SerialTimeouts& gap = platform.port.timeoutHistory[0];
  EXPECT_EQ(gap.readTotalConstant, 20u);
  EXPECT_EQ(gap.readInterval, 0u);
  EXPECT_EQ(gap.readTotalMultiplier, 0u);
  EXPECT_EQ(gap.writeTotalConstant, 120u);
  ExpectTimeoutsRestored();
}

TEST_F(RecvTest, SilenceBeforeTheFirstByteGivesNothingAfter200Ms) {
  const int64_t start = NowMs();
  EXPECT_EQ(driver.RecvData(buffer, 256), 0);
  EXPECT_EQ(NowMs() - start, 200);
  EXPECT_TRUE(platform.port.timeoutHistory.size() <= 1u);
  ExpectTimeoutsRestored();
}

TEST_F(RecvTest, EarlyBytesMayWaitLongButLaterOnesOnly20Ms) {
  // Gaps of 150 ms among the first five bytes keep the frame going; a 25 ms
  // gap after the sixth byte ends it.
  platform.port.Arrive("ab", 0, 150000);
  platform.port.Arrive("cde", 300000, 150000);
  platform.port.Arrive("f", 600000 + 15000, 0);
  platform.port.Arrive("gh", 600000 + 15000 + 25000, 1000);
  EXPECT_EQ(driver.RecvData(buffer, 256), 6);
  EXPECT_EQ(std::string(buffer, 6), "abcdef");
  ExpectTimeoutsRestored();
  // The rest is still there for the next call.
  EXPECT_EQ(driver.RecvData(buffer, 256), 2);
  EXPECT_EQ(std::string(buffer, 2), "gh");
}

TEST_F(RecvTest, FullBufferStopsReading) {
  platform.port.Arrive("0123456789", 0, 1000);
  EXPECT_EQ(driver.RecvData(buffer, 7), 7);
  EXPECT_EQ(std::string(buffer, 7), "0123456");
  EXPECT_EQ(platform.port.readCalls, 7);
  ExpectTimeoutsRestored();
}

TEST_F(RecvTest, ClosedPortOrNoRoomReceivesNothing) {
  platform.port.Arrive("abc", 0, 0);
  EXPECT_EQ(driver.RecvData(buffer, 0), 0);
  EXPECT_EQ(driver.RecvData(nullptr, 10), 0);
  driver.CloseComPort();
  EXPECT_EQ(driver.RecvData(buffer, 10), 0);
  EXPECT_EQ(platform.port.readCalls, 0);
}

// ---------------------------------------------------------------------------
// GPIO

TEST_F(AdapterTest, BadIndexesDoNotTouchTheChip) {
  int value = 9;
  EXPECT_EQ(driver.SetGPIOOutputMode(4, 1), -1);
  EXPECT_EQ(driver.SetGPIOOutputMode(-1, 1), -1);
  EXPECT_EQ(driver.SetGPIOResetLatch(4, 1), -1);
  EXPECT_EQ(driver.SetGPIOLatch(4, 1), -1);
  EXPECT_EQ(driver.SetGPIOControlMode(3, 1), -1);
  EXPECT_EQ(driver.GetGPIOOutputMode(4, value), -1);
  EXPECT_EQ(driver.GetGPIOResetLatch(-2, value), -1);
  EXPECT_EQ(driver.GetGPIOLatch(4, value), -1);
  EXPECT_EQ(driver.GetGPIOControlMode(3, value), -1);
  EXPECT_EQ(value, 9);
  EXPECT_EQ(platform.chip.counters().calls, 0);
}

TEST_F(AdapterTest, ConfigurationSettersChangeOneBitAndWait800Ms) {
  ald::ChipPortConfig& config = platform.chip.chip().config;
  config.outputMode = 0x00F0;
  config.resetLatch = 0x0F00;
  config.suspendLatch = 0x1234;
  config.pinFunction = 0xF0;

  EXPECT_EQ(driver.SetGPIOOutputMode(2, 1), 0);
  EXPECT_EQ(NowMs(), 800);
  EXPECT_EQ(config.outputMode, 0x04F0);
  EXPECT_EQ(driver.SetGPIOResetLatch(3, 0), 0);
  EXPECT_EQ(config.resetLatch, 0x0700);
  EXPECT_EQ(driver.SetGPIOControlMode(1, 5), 0);
  EXPECT_EQ(config.pinFunction, 0xF2);
  EXPECT_EQ(driver.SetGPIOControlMode(1, 0), 0);
  EXPECT_EQ(config.pinFunction, 0xF0);
  EXPECT_EQ(config.suspendLatch, 0x1234);
  EXPECT_EQ(NowMs(), 4 * 800);
  EXPECT_EQ(platform.chip.counters().configWrites, 4);
  EXPECT_EQ(platform.chip.OpenHandleCount(), 0);

  int value = -1;
  EXPECT_EQ(driver.GetGPIOOutputMode(2, value), 0);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(driver.GetGPIOOutputMode(1, value), 0);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(driver.GetGPIOResetLatch(2, value), 0);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(driver.GetGPIOResetLatch(3, value), 0);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(driver.GetGPIOControlMode(2, value), 0);
  EXPECT_EQ(value, 0);
}

TEST_F(AdapterTest, FailedConfigurationStepsReportFailureWithoutWaiting) {
  platform.chip.FailNext(Op::kSetPortConfig, 1);
  EXPECT_EQ(driver.SetGPIOResetLatch(0, 1), -1);
  platform.chip.FailNext(Op::kGetPortConfig, 1);
  EXPECT_EQ(driver.SetGPIOOutputMode(0, 1), -1);
  EXPECT_EQ(platform.chip.counters().configWrites, 0);
  EXPECT_EQ(NowMs(), 0);

  int value = 4;
  platform.chip.FailNext(Op::kGetPortConfig, 1);
  EXPECT_EQ(driver.GetGPIOControlMode(0, value), -1);
  platform.chip.FailNext(Op::kReadLatch, 1);
  EXPECT_EQ(driver.GetGPIOLatch(0, value), -1);
  EXPECT_EQ(value, 4);
  platform.chip.FailNext(Op::kWriteLatch, 1);
  EXPECT_EQ(driver.SetGPIOLatch(0, 1), -1);
  EXPECT_EQ(platform.chip.OpenHandleCount(), 0);
}

TEST_F(AdapterTest, LiveLatchChangesOnlyItsPinAndDoesNotWait) {
  platform.chip.chip().latch = 0x05;
  EXPECT_EQ(driver.SetGPIOLatch(1, 1), 0);
  EXPECT_EQ(platform.chip.Latch(), 0x07);
  EXPECT_EQ(driver.SetGPIOLatch(0, 0), 0);
  EXPECT_EQ(platform.chip.Latch(), 0x06);
  EXPECT_EQ(NowMs(), 0);
  int value = -1;
  EXPECT_EQ(driver.GetGPIOLatch(2, value), 0);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(driver.GetGPIOLatch(0, value), 0);
  EXPECT_EQ(value, 0);
}

TEST_F(AdapterTest, PowerPersistsOnlyWithPersistOne) {
  int value = -1;
  EXPECT_EQ(driver.Set12VPower(1, 0), 0);
  EXPECT_EQ(platform.chip.Latch(), 0x08);
  EXPECT_EQ(platform.chip.Config().resetLatch, 0);
  EXPECT_EQ(driver.Get12VPower(value), 0);
  EXPECT_EQ(value, 1);

  EXPECT_EQ(driver.Set12VPower(1, 2), 0);
  EXPECT_EQ(platform.chip.Config().resetLatch, 0);
  EXPECT_EQ(platform.chip.counters().configWrites, 0);

  EXPECT_EQ(driver.Set12VPower(1, 1), 0);
  EXPECT_EQ(platform.chip.Config().resetLatch, 0x0800);
  EXPECT_EQ(NowMs(), 800);

  EXPECT_EQ(driver.Set12VPower(0, 1), 0);
  EXPECT_EQ(platform.chip.Latch(), 0x00);
  EXPECT_EQ(platform.chip.Config().resetLatch, 0);
  EXPECT_EQ(driver.Get12VPower(value), 0);
  EXPECT_EQ(value, 0);
}

TEST_F(AdapterTest, PersistIsSkippedWhenTheLiveWriteFails) {
  platform.chip.FailNext(Op::kWriteLatch, 1);
  EXPECT_EQ(driver.Set12VPower(1, 1), -1);
  EXPECT_EQ(platform.chip.counters().configWrites, 0);
  platform.chip.FailNext(Op::kSetPortConfig, 1);
  EXPECT_EQ(driver.SetRS485ABSwich(1, 1), -1);
  EXPECT_EQ(platform.chip.Latch(), 0x02);
}

TEST_F(AdapterTest, AbSwitchReportsItsPowerOnLevel) {
  int value = -1;
  EXPECT_EQ(driver.SetRS485ABSwich(1, 0), 0);
  EXPECT_EQ(platform.chip.Latch(), 0x02);
  EXPECT_EQ(driver.GetRS485ABSwich(value), 0);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(driver.SetRS485ABSwich(1, 1), 0);
  EXPECT_EQ(driver.GetRS485ABSwich(value), 0);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(platform.chip.Config().resetLatch, 0x0200);
}

TEST_F(AdapterTest, DefaultConfiguration) {
  ald::ChipPortConfig& config = platform.chip.chip().config;
  config.outputMode = 0x1003;
  config.resetLatch = 0xFF00;
  config.suspendLatch = 0xBEEF;
  config.pinFunction = 0xFB;
  EXPECT_EQ(driver.IsInitialized(), 0);

  EXPECT_EQ(driver.InitToDefaultConfig(), 0);
  EXPECT_EQ(NowMs(), 800);
  EXPECT_EQ(config.outputMode, 0x1F03);
  EXPECT_EQ(config.resetLatch, 0xF000);
  EXPECT_EQ(config.suspendLatch, 0xBEEF);
  EXPECT_EQ(config.pinFunction, 0xF6);  // bit 2 set, bits 0 and 3 clear, bit 1 kept
  EXPECT_EQ(driver.IsInitialized(), 1);
  EXPECT_EQ(platform.chip.OpenHandleCount(), 0);
}

TEST_F(AdapterTest, IsInitializedLooksAtGpioZeroOnly) {
  ald::ChipPortConfig& config = platform.chip.chip().config;
  config.outputMode = 0x0100;
  config.resetLatch = 0x0E00;
  config.pinFunction = 0x0B;
  EXPECT_EQ(driver.IsInitialized(), 1);
  config.resetLatch = 0x0100;
  EXPECT_EQ(driver.IsInitialized(), 0);
  config.resetLatch = 0;
  config.outputMode = 0x0E00;
  EXPECT_EQ(driver.IsInitialized(), 0);
  config.outputMode = 0x0100;
  platform.chip.FailAlways(Op::kGetPortConfig);
  EXPECT_EQ(driver.IsInitialized(), 0);
}

TEST_F(AdapterTest, FailedDefaultConfigurationWrite) {
  platform.chip.FailNext(Op::kSetPortConfig, 1);
  EXPECT_EQ(driver.InitToDefaultConfig(), -1);
  EXPECT_EQ(driver.IsInitialized(), 0);
  EXPECT_EQ(NowMs(), 0);
}

TEST_F(AdapterTest, ResetRestartsTheChipAndWaitsTwoSeconds) {
  platform.chip.chip().config.resetLatch = 0x0200;
  platform.chip.chip().latch = 0x09;
  platform.chip.FailNext(Op::kReset, 1);  // the chip's answer is not examined
  EXPECT_EQ(driver.Reset(), 0);
  EXPECT_EQ(NowMs(), 2000);
  EXPECT_EQ(driver.Reset(), 0);
  EXPECT_EQ(platform.chip.counters().resets, 1);
  EXPECT_EQ(platform.chip.Latch(), 0x02);
  EXPECT_EQ(platform.chip.OpenHandleCount(), 0);
  EXPECT_EQ(NowMs(), 4000);
}

TEST_F(AdapterTest, GpioGoesToTheAdapterChipNotToOtherBridges) {
  platform.chip.SetChipCount(2);
  platform.chip.chip(0).partNumber = 4;
  EXPECT_EQ(driver.Set12VPower(1, 0), 0);
  EXPECT_EQ(platform.chip.chip(0).latch, 0);
  EXPECT_EQ(platform.chip.chip(1).latch, 0x08);
}

}  // namespace
