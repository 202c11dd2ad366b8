// Intel HEX software download on a scripted line: one message per record,
// the end-of-file record, and files that are not what they claim to be.
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "tests/download/download_test_util.h"

namespace dltest {
namespace {

using proctest::Message2;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

// One record with a correct checksum, upper-case digits.
std::string Record(int type, int address, const Bytes& data) {
  Bytes b{static_cast<uint8_t>(data.size()), static_cast<uint8_t>(address >> 8),
          static_cast<uint8_t>(address & 0xFF), static_cast<uint8_t>(type)};
  b.insert(b.end(), data.begin(), data.end());
  unsigned sum = 0;
  for (uint8_t x : b) sum += x;
  b.push_back(static_cast<uint8_t>(-sum & 0xFF));
  std::string s = ":";
  char hex[3];
  for (uint8_t x : b) {
    snprintf(hex, sizeof hex, "%02X", x);
    s += hex;
  }
  return s;
}

Bytes RecordBytes(const std::string& record) {
  Bytes b;
  for (size_t i = 1; i + 1 < record.size(); i += 2) {
    b.push_back(static_cast<uint8_t>(std::stoi(record.substr(i, 2), nullptr, 16)));
  }
  return b;
}

const std::string kEnd = ":00000001FF";

class HexDownloadTest : public DownloadTest {
 protected:
  int Run(int generation, std::string file) {
    CaptureStdout();
    int result = ep.HexSoftwareDownload(1, generation, C(file), &p);
    out = GetCapturedStdout();
    return result;
  }
  // The records that went out as segments (message data only).
  std::vector<Bytes> Segments(int generation) const {
    std::vector<Bytes> out;
    const size_t header = generation == 1 ? 4 : 3;
    for (const Bytes& m : device.OfCode(0x41, generation)) {
      out.emplace_back(m.begin() + header, m.end());
    }
    return out;
  }
  bool Ended() const { return !device.OfCode(0x42, 2).empty() || !device.OfCode(0x42, 1).empty(); }

