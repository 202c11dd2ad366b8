// RET procedures on a scripted line: request bytes, answer sizes, the
// record, the trace, and the configuration upload with its file handling.
#include <dirent.h>

#include <cstring>
#include <string>

#include "aldlink/procedures/retep.h"
#include "tests/retma/retma_line.h"

namespace retma {
namespace {

using RetLineTest = LineTest<RETEP>;

// Open file descriptors of this process: a failed upload must not leave its
// file open.
int OpenDescriptors() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  if (d == nullptr) return -1;
  while (readdir(d) != nullptr) ++n;
  closedir(d);
  return n;
}

// Answers OK to every request. AISG 2.0 per-antenna requests echo their
// antenna number; a request carries one when its length field is one more
// than the procedure's data (device data and antenna configuration always
// name an antenna in these tests).
Bytes OkFor(const Bytes& m) {
  if (m[0] == 0x01) return Message1(m[1], {0x00});
  const int length = m[1] | m[2] << 8;
  bool antenna = false;
  switch (m[0]) {
    case 0x80:
    case 0x82:
    case 0x86:
    case 0x87:
      antenna = length == 1;
      break;
    case 0x81:
      antenna = length == 3;
      break;
    case 0x83:
    case 0x84:
    case 0x89:
      antenna = true;
      break;
  }
  if (antenna) return Message2(m[0], {m[3], 0x00});
  return Message2(m[0], {0x00});
}

TEST_F(RetLineTest, TiltRequestsCarryTheTiltLowByteFirst) {
  Answer(OkFor);
  EXPECT_EQ(ep.SetTilt(1, 1, -25, &p), 0);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x01, 0x33, 0x02, 0x00, 0xE7, 0xFF}));
  EXPECT_EQ(ep.SetTilt(1, 2, 300, &p), 0);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x33, 0x02, 0x00, 0x2C, 0x01}));
  EXPECT_EQ(ep.AntennaSetTilt(1, 3, 100, &p), 0);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x81, 0x03, 0x00, 0x03, 0x64, 0x00}));
  // Antenna 0 is the unit as a whole: no antenna byte.
  EXPECT_EQ(ep.AntennaSetTilt(1, 0, -1, &p), 0);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x81, 0x02, 0x00, 0xFF, 0xFF}));
  EXPECT_EQ(ep.Calibrate(1, 1, &p), 0);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x01, 0x31, 0x00, 0x00}));
  EXPECT_EQ(ep.AntennaCalibrate(1, 2, &p), 0);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x80, 0x01, 0x00, 0x02}));
}

TEST_F(RetLineTest, TiltsThatDoNotFitSixteenBitsAreRefusedUnsent) {
  Answer(OkFor);
  p.devRcuCodesSize = 3;
  EXPECT_EQ(ep.SetTilt(1, 2, 32768, &p), 84);
  EXPECT_EQ(ep.SetTilt(1, 1, -32769, &p), 84);
  EXPECT_EQ(ep.AntennaSetTilt(1, 1, 70000, &p), 84);
  EXPECT_EQ(ep.SetTilt(1, 3, 10, &p), 84);
  EXPECT_TRUE(line.sent.empty());
  EXPECT_EQ(p.devRcuCodesSize, 0);
  EXPECT_EQ(ep.SetTilt(1, 2, -32768, &p), 0);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x33, 0x02, 0x00, 0x00, 0x80}));
}

TEST_F(RetLineTest, TiltReadsTakeExactlyTwoBytes) {
  AnswerAlways(Message1(0x34, {0x00, 0xE7, 0xFF}));
  std::string out = Captured([&] { EXPECT_EQ(ep.GetTilt(1, 1, &p), 0); });
  EXPECT_EQ(p.retCurrentTilt, -25);
  // The single-antenna read opens its line with a blank line.
  EXPECT_NE(out.find("\n\np->retCurrentTilt:-25, (deg/10): -2.5\n"), std::string::npos) << out;
  EXPECT_EQ(line.LastInfo(), (Bytes{0x01, 0x34, 0x00, 0x00}));

  // The echoed antenna number is not part of the size.
  AnswerAlways(Message2(0x82, {0x02, 0x00, 0x2C, 0x01}));
  out = Captured([&] { EXPECT_EQ(ep.AntennaGetTilt(1, 2, &p), 0); });
  EXPECT_EQ(p.retCurrentTilt, 300);
  EXPECT_EQ(out.find("\n\np->retCurrentTilt"), std::string::npos) << out;
  EXPECT_NE(out.find("p->retCurrentTilt:300, (deg/10): 30.0\n"), std::string::npos) << out;
  EXPECT_EQ(line.LastInfo(), (Bytes{0x82, 0x01, 0x00, 0x02}));

  // One byte short or one too many: bad answer, the last tilt stays.
  AnswerAlways(Message2(0x34, {0x00, 0x10}));
  EXPECT_EQ(ep.GetTilt(1, 2, &p), 82);
  AnswerAlways(Message2(0x34, {0x00, 0x10, 0x00, 0x00}));
  EXPECT_EQ(ep.GetTilt(1, 2, &p), 82);
  AnswerAlways(Message2(0x82, {0x02, 0x00, 0x10}));
  EXPECT_EQ(ep.AntennaGetTilt(1, 2, &p), 82);
  EXPECT_EQ(p.retCurrentTilt, 300);

  AnswerAlways(Message2(0x34, {0x0B, 0x0E}));
  EXPECT_EQ(ep.GetTilt(1, 2, &p), 11);
  EXPECT_EQ(p.devRcuCodes[1], 0x0E);
  EXPECT_EQ(p.retCurrentTilt, 300);
}

