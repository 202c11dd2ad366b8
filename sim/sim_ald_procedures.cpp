// RET, TMA and software download procedures of the simulated devices.
#include <algorithm>
#include <cstdlib>

#include "sim/sim_ald.h"

namespace ald::sim {

namespace {

// How long a jammed actuator strains before it gives up.
constexpr int64_t kJamUs = 2'000'000;

}  // namespace

void SimAld::StartTilt(int index, int target, int64_t nowUs, Answer& a) {
  AldSubunit& s = subunits[static_cast<size_t>(index)];
  if (generation == 1 && !enabled) return a.Fail(Code(Refusal::kDeviceDisabled));
  if (!s.calibrated) return a.Fail(Code(Refusal::kNotCalibrated));
  if (target < s.minTilt || target > s.maxTilt) return a.Fail(Code(Refusal::kOutOfRange));
  pending_.target = target;
  if (s.jammed) {
    a.Fail(Code(Refusal::kMotorJam));
    Delay(Work::kTilt, index, nowUs + kJamUs, a);
    return;
  }
  const int64_t distance = std::abs(target - s.tilt);
  const int64_t speed = std::max(tiltSpeed, 1);
  Delay(Work::kTilt, index, nowUs + distance * 1'000'000 / speed, a);
}

void SimAld::StartCalibration(int index, int64_t nowUs, Answer& a) {
  AldSubunit& s = subunits[static_cast<size_t>(index)];
  if (generation == 1 && !enabled) return a.Fail(Code(Refusal::kDeviceDisabled));
  if (s.jammed) {
    a.Fail(Code(Refusal::kMotorJam));
    Delay(Work::kCalibrate, index, nowUs + kJamUs, a);
    return;
  }
  Delay(Work::kCalibrate, index, nowUs + calibrationUs, a);
}

bool SimAld::DispatchRet(const Request& r, int64_t nowUs, Answer& a) {
  const bool multi = deviceType == 17;
  const bool perAntenna = r.code >= code::kAntCalibrate;
  // Single-antenna procedures belong to single RETs, the per-antenna ones to
  // AISG 2.0 multi-antenna RETs; configuration data for the unit as a whole
  // (0x32) is taken by both.
  if (!IsRet() || (perAntenna && (!multi || r.generation != 2)) ||
      (!perAntenna && multi && r.code != code::kSendConfig)) {
    a.Fail(Code(Refusal::kUnsupportedProcedure));
    return true;
  }
  int index = 0;
  const uint8_t* data = r.data;
  int length = r.length;
  if (perAntenna && r.code != code::kAntGetCount) {
    if (!TakeSubunit(r, SubunitDataLength(r.code), a, index, data, length)) return true;
  }
  AldSubunit& s = subunits[static_cast<size_t>(index)];
  switch (r.code) {
    case code::kCalibrate:
    case code::kAntCalibrate:
      if (length != 0) break;
      StartCalibration(index, nowUs, a);
      return !pending_.active;
    case code::kSetTilt:
    case code::kAntSetTilt:
      if (length != 2) break;
      StartTilt(index, static_cast<int16_t>(data[0] | data[1] << 8), nowUs, a);
      return !pending_.active;
    case code::kGetTilt:
    case code::kAntGetTilt:
      if (length != 0) break;
      if (!s.calibrated) {
        a.Fail(Code(Refusal::kNotCalibrated));
      } else {
        a.Add16(s.tilt);
      }
      return true;
    case code::kSendConfig:
    case code::kAntSendConfig:
      if (length < 1) break;
      if (r.generation == 1 && !enabled) {
        a.Fail(Code(Refusal::kDeviceDisabled));
      } else {
        s.configurationBytes += length;
      }
      return true;
    case code::kAntSetDeviceData:
      WriteDeviceData(s, data, length, a);
      return true;
    case code::kAntGetDeviceData:
      ReadDeviceData(s, data, length, a);
      return true;
    case code::kAntClearAlarms:
      if (length != 0) break;
      ClearAlarms(s);
      return true;
    case code::kAntGetAlarms:
      if (length != 0) break;
      for (uint8_t c : s.alarms) a.Add(c);
      return true;
    case code::kAntGetCount:
      if (length != 0) break;
      a.Add(static_cast<uint8_t>(subunits.size()));
      return true;
    default:
      a.Fail(Code(Refusal::kUnknownProcedure));
      return true;
  }
  a.Fail(Code(Refusal::kFormatError));
  return true;
}

bool SimAld::DispatchTma(const Request& r, Answer& a) {
  const bool g1 = r.generation == 1;
  if ((g1 && r.code >= code::kTmaSetMode) || (!g1 && r.code < code::kTmaSetMode)) {
    a.Fail(Code(Refusal::kUnknownProcedure));
    return true;
  }
  if (!IsTma()) {
    a.Fail(Code(Refusal::kUnsupportedProcedure));
    return true;
  }
  int index = 0;
  const uint8_t* data = r.data;
  int length = r.length;
  if (!g1 && r.code != code::kTmaGetSubunits) {
    if (!TakeSubunit(r, SubunitDataLength(r.code), a, index, data, length)) return true;
  }
  AldSubunit& s = subunits[static_cast<size_t>(index)];
  // The AISG 1.x codes sit 0x30 below their AISG 2.0 counterparts.
  const uint8_t c = g1 ? static_cast<uint8_t>(r.code + 0x30) : r.code;
  switch (c) {
    case code::kTmaSetMode: {
      if (length != 1) break;
      const int mode = data[0];
      if (g1 && !enabled) {
        a.Fail(Code(Refusal::kDeviceDisabled));
      } else if (mode > 1 || (mode == 1 && !(s.functions & 1))) {
        a.Fail(Code(Refusal::kOutOfRange));
      } else {
        s.mode = mode;
      }
      return true;
    }
    case code::kTmaGetMode:
      if (length != 0) break;
      a.Add(static_cast<uint8_t>(s.mode));
      return true;
    case code::kTmaSetGain: {
      if (length != 1) break;
      const int gain = data[0];
      bool allowed;
      if (!s.nonLinearGains.empty()) {
        allowed = std::find(s.nonLinearGains.begin(), s.nonLinearGains.end(), gain) !=
                  s.nonLinearGains.end();
      } else {
        allowed = gain >= s.minGain && gain <= s.maxGain &&
                  (s.gainStep <= 0 || (gain - s.minGain) % s.gainStep == 0);
      }
      if (g1 && !enabled) {
        a.Fail(Code(Refusal::kDeviceDisabled));
      } else if (!allowed) {
        a.Fail(Code(Refusal::kOutOfRange));
      } else {
        s.gain = gain;
      }
      return true;
    }
    case code::kTmaGetGain:
      if (length != 0) break;
      a.Add(static_cast<uint8_t>(s.gain));
      return true;
    case code::kTmaSetDeviceData:
      WriteDeviceData(s, data, length, a);
      return true;
    case code::kTmaGetDeviceData:
      ReadDeviceData(s, data, length, a);
      return true;
    case code::kTmaClearAlarms:
      if (length != 0) break;
      ClearAlarms(s);
      return true;
    case code::kTmaGetAlarms:
      if (length != 0) break;
      for (uint8_t al : s.alarms) a.Add(al);
      return true;
    case code::kTmaGetSubunits:
      if (length != 0) break;
      a.Add(static_cast<uint8_t>(subunits.size()));
      return true;
    case code::kTmaGetFunctions:
      if (length != 0) break;
      a.Add(s.functions);
      a.Add(static_cast<uint8_t>(s.minGain));
      a.Add(static_cast<uint8_t>(s.maxGain));
      a.Add(static_cast<uint8_t>(s.gainStep));
      return true;
    case code::kTmaGetNonLinearGains:
      if (length != 0) break;
      a.Add(static_cast<uint8_t>(s.nonLinearGains.size()));
      for (uint8_t g : s.nonLinearGains) a.Add(g);
      return true;
    default:
      a.Fail(Code(Refusal::kUnknownProcedure));
      return true;
  }
  a.Fail(Code(Refusal::kFormatError));
  return true;
}

bool SimAld::DispatchDownload(const Request& r, int64_t nowUs, Answer& a) {
  Download& d = download_;
  switch (r.code) {
    case code::kDownloadStart1:
    case code::kDownloadStart:
      if (r.length != 0) return a.Fail(Code(Refusal::kFormatError)), true;
      if (r.generation == 1 && !enabled) return a.Fail(Code(Refusal::kDeviceDisabled)), true;
      d = Download{};
      d.active = true;
      return true;
    case code::kBlockHeader: {
      // Answers to a block header name the block, FAIL included.
      const int block = r.length >= 2 ? r.data[0] | r.data[1] << 8 : 0;
      auto fail = [&](uint8_t reason) {
        a.ret = kRetFail;
        a.size = 0;
        a.Add16(block);
        a.Add(reason);
        return true;
      };
      if (r.length != 4) return fail(Code(Refusal::kFormatError));
      if (!d.active) return fail(Code(Refusal::kProcedureSequence));
      if (block != d.nextBlock) return fail(Code(Refusal::kBlockSequence));
      if (d.blocks && d.blockReceived != d.blockLength)
        return fail(Code(Refusal::kSegmentSequence));
      const int blockLength = r.data[2] | r.data[3] << 8;
      if (blockLength == 0) return fail(Code(Refusal::kFormatError));
      d.blocks = true;
      d.blockLength = blockLength;
      d.blockReceived = 0;
      d.nextSegment = 0;
      ++d.nextBlock;
      a.Add16(block);
      return true;
    }
    case code::kSegment1: {
      const uint8_t segment = r.length >= 1 ? r.data[0] : 0;
      auto fail = [&](uint8_t reason) {
        a.ret = kRetFail;
        a.size = 0;
        a.Add(segment);
        a.Add(reason);
        return true;
      };
      if (r.length < 2) return fail(Code(Refusal::kFormatError));
      if (!d.active || !d.blocks) return fail(Code(Refusal::kProcedureSequence));
      if (segment != (d.nextSegment & 0xFF)) return fail(Code(Refusal::kSegmentSequence));
      if (d.blockReceived + r.length - 1 > d.blockLength)
        return fail(Code(Refusal::kInvalidFileContent));
      d.blockReceived += r.length - 1;
      d.total += r.length - 1;
      ++d.nextSegment;
      a.Add(segment);
      return true;
    }
    case code::kSegment:
      if (r.length < 1) return a.Fail(Code(Refusal::kFormatError)), true;
      if (!d.active || d.blocks) return a.Fail(Code(Refusal::kProcedureSequence)), true;
      d.total += r.length;
      return true;
    case code::kDownloadEnd1:
    case code::kDownloadEnd: {
      if (r.length != 0) return a.Fail(Code(Refusal::kFormatError)), true;
      if (!d.active) return a.Fail(Code(Refusal::kProcedureSequence)), true;
      d.active = false;
      // An image that stops inside a block, or no image at all, is not
      // taken: the device keeps its software and does not restart.
      if (d.total == 0 || (d.blocks && d.blockReceived != d.blockLength)) {
        a.Fail(Code(Refusal::kInvalidFileContent));
        Delay(Work::kDownloadEnd, 0, nowUs + downloadEndUs, a);
        return false;
      }
      Delay(Work::kDownloadEnd, 0, nowUs + downloadEndUs, a);
      pending_.restartAfter = true;
      return false;
    }
    default:
      a.Fail(Code(Refusal::kUnknownProcedure));
      return true;
  }
}

}  // namespace ald::sim
