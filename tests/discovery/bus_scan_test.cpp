// Complete scans of whole antenna lines: every device found, sorted,
// addressed 1..n and its type settled; the cost of an empty bus; the depth
// limits and the time limit of the search.
#include <cstdlib>
#include <cstring>

#include "tests/discovery/discovery_test_util.h"

namespace disctest {
namespace {

// The runtime the search reports, in seconds; -1 when missing.
double ReportedRuntime(const std::string& out) {
  const std::string key = "\nRuntime: ";
  const size_t at = out.find(key);
  if (at == std::string::npos) return -1;
  const std::string value = out.substr(at + key.size(), out.find('\n', at + 1) - at - key.size());
  // Three decimals, as printed.
  const size_t point = value.find('.');
  if (point == std::string::npos || value.size() - point != 4) return -1;
  return std::strtod(value.c_str(), nullptr);
}

int Occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

const std::string kStars(60, '*');

TEST_F(DiscoveryTest, FullLinesAreFoundSortedAndNumbered) {
  struct Case {
    const char* site;
    int depth;
    int expected;
  };
  // AISG 2.0 devices with 14-byte IDs answer the 19-byte pass as well, so
  // the full lines need more than a default-depth search's three minutes: a
  // deeper search (and with it more time) is used.
  for (const Case& c :
       {Case{"bus24.site", 4, 24}, Case{"bus30.site", 6, 30}, Case{"search-edge.site", 3, 17}}) {
    SCOPED_TRACE(c.site);
    LoadFile(c.site);
    devices.clear();
    const int64_t start = NowUs();
    int settled = 0;
    const std::string out = Quiet([&] { settled = ep->ScanAllDevice(&devices, c.depth); });
    EXPECT_EQ(settled, c.expected);
    ASSERT_EQ(static_cast<int>(devices.size()), c.expected);
    ExpectAllFoundAndAddressed(devices);
    EXPECT_EQ(out.find("Scan terminated!"), std::string::npos);
    EXPECT_FALSE(ep->SearchMayHaveMissed());
    EXPECT_EQ(out.find("Fail to"), std::string::npos);
    const double runtime = ReportedRuntime(out);
    EXPECT_GT(runtime, 0);
    EXPECT_LE(runtime, c.depth * 60.0);
    std::printf("%s: %d devices, %d scans, search %.1f s, whole scan %.1f s\n", c.site, settled,
                CountScans(), runtime, (NowUs() - start) / 1e6);
    EXPECT_NE(out.find(kStars + "\nBinary Search Done, total devices found: " +
                       std::to_string(c.expected) + "\nRuntime: "),
              std::string::npos);
    EXPECT_NE(out.find(kStars + "\nAddress Assignment Done, total devices assigned: " +
                       std::to_string(c.expected) + "\n"),
              std::string::npos);
    TearDown();
  }
}

TEST_F(DiscoveryTest, SummaryListsPrintableIdsAddressesAndTypes) {
  LoadFile("bus24.site");
  const std::string out = Quiet([&] { ep->ScanAllDevice(&devices); });
  // The zero bytes of the IDs are left out; addresses follow the byte order.
  const size_t summary = out.find("Address Assignment Done");
  ASSERT_NE(summary, std::string::npos);
  const std::string tail = out.substr(summary);
  EXPECT_NE(tail.find("\nuid: ALAL1900234, address: 1, aisg: 2, type: 0x11\n"), std::string::npos);
  EXPECT_NE(tail.find("\nuid: KA0000RE0912004471, address: 16, aisg: 1, type: 0x01\n"),
            std::string::npos);
  EXPECT_NE(tail.find("\nuid: RWR24A000013, address: 24, aisg: 2, type: 0x01\n" + kStars + "\n"),
            std::string::npos);
  EXPECT_EQ(Occurrences(tail, "\nuid: "), 24);
  // Every device was announced once when found.
  EXPECT_EQ(
      Occurrences(out, "--------------------------  New ALD Found  ---------------------------\n"),
      24);
}

TEST_F(DiscoveryTest, DemoLineEveryDeviceFound) {
  LoadFile("demo.site");
  int settled = 0;
  Quiet([&] { settled = ep->ScanAllDevice(&devices); });
  for (int i = 0; i < bus->DeviceCount(); ++i) EXPECT_TRUE(Reachable(bus->Device(i).uniqueId));
  EXPECT_EQ(settled, bus->DeviceCount());
  ExpectAllFoundAndAddressed(devices);
}

TEST_F(DiscoveryTest, EmptyBusCostsThirtyFourScansAndTheResets) {
  Use({});
  int found = -1;
  const std::string out = Quiet([&] { found = ep->ScanAllDevice(&devices); });
  EXPECT_EQ(found, 0);
  EXPECT_TRUE(devices.empty());
  const auto& sent = line->sent;
  // 24 address resets with the all-zero ID, in address order, then the
  // broadcast reset.
  ASSERT_GE(sent.size(), 25u);
  for (int a = 1; a <= 24; ++a) {
    const SentFrame& f = sent[static_cast<size_t>(a - 1)];
    ASSERT_TRUE(f.IsAssignment()) << a;
    EXPECT_EQ(f.address, 0xFF);
    EXPECT_EQ(f.Param(2), Bytes{static_cast<uint8_t>(a)});
    EXPECT_EQ(f.Param(1), Bytes(19, 0));
  }
  EXPECT_TRUE(sent[24].IsReset());
  EXPECT_EQ(sent[24].address, 0xFF);
  // The whole-ID pass tries the top level five times on each half, each of
  // the six vendor passes twice.
  ASSERT_EQ(sent.size(), 25u + 34u);
  for (size_t i = 25; i < 35; ++i) EXPECT_EQ(sent[i].Param(1).size(), 19u);
  const char* vendors[] = {"AL", "LA", "LG", "PW", "RE", "RW"};
  for (int v = 0; v < 6; ++v) {
    for (int k = 0; k < 4; ++k) {
      const SentFrame& f = sent[35 + 4 * v + k];
      SCOPED_TRACE(std::string(vendors[v]) + " pass");
      const Bytes id = f.Param(1);
      const Bytes mask = f.Param(3);
      ASSERT_EQ(id.size(), 14u);
      ASSERT_EQ(mask.size(), 14u);
      EXPECT_EQ(std::string(id.begin(), id.begin() + 2), vendors[v]);
      EXPECT_EQ(mask[0], 0xFF);
      EXPECT_EQ(mask[1], 0xFF);
    }
  }
  EXPECT_NE(out.find("Binary Search Done, total devices found: 0\n"), std::string::npos);
  EXPECT_NE(out.find("Address Assignment Done, total devices assigned: 0\n"), std::string::npos);
}

TEST_F(DiscoveryTest, DepthIsClampedToOneAndSeventeen) {
  // The first scan of a search shows its top level: its mask decides bit 3
  // of the first character the search resolves.
  struct Case {
    int depth;
    int firstByte;  // index of the first resolved character
  };
  for (const Case& c : {Case{0, 18}, Case{-5, 18}, Case{1, 18}, Case{3, 16}, Case{17, 2},
                        Case{18, 2}, Case{30, 2}}) {
    SCOPED_TRACE(c.depth);
    Use({});
    std::vector<AISGDeviceParams> none;
    Quiet([&] { EXPECT_EQ(ep->BinarySearch(&none, c.depth), 0); });
    ASSERT_EQ(line->sent.size(), 34u);
    Bytes expected(19, 0);
    expected[static_cast<size_t>(c.firstByte)] = 0x08;
    EXPECT_EQ(line->sent[0].Param(3), expected);
    TearDown();
  }
}

TEST_F(DiscoveryTest, SearchEndsAfterDepthMinutesWithWhatItFound) {
  // 30 devices need more than three minutes at depth 3.
  LoadFile("bus30.site");
  int settled = 0;
  const std::string out = Quiet([&] { settled = ep->ScanAllDevice(&devices, 3); });
  const std::string stop = "Scan terminated! Scan Time > 3 mins.\n";
  ASSERT_NE(out.find(stop), std::string::npos);
  // The cut-off search says it may have missed devices.
  EXPECT_TRUE(ep->SearchMayHaveMissed());
  EXPECT_NE(out.find("Runtime: "), std::string::npos);
  EXPECT_NE(out.find("\nSearch incomplete, devices may have been missed!\n"), std::string::npos);
  const double runtime = ReportedRuntime(out);
  EXPECT_GE(runtime, 180.0);
  EXPECT_LT(runtime, 181.0);
  // No scan goes out once the time is up.
  for (const SentFrame& f : line->sent) {
    if (f.IsScan()) {
      EXPECT_LE(f.atUs - ep->scanStartUs, 180'000'000 + 1'000'000);
    }
  }
  // Each node reached after the limit says so once: a handful, not a tree.
  EXPECT_LE(Occurrences(out, stop), 2 * (4 * 3 + 4) + 5);
  // What was found is sorted, numbered and addressed all the same.
  EXPECT_GT(settled, 0);
  EXPECT_LT(settled, 30);
  EXPECT_EQ(settled, static_cast<int>(devices.size()));
  for (size_t i = 0; i < devices.size(); ++i) {
    EXPECT_EQ(devices[i].devAddress, static_cast<int>(i + 1));
    ald::sim::SimDevice* d = DeviceWithId(IdOf(devices[i]));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->address, static_cast<int>(i + 1));
    if (i > 0) {
      EXPECT_LT(std::memcmp(devices[i - 1].devUniqueID, devices[i].devUniqueID, 19), 0);
    }
  }
}

TEST_F(DiscoveryTest, DeepestSearchFindsTheWholeLineWithinItsSeventeenMinutes) {
  // Depth 18 counts as 17. The 14-byte passes resolve the 12 serial
  // characters their IDs have; deciding the vendor bytes or bytes beyond the
  // ID as well doubled the tree at every such level, and the first of those
  // passes ate the whole time.
  LoadFile("bus30.site");
  const std::string out = Quiet([&] { EXPECT_EQ(ep->BinarySearch(&devices, 18), 30); });
  EXPECT_EQ(out.find("Scan terminated!"), std::string::npos);
  EXPECT_FALSE(ep->SearchMayHaveMissed());
  const double runtime = ReportedRuntime(out);
  EXPECT_GT(runtime, 0);
  EXPECT_LT(runtime, 17 * 60.0);
  std::printf("bus30 at depth 17: %d scans, %.1f s\n", CountScans(), runtime);
}

TEST_F(DiscoveryTest, RecordsPassedInTakePartInTheSearch) {
  Load(R"(
[device]
generation = 2
type = 1
vendor = KA
serial = 0001
[device]
generation = 2
type = 1
vendor = KA
serial = 0002
)");
  // One record of a device on the bus, one of a device elsewhere that sorts
  // before both.
  AISGDeviceParams known{};
  const std::string second = Uid("KA", "0002");
  std::memcpy(known.devUniqueID, second.data(), 19);
  known.devUniqueIDSize = 19;
  known.devAddress = 77;
  AISGDeviceParams other{};
  std::memcpy(other.devUniqueID, "AA", 2);
  other.devUniqueIDSize = 2;
  // Records with equal IDs keep their order.
  AISGDeviceParams otherAgain = other;
  other.devAddress = 1;
  otherAgain.devAddress = 2;
  devices = {known, other, otherAgain};
  int n = 0;
  Quiet([&] { n = ep->BinarySearch(&devices, 3); });
  ASSERT_EQ(n, 4);
  EXPECT_EQ(IdOf(devices[0]), "AA");
  EXPECT_EQ(devices[0].devAddress, 1);
  EXPECT_EQ(IdOf(devices[1]), "AA");
  EXPECT_EQ(devices[1].devAddress, 2);
  EXPECT_EQ(IdOf(devices[2]), Uid("KA", "0001"));
  EXPECT_EQ(IdOf(devices[3]), second);
  EXPECT_EQ(devices[3].devAddress, 77) << "the record passed in, not a new one";
}

}  // namespace
}  // namespace disctest
