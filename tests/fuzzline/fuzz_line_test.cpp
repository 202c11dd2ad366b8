// The fake line of the line fuzz targets: its answer encodings must produce
// what the controller accepts (or rejects) as intended, or the fuzzers would
// spend their time on answers that never get past the first check, and the
// seeds recorded from the simulator must replay the same conversation.
#include "fuzz/support/fuzz_line.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "aldlink/procedures/aisgdeviceep.h"
#include "support/clock.h"

namespace {

using fuzz::Bytes;

Bytes FrameAnswer(uint8_t tag, uint8_t control, const Bytes& info) {
  Bytes in{tag, control};
  fuzz::AppendRun(in, info);
  return in;
}

// Runs `f` with an engine on a line that answers from `input`.
template <class F>
void OnLine(const Bytes& input, int maxExchanges, F f) {
  ald::ScopedVirtualClock clock;
  fuzz::FuzzInput in(input.data(), input.size());
  fuzz::FuzzLine line(input.data(), input.size(), in, maxExchanges);
  AISGDEVICEEP ep;
  ep.OpenConnection();
  f(ep, line);
}

TEST(FuzzLineTest, FrameAnswersReachTheParsersAndDamagedOnesAreRejected) {
  // A UA to the command's own address, then the same with a damaged FCS,
  // then one behind noise, then silence.
  Bytes input = FrameAnswer(fuzz::kFrameHere, 0x73, {});
  Bytes bad = FrameAnswer(fuzz::kFrameHere | fuzz::kBadFcs, 0x73, {});
  input.insert(input.end(), bad.begin(), bad.end());
  input.push_back(fuzz::kFrameHere | fuzz::kNoiseBefore);
  input.push_back(0x73);
  fuzz::AppendRun(input, {});
  fuzz::AppendRun(input, {0x11, 0x22});
  input.push_back(fuzz::kSilence);
  OnLine(input, 10, [](AISGDEVICEEP& ep, fuzz::FuzzLine&) {
    EXPECT_EQ(ep.AISGHDLC::SetSNRM(7), 0);
    EXPECT_EQ(ep.GetSNRM(7), 0);
    ep.AISGHDLC::SetSNRM(7);
    EXPECT_EQ(ep.GetSNRM(7), 82);
    ep.AISGHDLC::SetSNRM(7);
    EXPECT_EQ(ep.GetSNRM(7), 0);
    ep.AISGHDLC::SetSNRM(7);
    EXPECT_EQ(ep.GetSNRM(7), 89);
  });
}

TEST(FuzzLineTest, Layer7AnswersWithOwnControlAreAcceptedInBothGenerations) {
  // The I-frame goes out, the device answers at once with the procedure's
  // code and an OK return code.
  const uint8_t tag = fuzz::kFrameHere | fuzz::kAutoControl | fuzz::kLayer7;
  for (int generation : {1, 2}) {
    SCOPED_TRACE(generation);
    Bytes input{tag, 0};
    fuzz::AppendRun(input, {0x00, 0x05});
    OnLine(input, 10, [generation](AISGDEVICEEP& ep, fuzz::FuzzLine& line) {
      AISGDeviceParams p{};
      EXPECT_EQ(ep.GetAlarmStatus(3, generation, &p), 0);
      ASSERT_EQ(p.devRcuCodesSize, 2);
      EXPECT_EQ(p.devRcuCodes[1], 0x05);
      EXPECT_EQ(line.Exchanges(), 1);
    });
  }
}

TEST(FuzzLineTest, LineFallsSilentAfterItsExchangeCap) {
  Bytes input;
  for (int i = 0; i < 4; ++i) {
    Bytes ua = FrameAnswer(fuzz::kFrameHere, 0x73, {});
    input.insert(input.end(), ua.begin(), ua.end());
  }
  OnLine(input, 2, [](AISGDEVICEEP& ep, fuzz::FuzzLine& line) {
    EXPECT_EQ(ep.AISGHDLC::SetSNRM(1), 0);
    EXPECT_EQ(ep.AISGHDLC::SetSNRM(1), 0);
    EXPECT_EQ(ep.AISGHDLC::SetSNRM(1), 89);
    EXPECT_EQ(line.Exchanges(), 2);
    EXPECT_TRUE(line.Exhausted());
  });
}

TEST(FuzzLineTest, EncodedAnswersReplayByteForByte) {
  const Bytes frame = fuzz::WireFrame(0x7E, 0x7D, {0x01, 0x7E, 0x02});
  const Bytes garbage{0x7E, 0x01, 0x02};
  for (const Bytes& answer : {frame, garbage, Bytes{}}) {
    const Bytes input = fuzz::EncodeAnswer(answer);
    ald::ScopedVirtualClock clock;
    fuzz::FuzzInput in(input.data(), input.size());
    fuzz::FuzzLine line(input.data(), input.size(), in, 4);
    const uint8_t command[] = {0x7E, 0x01, 0x93, 0x00, 0x00, 0x7E};
    line.OnWrite(command, sizeof command);
    EXPECT_EQ(Bytes(line.Pending().begin(), line.Pending().end()), answer);
    EXPECT_TRUE(in.Empty());
  }
}

TEST(FuzzLineTest, RecordedSeedReplaysTheSimulatorsAnswersWithoutIt) {
  const std::string out = ::testing::TempDir() + "fuzzline_seed_" + std::to_string(::getpid());
  const Bytes picks;
  ::setenv("FUZZLINE_RECORD_SITE", ALD_SOURCE_DIR "/sites/demo.site", 1);
  ::setenv("FUZZLINE_RECORD_OUT", out.c_str(), 1);
  ::setenv("FUZZLINE_RECORD_ADDRESSED", "1", 1);
  OnLine(picks, 10, [](AISGDEVICEEP& ep, fuzz::FuzzLine&) {
    EXPECT_EQ(ep.SetSNRM(2), 0);  // the second device of the site: SNRM, then a poll
  });
  ::unsetenv("FUZZLINE_RECORD_SITE");
  ::unsetenv("FUZZLINE_RECORD_OUT");
  ::unsetenv("FUZZLINE_RECORD_ADDRESSED");

  std::ifstream file(out, std::ios::binary);
  const Bytes seed((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::filesystem::remove(out);
  ASSERT_FALSE(seed.empty());
  OnLine(seed, 10, [](AISGDEVICEEP& ep, fuzz::FuzzLine& line) {
    EXPECT_EQ(ep.SetSNRM(2), 0);
    EXPECT_EQ(ep.GetHdlcCtrlCode() & 0x0F, 0x01);  // the poll's RR
    EXPECT_EQ(line.Exchanges(), 2);
  });
}

}  // namespace
