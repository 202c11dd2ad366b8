// Link set-up, I-frame retries, answer polling and HDLC parameter
// negotiation against scripted answers on the virtual clock.
#include <string>
#include <vector>

#include "tests/procedures/scripted_line.h"

namespace proctest {
namespace {

using Trail = std::vector<std::string>;

class LinkTest : public ProcedureTest {};

TEST_F(LinkTest, FrameRejectGetsDiscAndPauseBeforeSecondSnrm) {
  int snrms = 0;
  ScriptedDevice device(1, [](const Bytes&) { return Bytes{}; });
  line.responder = [&](const Command& c) -> Bytes {
    if (c.control == kSNRM && ++snrms == 1) return Frame(1, 0x97);
    return device(c);
  };
  EXPECT_EQ(ep.SetSNRM(1), 0);
  EXPECT_EQ(line.Trail(), (Trail{"SNRM", "DISC", "SNRM", "RR"}));
  EXPECT_GE(line.sentAtMs[2] - line.sentAtMs[1], 1000);
}

TEST_F(LinkTest, SilenceGetsSecondSnrmAtOnce) {
  int snrms = 0;
  ScriptedDevice device(1, [](const Bytes&) { return Bytes{}; });
  line.responder = [&](const Command& c) -> Bytes {
    if (c.control == kSNRM && ++snrms == 1) return {};
    return device(c);
  };
  EXPECT_EQ(ep.SetSNRM(1), 0);
  EXPECT_EQ(line.Trail(), (Trail{"SNRM", "SNRM", "RR"}));
  EXPECT_LT(line.sentAtMs[1] - line.sentAtMs[0], 1000);
}

TEST_F(LinkTest, SnrmGivesUpAfterThreeAttempts) {
  line.responder = [](const Command&) { return Bytes{}; };
  EXPECT_EQ(ep.SetSNRM(1), 89);
  EXPECT_EQ(line.Trail(), (Trail{"SNRM", "SNRM", "SNRM"}));

  line.sent.clear();
  line.responder = [](const Command&) { return Bytes{0x7E, 0x01, 0x73, 0x00, 0x00, 0x7E}; };
  EXPECT_EQ(ep.SetSNRM(1), 82);
}

TEST_F(LinkTest, RrPhase) {
  // UA to SNRM, then nothing to the polls: the link is not up.
  line.responder = [](const Command& c) { return c.control == kSNRM ? UA(1) : Bytes{}; };
  EXPECT_EQ(ep.SetSNRM(1), 89);
  EXPECT_EQ(line.Trail(), (Trail{"SNRM", "RR", "RR", "RR"}));

  // A device answering the poll with UA is up.
  line.sent.clear();
  line.responder = [](const Command&) { return UA(1); };
  EXPECT_EQ(ep.SetSNRM(1), 0);
  EXPECT_EQ(line.Trail(), (Trail{"SNRM", "RR"}));

  // An RR answer without the final bit asks for a new SNRM; its result is
  // the result.
  line.sent.clear();
  int snrms = 0;
  line.responder = [&](const Command& c) -> Bytes {
    if (c.control == kSNRM) return ++snrms == 1 ? UA(1) : Bytes{};
    return Frame(1, 0x01);
  };
  EXPECT_EQ(ep.SetSNRM(1), 89);
  EXPECT_EQ(line.Trail(), (Trail{"SNRM", "RR", "SNRM", "SNRM"}));

  line.sent.clear();
  snrms = 0;
  line.responder = [&](const Command& c) -> Bytes {
    if (c.control == kSNRM) return UA(1);
    return Frame(1, 0x01);
  };
  EXPECT_EQ(ep.SetSNRM(1), 0);
  EXPECT_EQ(line.Trail(), (Trail{"SNRM", "RR", "SNRM"}));
}

TEST_F(LinkTest, SendInfoRelinksBeforeThirdFrameOnlyWhenAsked) {
  char info[4] = {0x05, 0x00, 0x00};
  EXPECT_EQ(ep.SendInfo(1, info, 3, 1), 89);
  EXPECT_EQ(line.Trail(), (Trail{"I", "I", "SNRM", "SNRM", "SNRM", "I"}));

  line.sent.clear();
  EXPECT_EQ(ep.SendInfo(1, info, 3), 89);
  EXPECT_EQ(line.Trail(), (Trail{"I", "I", "I"}));

  // The second attempt succeeds: no more frames.
  line.sent.clear();
  int frames = 0;
  line.responder = [&](const Command&) { return ++frames == 2 ? RR(1, 1) : Bytes{}; };
  EXPECT_EQ(ep.SendInfo(1, info, 3, 1), 0);
  EXPECT_EQ(line.Trail(), (Trail{"I", "I"}));
}

// A device that accepts the I-frame, answers the first `busyPolls` polls
// with RR and the next one with `answer`.
ScriptedLine::Responder SlowDevice(int busyPolls, Bytes answer) {
  auto polls = std::make_shared<int>(0);
  return [=](const Command& c) -> Bytes {
    if (c.IsInfo()) return RR(1, 1);
    if (c.IsRR()) return ++*polls <= busyPolls ? RR(1, 1) : IFrame(1, 0, 1, answer);
    return {};
  };
}

TEST_F(LinkTest, CalibrationIsPolledUpTo300Times) {
  line.responder = SlowDevice(299, Message2(0x31, {0x00}));
  int64_t start = NowMs();
  EXPECT_EQ(ep.GlobalProcedure(1, 2, 0x31, nullptr, 0, &p), 0);
  EXPECT_EQ(line.CountRR(), 300);
  EXPECT_GE(NowMs() - start, 299 * 500);

  line.sent.clear();
  line.responder = SlowDevice(300, Message2(0x31, {0x00}));
  EXPECT_EQ(ep.GlobalProcedure(1, 2, 0x31, nullptr, 0, &p), 82);
  EXPECT_EQ(line.CountRR(), 300);
  EXPECT_EQ(line.CountInfo(), 1);
}

TEST_F(LinkTest, PollLimitsFollowTheProcedureCode) {
  struct Case {
    uint8_t code;
    int maxPolls;
  };
  // Busy devices are polled until the code's maximum.
  for (Case c :
       {Case{0x0A, 20}, Case{0x22, 30}, Case{0x81, 240}, Case{0xFF, 240}, Case{0x05, 20}}) {
    line.sent.clear();
    line.responder = SlowDevice(1000, {});
    EXPECT_EQ(ep.GlobalProcedure(1, 2, static_cast<char>(c.code), nullptr, 0, &p), 82);
    EXPECT_EQ(line.CountRR(), c.maxPolls) << std::hex << int(c.code);
  }
}

TEST_F(LinkTest, SilentDeviceIsGivenUpAfterItsMisses) {
  // Unlisted code: ten misses, no pause between the polls.
  line.responder = [](const Command& c) { return c.IsInfo() ? RR(1, 1) : Bytes{}; };
  EXPECT_EQ(ep.GlobalProcedure(1, 2, 0x04, nullptr, 0, &p), 89);
  EXPECT_EQ(line.CountRR(), 10);
  int64_t span = line.sentAtMs.back() - line.sentAtMs[1];
  EXPECT_LT(span, 9 * 250);  // read time-outs and frame time only

  // Self test: five misses, 500 ms apart.
  line.sent.clear();
  line.sentAtMs.clear();
  EXPECT_EQ(ep.GlobalProcedure(1, 2, 0x0A, nullptr, 0, &p), 89);
  EXPECT_EQ(line.CountRR(), 5);
  EXPECT_GE(line.sentAtMs.back() - line.sentAtMs[1], 4 * 700);
}

TEST_F(LinkTest, BusyAnswersResetTheMissesAndPause) {
  // Twelve RNR answers are more than the ten misses of the code.
  auto polls = std::make_shared<int>(0);
  line.responder = [=](const Command& c) -> Bytes {
    if (c.IsInfo()) return RR(1, 1);
    if (c.IsRR()) return ++*polls <= 12 ? RNR(1, 1) : IFrame(1, 0, 1, Message2(0x04, {0x00}));
    return {};
  };
  int64_t start = NowMs();
  EXPECT_EQ(ep.GlobalProcedure(1, 2, 0x04, nullptr, 0, &p), 0);
  EXPECT_EQ(line.CountRR(), 13);
  EXPECT_GE(NowMs() - start, 12 * 1000);
}

TEST_F(LinkTest, LostLinkDuringPollingSendsSnrm) {
  int polls = 0;
  line.responder = [&](const Command& c) -> Bytes {
    if (c.IsInfo()) return RR(1, 1);
    if (c.control == kSNRM) return UA(1);
    if (c.IsRR()) return ++polls == 1 ? Frame(1, 0x01) : IFrame(1, 0, 0, Message2(0x04, {0x00}));
    return {};
  };
  EXPECT_EQ(ep.GlobalProcedure(1, 2, 0x04, nullptr, 0, &p), 0);
  EXPECT_EQ(line.Trail(), (Trail{"I", "RR", "SNRM", "RR"}));

  // An unanswered SNRM is sent once more, untested.
  line.sent.clear();
  polls = 0;
  line.responder = [&](const Command& c) -> Bytes {
    if (c.IsInfo()) return RR(1, 1);
    if (c.IsRR()) return ++polls == 1 ? Frame(1, 0x01) : IFrame(1, 0, 0, Message2(0x04, {0x00}));
    return {};
  };
  EXPECT_EQ(ep.GlobalProcedure(1, 2, 0x04, nullptr, 0, &p), 0);
  EXPECT_EQ(line.Trail(), (Trail{"I", "RR", "SNRM", "SNRM", "RR"}));
}

TEST_F(LinkTest, AnswerFromAnotherProcedureDoesNotEndPolling) {
  int polls = 0;
  line.responder = [&](const Command& c) -> Bytes {
    if (c.IsInfo()) return IFrame(1, 0, 1, Message2(0x06, {0x00}));
    if (c.IsRR()) return ++polls < 3 ? RR(1, 1) : IFrame(1, 1, 1, Message2(0x04, {0x00, 0x07}));
    return {};
  };
  EXPECT_EQ(ep.GlobalProcedure(1, 2, 0x04, nullptr, 0, &p), 0);
  EXPECT_EQ(line.CountRR(), 3);
  EXPECT_EQ(p.devRcuCodesSize, 2);
  EXPECT_EQ(p.devRcuCodes[1], 0x07);
}

Bytes XidAnswer(uint8_t control, const Bytes& params) {
  Bytes info{0x81, 0x80, static_cast<uint8_t>(params.size())};
  info.insert(info.end(), params.begin(), params.end());
  return Frame(1, control, info);
}

TEST_F(LinkTest, HdlcParameterNegotiation) {
  const Bytes offer{0x05, 0x04, 0x50, 0x02, 0x00, 0x00, 0x06, 0x04, 0x50,
                    0x02, 0x00, 0x00, 0x07, 0x01, 0x01, 0x08, 0x01, 0x01};
  line.responder = [&](const Command&) { return XidAnswer(0xBF, offer); };
  testing::internal::CaptureStdout();
  EXPECT_EQ(ep.GetHdlcParams(1, &p), 0);
  std::string out = testing::internal::GetCapturedStdout();
  Bytes request{0x81, 0x80, 0x12};
  request.insert(request.end(), offer.begin(), offer.end());
  ASSERT_EQ(line.sent.size(), 1u);
  EXPECT_EQ(line.sent[0].info, request);
  EXPECT_EQ(p.devAisgVersion, 2);
  EXPECT_EQ(p.devRcuCodesSize, 18);
  EXPECT_NE(out.find("p->devRcuCodes: 5 4 50 2 0 0 6 4 50 2 0 0 7 1 1 8 1 1 \n"
                     "Max info field length - transmit(bits): 592, (74 octets)\n"
                     "Max info field length - receive (bits): 592, (74 octets)\n"
                     "Windows size - transmit: 1\n"
                     "Windows size - receive : 1\n"),
            std::string::npos)
      << out;

  // An AISG 1.x device answers with UA.
  line.responder = [&](const Command&) { return XidAnswer(0x73, {0x07, 0x01, 0x01}); };
  EXPECT_EQ(ep.GetHdlcParams(1, &p), 0);
  EXPECT_EQ(p.devAisgVersion, 1);
}

TEST_F(LinkTest, HdlcParametersOutsideWhatWeKnowAreBad) {
  const Bytes answers[] = {
      {0x07, 0x02, 0x01, 0x00},                                // window size of two bytes
      {0x05, 0x05, 0x50, 0x02, 0x00, 0x00, 0x00},              // length of five bytes
      {0x05, 0x04, 0x50, 0x02, 0x00, 0x00, 0x09, 0x01, 0x01},  // unknown parameter
      {0x05, 0x04, 0x50, 0x02},                                // value cut short
      {0x07},                                                  // identifier without length
  };
  for (const Bytes& params : answers) {
    line.responder = [&](const Command&) { return XidAnswer(0xBF, params); };
    testing::internal::CaptureStdout();
    EXPECT_EQ(ep.GetHdlcParams(1, &p), 82);
    testing::internal::GetCapturedStdout();
  }
  line.responder = [](const Command&) { return Bytes{}; };
  EXPECT_EQ(ep.GetHdlcParams(1, &p), 89);
}

}  // namespace
}  // namespace proctest
