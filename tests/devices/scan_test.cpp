// Full bus scans in both assignment modes, the adding of one device, and the
// refusals of the generation switch, on the simulated antenna line.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "aldlink/devices/retdevice.h"
#include "aldlink/devices/tmadevice.h"
#include "tests/devices/device_test_util.h"

namespace devtest {
namespace {

int Occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A site device block.
std::string Dev(int generation, int type, const std::string& serial,
                const std::string& extra = "") {
  return "[device]\ngeneration = " + std::to_string(generation) +
         "\ntype = " + std::to_string(type) + "\nvendor = KA\nserial = " + serial + "\n" + extra +
         "\n";
}

// Registered devices as "address:type:generation" in registry order.
std::vector<std::string> Registered() {
  std::vector<std::string> out;
  for (int i = 0; i < RegistryCount(); ++i) {
    AISGDevice* d = RegistryEntry(i);
    out.push_back(std::to_string(d->GetAddress()) + ":" + std::to_string(d->GetDeviceType()) + ":" +
                  std::to_string(d->GetAISGVersion()));
  }
  return out;
}

using Strings = std::vector<std::string>;

class ScanTest : public DeviceTest {};

TEST_F(ScanTest, AssigningScanRegistersRetAndTmaObjectsInAddressOrder) {
  Load(Dev(2, 17, "MR4401203901", "subunits = 3") + Dev(1, 1, "0000RE0912004402") +
       Dev(2, 2, "TD2409001103", "subunits = 2") + Dev(2, 1, "MR4401203904"));
  int r = -1;
  const std::string out = Quiet([&] { r = AISGDevice::Scan(3, 1); });
  EXPECT_EQ(r, 0);
  EXPECT_EQ(out.rfind("AISGDevice::Scan(depth = 3, a = 1)\n", 0), 0u);
  EXPECT_NE(out.find("AISGDevice::Scan() find 4 devices!\n"), std::string::npos);
  // Discovery gave the addresses; this mode hands out none of its own.
  EXPECT_EQ(out.find("max address assigned"), std::string::npos);
  EXPECT_EQ(out.find("assigned address:"), std::string::npos);
  EXPECT_NE(out.find("Create RET device, type:17, aisg:2, address:1!\n"), std::string::npos);
  EXPECT_NE(out.find("Create TMA device, type:2, aisg:2, address:3!\n"), std::string::npos);
  EXPECT_NE(out.find("\nTime to scan devices: "), std::string::npos);
  // Sorted by unique ID bytes: the 12-character serials have more zero
  // bytes after the vendor code than the 16-character one.
  EXPECT_EQ(Registered(), (Strings{"1:17:2", "2:1:2", "3:2:2", "4:1:1"}));
  EXPECT_NE(dynamic_cast<RETDevice*>(AISGDevice::FindDevice(1)), nullptr);
  EXPECT_NE(dynamic_cast<TMADevice*>(AISGDevice::FindDevice(3)), nullptr);
  EXPECT_EQ(AISGDevice::FindDevice(1)->GetNumberOfSubunits(), 3);
  // Every object was refreshed: the devices all answered.
  for (int i = 0; i < RegistryCount(); ++i) {
    EXPECT_EQ(RegistryEntry(i)->GetState(), AISGDevice::kStateOk) << Registered()[i];
  }
}

TEST_F(ScanTest, SearchOnlyScanNumbersAisg2DevicesAboveTheAisg1Addresses) {
  Load(Dev(1, 1, "0000RE0912004401") + Dev(2, 1, "MR4401203902") + Dev(1, 1, "0000RE0912004403") +
       Dev(2, 17, "MR4401203904"));
  // AISG 1 devices keep the addresses they were given earlier; 100 counts as 96.
  Sim(0)->address = 3;
  Sim(2)->address = 100;
  const std::string out = Quiet([&] { EXPECT_EQ(AISGDevice::Scan(3, 0), 0); });
  EXPECT_NE(out.find("max address assigned: 96\n"), std::string::npos);
  // The unique ID is printed as a text, which ends at its first zero byte.
  EXPECT_NE(out.find("device:KA , assigned address: 97\ndevice:KA , assigned address: 98\n"),
            std::string::npos);
  // In the order of the unique IDs: the AISG 2 ones have more zero bytes.
  EXPECT_EQ(Registered(), (Strings{"97:1:2", "98:17:2", "3:1:1", "100:1:1"}));
  // The AISG 2 devices got their addresses when their objects first opened a link.
  EXPECT_EQ(AISGDevice::FindDevice(98)->GetState(), AISGDevice::kStateOk);
  EXPECT_EQ(AISGDevice::FindDevice(97)->GetState(), AISGDevice::kStateOk);
}

TEST_F(ScanTest, SearchOnlyScanWithoutAisg1DevicesCountsFromOne) {
  Load("[device]\ngeneration = 2\ntype = 1\nvendor = PW\nserial = RT0000000003\n\n" +
       Dev(2, 1, "MR4401203901") + Dev(2, 1, "MR4401203902"));
  const std::string out = Quiet([&] { AISGDevice::Scan(3, 0); });
  EXPECT_NE(out.find("max address assigned: 0\n"), std::string::npos);
  EXPECT_NE(out.find("device:KA , assigned address: 1\ndevice:KA , assigned address: 2\n"
                     "device:PWRT0000000003 , assigned address: 3\n"),
            std::string::npos);
  EXPECT_EQ(Registered(), (Strings{"1:1:2", "2:1:2", "3:1:2"}));
}

TEST_F(ScanTest, RecordsWithBadGenerationAddressOrTypeAreSkipped) {
  Load(Dev(2, 1, "MR4401203901", "aisg-version = 3") + Dev(1, 1, "0000RE0912004402") +
       Dev(1, 1, "0000RE0912004403") + Dev(2, 1, "MR4401203904") + Dev(2, 1, "MR4401203905") +
       Dev(2, 1, "MR4401203906") + Dev(2, 1, "MR4401203907"));
  Sim(1)->address = 0;    // never addressed
  Sim(2)->address = 129;  // beyond the HDLC range
  bus->Device(4).deviceType = 32;
  bus->Device(5).deviceType = 33;
  bus->Device(6).deviceType = 5;
  const std::string out = Quiet([&] { EXPECT_EQ(AISGDevice::Scan(3, 0), 0); });
  EXPECT_NE(out.find("Bad AISG version:3\n"), std::string::npos);
  EXPECT_NE(out.find("Bad device address:0\n"), std::string::npos);
  EXPECT_NE(out.find("Bad device address:129\n"), std::string::npos);
  EXPECT_NE(out.find("RAS not supported!\n"), std::string::npos);
  EXPECT_NE(out.find("RAB not supported!\n"), std::string::npos);
  EXPECT_NE(out.find("Unknown device type:5!\n"), std::string::npos);
  EXPECT_NE(out.find("max address assigned: 96\n"), std::string::npos);
  // The one good record is still registered.
  EXPECT_EQ(Registered(), (Strings{"97:1:2"}));

  // The same types in the assigning mode. Address assignment settles the
  // generation from the kind of answer, so the odd version parameter no
  // longer shows there.
  const std::string out2 = Quiet([&] { AISGDevice::Scan(3, 1); });
  EXPECT_NE(out2.find("Delete 1 old device objects ok!\n"), std::string::npos);
  EXPECT_NE(out2.find("RAS not supported!\n"), std::string::npos);
  EXPECT_NE(out2.find("RAB not supported!\n"), std::string::npos);
  EXPECT_NE(out2.find("Unknown device type:5!\n"), std::string::npos);
  EXPECT_EQ(out2.find("Bad device address"), std::string::npos);
  EXPECT_EQ(out2.find("Bad AISG version"), std::string::npos);
  // The skipped records keep the addresses discovery gave them (3 to 5).
  EXPECT_EQ(Registered(), (Strings{"1:1:2", "2:1:2", "6:1:1", "7:1:1"}));
}

TEST_F(ScanTest, AScanThatFindsNothingEmptiesTheRegistry) {
  Load(Dev(2, 1, "MR4401203901") + Dev(1, 1, "0000RE0912004402"));
  Quiet([&] { AISGDevice::Scan(3, 1); });
  ASSERT_EQ(RegistryCount(), 2);
  Use({});
  int r = -1;
  const std::string out = Quiet([&] { r = AISGDevice::Scan(3, 1); });
  EXPECT_EQ(r, 0);
  EXPECT_NE(out.find("Delete 2 old device objects ok!\n"), std::string::npos);
  EXPECT_NE(out.find("AISGDevice::Scan() find 0 devices!\n"), std::string::npos);
  EXPECT_EQ(RegistryCount(), 0);
  EXPECT_EQ(AISGDevice::GetDevices()[0], nullptr);
  EXPECT_EQ(AISGDevice::GetDevices()[1], nullptr);
  // Nothing registered, nothing to delete the next time.
  EXPECT_EQ(Quiet([&] { AISGDevice::Scan(1, 0); }).find("old device objects"), std::string::npos);
}

// The registry keeps 24 objects; the 25th is destroyed, not left behind
// (the sanitizer build's leak check sees it otherwise).
TEST_F(ScanTest, TheTwentyFifthDeviceIsDroppedAndDestroyed) {
  LoadFile("bus25.site");
  const std::string out = Quiet([&] { AISGDevice::Scan(3, 1); });
  EXPECT_NE(out.find("AISGDevice::Scan() find 25 devices!\n"), std::string::npos);
  EXPECT_EQ(RegistryCount(), 24);
  EXPECT_EQ(Occurrences(out, "Device registry full, device at address 25 dropped!\n"), 1);
  EXPECT_EQ(AISGDevice::FindDevice(25), nullptr);
  EXPECT_NE(AISGDevice::FindDevice(24), nullptr);

  // Adding that device alone meets the full registry the same way.
  char vendor[] = "KA";
  char serial[] = "RB2501025";
  AISGDevice* added = reinterpret_cast<AISGDevice*>(1);
  const std::string out2 = Quiet([&] { added = AISGDevice::ScanSingleDevice(vendor, serial); });
  EXPECT_EQ(added, nullptr);
  EXPECT_NE(out2.find("Protocol scan a single device success!\n"), std::string::npos);
  EXPECT_NE(out2.find("Device registry full, device at address 25 dropped!\n"), std::string::npos);
  EXPECT_EQ(RegistryCount(), 24);
}

TEST_F(ScanTest, SingleDeviceGetsTheNextAddressOrIsFoundRegisteredAlready) {
  Load(Dev(2, 1, "MR4401203901") + Dev(1, 1, "0000RE0912004402") + Dev(2, 1, "MR4401203903"));
  bus->Device(2).deviceType = 32;
  // Registered devices at 5 and 120: the next address is 121, without a cap.
  ASSERT_EQ(ProbeDevice::AddDevice(new ProbeDevice(1, 2, 5, "KAa", 3)), 0);
  ASSERT_EQ(ProbeDevice::AddDevice(new ProbeDevice(1, 2, 120, "KAb", 3)), 0);

  char vendor[] = "KA";
  char serial[] = "MR4401203901";
  AISGDevice* added = nullptr;
  std::string out = Quiet([&] { added = AISGDevice::ScanSingleDevice(vendor, serial); });
  EXPECT_EQ(out.rfind("AISGDevice::ScanSingleDevice(KA,MR4401203901)\n", 0), 0u);
  EXPECT_NE(out.find("Protocol scan a single device success!\n"), std::string::npos);
  ASSERT_NE(added, nullptr);
  EXPECT_NE(dynamic_cast<RETDevice*>(added), nullptr);
  EXPECT_EQ(added->GetAddress(), 121);
  EXPECT_EQ(added->GetAISGVersion(), 2);
  EXPECT_EQ(added->GetState(), AISGDevice::kStateOk);  // refreshed
  EXPECT_EQ(RegistryCount(), 3);
  EXPECT_EQ(RegistryEntry(2), added);
  bool sent121 = false;
  for (const SentFrame& f : line->sent) sent121 |= f.IsAssignment() && f.XidParam(2) == Bytes{121};
  EXPECT_TRUE(sent121);

  // An AISG 1 device: addressed and its type asked; then found again.
  char serial1[] = "0000RE0912004402";
  AISGDevice* aisg1 = nullptr;
  Quiet([&] { aisg1 = AISGDevice::ScanSingleDevice(vendor, serial1); });
  ASSERT_NE(aisg1, nullptr);
  EXPECT_EQ(aisg1->GetAddress(), 122);
  EXPECT_EQ(aisg1->GetDeviceType(), 1);
  EXPECT_EQ(aisg1->GetAISGVersion(), 1);
  line->sent.clear();
  AISGDevice* again = nullptr;
  out = Quiet([&] { again = AISGDevice::ScanSingleDevice(vendor, serial1); });
  EXPECT_EQ(again, aisg1);
  EXPECT_NE(out.find("Scan a single device, but device already exists!\n"), std::string::npos);
  EXPECT_NE(out.find("RETDevice::Refresh"), std::string::npos);
  // No new address: the one address frame gives the registered AISG 1
  // device back the address the search's broadcast reset took.
  EXPECT_EQ(CountAssignments(), 1);
  for (const SentFrame& f : line->sent) {
    if (f.IsAssignment()) {
      EXPECT_EQ(f.XidParam(2), Bytes{122});
    }
  }
  EXPECT_EQ(SimWithId(Uid("KA", "0000RE0912004402"))->address, 122);
  EXPECT_EQ(aisg1->GetState(), AISGDevice::kStateOk);
  EXPECT_EQ(RegistryCount(), 4);

  // Unknown device, unsupported type: nothing registered.
  char nope[] = "NOPE";
  out = Quiet([&] { EXPECT_EQ(AISGDevice::ScanSingleDevice(vendor, nope), nullptr); });
  EXPECT_NE(out.find("Can not find this device:KA, NOPE\n"), std::string::npos);
  char serial32[] = "MR4401203903";
  out = Quiet([&] { EXPECT_EQ(AISGDevice::ScanSingleDevice(vendor, serial32), nullptr); });
  EXPECT_NE(out.find("RAS not supported!\n"), std::string::npos);
  EXPECT_EQ(RegistryCount(), 4);
  // Missing texts are searched as empty ones.
  Quiet([&] { EXPECT_EQ(AISGDevice::ScanSingleDevice(nullptr, nullptr), nullptr); });
}

TEST_F(ScanTest, Aisg2AddressesSkipThoseOfAisg1DevicesAboveNinetySix) {
  Load(Dev(1, 1, "0000RE0912004401") + Dev(2, 1, "MR4401203902") + Dev(1, 1, "0000RE0912004403") +
       Dev(2, 17, "MR4401203904") + Dev(1, 1, "0000RE0912004405"));
  // 99 counts as 96; the next addresses, 97 and 99, are taken.
  Sim(0)->address = 97;
  Sim(2)->address = 99;
  Sim(4)->address = 3;
  const std::string out = Quiet([&] { EXPECT_EQ(AISGDevice::Scan(3, 0), 0); });
  EXPECT_NE(out.find("max address assigned: 96\n"), std::string::npos);
  EXPECT_NE(out.find("device:KA , assigned address: 98\ndevice:KA , assigned address: 100\n"),
            std::string::npos);
  std::vector<std::string> got = Registered();
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (Strings{"100:17:2", "3:1:1", "97:1:1", "98:1:2", "99:1:1"}));
  // Every device answers alone at its own address.
  for (int i = 0; i < RegistryCount(); ++i) {
    EXPECT_EQ(RegistryEntry(i)->GetState(), AISGDevice::kStateOk) << Registered()[i];
  }
}

TEST_F(ScanTest, SingleDeviceNeverGetsAnAddressAbove128) {
  Load(Dev(2, 1, "MR4401203901") + Dev(1, 1, "0000RE0912004402"));
  ASSERT_EQ(ProbeDevice::AddDevice(new ProbeDevice(1, 2, 128, "KAa", 3)), 0);
  ASSERT_EQ(ProbeDevice::AddDevice(new ProbeDevice(1, 2, 1, "KAb", 3)), 0);
  char vendor[] = "KA";
  char serial[] = "MR4401203901";
  AISGDevice* added = nullptr;
  Quiet([&] { added = AISGDevice::ScanSingleDevice(vendor, serial); });
  // 129 is no HDLC address: the lowest free one is taken.
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->GetAddress(), 2);
  char serial1[] = "0000RE0912004402";
  Quiet([&] { added = AISGDevice::ScanSingleDevice(vendor, serial1); });
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->GetAddress(), 3);
  EXPECT_EQ(SimWithId(Uid("KA", "0000RE0912004402"))->address, 3);
  for (const SentFrame& f : line->sent) {
    if (f.IsAssignment()) {
      EXPECT_LE(f.XidParam(2).at(0), 128);
    }
  }
}

