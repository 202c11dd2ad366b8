// Frame builders and answer parsers: bytes on the wire, results and the
// sequence numbers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/hdlc/link_fixture.h"

namespace hdlctest {
namespace {

const Bytes kUa1{0x7E, 0x01, 0x73, 0x83, 0x57, 0x7E};

TEST(Checksum, CheckValuesAndModes) {
  AISGHDLC link;
  EXPECT_EQ(AISGHDLCTestAccess::Crc(link, Bytes{'1', '2', '3', '4', '5', '6', '7', '8', '9'}, 1),
            0x906Eu);
  EXPECT_EQ(AISGHDLCTestAccess::Crc(link, Bytes{'a', 'b', 'c'}, 1), 0x9E25u);
  EXPECT_EQ(AISGHDLCTestAccess::Crc(link, Bytes{0x01, 0x93}, 1), 0xB08Du);
  EXPECT_EQ(AISGHDLCTestAccess::Crc(link, Bytes{}, 1), 0u);
  // Mode 2: a block followed by its own FCS checks to 0.
  EXPECT_EQ(AISGHDLCTestAccess::Crc(link, Bytes{0x01, 0x93, 0x8D, 0xB0}, 2), 0u);
  EXPECT_NE(AISGHDLCTestAccess::Crc(link, Bytes{0x01, 0x93, 0x8D, 0xB1}, 2), 0u);
  // Too short to hold an FCS: never right, and no read before the block.
  EXPECT_NE(AISGHDLCTestAccess::Crc(link, Bytes{0x00}, 2), 0u);
  EXPECT_NE(AISGHDLCTestAccess::Crc(link, Bytes{}, 2), 0u);
  // Any other mode hands the length back.
  EXPECT_EQ(AISGHDLCTestAccess::Crc(link, Bytes{1, 2, 3, 4, 5}, 7), 5u);
}

using Builders = LinkTest;

TEST_F(Builders, SnrmUaResetsSequenceNumbers) {
  link_.ns() = 3;
  link_.nr() = 5;
  Answer(kUa1);
  EXPECT_EQ(link_.SetSNRM(1), 0);
  EXPECT_EQ(LastWrite(), (Bytes{0x7E, 0x01, 0x93, 0x8D, 0xB0, 0x7E}));
  EXPECT_EQ(link_.GetSNRM(1), 0);
  EXPECT_EQ(link_.GetHdlcCtrlCode(), 0x73);
  EXPECT_EQ(link_.ns(), 0);
  EXPECT_EQ(link_.nr(), 0);
}

TEST_F(Builders, SnrmWithoutUaKeepsSequenceNumbers) {
  link_.ns() = 3;
  link_.nr() = 5;
  EXPECT_EQ(link_.SetSNRM(1), 89);  // silent bus
  EXPECT_EQ(link_.GetSNRM(1), 89);
  Answer(MakeFrame(2, 0x73));  // UA, but from another station
  EXPECT_EQ(link_.SetSNRM(1), 0);
  EXPECT_EQ(link_.GetSNRM(1), 82);
  Answer(MakeFrame(1, 0x1F));  // DM
  EXPECT_EQ(link_.SetSNRM(1), 0);
  EXPECT_EQ(link_.GetSNRM(1), 82);
  EXPECT_EQ(link_.ns(), 3);
  EXPECT_EQ(link_.nr(), 5);
}

TEST_F(Builders, DiscAndRrBytes) {
  Answer(MakeFrame(1, 0x1F));
  EXPECT_EQ(link_.SetDISC(1), 0);
  EXPECT_EQ(LastWrite(), (Bytes{0x7E, 0x01, 0x53, 0x81, 0x76, 0x7E}));
  EXPECT_EQ(link_.GetDISC(1), 0);
  Answer(kUa1);
  EXPECT_EQ(link_.SetDISC(1), 0);
  EXPECT_EQ(link_.GetDISC(1), 0);
  EXPECT_EQ(link_.GetDISC(2), 82);

  Answer(MakeFrame(1, 0x11));
  EXPECT_EQ(link_.SetRR(1), 0);
  EXPECT_EQ(LastWrite(), (Bytes{0x7E, 0x01, 0x11, 0x97, 0x17, 0x7E}));
  EXPECT_EQ(link_.GetRR(1), 0);
  EXPECT_TRUE(link_.IsReadRR());
  EXPECT_TRUE(link_.IsSendSupervisoryFormat());
  EXPECT_FALSE(link_.IsSendINFO());

  // N(R) of the RR is the receive sequence number.
  link_.nr() = 5;
  Answer(MakeFrame(1, 0x15));  // RNR with final bit
  EXPECT_EQ(link_.SetRR(1), 0);
  EXPECT_EQ(LastWrite()[2], 5 * 32 + 0x11);
  EXPECT_EQ(link_.GetRR(1), 0);
  EXPECT_FALSE(link_.IsReadRR());
  EXPECT_TRUE(link_.IsReadSupervisoryFormat());

  Answer(MakeFrame(1, 0x01));  // RR without the final bit answers nothing
  EXPECT_EQ(link_.SetRR(1), 0);
  EXPECT_EQ(link_.GetRR(1), 82);
}

TEST_F(Builders, BroadcastResetPausesAfterTheExchange) {
  const int64_t start = NowMs();
  EXPECT_EQ(link_.SetXIDReset(0xFF), 89);
  EXPECT_EQ(LastWrite(), (Bytes{0x7E, 0xFF, 0xBF, 0x81, 0xF0, 0x02, 0x07, 0x00, 0xA4, 0xF3, 0x7E}));
  ASSERT_GE(line().lastReadUs, 0);
  EXPECT_EQ(ald::GetClock().NowUs() - line().lastReadUs, 3500 * 1000);
  EXPECT_LT(NowMs() - start, 3500 + 500);

  // The pause comes whatever the result.
  Answer({0x12, 0x34});
  const int64_t t = NowMs();
  EXPECT_EQ(link_.SetXIDReset(0xFF), 82);
  EXPECT_GE(NowMs() - t, 3500);
}

TEST_F(Builders, HdlcParameterRequest) {
  char params[] = {0x05, 0x04, 0x50, 0x02, 0x00, 0x00, 0x06, 0x04, 0x50,
                   0x02, 0x00, 0x00, 0x07, 0x01, 0x01, 0x08, 0x01, 0x01};
  EXPECT_EQ(link_.SetXIDParams(1, params, sizeof params), 89);
  EXPECT_EQ(LastWrite(), (Bytes{0x7E, 0x01, 0xBF, 0x81, 0x80, 0x12, 0x05, 0x04, 0x50,
                                0x02, 0x00, 0x00, 0x06, 0x04, 0x50, 0x02, 0x00, 0x00,
                                0x07, 0x01, 0x01, 0x08, 0x01, 0x01, 0xDC, 0xC3, 0x7E}));
}

TEST_F(Builders, ScanAndAddressAssignmentLayouts) {
  char uid[] = {'A', 'B', '1'};
  char mask[] = {'\xFF', '\x0F', 0};
  link_.SetXIDScan(0xFF, uid, mask, 3);
  const Bytes scan = LastWrite();
  ASSERT_EQ(scan.size(), 6u + 3 + 10);
  EXPECT_EQ(Bytes(scan.begin(), scan.begin() + 16),
            (Bytes{0x7E, 0xFF, 0xBF, 0x81, 0xF0, 10, 1, 3, 'A', 'B', '1', 3, 3, 0xFF, 0x0F, 0}));
  EXPECT_EQ(scan, MakeFrame(0xFF, 0xBF, Bytes(scan.begin() + 3, scan.end() - 3)));

  link_.SetXIDAddress(9, uid, 3);
  const Bytes assign = LastWrite();
  EXPECT_EQ(assign, MakeFrame(0xFF, 0xBF, Bytes{0x81, 0xF0, 8, 1, 3, 'A', 'B', '1', 2, 1, 9}));

  char user[] = {5, 0};
  link_.SetXIDUserParams(3, user, 2);
  EXPECT_EQ(LastWrite(), MakeFrame(3, 0xBF, Bytes{0x81, 0xF0, 2, 5, 0}));
}

TEST_F(Builders, EscapedAddressAndFcsGrowTheFrame) {
  EXPECT_EQ(link_.SetSNRM(0x7E), 89);
  EXPECT_EQ(LastWrite(), (Bytes{0x7E, 0x7D, 0x5E, 0x93, 0x81, 0xC3, 0x7E}));
  EXPECT_EQ(link_.SetSNRM(0x7D), 89);
  EXPECT_EQ(LastWrite(), (Bytes{0x7E, 0x7D, 0x5D, 0x93, 0xE9, 0xE9, 0x7E}));
  // FCS high byte 0x7E.
  EXPECT_EQ(link_.SetSNRM(0x09), 89);
  EXPECT_EQ(LastWrite(), (Bytes{0x7E, 0x09, 0x93, 0x4D, 0x7D, 0x5E, 0x7E}));
  // FCS high byte 0x7D.
  EXPECT_EQ(link_.SetDISC(0x46), 89);
  EXPECT_EQ(LastWrite(), (Bytes{0x7E, 0x46, 0x53, 0xEF, 0x7D, 0x5D, 0x7E}));
  // Information bytes are escaped too.
  char info[] = {0x7E, 0x7D, 0x00};
  EXPECT_EQ(link_.SetInfo(1, info, 3), 89);
  const Bytes& sent = LastWrite();
  ASSERT_GE(sent.size(), 8u);
  EXPECT_EQ(Bytes(sent.begin() + 3, sent.begin() + 8), (Bytes{0x7D, 0x5E, 0x7D, 0x5D, 0x00}));
}

// The frame type of the sent frame is read behind an escaped address.
TEST_F(Builders, SentFrameTypeBehindEscapedAddress) {
  char info[] = {0x05};
  EXPECT_EQ(link_.SetInfo(0x7D, info, 1), 89);
  EXPECT_EQ(LastWrite()[1], 0x7D);
  EXPECT_TRUE(link_.IsSendINFO());
  EXPECT_FALSE(link_.IsSendSupervisoryFormat());
  EXPECT_EQ(link_.SetRR(0x7E), 89);
  EXPECT_FALSE(link_.IsSendINFO());
  EXPECT_TRUE(link_.IsSendSupervisoryFormat());
}

TEST_F(Builders, InfoExchangeAdvancesSendSequence) {
  link_.ns() = 2;
  link_.nr() = 1;
  char msg[] = {0x05, 0x00};
  Answer(MakeFrame(1, 0x11 | (3 << 5)));  // RR, N(R) 3: frame 2 taken
  EXPECT_EQ(link_.SetInfo(1, msg, 2), 0);
  EXPECT_EQ(LastWrite(), MakeFrame(1, 0x34, Bytes{0x05, 0x00}));
  EXPECT_TRUE(link_.IsSendINFO());
  EXPECT_FALSE(link_.IsSendSupervisoryFormat());
  EXPECT_EQ(link_.ns(), 3);

  // An I-frame answer with N(S) = V(R) advances both counters.
  Answer(MakeFrame(1, 0x10 | (4 << 5) | (1 << 1), Bytes{0x05, 0x00, 0x00}));
  EXPECT_EQ(link_.SetInfo(1, msg, 2), 0);
  EXPECT_EQ(LastWrite()[2], 1 * 32 + 0x10 + 3 * 2);
  EXPECT_EQ(link_.ns(), 4);
  EXPECT_EQ(link_.nr(), 2);

  // Sequence numbers wrap modulo 8.
  link_.ns() = 7;
  Answer(MakeFrame(1, 0x11));
  EXPECT_EQ(link_.SetInfo(1, msg, 2), 0);
  EXPECT_EQ(link_.ns(), 0);
}

TEST_F(Builders, RefusedInfoFrameKeepsItsSendSequence) {
  link_.ns() = 2;
  link_.nr() = 1;
  char msg[] = {0x05, 0x00};
  // Busy (RNR) and rejected (REJ) with N(R) 2: frame 2 was not taken.
  Answer(MakeFrame(1, 0x15 | (2 << 5)));
  EXPECT_EQ(link_.SetInfo(1, msg, 2), 0);
  EXPECT_EQ(link_.ns(), 2);
  Answer(MakeFrame(1, 0x19 | (2 << 5)));
  EXPECT_EQ(link_.SetInfo(1, msg, 2), 0);
  EXPECT_EQ(link_.ns(), 2);
  EXPECT_NE(Output().find("I-frame 2 not acknowledged (N(R) 2)\n"), std::string::npos);
  // The next frame carries the same number, and is counted once taken.
  Answer(MakeFrame(1, 0x11 | (3 << 5)));
  EXPECT_EQ(link_.SetInfo(1, msg, 2), 0);
  EXPECT_EQ(LastWrite()[2], 1 * 32 + 0x10 + 2 * 2);
  EXPECT_EQ(link_.ns(), 3);
  // An I-frame answer that does not acknowledge ours leaves N(S) too.
  Answer(MakeFrame(1, 0x10 | (3 << 5) | (1 << 1), Bytes{0x05, 0x00, 0x00}));
  EXPECT_EQ(link_.SetInfo(1, msg, 2), 0);
  EXPECT_EQ(link_.ns(), 3);
}

TEST_F(Builders, InfoWithoutUsableAnswerKeepsSendSequence) {
  char msg[] = {0x05};
  // An I-frame answer with the final bit clear.
  Answer(MakeFrame(1, 0x00, Bytes{0x05, 0x00}));
  EXPECT_EQ(link_.SetInfo(1, msg, 1), 82);
  EXPECT_EQ(link_.ns(), 0);
  // UA, DM or FRMR are no answer to an I-frame.
  Answer(MakeFrame(1, 0x97));
  EXPECT_EQ(link_.SetInfo(1, msg, 1), 82);
  // A broken FCS.
  Bytes bad = MakeFrame(1, 0x11);
  bad[3] ^= 1;
  Answer(bad);
  EXPECT_EQ(link_.SetInfo(1, msg, 1), 82);
  // Silence.
  EXPECT_EQ(link_.SetInfo(1, msg, 1), 89);
  EXPECT_EQ(link_.ns(), 0);
}

TEST_F(Builders, FailedWriteIsNotSent) {
  line().writeLimit = 3;
  const int purges = line().purges;
  Answer(kUa1);
  EXPECT_EQ(link_.SetSNRM(1), 84);
  EXPECT_EQ(Output(), "Error writing in RS485!\n");
  EXPECT_GT(line().purges, purges);
  // The answer that came anyway was flushed and no parser sees an old frame.
  EXPECT_EQ(link_.GetSNRM(1), 89);

  char uid[] = {'A', 'B'};
  EXPECT_EQ(link_.SetXIDScan(0xFF, uid, uid, 2), 89);
  char msg[] = {1};
  EXPECT_EQ(link_.SetInfo(1, msg, 1), 84);
  EXPECT_EQ(link_.ns(), 0);
}

TEST_F(Builders, ClosedPortFailsTheFirstSend) {
  link_.DisableRS485();
  line().refuseOpen = true;
  EXPECT_EQ(link_.EnableRS485(), 0);
  EXPECT_EQ(link_.SetSNRM(1), 84);
  EXPECT_TRUE(line().writes.empty());
  EXPECT_EQ(AISGHDLCTestAccess::Rs485Lookup(link_), 1);
}

TEST_F(Builders, EnableStartsSequenceNumbersAtZero) {
  link_.DisableRS485();
  link_.ns() = 4;
  link_.nr() = 6;
  link_.EnableRS485();
  EXPECT_EQ(link_.ns(), 0);
  EXPECT_EQ(link_.nr(), 0);
  Answer(kUa1);
  EXPECT_EQ(link_.SetSNRM(1), 0);
}

// Frames that would not fit the line buffer are refused before anything goes
// out, with 84 and one trace line.
TEST_F(Builders, OversizedFramesAreRefused) {
  const std::string kMessage = "Frame too long for the line!\n";
  char big[300];
  std::memset(big, 0, sizeof big);

  // 250 information bytes fit exactly (256 bytes on the wire).
  EXPECT_EQ(link_.SetInfo(1, big, 250), 89);
  EXPECT_EQ(LastWrite().size(), 256u);
  Output();
  const size_t writes = line().writes.size();

  EXPECT_EQ(link_.SetInfo(1, big, 251), 84);
  EXPECT_EQ(Output(), kMessage);
  EXPECT_EQ(link_.SetInfo(1, big, -1), 84);
  EXPECT_EQ(Output(), kMessage);
  // 250 bytes that fit before transparency, but not after it.
  EXPECT_EQ(link_.SetInfo(0x7E, big, 250), 84);
  std::memset(big, 0x7E, sizeof big);
  EXPECT_EQ(link_.SetInfo(1, big, 130), 84);
  EXPECT_EQ(link_.SetInfo(1, nullptr, 4), 84);

  EXPECT_EQ(link_.SetXIDParams(1, big, 248), 84);
  EXPECT_EQ(link_.SetXIDUserParams(1, big, -2), 84);
  EXPECT_EQ(link_.SetXIDScan(0xFF, big, big, 122), 84);
  EXPECT_EQ(link_.SetXIDScan(0xFF, big, big, -1), 84);
  EXPECT_EQ(link_.SetXIDAddress(3, big, 243), 84);
  Output();
  EXPECT_EQ(link_.UartSend(big, 257), 84);
  EXPECT_EQ(Output(), kMessage);
  EXPECT_EQ(link_.UartSend(big, 0), 84);
  EXPECT_EQ(link_.UartSend(nullptr, 6), 84);
  // A caller's frame of 200 flag bytes would double on the wire.
  EXPECT_EQ(link_.UartSend(big, 200), 84);

  EXPECT_EQ(line().writes.size(), writes);
  EXPECT_EQ(link_.ns(), 0);
  // Nothing left behind for a parser to accept.
  EXPECT_EQ(link_.GetInfo(1, 2, big), 89);

  // Largest XID parameter field: 247 bytes.
  std::memset(big, 0, sizeof big);
  EXPECT_EQ(link_.SetXIDParams(1, big, 247), 89);
  EXPECT_EQ(LastWrite().size(), 256u);
}

TEST_F(Builders, CallerBuiltFrame) {
  char snrm[] = {
      0x7E, 0x01, static_cast<char>(0x93), static_cast<char>(0x8D), static_cast<char>(0xB0), 0x7E};
  EXPECT_EQ(link_.UartSend(snrm, 6), 0);
  EXPECT_EQ(LastWrite(), (Bytes{0x7E, 0x01, 0x93, 0x8D, 0xB0, 0x7E}));
  EXPECT_EQ(Output(), "Tx [   ]  --> [SNRM] 7e 01 93 8d b0 7e\n");
  char escaped[] = {0x7E, 0x7D, 0x7E};
  EXPECT_EQ(link_.UartSend(escaped, 3), 0);
  EXPECT_EQ(LastWrite(), (Bytes{0x7E, 0x7D, 0x5D, 0x7E}));
}

using Parsers = LinkTest;

TEST_F(Parsers, EmptyAndBrokenAnswersComeFirst) {
  char out[256];
  int address = -1, version = -1, length = -1;
  link_.SetRR(1);  // nothing arrives
  EXPECT_EQ(link_.GetSNRM(1), 89);
  EXPECT_EQ(link_.GetDISC(1), 89);
  EXPECT_EQ(link_.GetRR(1), 89);
  EXPECT_EQ(link_.GetXIDParams(address, version, out, length), 89);
  EXPECT_EQ(link_.GetXIDUserParams(address, version, out, length), 89);
  EXPECT_EQ(link_.GetXIDScan(address, version, out, length), 89);
  EXPECT_EQ(link_.GetXIDAddress(address, version, out, length), 89);
  EXPECT_EQ(link_.GetInfo(1, 2, out), 89);

  Bytes bad = kUa1;
  bad[4] = 0x00;
  Answer(bad);
  EXPECT_EQ(link_.SetRR(1), 82);
  EXPECT_EQ(link_.GetSNRM(1), 82);
  EXPECT_EQ(link_.GetDISC(1), 82);
  EXPECT_EQ(link_.GetRR(1), 82);
  EXPECT_EQ(link_.GetXIDParams(address, version, out, length), 82);
  EXPECT_EQ(link_.GetXIDAddress(address, version, out, length), 82);
  EXPECT_EQ(link_.GetInfo(1, 2, out), 82);
  EXPECT_EQ(address, -1);
  EXPECT_EQ(version, -1);
  EXPECT_EQ(length, -1);
  EXPECT_EQ(Output().find("asig"), std::string::npos);
}

TEST_F(Parsers, XidParamsAnswer) {
  const Bytes params{0x05, 0x02, 0x00, 0x08, 0x07, 0x01, 0x01};
  Bytes info{0x81, 0x80, static_cast<uint8_t>(params.size())};
  info.insert(info.end(), params.begin(), params.end());
  Answer(MakeFrame(3, 0xBF, info));
  char p[] = {5, 0};
  EXPECT_EQ(link_.SetXIDParams(3, p, 2), 0);

  char out[256] = {};
  int address = 0, version = 0, length = 0;
  EXPECT_EQ(link_.GetXIDParams(address, version, out, length), 0);
  EXPECT_EQ(address, 3);
  EXPECT_EQ(version, 2);
  EXPECT_EQ(length, 7);
  EXPECT_EQ(Bytes(out, out + 7), params);
  // The wrong group for the user-parameter parsers.
  EXPECT_EQ(link_.GetXIDUserParams(address, version, out, length), 82);
  EXPECT_EQ(link_.GetXIDAddress(address, version, out, length), 82);

  // An AISG 1.x device answers with a UA: version 1, but no parameters.
  Answer(kUa1);
  link_.SetXIDParams(1, p, 2);
  EXPECT_EQ(link_.GetXIDParams(address, version, out, length), 82);
  EXPECT_EQ(version, 1);
}

TEST_F(Parsers, UnknownVersionIsReported) {
  Answer(MakeFrame(3, 0x1F, Bytes{0x81, 0x80, 0x00}));
  char p[] = {5, 0};
  link_.SetXIDParams(3, p, 2);
  Output();
  char out[256];
  int address = 0, version = 9, length = 0;
  EXPECT_EQ(link_.GetXIDParams(address, version, out, length), 82);
  EXPECT_EQ(version, 0);
  EXPECT_EQ(Output(), "Cannot determine asig version!\n");

  Answer(MakeFrame(3, 0x1F, Bytes{0x81, 0xF0, 0x00}));
  link_.SetXIDUserParams(3, p, 2);
  Output();
  version = 9;
  EXPECT_EQ(link_.GetXIDUserParams(address, version, out, length), 82);
  EXPECT_EQ(version, 0);
  EXPECT_EQ(address, 3);  // taken before the version
  EXPECT_EQ(Output(), "Cannot determine asig version!\n");
}

TEST_F(Parsers, ScanAnswers) {
  const Bytes params{1, 3, 'A', 'B', '1', 4, 1, 0x01};
  Bytes info{0x81, 0xF0, static_cast<uint8_t>(params.size())};
  info.insert(info.end(), params.begin(), params.end());
  Answer(MakeFrame(0, 0xBF, info));
  char uid[] = {'A'};
  char mask[] = {0};
  EXPECT_EQ(link_.SetXIDScan(0xFF, uid, mask, 1), 0);

  char out[256] = {};
  int address = -1, version = 0, length = 0;
  EXPECT_EQ(link_.GetXIDScan(address, version, out, length), 0);
  EXPECT_EQ(address, 0);
  EXPECT_EQ(version, 2);
  EXPECT_EQ(length, 8);
  EXPECT_EQ(Bytes(out, out + 8), params);

  // The first parameter must be the unique ID.
  Answer(MakeFrame(0, 0xBF, Bytes{0x81, 0xF0, 3, 4, 1, 0x01}));
  link_.SetXIDScan(0xFF, uid, mask, 1);
  EXPECT_EQ(link_.GetXIDScan(address, version, out, length), 82);
  EXPECT_EQ(link_.GetXIDUserParams(address, version, out, length), 0);
  // An empty group has no first parameter at all.
  Answer(MakeFrame(0, 0xBF, Bytes{0x81, 0xF0, 0}));
  link_.SetXIDScan(0xFF, uid, mask, 1);
  EXPECT_EQ(link_.GetXIDScan(address, version, out, length), 82);
}

TEST_F(Parsers, AddressAssignmentAnswers) {
  char uid[] = {'A', 'B'};
  char out[256] = {};
  int address = 0, version = 0, length = 5;
  Answer(MakeFrame(7, 0x73));
  link_.SetXIDAddress(7, uid, 2);
  EXPECT_EQ(link_.GetXIDAddress(address, version, out, length), 0);
  EXPECT_EQ(address, 7);
  EXPECT_EQ(version, 1);
  EXPECT_EQ(length, 0);

  Answer(MakeFrame(7, 0xBF, Bytes{0x81, 0xF0, 3, 2, 1, 7}));
  link_.SetXIDAddress(7, uid, 2);
  EXPECT_EQ(link_.GetXIDAddress(address, version, out, length), 0);
  EXPECT_EQ(version, 2);
  EXPECT_EQ(length, 3);
  EXPECT_EQ(Bytes(out, out + 3), (Bytes{2, 1, 7}));

  Answer(MakeFrame(7, 0xBF, Bytes{0x81, 0x80, 0}));
  link_.SetXIDAddress(7, uid, 2);
  EXPECT_EQ(link_.GetXIDAddress(address, version, out, length), 82);
  Answer(MakeFrame(7, 0x1F));
  link_.SetXIDAddress(7, uid, 2);
  EXPECT_EQ(link_.GetXIDAddress(address, version, out, length), 82);
}

// A device that announces more parameter bytes than it sent: the copy stops
// at the FCS and `length` tells what was copied.
TEST_F(Parsers, GroupLengthIsClampedToWhatArrived) {
  Answer(MakeFrame(2, 0xBF, Bytes{0x81, 0xF0, 200, 1, 2, 'A', 'B'}));
  char p[] = {5, 0};
  link_.SetXIDUserParams(2, p, 2);
  char out[256];
  std::memset(out, 0x55, sizeof out);
  int address = 0, version = 0, length = 0;
  EXPECT_EQ(link_.GetXIDUserParams(address, version, out, length), 0);
  EXPECT_EQ(length, 4);
  EXPECT_EQ(Bytes(out, out + 5), (Bytes{1, 2, 'A', 'B', 0x55}));

  // An XID without the header: its FCS is no format identifier.
  Answer(MakeFrame(2, 0xBF));
  link_.SetXIDUserParams(2, p, 2);
  EXPECT_EQ(link_.GetXIDUserParams(address, version, out, length), 82);
  EXPECT_EQ(link_.GetXIDParams(address, version, out, length), 82);
  EXPECT_EQ(link_.GetXIDAddress(address, version, out, length), 82);
}

TEST_F(Parsers, InfoField) {
  char msg[] = {1};
  char out[256] = {};
  // I-frame from address 1, N(S) 0, information 05 00 03.
  Answer(MakeFrame(1, 0x10, Bytes{0x05, 0x00, 0x03}));
  ASSERT_EQ(link_.SetInfo(1, msg, 1), 0);
  EXPECT_EQ(link_.GetInfo(1, 2, out), 0);
  EXPECT_EQ(Bytes(out, out + 3), (Bytes{0x05, 0x00, 0x03}));
  std::memset(out, 0, sizeof out);
  EXPECT_EQ(link_.GetInfo(1, 1, out), 0);
  EXPECT_EQ(Bytes(out, out + 3), (Bytes{0x00, 0x03, 0x00}));
  EXPECT_EQ(link_.GetInfo(2, 2, out), 82);  // another station
  EXPECT_EQ(link_.GetInfo(1, 3, out), 82);  // unknown generation

  // Version 1 needs more than one information byte; the byte is still copied.
  Answer(MakeFrame(1, 0x12, Bytes{0x42}));
  ASSERT_EQ(link_.SetInfo(1, msg, 1), 0);
  std::memset(out, 0, sizeof out);
  EXPECT_EQ(link_.GetInfo(1, 1, out), 82);
  EXPECT_EQ(out[0], 0x42);
  EXPECT_EQ(out[1], 0);
  EXPECT_EQ(link_.GetInfo(1, 2, out), 0);

  // An RR is no information frame.
  Answer(MakeFrame(1, 0x11));
  ASSERT_EQ(link_.SetInfo(1, msg, 1), 0);
  EXPECT_EQ(link_.GetInfo(1, 2, out), 82);
  EXPECT_FALSE(link_.IsReadINFO());
}

TEST_F(Parsers, FrameSizeIsLimitedTo80) {
  Answer(MakeFrame(1, 0x10, Bytes(114, 0x20)));  // 120 bytes
  char msg[] = {1};
  ASSERT_EQ(link_.SetInfo(1, msg, 1), 0);
  EXPECT_EQ(link_.read().size, 120);
  EXPECT_EQ(link_.GetFrameSize(), 80);
  Answer(kUa1);
  link_.SetSNRM(1);
  EXPECT_EQ(link_.GetFrameSize(), 6);
  link_.SetSNRM(1);
  EXPECT_EQ(link_.GetFrameSize(), 0);
}

}  // namespace
}  // namespace hdlctest
