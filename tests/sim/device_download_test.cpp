// Software download into the simulated devices, and the restart after it.
#include <gtest/gtest.h>

#include "tests/sim/device_test_util.h"

namespace ald::sim::testing {
namespace {

Bytes Segment1(uint8_t number, int size) {
  return Cat(Bytes{number}, Bytes(static_cast<size_t>(size), 0xA5));
}

TEST(Download, Aisg1BlocksAndSegmentsThenRestartUnderAisg2) {
  auto d = MakeRet(1);
  d->generationAfterDownload = 2;
  d->softwareVersionAfterDownload = "SW2.0.0";
  d->subunits[0].SetField(0x24, TextValue("S2", 4));
  EXPECT_EQ(Body(Send(*d, Req1(0x2E)), 1), Bytes{0x00});
  // Block 0 of 138 bytes: two segments of 69.
  EXPECT_EQ(Body(Send(*d, Req1(0x20, {0, 0, 138, 0})), 1), (Bytes{0x00, 0, 0}));
  EXPECT_EQ(Body(Send(*d, Req1(0x21, Segment1(0, 69))), 1), (Bytes{0x00, 0}));
  EXPECT_EQ(Body(Send(*d, Req1(0x21, Segment1(1, 69))), 1), (Bytes{0x00, 1}));
  // Block 1, the last, of 10 bytes.
  EXPECT_EQ(Body(Send(*d, Req1(0x20, {1, 0, 10, 0})), 1), (Bytes{0x00, 1, 0}));
  EXPECT_EQ(Body(Send(*d, Req1(0x21, Segment1(0, 10))), 1), (Bytes{0x00, 0}));
  EXPECT_EQ(d->DownloadedBytes(), 148);
  // The end takes the device a while, then it restarts.
  EXPECT_TRUE(Send(*d, Req1(0x22), 10'000'000).empty());
  EXPECT_TRUE(Poll(*d, 12'999'999).empty());
  EXPECT_FALSE(d->restartPending);
  EXPECT_EQ(Poll(*d, 13'000'000), (Bytes{1, 0x22, 1, 0, 0x00}));
  EXPECT_TRUE(d->restartPending);
  EXPECT_EQ(d->restartUntilUs, 13'000'000 + d->restartUs);
  EXPECT_EQ(d->generation, 2);
  EXPECT_EQ(d->softwareVersion, "SW2.0.0");
  // Now it speaks AISG 2.0, with the AISG 2.0 field lengths.
  EXPECT_EQ(Body(Send(*d, Req2(0x0F, {0x24}), 20'000'000)),
            Cat(Bytes{0x00, 0x24}, TextValue("S2", 32)));
  EXPECT_EQ(Body(Send(*d, Req2(0x05), 20'000'000))[0], 0x00);
}

TEST(Download, Aisg1SequenceErrorsCarryTheirNumberBeforeTheReason) {
  auto d = MakeRet(1);
  // Nothing started.
  EXPECT_EQ(Body(Send(*d, Req1(0x20, {0, 0, 69, 0})), 1),
            (Bytes{0x0B, 0, 0, g1::kProcedureSequenceError}));
  Send(*d, Req1(0x2E));
  EXPECT_EQ(Body(Send(*d, Req1(0x21, Segment1(0, 5))), 1),
            (Bytes{0x0B, 0, g1::kProcedureSequenceError}));
  EXPECT_EQ(Body(Send(*d, Req1(0x20, {1, 0, 69, 0})), 1),
            (Bytes{0x0B, 1, 0, g1::kBlockNumberSequenceError}));
  Send(*d, Req1(0x20, {0, 0, 100, 0}));
  EXPECT_EQ(Body(Send(*d, Req1(0x21, Segment1(1, 69))), 1),
            (Bytes{0x0B, 1, g1::kSegmentNumberSequenceError}));
  Send(*d, Req1(0x21, Segment1(0, 69)));
  // More than the block holds.
  EXPECT_EQ(Body(Send(*d, Req1(0x21, Segment1(1, 69))), 1), (Bytes{0x0B, 1, g1::kInvalidSoftware}));
  // The next header before the block is complete.
  EXPECT_EQ(Body(Send(*d, Req1(0x20, {1, 0, 69, 0})), 1),
            (Bytes{0x0B, 1, 0, g1::kSegmentNumberSequenceError}));
  // Ending inside a block: refused after the check, no restart.
  EXPECT_TRUE(Send(*d, Req1(0x22)).empty());
  EXPECT_EQ(Body(Poll(*d, d->downloadEndUs), 1), (Bytes{0x0B, g1::kInvalidSoftware}));
  EXPECT_FALSE(d->restartPending);
  EXPECT_EQ(d->generation, 1);
}

TEST(Download, Aisg2SegmentsAndEnd) {
  auto d = MakeTma(2, 2);
  EXPECT_EQ(Send(*d, Req2(0x41, Bytes(71, 1))),
            (Bytes{0x41, 2, 0, 0x0B, g2::kInvalidProcedureSequence}));
  EXPECT_EQ(Send(*d, Req2(0x40)), (Bytes{0x40, 1, 0, 0x00}));
  EXPECT_EQ(Send(*d, Req2(0x41, Bytes(71, 1))), (Bytes{0x41, 1, 0, 0x00}));
  Send(*d, Req2(0x41, Bytes(71, 2)));
  Send(*d, Req2(0x41, Bytes(8, 3)));
  EXPECT_EQ(d->DownloadedBytes(), 150);
  EXPECT_EQ(Send(*d, Req2(0x41)), (Bytes{0x41, 2, 0, 0x0B, g2::kFormatError}));
  EXPECT_TRUE(Send(*d, Req2(0x42), 1'000'000).empty());
  EXPECT_EQ(Poll(*d, 1'000'000 + d->downloadEndUs), (Bytes{0x42, 1, 0, 0x00}));
  EXPECT_TRUE(d->restartPending);
  EXPECT_EQ(d->generation, 2);
  // After the restart a new end without a start is out of sequence.
  EXPECT_EQ(Body(Send(*d, Req2(0x42), 9'000'000)), (Bytes{0x0B, g2::kInvalidProcedureSequence}));
}

TEST(Download, EmptyImageIsRefused) {
  auto d = MakeRet(2);
  Send(*d, Req2(0x40));
  EXPECT_TRUE(Send(*d, Req2(0x42)).empty());
  EXPECT_EQ(Body(Poll(*d, d->downloadEndUs)), (Bytes{0x0B, g2::kInvalidFileContent}));
  EXPECT_FALSE(d->restartPending);
}

TEST(Download, HexFormOnAisg1DevicesAndTheTmaCodeClash) {
  // An AISG 1.x RET takes the HEX form with the AISG 2.0 codes.
  auto r = MakeRet(1);
  EXPECT_EQ(Body(Send(*r, Req1(0x40)), 1), Bytes{0x00});
  EXPECT_EQ(Body(Send(*r, Req1(0x41, Bytes(21, 0x10))), 1), Bytes{0x00});
  EXPECT_TRUE(Send(*r, Req1(0x42)).empty());
  EXPECT_EQ(Body(Poll(*r, r->downloadEndUs), 1), Bytes{0x00});
  EXPECT_TRUE(r->restartPending);

  // On an AISG 1.x TMA the same codes set and read mode and gain; the data
  // length tells them apart.
  auto t = MakeTma(1);
  EXPECT_EQ(Body(Send(*t, Req1(0x40)), 1), Bytes{0x00});                   // download start
  EXPECT_EQ(Body(Send(*t, Req1(0x41)), 1), (Bytes{0x00, 0}));              // get mode
  EXPECT_EQ(Body(Send(*t, Req1(0x41, Bytes(21, 0x10))), 1), Bytes{0x00});  // segment
  EXPECT_EQ(Body(Send(*t, Req1(0x42, {44})), 1), Bytes{0x00});             // set gain
  EXPECT_EQ(t->subunits[0].gain, 44);
  EXPECT_TRUE(Send(*t, Req1(0x42)).empty());  // download end
  EXPECT_EQ(Body(Poll(*t, t->downloadEndUs), 1), Bytes{0x00});
  EXPECT_EQ(t->DownloadedBytes(), 21);
}

TEST(Download, Aisg1DeviceMustBeEnabledToStart) {
  auto d = MakeRet(1);
  d->enabled = false;
  EXPECT_EQ(Body(Send(*d, Req1(0x2E)), 1), (Bytes{0x0B, g1::kDeviceDisabled}));
  EXPECT_EQ(Body(Send(*d, Req1(0x20, {0, 0, 10, 0})), 1),
            (Bytes{0x0B, 0, 0, g1::kProcedureSequenceError}));
}

}  // namespace
}  // namespace ald::sim::testing
