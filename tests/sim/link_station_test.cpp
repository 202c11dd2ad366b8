// The link procedures of a secondary station: set-up and release, sequence
// numbers, polling, repeated frames, frame rejects and the fault settings.
#include <gtest/gtest.h>

#include "tests/sim/bus_test_util.h"

namespace ald::sim::testing {
namespace {

uint8_t IFrame(int ns, int nr) {
  return static_cast<uint8_t>((nr << 5) | 0x10 | (ns << 1));
}
uint8_t Rr(int nr) {
  return static_cast<uint8_t>((nr << 5) | 0x11);
}
int Ns(uint8_t c) {
  return (c >> 1) & 7;
}
int Nr(uint8_t c) {
  return c >> 5;
}

class LinkTest : public ::testing::Test {
 protected:
  LinkTest() : d(MakeList()) {}
  static DeviceList MakeList() {
    DeviceList list;
    list.push_back(MakeDevice(2, Uid19("KA", "1"), 1));
    return list;
  }
  EchoDevice& dev() { return static_cast<EchoDevice&>(d.bus.Device(0)); }
  void Connect() { ASSERT_EQ(d.Send(1, 0x93).control, 0x73); }

  BusDriver d;
};

TEST_F(LinkTest, NumbersInformationFramesAndWrapsModuloEight) {
  Connect();
  for (int i = 0; i < 10; ++i) {
    const uint8_t msg = static_cast<uint8_t>(0x40 + i);
    const Answer a = d.Send(1, IFrame(i % 8, i % 8), {msg});
    ASSERT_TRUE(a.good) << i;
    EXPECT_EQ(a.control & 0x11, 0x10) << "information frame with the final bit";
    EXPECT_EQ(Ns(a.control), i % 8);
    EXPECT_EQ(Nr(a.control), (i + 1) % 8);
    EXPECT_EQ(a.info, std::vector<uint8_t>{msg});
  }
  EXPECT_EQ(dev().messages, 10);
}

TEST_F(LinkTest, SnrmResetsTheSequenceNumbers) {
  Connect();
  ASSERT_TRUE(d.Send(1, IFrame(0, 0), {1}).good);
  ASSERT_TRUE(d.Send(1, IFrame(1, 1), {2}).good);
  Connect();
  const Answer a = d.Send(1, IFrame(0, 0), {3});
  ASSERT_TRUE(a.good);
  EXPECT_EQ(Ns(a.control), 0);
  EXPECT_EQ(Nr(a.control), 1);
  EXPECT_EQ(d.Send(1, Rr(1)).control, Rr(1));
}

TEST_F(LinkTest, RepeatedFrameIsAnsweredAgainButHandledOnce) {
  Connect();
  const Answer first = d.Send(1, IFrame(0, 0), {0x11, 0x22});
  const Answer again = d.Send(1, IFrame(0, 0), {0x11, 0x22});
  EXPECT_EQ(again.bytes, first.bytes);
  EXPECT_EQ(dev().messages, 1);
  // Once the answer is acknowledged the next number is expected.
  const Answer next = d.Send(1, IFrame(1, 1), {0x33});
  EXPECT_EQ(Ns(next.control), 1);
  EXPECT_EQ(dev().messages, 2);
}

TEST_F(LinkTest, DelayedAnswerComesWithAPollAndIsRepeatedUntilAcknowledged) {
  dev().delayUs = 2000000;
  Connect();
  Answer a = d.Send(1, IFrame(0, 0), {0x31});
  EXPECT_EQ(a.control, Rr(1)) << "taken, answer not ready";
  a = d.Send(1, Rr(0));
  EXPECT_EQ(a.control, Rr(1));
  d.nowUs += 2000000;
  a = d.Send(1, Rr(0));
  ASSERT_TRUE(a.good);
  EXPECT_EQ(a.control, IFrame(0, 1));
  EXPECT_EQ(a.info, std::vector<uint8_t>{0x31});
  // The primary did not get it (N(R) still 0): the same frame again.
  EXPECT_EQ(d.Send(1, Rr(0)).bytes, a.bytes);
  // Acknowledged: plain RR from now on.
  EXPECT_EQ(d.Send(1, Rr(1)).control, Rr(1));
  // A repeated command while the answer is still being worked on gets RR.
  a = d.Send(1, IFrame(1, 1), {0x32});
  EXPECT_EQ(a.control, Rr(2));
  EXPECT_EQ(d.Send(1, IFrame(1, 1), {0x32}).control, Rr(2));
  EXPECT_EQ(dev().messages, 2);
}

TEST_F(LinkTest, LostAnswerIsDroppedWhenThePrimaryMovesOn) {
  Connect();
  ASSERT_TRUE(d.Send(1, IFrame(0, 0), {1}).good);
  // The primary never saw that answer (N(R) 0) but sends its next message:
  // the device reuses the number of the lost answer.
  const Answer a = d.Send(1, IFrame(1, 0), {2});
  ASSERT_TRUE(a.good);
  EXPECT_EQ(Ns(a.control), 0);
  EXPECT_EQ(Nr(a.control), 2);
  EXPECT_EQ(d.Send(1, Rr(1)).control, Rr(2));
}

TEST_F(LinkTest, DisconnectedDeviceAnswersDm) {
  EXPECT_EQ(d.Send(1, 0x53).control, 0x1F);
  EXPECT_EQ(d.Send(1, Rr(0)).control, 0x1F);
  EXPECT_EQ(d.Send(1, IFrame(0, 0), {1}).control, 0x1F);
  EXPECT_EQ(dev().messages, 0);
  Connect();
  EXPECT_EQ(d.Send(1, 0x53).control, 0x73);
  EXPECT_EQ(d.Send(1, Rr(0)).length, 0) << "AISG 2.0: no address after DISC";
}

TEST_F(LinkTest, ProtocolBreaksAreRejectedUntilTheLinkIsReset) {
  Connect();
  // N(S) out of sequence.
  Answer a = d.Send(1, IFrame(3, 0), {1});
  ASSERT_EQ(a.control, 0x97);
  EXPECT_EQ(a.info, (std::vector<uint8_t>{IFrame(3, 0), 0x00, frmr::kInvalidNs}));
  EXPECT_EQ(d.Send(1, Rr(0)).control, 0x97) << "still rejecting";
  EXPECT_EQ(dev().messages, 0);
  Connect();
  EXPECT_EQ(d.Send(1, Rr(0)).control, Rr(0));

  // N(R) acknowledging a frame never sent.
  a = d.Send(1, Rr(5));
  ASSERT_EQ(a.control, 0x97);
  EXPECT_EQ(a.info[2], frmr::kInvalidNr);
  // DISC ends the reject condition too.
  EXPECT_EQ(d.Send(1, 0x53).control, 0x73);

  DeviceList list;
  list.push_back(MakeDevice(1, Uid19("KA", "2"), 2));
  BusDriver one(std::move(list));
  ASSERT_EQ(one.Send(2, 0x93).control, 0x73);
  // Unknown command, then a command that may not carry information.
  EXPECT_EQ(one.Send(2, 0x13).info.at(2), frmr::kUndefinedControl);
  ASSERT_EQ(one.Send(2, 0x93).control, 0x73);
  EXPECT_EQ(one.Send(2, Rr(0), {9}).info.at(2), frmr::kInfoNotAllowed);
  ASSERT_EQ(one.Send(2, 0x93).control, 0x73);
  const std::vector<uint8_t> tooLong(kMaxInfo + 1, 0x55);
  EXPECT_EQ(one.Send(2, IFrame(0, 0), tooLong).info.at(2), frmr::kInfoTooLong);
}

TEST_F(LinkTest, CommandsWithoutThePollBitAreNotAnswered) {
  EXPECT_EQ(d.Send(1, 0x83).length, 0);
  Connect();
  EXPECT_EQ(d.Send(1, 0x01).length, 0);
}

TEST_F(LinkTest, RestartDropsLinkAndAddressAndSilencesTheDevice) {
  Connect();
  dev().restartPending = true;
  dev().restartUntilUs = d.nowUs + 5000000;
  EXPECT_EQ(d.Send(1, Rr(0)).length, 0);
  EXPECT_FALSE(dev().restartPending);
  EXPECT_EQ(dev().address, 0);
  EXPECT_FALSE(dev().connected);

  d.bus.Device(0).address = 1;
  d.nowUs += 6000000;
  Connect();
  d.bus.SetPowered(false);
  EXPECT_EQ(d.Send(1, 0x93).length, 0);
  d.bus.SetPowered(true);
  EXPECT_EQ(d.Send(1, 0x93).length, 0) << "power cycle: address gone";
  EXPECT_EQ(dev().address, 0);
}

TEST_F(LinkTest, Aisg1DeviceKeepsItsAddressThroughARestart) {
  dev().generation = 1;
  Connect();
  dev().restartPending = true;
  dev().restartUntilUs = d.nowUs + 5000000;
  EXPECT_EQ(d.Send(1, Rr(0)).length, 0) << "silent while restarting";
  EXPECT_EQ(dev().address, 1);
  EXPECT_FALSE(dev().connected);
  d.nowUs += 6000000;
  EXPECT_EQ(d.Send(1, 0x93).control, 0x73) << "answers SNRM at its old address";
}

// ---------------------------------------------------------------------------
// Fault settings.

TEST_F(LinkTest, SilenceFaults) {
  dev().faults.silentFrames = 2;
  EXPECT_EQ(d.Send(1, 0x93).length, 0);
  EXPECT_EQ(d.Send(1, 0x93).length, 0);
  EXPECT_EQ(d.Send(1, 0x93).control, 0x73);
  // Ignored frames are not taken either.
  dev().faults.silentFrames = 1;
  EXPECT_EQ(d.Send(1, IFrame(0, 0), {1}).length, 0);
  EXPECT_EQ(dev().messages, 0);
  EXPECT_EQ(Ns(d.Send(1, IFrame(0, 0), {1}).control), 0);
  dev().faults.silent = true;
  EXPECT_EQ(d.Send(1, Rr(1)).length, 0);
  EXPECT_EQ(d.Scan(std::string(19, '\0'), std::string(19, '\0')).length, 0);
}

TEST_F(LinkTest, FrmrFaultAnswersWithRejectThenRecovers) {
  dev().faults.frmrFrames = 1;
  const Answer a = d.Send(1, 0x93);
  EXPECT_EQ(a.control, 0x97);
  EXPECT_EQ(a.info.size(), 3u);
  EXPECT_EQ(d.Send(1, 0x53).control, 0x1F) << "the rejected SNRM did not connect";
  Connect();
}

TEST_F(LinkTest, WrongAddressAndBrokenFcsFaults) {
  dev().faults.wrongAddress = 7;
  Answer a = d.Send(1, 0x93);
  ASSERT_TRUE(a.good);
  EXPECT_EQ(a.address, 7);
  dev().faults.wrongAddress = -1;
  dev().faults.badFcsFrames = 1;
  a = d.Send(1, 0x93);
  EXPECT_EQ(a.length, 6);
  EXPECT_FALSE(a.good);
  EXPECT_TRUE(d.Send(1, 0x93).good);
}

TEST_F(LinkTest, ZeroByteFaultLosesTheAnswerWhichIsSentAgainOnPoll) {
  Connect();
  dev().faults.zeroByteFrames = 1;
  const Answer a = d.Send(1, IFrame(0, 0), {0x42});
  EXPECT_EQ(a.bytes, std::vector<uint8_t>{0x00});
  const Answer again = d.Send(1, Rr(0));
  ASSERT_TRUE(again.good);
  EXPECT_EQ(again.info, std::vector<uint8_t>{0x42});
  EXPECT_EQ(dev().messages, 1);
}

TEST_F(LinkTest, BusyFaultAnswersPollsWithRnr) {
  Connect();
  dev().faults.rnrFrames = 2;
  EXPECT_EQ(d.Send(1, Rr(0)).control, 0x15);
  EXPECT_EQ(d.Send(1, Rr(0)).control, 0x15);
  EXPECT_EQ(d.Send(1, Rr(0)).control, 0x11);
}

TEST_F(LinkTest, TrailingAndGluedBytesFollowAGoodFrame) {
  dev().faults.trailingBytes = true;
  Answer a = d.Send(1, 0x93);
  EXPECT_EQ(a.bytes, (std::vector<uint8_t>{0x7E, 0x01, 0x73, 0x83, 0x57, 0x7E, 0x7E, 0x01}));
  dev().faults.trailingBytes = false;
  dev().faults.gluedFrame = true;
  a = d.Send(1, 0x93);
  ASSERT_EQ(a.length, 12);
  EXPECT_EQ(std::vector<uint8_t>(a.bytes.begin(), a.bytes.begin() + 6),
            (std::vector<uint8_t>{0x7E, 0x01, 0x73, 0x83, 0x57, 0x7E}));
  uint8_t raw[kMaxWire];
  Frame f;
  ASSERT_TRUE(DecodeFrame(a.bytes.data() + 6, 6, raw, sizeof raw, f));
  EXPECT_EQ(f.address, 1);
}

}  // namespace
}  // namespace ald::sim::testing
