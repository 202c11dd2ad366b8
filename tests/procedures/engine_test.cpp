// The layer-7 exchange and the device-wide procedures: request layouts,
// the response area, return codes, and answers that lie about themselves.
#include <cstring>
#include <string>

#include "tests/procedures/scripted_line.h"

namespace proctest {
namespace {

// A device at address 1 that answers every request with `answer` (the
// information field), captured so that tests can look at the requests.
class EngineTest : public ProcedureTest {
 protected:
  void Answer(Bytes info) {
    device = std::make_unique<ScriptedDevice>(1, [info](const Bytes&) { return info; });
    line.responder = [this](const Command& c) { return (*device)(c); };
  }
  Bytes LastInfo() const { return line.LastInfo(); }
  std::unique_ptr<ScriptedDevice> device;
};

TEST_F(EngineTest, InvalidGenerationSendsNothing) {
  p.devRcuCodesSize = 5;
  p.devRcuCodes[0] = 0x0B;
  EXPECT_EQ(ep.GlobalProcedure(1, 3, 0x04, nullptr, 0, &p), 84);
  EXPECT_EQ(ep.SetVendorSpecific(1, 0, nullptr, 0, &p), 84);
  EXPECT_TRUE(line.sent.empty());
  EXPECT_EQ(p.devRcuCodesSize, 0);
  EXPECT_EQ(p.devRcuCodes[0], 0);
}

TEST_F(EngineTest, RequestLayoutsOfBothGenerations) {
  char tilt[2] = {0x2C, 0x01};
  Answer(Message2(0x81, {0x02, 0x00}));
  EXPECT_EQ(ep.DeviceProcedure(1, 2, 2, static_cast<char>(0x81), tilt, 2, &p), 0);
  EXPECT_EQ(LastInfo(), (Bytes{0x81, 0x03, 0x00, 0x02, 0x2C, 0x01}));
  // The echoed subunit is not part of the response area.
  EXPECT_EQ(p.devRcuCodesSize, 1);

  Answer(Message1(0x33, {0x00}));
  EXPECT_EQ(ep.DeviceProcedure(1, 1, 0, 0x33, tilt, 2, &p), 0);
  EXPECT_EQ(LastInfo(), (Bytes{0x01, 0x33, 0x02, 0x00, 0x2C, 0x01}));

  // AISG 1.x never sends a subunit number.
  Answer(Message1(0x33, {0x00}));
  EXPECT_EQ(ep.DeviceProcedure(1, 1, 3, 0x33, tilt, 2, &p), 0);
  EXPECT_EQ(LastInfo(), (Bytes{0x01, 0x33, 0x02, 0x00, 0x2C, 0x01}));

  Answer(Message2(0x90, {0x00}));
  char vendor[3] = {'a', 'b', 'c'};
  EXPECT_EQ(ep.SetVendorSpecific(1, 2, vendor, 3, &p), 0);
  EXPECT_EQ(LastInfo(), (Bytes{0x90, 0x03, 0x00, 'a', 'b', 'c'}));
  Answer(Message1(0xFF, {0x00}));
  EXPECT_EQ(ep.SetVendorSpecific(1, 1, vendor, 3, &p), 0);
  EXPECT_EQ(LastInfo(), (Bytes{0x01, 0xFF, 0x03, 0x00, 'a', 'b', 'c'}));
}

TEST_F(EngineTest, RequestsThatDoNotFitOneFrameAreRefused) {
  char data[256] = {};
  EXPECT_EQ(ep.GlobalProcedure(1, 2, 0x0E, data, 248, &p), 84);
  EXPECT_EQ(ep.GlobalProcedure(1, 2, 0x0E, data, -1, &p), 84);
  EXPECT_TRUE(line.sent.empty());
  Answer(Message2(0x0E, {0x00}));
  EXPECT_EQ(ep.GlobalProcedure(1, 2, 0x0E, data, 247, &p), 0);
  EXPECT_EQ(LastInfo().size(), 250u);
}

TEST_F(EngineTest, LongAnswersFillAtMost80Bytes) {
  Bytes data(200);
  for (int i = 0; i < 200; ++i) data[i] = static_cast<uint8_t>(i == 0 ? 0 : i);
  Answer(Message2(0x04, data));
  EXPECT_EQ(ep.GlobalProcedure(1, 2, 0x04, nullptr, 0, &p), 0);
  EXPECT_EQ(p.devRcuCodesSize, 80);
  EXPECT_EQ(p.devRcuCodes[79], 79);
  EXPECT_EQ(p.devRcuCodes[80], 0);

  Bytes echoed(200);
  echoed[0] = 0x01;  // subunit
  for (int i = 2; i < 200; ++i) echoed[i] = static_cast<uint8_t>(i);
  Answer(Message2(0x84, echoed));
  EXPECT_EQ(ep.DeviceProcedure(1, 2, 1, static_cast<char>(0x84), nullptr, 0, &p), 0);
  EXPECT_EQ(p.devRcuCodesSize, 79);
  EXPECT_EQ(p.devRcuCodes[78], 79);
  EXPECT_EQ(p.devRcuCodes[79], 0);
}

TEST_F(EngineTest, ReturnCodes) {
  Answer(Message2(0x04, {0x00, 0x11, 0x22}));
  testing::internal::CaptureStdout();
  EXPECT_EQ(ep.GetAlarmStatus(1, 2, &p), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("p->devRcuCodes: 0 11 22 \n"),
            std::string::npos);
  EXPECT_EQ(p.devRcuCodesSize, 3);
  EXPECT_EQ(p.devRcuCodes[1], 0x11);
  EXPECT_EQ(p.devRcuCodes[2], 0x22);

  Answer(Message2(0x06, {0x0B, 0x05, 0x13}));
  EXPECT_EQ(ep.ClearActiveAlarms(1, 2, &p), 11);
  EXPECT_EQ(p.devRcuCodesSize, 3);
  EXPECT_EQ(Bytes(p.devRcuCodes, p.devRcuCodes + 4), (Bytes{0x0B, 0x05, 0x13, 0x00}));

  // FAIL without reason codes is still FAIL.
  Answer(Message1(0x06, {0x0B}));
  EXPECT_EQ(ep.ClearActiveAlarms(1, 1, &p), 11);
  EXPECT_EQ(p.devRcuCodesSize, 1);

  Answer(Message2(0x06, {0x02, 0x05}));
  testing::internal::CaptureStdout();
  EXPECT_EQ(ep.ClearActiveAlarms(1, 2, &p), 82);
  EXPECT_NE(
      testing::internal::GetCapturedStdout().find("p->devRcuCodes: 2 5 (DEV_BADRESPONDING)\n"),
      std::string::npos);

  // Vendor-specific answers are the caller's, whatever their first byte.
  Answer(Message2(0x90, {0x0B, 0x01}));
  EXPECT_EQ(ep.SetVendorSpecific(1, 2, nullptr, 0, &p), 0);
  EXPECT_EQ(p.devRcuCodesSize, 2);
}

TEST_F(EngineTest, DownloadFailuresMoveTheReasonCodesUp) {
  Answer(Message1(0x20, {0x0B, 0xAA, 0xBB, 0x05, 0x13}));
  EXPECT_EQ(ep.GlobalProcedure(1, 1, 0x20, nullptr, 0, &p), 11);
  EXPECT_EQ(p.devRcuCodesSize, 3);
  EXPECT_EQ(Bytes(p.devRcuCodes, p.devRcuCodes + 6), (Bytes{0x0B, 0x05, 0x13, 0, 0, 0}));

  Answer(Message1(0x21, {0x0B, 0xAA, 0x05}));
  EXPECT_EQ(ep.GlobalProcedure(1, 1, 0x21, nullptr, 0, &p), 11);
  EXPECT_EQ(p.devRcuCodesSize, 2);
  EXPECT_EQ(Bytes(p.devRcuCodes, p.devRcuCodes + 3), (Bytes{0x0B, 0x05, 0}));

  // Too short to hold the extra bytes: left as it came.
  Answer(Message1(0x20, {0x0B, 0xAA, 0xBB}));
  EXPECT_EQ(ep.GlobalProcedure(1, 1, 0x20, nullptr, 0, &p), 11);
  EXPECT_EQ(p.devRcuCodesSize, 3);
  EXPECT_EQ(p.devRcuCodes[1], 0xAA);
}

TEST_F(EngineTest, AnswersShorterThanTheyClaimAreBad) {
  // Length field 10, two data bytes.
  Answer(Bytes{0x04, 0x0A, 0x00, 0x00, 0x01});
  EXPECT_EQ(ep.GetAlarmStatus(1, 2, &p), 82);
  EXPECT_EQ(p.devRcuCodesSize, 2);  // what arrived, no made-up zeros
  // No return code at all.
  Answer(Message2(0x04, {}));
  EXPECT_EQ(ep.GetAlarmStatus(1, 2, &p), 82);
  Answer(Bytes{0x04});
  EXPECT_EQ(ep.GetAlarmStatus(1, 2, &p), 82);
  // An echoed subunit and nothing after it.
  Answer(Message2(0x84, {0x01}));
  EXPECT_EQ(ep.DeviceProcedure(1, 2, 1, static_cast<char>(0x84), nullptr, 0, &p), 82);
  Answer(Bytes{0x90, 0x05, 0x00, 0x00});
  EXPECT_EQ(ep.SetVendorSpecific(1, 2, nullptr, 0, &p), 82);
}

TEST_F(EngineTest, RelinkOnlyOutsideDownloads) {
  line.responder = [](const Command&) { return Bytes{}; };
  EXPECT_EQ(ep.GlobalProcedure(1, 1, 0x21, nullptr, 0, &p), 89);
  EXPECT_EQ(line.Count(kSNRM), 0);
  EXPECT_EQ(line.CountInfo(), 3);
  line.sent.clear();
  EXPECT_EQ(ep.GlobalProcedure(1, 2, 0x05, nullptr, 0, &p), 89);
  EXPECT_EQ(line.Count(kSNRM), 3);
}

TEST_F(EngineTest, DeviceType) {
  strcpy(p.devVendorID, "XY");
  p.devType = 7;
  Answer(Message1(0x02, {0x00, 'K', 'A'}));
  EXPECT_EQ(ep.GetDeviceType(1, &p), 82);
  EXPECT_STREQ(p.devVendorID, "XY");
  EXPECT_EQ(p.devType, 7);

  Answer(Message1(0x02, {0x00, 'K', 'A', 0x11}));
  EXPECT_EQ(ep.GetDeviceType(1, &p), 0);
  EXPECT_EQ(LastInfo(), (Bytes{0x01, 0x02, 0x00, 0x00}));
  EXPECT_STREQ(p.devVendorID, "KA");
  EXPECT_EQ(p.devType, 0x11);
  EXPECT_EQ(p.devAisgVersion, 1);
}

Bytes InfoTexts(const Bytes& model, const Bytes& serial, const Bytes& hw, const Bytes& sw) {
  Bytes data{0x00};
  for (const Bytes* t : {&model, &serial, &hw, &sw}) {
    data.push_back(static_cast<uint8_t>(t->size()));
    data.insert(data.end(), t->begin(), t->end());
  }
  return Message2(0x05, data);
}

TEST_F(EngineTest, InfoTextsAreCleaned) {
  Answer(InfoTexts({'M', '1'}, {0x00, 0x00, 'A', 'B'}, {'H', 0x0D, 'X'}, {'S', 'W', 0xFF}));
  testing::internal::CaptureStdout();
  EXPECT_EQ(ep.GetInfo(1, 2, &p), 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_STREQ(p.devModel, "M1");
  EXPECT_STREQ(p.devSerial, "AB");
  EXPECT_STREQ(p.devHWver, "H");
  EXPECT_STREQ(p.devSWver, "SW");
  EXPECT_NE(out.find("p->devModel=M1\np->devSerial=AB\np->devHWver=H\np->devSWver=SW\n"),
            std::string::npos)
      << out;
}

TEST_F(EngineTest, OverlongInfoTextsAreCutToTheirField) {
  Bytes longModel(30, 'm');
  longModel[29] = 'z';
  Answer(InfoTexts(longModel, {'S'}, {'H'}, {'W'}));
  EXPECT_EQ(ep.GetInfo(1, 2, &p), 0);
  EXPECT_EQ(std::string(p.devModel), std::string(19, 'm'));
  // The texts behind the long one are still found.
  EXPECT_STREQ(p.devSerial, "S");
  EXPECT_STREQ(p.devSWver, "W");
  // The record around the field is untouched.
  EXPECT_EQ(p.devSerial[1], 0);

  // A text that runs past the answer: nothing changes.
  Answer(Message2(0x05, {0x00, 0x02, 'N', 'M', 0x01, 'T', 0x01, 'H', 0x09, 'W'}));
  EXPECT_EQ(ep.GetInfo(1, 2, &p), 82);
  EXPECT_EQ(std::string(p.devModel), std::string(19, 'm'));
  Answer(Message2(0x05, {0x00}));
  EXPECT_EQ(ep.GetInfo(1, 2, &p), 82);
}

TEST_F(EngineTest, BitRatesAreCutToTheirField) {
  Answer(Message1(0x0D, {0x00, '9', '6', '0', '0'}));
  EXPECT_EQ(ep.GetBitRates(1, &p), 0);
  EXPECT_STREQ(p.devBitRates, "9600");
  Answer(Message1(0x0D, {0x00, '9', '6', '0', '0', '/', '3', '8', '4', '0', '0'}));
  EXPECT_EQ(ep.GetBitRates(1, &p), 0);
  EXPECT_STREQ(p.devBitRates, "9600/38");
  EXPECT_EQ(p.devHWver[0], 0);  // the next member
}

TEST_F(EngineTest, UserData) {
  Bytes piece{0x00};
  for (int i = 0; i < 16; ++i) piece.push_back(static_cast<uint8_t>(0xA0 + i));
  Answer(Message2(0x10, piece));
  EXPECT_EQ(ep.ReadUserData(1, 0x0120, 16, &p), 0);
  EXPECT_EQ(LastInfo(), (Bytes{0x10, 0x03, 0x00, 0x20, 0x01, 0x10}));
  EXPECT_EQ(Bytes(p.devUserData, p.devUserData + 16), Bytes(piece.begin() + 1, piece.end()));

  piece.pop_back();
  Answer(Message2(0x10, piece));
  EXPECT_EQ(ep.ReadUserData(1, 0, 16, &p), 82);

  line.sent.clear();
  EXPECT_EQ(ep.ReadUserData(1, 0, 73, &p), 84);
  EXPECT_EQ(ep.ReadUserData(1, -1, 16, &p), 84);
  EXPECT_TRUE(line.sent.empty());

  char data[100];
  for (int i = 0; i < 100; ++i) data[i] = static_cast<char>(i);
  Answer(Message2(0x11, {0x00}));
  EXPECT_EQ(ep.WriteUserData(1, 16, data, 100, &p), 0);
  Bytes sent = LastInfo();
  ASSERT_EQ(sent.size(), 3u + 3u + 71u);
  EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 6), (Bytes{0x11, 74, 0x00, 16, 0x00, 71}));
  EXPECT_EQ(sent.back(), 70);
}

TEST_F(EngineTest, ResetPollsThenPauses) {
  Answer(Message2(0x03, {0x00}));
  int64_t start = NowMs();
  EXPECT_EQ(ep.ResetSoftware(1, 2, &p), 0);
  EXPECT_EQ(line.CountRR(), 1);
  EXPECT_GE(NowMs() - start, 1200);

  // The device goes quiet while it restarts: still success, three polls.
  line.sent.clear();
  bool answered = false;
  line.responder = [&](const Command& c) -> Bytes {
    if (!c.IsInfo() || answered) return {};
    answered = true;
    return IFrame(1, 0, 1, Message2(0x03, {0x00}));
  };
  EXPECT_EQ(ep.ResetSoftware(1, 2, &p), 0);
  EXPECT_EQ(line.CountRR(), 3);

  Answer(Message2(0x03, {0x0B, 0x01}));
  EXPECT_EQ(ep.ResetSoftware(1, 2, &p), 11);
}

TEST_F(EngineTest, SetDeviceDataPausesAfterTheExchange) {
  Answer(Message2(0x0E, {0x00}));
  char field[3] = {0x25, 0x10, 0x0E};
  int64_t start = NowMs();
  EXPECT_EQ(ep.SetDeviceData(1, 2, field, 3, &p), 0);
  EXPECT_EQ(LastInfo(), (Bytes{0x0E, 0x03, 0x00, 0x25, 0x10, 0x0E}));
  int64_t answered = line.sentAtMs.back();
  EXPECT_GE(NowMs() - answered, 100);
  EXPECT_GT(answered, start - 1);
}

Bytes UserParamReply(uint8_t control, const Bytes& params) {
  Bytes info{0x81, 0xF0, static_cast<uint8_t>(params.size())};
  info.insert(info.end(), params.begin(), params.end());
  return Frame(3, control, info);
}

TEST_F(EngineTest, VersionQueries) {
  line.responder = [](const Command&) { return UserParamReply(0xBF, {0x14, 0x01, 0x02}); };
  testing::internal::CaptureStdout();
  EXPECT_EQ(ep.GetAisgVersion(3, &p), 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(line.sent.back().info, (Bytes{0x81, 0xF0, 0x03, 0x14, 0x01, 0x02}));
  EXPECT_EQ(p.devAisgVersion, 2);
  EXPECT_EQ(p.devAddress, 3);
  EXPECT_NE(out.find("p->devRcuCodes: 14 1 2 \np->devAisgVersion=2\n"), std::string::npos);

  line.responder = [](const Command&) { return UserParamReply(0x73, {0x05, 0x01, 0x09}); };
  EXPECT_EQ(ep.Get3gppVersion(3, &p), 0);
  EXPECT_EQ(line.sent.back().info, (Bytes{0x81, 0xF0, 0x03, 0x05, 0x01, 0x06}));
  EXPECT_EQ(p.dev3gppVersion, 9);

  line.responder = [](const Command&) { return UserParamReply(0xBF, {0x15, 0x02, 0x34, 0x12}); };
  EXPECT_EQ(ep.GetExtSubVersion(3, 0x0102, &p), 0);
  EXPECT_EQ(line.sent.back().info, (Bytes{0x81, 0xF0, 0x04, 0x15, 0x02, 0x02, 0x01}));
  EXPECT_EQ(p.devExtSubVersion, 0x1234u);

  // Another parameter, or a group of the wrong size, is no answer.
  p.dev3gppVersion = 4;
  line.responder = [](const Command&) { return UserParamReply(0xBF, {0x14, 0x01, 0x09}); };
  EXPECT_EQ(ep.Get3gppVersion(3, &p), 82);
  line.responder = [](const Command&) { return UserParamReply(0xBF, {0x05, 0x02, 0x09, 0x00}); };
  EXPECT_EQ(ep.Get3gppVersion(3, &p), 82);
  EXPECT_EQ(p.dev3gppVersion, 4);
  line.responder = [](const Command&) { return UserParamReply(0x13, {0x05, 0x01, 0x09}); };
  testing::internal::CaptureStdout();
  EXPECT_EQ(ep.Get3gppVersion(3, &p), 82);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Cannot determine asig version!\n"),
            std::string::npos);
}

}  // namespace
}  // namespace proctest
