// Receive path: cutting one checked frame out of whatever the line delivered.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/hdlc/link_fixture.h"

namespace hdlctest {
namespace {

const Bytes kUa1{0x7E, 0x01, 0x73, 0x83, 0x57, 0x7E};

class Receive : public LinkTest {
 protected:
  // Puts `answer` on the line and reads it as the answer to an RR.
  int Read(const Bytes& answer) {
    line().input.insert(line().input.end(), answer.begin(), answer.end());
    return link_.UartRead();
  }
};

TEST_F(Receive, GoodFrame) {
  EXPECT_EQ(Read(kUa1), 0);
  EXPECT_EQ(link_.ReadBytes(), kUa1);
  EXPECT_EQ(link_.read().fcs, 0);
  EXPECT_EQ(link_.GetHdlcCtrlCode(), 0x73);
}

TEST_F(Receive, DoubledFlagsAreStripped) {
  EXPECT_EQ(Read({0x7E, 0x7E, 0x01, 0x73, 0x83, 0x57, 0x7E, 0x7E}), 0);
  EXPECT_EQ(link_.ReadBytes(), kUa1);
  EXPECT_EQ(link_.GetSNRM(1), 0);
}

TEST_F(Receive, TrailingBytesAreStripped) {
  EXPECT_EQ(Read({0x7E, 0x01, 0x73, 0x83, 0x57, 0x7E, 0x7E, 0x01}), 0);
  EXPECT_EQ(link_.ReadBytes(), kUa1);
  // Garbage before the opening flag goes too.
  EXPECT_EQ(Read({0x33, 0x7E, 0x01, 0x73, 0x83, 0x57, 0x7E}), 0);
  EXPECT_EQ(link_.ReadBytes(), kUa1);
}

TEST_F(Receive, FirstOfTwoFramesIsKept) {
  EXPECT_EQ(Read({0x7E, 0x01, 0x73, 0x83, 0x57, 0x7E, 0x7E, 0x02, 0x73, 0x00, 0x00, 0x7E}), 0);
  EXPECT_EQ(link_.read().size, 6);
  EXPECT_EQ(link_.ReadBytes(), kUa1);
  EXPECT_EQ(link_.GetSNRM(1), 0);
  // Nothing of the second frame is left behind the first.
  EXPECT_EQ(link_.read().data[6], 0);
  EXPECT_EQ(link_.read().data[7], 0);
}

TEST_F(Receive, ShortInnerFrameIsNotAFrame) {
  // 7E 00 00 7E: two bytes whose "FCS" over nothing checks, but no frame.
  const Bytes raw{0x7E, 0x00, 0x00, 0x7E, 0x11, 0x22, 0x7E};
  EXPECT_EQ(Read(raw), 82);
  EXPECT_EQ(link_.ReadBytes(), raw);
  EXPECT_EQ(link_.GetHdlcCtrlCode(), 0);
}

TEST_F(Receive, NoOpeningFlagIsRejectedWithRawBytes) {
  const Bytes raw{0x01, 0x73, 0x83, 0x57, 0x7E};
  EXPECT_EQ(Read(raw), 82);
  EXPECT_EQ(link_.ReadBytes(), raw);
  EXPECT_EQ(link_.read().fcs, 82);
  EXPECT_EQ(link_.GetHdlcCtrlCode(), 0);
  EXPECT_EQ(link_.GetSNRM(1), 82);
}

TEST_F(Receive, BadFcsIsRejected) {
  EXPECT_EQ(Read(kUa1), 0);
  const Bytes raw{0x7E, 0x01, 0x73, 0x83, 0x58, 0x7E};
  EXPECT_EQ(Read(raw), 82);
  EXPECT_EQ(link_.GetHdlcCtrlCode(), 0);
  EXPECT_EQ(link_.ReadBytes(), raw);
  EXPECT_FALSE(link_.IsReadINFO());
  EXPECT_FALSE(link_.IsReadSupervisoryFormat());
  EXPECT_FALSE(link_.IsReadRR());
  // Too short to be a frame.
  EXPECT_EQ(Read({0x7E, 0x01, 0x73, 0x7E}), 82);
}

TEST_F(Receive, EscapedBytesAreDecodedBeforeTheCheck) {
  // Control byte 0x7E sent escaped; FCS over 01 7E is 66 8C.
  EXPECT_EQ(Read({0x7E, 0x01, 0x7D, 0x5E, 0x66, 0x8C, 0x7E}), 0);
  EXPECT_EQ(link_.ReadBytes(), (Bytes{0x7E, 0x01, 0x7E, 0x66, 0x8C, 0x7E}));
  EXPECT_EQ(link_.GetHdlcCtrlCode(), 0x7E);

  // Escaped 0x7D in the information field; a 0x7D before anything else stays.
  Bytes frame = MakeFrame(1, 0x11, Bytes{0x7D, 0x7D, 0x41});
  Bytes wire{0x7E, 0x01, 0x11, 0x7D, 0x5D, 0x7D, 0x5D, 0x41};
  wire.insert(wire.end(), frame.end() - 3, frame.end());
  EXPECT_EQ(Read(wire), 0);
  EXPECT_EQ(link_.ReadBytes(), frame);

  Bytes odd = MakeFrame(1, 0x11, Bytes{0x7D, 0x41});
  EXPECT_EQ(Read(odd), 0);
  EXPECT_EQ(link_.ReadBytes(), odd);
}

TEST_F(Receive, ReceiveSequenceAdvancesOncePerNewFrame) {
  const Bytes iframe = MakeFrame(1, 0x10 | (0 << 1), Bytes{0x05});  // N(S) 0
  EXPECT_EQ(Read(iframe), 0);
  EXPECT_EQ(link_.nr(), 1);
  EXPECT_EQ(Read(iframe), 0);  // repeated by the device
  EXPECT_EQ(link_.nr(), 1);
  EXPECT_EQ(Read(MakeFrame(1, 0x10 | (1 << 1), Bytes{0x05})), 0);
  EXPECT_EQ(link_.nr(), 2);
  // A broken I-frame with the right N(S), and one without the final bit.
  Bytes bad = MakeFrame(1, 0x10 | (2 << 1), Bytes{0x05});
  bad[4] ^= 0xFF;
  EXPECT_EQ(Read(bad), 82);
  EXPECT_EQ(Read(MakeFrame(1, 2 << 1, Bytes{0x05})), 0);
  EXPECT_EQ(link_.nr(), 2);
  // Wraps after 7.
  link_.nr() = 7;
  EXPECT_EQ(Read(MakeFrame(1, 0x10 | (7 << 1))), 0);
  EXPECT_EQ(link_.nr(), 0);
}

TEST_F(Receive, SingleZeroByte) {
  EXPECT_EQ(Read({0x00}), 89);
  EXPECT_EQ(Output(), "*** Possible RS485 impedance incompatible ***\n");
  EXPECT_EQ(link_.read().size, 0);
  EXPECT_EQ(link_.GetHdlcCtrlCode(), 0);
  // Two zero bytes are a (bad) answer, not a mismatch warning.
  EXPECT_EQ(Read({0x00, 0x00}), 82);
  EXPECT_EQ(Output(), "");
}

TEST_F(Receive, SilentDeviceCostsTheFirstByteTimeOut) {
  int64_t t = NowMs();
  EXPECT_EQ(link_.UartRead(400), 89);
  const int64_t long_wait = NowMs() - t;
  t = NowMs();
  EXPECT_EQ(link_.UartRead(), 89);
  EXPECT_EQ(NowMs() - t, long_wait);
  EXPECT_EQ(long_wait, 200);
  EXPECT_EQ(link_.read().size, 0);
  EXPECT_EQ(link_.read().fcs, 82);
}

TEST_F(Receive, ReadIntoCallerBuffer) {
  line().input.assign(kUa1.begin(), kUa1.end());
  char out[256];
  EXPECT_EQ(link_.UartRead(out), 6);
  EXPECT_EQ(Bytes(out, out + 6), kUa1);
  // A rejected answer hands back the raw bytes.
  const Bytes raw{0x10, 0x20, 0x30};
  line().input.assign(raw.begin(), raw.end());
  EXPECT_EQ(link_.UartRead(out), 3);
  EXPECT_EQ(Bytes(out, out + 3), raw);
  EXPECT_EQ(link_.UartRead(out), 0);
}

TEST_F(Receive, LateBytesAreDroppedBeforeTheNextCommand) {
  // A device that answered after the first exchange gave up: its frame
  // waits in the queue and would be taken for the next answer.
  line().input.assign(kUa1.begin(), kUa1.end());
  line().answers.push_back(MakeFrame(2, 0x73));
  Output();
  EXPECT_EQ(link_.SetSNRM(2), 0);
  const std::string trace = Output();
  EXPECT_EQ(link_.GetSNRM(2), 0);
  EXPECT_EQ(link_.ReadBytes(), MakeFrame(2, 0x73));
  EXPECT_NE(trace.find("Dropped 6 stale bytes from the input queue\n"), std::string::npos);

  // With nobody answering now, the old frame is not an answer either.
  line().input.assign(kUa1.begin(), kUa1.end());
  EXPECT_EQ(link_.SetSNRM(1), 89);
  EXPECT_NE(link_.GetSNRM(1), 0);

  // An empty queue drops nothing and says nothing.
  line().answers.push_back(kUa1);
  Output();
  EXPECT_EQ(link_.SetSNRM(1), 0);
  EXPECT_EQ(Output().find("stale"), std::string::npos);
  // The read time-outs are those of a receive again after the drop.
  EXPECT_EQ(line().timeouts.readTotalConstant, 200u);
}

TEST_F(Receive, FullBufferOfFlags) {
  // 256 flag bytes (the most one receive takes) and more behind them.
  line().input.assign(300, 0x7E);
  EXPECT_EQ(link_.UartRead(), 82);
  EXPECT_EQ(link_.read().size, 256);
  EXPECT_EQ(line().input.size(), 44u);
}

}  // namespace
}  // namespace hdlctest
