// Message framing, fault shaping and the device-wide procedures of the
// simulated devices.
#include "sim/sim_ald.h"

#include <algorithm>
#include <cstring>

namespace ald::sim {

int SubunitDataLength(uint8_t c) {
  switch (c) {
    case code::kAntCalibrate:
    case code::kAntGetTilt:
    case code::kAntClearAlarms:
    case code::kAntGetAlarms:
    case code::kTmaGetMode:
    case code::kTmaGetGain:
    case code::kTmaClearAlarms:
    case code::kTmaGetAlarms:
    case code::kTmaGetFunctions:
    case code::kTmaGetNonLinearGains:
      return 0;
    case code::kTmaSetMode:
    case code::kTmaSetGain:
      return 1;
    case code::kAntSetTilt:
      return 2;
    case code::kAntSetDeviceData:
    case code::kAntGetDeviceData:
    case code::kTmaSetDeviceData:
    case code::kTmaGetDeviceData:
    case code::kAntSendConfig:
      return -1;
    default:
      return -2;
  }
}

uint8_t ReasonCode(int generation, Refusal why) {
  namespace g1 = ald::rc::aisg1;
  namespace g2 = ald::rc::aisg2;
  const bool old = generation == 1;
  switch (why) {
    case Refusal::kMotorJam:
      return old ? g1::kActuatorJamPermanent : g2::kMotorJam;
    case Refusal::kBusy:
      return old ? g1::kBusy : g2::kBusy;
    case Refusal::kDeviceDisabled:
      // AISG 2.0 devices are never disabled; the nearest word is the sequence.
      return old ? g1::kDeviceDisabled : g2::kInvalidProcedureSequence;
    case Refusal::kNotCalibrated:
      return old ? g1::kNotCalibrated : g2::kNotCalibrated;
    case Refusal::kOutOfRange:
      return old ? g1::kOutOfRange : g2::kOutOfRange;
    case Refusal::kBlockSequence:
      return old ? g1::kBlockNumberSequenceError : g2::kInvalidProcedureSequence;
    case Refusal::kSegmentSequence:
      return old ? g1::kSegmentNumberSequenceError : g2::kInvalidProcedureSequence;
    case Refusal::kUnknownProcedure:
      return old ? g1::kUnknownProcedure : g2::kUnknownProcedure;
    case Refusal::kUnsupportedProcedure:
      // The older list has no word for a procedure of another device type.
      return old ? g1::kUnknownProcedure : g2::kUnsupportedProcedure;
    case Refusal::kReadOnly:
      return old ? g1::kReadOnly : g2::kReadOnly;
    case Refusal::kUnknownParameter:
      return old ? g1::kUnknownParameter : g2::kUnknownParameter;
    case Refusal::kInvalidFileContent:
      return old ? g1::kInvalidSoftware : g2::kInvalidFileContent;
    case Refusal::kFormatError:
      return old ? g1::kDataError : g2::kFormatError;
    case Refusal::kProcedureSequence:
      return old ? g1::kProcedureSequenceError : g2::kInvalidProcedureSequence;
  }
  return old ? g1::kFail : g2::kFail;
}

namespace {

// The shortest data of an AISG 2.0 per-subunit request: the subunit number
// and the fields every such request carries (a device data write names at
// least one field). -1 for procedures of the device as a whole.
int ShortestSubunitRequest(uint8_t c) {
  const int fixed = SubunitDataLength(c);
  if (fixed == -2) return -1;
  if (c == code::kAntSetDeviceData || c == code::kTmaSetDeviceData) return 2;
  return 1 + (fixed > 0 ? fixed : 0);
}

}  // namespace

int SimAld::HandleMessage(const uint8_t* info, int length, int64_t nowUs, uint8_t* out,
                          int capacity) {
  const int header = generation == 1 ? 4 : 3;
  if (!info || !out || capacity <= 0 || length < header) return 0;
  Answer a;
  int p = 0;
  if (generation == 1) {
    // The leading byte counts the procedures of the message; these devices
    // take one at a time and ignore anything else.
    if (info[0] != 1) return 0;
    a.lead = info[0];
    p = 1;
  }
  Request r;
  r.generation = generation;
  r.code = info[p];
  r.data = info + header;
  r.length = length - header;
  const int declared = info[p + 1] | info[p + 2] << 8;
  a.code = r.code;
  if (generation == 2) {
    const int shortest = ShortestSubunitRequest(r.code);
    // A per-subunit message too short to name its subunit and carry its
    // fields is not a message a device can act on or answer for: it is
    // disregarded, and polls get RR as if nothing had come.
    if (shortest >= 0 && r.length < shortest) return 0;
    if (shortest >= 0) {
      a.echoSubunit = true;
      a.subunit = r.data[0];
    }
  }
  if (pending_.active) {
    a.Fail(Code(Refusal::kBusy));
  } else if (declared != r.length) {
    a.Fail(Code(Refusal::kFormatError));
  } else if (!faults.failReasons.empty()) {
    a.ret = kRetFail;
    a.size = 0;
    // Download headers and segments carry their number before the reasons.
    if (generation == 1 && r.code == code::kBlockHeader) {
      a.Add(r.length > 0 ? r.data[0] : 0);
      a.Add(r.length > 1 ? r.data[1] : 0);
    } else if (generation == 1 && r.code == code::kSegment1) {
      a.Add(r.length > 0 ? r.data[0] : 0);
    }
    for (uint8_t reason : faults.failReasons) a.Add(reason);
  } else if (!Dispatch(r, nowUs, a)) {
    // Work that takes no time (a tilt already in place) answers at once;
    // until other work is done, polls get RR (or an alarm indication).
    return nowUs < pending_.readyUs ? 0 : PendingAnswer(nowUs, out, capacity);
  }
  const int n = Serialize(a, out, capacity);
  if (r.code == code::kReset && a.ret == kRetOk && faults.failReasons.empty()) Restart(nowUs);
  return n;
}

int SimAld::PendingAnswer(int64_t nowUs, uint8_t* out, int capacity) {
  if (!out || capacity <= 0) return 0;
  if (!pending_.active || nowUs < pending_.readyUs) return SendIndication(out, capacity);
  pending_.active = false;
  AldSubunit* s = pending_.subunit < static_cast<int>(subunits.size())
                      ? &subunits[static_cast<size_t>(pending_.subunit)]
                      : nullptr;
  const bool ok = pending_.answer.ret == kRetOk;
  switch (pending_.work) {
    case Work::kTilt:
      if (s && ok) s->tilt = pending_.target;
      if (s && !ok) AddAlarm(*s, Code(Refusal::kMotorJam));
      break;
    case Work::kCalibrate:
      if (s && ok) {
        s->calibrated = true;
        RemoveAlarm(*s, Code(Refusal::kNotCalibrated));
      }
      if (s && !ok) AddAlarm(*s, Code(Refusal::kMotorJam));
      break;
    default:
      break;
  }
  const int n = Serialize(pending_.answer, out, capacity);
  if (pending_.restartAfter) {
    if (softwareVersionAfterDownload.size()) softwareVersion = softwareVersionAfterDownload;
    if (generationAfterDownload) ChangeGeneration(generationAfterDownload);
    Restart(nowUs);
  }
  return n;
}

void SimAld::Delay(Work work, int index, int64_t readyUs, const Answer& a) {
  pending_.active = true;
  pending_.work = work;
  pending_.subunit = index;
  pending_.readyUs = readyUs;
  pending_.restartAfter = false;
  pending_.answer = a;
}

void SimAld::Restart(int64_t nowUs) {
  restartPending = true;
  restartUntilUs = nowUs + restartUs;
  pending_ = Pending{};
  download_.active = false;
  LinkClosed();
  // A restart starts the alarm states afresh: only conditions that still
  // hold (an actuator never calibrated, a jam) are raised again.
  for (AldSubunit& s : subunits) ClearAlarms(s);
  // An AISG 1.x device comes back disabled until the controller enables it.
  if (generation == 1) enabled = false;
}

void SimAld::LinkClosed() {
  alarmSubscribed = false;
  indicationCount_ = 0;
}

void SimAld::AddAlarm(AldSubunit& s, uint8_t c) {
  if (std::find(s.alarms.begin(), s.alarms.end(), c) != s.alarms.end()) return;
  s.alarms.push_back(c);
  Indicate(s, c, true);
}

void SimAld::RemoveAlarm(AldSubunit& s, uint8_t c) {
  const auto it = std::find(s.alarms.begin(), s.alarms.end(), c);
  if (it == s.alarms.end()) return;
  s.alarms.erase(it);
  Indicate(s, c, false);
}

void SimAld::ClearAlarms(AldSubunit& s) {
  // Cleared on request: nothing to indicate to the controller that asked.
  s.alarms.clear();
  if (IsRet() && !s.calibrated) AddAlarm(s, Code(Refusal::kNotCalibrated));
  if (s.jammed) AddAlarm(s, Code(Refusal::kMotorJam));
}

void SimAld::Indicate(const AldSubunit& s, uint8_t c, bool raised) {
  if (!alarmSubscribed || generation != 2) return;
  if (indicationCount_ >= static_cast<int>(indications_.size())) return;  // oldest kept
  Indication& i = indications_[static_cast<size_t>(indicationCount_++)];
  i.subunit = static_cast<uint8_t>(&s - subunits.data() + 1);
  i.code = c;
  i.raised = raised;
}

int SimAld::SendIndication(uint8_t* out, int capacity) {
  if (indicationCount_ == 0) return 0;
  // One message carries the changes of one subunit: a multi-antenna RET and
  // a TMA name it (antenna and TMA alarm indication), a single RET reports
  // for the unit. Each change is the alarm code and its state, 1 raised.
  const uint8_t subunit = indications_[0].subunit;
  Answer a;
  const bool perSubunit = deviceType == 17 || IsTma();
  a.code = deviceType == 17 ? code::kAntAlarmIndication
           : IsTma()        ? code::kTmaAlarmIndication
                            : code::kAlarmIndication;
  a.echoSubunit = perSubunit;
  a.subunit = subunit;
  int kept = 0;
  for (int k = 0; k < indicationCount_; ++k) {
    const Indication& i = indications_[static_cast<size_t>(k)];
    if (i.subunit == subunit || !perSubunit) {
      a.Add(i.code);
      a.Add(i.raised ? 1 : 0);
    } else {
      indications_[static_cast<size_t>(kept++)] = i;
    }
  }
  indicationCount_ = kept;
  return Serialize(a, out, capacity, false);
}

void SimAld::AllAlarms(Answer& a) const {
  // The device-wide alarm list names each active code once.
  int first = a.size;
  for (const AldSubunit& s : subunits) {
    for (uint8_t c : s.alarms) {
      if (std::find(a.data.begin() + first, a.data.begin() + a.size, c) ==
          a.data.begin() + a.size) {
        a.Add(c);
      }
    }
  }
}

int SimAld::Serialize(const Answer& a, uint8_t* out, int capacity, bool withReturnCode) const {
  std::array<uint8_t, 640> body{};
  int n = 0;
  if (a.echoSubunit) body[n++] = a.subunit;
  const uint8_t ret = faults.returnCode >= 0 ? static_cast<uint8_t>(faults.returnCode) : a.ret;
  // A message the device sends of its own accord answers nothing.
  if (withReturnCode) body[n++] = ret;
  int size = a.size;
  if (ret == kRetFail && faults.bareFail) size = 0;
  if (faults.missingBytes > 0) size = std::max(0, size - faults.missingBytes);
  std::memcpy(body.data() + n, a.data.data(), static_cast<size_t>(size));
  n += size;
  if (faults.padAnswersTo > n) n = std::min<int>(faults.padAnswersTo, body.size());
  const int lengthField = std::clamp(n + faults.lengthFieldDelta, 0, 0xFFFF);

  std::array<uint8_t, 4> head{};
  int h = 0;
  if (generation == 1) head[h++] = a.lead;
  head[h++] = faults.wrongProcedureCode ? static_cast<uint8_t>(a.code ^ 0x01) : a.code;
  head[h++] = static_cast<uint8_t>(lengthField & 0xFF);
  head[h++] = static_cast<uint8_t>(lengthField >> 8);
  const int total = std::min(capacity, h + n);
  for (int i = 0; i < total; ++i) out[i] = i < h ? head[i] : body[i - h];
  return total;
}

bool SimAld::TakeSubunit(const Request& r, int fixed, Answer& a, int& index, const uint8_t*& data,
                         int& length) {
  // Every AISG 2.0 per-subunit request names its subunit (HandleMessage
  // disregards those too short to).
  data = r.data + 1;
  length = r.length - 1;
  if ((fixed >= 0 && length != fixed) || a.subunit < 1 || a.subunit > subunits.size()) {
    a.Fail(Code(Refusal::kFormatError));
    return false;
  }
  index = a.subunit - 1;
  return true;
}

bool SimAld::Dispatch(const Request& r, int64_t nowUs, Answer& a) {
  const bool g1 = r.generation == 1;
  auto noData = [&]() {
    if (r.length == 0) return true;
    a.Fail(Code(Refusal::kFormatError));
    return false;
  };
  switch (r.code) {
    case code::kGetDeviceType:
      if (!g1) break;
      if (noData()) {
        a.Add(uniqueId.size() > 0 ? static_cast<uint8_t>(uniqueId[0]) : 0);
        a.Add(uniqueId.size() > 1 ? static_cast<uint8_t>(uniqueId[1]) : 0);
        a.Add(static_cast<uint8_t>(deviceType));
      }
      return true;
    case code::kReset:
      noData();  // the restart follows the answer (HandleMessage)
      return true;
    case code::kGetAlarms:
      if (noData()) AllAlarms(a);
      return true;
    case code::kGetInfo:
      if (noData()) {
        const std::string* texts[] = {&productNumber, &serialNumber, &hardwareVersion,
                                      &softwareVersion};
        for (int i = 0; i < 4; ++i) {
          std::string t = *texts[i];
          // Over-long product and serial numbers, still inside one answer.
          if (faults.longTexts && i < 2) t.resize(32, static_cast<char>('A' + i));
          const int n = std::min<int>(static_cast<int>(t.size()), 255);
          a.Add(static_cast<uint8_t>(n));
          for (int k = 0; k < n; ++k) a.Add(static_cast<uint8_t>(t[static_cast<size_t>(k)]));
        }
      }
      return true;
    case code::kClearAlarms:
      if (noData()) {
        for (AldSubunit& s : subunits) ClearAlarms(s);
      }
      return true;
    case code::kEnable:
    case code::kDisable:
      if (!g1) break;
      if (noData()) enabled = r.code == code::kEnable;
      return true;
    case code::kSelfTest:
      if (!noData()) return true;
      for (const AldSubunit& s : subunits) {
        if (s.jammed) {
          a.Fail(Code(Refusal::kMotorJam));
          break;
        }
      }
      Delay(Work::kSelfTest, 0, nowUs + selfTestUs, a);
      return false;
    case code::kGetBitRates:
      if (!g1) break;
      if (noData()) {
        const std::string t = faults.longTexts ? bitRates + ",19200,38400,115200" : bitRates;
        for (char c : t) a.Add(static_cast<uint8_t>(c));
      }
      return true;
    case code::kSetDeviceData:
      if (r.length < 1) {
        a.Fail(Code(Refusal::kFormatError));
      } else {
        WriteDeviceData(subunits[0], r.data, r.length, a);
      }
      return true;
    case code::kGetDeviceData:
      ReadDeviceData(subunits[0], r.data, r.length, a);
      return true;
    case code::kReadUserData:
      if (g1) break;
      if (r.length != 3) {
        a.Fail(Code(Refusal::kFormatError));
      } else {
        const int offset = r.data[0] | r.data[1] << 8;
        const int count = r.data[2];
        if (offset + count > static_cast<int>(userData.size())) {
          a.Fail(Code(Refusal::kOutOfRange));
        } else {
          for (int i = 0; i < count; ++i) a.Add(userData[static_cast<size_t>(offset + i)]);
        }
      }
      return true;
    case code::kWriteUserData:
      if (g1) break;
      if (r.length < 3 || r.length - 3 != r.data[2]) {
        a.Fail(Code(Refusal::kFormatError));
      } else {
        const int offset = r.data[0] | r.data[1] << 8;
        const int count = r.data[2];
        if (offset + count > static_cast<int>(userData.size())) {
          a.Fail(Code(Refusal::kOutOfRange));
        } else {
          std::copy_n(r.data + 3, count, userData.begin() + offset);
        }
      }
      return true;
    case code::kAlarmSubscribe:
      if (g1) break;
      if (noData()) alarmSubscribed = true;  // alarms raised from now on
      return true;
    case code::kVendorSpecific1:
    case code::kVendorSpecific2:
      if (g1 != (r.code == code::kVendorSpecific1)) break;
      // Vendor-specific messages open with the vendor code of the device
      // they are meant for.
      if (r.length < 2 || uniqueId.size() < 2 || r.data[0] != static_cast<uint8_t>(uniqueId[0]) ||
          r.data[1] != static_cast<uint8_t>(uniqueId[1])) {
        a.Fail(Code(Refusal::kUnknownProcedure));
      }
      return true;
    case code::kDownloadStart1:
    case code::kBlockHeader:
    case code::kSegment1:
    case code::kDownloadEnd1:
      if (!g1) break;
      return DispatchDownload(r, nowUs, a);
    case code::kDownloadStart:
    case code::kSegment:
    case code::kDownloadEnd:
    case code::kTmaGetGain1:
      // An AISG 1.x TMA uses these codes for mode and gain; the data length
      // tells them from the download messages of the HEX form.
      if (g1 && IsTma()) {
        const bool tmaForm = r.code == code::kTmaGetGain1 ||
                             (r.code == code::kDownloadStart && r.length == 1) ||
                             (r.code == code::kSegment && r.length == 0) ||
                             (r.code == code::kDownloadEnd && r.length == 1);
        if (tmaForm) return DispatchTma(r, a);
      }
      if (r.code == code::kTmaGetGain1) break;
      return DispatchDownload(r, nowUs, a);
    default:
      if ((r.code >= code::kCalibrate && r.code <= code::kGetTilt) ||
          (r.code >= code::kAntCalibrate && r.code <= code::kAntSendConfig)) {
        return DispatchRet(r, nowUs, a);
      }
      if (r.code >= code::kTmaSetMode && r.code <= code::kTmaGetNonLinearGains) {
        return DispatchTma(r, a);
      }
      break;
  }
  a.Fail(Code(Refusal::kUnknownProcedure));
  return true;
}

}  // namespace ald::sim