TEST_F(RetLineTest, AntennaCountIsOneByteWithoutAntennaNumber) {
  AnswerAlways(Message2(0x88, {0x00, 0x03}));
  std::string out = Captured([&] { EXPECT_EQ(ep.AntennaGetNumOfAntennas(1, &p), 0); });
  EXPECT_EQ(p.devTotalSubUnits, 3);
  EXPECT_NE(out.find("p->devTotalSubUnits=3\n"), std::string::npos);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x88, 0x00, 0x00}));

  AnswerAlways(Message2(0x88, {0x00}));
  EXPECT_EQ(ep.AntennaGetNumOfAntennas(1, &p), 82);
  AnswerAlways(Message2(0x88, {0x00, 0x03, 0x01}));
  EXPECT_EQ(ep.AntennaGetNumOfAntennas(1, &p), 82);
  EXPECT_EQ(p.devTotalSubUnits, 3);
}

TEST_F(RetLineTest, PerAntennaDeviceDataAlarmsAndCodes) {
  // Device data of one antenna goes with 0x84; antenna 0 is the common read.
  AnswerAlways(Message2(0x84, {0x02, 0x00, 0x06, 0xC4, 0xFF}));
  char ids[1] = {0x06};
  EXPECT_EQ(ep.AntennaGetDeviceData(1, 2, ids, 1, &p), 0);
  EXPECT_EQ(p.antMaxTilt, -60);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x84, 0x02, 0x00, 0x02, 0x06}));
  AnswerAlways(Message2(0x0F, {0x00, 0x06, 0x64, 0x00}));
  EXPECT_EQ(ep.AntennaGetDeviceData(1, 0, ids, 1, &p), 0);
  EXPECT_EQ(p.antMaxTilt, 100);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x0F, 0x01, 0x00, 0x06}));

  // Writing pauses 100 ms after the exchange, whatever its result.
  Answer(OkFor);
  char bearing[3] = {0x25, 0x10, 0x0E};
  int64_t t0 = clock.clock().NowMs();
  EXPECT_EQ(ep.AntennaSetDeviceData(1, 3, bearing, 3, &p), 0);
  EXPECT_GE(clock.clock().NowMs() - t0, 100);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x83, 0x04, 0x00, 0x03, 0x25, 0x10, 0x0E}));
  AnswerAlways(Message2(0x83, {0x03, 0x0B, 0x1A}));
  t0 = clock.clock().NowMs();
  EXPECT_EQ(ep.AntennaSetDeviceData(1, 3, bearing, 3, &p), 11);
  EXPECT_GE(clock.clock().NowMs() - t0, 100);

  AnswerAlways(Message2(0x87, {0x01, 0x00, 0x02, 0x0E}));
  EXPECT_EQ(ep.AntennaGetAlarmStatus(1, 1, &p), 0);
  EXPECT_EQ(p.devRcuCodesSize, 3);
  EXPECT_EQ(p.devRcuCodes[1], 0x02);
  EXPECT_EQ(p.devRcuCodes[2], 0x0E);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x87, 0x01, 0x00, 0x01}));
  Answer(OkFor);
  EXPECT_EQ(ep.AntennaClearAlarms(1, 1, &p), 0);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x86, 0x01, 0x00, 0x01}));
}

// --- Configuration upload ---------------------------------------------------

std::string Bytes150() {
  std::string s(150, '\0');
  for (int i = 0; i < 150; ++i) s[i] = static_cast<char>(i);
  return s;
}

