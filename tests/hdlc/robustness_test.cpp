// Whatever the line delivers and whatever the callers pass, the link layer
// stays inside its buffers and answers with one of its result numbers.
// Run under the sanitizer build to have overruns reported.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "aldlink/hdlc/fcs.h"
#include "tests/hdlc/link_fixture.h"

namespace hdlctest {
namespace {

class Garbage : public LinkTest {
 protected:
  uint8_t RandomByte() {
    switch (std::uniform_int_distribution<int>(0, 9)(rng_)) {
      case 0:
      case 1:
      case 2:
        return 0x7E;
      case 3:
        return 0x7D;
      case 4:
        return std::uniform_int_distribution<int>(0, 1)(rng_) ? 0x5E : 0x5D;
      default:
        return static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 255)(rng_));
    }
  }

  // Noise, or a good frame with a little damage around or inside it.
  Bytes RandomAnswer() {
    const int kind = std::uniform_int_distribution<int>(0, 3)(rng_);
    Bytes out;
    if (kind == 0) {
      const int n = std::uniform_int_distribution<int>(0, 300)(rng_);
      for (int i = 0; i < n; ++i) out.push_back(RandomByte());
      return out;
    }
    Bytes info;
    const int n = std::uniform_int_distribution<int>(0, 60)(rng_);
    for (int i = 0; i < n; ++i) info.push_back(RandomByte());
    const uint8_t controls[] = {0x73, 0x1F, 0xBF, 0x10, 0x32, 0x11, 0x97, 0x00};
    Bytes frame = MakeFrame(static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 3)(rng_)),
                            controls[std::uniform_int_distribution<int>(0, 7)(rng_)], info);
    // Escape as on the wire.
    Bytes wire{0x7E};
    for (size_t i = 1; i + 1 < frame.size(); ++i) {
      if (frame[i] == 0x7E || frame[i] == 0x7D) {
        wire.push_back(0x7D);
        wire.push_back(frame[i] ^ 0x20);
      } else {
        wire.push_back(frame[i]);
      }
    }
    wire.push_back(0x7E);
    if (kind >= 2) {
      const int damage = std::uniform_int_distribution<int>(1, 3)(rng_);
      for (int d = 0; d < damage; ++d) {
        const size_t at = std::uniform_int_distribution<size_t>(0, wire.size())(rng_);
        if (at < wire.size() && std::uniform_int_distribution<int>(0, 1)(rng_)) {
          wire[at] = RandomByte();
        } else {
          wire.insert(wire.begin() + at, RandomByte());
        }
      }
    }
    return wire;
  }

  // Every parser on whatever the last read left.
  void RunParsers() {
    char out[256];
    int address = 0, version = 0, length = 0;
    const int results[] = {
        link_.GetSNRM(1),
        link_.GetDISC(1),
        link_.GetRR(1),
        link_.GetXIDParams(address, version, out, length),
        link_.GetXIDUserParams(address, version, out, length),
        link_.GetXIDScan(address, version, out, length),
        link_.GetXIDAddress(address, version, out, length),
        link_.GetInfo(link_.read().data[1], 1, out),
        link_.GetInfo(link_.read().data[1], 2, out),
    };
    for (int r : results) EXPECT_TRUE(r == 0 || r == 82 || r == 89) << r;
    EXPECT_GE(length, 0);
    EXPECT_LE(length, 247);
    EXPECT_GE(link_.GetFrameSize(), 0);
    EXPECT_LE(link_.GetFrameSize(), 80);
  }

  std::mt19937 rng_{20261208};
};

TEST_F(Garbage, ReceivedBytesNeverEscapeTheBuffers) {
  int accepted = 0;
  for (int round = 0; round < 4000; ++round) {
    const Bytes answer = RandomAnswer();
    line().input.assign(answer.begin(), answer.end());
    const int result = link_.UartRead();
    Output();  // drop any warning
    const HdlcFrame& f = link_.read();
    ASSERT_GE(f.size, 0);
    ASSERT_LE(f.size, 256);
    const size_t n = answer.size() < 256 ? answer.size() : 256;
    if (result == 0) {
      ++accepted;
      ASSERT_GE(f.size, 6);
      EXPECT_EQ(f.data[0], 0x7E);
      EXPECT_EQ(f.data[f.size - 1], 0x7E);
      const unsigned sent = f.data[f.size - 3] | (f.data[f.size - 2] << 8);
      EXPECT_EQ(ald::hdlc::Fcs16(&f.data[1], f.size - 4), sent);
      EXPECT_EQ(f.fcs, 0);
      EXPECT_EQ(f.ctrlCode, f.data[2]);
    } else if (result == 82) {
      EXPECT_EQ(f.fcs, 82);
      EXPECT_EQ(f.ctrlCode, 0);
      ASSERT_EQ(static_cast<size_t>(f.size), n);
      EXPECT_EQ(std::memcmp(f.data, answer.data(), n), 0);
    } else {
      ASSERT_EQ(result, 89);
      EXPECT_EQ(f.size, 0);
      EXPECT_TRUE(answer.empty() || (answer.size() == 1 && answer[0] == 0));
    }
    EXPECT_GE(link_.nr(), 0);
    EXPECT_LT(link_.nr(), 8);
    RunParsers();
    line().input.clear();
    if (HasFailure()) break;
  }
  // The damage must leave enough good frames to exercise the parsers.
  EXPECT_GT(accepted, 500);
}

TEST_F(Garbage, CallerInputNeverOverflowsTheFrame) {
  char data[400];
  for (int round = 0; round < 1500; ++round) {
    for (char& c : data) c = static_cast<char>(RandomByte());
    const int length = std::uniform_int_distribution<int>(-3, 300)(rng_);
    const int address = std::uniform_int_distribution<int>(0, 255)(rng_);
    const size_t writes = line().writes.size();
    if (std::uniform_int_distribution<int>(0, 3)(rng_) == 0) {
      const Bytes answer = RandomAnswer();
      line().answers.push_back(answer);
    }
    int result = 0;
    switch (round % 6) {
      case 0:
        result = link_.SetInfo(address, data, length);
        break;
      case 1:
        result = link_.SetXIDParams(address, data, length);
        break;
      case 2:
        result = link_.SetXIDUserParams(address, data, length);
        break;
      case 3:
        result = link_.SetXIDScan(address, data, data + 200, length / 2);
        break;
      case 4:
        result = link_.SetXIDAddress(address, data, length);
        break;
      default:
        result = link_.UartSend(data, length);
        break;
    }
    Output();
    EXPECT_TRUE(result == 0 || result == 82 || result == 84 || result == 89) << result;
    if (line().writes.size() > writes) {
      EXPECT_LE(line().writes.back().size(), 256u);
    } else {
      EXPECT_EQ(result, 84);
    }
    line().answers.clear();
    line().input.clear();
    RunParsers();
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace hdlctest
