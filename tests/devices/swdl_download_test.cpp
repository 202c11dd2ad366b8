// Software download into one device object on the simulated line: the file
// list, one link per file, the restart pauses of each generation and vendor,
// the search and re-addressing afterwards and the generation change.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "aldlink/devices/retdevice.h"
#include "tests/devices/device_test_util.h"

namespace {

using devtest::Bytes;
using devtest::SentFrame;

constexpr uint8_t kStart1 = 0x2E;
constexpr uint8_t kStart2 = 0x40;
constexpr uint8_t kEnd1 = 0x22;
constexpr uint8_t kEnd2 = 0x42;
constexpr uint8_t kReset = 0x03;
constexpr uint8_t kEnable = 0x08;
constexpr int64_t kSecond = 1'000'000;

std::string Site(int generation, const std::string& vendor) {
  return "[device]\ngeneration = " + std::to_string(generation) + "\ntype = 1\nvendor = " + vendor +
         "\nserial = SW0000123\nproduct = RCU-1\nhw-version = H1\nsw-version = 1.0\n"
         "\n[subunit 1]\ntilt-range = 0.0 10.0\ntilt = 2.0\n";
}

class DownloadTest : public devtest::DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    std::string pattern = (std::filesystem::temp_directory_path() / "swdlXXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override {
    std::error_code error;
    std::filesystem::remove_all(dir, error);
    DeviceTest::TearDown();
  }

  // An image file of `size` bytes; returns its path.
  std::string Image(const std::string& name, int size) {
    const std::string path = dir + "/" + name;
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < size; ++i) out.put(static_cast<char>(i * 7 + size));
    return path;
  }

  // Runs the download with the list `files` and keeps the trace.
  int Download(AISGDevice& device, std::string files) {
    int result = 0;
    trace = Quiet([&] { result = device.DownloadSoftware(files.data()); });
    return result;
  }

  // Layer-7 requests of either generation with this procedure code, with
  // the times they were written.
  std::vector<const SentFrame*> Requests(uint8_t code) const {
    std::vector<const SentFrame*> out;
    for (const SentFrame& f : line->sent) {
      if (!f.IsInformation() || f.info.size() < 3) continue;
      const bool aisg1 = f.info[0] == 0x01 && f.info.size() >= 4 && f.info[1] == code;
      if (f.info[0] == code || aisg1) out.push_back(&f);
    }
    return out;
  }
  // Index of the first frame with `control` written at or after `fromUs`.
  int FirstAfter(uint8_t control, int64_t fromUs) const {
    for (size_t i = 0; i < line->sent.size(); ++i) {
      if (line->sent[i].control == control && line->sent[i].atUs >= fromUs)
        return static_cast<int>(i);
    }
    return -1;
  }
  // Lines of the trace that start with `prefix`.
  std::vector<std::string> TraceLines(const std::string& prefix) const {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < trace.size()) {
      const size_t end = trace.find('\n', at);
      const std::string line = trace.substr(at, end - at);
      if (line.rfind(prefix, 0) == 0) out.push_back(line);
      if (end == std::string::npos) break;
      at = end + 1;
    }
    return out;
  }

  std::string dir;
  std::string trace;
};