  DownloadDevice device{line};
  std::string out;
};

TEST_F(HexDownloadTest, EachRecordIsOneMessageAndTheEndOfFileRecordIsNotSent) {
  Bytes data(16);
  for (int i = 0; i < 16; ++i) data[i] = static_cast<uint8_t>(0xA0 + i);
  const std::string r1 = Record(0, 0x0100, data);
  ASSERT_EQ(r1.size(), 43u);
  const std::string r2 = Record(4, 0, {0x00, 0x01});
  const std::string r3 = Record(0, 0x0110, {0xDE, 0xAD});
  // Windows line ends, lower-case digits and blanks between records are
  // all white space or digits to the reader.
  std::string lower = r3;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(Run(2, dir.Write("image.hex", r1 + "\r\n" + r2 + "\r\n  " + lower + "\r\n" + kEnd +
                                              "\r\nafter the end: not read\r\n")),
            0);

  ASSERT_EQ(device.messages.size(), 5u);
  EXPECT_EQ(device.messages[0], (Bytes{0x40, 0x00, 0x00}));
  // 16 data bytes: one message of 21 bytes, byte count 0x10 first.
  EXPECT_EQ(device.messages[1], Cat(Bytes{0x41, 21, 0}, RecordBytes(r1)));
  EXPECT_EQ(device.messages[1][3], 0x10);
  EXPECT_EQ(Segments(2), (std::vector<Bytes>{RecordBytes(r1), RecordBytes(r2), RecordBytes(r3)}));
  EXPECT_EQ(device.messages[4], (Bytes{0x42, 0x00, 0x00}));

  // The same file to an AISG 1.x device: the same codes with the leading byte.
  device.messages.clear();
  EXPECT_EQ(Run(1, dir.Write("image1.hex", r1 + "\n" + kEnd + "\n")), 0);
  ASSERT_EQ(device.messages.size(), 3u);
  EXPECT_EQ(device.messages[0], (Bytes{0x01, 0x40, 0x00, 0x00}));
  EXPECT_EQ(device.messages[1], Cat(Bytes{0x01, 0x41, 21, 0}, RecordBytes(r1)));
  EXPECT_EQ(device.messages[2], (Bytes{0x01, 0x42, 0x00, 0x00}));
}

TEST_F(HexDownloadTest, RecordsUpTo255CharactersAreSentLongerOnesRefused) {
  // 122 data bytes make a record of 127 bytes, ":" and 254 digits.
  const std::string longest = Record(0, 0, Image(122));
  ASSERT_EQ(longest.size(), 255u);
  EXPECT_EQ(Run(2, dir.Write("a.hex", longest + "\n" + kEnd + "\n")), 0);
  EXPECT_EQ(Segments(2), (std::vector<Bytes>{RecordBytes(longest)}));

  device.messages.clear();
  const std::string first = Record(0, 0, {1, 2, 3});
  const std::string tooLong = Record(0, 0, Image(123));
  ASSERT_EQ(tooLong.size(), 257u);
  EXPECT_EQ(Run(2, dir.Write("b.hex", first + "\n" + tooLong + "\n" + kEnd + "\n")), -1);
  EXPECT_EQ(CountLines(out, "File format error: record 2 is longer than 255 characters"), 1);
  EXPECT_EQ(Segments(2), (std::vector<Bytes>{RecordBytes(first)}));
  EXPECT_FALSE(Ended());

  // One character more than the word buffer holds is refused too, not cut.
  device.messages.clear();
  EXPECT_EQ(Run(2, dir.Write("c.hex", longest + "0\n" + kEnd + "\n")), -1);
  EXPECT_EQ(CountLines(out, "File format error: record 1 is longer than 255 characters"), 1);
  EXPECT_TRUE(Segments(2).empty());
}

TEST_F(HexDownloadTest, AWordWithoutColonStopsAfterTheRecordsBeforeIt) {
  const std::string r1 = Record(0, 0, {1, 2});
  const std::string r2 = Record(0, 2, {3, 4});
  const int descriptors = OpenDescriptors();
  EXPECT_EQ(Run(2, dir.Write("a.hex", r1 + "\n" + r2 + "\n" + r2.substr(1) + "\n" + kEnd + "\n")),
            -1);
  // No line end after the message.
  ASSERT_GE(out.size(), 17u);
  EXPECT_EQ(out.substr(out.size() - 17), "File format error");
  EXPECT_EQ(Segments(2), (std::vector<Bytes>{RecordBytes(r1), RecordBytes(r2)}));
  EXPECT_FALSE(Ended());
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST_F(HexDownloadTest, MalformedRecordsStopTheDownloadBeforeTheySend) {
  const std::string good = Record(0, 0, {1, 2, 3, 4});
  struct Case {
    std::string name;
    std::string bad;
    std::string trace;
  };
  std::string badChecksum = Record(0, 4, {5, 6});
  badChecksum.back() = badChecksum.back() == '0' ? '1' : '0';
  const Case cases[] = {
      {"odd digit count", Record(0, 4, {5, 6}) + "0",
       "File format error: odd number of digits in record 2"},
      {"odd digit count, short", ":0", "File format error: odd number of digits in record 2"},
      {"not a hex digit", ":02000400G506EF",
       "File format error: not a hexadecimal digit in record 2"},
      {"sign in a pair", ":02000400+506EF",
       "File format error: not a hexadecimal digit in record 2"},
      {"byte count too large", ":03000400050601",
       "File format error: length of record 2 does not match its byte count"},
      {"too short for a record", ":00000000",
       "File format error: length of record 2 does not match its byte count"},
      {"colon alone", ":", "File format error: length of record 2 does not match its byte count"},
      {"checksum", badChecksum, "File format error: checksum of record 2"},
  };
  const int descriptors = OpenDescriptors();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    device.messages.clear();
    EXPECT_EQ(Run(2, dir.Write("bad.hex", good + "\n" + c.bad + "\n" + kEnd + "\n")), -1);
    EXPECT_EQ(CountLines(out, c.trace), 1) << out;
    EXPECT_EQ(Segments(2), (std::vector<Bytes>{RecordBytes(good)}));
    EXPECT_FALSE(Ended());
  }
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST_F(HexDownloadTest, AFileWithoutEndOfFileRecordIsNotEnded) {
  // A file cut short looks like this: every record is fine, the end is missing.
  const std::string r1 = Record(0, 0, {1, 2});
  const std::string r2 = Record(0, 2, {3, 4});
  EXPECT_EQ(Run(2, dir.Write("a.hex", r1 + "\n" + r2 + "\n")), -1);
  EXPECT_EQ(CountLines(out, "File format error: no end-of-file record"), 1);
  EXPECT_EQ(Segments(2).size(), 2u);
  EXPECT_FALSE(Ended());

  // White space alone has no end record either; the download was started.
  device.messages.clear();
  EXPECT_EQ(Run(2, dir.Write("b.hex", " \r\n\t\n")), -1);
  EXPECT_EQ(device.messages.size(), 1u);
}

TEST_F(HexDownloadTest, FilesThatCannotBeUsedSendNothing) {
  std::string folder = dir.Path("folder");
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  const int descriptors = OpenDescriptors();
  EXPECT_EQ(Run(2, dir.Path("missing.hex")), 11);
  EXPECT_EQ(out, "Cannot open file.\n");
  EXPECT_EQ(Run(2, folder), 11);
  EXPECT_EQ(out, "Cannot open file.\n");
  EXPECT_EQ(Run(2, dir.Write("empty.hex", std::string())), 11);
  EXPECT_EQ(out, "Software file is empty.\n");
  EXPECT_EQ(ep.HexSoftwareDownload(1, 2, nullptr, &p), 11);
  EXPECT_TRUE(line.sent.empty());

  // A generation the engine does not know fails the start: nothing goes out.
  EXPECT_EQ(Run(3, dir.Write("good.hex", kEnd + "\n")), 11);
  EXPECT_TRUE(line.sent.empty());
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST_F(HexDownloadTest, StartAndRecordFailures) {
  const std::string file =
      dir.Write("a.hex", Record(0, 0, {1}) + "\n" + Record(0, 1, {2}) + "\n" + kEnd + "\n");
  const int descriptors = OpenDescriptors();

  // A refused start is reported as 11 whatever the device said.
  device.hook = [](const Bytes& m, int) -> Bytes {
    if (m[0] == 0x40) return Message2(0x40, {0x0B, 0x22});
    return {};
  };
  EXPECT_EQ(Run(2, file), 11);
  EXPECT_EQ(device.messages.size(), 1u);

  // The second record refused twice costs two pauses, then goes on.
  device.messages.clear();
  int refusals = 0;
  device.hook = [&](const Bytes& m, int) -> Bytes {
    if (m[0] == 0x41 && m[7] == 2 && refusals < 2) {
      ++refusals;
      return Message2(0x41, {0x0B, 0x05});
    }
    return {};
  };
  const int64_t before = NowMs();
  EXPECT_EQ(Run(2, file), 0);
  EXPECT_EQ(Segments(2).size(), 4u);
  EXPECT_TRUE(Ended());
  EXPECT_GE(NowMs() - before, 3000 + 2000);

  // Refused three times: the last result, the end is not sent.
  device.messages.clear();
  device.hook = [&](const Bytes& m, int) -> Bytes {
    if (m[0] == 0x41 && m[7] == 2) return Message2(0x41, {0x0B, 0x1E});
    return {};
  };
  EXPECT_EQ(Run(2, file), 11);
  EXPECT_EQ(p.devRcuCodes[1], 0x1E);
  EXPECT_EQ(Segments(2).size(), 4u);
  EXPECT_FALSE(Ended());

  // A failing end is passed on.
  device.messages.clear();
  device.hook = [&](const Bytes& m, int) -> Bytes {
    if (m[0] == 0x42) return Message2(0x42, {0x0B, 0x1E});
    return {};
  };
  EXPECT_EQ(Run(2, file), 11);
  EXPECT_TRUE(Ended());
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

}  // namespace
}  // namespace dltest
