// The frame trace, byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/hdlc/link_fixture.h"

namespace hdlctest {
namespace {

const std::string kFail = "[\x1b[1;31mFAIL\x1b[0m]";
const std::string kCrc = "[\x1b[1;31mCRC \x1b[0m]";
const std::string kCyanArrow = "\x1b[1;36m --> \x1b[0m";
const std::string kIndent(20, ' ');

// The bytes as the trace prints them.
std::string Hex(const Bytes& bytes) {
  std::string out;
  for (uint8_t b : bytes) {
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02x", b);
    out += hex;
  }
  return out;
}

class Trace : public LinkTest {
 protected:
  // The receive trace line of `answer`.
  std::string ReadLine(const Bytes& answer) {
    line().input.assign(answer.begin(), answer.end());
    link_.UartRead();
    Output();
    AISGHDLCTestAccess::PrintRead(link_);
    return Output();
  }
  // The send trace line of a caller-built frame.
  std::string SendLine(const Bytes& frame, int highlight = 0) {
    Bytes copy = frame;
    link_.UartSend(reinterpret_cast<char*>(copy.data()), static_cast<int>(copy.size()));
    Output();
    AISGHDLCTestAccess::PrintSend(link_, highlight);
    return Output();
  }
};

TEST_F(Trace, SnrmAndUa) {
  Answer({0x7E, 0x01, 0x73, 0x83, 0x57, 0x7E});
  link_.SetSNRM(1);
  EXPECT_EQ(Output(),
            "Tx [   ]  --> [SNRM] 7e 01 93 8d b0 7e\n"
            "Rx [   ] <--  [UA  ] 7e 01 73 83 57 7e\n");
}

TEST_F(Trace, InformationAndSupervisoryPrefixes) {
  link_.ns() = 2;
  link_.nr() = 1;
  char msg[] = {0x05};
  link_.SetInfo(1, msg, 1);
  const Bytes sent = MakeFrame(1, 0x34, Bytes{0x05});
  EXPECT_EQ(LastWrite(), sent);
  EXPECT_EQ(Output(), "Tx [2,1]  --> [INFO]" + Hex(sent) + "\nRx [   ] <--  " + kFail + "\n");

  link_.nr() = 0;
  link_.SetRR(1);
  EXPECT_EQ(Output(), "Tx [  0]  --> [RR  ] 7e 01 11 97 17 7e\nRx [   ] <--  " + kFail + "\n");
  link_.nr() = 6;
  link_.SetRR(1);
  EXPECT_EQ(Output().substr(0, 20), "Tx [  6]  --> [RR  ]");
}

TEST_F(Trace, SendLabels) {
  EXPECT_EQ(SendLine(MakeFrame(1, 0x53)).substr(0, 20), "Tx [   ]  --> [DISC]");
  EXPECT_EQ(SendLine(MakeFrame(1, 0x13)).substr(0, 20), "Tx [   ]  --> [UI  ]");
  EXPECT_EQ(SendLine(MakeFrame(1, 0xBF)).substr(0, 20), "Tx [   ]  --> [XID ]");
  EXPECT_EQ(SendLine(MakeFrame(1, 0x75)).substr(0, 20), "Tx [  3]  --> [RNR ]");
  EXPECT_EQ(SendLine(MakeFrame(1, 0x39)).substr(0, 20), "Tx [  1]  --> [REJ ]");
  EXPECT_EQ(SendLine(MakeFrame(1, 0xFD)).substr(0, 20), "Tx [  7]  --> [SREJ]");
  EXPECT_EQ(SendLine(MakeFrame(1, 0x1E)).substr(0, 20), "Tx [7,0]  --> [INFO]");
  EXPECT_EQ(SendLine(MakeFrame(1, 0x03)).substr(0, 20), "Tx [   ]  --> [    ]");
  // An escaped address or control byte does not hide the frame type.
  EXPECT_EQ(SendLine(MakeFrame(0x7D, 0x93)).substr(0, 26), "Tx [   ]  --> [SNRM] 7e 7d");
  EXPECT_EQ(SendLine(MakeFrame(0x7D, 0x7E)).substr(0, 20), "Tx [7,3]  --> [INFO]");
  EXPECT_EQ(SendLine(MakeFrame(1, 0x7D)).substr(0, 20), "Tx [  3]  --> [SREJ]");
  // A DM or UA is no command: no label of its own on the way out.
  EXPECT_EQ(SendLine(MakeFrame(1, 0x73)).substr(0, 20), "Tx [   ]  --> [    ]");
  EXPECT_EQ(SendLine(MakeFrame(1, 0x93), 1),
            "Tx [   ] " + kCyanArrow + "[SNRM] 7e 01 93 8d b0 7e\n");
}

TEST_F(Trace, ReceiveLabels) {
  EXPECT_EQ(ReadLine(MakeFrame(1, 0x1F)).substr(0, 20), "Rx [   ] <--  [DM  ]");
  EXPECT_EQ(ReadLine(MakeFrame(1, 0x97)).substr(0, 20), "Rx [   ] <--  [FRMR]");
  EXPECT_EQ(ReadLine(MakeFrame(1, 0x13)).substr(0, 20), "Rx [   ] <--  [UI  ]");
  EXPECT_EQ(ReadLine(MakeFrame(1, 0xBF)).substr(0, 20), "Rx [   ] <--  [XID ]");
  EXPECT_EQ(ReadLine(MakeFrame(1, 0x53)).substr(0, 20), "Rx [   ] <--  [    ]");
  EXPECT_EQ(ReadLine(MakeFrame(1, 0x55)).substr(0, 20), "Rx [  2] <--  [RNR ]");
  EXPECT_EQ(ReadLine(MakeFrame(1, 0x19)).substr(0, 20), "Rx [  0] <--  [REJ ]");
  EXPECT_EQ(ReadLine(MakeFrame(1, 0x3D)).substr(0, 20), "Rx [  1] <--  [SREJ]");
  const Bytes iframe = MakeFrame(1, 0xB6, Bytes{0x05});
  EXPECT_EQ(ReadLine(iframe), "Rx [3,5] <--  [INFO]" + Hex(iframe) + "\n");
}

TEST_F(Trace, RejectedAndMissingAnswers) {
  // Raw bytes of a rejected answer, with the red CRC mark and no sequence numbers.
  EXPECT_EQ(ReadLine({0x01, 0x73, 0x83, 0x57, 0x7E}),
            "Rx [   ] <--  " + kCrc + " 01 73 83 57 7e\n");
  Bytes bad = MakeFrame(1, 0x10, Bytes{0x05});
  bad[5] ^= 0x01;
  EXPECT_EQ(ReadLine(bad), "Rx [   ] <--  " + kCrc + Hex(bad) + "\n");

  // A single zero byte: the warning, then the red FAIL mark.
  Answer({0x00});
  link_.SetRR(1);
  EXPECT_EQ(Output(),
            "*** Possible RS485 impedance incompatible ***\n"
            "Tx [  0]  --> [RR  ] 7e 01 11 97 17 7e\n"
            "Rx [   ] <--  " +
                kFail + "\n");
}

TEST_F(Trace, LongFramesWrapAfterSixteenBytes) {
  char params[] = {0x05, 0x04, 0x50, 0x02, 0x00, 0x00, 0x06, 0x04, 0x50,
                   0x02, 0x00, 0x00, 0x07, 0x01, 0x01, 0x08, 0x01, 0x01};
  link_.SetXIDParams(1, params, sizeof params);
  EXPECT_EQ(Output(), "Tx [   ]  --> [XID ] 7e 01 bf 81 80 12 05 04 50 02 00 00 06 04 50 02\n" +
                          kIndent +
                          " 00 00 07 01 01 08 01 01 dc c3 7e\n"
                          "Rx [   ] <--  " +
                          kFail + "\n");

  // Exactly sixteen bytes: the continuation text follows the last byte too.
  const std::string line16 = SendLine(MakeFrame(1, 0x03, Bytes(10, 0x00)));
  EXPECT_EQ(line16.substr(line16.size() - 25), " 7e\n" + kIndent + "\n");

  // Escaped bytes count as they go on the wire.
  // The label comes from the control byte behind the escaped address.
  const Bytes frame = MakeFrame(0x7E, 0x03, Bytes(10, 0x00));
  const std::string escaped = SendLine(frame);
  const Bytes wire = LastWrite();
  ASSERT_EQ(wire.size(), frame.size() + 1);
  EXPECT_EQ(escaped, "Tx [   ]  --> [    ]" + Hex(Bytes(wire.begin(), wire.begin() + 16)) + "\n" +
                         kIndent + Hex(Bytes(wire.begin() + 16, wire.end())) + "\n");
}

TEST_F(Trace, ScanHighlightsAnsweredFrames) {
  char uid[] = {'A'};
  char mask[] = {0};
  link_.SetXIDScan(0xFF, uid, mask, 1);
  const std::string silent = Output();
  EXPECT_EQ(silent.substr(0, 21), "Tx [   ]  --> [XID ] ");
  EXPECT_EQ(silent.find("Rx"), std::string::npos);
  EXPECT_EQ(silent.find('\n'), silent.size() - 1);

  Answer({0x7E, 0x11, 0x7E});  // a collision
  link_.SetXIDScan(0xFF, uid, mask, 1);
  const std::string answered = Output();
  const std::string head = "Tx [   ] " + kCyanArrow + "[XID ] 7e ff bf";
  EXPECT_EQ(answered.substr(0, head.size()), head);
  EXPECT_NE(answered.find("\nRx [   ] <--  " + kCrc + " 7e 11 7e\n"), std::string::npos);
}

}  // namespace
}  // namespace hdlctest
