// Scripted-line fixture for the RET and TMA procedure tests: a device at
// address 1 whose layer-7 answers the test writes, every request kept so
// that the bytes on the wire can be checked, and scratch files for the
// configuration uploads.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tests/procedures/scripted_line.h"

namespace retma {

using proctest::Bytes;
using proctest::Message1;
using proctest::Message2;

template <class EP>
class LineTest : public ::testing::Test {
 protected:
  LineTest() {
    dir_ = std::filesystem::path(::testing::TempDir()) /
           ("retma_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  ~LineTest() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  void SetUp() override { ep.OpenConnection(); }

  // Every request is answered by `layer7` (the message without any framing).
  void Answer(proctest::ScriptedDevice::Layer7 layer7) {
    device_ = std::make_unique<proctest::ScriptedDevice>(1, std::move(layer7));
    line.responder = [this](const proctest::Command& c) { return (*device_)(c); };
  }
  void AnswerAlways(Bytes info) {
    Answer([info](const Bytes&) { return info; });
  }
  // Information fields of all I-frames sent, in order.
  std::vector<Bytes> Messages() const {
    std::vector<Bytes> out;
    for (const proctest::Command& c : line.sent) {
      if (c.IsInfo()) out.push_back(c.info);
    }
    return out;
  }

  std::string WriteFile(const std::string& name, const std::string& content) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  ald::ScopedVirtualClock clock;
  proctest::ScriptedLine line;
  EP ep;
  AISGDeviceParams p{};

 private:
  std::filesystem::path dir_;
  std::unique_ptr<proctest::ScriptedDevice> device_;
};

// Runs `f` with standard output captured and returns what it wrote.
template <class F>
std::string Captured(F&& f) {
  ::testing::internal::CaptureStdout();
  f();
  return ::testing::internal::GetCapturedStdout();
}

}  // namespace retma
