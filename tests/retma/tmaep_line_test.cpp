// TMA procedures on a scripted line: request bytes of both generations,
// answer sizes, the record and the trace.
#include <string>

#include "aldlink/procedures/tmaep.h"
#include "tests/retma/retma_line.h"

namespace retma {
namespace {

using TmaLineTest = LineTest<TMAEP>;

TEST_F(TmaLineTest, ModeAndGainRequestsOfBothGenerations) {
  AnswerAlways(Message1(0x40, {0x00}));
  // AISG 1.x drops the subunit; the mode keeps its low four bits.
  EXPECT_EQ(ep.TMASetMode(1, 1, 5, 0x21, &p), 0);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x01, 0x40, 0x01, 0x00, 0x01}));
  AnswerAlways(Message2(0x70, {0x02, 0x00}));
  EXPECT_EQ(ep.TMASetMode(1, 2, 2, 1, &p), 0);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x70, 0x02, 0x00, 0x02, 0x01}));
  AnswerAlways(Message2(0x72, {0x02, 0x00}));
  EXPECT_EQ(ep.TMASetGain(1, 2, 2, 48, &p), 0);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x72, 0x02, 0x00, 0x02, 0x30}));
  AnswerAlways(Message1(0x42, {0x00}));
  EXPECT_EQ(ep.TMASetGain(1, 1, 1, 255, &p), 0);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x01, 0x42, 0x01, 0x00, 0xFF}));
  AnswerAlways(Message2(0x71, {0x00, 0x00}));
  EXPECT_EQ(ep.TMAGetMode(1, 2, 0, &p), 0);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x71, 0x00, 0x00}));
  AnswerAlways(Message1(0x43, {0x00, 0x20}));
  EXPECT_EQ(ep.TMAGetGain(1, 1, 3, &p), 0);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x01, 0x43, 0x00, 0x00}));
}

TEST_F(TmaLineTest, WrongGenerationOrGainSendsNothing) {
  AnswerAlways(Message2(0x71, {0x00, 0x01}));
  p.tmaCurrentMode = 7;
  p.devRcuCodesSize = 2;
  EXPECT_EQ(ep.TMAGetMode(1, 3, 1, &p), 84);
  EXPECT_EQ(ep.TMASetMode(1, 0, 1, 1, &p), 84);
  EXPECT_EQ(ep.TMASetGain(1, 3, 1, 40, &p), 84);
  EXPECT_EQ(ep.TMAGetGain(1, -1, 1, &p), 84);
  // A gain beyond one byte would be a different gain at the device.
  EXPECT_EQ(ep.TMASetGain(1, 2, 1, 256, &p), 84);
  EXPECT_EQ(ep.TMASetGain(1, 1, 0, -4, &p), 84);
  EXPECT_TRUE(line.sent.empty());
  EXPECT_EQ(p.tmaCurrentMode, 7);
  EXPECT_EQ(p.devRcuCodesSize, 0);
}

TEST_F(TmaLineTest, ModeAndGainReadsTakeExactlyOneByte) {
  AnswerAlways(Message2(0x73, {0x01, 0x00, 0x30}));
  std::string out = Captured([&] { EXPECT_EQ(ep.TMAGetGain(1, 2, 1, &p), 0); });
  EXPECT_EQ(p.tmaCurrentGain, 48);
  EXPECT_NE(out.find("p->tmaCurrentGain=48, (db/4): 12.0\n"), std::string::npos) << out;
  AnswerAlways(Message1(0x41, {0x00, 0x01}));
  out = Captured([&] { EXPECT_EQ(ep.TMAGetMode(1, 1, 0, &p), 0); });
  EXPECT_EQ(p.tmaCurrentMode, 1);
  EXPECT_NE(out.find("p->tmaCurrentMode=1\n"), std::string::npos) << out;
  // Bytes are unsigned.
  AnswerAlways(Message2(0x73, {0x00, 0xF0}));
  EXPECT_EQ(ep.TMAGetGain(1, 2, 0, &p), 0);
  EXPECT_EQ(p.tmaCurrentGain, 240);

  AnswerAlways(Message2(0x73, {0x01, 0x00}));
  EXPECT_EQ(ep.TMAGetGain(1, 2, 1, &p), 82);
  AnswerAlways(Message2(0x73, {0x01, 0x00, 0x30, 0x00}));
  EXPECT_EQ(ep.TMAGetGain(1, 2, 1, &p), 82);
  AnswerAlways(Message2(0x71, {0x00, 0x00, 0x00}));
  EXPECT_EQ(ep.TMAGetMode(1, 2, 0, &p), 82);
  EXPECT_EQ(p.tmaCurrentGain, 240);
  EXPECT_EQ(p.tmaCurrentMode, 1);
  AnswerAlways(Message2(0x73, {0x01, 0x0B, 0x13}));
  EXPECT_EQ(ep.TMAGetGain(1, 2, 1, &p), 11);
  EXPECT_EQ(p.devRcuCodes[1], 0x13);
}