TEST_F(RetLineTest, RawFilesGoInPiecesOfTheirGenerationsSize) {
  Answer(OkFor);
  std::string file = WriteFile("config.bin", Bytes150());
  std::string out =
      Captured([&] { EXPECT_EQ(ep.SendConfigurationData(1, 1, file.data(), &p), 0); });
  EXPECT_NE(out.find(file + " input file, strlen !!\n"), std::string::npos);
  std::vector<Bytes> m = Messages();
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(Bytes(m[0].begin(), m[0].begin() + 4), (Bytes{0x01, 0x32, 70, 0x00}));
  EXPECT_EQ(m[0].size(), 4u + 70);
  EXPECT_EQ(m[1].size(), 4u + 70);
  EXPECT_EQ(Bytes(m[2].begin(), m[2].begin() + 4), (Bytes{0x01, 0x32, 10, 0x00}));
  EXPECT_EQ(m[2].size(), 4u + 10);
  EXPECT_EQ(m[1][4], 70);
  EXPECT_EQ(m[2].back(), 149);

  // AISG 2.0, the whole unit: 71 bytes a piece.
  line.sent.clear();
  EXPECT_EQ(ep.SendConfigurationData(1, 2, 0, file.data(), &p), 0);
  m = Messages();
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(Bytes(m[0].begin(), m[0].begin() + 3), (Bytes{0x32, 71, 0x00}));
  EXPECT_EQ(m[1].size(), 3u + 71);
  EXPECT_EQ(Bytes(m[2].begin(), m[2].begin() + 3), (Bytes{0x32, 8, 0x00}));
  EXPECT_EQ(m[2][3], 142);

  // One antenna: code 0x89 and 70 bytes after the antenna number.
  line.sent.clear();
  EXPECT_EQ(ep.AntennaSendConfigurationData(1, 2, file.data(), &p), 0);
  m = Messages();
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(Bytes(m[0].begin(), m[0].begin() + 5), (Bytes{0x89, 71, 0x00, 0x02, 0x00}));
  EXPECT_EQ(Bytes(m[2].begin(), m[2].begin() + 4), (Bytes{0x89, 11, 0x00, 0x02}));
  EXPECT_EQ(m[2].back(), 149);
  line.sent.clear();
  EXPECT_EQ(ep.AntennaSendConfigurationData(1, 0, file.data(), &p), 0);
  EXPECT_EQ(Messages().front()[0], 0x32);

  // A file of exactly one piece is one exchange, not two.
  line.sent.clear();
  std::string one = WriteFile("one.bin", std::string(71, 'x'));
  EXPECT_EQ(ep.SendConfigurationData(1, 2, one.data(), &p), 0);
  EXPECT_EQ(Messages().size(), 1u);
}

TEST_F(RetLineTest, HexFilesAreDigitPairs) {
  Answer(OkFor);
  std::string file = WriteFile("cfg.hex", "0A1b");
  EXPECT_EQ(ep.SendConfigurationData(1, 2, file.data(), &p), 0);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x32, 0x02, 0x00, 0x0A, 0x1B}));

  // 145 bytes as 290 digits, in pieces of 142 digits (AISG 2.0, whole
  // unit), 140 digits (AISG 1.x) or 140 digits after the antenna number.
  std::string digits;
  char pair[3];
  for (int i = 0; i < 145; ++i) {
    snprintf(pair, sizeof pair, "%02X", (i * 7) & 0xFF);
    digits += pair;
  }
  // ".hex" anywhere in the name counts; upper case does not.
  std::string big = WriteFile("site.hex.cfg", digits);
  line.sent.clear();
  EXPECT_EQ(ep.SendConfigurationData(1, 2, big.data(), &p), 0);
  std::vector<Bytes> m = Messages();
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[0].size(), 3u + 71);
  EXPECT_EQ(m[2].size(), 3u + 3);
  EXPECT_EQ(m[1][3], (71 * 7) & 0xFF);
  EXPECT_EQ(m[2].back(), (144 * 7) & 0xFF);
  line.sent.clear();
  EXPECT_EQ(ep.SendConfigurationData(1, 1, big.data(), &p), 0);
  m = Messages();
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[0].size(), 4u + 70);
  EXPECT_EQ(m[2].size(), 4u + 5);
  line.sent.clear();
  EXPECT_EQ(ep.AntennaSendConfigurationData(1, 1, big.data(), &p), 0);
  EXPECT_EQ(Messages()[0].size(), 4u + 70);

  std::string upper = WriteFile("cfg.HEX", "0A1b");
  EXPECT_EQ(ep.SendConfigurationData(1, 2, upper.data(), &p), 0);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x32, 0x04, 0x00, '0', 'A', '1', 'b'}));
}

