#include "sim/bus.h"

#include <cstring>

#include "aldlink/hdlc/fcs.h"

namespace ald::sim {

bool FrameAssembler::Push(uint8_t b) {
  if (b != hdlc::kFlag) {
    if (length_ == 0) return false;  // noise before an opening flag
    if (length_ >= kMaxWire) {
      overflow_ = true;  // too long for any frame: dropped at its next flag
      return false;
    }
    buffer_[length_++] = b;
    return false;
  }
  const bool complete = length_ > 1 && !overflow_;
  if (complete) {
    buffer_[length_++] = b;
    std::memcpy(frame_, buffer_, static_cast<size_t>(length_));
    frameLength_ = length_;
  }
  buffer_[0] = b;
  length_ = 1;
  overflow_ = false;
  return complete;
}

SimBus::SimBus(DeviceList devices) : devices_(std::move(devices)) {
  stations_.reserve(devices_.size());
  for (auto& d : devices_) stations_.push_back(std::make_unique<SecondaryStation>(*d));
}

void SimBus::SetPowered(bool on) {
  if (on && !powered_) {
    for (auto& s : stations_) s->Restart(false);
  }
  powered_ = on;
}

int SimBus::Exchange(const uint8_t* wire, int length, int64_t endUs, uint8_t* out, int capacity) {
  lastAnswers_ = 0;
  Frame frame;
  if (!DecodeFrame(wire, length, raw_, sizeof raw_, frame)) return 0;
  if (observer_ != nullptr) observer_->BeforeExchange(*this, frame, endUs);
  int total = 0;
  for (auto& s : stations_) {
    if (!powered_) break;
    const int n = s->Respond(frame, endUs, answer_, sizeof answer_);
    if (n <= 0) continue;
    const int limit = n < capacity ? n : capacity;
    if (lastAnswers_ == 0) {
      std::memcpy(out, answer_, static_cast<size_t>(limit));
      total = limit;
    } else {
      // The idle line reads as all ones, so a missing byte changes nothing.
      for (int i = 0; i < limit; ++i) {
        out[i] = i < total ? static_cast<uint8_t>(out[i] & answer_[i]) : answer_[i];
      }
      if (limit > total) total = limit;
    }
    ++lastAnswers_;
  }
  if (lastAnswers_ > 1) SpoilFrames(out, total);
  if (observer_ != nullptr) observer_->AfterExchange(*this, endUs);
  return total;
}

void SimBus::RestartDevice(int index, int64_t silentUntilUs) {
  SecondaryStation& station = *stations_.at(static_cast<size_t>(index));
  station.Restart(false);
  SimDevice& d = station.device();
  if (d.restartUntilUs < silentUntilUs) d.restartUntilUs = silentUntilUs;
}

}  // namespace ald::sim
