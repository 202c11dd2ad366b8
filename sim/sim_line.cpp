#include "sim/sim_line.h"

#include "support/clock.h"

namespace ald::sim {

bool SimLine::GetLineSettings(LineSettings& settings) {
  settings = settings_;
  return true;
}

bool SimLine::SetLineSettings(const LineSettings& settings) {
  settings_ = settings;
  return true;
}

bool SimLine::GetTimeouts(SerialTimeouts& timeouts) {
  timeouts = timeouts_;
  return true;
}

bool SimLine::SetTimeouts(const SerialTimeouts& timeouts) {
  timeouts_ = timeouts;
  return true;
}

bool SimLine::SettingsMatchLine() const {
  return settings_.baudRate == kBaudRate && settings_.dataBits == 8 &&
         settings_.parity == Parity::kNone && settings_.stopBits == 1;
}

bool SimLine::Purge(unsigned flags) {
  if (flags & kPurgeRxClear) {
    // Only what the UART holds now; bytes still on the line arrive later.
    const int64_t now = GetClock().NowUs();
    while (count_ > 0 && queue_[head_].atUs <= now) DropFront();
  }
  if (flags & (kPurgeTxClear | kPurgeTxAbort)) assembler_.Clear();
  return true;
}

void SimLine::Enqueue(uint8_t value, int64_t atUs) {
  if (count_ == kQueueSize) return;  // a full UART buffer loses bytes
  if (count_ > 0) {
    const int64_t last = queue_[(head_ + count_ - 1) % kQueueSize].atUs;
    if (atUs < last) atUs = last;
  }
  queue_[(head_ + count_) % kQueueSize] = Byte{value, atUs};
  ++count_;
}

bool SimLine::Write(const char* data, int length, int& written) {
  written = 0;
  if (length < 0) return false;
  const int64_t now = GetClock().NowUs();
  const int64_t start = lineFreeUs_ > now ? lineFreeUs_ : now;
  // At another speed or framing the devices hear only noise.
  const bool understood = SettingsMatchLine();
  for (int i = 0; i < length; ++i) {
    const int64_t endUs = ByteEndUs(start, i);
    if (!assembler_.Push(static_cast<uint8_t>(data[i])) || !understood) continue;
    const int n =
        bus_.Exchange(assembler_.frame(), assembler_.frameLength(), endUs, answer_, sizeof answer_);
    const int64_t answerStart = endUs + kTurnaroundUs;
    for (int k = 0; k < n; ++k) Enqueue(answer_[k], ByteEndUs(answerStart, k));
  }
  if (length > 0) lineFreeUs_ = ByteEndUs(start, length - 1);
  written = length;
  return true;
}

bool SimLine::Read(char* buffer, int length, int& got) {
  got = 0;
  if (length <= 0) return true;
  Clock& clock = GetClock();
  const int64_t start = clock.NowUs();
  const uint64_t totalMs =
      static_cast<uint64_t>(timeouts_.readTotalMultiplier) * length + timeouts_.readTotalConstant;
  const bool hasTotal = totalMs > 0;
  const int64_t deadline = start + static_cast<int64_t>(totalMs) * 1000;
  const uint32_t interval = timeouts_.readInterval;
  const bool hasInterval = interval > 0 && interval != 0xFFFFFFFFu;
  const bool immediate = interval == 0xFFFFFFFFu && !hasTotal;
  int64_t lastUs = start;
  while (got < length) {
    if (count_ == 0) {
      // Nothing is on its way: the devices only ever answer a command.
      if (hasTotal) clock.SleepUntilUs(deadline);
      break;
    }
    const int64_t at = queue_[head_].atUs;
    const int64_t now = clock.NowUs();
    if (immediate && at > now) break;
    int64_t limit = hasTotal ? deadline : INT64_MAX;
    if (hasInterval && got > 0) {
      const int64_t gapEnd = lastUs + static_cast<int64_t>(interval) * 1000;
      if (gapEnd < limit) limit = gapEnd;
    }
    if (at > limit) {
      clock.SleepUntilUs(limit);
      break;
    }
    clock.SleepUntilUs(at);
    buffer[got++] = static_cast<char>(queue_[head_].value);
    lastUs = at > now ? at : now;
    DropFront();
  }
  return true;
}

}  // namespace ald::sim
