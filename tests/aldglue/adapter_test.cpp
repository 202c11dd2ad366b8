// The adapter functions: port number, bus power and A/B switch through the
// bridge chip's GPIO pins, and the closing command on the line.
#include <string>

#include "aldlink/hdlc/fcs.h"
#include "tests/aldglue/glue_fixture.h"

namespace gluetest {
namespace {

const Bytes kClosing = {0x7E, 0x00, 0xAF, 0x41, 0x57, 0x06, 0xA1, 0x01,
                        0xFF, 0xA2, 0x01, 0xBE, 0xA2, 0x48, 0x7E};

class AdapterTest : public GlueTest {
 protected:
  void SetUp() override {
    GlueTest::SetUp();
    Site(kRet1);
  }
  int Close(std::string* trace) {
    int result = 0;
    *trace = Quiet([&] { result = closeComPort(); });
    return result;
  }
};

TEST_F(AdapterTest, ClosingCommandIsOneWriteOfAValidFrame) {
  std::string trace;
  EXPECT_EQ(Close(&trace), 0);
  ASSERT_EQ(line->writes.size(), 1u);
  EXPECT_EQ(line->writes[0], kClosing);
  EXPECT_NE(trace.find("Send command successfully!\n"), std::string::npos);
  EXPECT_EQ(line->opens, 1);
  EXPECT_EQ(line->closes, 1);

  // Its check sequence is the one of the bytes between the flags, low byte
  // first, so every device on the line takes the frame as sound.
  const uint16_t fcs = ald::hdlc::Fcs16(kClosing.data() + 1, 11);
  EXPECT_EQ(kClosing[12], fcs & 0xFF);
  EXPECT_EQ(kClosing[13], fcs >> 8);
}

TEST_F(AdapterTest, ClosingCommandReportsAPortThatDoesNotOpen) {
  line->refuseOpen = true;
  std::string trace;
  EXPECT_EQ(Close(&trace), -1);
  EXPECT_EQ(trace, "Open COM port failed!\n");
  EXPECT_TRUE(line->writes.empty());
}

TEST_F(AdapterTest, ClosingCommandReportsAnIncompleteWrite) {
  line->writeLimit = 9;
  std::string trace;
  EXPECT_EQ(Close(&trace), kAldglueFailure);
  EXPECT_NE(trace.find("Send command incompletely!\n"), std::string::npos);
  EXPECT_EQ(trace.find("successfully"), std::string::npos);
  ASSERT_EQ(line->writes.size(), 1u);
  EXPECT_EQ(line->writes[0], Bytes(kClosing.begin(), kClosing.begin() + 9));
  EXPECT_EQ(line->closes, line->opens);
}

TEST_F(AdapterTest, PortNumberComesFromTheAdapterLookup) {
  EXPECT_EQ(getPort(), 1);
  ald::SetAdapterPlatform(nullptr);
  line->chip.SetChipCount(0);
  ald::SetAdapterPlatform(line.get());
  EXPECT_EQ(getPort(), 0);
}

TEST_F(AdapterTest, PowerAndSwitchAreWrittenPersistentlyAndReadBack) {
  EXPECT_EQ(setPowerValue(1), 0);
  EXPECT_EQ(getLastError(), 0);
  EXPECT_EQ(getPowerValue(), 1);
  EXPECT_EQ(setPinValue(1), 0);
  EXPECT_EQ(getPinValue(), 1);
  const ald::SimBridgeChip::Chip& chip = line->chip.chip();
  EXPECT_NE(chip.latch & (1 << 3), 0);  // power on GPIO 3
  EXPECT_NE(chip.latch & (1 << 1), 0);  // A/B switch on GPIO 1

  EXPECT_EQ(setPowerValue(0), 0);
  EXPECT_EQ(getPowerValue(), 0);
  EXPECT_EQ(setPinValue(0), 0);
  EXPECT_EQ(getPinValue(), 0);
}

TEST_F(AdapterTest, AFailedReadGivesMinusOneAndKeepsTheChipsResult) {
  line->chip.FailAlways(ald::SimBridgeChip::Op::kReadLatch);
  EXPECT_EQ(getPowerValue(), -1);
  EXPECT_NE(getLastError(), 0);
  line->chip.ClearFailures();
  EXPECT_EQ(getPowerValue(), 0);
  EXPECT_EQ(getLastError(), 0);

  line->chip.FailAlways(ald::SimBridgeChip::Op::kOpen);
  EXPECT_EQ(getPinValue(), -1);
  EXPECT_NE(getLastError(), 0);
  EXPECT_NE(setPowerValue(1), 0);
  EXPECT_NE(getLastError(), 0);
}

}  // namespace
}  // namespace gluetest
