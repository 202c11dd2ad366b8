// Helpers of the software download tests: temporary software files, a
// scripted device that takes a download, and views of what went over the
// line and what was written to the trace.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/procedures/scripted_line.h"

namespace dltest {

using proctest::Bytes;

// A directory of its own for the files of one test, removed with it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Writes `content` to a file of that name in the directory; returns its path.
  std::string Write(const std::string& name, const std::string& content);
  std::string Write(const std::string& name, const Bytes& content);
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
};

inline Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Number of open file descriptors of this process.
int OpenDescriptors();

// `n` bytes of a pattern that does not repeat with any segment size used here.
Bytes Image(int n);

// Layer-7 side of a scripted device that takes downloads. Every message
// arrives in `messages` (as sent, with the AISG 1.x leading byte). By
// default every request is answered OK in the generation it came in
// (headers and segments with their number in front, as devices do); `hook`
// may answer instead: it returns the answer message, or an empty one to
// keep the default. A message answered by nothing at all is made with
// `silent`.
class DownloadDevice {
 public:
  using Hook = std::function<Bytes(const Bytes& message, int index)>;

  explicit DownloadDevice(proctest::ScriptedLine& line, uint8_t address = 1);

  std::vector<Bytes> messages;
  Hook hook;
  // Messages (by index in `messages`) the device does not answer at all:
  // no I-frame and no RR, as if the frame had been lost.
  std::function<bool(const Bytes& message, int index)> silent;
  // Number of RR polls to let pass (answered with RR) before the answer to
  // a download end comes; -1 never.
  int endAnswerAfterPolls = 0;

  // Messages of one procedure code (the code found after the AISG 1.x
  // leading byte when `generation` is 1).
  std::vector<Bytes> OfCode(uint8_t code, int generation) const;
  // The image bytes carried by the segments, in order.
  Bytes Received(int generation) const;

 private:
  Bytes Answer(const Bytes& message, int index);
  proctest::ScriptedLine& line_;
  uint8_t address_;
  int ns_ = 0;
  int nr_ = 0;
  bool endWaiting_ = false;
  int endPolls_ = 0;
  Bytes endAnswer_;
};

// Lines of the captured output (without their line ends).
std::vector<std::string> Lines(const std::string& out);
int CountLines(const std::string& out, const std::string& line);
int CountPrefix(const std::string& out, const std::string& prefix);

// The line of 60 asterisks that frames the closing report.
inline const std::string kStars(60, '*');

// Test base: virtual clock, scripted line, engine with its port open.
class DownloadTest : public proctest::ProcedureTest {
 protected:
  char* C(std::string& s) { return s.data(); }
  TempDir dir;
};

}  // namespace dltest
