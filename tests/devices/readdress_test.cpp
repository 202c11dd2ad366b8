// The addresses of registered devices across the operations that search the
// bus for one device (adding a device, re-identifying one after a download,
// the identity check of vendor "AR"), the addresses a scan hands out, and
// the scan's word on devices it may have missed.
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "aldlink/devices/retdevice.h"
#include "aldlink/devices/tmadevice.h"
#include "tests/devices/device_test_util.h"

namespace devtest {
namespace {

// Registered device with this vendor code and serial number.
AISGDevice* Registered(const char* vendor, const char* serial) {
  for (int i = 0; i < RegistryCount(); ++i) {
    AISGDevice* d = RegistryEntry(i);
    if (d->GetVendorID() == vendor && d->GetSerialNumber() == serial) return d;
  }
  return nullptr;
}

class ReaddressTest : public DeviceTest {
 protected:
  // The demo line scanned with address assignment.
  void ScanDemo() {
    LoadFile("demo.site");
    Quiet([&] { ASSERT_EQ(AISGDevice::Scan(3, 1), 0); });
    ASSERT_EQ(RegistryCount(), 5);
    ret1 = dynamic_cast<RETDevice*>(Registered("KA", "0000RE0912004471"));
    tma1 = dynamic_cast<TMADevice*>(Registered("PW", "TM1107000815"));
    ret2 = dynamic_cast<RETDevice*>(Registered("KA", "MR4401203977"));
    ASSERT_NE(ret1, nullptr);
    ASSERT_NE(tma1, nullptr);
    ASSERT_NE(ret2, nullptr);
    ASSERT_EQ(ret1->GetAISGVersion(), 1);
    ASSERT_EQ(tma1->GetAISGVersion(), 1);
  }

  // The AISG 1.1 RET and TMA of the demo line answer at their addresses.
  void ExpectAisg1DevicesAnswer() {
    EXPECT_EQ(SimWithId(Uid("KA", "0000RE0912004471"))->address, ret1->GetAddress());
    EXPECT_EQ(SimWithId(Uid("PW", "TM1107000815", 14))->address, tma1->GetAddress());
    int tilt = 0;
    int gain = 0;
    Quiet([&] {
      EXPECT_EQ(ret1->GetTilt(1, tilt, 1), 0);
      EXPECT_EQ(tma1->GetGain(1, gain, 1), 0);
    });
    EXPECT_EQ(tilt, 30);
    EXPECT_EQ(gain, 48);
    // And the next refresh does not mark them failed.
    Quiet([&] {
      ret1->Refresh();
      tma1->Refresh();
    });
    EXPECT_EQ(ret1->GetState(), AISGDevice::kStateOk);
    EXPECT_EQ(tma1->GetState(), AISGDevice::kStateOk);
  }