TEST_F(DownloadTest, TwoFilesEachGetTheirOwnLinkAndRestartPause) {
  Load(Site(2, "KA"));
  const std::string a = Image("first.bin", 150);
  const std::string b = Image("second.bin", 300);
  auto device = ProbeFor(0, 7);

  EXPECT_EQ(Download(*device, a + "," + b), 0);

  const auto starts = Requests(kStart2);
  const auto ends = Requests(kEnd2);
  ASSERT_EQ(starts.size(), 2u);
  ASSERT_EQ(ends.size(), 2u);
  EXPECT_LT(ends[0]->atUs, starts[1]->atUs);
  EXPECT_EQ(Sim(0)->DownloadedBytes(), 300);  // the second image came last
  EXPECT_EQ(TraceLines("Start download file:"),
            (std::vector<std::string>{"Start download file:" + a, "Start download file:" + b}));
  // Each file: its own link set-up before the start and a disconnect after
  // 3 + 4 seconds of restart pause.
  for (int i = 0; i < 2; ++i) {
    const int snrm = FirstAfter(devtest::kSnrm, i == 0 ? 0 : ends[0]->atUs);
    ASSERT_GE(snrm, 0);
    EXPECT_LT(line->sent[static_cast<size_t>(snrm)].atUs, starts[static_cast<size_t>(i)]->atUs);
    const int disc = FirstAfter(devtest::kDisc, ends[static_cast<size_t>(i)]->atUs);
    ASSERT_GT(disc, 0);
    const int64_t pause =
        line->sent[static_cast<size_t>(disc)].atUs - line->sent[static_cast<size_t>(disc - 1)].atUs;
    EXPECT_GE(pause, 7 * kSecond);
    EXPECT_LT(pause, 8 * kSecond);
  }
  // Found again, given its address back, refreshed once.
  EXPECT_EQ(Sim(0)->address, 7);
  EXPECT_EQ(device->refreshes, 1);
  EXPECT_EQ(TraceLines("Time to download software: ").size(), 1u);
  EXPECT_EQ(TraceLines("AISGDevice::SaveDevices").size(), 0u);  // generation unchanged
}

TEST_F(DownloadTest, ListIsCutAtCommasSkipsEmptyPiecesAndStopsAfterFive) {
  Load(Site(2, "KA"));
  std::string list = ",";
  std::vector<std::string> names;
  for (int i = 0; i < 7; ++i) {
    names.push_back(Image("f" + std::to_string(i) + ".bin", 100 + i));
    list += names.back() + (i == 2 ? ",," : ",");
  }
  auto device = ProbeFor(0, 3);
  std::string text = list;
  int result = 0;
  trace = Quiet([&] { result = device->DownloadSoftware(text.data()); });

  EXPECT_EQ(result, 0);
  EXPECT_EQ(Requests(kStart2).size(), 5u);
  const auto started = TraceLines("Start download file:");
  ASSERT_EQ(started.size(), 5u);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(started[static_cast<size_t>(i)],
              "Start download file:" + names[static_cast<size_t>(i)]);
  EXPECT_EQ(Sim(0)->DownloadedBytes(), 104);
  // The list was cut in place: the first name now ends at its comma.
  EXPECT_EQ(std::string(text.data() + 1), names[0]);
}

TEST_F(DownloadTest, EmptyListGoesStraightToTheSearch) {
  Load(Site(2, "KA"));
  auto device = ProbeFor(0, 4);
  EXPECT_EQ(Download(*device, ",,"), 0);
  EXPECT_TRUE(Requests(kStart2).empty());
  EXPECT_EQ(Count(devtest::kSnrm), 0);
  EXPECT_EQ(Sim(0)->address, 4);
  EXPECT_EQ(device->refreshes, 1);
}

// One Intel HEX record with its checksum.
std::string HexRecord(int type, int address, const Bytes& data) {
  Bytes b{static_cast<uint8_t>(data.size()), static_cast<uint8_t>(address >> 8),
          static_cast<uint8_t>(address & 0xFF), static_cast<uint8_t>(type)};
  b.insert(b.end(), data.begin(), data.end());
  unsigned sum = 0;
  for (uint8_t x : b) sum += x;
  b.push_back(static_cast<uint8_t>(-sum & 0xFF));
  std::string s = ":";
  char hex[3];
  for (uint8_t x : b) {
    std::snprintf(hex, sizeof hex, "%02X", x);
    s += hex;
  }
  return s;
}