TEST_F(RetLineTest, FilesThatCannotBeSentAreRefusedWithoutTraffic) {
  Answer(OkFor);
  const int fds = OpenDescriptors();
  std::string missing = Path("nowhere.bin");
  std::string out =
      Captured([&] { EXPECT_EQ(ep.SendConfigurationData(1, 2, missing.data(), &p), 84); });
  EXPECT_NE(out.find(missing + " file not found !!\n"), std::string::npos) << out;

  std::string empty = WriteFile("empty.bin", "");
  out = Captured([&] { EXPECT_EQ(ep.SendConfigurationData(1, 2, empty.data(), &p), 84); });
  EXPECT_NE(out.find(empty + " file is empty !!\n"), std::string::npos) << out;
  std::string emptyHex = WriteFile("empty.hex", "");
  EXPECT_EQ(ep.SendConfigurationData(1, 1, emptyHex.data(), &p), 84);

  // A directory opens but cannot be read.
  std::string dir = Path("");
  out = Captured([&] { EXPECT_EQ(ep.SendConfigurationData(1, 2, dir.data(), &p), 84); });
  EXPECT_NE(out.find(" file read error !!\n"), std::string::npos) << out;

  std::string odd = WriteFile("odd.hex", "0A1");
  out = Captured([&] { EXPECT_EQ(ep.SendConfigurationData(1, 2, odd.data(), &p), 84); });
  EXPECT_NE(out.find(odd + " file format error !!\n"), std::string::npos) << out;
  // Characters that are not digits, a line end included, are not guessed at.
  for (const char* text : {"0G", "0A\r\n", "0A1B\n", "0x0A", ":10", "0 A1"}) {
    std::string bad = WriteFile("bad.hex", text);
    out = Captured([&] { EXPECT_EQ(ep.SendConfigurationData(1, 2, bad.data(), &p), 84) << text; });
    EXPECT_NE(out.find(" file format error !!\n"), std::string::npos) << text;
  }

  // Generation outside 1 and 2, and no name at all.
  std::string good = WriteFile("good.bin", "abc");
  EXPECT_EQ(ep.SendConfigurationData(1, 3, good.data(), &p), 84);
  EXPECT_EQ(ep.SendConfigurationData(1, 0, 0, good.data(), &p), 84);
  EXPECT_EQ(ep.SendConfigurationData(1, 2, nullptr, &p), 84);

  EXPECT_TRUE(line.sent.empty());
  EXPECT_EQ(OpenDescriptors(), fds);
}

TEST_F(RetLineTest, UploadStopsAtTheFirstRefusedPiece) {
  const int fds = OpenDescriptors();
  // The device takes the first piece and fails the second.
  int exchanges = 0;
  Answer([&](const Bytes& m) {
    return ++exchanges == 2 ? Message2(m[0], {0x0B, 0x1E}) : Message2(m[0], {0x00});
  });
  std::string file = WriteFile("config.bin", Bytes150());
  EXPECT_EQ(ep.SendConfigurationData(1, 2, file.data(), &p), 11);
  EXPECT_EQ(Messages().size(), 2u);
  EXPECT_EQ(p.devRcuCodes[0], 0x0B);
  EXPECT_EQ(p.devRcuCodes[1], 0x1E);

  // A format error in the last piece of a ".hex" file comes after the
  // earlier pieces were sent.
  line.sent.clear();
  Answer(OkFor);
  std::string tail = WriteFile("tail.hex", std::string(142, '5') + "123");
  EXPECT_EQ(ep.SendConfigurationData(1, 2, tail.data(), &p), 84);
  EXPECT_EQ(Messages().size(), 1u);

  // A bad character in the second piece: the first piece went, the second
  // does not.
  line.sent.clear();
  std::string mid = WriteFile("mid.hex", std::string(142, '5') + "12Z4");
  EXPECT_EQ(ep.SendConfigurationData(1, 2, mid.data(), &p), 84);
  EXPECT_EQ(Messages().size(), 1u);

  // A device that stops answering ends the upload with the link's result.
  line.sent.clear();
  line.responder = nullptr;
  EXPECT_EQ(ep.SendConfigurationData(1, 2, file.data(), &p), 89);
  EXPECT_EQ(OpenDescriptors(), fds);
}

TEST_F(RetLineTest, LongHexTextIsReadPieceByPieceNotAsOneWord) {
  // 2000 digits without a break: far beyond any word buffer, read in
  // bounded pieces all the same.
  Answer(OkFor);
  std::string file = WriteFile("long.hex", std::string(2000, 'f'));
  EXPECT_EQ(ep.SendConfigurationData(1, 2, file.data(), &p), 0);
  std::vector<Bytes> m = Messages();
  ASSERT_EQ(m.size(), 15u);  // 14 pieces of 71 bytes and one of 6
  EXPECT_EQ(m.back().size(), 3u + 6);
  for (const Bytes& piece : m) EXPECT_EQ(piece.back(), 0xFF);
}

}  // namespace
}  // namespace retma
