// Address assignment of single devices and of a whole list, the search for
// one known device, and the address resets, against simulated devices of
// both generations.
#include <cstring>

#include "tests/discovery/discovery_test_util.h"

namespace disctest {
namespace {

std::string AsText(const Bytes& b) {
  return {b.begin(), b.end()};
}

AISGDeviceParams RecordFor(const std::string& uid) {
  AISGDeviceParams p{};
  std::memcpy(p.devUniqueID, uid.data(), uid.size());
  p.devUniqueIDSize = static_cast<int>(uid.size());
  return p;
}

const char kTwoGenerations[] = R"(
[device]
generation = 2
type = 17
vendor = KA
serial = MR4401203901
subunits = 2
[device]
generation = 1
type = 1
vendor = KA
serial = 0000RE0912004471
)";

TEST_F(DiscoveryTest, EmIdsAreSentWithoutTheirZeroBytes) {
  Load(R"(
[device]
generation = 2
type = 1
vendor = EM
serial = 12345678
uid-length = 13
[device]
generation = 2
type = 1
vendor = EM
serial = 1234567890AB
[device]
generation = 2
type = 1
vendor = KA
serial = 12345678
)");
  AISGDeviceParams p{};
  // "EM", three zero bytes, 12345678: ten characters go out.
  const std::string shortEm = Uid("EM", "12345678", 13);
  Quiet([&] { EXPECT_EQ(ep->SetDeviceAddress(4, const_cast<char*>(shortEm.data()), 13, &p), 0); });
  ASSERT_EQ(line->sent.size(), 1u);
  EXPECT_EQ(AsText(line->sent[0].Param(1)), "EM12345678");
  EXPECT_EQ(line->sent[0].Param(2), Bytes{4});
  EXPECT_EQ(DeviceWithId(shortEm)->address, 4);
  // The answer still names the whole ID.
  EXPECT_EQ(IdOf(p), shortEm);

  AISGDeviceParams q = RecordFor(Uid("EM", "1234567890AB"));
  Quiet([&] { EXPECT_EQ(ep->SetDeviceAddress(5, &q), 0); });
  EXPECT_EQ(AsText(line->sent.back().Param(1)), "EM1234567890AB");
  EXPECT_EQ(DeviceWithId(Uid("EM", "1234567890AB"))->address, 5);
  EXPECT_EQ(q.devUniqueIDSize, 19);

  // Other vendors' zero bytes are part of the ID.
  AISGDeviceParams r = RecordFor(Uid("KA", "12345678"));
  Quiet([&] { EXPECT_EQ(ep->SetDeviceAddress(6, &r), 0); });
  EXPECT_EQ(AsText(line->sent.back().Param(1)), Uid("KA", "12345678"));
  EXPECT_EQ(DeviceWithId(Uid("KA", "12345678"))->address, 6);
}

TEST_F(DiscoveryTest, AssignmentIsAnsweredInEachGenerationsWay) {
  Load(kTwoGenerations);
  // AISG 2.0: an XID answer that names the device.
  AISGDeviceParams p = RecordFor(Uid("KA", "MR4401203901"));
  std::string out = Quiet([&] { EXPECT_EQ(ep->SetDeviceAddress(7, &p), 0); });
  EXPECT_EQ(p.devAddress, 7);
  EXPECT_EQ(p.devAisgVersion, 2);
  EXPECT_EQ(p.devType, 17);
  EXPECT_STREQ(p.devVendorID, "KA");
  ASSERT_GT(p.devRcuCodesSize, 2);
  EXPECT_EQ(p.devRcuCodes[0], 1);  // the unique ID parameter comes first
  EXPECT_EQ(p.devRcuCodes[1], 19);
  EXPECT_NE(out.find("p->devRcuCodes: 1 13 4b 41 "), std::string::npos) << out;
  EXPECT_NE(out.find("p->devType=0x11\np->devVendorID=KA\n"), std::string::npos) << out;

  // AISG 1.x: a bare UA; the type is left for a link to ask.
  AISGDeviceParams q = RecordFor(Uid("KA", "0000RE0912004471"));
  out = Quiet([&] { EXPECT_EQ(ep->SetDeviceAddress(8, &q), 0); });
  EXPECT_EQ(q.devAddress, 8);
  EXPECT_EQ(q.devAisgVersion, 1);
  EXPECT_EQ(q.devType, 0);
  EXPECT_EQ(q.devRcuCodesSize, 0);
  EXPECT_EQ(out.find("p->devRcuCodes"), std::string::npos);
  EXPECT_EQ(bus->Device(0).address, 7);
  EXPECT_EQ(bus->Device(1).address, 8);
}

TEST_F(DiscoveryTest, AssignmentGivesUpAfterTenAttemptsAndRefusesBadIds) {
  Load(kTwoGenerations);
  AISGDeviceParams p = RecordFor(Uid("KA", "NOBODY"));
  Quiet([&] { EXPECT_EQ(ep->SetDeviceAddress(3, &p), 89); });
  EXPECT_EQ(CountAssignments(), 10);

  // An empty ID would read as an address reset; a longer one than any
  // device has cannot be right. Neither goes out.
  line->sent.clear();
  char id[32] = "KA";
  Quiet([&] {
    EXPECT_EQ(ep->SetDeviceAddress(3, id, 0, &p), 84);
    EXPECT_EQ(ep->SetDeviceAddress(3, id, 20, &p), 84);
    EXPECT_EQ(ep->SetDeviceAddress(3, nullptr, 19, &p), 84);
    p.devUniqueIDSize = -1;
    EXPECT_EQ(ep->SetDeviceAddress(3, &p), 84);
  });
  EXPECT_TRUE(line->sent.empty());
}

TEST_F(DiscoveryTest, AllAddressesAssignedAndTypesSettledPerGeneration) {
  auto list = ParseOrFail(std::string(kTwoGenerations) + R"(
[device]
generation = 2
type = 2
vendor = CC
serial = TD24090011
)");
  list[2]->deviceType = 0;  // an AISG 2.0 device that names no type
  Use(std::move(list));
  std::vector<AISGDeviceParams> records = {
      RecordFor(Uid("KA", "MR4401203901")), RecordFor(Uid("KA", "0000RE0912004471")),
      RecordFor(Uid("CC", "TD24090011")), RecordFor(Uid("KA", "NOBODY"))};
  for (size_t i = 0; i < records.size(); ++i) records[i].devAddress = static_cast<int>(i + 1);

  int settled = 0;
  const std::string out = Quiet([&] { settled = ep->SetAllDeviceAddress(&records); });
  EXPECT_EQ(settled, 2);
  EXPECT_EQ(out.rfind("Assigning addresses to ALDs...\n", 0), 0u);
  // The AISG 1.x device was asked for its type over a link.
  EXPECT_EQ(records[1].devType, 1);
  EXPECT_STREQ(records[1].devVendorID, "KA");
  EXPECT_GE(CountControl(0x93), 1);
  for (const SentFrame& f : line->sent) {
    if (f.control == 0x93 || (f.control & 0x01) == 0) {
      EXPECT_EQ(f.address, 2) << "only the AISG 1.x device is asked";
    }
  }
  // One assignment each for the three devices, ten for the absent one;
  // nothing else for the AISG 2.0 device without a type or the absent one.
  EXPECT_EQ(CountAssignments(), 13);
  EXPECT_EQ(line->sent.back().IsAssignment(), true);
  EXPECT_EQ(records[2].devType, 0);
  EXPECT_EQ(records[3].devAddress, 4) << "keeps its planned address";
  const std::string failAddress = "Fail to set device address!\n";
  const std::string failType = "Fail to determinte device type!\n";
  EXPECT_EQ(out.find(failAddress), out.rfind(failAddress));
  const size_t firstType = out.find(failType);
  ASSERT_NE(firstType, std::string::npos);
  EXPECT_LT(firstType, out.find(failAddress)) << "the type-less AISG 2.0 device comes first";
  EXPECT_NE(out.find(failAddress + failType), std::string::npos);
  EXPECT_EQ(bus->Device(0).address, 1);
  EXPECT_EQ(bus->Device(1).address, 2);
  EXPECT_EQ(bus->Device(2).address, 3);
}

TEST_F(DiscoveryTest, AddDeviceAddressSettlesOneDevice) {
  auto list = ParseOrFail(std::string(kTwoGenerations) + R"(
[device]
generation = 2
type = 2
vendor = PW
serial = TM1107000829
[device]
generation = 2
type = 1
vendor = CC
serial = NOTYPE
)");
  list[3]->deviceType = 0;
  Use(std::move(list));
  char vendor[] = "KA";
  char serial[] = "unused";

  AISGDeviceParams one = RecordFor(Uid("KA", "0000RE0912004471"));
  Quiet([&] { EXPECT_EQ(ep->AddDeviceAddress(5, vendor, serial, &one), 0); });
  EXPECT_EQ(one.devAisgVersion, 1);
  EXPECT_EQ(one.devType, 1);
  EXPECT_EQ(bus->Device(1).address, 5);
  EXPECT_GE(CountControl(0x93), 1);

  line->sent.clear();
  AISGDeviceParams two = RecordFor(Uid("KA", "MR4401203901"));
  Quiet([&] { EXPECT_EQ(ep->AddDeviceAddress(6, vendor, serial, &two), 0); });
  EXPECT_EQ(two.devType, 17);
  EXPECT_EQ(line->sent.size(), 1u) << "the XID answer named the type";

  // A 14-byte ID held in a 19-byte record: the second try sends 14 bytes.
  line->sent.clear();
  AISGDeviceParams pw = RecordFor("PWTM1107000829?????");
  Quiet([&] { EXPECT_EQ(ep->AddDeviceAddress(7, vendor, serial, &pw), 0); });
  EXPECT_EQ(CountAssignments(), 11);
  EXPECT_EQ(line->sent.back().Param(1).size(), 14u);
  EXPECT_EQ(bus->Device(2).address, 7);
  EXPECT_EQ(pw.devType, 2);

  line->sent.clear();
  AISGDeviceParams none = RecordFor(Uid("KA", "NOBODY"));
  Quiet([&] { EXPECT_EQ(ep->AddDeviceAddress(8, vendor, serial, &none), 89); });
  EXPECT_EQ(CountAssignments(), 20);

  AISGDeviceParams typeless = RecordFor(Uid("CC", "NOTYPE"));
  Quiet([&] { EXPECT_EQ(ep->AddDeviceAddress(9, vendor, serial, &typeless), 82); });
  EXPECT_EQ(bus->Device(3).address, 9);
}

TEST_F(DiscoveryTest, OneKnownDeviceIsFoundByVendorAndSerial) {
  Load(std::string(kTwoGenerations) + R"(
[device]
generation = 2
type = 2
vendor = PW
serial = TM1107000829
[device]
generation = 2
type = 1
vendor = RE
serial = R0815
[device]
generation = 1
type = 1
vendor = CS
serial = ABCDEFGHIJKLMNOPQ
)");
  AISGDeviceParams p{};
  p.devAddress = 9;
  p.devType = 5;
  p.dev3gppVersion = 7;
  char ka[] = "KA";
  char serial[] = "0000RE0912004471";
  int64_t start = NowUs();
  Quiet([&] { EXPECT_EQ(ep->ScanDevice(ka, serial, &p), 0); });
  EXPECT_EQ(IdOf(p), Uid("KA", "0000RE0912004471"));
  EXPECT_EQ(p.devAisgVersion, 1);
  EXPECT_EQ(p.devType, 1);
  EXPECT_EQ(p.devAddress, 0);
  EXPECT_EQ(p.dev3gppVersion, 0);
  // The broadcast reset and its pause, then one scan for the whole ID.
  ASSERT_EQ(line->sent.size(), 2u);
  EXPECT_TRUE(line->sent[0].IsReset());
  EXPECT_EQ(line->sent[0].address, 0xFF);
  EXPECT_GE(NowUs() - start, 3'500'000);
  EXPECT_EQ(AsText(line->sent[1].Param(1)), Uid("KA", "0000RE0912004471"));
  Bytes mask(19, 0xFF);
  mask[2] = 0;  // the gap between vendor code and serial number is open
  EXPECT_EQ(line->sent[1].Param(3), mask);

  // Vendors with 14-byte IDs are searched with the 14-byte pattern.
  for (const auto& id : {std::pair<std::string, std::string>{"PW", "TM1107000829"},
                         std::pair<std::string, std::string>{"RE", "R0815"}}) {
    const std::string& vendor = id.first;
    const std::string& number = id.second;
    SCOPED_TRACE(vendor);
    line->sent.clear();
    AISGDeviceParams q{};
    Quiet([&] {
      EXPECT_EQ(
          ep->ScanDevice(const_cast<char*>(vendor.c_str()), const_cast<char*>(number.c_str()), &q),
          0);
    });
    EXPECT_EQ(IdOf(q), Uid(vendor, number, 14));
    ASSERT_EQ(line->sent.size(), 2u);
    EXPECT_EQ(AsText(line->sent[1].Param(1)), Uid(vendor, number, 14));
  }

  // A serial number longer than a unique ID holds: its first 17 characters.
  line->sent.clear();
  char cs[] = "CS";
  char longSerial[] = "ABCDEFGHIJKLMNOPQRST";
  AISGDeviceParams r{};
  Quiet([&] { EXPECT_EQ(ep->ScanDevice(cs, longSerial, &r), 0); });
  ASSERT_EQ(line->sent.size(), 2u);
  EXPECT_EQ(AsText(line->sent[1].Param(1)), "CSABCDEFGHIJKLMNOPQ");
  EXPECT_EQ(line->sent[1].Param(3), Bytes(19, 0xFF));

  // Nobody: ten scans, then 89.
  line->sent.clear();
  char missing[] = "0000RE0912004472";
  AISGDeviceParams s{};
  Quiet([&] { EXPECT_EQ(ep->ScanDevice(ka, missing, &s), 89); });
  EXPECT_EQ(CountResets(), 1);
  EXPECT_EQ(CountScans(), 10);
}

TEST_F(DiscoveryTest, AddressResetsReleaseAddresses) {
  auto list = ParseOrFail(std::string(kTwoGenerations) + R"(
[device]
generation = 2
type = 2
vendor = CC
serial = TD24090011
)");
  list[0]->address = 1;
  list[1]->address = 2;
  list[2]->address = 30;
  Use(std::move(list));

  Quiet([&] {
    EXPECT_EQ(ep->ResetDeviceAddress(2), 0);
    EXPECT_EQ(ep->ResetDeviceAddress(9), 0);  // nobody there
  });
  EXPECT_EQ(bus->Device(0).address, 1);
  EXPECT_EQ(bus->Device(1).address, 0);
  ASSERT_EQ(line->sent.size(), 2u);
  EXPECT_EQ(line->sent[0].Param(1), Bytes(19, 0));
  EXPECT_EQ(line->sent[0].Param(2), Bytes{2});

  line->sent.clear();
  const int64_t start = NowUs();
  Quiet([&] { EXPECT_EQ(ep->ResetAllDeviceAddress(), 0); });
  ASSERT_EQ(line->sent.size(), 25u);
  for (int a = 1; a <= 24; ++a) {
    EXPECT_EQ(line->sent[static_cast<size_t>(a - 1)].Param(2), Bytes{static_cast<uint8_t>(a)});
  }
  EXPECT_TRUE(line->sent[24].IsReset());
  EXPECT_GE(NowUs() - start, 3'500'000);
  // Address 30 is beyond the one-by-one resets; the broadcast reaches it.
  for (int i = 0; i < bus->DeviceCount(); ++i) EXPECT_EQ(bus->Device(i).address, 0);
}

}  // namespace
}  // namespace disctest