// A file that cannot be used anywhere in the list refuses the whole job
// before the bus is touched: no frame, no restart, no search, no refresh,
// and a result of its own instead of "no answer".
TEST_F(DownloadTest, FilesThatCannotBeUsedAreRefusedBeforeTheBusIsTouched) {
  Load(Site(2, "KA"));
  const std::string a = Image("a.bin", 150);
  const std::string c = Image("c.bin", 150);
  const std::string good1 = HexRecord(0, 0x0100, Bytes(16, 0x21));
  const std::string good2 = HexRecord(0, 0x0110, Bytes(16, 0x42));
  std::string badSum = good2;
  badSum.back() = badSum.back() == '0' ? '1' : '0';
  auto text = [&](const std::string& name, const std::string& content) {
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  };
  struct Case {
    std::string path;
    std::string why;
  };
  const std::vector<Case> cases = {
      {dir + "/missing.bin", "cannot be opened: No such file or directory"},
      {text("empty.bin", ""), "empty"},
      {dir, "not a regular file"},
      {text("garbage.hex", "\x01\x02 binary image\xff\n"),
       "not Intel HEX: record 1 does not begin with ':'"},
      {text("badsum.hex", good1 + "\n" + badSum + "\n:00000001FF\n"),
       "malformed Intel HEX record 2"},
      {text("cut.hex", good1 + "\n" + good2 + "\n"), "Intel HEX without end-of-file record"},
      {text("cutrecord.hex", good1 + "\n" + good2.substr(0, 20)), "malformed Intel HEX record 2"},
      {text("nodata.hex", ":00000001FF\n"), "Intel HEX without data records"},
      {text("after.hex", good1 + "\n:00000001FF\n" + good2 + "\n"),
       "text after the Intel HEX end-of-file record"},
      {text("type.hex", HexRecord(7, 0, Bytes{1, 2}) + "\n:00000001FF\n"),
       "Intel HEX record 1 has the unknown type 07"},
  };
  auto device = ProbeFor(0, 9);
  for (const Case& k : cases) {
    SCOPED_TRACE(k.path);
    line->sent.clear();
    EXPECT_EQ(Download(*device, a + "," + k.path + "," + c), kDevResultFileError);
    EXPECT_TRUE(line->sent.empty());
    EXPECT_EQ(TraceLines("Software file " + k.path + ": " + k.why).size(), 1u) << trace;
    EXPECT_EQ(TraceLines("DownloadSoftware refused: nothing was sent").size(), 1u);
    EXPECT_TRUE(TraceLines("Start download file:").empty());
    EXPECT_EQ(device->refreshes, 0);
    EXPECT_EQ(Sim(0)->DownloadedBytes(), 0);
  }
}

// An Intel HEX image goes out one record per segment, whatever its name; a
// binary image named like one is not taken for text.
TEST_F(DownloadTest, HexImageIsRecognisedByItsContentAndSentRecordByRecord) {
  Load(Site(2, "KA"));
  const std::string rec1 = HexRecord(0, 0x0100, Bytes(16, 0x21));
  const std::string rec2 = HexRecord(0, 0x0110, Bytes(16, 0x42));
  auto device = ProbeFor(0, 4);
  for (const std::string name : {"image.hex", "image.bin", "IMAGE.HEX"}) {
    SCOPED_TRACE(name);
    line->sent.clear();
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << rec1 << "\r\n" << rec2 << "\r\n:00000001FF\r\n";
    EXPECT_EQ(Download(*device, path), 0);
    const auto segments = Requests(0x41);
    ASSERT_EQ(segments.size(), 2u);
    // Code, two length bytes, then the record's bytes: byte count 0x10 first,
    // not the ':' of the text.
    ASSERT_GE(segments[0]->info.size(), 4u);
    EXPECT_EQ(segments[0]->info[3], 0x10);
    EXPECT_EQ(segments[0]->info.size(), 3u + 21u);
    EXPECT_EQ(Sim(0)->DownloadedBytes(), 42);
  }
  // A binary image that happens to begin with ':' stays binary.
  std::string image = ":";
  for (int i = 0; i < 149; ++i) image += static_cast<char>(i * 7);
  const std::string bin = dir + "/colon.bin";
  std::ofstream(bin, std::ios::binary) << image;
  EXPECT_EQ(Download(*device, bin), 0);
  EXPECT_EQ(Sim(0)->DownloadedBytes(), 150);
}

