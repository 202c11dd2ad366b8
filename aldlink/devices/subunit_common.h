// What the RET and TMA device objects do alike with their subunits: the
// alarm lists with the object's own codes at the front, the parsing of alarm
// answers, the text and number fields of summaries and device data, the
// communication state a refresh decides on, and the address listing of the
// registry. Internal to the device objects; the subunit types only need the
// members `alarm`, `status`, `lastalarm` and `repeatcount`.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "aldlink/devices/aisgdevice.h"
#include "aldlink/devices/devicedata.h"
#include "aldlink/devices/resulttexts.h"
#include "aldlink/procedures/aisgdeviceparams.h"
#include "support/hstring.h"

namespace ald::subunit {

// Alarm codes the device objects put at the front of the lists themselves.
constexpr unsigned char kAlarmNew = 0x51;
constexpr unsigned char kAlarmBadResponding = 0x52;
constexpr unsigned char kAlarmNotResponding = 0x53;
// The controllers recognise them by the numbers of the result texts.
static_assert(kAlarmNew == ald::results::kPseudoAlarmNew &&
              kAlarmBadResponding == ald::results::kPseudoAlarmBadResponding &&
              kAlarmNotResponding == ald::results::kPseudoAlarmNotResponding);

// Device data identifiers both objects know.
constexpr char kFieldModel = 0x01;
constexpr char kFieldSerial = 0x02;
constexpr char kFieldBand = 0x03;
constexpr char kFieldBeamwidth = 0x04;
constexpr char kFieldGain = 0x05;
constexpr char kFieldBandExt08 = 0x08;
constexpr char kFieldBandExt09 = 0x09;
constexpr char kFieldInstallDate = 0x21;
constexpr char kFieldInstallerId = 0x22;
constexpr char kFieldBaseStationId = 0x23;
constexpr char kFieldSectorId = 0x24;
constexpr char kFieldBearing = 0x25;
constexpr char kFieldMechanicalTilt = 0x26;

bool IsPseudoAlarm(unsigned char code);
// Codes that the object adds itself or that a device reserves for such
// markers (0x51..0x7F): a list led by one survives a refresh without alarms.
bool IsMarkerCode(unsigned char code);

// An HString of the text at `text`, at most `max` characters.
HString BoundedText(const char* text, size_t max);

// Text fields of a write: the value bytes a device of `generation` keeps.
int TextLength(char id, int generation);
bool IsTextField(char id);

void PutLe16(char* out, int value);

// The write message of text field `id` (identifier, then the value bytes a
// device of `generation` keeps): texts go right-aligned with zero bytes in
// front, placed by `alignRight`; `p` keeps the part that is sent for the
// comparison with the read-back. Returns the message length.
int PutTextMessage(char id, const DeviceData& data, int generation,
                   void (*alignRight)(const char*, int, char*, int), char* message,
                   AISGDeviceParams& p);

// The write message of a non-text field both objects know (identifier, then
// the value bytes); `bandHigh` is the cached high byte of the band, whose
// extension flags stay as the device reported them. `p` keeps what the
// read-back is compared with. 0 for any other field.
int PutCommonMessage(char id, const DeviceData& data, unsigned char bandHigh, int generation,
                     char* message, AISGDeviceParams& p);

// Whether the device holds what was written into field `id`: `value` are
// the written value bytes, `p` the record of the write, `back` the read-back.
// 1 the same, 0 different, -1 a field only one of the objects knows.
int SameAsWritten(char id, const unsigned char* value, int valueLength, const AISGDeviceParams& p,
                  const AISGDeviceParams& back, int generation);

// A device of a type the object does not serve has no device data
// procedures: 11, with a response area that holds nothing, so that bytes of
// the link set-up are not taken for the device's reason codes.
int NoProcedureFor(AISGDeviceParams& p);

// The alarm codes of an answer: the bytes after the return code up to the
// first zero byte.
HString AlarmText(const AISGDeviceParams& p);
bool NoAlarmAnswer(const AISGDeviceParams& p);
// The list, zero-terminated, into `buffer` (may be null).
void CopyAlarms(const HString& alarm, unsigned char* buffer);

// "(address,subunits)" of every registered object for which `matches`
// holds, comma-separated, at most 255 characters, zero-terminated.
void ListAddressInfo(char* out, bool (*matches)(AISGDevice*));

// Copies a text into a fixed field, cut to the field's width less one.
template <size_t N>
void PutText(char (&field)[N], const char* text) {
  const size_t n = text != nullptr ? strnlen(text, N - 1) : 0;
  if (n > 0) std::memcpy(field, text, n);
  field[n] = 0;
}

template <size_t N>
void CopyTextField(char (&field)[N], const HString& text) {
  const size_t n = std::min<size_t>(text.GetLength(), N - 1);
  const char* chars = text;
  const size_t used = strnlen(chars, n);
  std::memcpy(field, chars, used);
  std::memset(field + used, 0, N - used);
}

// Notes that the subunit's device data field `id` (identifiers below 64)
// now holds a value the device sent; the table shows never-read fields as
// unknown rather than as their zero fill.
template <class Subunit>
void MarkFieldRead(Subunit& s, char id) {
  const unsigned bit = static_cast<unsigned char>(id);
  if (bit < 64) s.fieldsread |= uint64_t{1} << bit;
}

// Takes field `id` of a device data answer into the subunit; false for a
// field only one of the objects knows.
template <class Subunit>
bool TakeCommonField(Subunit& s, char id, const AISGDeviceParams& p, int generation) {
  switch (id) {
    case kFieldModel:
      s.antmodel = BoundedText(p.antModel, sizeof p.antModel);
      return true;
    case kFieldSerial:
      s.antsn = BoundedText(p.antSerial, sizeof p.antSerial);
      return true;
    case kFieldBand:
      s.antband[0] = static_cast<unsigned char>(p.antFreqBand & 0xFF);
      s.antband[1] = static_cast<unsigned char>(p.antFreqBand >> 8);
      return true;
    case kFieldBeamwidth:
      if (generation == 2) {
        std::memcpy(s.antbeam, p.antBeamwidth, sizeof s.antbeam);
      } else {
        // Three one-byte beamwidths become the low bytes of the first three values.
        for (int b = 0; b < 3; ++b) s.antbeam[2 * b] = p.antBeamwidth[b];
      }
      return true;
    case kFieldGain:
      std::memcpy(s.antgain, p.antGain, sizeof s.antgain);
      return true;
    case kFieldBandExt08:
      s.antband[2] = static_cast<unsigned char>(p.antFreqBandExt08 & 0xFF);
      s.antband[3] = static_cast<unsigned char>(p.antFreqBandExt08 >> 8);
      return true;
    case kFieldBandExt09:
      s.antband[4] = static_cast<unsigned char>(p.antFreqBandExt09 & 0xFF);
      s.antband[5] = static_cast<unsigned char>(p.antFreqBandExt09 >> 8);
      return true;
    case kFieldInstallDate:
      s.insdate = BoundedText(p.antInstallDate, sizeof p.antInstallDate);
      return true;
    case kFieldInstallerId:
      s.insid = BoundedText(p.antInstallID, sizeof p.antInstallID);
      return true;
    case kFieldBaseStationId:
      s.baseid = BoundedText(p.antBaseStationID, sizeof p.antBaseStationID);
      return true;
    case kFieldSectorId:
      s.sectorid = BoundedText(p.antSectorID, sizeof p.antSectorID);
      return true;
    case kFieldBearing:
      s.bearing = static_cast<uint16_t>(p.antBearing);
      return true;
    case kFieldMechanicalTilt:
      s.mechtilt = static_cast<int16_t>(p.antMechanicalTilt);
      return true;
    default:
      return false;
  }
}

// The cached fields both objects know, into `data`.
template <class Subunit>
void CopyCommonData(DeviceData& data, const Subunit& s) {
  CopyTextField(data.antmodel, s.antmodel);
  CopyTextField(data.antsn, s.antsn);
  std::memcpy(data.antband, s.antband, sizeof data.antband);
  std::memcpy(data.antbeam, s.antbeam, sizeof data.antbeam);
  std::memcpy(data.antgain, s.antgain, sizeof data.antgain);
  CopyTextField(data.insdate, s.insdate);
  CopyTextField(data.insid, s.insid);
  CopyTextField(data.baseid, s.baseid);
  CopyTextField(data.sectorid, s.sectorid);
  data.bearing = s.bearing;
  data.mechtilt = s.mechtilt;
}

inline int HasAlarmCode(const HString& alarm, unsigned char code) {
  for (unsigned i = 0; i < alarm.GetLength(); ++i) {
    if (static_cast<unsigned char>(alarm[static_cast<int>(i)]) == code) return 1;
  }
  return 0;
}

// The object's own codes go to the front, the device's to the back; a code
// is listed once.
template <class Subunit>
void AddAlarmCode(Subunit& s, unsigned char code) {
  if (HasAlarmCode(s.alarm, code) == 0) {
    const HString c(static_cast<char>(code));
    s.alarm = IsPseudoAlarm(code) ? c + s.alarm : s.alarm + c;
  }
  s.status = 1;
}

template <class Subunit>
void RemoveAlarmCode(Subunit& s, unsigned char code) {
  const int length = static_cast<int>(s.alarm.GetLength());
  for (int i = 0; i < length; ++i) {
    if (static_cast<unsigned char>(s.alarm[i]) == code) {
      s.alarm = s.alarm(0, i) + s.alarm(i + 1, length - i - 1);
      break;
    }
  }
  if (!s.alarm) s.status = 0;
}

// Counts how many updates in a row saw the same first code (0: none).
template <class Subunit>
void UpdateAlarmCounts(Subunit* subunits, int count) {
  for (int i = 0; i < count; ++i) {
    Subunit& s = subunits[i];
    if (s.status == 1 && !!s.alarm) {
      const uint8_t first = static_cast<unsigned char>(s.alarm[0]);
      s.repeatcount = first == s.lastalarm ? s.repeatcount + 1 : 1;
      s.lastalarm = first;
    } else {
      s.repeatcount = s.lastalarm != 0 ? 1 : s.repeatcount + 1;
      s.lastalarm = 0;
    }
  }
}

// A successful alarm read on request: an answer without codes clears the
// list, one with codes replaces it.
template <class Subunit>
void TakeAlarmAnswer(Subunit& s, const AISGDeviceParams& p) {
  if (NoAlarmAnswer(p)) {
    s.alarm = HString("");
    s.status = 0;
  } else {
    HString codes = AlarmText(p);
    if (!!codes) {
      s.alarm = codes;
      s.status = 1;
    }
  }
}

// A successful alarm read during a refresh: an answer without codes keeps
// only a leading marker code, one with codes replaces the list.
template <class Subunit>
void TakeRefreshAlarmAnswer(Subunit& s, const AISGDeviceParams& p, int address) {
  if (NoAlarmAnswer(p)) {
    if (s.status == 1) {
      if (!s.alarm) {
        s.status = 0;
        std::printf("ERROR: No alarm cause!\n");
      } else if (IsMarkerCode(static_cast<unsigned char>(s.alarm[0]))) {
        s.alarm = s.alarm(0, 1);
      } else {
        s.alarm = HString("");
        s.status = 0;
      }
    }
  } else {
    HString codes = AlarmText(p);
    if (!!codes) {
      s.alarm = codes;
      s.status = 1;
      std::printf("Device with address %d has alarm:[%02x]\n", address,
                  static_cast<unsigned char>(codes[0]));
    }
  }
}

// One subunit: its status and list. Several (or none): 1 when one has
// alarms, and an empty list.
template <class Subunit>
int AnyAlarmStatus(Subunit* subunits, int count, unsigned char* buffer) {
  if (count == 1) {
    CopyAlarms(subunits[0].alarm, buffer);
    return subunits[0].status;
  }
  if (buffer != nullptr) buffer[0] = 0;
  for (int i = 0; i < count; ++i) {
    if (subunits[i].status == 1) return 1;
  }
  return 0;
}

// The first code (0 for none); the list goes into `buffer`.
template <class Subunit>
unsigned int CurrentAlarm(Subunit& s, unsigned char* buffer) {
  CopyAlarms(s.alarm, buffer);
  return s.status == 1 ? static_cast<unsigned char>(s.alarm[0]) : 0;
}

template <class Subunit>
unsigned int CurrentAlarmCount(const Subunit& s, unsigned char& code, unsigned int& count) {
  code = s.lastalarm;
  count = static_cast<unsigned int>(s.repeatcount);
  return code;
}

// The communication state after a refresh that counted `errors` failed
// exchanges: at most one is fine, more than `limit` means the device does
// not answer (a new device stays new), anything between answers badly.
// `add` and `remove` change a code on every subunit.
template <class Subunit, class Add, class Remove>
int RefreshedState(int state, int errors, int limit, Subunit* subunits, int count, Add add,
                   Remove remove) {
  if (errors <= 1) {
    if (state == AISGDevice::kStateNew) remove(kAlarmNew);
    if (state == AISGDevice::kStateBadResponding) remove(kAlarmBadResponding);
    if (state == AISGDevice::kStateNotResponding) remove(kAlarmNotResponding);
    return AISGDevice::kStateOk;
  }
  if (errors > limit) {
    std::printf("------------NO RESPONDING----------------\n");
    if (state != AISGDevice::kStateNew) {
      for (int i = 0; i < count; ++i) subunits[i].alarm = HString("");
      add(kAlarmNotResponding);
      return AISGDevice::kStateNotResponding;
    }
    return state;
  }
  std::printf("---------BAD RESPONDING---------,error no:%d\n", errors);
  if (state == AISGDevice::kStateNew) remove(kAlarmNew);
  if (state == AISGDevice::kStateNotResponding) remove(kAlarmNotResponding);
  add(kAlarmBadResponding);
  return AISGDevice::kStateBadResponding;
}

}  // namespace ald::subunit
