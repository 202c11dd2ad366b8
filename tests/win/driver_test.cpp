// The adapter driver on the Windows platform as a program runs it: the chip
// through the (stand-in) maker's libraries beside the program, the port
// lookup through the registry. Chip waits run on the virtual clock.
#include <gtest/gtest.h>

#include <string>

#include "aldlink/adapter/adapter_platform.h"
#include "aldlink/adapter/cp210xdriver.h"
#include "support/clock.h"
#include "tests/win/win_test_util.h"

namespace {

using standin::Chip;
using wintest::StandinChipFile;
using wintest::UsbDeviceKey;

Chip AdapterChip() {
  Chip chip;
  chip.parts = "3";
  chip.vid = 0x0aa1;
  chip.pid = 0x5c10;
  chip.serial = "AB 12 3";
  return chip;
}

class WinDriverTest : public testing::Test {
 protected:
  void SetUp() override { ald::SetAdapterPlatform(&ald::NativeAdapterPlatform()); }
  void TearDown() override { ald::SetAdapterPlatform(nullptr); }

  ald::ScopedVirtualClock clock;
};

TEST_F(WinDriverTest, TwelveVoltPowerPersistsOnlyWhenAskedExactly) {
  StandinChipFile file(AdapterChip());
  CP210xDriver driver;
  ASSERT_EQ(driver.Set12VPower(1, 0), 0);
  Chip c = file.Read();
  EXPECT_EQ(c.latch, 0x08u);
  EXPECT_EQ(c.reset, 0x0000u);
  ASSERT_EQ(driver.Set12VPower(1, 2), 0);
  EXPECT_EQ(file.Read().reset, 0x0000u);
  ASSERT_EQ(driver.Set12VPower(1, 1), 0);
  c = file.Read();
  EXPECT_EQ(c.latch, 0x08u);
  EXPECT_EQ(c.reset, 0x0800u);
  int value = -5;
  EXPECT_EQ(driver.Get12VPower(value), 0);
  EXPECT_EQ(value, 1);
  ASSERT_EQ(driver.Set12VPower(0, 1), 0);
  EXPECT_EQ(driver.Get12VPower(value), 0);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(file.Read().open, 0);  // every operation closed its chip
}

TEST_F(WinDriverTest, AbSwitchReadsThePowerOnLevelNotTheLiveOne) {
  StandinChipFile file(AdapterChip());
  CP210xDriver driver;
  ASSERT_EQ(driver.SetRS485ABSwich(1, 0), 0);
  EXPECT_EQ(file.Read().latch, 0x02u);
  int value = -5;
  EXPECT_EQ(driver.GetRS485ABSwich(value), 0);
  EXPECT_EQ(value, 0);
  ASSERT_EQ(driver.SetRS485ABSwich(1, 1), 0);
  EXPECT_EQ(driver.GetRS485ABSwich(value), 0);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(file.Read().open, 0);
}

TEST_F(WinDriverTest, DefaultConfigurationAndReset) {
  Chip chip = AdapterChip();
  chip.mode = 0x0000;
  chip.reset = 0x0f00;
  chip.fxn = 0x0b;  // bits 0, 1, 3
  StandinChipFile file(chip);
  CP210xDriver driver;
  EXPECT_EQ(driver.IsInitialized(), 0);
  const int64_t before = clock.clock().NowMs();
  ASSERT_EQ(driver.InitToDefaultConfig(), 0);
  EXPECT_GE(clock.clock().NowMs() - before, 800);
  const Chip c = file.Read();
  EXPECT_EQ(c.mode, 0x0f00u);
  EXPECT_EQ(c.reset, 0x0000u);
  EXPECT_EQ(c.fxn, 0x06u);  // bit 2 set, bits 0 and 3 cleared, bit 1 kept
  EXPECT_EQ(driver.IsInitialized(), 1);
  EXPECT_EQ(driver.Reset(), 0);
  EXPECT_EQ(file.Read().resets, 1);
  EXPECT_EQ(file.Read().open, 0);
}

TEST_F(WinDriverTest, BadGpioIndexFailsWithoutOpeningTheChip) {
  StandinChipFile file(AdapterChip());
  CP210xDriver driver;
  EXPECT_EQ(driver.SetGPIOControlMode(3, 1), -1);
  EXPECT_EQ(driver.SetGPIOLatch(4, 1), -1);
  int value = 7;
  EXPECT_EQ(driver.GetGPIOLatch(-1, value), -1);
  EXPECT_EQ(value, 7);
  EXPECT_EQ(file.Read().opens, 0);
}

TEST_F(WinDriverTest, FirstChipWithTheAdaptersPartNumberWins) {
  Chip chip = AdapterChip();
  chip.parts = "2,3,3";
  StandinChipFile file(chip);
  CP210xDriver driver;
  ASSERT_EQ(driver.SetGPIOLatch(0, 1), 0);
  const Chip c = file.Read();
  EXPECT_EQ(c.opens, 2);  // the CP2102-like chip at index 0 was skipped
  EXPECT_EQ(c.open, 0);
}

TEST_F(WinDriverTest, NoChipOrAFailingChipIsAFailureNotAValue) {
  Chip chip = AdapterChip();
  chip.parts = "";
  StandinChipFile file(chip);
  CP210xDriver driver;
  int value = 7;
  EXPECT_EQ(driver.Get12VPower(value), -1);
  EXPECT_EQ(value, 7);
  EXPECT_EQ(driver.IsInitialized(), 0);
  EXPECT_EQ(driver.GetComPort(), 0);
  EXPECT_EQ(driver.OpenComPort(), -1);

  chip.parts = "3";
  chip.fail = "ReadLatch";
  file.Write(chip);
  EXPECT_EQ(driver.Get12VPower(value), -1);
  EXPECT_EQ(value, 7);
  chip.fail = "SetPortConfig";
  file.Write(chip);
  const int64_t before = clock.clock().NowMs();
  EXPECT_EQ(driver.SetGPIOResetLatch(1, 1), -1);
  EXPECT_EQ(clock.clock().NowMs(), before);  // no settle wait after a failed write
  EXPECT_EQ(file.Read().open, 0);
}

TEST_F(WinDriverTest, ComPortIsFoundThroughTheChipAndTheRegistry) {
  StandinChipFile file(AdapterChip());
  UsbDeviceKey key("Vid_0aa1&Pid_5c10", "AB_12_3", "COM12");
  ASSERT_TRUE(key.ok());
  CP210xDriver driver;
  testing::internal::CaptureStdout();
  EXPECT_EQ(driver.GetComPort(), 12);
  const int opens = file.Read().opens;
  EXPECT_EQ(driver.GetComPort(), 12);  // from memory: the chip is not asked again
  fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(file.Read().opens, opens);
  EXPECT_EQ(file.Read().open, 0);
}

TEST_F(WinDriverTest, UnreadableIdentifiersAreReportedAndTheLookupGoesOn) {
  Chip chip = AdapterChip();
  chip.fail = "GetVendorId,GetSerialNumber";
  StandinChipFile file(chip);
  CP210xDriver driver;
  testing::internal::CaptureStdout();
  EXPECT_EQ(driver.GetComPort(), 0);
  fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Get Vid failed!\nGet SN failed!\nOpen Port key failed!\nGet port number failed!\n");

  chip.fail = "GetProductId";
  file.Write(chip);
  // Without a product identifier the serial number is not read either.
  testing::internal::CaptureStdout();
  EXPECT_EQ(driver.GetComPort(), 0);
  fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Get Pid failed!\nOpen Port key failed!\nGet port number failed!\n");
  EXPECT_EQ(file.Read().open, 0);
}

TEST_F(WinDriverTest, PortThatCannotBeOpenedLeavesNothingOpen) {
  StandinChipFile file(AdapterChip());
  UsbDeviceKey key("Vid_0aa1&Pid_5c10", "AB_12_3", "COM77");
  CP210xDriver driver;
  EXPECT_EQ(driver.OpenComPort(), -1);
  EXPECT_EQ(driver.GetComPort(), 77);
  EXPECT_EQ(driver.SendData("abc", 3), 0);
  char buffer[4];
  EXPECT_EQ(driver.RecvData(buffer, sizeof buffer), 0);
  EXPECT_EQ(file.Read().open, 0);
}

}  // namespace