// The restart after a refused AISG 1 download answers on the same record:
// the device's reason code must be taken before it.
TEST_F(DownloadTest, Aisg1RefusalKeepsTheDevicesReasonCodeThroughTheRestart) {
  Load(Site(1, "AN"));  // vendor AN is not enabled before the transfer
  Sim(0)->enabled = false;
  const std::string a = Image("a.bin", 300);
  auto device = ProbeFor(0, 6);
  EXPECT_EQ(Download(*device, a), ald::rc::aisg1::kDeviceDisabled);
  const char disabled[] = {static_cast<char>(ald::rc::aisg1::kDeviceDisabled), 0};
  EXPECT_STREQ(static_cast<char*>(device->GetErrorCodes()), disabled);
  EXPECT_FALSE(Requests(kReset).empty());
  EXPECT_EQ(TraceLines("DownloadSoftware failed").size(), 1u);
  EXPECT_EQ(device->refreshes, 1);
}

TEST_F(DownloadTest, DeviceRefusingTheFirstFileGivesItsReturnCode) {
  Load(Site(2, "KA"));
  Sim(0)->faults.failReasons = {0x1E};
  const std::string a = Image("a.bin", 150);
  const std::string b = Image("b.bin", 150);
  auto device = ProbeFor(0, 2);

  EXPECT_EQ(Download(*device, a + "," + b), 0x1E);
  EXPECT_STREQ(static_cast<char*>(device->GetErrorCodes()), "\x1E");
  EXPECT_EQ(Requests(kStart2).size(), 1u);
  EXPECT_EQ(TraceLines("Start download file:").size(), 1u);
  EXPECT_EQ(device->refreshes, 1);
}

TEST_F(DownloadTest, NoLinkGives89AtOnceWithoutSearchOrRefresh) {
  Load(Site(2, "KA"));
  Sim(0)->faults.silent = true;
  const std::string a = Image("a.bin", 150);
  auto device = ProbeFor(0, 2);

  EXPECT_EQ(Download(*device, a + "," + a), 89);
  EXPECT_EQ(TraceLines("SetSNRM fail!").size(), 2u);  // one retry
  EXPECT_TRUE(Requests(kStart2).empty());
  EXPECT_EQ(device->refreshes, 0);
  EXPECT_TRUE(TraceLines("Time to download software").empty());
  EXPECT_EQ(TraceLines("Start download file:").size(), 1u);
}

// AISG 1: enabled before the transfer, reset after it, then 5 seconds (12
// for vendor AR) before the device is looked for.
TEST_F(DownloadTest, Aisg1DeviceIsEnabledResetAndGivenItsRestartPause) {
  for (const char* vendor : {"KA", "AR"}) {
    SCOPED_TRACE(vendor);
    line.reset();
    Load(Site(1, vendor));
    const std::string a = Image("a.bin", 500);
    auto device = ProbeFor(0, 6);
    EXPECT_EQ(Download(*device, a), 0);

    const auto starts = Requests(kStart1);
    ASSERT_EQ(starts.size(), 1u);
    const auto enables = Requests(kEnable);
    ASSERT_FALSE(enables.empty());
    EXPECT_LT(enables.front()->atUs, starts[0]->atUs);
    const auto ends = Requests(kEnd1);
    ASSERT_EQ(ends.size(), 1u);
    const auto resets = Requests(kReset);
    ASSERT_FALSE(resets.empty());
    EXPECT_GE(resets.front()->atUs - ends[0]->atUs, 3 * kSecond);
    // From the last attempt of the reset to the search.
    const int search = FirstAfter(devtest::kXid, resets.front()->atUs);
    ASSERT_GT(search, 0);
    const int64_t pause = line->sent[static_cast<size_t>(search)].atUs -
                          line->sent[static_cast<size_t>(search - 1)].atUs;
    const int64_t expected = std::string(vendor) == "AR" ? 12 * kSecond : 5 * kSecond;
    // The reset procedure itself ends with the time-out of its last poll and
    // its own 1.2 s pause before the restart pause begins.
    EXPECT_GE(pause, expected);
    EXPECT_LT(pause, expected + kSecond * 3 / 2);
    EXPECT_EQ(Sim(0)->address, 6);
    EXPECT_EQ(device->GetAISGVersion(), 1);
  }
}

