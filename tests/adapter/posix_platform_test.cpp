// The real platform's port lookup against a fake sysfs tree, its
// ALDLINK_PORT handling, and the default platform on a machine without an
// adapter.
#include "aldlink/adapter/posix_platform.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "aldlink/adapter/cp210xdriver.h"

namespace {

namespace fs = std::filesystem;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

// Unsets an environment variable for one test and puts it back afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      had_ = true;
      old_ = old;
    }
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

class FakeSysfs : public testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/aldsysfs-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    root = templ;
    fs::create_directories(root / "bus" / "usb-serial" / "devices");
  }
  void TearDown() override { fs::remove_all(root); }

  static void Write(const fs::path& file, const std::string& text) { std::ofstream(file) << text; }

  // A USB device at devices/usb1/<port> with one tty per listed interface.
  // `serial` nullptr leaves the attribute out.
  void AddDevice(const std::string& port, const char* vid, const char* pid, const char* serial,
                 std::initializer_list<std::pair<int, int>> interfaceAndTty) {
    const fs::path device = root / "devices" / "pci0000:00" / "usb1" / port;
    fs::create_directories(device);
    Write(device / "idVendor", std::string(vid) + "\n");
    Write(device / "idProduct", std::string(pid) + "\n");
    if (serial != nullptr) Write(device / "serial", std::string(serial) + "\n");
    for (const auto& [interface, tty] : interfaceAndTty) {
      const std::string ifName = port + ":1." + std::to_string(interface);
      const fs::path iface = device / ifName;
      const std::string ttyName = "ttyUSB" + std::to_string(tty);
      fs::create_directories(iface / ttyName);
      Write(iface / "bInterfaceNumber", "0" + std::to_string(interface) + "\n");
      fs::create_symlink(fs::path("../../../devices/pci0000:00/usb1") / port / ifName / ttyName,
                         root / "bus" / "usb-serial" / "devices" / ttyName);
    }
  }

  int Lookup(uint16_t vid, uint16_t pid, const char* serial, std::string* out = nullptr) {
    ald::PosixPlatform platform(root.string(), "/dev");
    CaptureStdout();
    const int port = platform.LookupPortNumber(vid, pid, serial);
    const std::string text = GetCapturedStdout();
    if (out != nullptr) *out = text;
    return port;
  }

  fs::path root;
};

TEST_F(FakeSysfs, FindsTheTtyOfTheMatchingUsbDevice) {
  AddDevice("1-1", "10c4", "ea60", "0042", {{0, 0}});
  AddDevice("1-2", "10c4", "ea60", "AB 12 3", {{0, 2}});
  AddDevice("1-3", "0403", "6001", "AB 12 3", {{0, 1}});
  std::string out;
  EXPECT_EQ(Lookup(0x10C4, 0xEA60, "AB_12_3", &out), 3);
  EXPECT_EQ(out, "");
  EXPECT_EQ(Lookup(0x10C4, 0xEA60, "0042"), 1);
  EXPECT_EQ(Lookup(0x0403, 0x6001, "ab_12_3"), 2);
}

TEST_F(FakeSysfs, IdentifiersAreHexInEitherCase) {
  AddDevice("1-4", "10C4", "EA60", "X9", {{0, 11}});
  EXPECT_EQ(Lookup(0x10C4, 0xEA60, "X9"), 12);
}

TEST_F(FakeSysfs, NoMatchingDeviceIsReported) {
  AddDevice("1-1", "10c4", "ea60", "0042", {{0, 0}});
  std::string out;
  EXPECT_EQ(Lookup(0x10C4, 0xEA60, "0043", &out), -1);
  EXPECT_EQ(out, "Open Port key failed!\n");
  EXPECT_EQ(Lookup(0x10C4, 0xEA61, "0042", &out), -1);
  EXPECT_EQ(out, "Open Port key failed!\n");
}

TEST_F(FakeSysfs, DeviceWithoutSerialMatchesOnlyAnEmptySerial) {
  AddDevice("1-5", "10c4", "ea60", nullptr, {{0, 4}});
  EXPECT_EQ(Lookup(0x10C4, 0xEA60, ""), 5);
  EXPECT_EQ(Lookup(0x10C4, 0xEA60, "0001"), -1);
}

TEST_F(FakeSysfs, FirstInterfaceOfAMultiPortChipWins) {
  AddDevice("1-6", "10c4", "ea70", "DUAL", {{1, 6}, {0, 7}});
  EXPECT_EQ(Lookup(0x10C4, 0xEA70, "DUAL"), 8);
}

TEST_F(FakeSysfs, OtherEntriesAndBrokenLinksAreIgnored) {
  AddDevice("1-1", "10c4", "ea60", "0042", {{0, 3}});
  fs::create_symlink("../../../devices/nowhere/ttyUSB9",
                     root / "bus" / "usb-serial" / "devices" / "ttyUSB9");
  fs::create_directories(root / "bus" / "usb-serial" / "devices" / "ttyACM0");
  fs::create_directories(root / "bus" / "usb-serial" / "devices" / "ttyUSBx");
  EXPECT_EQ(Lookup(0x10C4, 0xEA60, "0042"), 4);
}