TEST_F(TmaLineTest, SupportedFunctionsInTheirOrder) {
  AnswerAlways(Message2(0x7A, {0x02, 0x00, 0x01, 0x10, 0x30, 0x02}));
  std::string out = Captured([&] { EXPECT_EQ(ep.TMAGetSupportedFunctions(1, 2, &p), 0); });
  EXPECT_EQ(line.LastInfo(), (Bytes{0x7A, 0x01, 0x00, 0x02}));
  EXPECT_EQ(p.tmaFunctionFlag, 1);
  EXPECT_EQ(p.tmaMinGain, 16);
  EXPECT_EQ(p.tmaMaxGain, 48);
  EXPECT_EQ(p.tmaGainResolution, 2);
  EXPECT_NE(out.find("p->tmaFunctionFlag=1\np->tmaMinGain=16, (db/4): 4.0\n"
                     "p->tmaMaxGain=48, (db/4): 12.0\np->tmaGainResolution=2, (db/4): 0.5\n"),
            std::string::npos)
      << out;

  AnswerAlways(Message2(0x7A, {0x02, 0x00, 0x00, 0x11, 0x31}));
  EXPECT_EQ(ep.TMAGetSupportedFunctions(1, 2, &p), 82);
  EXPECT_EQ(p.tmaMinGain, 16);
  EXPECT_EQ(p.tmaMaxGain, 48);
}

TEST_F(TmaLineTest, NonLinearGainsAreCountedAndBounded) {
  AnswerAlways(Message2(0x7B, {0x01, 0x00, 0x03, 0x10, 0x18, 0x30}));
  std::string out =
      Captured([&] { EXPECT_EQ(ep.TMAGetSupportedNonLinearGainValues(1, 1, &p), 0); });
  EXPECT_EQ(p.tmaNumofNonLinearGains, 3);
  EXPECT_EQ(Bytes(p.tmaNonLinearGains, p.tmaNonLinearGains + 4), (Bytes{0x10, 0x18, 0x30, 0}));
  EXPECT_NE(out.find("p->tmaNumofNonLinearGains=3\np->tmaNonLinearGains=10 18 30 \n"),
            std::string::npos)
      << out;

  // A count beyond what the record holds is kept to 80; what the answer
  // did not carry reads as zero, and nothing of the earlier list remains.
  Bytes many{0x00, 90};
  for (int i = 0; i < 60; ++i) many.push_back(static_cast<uint8_t>(i + 1));
  AnswerAlways(Message2(0x7B, many));
  EXPECT_EQ(ep.TMAGetSupportedNonLinearGainValues(1, 0, &p), 0);
  EXPECT_EQ(p.tmaNumofNonLinearGains, 80);
  EXPECT_EQ(p.tmaNonLinearGains[59], 60);
  EXPECT_EQ(p.tmaNonLinearGains[60], 0);
  EXPECT_EQ(p.tmaNonLinearGains[79], 0);

  AnswerAlways(Message2(0x7B, {0x00, 0x00}));
  EXPECT_EQ(ep.TMAGetSupportedNonLinearGainValues(1, 0, &p), 0);
  EXPECT_EQ(p.tmaNumofNonLinearGains, 0);
  EXPECT_EQ(p.tmaNonLinearGains[0], 0);
  AnswerAlways(Message2(0x7B, {0x00}));
  EXPECT_EQ(ep.TMAGetSupportedNonLinearGainValues(1, 0, &p), 82);
}

TEST_F(TmaLineTest, SubunitProcedures) {
  AnswerAlways(Message2(0x79, {0x00, 0x02}));
  std::string out = Captured([&] { EXPECT_EQ(ep.TMAGetNumOfSubunits(1, &p), 0); });
  EXPECT_EQ(p.devTotalSubUnits, 2);
  EXPECT_NE(out.find("p->tmaToalNumber=2\n"), std::string::npos) << out;
  EXPECT_EQ(line.LastInfo(), (Bytes{0x79, 0x00, 0x00}));
  AnswerAlways(Message2(0x79, {0x00, 0x02, 0x02}));
  EXPECT_EQ(ep.TMAGetNumOfSubunits(1, &p), 82);

  // Device data of one subunit goes with 0x75, of the unit with 0x0F.
  char ids[1] = {0x16};
  AnswerAlways(Message2(0x75, {0x02, 0x00, 0x16, 0x30}));
  EXPECT_EQ(ep.TMAGetDeviceData(1, 2, ids, 1, &p), 0);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x75, 0x02, 0x00, 0x02, 0x16}));
  EXPECT_EQ(p.tmaMaxGain, 48);
  AnswerAlways(Message2(0x0F, {0x00, 0x16, 0x2C}));
  EXPECT_EQ(ep.TMAGetDeviceData(1, 0, ids, 1, &p), 0);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x0F, 0x01, 0x00, 0x16}));
  EXPECT_EQ(p.tmaMaxGain, 44);

  // Writing: subunit 0 sends no subunit byte; 100 ms pause after it.
  char type[2] = {0x13, 0x03};
  AnswerAlways(Message2(0x74, {0x00}));
  const int64_t t0 = clock.clock().NowMs();
  EXPECT_EQ(ep.TMASetDeviceData(1, 0, type, 2, &p), 0);
  EXPECT_GE(clock.clock().NowMs() - t0, 100);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x74, 0x02, 0x00, 0x13, 0x03}));
  AnswerAlways(Message2(0x74, {0x01, 0x00}));
  EXPECT_EQ(ep.TMASetDeviceData(1, 1, type, 2, &p), 0);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x74, 0x03, 0x00, 0x01, 0x13, 0x03}));

  AnswerAlways(Message2(0x78, {0x02, 0x00, 0x21}));
  EXPECT_EQ(ep.TMAGetAlarmStatus(1, 2, &p), 0);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x78, 0x01, 0x00, 0x02}));
  EXPECT_EQ(p.devRcuCodesSize, 2);
  EXPECT_EQ(p.devRcuCodes[1], 0x21);
  AnswerAlways(Message2(0x77, {0x02, 0x00}));
  EXPECT_EQ(ep.TMAClearAlarms(1, 2, &p), 0);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x77, 0x01, 0x00, 0x02}));
}

}  // namespace
}  // namespace retma