TEST_F(ScanTest, DevicesOfEveryFourteenByteVendorCanBeAdded) {
  LoadFile("short-ids.site");
  char rw[] = "RW";
  char re[] = "RE";
  char rwSerial[] = "R24A000013";
  char reSerial[] = "R24A001013";
  AISGDevice* a = nullptr;
  AISGDevice* b = nullptr;
  Quiet([&] {
    a = AISGDevice::ScanSingleDevice(rw, rwSerial);
    b = AISGDevice::ScanSingleDevice(re, reSerial);
  });
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(a->GetUniqueIDSize(), 14);
  EXPECT_EQ(a->GetAddress(), 1);
  EXPECT_EQ(b->GetAddress(), 2);
  EXPECT_EQ(a->GetState(), AISGDevice::kStateOk);
  EXPECT_EQ(b->GetState(), AISGDevice::kStateOk);
}

TEST_F(ScanTest, AScanThatMayHaveMissedDevicesSaysSoAndKeepsWhatItFound) {
  // Devices that differ only above the depth are all found: a complete scan.
  LoadFile("deep-collision.site");
  std::string out = Quiet([&] { EXPECT_EQ(AISGDevice::Scan(3, 1), 0); });
  EXPECT_EQ(RegistryCount(), 5);
  EXPECT_EQ(out.find("may have been missed"), std::string::npos);

  // More devices than three minutes of search can separate.
  LoadFile("bus30.site");
  int r = -1;
  out = Quiet([&] { r = AISGDevice::Scan(3, 1); });
  EXPECT_EQ(r, kDevResultDevicesMissed);
  EXPECT_NE(out.find("AISGDevice::Scan() devices may have been missed!\n"), std::string::npos);
  const size_t at = out.find("AISGDevice::Scan() find ");
  ASSERT_NE(at, std::string::npos);
  const int found = std::atoi(out.c_str() + at + std::strlen("AISGDevice::Scan() find "));
  EXPECT_GT(found, 0);
  EXPECT_LT(found, 30);
  EXPECT_EQ(RegistryCount(), std::min(found, 24));
  for (int i = 0; i < RegistryCount(); ++i) {
    EXPECT_EQ(RegistryEntry(i)->GetState(), AISGDevice::kStateOk) << Registered()[i];
  }
}

class SwitchTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    Load(
        "[device]\ngeneration = 2\ntype = 1\nvendor = AN\nserial = ATM3000000001\n"
        "product = ATM3\n\n"
        "[device]\ngeneration = 1\ntype = 1\nvendor = AN\nserial = ATM3000000002\n"
        "product = ATM3\n\n" +
        Dev(2, 1, "MR4401203903"));
    Quiet([&] { AISGDevice::Scan(3, 1); });
    ASSERT_EQ(RegistryCount(), 3);
    line->sent.clear();
  }
  AISGDevice* WithSerial(const char* serial) {
    for (int i = 0; i < RegistryCount(); ++i) {
      if (RegistryEntry(i)->GetSerialNumber() == serial) return RegistryEntry(i);
    }
    return nullptr;
  }
};

TEST_F(SwitchTest, UnsupportedVendorsAndVersionsAreRefusedWithoutBusTraffic) {
  char ar[] = "AR";
  char an[] = "AN";
  std::string out = Quiet([&] { EXPECT_EQ(AISGDevice::SwitchAISGVersion(ar, 1), -1); });
  EXPECT_EQ(out, "Vendor [AR] not supported!\n");
  out = Quiet([&] { EXPECT_EQ(AISGDevice::SwitchAISGVersion(an, 3), -1); });
  EXPECT_EQ(out, "Invalid AISG version: 3!\n");
  Quiet([&] { EXPECT_EQ(AISGDevice::SwitchAISGVersion(nullptr, 1), -1); });

  AISGDevice* an2 = WithSerial("ATM3000000001");
  ASSERT_NE(an2, nullptr);
  out = Quiet([&] { EXPECT_EQ(an2->SwitchAISGVersion(2), 84); });
  EXPECT_EQ(out, "Individual device switching ASIG 2 is not supported!\n");
  out = Quiet([&] { EXPECT_EQ(an2->SwitchAISGVersion(0), 84); });
  EXPECT_EQ(out, "Invalid AISG version: 0!\n");
  AISGDevice* ka = WithSerial("MR4401203903");
  ASSERT_NE(ka, nullptr);
  out = Quiet([&] { EXPECT_EQ(ka->SwitchAISGVersion(1), 84); });
  EXPECT_EQ(out, "Vendor [KA] not supported!\n");
  EXPECT_TRUE(line->sent.empty());
  EXPECT_EQ(an2->GetAISGVersion(), 2);
}

