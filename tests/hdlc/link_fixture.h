// Test fixture: a link-layer object on the scripted line, a virtual clock,
// and the standard output captured for every test.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "aldlink/hdlc/aisghdlc.h"
#include "support/clock.h"
#include "tests/hdlc/fake_line.h"

// Reaches the private checksum, transparency and trace of the link layer.
class AISGHDLCTestAccess {
 public:
  static unsigned Crc(AISGHDLC& link, hdlctest::Bytes data, int mode) {
    return link.crc_ulmoraisg(data.data(), static_cast<unsigned>(data.size()), mode);
  }
  static void PrintSend(AISGHDLC& link, int highlight) { link.PrintSend(highlight); }
  static void PrintRead(AISGHDLC& link) { link.PrintRead(); }
  static int Rs485Lookup(AISGHDLC& link) { return link.Rs485Lookup(); }
};

namespace hdlctest {

// Opens the protected state of the link layer to the tests.
class TestLink : public AISGHDLC {
 public:
  HdlcFrame& send() { return sendFrame; }
  HdlcFrame& read() { return readFrame; }
  int& ns() { return sendSeq; }
  int& nr() { return recvSeq; }
  Bytes ReadBytes() const { return Bytes(readFrame.data, readFrame.data + readFrame.size); }
};

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ald::SetAdapterPlatform(&platform_);
    testing::internal::CaptureStdout();
    link_.EnableRS485();
  }
  void TearDown() override {
    link_.DisableRS485();
    log_ += testing::internal::GetCapturedStdout();
    ald::SetAdapterPlatform(nullptr);
    // Failure messages went to the captured output too.
    if (HasFailure()) std::fprintf(stderr, "%s", log_.c_str());
  }

  // Everything printed since the last call (or the start of the test).
  std::string Output() {
    std::string out = testing::internal::GetCapturedStdout();
    log_ += out;
    testing::internal::CaptureStdout();
    return out;
  }

  void Answer(const Bytes& bytes) { platform_.line.answers.push_back(bytes); }
  LineState& line() { return platform_.line; }
  const Bytes& LastWrite() {
    static const Bytes kNone;
    return line().writes.empty() ? kNone : line().writes.back();
  }
  int64_t NowMs() { return ald::GetClock().NowMs(); }

  ald::ScopedVirtualClock clock_;
  FakePlatform platform_;
  TestLink link_;
  std::string log_;
};

}  // namespace hdlctest