  RETDevice* ret1 = nullptr;
  TMADevice* tma1 = nullptr;
  RETDevice* ret2 = nullptr;
};

TEST_F(ReaddressTest, AddingAKnownDeviceKeepsTheAisg1DevicesReachable) {
  ScanDemo();
  char vendor[] = "KA";
  char serial[] = "MR4401203977";
  AISGDevice* added = nullptr;
  Quiet([&] { added = AISGDevice::ScanSingleDevice(vendor, serial); });
  EXPECT_EQ(added, ret2);
  ExpectAisg1DevicesAnswer();
}

TEST_F(ReaddressTest, AddingANewDeviceKeepsTheAisg1DevicesReachable) {
  // The EM RET is left out of the scan: removed from the line, then put back.
  ald::sim::DeviceList all;
  std::string error;
  ASSERT_TRUE(ald::sim::LoadSite(SitePath("demo.site"), all, error)) << error;
  ald::sim::DeviceList withoutEm;
  for (auto& d : all) {
    if (d->VendorCode() != "EM") withoutEm.push_back(std::move(d));
  }
  Use(std::move(withoutEm));
  Quiet([&] { ASSERT_EQ(AISGDevice::Scan(3, 1), 0); });
  ASSERT_EQ(RegistryCount(), 4);
  ret1 = dynamic_cast<RETDevice*>(Registered("KA", "0000RE0912004471"));
  tma1 = dynamic_cast<TMADevice*>(Registered("PW", "TM1107000815"));
  ASSERT_NE(ret1, nullptr);
  ASSERT_NE(tma1, nullptr);
  // The full line again, with the addresses the scan gave.
  LoadFile("demo.site");
  for (int i = 0; i < RegistryCount(); ++i) {
    AISGDevice* d = RegistryEntry(i);
    if (d->GetAISGVersion() != 1) continue;
    std::string id(d->GetUniqueIDBytes(), static_cast<size_t>(d->GetUniqueIDSize()));
    ASSERT_NE(SimWithId(id), nullptr);
    SimWithId(id)->address = d->GetAddress();
  }
  char vendor[] = "EM";
  char serial[] = "12345678";
  AISGDevice* added = nullptr;
  Quiet([&] { added = AISGDevice::ScanSingleDevice(vendor, serial); });
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->GetAddress(), 5);
  ExpectAisg1DevicesAnswer();
}

TEST_F(ReaddressTest, DownloadToAnAisg2DeviceKeepsTheAisg1DevicesReachable) {
  ScanDemo();
  std::string dir = (std::filesystem::temp_directory_path() / "readdrXXXXXX").string();
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  std::string image = dir + "/image.bin";
  {
    std::ofstream out(image, std::ios::binary);
    for (int i = 0; i < 200; ++i) out.put(static_cast<char>(i));
  }
  int r = -1;
  Quiet([&] { r = ret2->DownloadSoftware(image.data()); });
  std::filesystem::remove_all(dir);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(ret2->GetState(), AISGDevice::kStateOk);
  ExpectAisg1DevicesAnswer();
}

TEST_F(ReaddressTest, IdentityCheckOfVendorArKeepsTheAisg1DevicesReachable) {
  ald::sim::DeviceList list;
  std::string error;
  ASSERT_TRUE(ald::sim::LoadSite(SitePath("demo.site"), list, error)) << error;
  ald::sim::DeviceList more;
  ASSERT_TRUE(
      ald::sim::ParseSite("[device]\ngeneration = 2\ntype = 1\nvendor = AR\nserial = AR0000000042\n"
                          "product = ARET\nsw-version = 1.0\n",
                          more, error))
      << error;
  for (auto& d : more) list.push_back(std::move(d));
  Use(std::move(list));
  Quiet([&] { ASSERT_EQ(AISGDevice::Scan(3, 1), 0); });
  ASSERT_EQ(RegistryCount(), 6);
  ret1 = dynamic_cast<RETDevice*>(Registered("KA", "0000RE0912004471"));
  tma1 = dynamic_cast<TMADevice*>(Registered("PW", "TM1107000815"));
  AISGDevice* ar = Registered("AR", "AR0000000042");
  ASSERT_NE(ret1, nullptr);
  ASSERT_NE(tma1, nullptr);
  ASSERT_NE(ar, nullptr);
  // This vendor's device now reports another serial number than its unique
  // ID holds: the identity check searches the bus for it.
  SimWithId(Uid("AR", "AR0000000042"))->serialNumber = "AR0000000043";
  const std::string out = Quiet([&] { ar->Refresh(); });
  EXPECT_NE(out.find("AISGDevice::ResetAllDeviceAdress()"), std::string::npos);
  EXPECT_EQ(ar->GetSerialNumber(), "AR0000000043");
  // The refresh went on over a link that still works.
  EXPECT_EQ(ar->GetState(), AISGDevice::kStateOk);
  ExpectAisg1DevicesAnswer();
}

}  // namespace
}  // namespace devtest
