// Binary software download on a scripted line: message layouts of both
// generations, retry pauses, the end procedure, the closing report, and
// software files that cannot be used.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "tests/download/download_test_util.h"

namespace dltest {
namespace {

using proctest::Message1;
using proctest::Message2;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

class BinaryDownloadTest : public DownloadTest {
 protected:
  // Runs the standard-size download of `file` and returns the trace.
  std::string Run(int generation, std::string file, int expected = 0) {
    std::string name = "ignored";
    CaptureStdout();
    int result = ep.SoftwareDownload(1, generation, C(name), C(file), &p);
    std::string out = GetCapturedStdout();
    EXPECT_EQ(result, expected);
    return out;
  }
  DownloadDevice device{line};
};

TEST_F(BinaryDownloadTest, Aisg1ImageInStandardBlocksAndNumberedSegments) {
  const Bytes image = Image(40000);
  const std::string out = Run(1, dir.Write("image.bin", image));

  ASSERT_FALSE(device.messages.empty());
  EXPECT_EQ(device.messages.front(), (Bytes{0x01, 0x2E, 0x00, 0x00}));
  EXPECT_EQ(device.messages.back(), (Bytes{0x01, 0x22, 0x00, 0x00}));

  // Block number and length, low byte first: 17664 = 0x4500, 4672 = 0x1240.
  const std::vector<Bytes> headers = device.OfCode(0x20, 1);
  ASSERT_EQ(headers.size(), 3u);
  EXPECT_EQ(headers[0], (Bytes{0x01, 0x20, 0x04, 0x00, 0x00, 0x00, 0x00, 0x45}));
  EXPECT_EQ(headers[1], (Bytes{0x01, 0x20, 0x04, 0x00, 0x01, 0x00, 0x00, 0x45}));
  EXPECT_EQ(headers[2], (Bytes{0x01, 0x20, 0x04, 0x00, 0x02, 0x00, 0x40, 0x12}));

  // 256 + 256 + 68 segments, each header followed by its block's segments
  // numbered from 0; the last carries 49 bytes behind its number.
  std::vector<int> perBlock;
  int expectedNumber = 0;
  for (const Bytes& m : device.messages) {
    if (m[1] == 0x20) {
      perBlock.push_back(0);
      expectedNumber = 0;
    } else if (m[1] == 0x21) {
      ASSERT_FALSE(perBlock.empty()) << "segment before the first block header";
      ++perBlock.back();
      EXPECT_EQ(m[4], expectedNumber & 0xFF);
      ++expectedNumber;
      const int length = m[2] | m[3] << 8;
      EXPECT_EQ(length, static_cast<int>(m.size()) - 4);
    }
  }
  EXPECT_EQ(perBlock, (std::vector<int>{256, 256, 68}));
  const std::vector<Bytes> segments = device.OfCode(0x21, 1);
  EXPECT_EQ(segments.front().size(), 4u + 70u);
  EXPECT_EQ(segments.back()[2], 50);
  EXPECT_EQ(segments.back()[4], 67);
  EXPECT_EQ(device.Received(1), image);

  EXPECT_EQ(CountLines(out, "File size       : [40000]"), 1);
  EXPECT_EQ(CountLines(out, "Number of blocks: [3]"), 1);
  EXPECT_EQ(CountLines(out, "block #: 0, block size: 17664"), 1);
  EXPECT_EQ(CountLines(out, "block #: 2, block size: 4672"), 1);
  EXPECT_EQ(CountLines(out, "block #: 0, segment #: 255, datasize: 70"), 1);
  EXPECT_EQ(CountLines(out, "block #: 2, segment #: 67, datasize: 50"), 1);
  EXPECT_EQ(CountPrefix(out, "block #: "), 3 + 580);
  // An AISG 1.x device reports the end procedure's result even on success.
  EXPECT_EQ(CountLines(out, "DownloadEnd=0"), 1);
}

TEST_F(BinaryDownloadTest, Aisg2ImageInPlainSegmentsOf71Bytes) {
  const Bytes image = Image(150);
  const std::string out = Run(2, dir.Write("image.bin", image));

  ASSERT_EQ(device.messages.size(), 5u);
  EXPECT_EQ(device.messages[0], (Bytes{0x40, 0x00, 0x00}));
  EXPECT_TRUE(device.OfCode(0x20, 2).empty());
  const std::vector<Bytes> segments = device.OfCode(0x41, 2);
  ASSERT_EQ(segments.size(), 3u);
  EXPECT_EQ(segments[0].size(), 3u + 71u);
  EXPECT_EQ(segments[0][1], 71);
  EXPECT_EQ(segments[1].size(), 3u + 71u);
  EXPECT_EQ(segments[2], Cat(Bytes{0x41, 8, 0}, Bytes(image.end() - 8, image.end())));
  EXPECT_EQ(device.messages[4], (Bytes{0x42, 0x00, 0x00}));
  EXPECT_EQ(device.Received(2), image);

  EXPECT_EQ(CountLines(out, "Number of blocks: [1]"), 1);
  EXPECT_EQ(CountLines(out, "block #: 0, segment #: 2, datasize: 9"), 1);
  EXPECT_EQ(CountLines(out, "DownloadEnd=0"), 0);
  // The device restarts after the end: the controller polls it once more.
  auto last = line.Trail();
  EXPECT_EQ(last.back(), "RR");
}

TEST_F(BinaryDownloadTest, PausesThreeSecondsAfterTheStartAndReportsTheRunTime) {
  const std::string file = dir.Write("image.bin", Image(300));
  const time_t calendarStart = ald::GetClock().CalendarTime();
  const std::string out = Run(2, file);

  // The first segment goes out no sooner than 3 s after the start message.
  int start = -1;
  int first = -1;
  for (size_t i = 0; i < line.sent.size(); ++i) {
    if (!line.sent[i].IsInfo()) continue;
    if (line.sent[i].info[0] == 0x40 && start < 0) start = static_cast<int>(i);
    if (line.sent[i].info[0] == 0x41 && first < 0) first = static_cast<int>(i);
  }
  ASSERT_GE(start, 0);
  ASSERT_GT(first, start);
  EXPECT_GE(line.sentAtMs[first] - line.sentAtMs[start], 3000);

  const long elapsed = static_cast<long>(ald::GetClock().CalendarTime() - calendarStart);
  ASSERT_GE(elapsed, 3);
  const std::vector<std::string> lines = Lines(out);
  ASSERT_GE(lines.size(), 4u);
  const std::vector<std::string> closing(lines.end() - 4, lines.end());
  EXPECT_EQ(closing,
            (std::vector<std::string>{kStars, "Download Software Done",
                                      "Runtime: " + std::to_string(elapsed) + ".000", kStars}));
}

TEST_F(BinaryDownloadTest, EmptyWrongOrMissingFilesAndBadSizesSendNothing) {
  std::string missing = dir.Path("missing.bin");
  std::string empty = dir.Write("empty.bin", std::string());
  std::string folder = dir.Path("folder");
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  std::string good = dir.Write("good.bin", Image(100));
  const int descriptors = OpenDescriptors();

  struct Case {
    std::string file;
    int generation;
    int blockSize;
    int segmentSize;
    std::string trace;
  };
  const Case cases[] = {
      {missing, 1, 17664, 69, "1. Cannot open file.\n"},
      {missing, 2, 17664, 69, "1. Cannot open file.\n"},
      {folder, 2, 17664, 69, "1. Cannot open file.\n"},
      {empty, 1, 17664, 69, "Software file is empty.\n"},
      {empty, 2, 17664, 69, "Software file is empty.\n"},
      {good, 3, 17664, 69, ""},
      {good, 0, 17664, 69, ""},
      // A block that is not a whole number of segments would announce more
      // bytes than its segments carry.
      {good, 1, 17664, 70, ""},
      {good, 1, 0, 69, ""},
      {good, 1, 69, 0, ""},
      {good, 1, 0x10000, 256, ""},
      {good, 1, 246 * 4, 246, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file + " generation " + std::to_string(c.generation) + " sizes " +
                 std::to_string(c.blockSize) + "/" + std::to_string(c.segmentSize));
    std::string file = c.file;
    CaptureStdout();
    EXPECT_EQ(ep.BinSoftwareDownload(1, c.generation, c.blockSize, c.segmentSize, C(file), &p), 84);
    EXPECT_EQ(GetCapturedStdout(), c.trace);
  }
  EXPECT_EQ(ep.BinSoftwareDownload(1, 1, 17664, 69, nullptr, nullptr), 84);
  EXPECT_EQ(ep.BinSoftwareDownload(1, 1, 17664, 69, nullptr, &p), 84);
  EXPECT_TRUE(line.sent.empty());
  EXPECT_EQ(OpenDescriptors(), descriptors);

  // Generation 2 does not use the sizes at all.
  CaptureStdout();
  EXPECT_EQ(ep.BinSoftwareDownload(1, 2, 0, 0, C(good), &p), 0);
  GetCapturedStdout();
  EXPECT_EQ(device.Received(2), Image(100));
}

TEST_F(BinaryDownloadTest, OtherSizesSplitTheImageTheSameWay) {
  const Bytes image = Image(1000);
  std::string file = dir.Write("image.bin", image);
  CaptureStdout();
  EXPECT_EQ(ep.BinSoftwareDownload(1, 1, 300, 100, C(file), &p), 0);
  const std::string out = GetCapturedStdout();
  // 300 + 300 + 300 + 100 bytes, three segments a block, the last block one.
  EXPECT_EQ(device.OfCode(0x20, 1).size(), 4u);
  EXPECT_EQ(device.OfCode(0x21, 1).size(), 10u);
  EXPECT_EQ(device.OfCode(0x20, 1)[3], (Bytes{0x01, 0x20, 0x04, 0x00, 0x03, 0x00, 100, 0}));
  EXPECT_EQ(device.Received(1), image);
  EXPECT_EQ(CountLines(out, "Number of blocks: [4]"), 1);
  EXPECT_EQ(CountLines(out, "block #: 3, segment #: 0, datasize: 101"), 1);
}

// Time of the I-frames that carry messages of `code` (at `at` in the field).
std::vector<int64_t> SendTimes(const proctest::ScriptedLine& line, uint8_t code, size_t at) {
  std::vector<int64_t> times;
  for (size_t i = 0; i < line.sent.size(); ++i) {
    const proctest::Command& c = line.sent[i];
    if (c.IsInfo() && c.info.size() > at && c.info[at] == code) times.push_back(line.sentAtMs[i]);
  }
  return times;
}

TEST_F(BinaryDownloadTest, ASegmentThatFailsTwiceCostsTwoPausesAndTheDownloadGoesOn) {
  const Bytes image = Image(200);
  int segmentFails = 0;
  device.hook = [&](const Bytes& m, int) -> Bytes {
    // The second segment is refused twice (busy), then taken.
    if (m[0] == 0x41 && m.size() > 3 && m[3] == image[71] && segmentFails < 2) {
      ++segmentFails;
      return Message2(0x41, {0x0B, 0x05});
    }
    return {};
  };
  const std::string out = Run(2, dir.Write("image.bin", image));
  EXPECT_EQ(segmentFails, 2);
  const std::vector<int64_t> times = SendTimes(line, 0x41, 0);
  ASSERT_EQ(times.size(), 5u);
  EXPECT_GE(times[2] - times[1], 1000);
  EXPECT_GE(times[3] - times[2], 1000);
  EXPECT_LT(times[1] - times[0], 1000);
  EXPECT_LT(times[4] - times[3], 1000);
  // AISG 2.0 reports each attempt after it is made.
  EXPECT_EQ(CountLines(out, "block #: 0, segment #: 1, datasize: 72"), 3);
  EXPECT_EQ(device.OfCode(0x42, 2).size(), 1u);
}

TEST_F(BinaryDownloadTest, Aisg1HeaderAndSegmentFailuresKeepOnlyTheReasonCodes) {
  // A block header refused three times: its number stands between FAIL and
  // the reason codes and is removed from the response area.
  device.hook = [](const Bytes& m, int) -> Bytes {
    if (m[1] == 0x20) return Message1(0x20, {0x0B, 0x00, 0x00, 0x16, 0x05});
    return {};
  };
  const int descriptors = OpenDescriptors();
  EXPECT_EQ(Run(1, dir.Write("a.bin", Image(500)), 11).find("DownloadEnd"), std::string::npos);
  EXPECT_EQ(p.devRcuCodesSize, 3);
  EXPECT_EQ(p.devRcuCodes[0], 0x0B);
  EXPECT_EQ(p.devRcuCodes[1], 0x16);
  EXPECT_EQ(p.devRcuCodes[2], 0x05);
  EXPECT_EQ(device.OfCode(0x20, 1).size(), 3u);
  EXPECT_TRUE(device.OfCode(0x21, 1).empty());
  EXPECT_TRUE(device.OfCode(0x22, 1).empty());
  const std::vector<int64_t> headerTimes = SendTimes(line, 0x20, 1);
  EXPECT_GE(headerTimes[1] - headerTimes[0], 1000);
  EXPECT_GE(headerTimes[2] - headerTimes[1], 1000);
  EXPECT_EQ(OpenDescriptors(), descriptors);

  // A segment refused three times: one byte (its number) before the reasons.
  device.messages.clear();
  device.hook = [](const Bytes& m, int) -> Bytes {
    if (m[1] == 0x21 && m[4] == 1) return Message1(0x21, {0x0B, 0x01, 0x1E});
    return {};
  };
  std::string segmentOut = Run(1, dir.Write("b.bin", Image(500)), 11);
  EXPECT_EQ(p.devRcuCodesSize, 2);
  EXPECT_EQ(p.devRcuCodes[1], 0x1E);
  EXPECT_EQ(p.devRcuCodes[2], 0x00);
  // AISG 1.x reports each attempt before it is made; no segment after it.
  EXPECT_EQ(CountLines(segmentOut, "block #: 0, segment #: 1, datasize: 70"), 3);
  EXPECT_EQ(CountLines(segmentOut, "block #: 0, segment #: 2, datasize: 70"), 0);
  EXPECT_TRUE(device.OfCode(0x22, 1).empty());
  EXPECT_EQ(segmentOut.find(kStars), std::string::npos);
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST_F(BinaryDownloadTest, SegmentsAreNeverPrecededByANewLinkSetUp) {
  // The device loses every I-frame of the second segment: the three
  // attempts of three I-frames each go out without SNRM, while a lost
  // block header gets a new link set-up before its third I-frame.
  device.silent = [](const Bytes& m, int) { return m[1] == 0x21 && m[4] == 1; };
  Run(1, dir.Write("a.bin", Image(500)), 89);
  EXPECT_EQ(line.Count(proctest::kSNRM), 0);
  EXPECT_EQ(device.OfCode(0x21, 1).size(), 1u + 9u);

  line.sent.clear();
  device.messages.clear();
  device.silent = [](const Bytes& m, int) { return m[1] == 0x20; };
  Run(1, dir.Write("b.bin", Image(500)), 89);
  EXPECT_EQ(device.OfCode(0x20, 1).size(), 9u);
  EXPECT_EQ(line.Count(proctest::kSNRM), 3);
}

TEST_F(BinaryDownloadTest, TheEndIsPolledUpTo30TimesHalfASecondApart) {
  std::string file = dir.Write("image.bin", Image(100));
  // Answered on the 30th poll: success.
  device.endAnswerAfterPolls = 29;
  Run(2, file, 0);
  std::vector<int64_t> polls;
  bool afterEnd = false;
  for (size_t i = 0; i < line.sent.size(); ++i) {
    const proctest::Command& c = line.sent[i];
    if (c.IsInfo()) afterEnd = c.info[0] == 0x42;
    if (afterEnd && c.IsRR()) polls.push_back(line.sentAtMs[i]);
  }
  // 30 polls for the answer, then one RR after the restart.
  ASSERT_EQ(polls.size(), 31u);
  for (size_t i = 1; i < 30; ++i) {
    EXPECT_GE(polls[i] - polls[i - 1], 500) << i;
    EXPECT_LT(polls[i] - polls[i - 1], 1000) << i;
  }

  // Answered only on the 31st poll: the end fails and is reported.
  line.sent.clear();
  device.endAnswerAfterPolls = 30;
  // RR answers are no answer to the end: the engine's result for them.
  const std::string out = Run(2, file, 82);
  EXPECT_EQ(CountLines(out, "DownloadEnd=82"), 1);
  EXPECT_EQ(line.CountRR(), 30);
  EXPECT_EQ(CountLines(out, "Download Software Done"), 1);
}

TEST_F(BinaryDownloadTest, AFailedStartSendsNoSegments) {
  device.hook = [](const Bytes& m, int) -> Bytes {
    if (m[0] == 0x40) return Message2(0x40, {0x0B, 0x22});
    return {};
  };
  const int descriptors = OpenDescriptors();
  const std::string out = Run(2, dir.Write("image.bin", Image(100)), 11);
  EXPECT_EQ(device.messages.size(), 1u);
  EXPECT_EQ(out.find("Download Software Done"), std::string::npos);
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST_F(BinaryDownloadTest, AFileThatShrinksHalfwayStopsWithoutEndingTheDownload) {
  const std::string file = dir.Write("image.bin", Image(17664 + 1000));
  // While the device takes block 0, the file loses its tail.
  device.hook = [&](const Bytes& m, int) -> Bytes {
    if (m[1] == 0x21 && m[4] == 10 && truncate(file.c_str(), 17664 + 100) != 0) {
      ADD_FAILURE() << "cannot truncate";
    }
    return {};
  };
  const int descriptors = OpenDescriptors();
  const std::string out = Run(1, file, 84);
  EXPECT_EQ(CountLines(out, "Cannot read file."), 1);
  EXPECT_TRUE(device.OfCode(0x22, 1).empty());
  // Block 1 announced 1000 bytes; only the 100 that were there went out.
  EXPECT_EQ(device.Received(1).size(), 17664u + 69u);
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

}  // namespace
}  // namespace dltest