// Without access to the chip the port is taken from sysfs: a Silicon Labs
// device with a CP210x product identifier, never another USB serial device.
TEST_F(FakeSysfs, PortWithoutChipIsACp210xOnly) {
  AddDevice("1-1", "10c4", "8a2a", "OTHER", {{0, 0}});  // another Silicon Labs product
  AddDevice("1-2", "0403", "6001", "FTDI", {{0, 1}});
  ald::PosixPlatform platform(root.string(), "/dev");
  CaptureStdout();
  EXPECT_EQ(platform.LookupPortWithoutChip(), -1);
  EXPECT_EQ(GetCapturedStdout(), "");

  AddDevice("1-3", "10C4", "EA70", "DUAL 7", {{1, 3}, {0, 4}});
  AddDevice("1-4", "10c4", "ea60", "0042", {{0, 6}});
  CaptureStdout();
  EXPECT_EQ(platform.LookupPortWithoutChip(), 5);
  EXPECT_EQ(GetCapturedStdout(),
            "Adapter port /dev/ttyUSB4 found without its bridge chip (vid 10c4, pid ea70, serial "
            "DUAL 7)\n");

  fs::remove_all(root / "bus");
  CaptureStdout();
  EXPECT_EQ(platform.LookupPortWithoutChip(), -1);
  EXPECT_EQ(GetCapturedStdout(), "");
}

// The shipped udev rule grants plugdev (0660) the CP210x product identifiers
// of vendor 0x10C4 and nothing else, and the chip enumeration takes every
// Silicon Labs device whatever its product identifier.
TEST(UdevRule, GrantsTheCp210xIdentifiersOnly) {
  std::ifstream in(ALD_SOURCE_DIR "/packaging/udev/60-aldcontrol-cp210x.rules");
  ASSERT_TRUE(in) << "rule file missing";
  std::string lineText;
  int rules = 0;
  while (std::getline(in, lineText)) {
    if (lineText.empty() || lineText[0] == '#') continue;
    ++rules;
    SCOPED_TRACE(lineText);
    EXPECT_NE(lineText.find("SUBSYSTEM==\"usb\""), std::string::npos);
    EXPECT_NE(lineText.find("ATTR{idVendor}==\"10c4\""), std::string::npos);
    EXPECT_NE(lineText.find("GROUP=\"plugdev\""), std::string::npos);
    EXPECT_NE(lineText.find("MODE=\"0660\""), std::string::npos);
    const size_t at = lineText.find("ATTR{idProduct}==\"");
    ASSERT_NE(at, std::string::npos);
    const std::string pid = lineText.substr(at + 18, 4);
    EXPECT_TRUE(ald::IsCp210xProductId(static_cast<uint16_t>(std::stoul(pid, nullptr, 16))));
  }
  EXPECT_EQ(rules, 7);
  EXPECT_TRUE(ald::LibusbBridgeChip::IsCandidate(0x10C4, 0x8A2A));
  EXPECT_TRUE(ald::LibusbBridgeChip::IsCandidate(0x10C4, 0xEA60));
  EXPECT_FALSE(ald::LibusbBridgeChip::IsCandidate(0x0403, 0x6001));
  EXPECT_FALSE(ald::IsCp210xProductId(0x8A2A));
}

TEST_F(FakeSysfs, MissingUsbSerialTreeIsReported) {
  fs::remove_all(root / "bus");
  std::string out;
  EXPECT_EQ(Lookup(0x10C4, 0xEA60, "0042", &out), -1);
  EXPECT_EQ(out, "Open USB key failed!\n");
}

TEST(PosixPlatform, PortNumberNamesTtyUsbNMinusOne) {
  ScopedEnv port("ALDLINK_PORT", nullptr);
  ald::PosixPlatform platform("/sys", "/devroot");
  EXPECT_EQ(platform.ExplicitPortNumber(), 0);
  EXPECT_EQ(platform.PortPath(1), "/devroot/ttyUSB0");
  EXPECT_EQ(platform.PortPath(12), "/devroot/ttyUSB11");
  EXPECT_EQ(platform.PortPath(0), "");
  EXPECT_EQ(platform.OpenPort(0), nullptr);
  EXPECT_EQ(platform.OpenPort(3), nullptr);  // no such device
}

TEST(PosixPlatform, AldlinkPortNamesTheDeviceDirectly) {
  int master = -1;
  int slave = -1;
  char name[256] = {};
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  close(slave);
  {
    ScopedEnv port("ALDLINK_PORT", name);
    ald::PosixPlatform platform;
    EXPECT_EQ(platform.ExplicitPortNumber(), ald::PosixPlatform::kExplicitPortNumber);
    EXPECT_EQ(platform.PortPath(7), name);
    auto opened = platform.OpenPort(platform.ExplicitPortNumber());
    EXPECT_NE(opened, nullptr);
  }
  {
    ScopedEnv port("ALDLINK_PORT", "");
    ald::PosixPlatform platform;
    EXPECT_EQ(platform.ExplicitPortNumber(), 0);
  }
  close(master);
}

// The default platform of a process without ALDLINK_SIM and ALDLINK_PORT is
// the machine's own; with no adapter attached everything reports "absent".
TEST(PosixPlatform, DefaultPlatformWithoutAdapter) {
  ScopedEnv sim("ALDLINK_SIM", nullptr);
  ScopedEnv port("ALDLINK_PORT", nullptr);
  {
    ald::PosixPlatform probe;
    unsigned chips = 0;
    if (probe.Chips().GetNumDevices(chips) == 0 && chips > 0) {
      GTEST_SKIP() << "a CP210x bridge chip is attached to this machine";
    }
  }
  ald::SetAdapterPlatform(nullptr);
  CP210xDriver driver;
  int value = 5;
  CaptureStdout();
  EXPECT_EQ(driver.GetComPort(), 0);
  EXPECT_EQ(driver.OpenComPort(), -1);
  EXPECT_EQ(driver.Set12VPower(1, 0), -1);
  EXPECT_EQ(driver.GetRS485ABSwich(value), -1);
  EXPECT_EQ(driver.IsInitialized(), 0);
  EXPECT_EQ(driver.Reset(), -1);
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(value, 5);
}

}  // namespace
