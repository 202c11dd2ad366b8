// The port lookup in the registry (GetPortNum) against keys the test writes
// into the machine's registry (Wine's, under Wine). Each test uses its own
// vendor/product pair so that no key of a real device is touched.
#include <gtest/gtest.h>

#include <string>

#include "aldlink/adapter/win32_platform.h"
#include "tests/win/win_test_util.h"

namespace {

using wintest::UsbDeviceKey;

// Runs GetPortNum on a copy of `serial`; the printed messages go to `out`.
int Lookup(unsigned short vid, unsigned short pid, const std::string& serial, std::string& out,
           std::string* after = nullptr) {
  char buffer[128] = {};
  serial.copy(buffer, sizeof buffer - 1);
  testing::internal::CaptureStdout();
  const int port = ald::GetPortNum(vid, pid, buffer);
  fflush(stdout);
  out = testing::internal::GetCapturedStdout();
  if (after != nullptr) *after = buffer;
  return port;
}

TEST(RegistryLookup, PlainKeyGivesThePortOfPortNameAndSpacesBecomeUnderscores) {
  UsbDeviceKey key("Vid_0aa1&Pid_5c01", "AB_12_3", "COM12");
  ASSERT_TRUE(key.ok());
  std::string out;
  std::string serial;
  EXPECT_EQ(Lookup(0x0aa1, 0x5c01, "AB 12 3", out, &serial), 12);
  EXPECT_EQ(serial, "AB_12_3");  // replaced in place
  EXPECT_EQ(out, "");
}

TEST(RegistryLookup, IdentifiersArePrintedAsLowerCaseHex) {
  UsbDeviceKey key("Vid_0abc&Pid_00ef", "S1", "COM3");
  ASSERT_TRUE(key.ok());
  std::string out;
  EXPECT_EQ(Lookup(0x0ABC, 0x00EF, "S1", out), 3);
}

TEST(RegistryLookup, CompositeInterfaceZeroKeyComesFirst) {
  UsbDeviceKey plain("Vid_0aa1&Pid_5c02", "SN9", "COM4");
  UsbDeviceKey composite("Vid_0aa1&Pid_5c02&Mi_00", "SN9_00", "COM9");
  ASSERT_TRUE(plain.ok() && composite.ok());
  std::string out;
  EXPECT_EQ(Lookup(0x0aa1, 0x5c02, "SN9", out), 9);
  EXPECT_EQ(out, "");
}

TEST(RegistryLookup, CompositeKeyWithoutPortNameFailsEvenWhenThePlainKeyHasOne) {
  UsbDeviceKey plain("Vid_0aa1&Pid_5c03", "SN9", "COM4");
  UsbDeviceKey composite("Vid_0aa1&Pid_5c03&Mi_00", "SN9_00", nullptr);
  ASSERT_TRUE(plain.ok() && composite.ok());
  std::string out;
  EXPECT_EQ(Lookup(0x0aa1, 0x5c03, "SN9", out), -1);
  EXPECT_EQ(out, "Open PortName key failed!\n");
}

TEST(RegistryLookup, PlainKeyWithoutPortNameFailsSilently) {
  UsbDeviceKey plain("Vid_0aa1&Pid_5c04", "SN9", nullptr);
  ASSERT_TRUE(plain.ok());
  std::string out;
  EXPECT_EQ(Lookup(0x0aa1, 0x5c04, "SN9", out), -1);
  EXPECT_EQ(out, "");
}

TEST(RegistryLookup, NoKeyForTheDevice) {
  UsbDeviceKey other("Vid_0aa1&Pid_5c05", "OTHER", "COM4");
  ASSERT_TRUE(other.ok());
  std::string out;
  EXPECT_EQ(Lookup(0x0aa1, 0x5c05, "SN9", out), -1);
  EXPECT_EQ(out, "Open Port key failed!\n");
  EXPECT_EQ(Lookup(0x0aa1, 0x5c06, "", out), -1);
  EXPECT_EQ(out, "Open Port key failed!\n");
}

// A value that is not "COM" and a number must not turn into a port: the
// first three characters are checked, not just overwritten.
TEST(RegistryLookup, PortNameThatIsNotAComPortFails) {
  for (const char* bad : {"LPT1", "COM", "COM7a", "COM0", "XYZ12", " COM3", "COM99999"}) {
    UsbDeviceKey key("Vid_0aa1&Pid_5c07", "SN1", bad);
    ASSERT_TRUE(key.ok());
    std::string out;
    EXPECT_EQ(Lookup(0x0aa1, 0x5c07, "SN1", out), -1) << bad;
    EXPECT_EQ(out, std::string("PortName \"") + bad + "\" is not a COM port!\n");
  }
  UsbDeviceKey composite("Vid_0aa1&Pid_5c08&Mi_00", "SN1_00", "NUL");
  std::string out;
  EXPECT_EQ(Lookup(0x0aa1, 0x5c08, "SN1", out), -1);
  EXPECT_EQ(out, "PortName \"NUL\" is not a COM port!\n");
}

TEST(RegistryLookup, ComPortNames) {
  EXPECT_EQ(ald::ParseComPortName("COM1"), 1);
  EXPECT_EQ(ald::ParseComPortName("com256"), 256);
  EXPECT_EQ(ald::ParseComPortName("COM9999"), 9999);
  EXPECT_EQ(ald::ParseComPortName("COM10000"), -1);
  EXPECT_EQ(ald::ParseComPortName("COM-1"), -1);
  EXPECT_EQ(ald::ParseComPortName(""), -1);
  EXPECT_EQ(ald::ParseComPortName(nullptr), -1);
}

}  // namespace