TEST_F(DownloadTest, Aisg1DeviceComingBackAsAisg2ChangesGenerationAndAsksForSaving) {
  Load(Site(1, "KA"));
  Sim(0)->generationAfterDownload = 2;
  const std::string a = Image("a.bin", 200);
  auto device = ProbeFor(0, 5);

  EXPECT_EQ(Download(*device, a), 0);
  EXPECT_EQ(device->GetAISGVersion(), 2);
  EXPECT_EQ(Sim(0)->generation, 2);
  EXPECT_EQ(Sim(0)->address, 5);
  EXPECT_EQ(TraceLines("AISGDevice::SaveDevices(1)").size(), 1u);
}

TEST_F(DownloadTest, Aisg2DeviceComingBackAsAisg1ChangesGenerationAndAsksForSaving) {
  Load(Site(2, "KA"));
  Sim(0)->generationAfterDownload = 1;
  const std::string a = Image("a.bin", 200);
  auto device = ProbeFor(0, 5);

  EXPECT_EQ(Download(*device, a), 0);
  EXPECT_EQ(device->GetAISGVersion(), 1);
  EXPECT_EQ(Sim(0)->address, 5);
  EXPECT_EQ(TraceLines("AISGDevice::SaveDevices(1)").size(), 1u);
}

TEST_F(DownloadTest, SilentAnDeviceIsResetOnceMoreAndTheDownloadDecides) {
  Load(Site(2, "AN"));
  // Far longer than every pause: the device answers no search.
  Sim(0)->restartUs = 120 * kSecond;
  const std::string a = Image("a.bin", 150);
  auto device = ProbeFor(0, 8);

  EXPECT_EQ(Download(*device, a), 0);
  EXPECT_EQ(TraceLines("AISG 2 failed to respond scan. try to reset!").size(), 1u);
  EXPECT_FALSE(Requests(kReset).empty());
  EXPECT_EQ(device->GetAISGVersion(), 2);  // not found: generation kept
  EXPECT_EQ(TraceLines("AISGDevice::SaveDevices").size(), 0u);
  EXPECT_EQ(device->refreshes, 1);
}

TEST_F(DownloadTest, AnDeviceAnsweringTheSearchIsNotReset) {
  Load(Site(2, "AN"));
  const std::string a = Image("a.bin", 150);
  auto device = ProbeFor(0, 8);
  EXPECT_EQ(Download(*device, a), 0);
  EXPECT_TRUE(TraceLines("AISG 2 failed").empty());
  EXPECT_TRUE(Requests(kReset).empty());
}

TEST_F(DownloadTest, RetDeviceReadsItsNewSoftwareVersionAfterwards) {
  Load(Site(2, "KA"));
  Sim(0)->softwareVersionAfterDownload = "2.0";
  const std::string a = Image("a.bin", 150);
  std::unique_ptr<RETDevice> ret;
  Quiet([&] {
    ald::sim::SimAld* d = Sim(0);
    ret = std::make_unique<RETDevice>(d->deviceType, d->generation, 1, d->uniqueId.data(),
                                      static_cast<int>(d->uniqueId.size()));
    ret->Refresh();
  });
  ASSERT_EQ(ret->GetState(), AISGDevice::kStateOk);

  EXPECT_EQ(Download(*ret, a), 0);
  char sw[64] = {};
  Quiet([&] { ret->GetInformation(nullptr, nullptr, nullptr, sw, 0); });
  EXPECT_EQ(ret->GetState(), AISGDevice::kStateOk);
  EXPECT_STREQ(sw, "2.0");
}

}  // namespace
