// Binding the chip maker's libraries: by ordinal, with the export names
// checked, and a library that does not match refused before any call.
#include <gtest/gtest.h>

#include <string>

#include "aldlink/adapter/adapter_error.h"
#include "aldlink/adapter/win32_vendor_chip.h"
#include "tests/win/win_test_util.h"

namespace {

using ald::ChipHandle;
using ald::kInvalidChipHandle;
using ald::VendorDllBridgeChip;

std::string Dll(const std::string& dir, const char* name) {
  return wintest::ProgramDir() + (dir.empty() ? "" : "\\" + dir) + "\\" + name;
}

standin::Chip OneChip() {
  standin::Chip chip;
  chip.parts = "3";
  chip.serial = "AB 12 3";
  return chip;
}

TEST(VendorLibraries, EveryRoleReachesTheChipThroughItsOrdinal) {
  wintest::StandinChipFile file(OneChip());
  VendorDllBridgeChip chips(Dll("", "CP210xManufacturing.dll"), Dll("", "CP210xRuntime.dll"));
  ASSERT_TRUE(chips.Load()) << chips.LoadError();
  EXPECT_EQ(chips.LoadError(), "");

  unsigned count = 0;
  ASSERT_EQ(chips.GetNumDevices(count), 0);
  EXPECT_EQ(count, 1u);
  ChipHandle h = kInvalidChipHandle;
  ASSERT_EQ(chips.Open(0, h), 0);
  uint8_t part = 0;
  uint16_t vid = 0, pid = 0;
  EXPECT_EQ(chips.GetPartNumber(h, part), 0);
  EXPECT_EQ(part, 3);
  EXPECT_EQ(chips.GetVendorId(h, vid), 0);
  EXPECT_EQ(chips.GetProductId(h, pid), 0);
  EXPECT_EQ(vid, 0x10c4);
  EXPECT_EQ(pid, 0xea60);
  char serial[64] = {};
  uint8_t length = 0;
  EXPECT_EQ(chips.GetSerialNumber(h, serial, length, true), 0);
  EXPECT_EQ(std::string(serial, length), "AB 12 3");

  ald::ChipPortConfig config;
  config.outputMode = 0x0f00;
  config.resetLatch = 0x0a00;
  config.suspendLatch = 0x1234;
  config.pinFunction = 0x04;
  EXPECT_EQ(chips.SetPortConfig(h, config), 0);
  ald::ChipPortConfig back;
  EXPECT_EQ(chips.GetPortConfig(h, back), 0);
  EXPECT_EQ(back.outputMode, 0x0f00);
  EXPECT_EQ(back.resetLatch, 0x0a00);
  EXPECT_EQ(back.suspendLatch, 0x1234);
  EXPECT_EQ(back.pinFunction, 0x04);

  EXPECT_EQ(chips.WriteLatch(h, 0x08, 0xff), 0);
  uint8_t latch = 0;
  EXPECT_EQ(chips.ReadLatch(h, latch), 0);
  EXPECT_EQ(latch, 0x08);
  EXPECT_EQ(chips.Reset(h), 0);
  EXPECT_EQ(chips.Close(h), 0);

  const standin::Chip after = file.Read();
  EXPECT_EQ(after.open, 0);
  EXPECT_EQ(after.resets, 1);
}

TEST(VendorLibraries, LongSerialNumberIsCutToTheCallersBuffer) {
  standin::Chip chip = OneChip();
  chip.serial = std::string(200, 'S');
  wintest::StandinChipFile file(chip);
  VendorDllBridgeChip chips(Dll("", "CP210xManufacturing.dll"), Dll("", "CP210xRuntime.dll"));
  ChipHandle h = kInvalidChipHandle;
  ASSERT_EQ(chips.Open(0, h), 0);
  char serial[64];
  uint8_t length = 0;
  EXPECT_EQ(chips.GetSerialNumber(h, serial, length, true), 0);
  EXPECT_EQ(length, 63);
  chips.Close(h);
}

TEST(VendorLibraries, MissingLibraryFailsEveryCallThatNeedsIt) {
  wintest::StandinChipFile file(OneChip());
  VendorDllBridgeChip chips(Dll("nowhere", "CP210xManufacturing.dll"),
                            Dll("", "CP210xRuntime.dll"));
  testing::internal::CaptureStdout();
  unsigned count = 99;
  EXPECT_NE(chips.GetNumDevices(count), 0);
  EXPECT_EQ(count, 99u);
  ChipHandle h = kInvalidChipHandle;
  EXPECT_NE(chips.Open(0, h), 0);
  EXPECT_EQ(h, kInvalidChipHandle);
  fflush(stdout);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_FALSE(chips.ManufacturingUsable());
  EXPECT_TRUE(chips.RuntimeUsable());
  EXPECT_NE(chips.LoadError().find("nowhere\\CP210xManufacturing.dll: cannot be loaded"),
            std::string::npos)
      << chips.LoadError();
  // Said once, not on every call.
  EXPECT_EQ(out, "Bridge chip library not usable: " + chips.LoadError() + "\n");
  EXPECT_EQ(std::string(ald::AdapterErrorText()),
            "the bridge chip library is not usable: " + chips.LoadError());
}

TEST(VendorLibraries, LibraryWithoutOneOrdinalIsRefusedWhole) {
  wintest::StandinChipFile file(OneChip());
  VendorDllBridgeChip chips(Dll("standin-no21", "CP210xManufacturing.dll"),
                            Dll("", "CP210xRuntime.dll"));
  EXPECT_FALSE(chips.Load());
  EXPECT_FALSE(chips.ManufacturingUsable());
  EXPECT_TRUE(chips.RuntimeUsable());
  EXPECT_NE(chips.LoadError().find("no export at ordinal 21 (CP210x_SetPortConfig)"),
            std::string::npos)
      << chips.LoadError();
  // Not even the roles that are there are called.
  testing::internal::CaptureStdout();
  unsigned count = 0;
  EXPECT_NE(chips.GetNumDevices(count), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(file.Read().opens, 0);
}

TEST(VendorLibraries, RuntimeLibraryWithoutTheWriteOrdinalIsRefused) {
  wintest::StandinChipFile file(OneChip());
  VendorDllBridgeChip chips(Dll("", "CP210xManufacturing.dll"),
                            Dll("standin-no2", "CP210xRuntime.dll"));
  EXPECT_TRUE(chips.ManufacturingUsable());
  EXPECT_FALSE(chips.RuntimeUsable());
  EXPECT_NE(chips.LoadError().find("no export at ordinal 2 (CP210xRT_WriteLatch)"),
            std::string::npos)
      << chips.LoadError();
  ChipHandle h = kInvalidChipHandle;
  ASSERT_EQ(chips.Open(0, h), 0);
  uint8_t latch = 0;
  testing::internal::CaptureStdout();
  EXPECT_NE(chips.ReadLatch(h, latch), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(chips.Close(h), 0);
}

// Ordinals 3 and 4 exchanged: "open" would close and "close" would open. The
// names give it away, and nothing is called.
TEST(VendorLibraries, ExportNameAtAnotherOrdinalIsRefused) {
  wintest::StandinChipFile file(OneChip());
  VendorDllBridgeChip chips(Dll("standin-swapped", "CP210xManufacturing.dll"),
                            Dll("", "CP210xRuntime.dll"));
  EXPECT_FALSE(chips.ManufacturingUsable());
  EXPECT_NE(chips.LoadError().find("ordinal 3 is not CP210x_Open"), std::string::npos)
      << chips.LoadError();
  ChipHandle h = kInvalidChipHandle;
  testing::internal::CaptureStdout();
  EXPECT_NE(chips.Open(0, h), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(file.Read().opens, 0);
}

}  // namespace