// The simulated devices do not change their generation on these requests,
// so both directions fail and every device keeps its generation.
TEST_F(SwitchTest, DevicesThatDoNotTakeTheSwitchKeepTheirGeneration) {
  char an[] = "AN";
  AISGDevice* an2 = WithSerial("ATM3000000001");
  AISGDevice* an1 = WithSerial("ATM3000000002");
  ASSERT_NE(an2, nullptr);
  ASSERT_NE(an1, nullptr);
  std::string out = Quiet([&] { EXPECT_EQ(AISGDevice::SwitchAISGVersion(an, 1), -1); });
  EXPECT_NE(out.find("Device address " + std::to_string(an2->GetAddress()) +
                     " failed to switch to AISG 1!\n"),
            std::string::npos);
  EXPECT_EQ(an2->GetAISGVersion(), 2);
  EXPECT_EQ(an1->GetAISGVersion(), 1);

  const int64_t start = NowUs();
  line->sent.clear();
  out = Quiet([&] { EXPECT_EQ(AISGDevice::SwitchAISGVersion(an, 2), -1); });
  // Two broadcast resets (3.5 s each), then the alarm test of the AISG 1 device only.
  EXPECT_GE(NowUs() - start, 7'000'000);
  EXPECT_NE(
      out.find("Device address " + std::to_string(an1->GetAddress()) + " is switched to AISG 2!\n"),
      std::string::npos);
  EXPECT_NE(out.find("Test failed! Switch back to AISG 1!\n"), std::string::npos);
  EXPECT_EQ(Occurrences(out, " is switched to AISG 2!"), 1);
  EXPECT_EQ(an1->GetAISGVersion(), 1);
  EXPECT_EQ(an2->GetAISGVersion(), 2);
}

}  // namespace
}  // namespace devtest
