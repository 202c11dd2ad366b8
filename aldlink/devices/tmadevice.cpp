// TMA device object: mode and gain with their read-back, supported
// functions and non-linear gains, alarms and device data per subunit, and
// the refresh that keeps the cached values and the communication state in
// step with the device.
#include "aldlink/devices/tmadevice.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "aldlink/devices/subunit_common.h"
#include "support/clock.h"
#include "support/sleep.h"

namespace {

using ald::subunit::CopyAlarms;
using ald::subunit::IsTextField;
using ald::subunit::NoProcedureFor;
using ald::subunit::PutText;

static_assert(TMADevice::kAlarmNew == ald::subunit::kAlarmNew &&
              TMADevice::kAlarmBadResponding == ald::subunit::kAlarmBadResponding &&
              TMADevice::kAlarmNotResponding == ald::subunit::kAlarmNotResponding);

// Procedure results (see aisgdeviceep.h).
constexpr int kOk = 0;
constexpr int kFail = 11;
constexpr int kBadAnswer = 82;
constexpr int kInvalid = 84;
constexpr int kNoAnswer = 89;
// The identity read lost the device with its address.
constexpr int kAddressLost = 83;

// Device results of this object.
constexpr int kNotSupported = 25;
constexpr int kReadBackDiffers = 30;
constexpr int kBadSubunit = 36;

constexpr int kTma = 2;
constexpr int kTmaAisg2 = 16;

// Mode and gain are read back at most twice, 2 s after the set and apart.
constexpr int kReadBacks = 2;
constexpr int kReadBackPauseSeconds = 2;

// Device data identifiers.
constexpr char kModel = 0x01;
constexpr char kSerial = 0x02;
constexpr char kBand = 0x03;
constexpr char kBeamwidth = 0x04;
constexpr char kGain = 0x05;
constexpr char kBandExt08 = 0x08;
constexpr char kBandExt09 = 0x09;
constexpr char kTmaType = 0x13;
constexpr char kRxBand = 0x14;
constexpr char kTxBand = 0x15;
constexpr char kMaxGain = 0x16;
constexpr char kMinGain = 0x17;
constexpr char kGainResolution = 0x18;
constexpr char kInstallDate = 0x21;
constexpr char kInstallerId = 0x22;
constexpr char kBaseStationId = 0x23;
constexpr char kSectorId = 0x24;
constexpr char kBearing = 0x25;
constexpr char kMechanicalTilt = 0x26;

// The device data set of a TMA subunit, in reading order. AISG 1.x devices
// are asked for five, five, five and two fields at a time; AISG 2.0 devices
// for one at a time and not for the gain range, which their supported
// functions give.
constexpr char kDataSet[] = {
    kModel,       kSerial,        kBand,     kBeamwidth, kGain,           kTmaType,
    kRxBand,      kTxBand,        kMaxGain,  kMinGain,   kGainResolution, kInstallDate,
    kInstallerId, kBaseStationId, kSectorId, kBearing,   kMechanicalTilt};
constexpr int kDataSetSize = sizeof kDataSet;
constexpr int kAisg1Groups[] = {5, 5, 5, 2};
static_assert(kDataSetSize == 17);

// Bits of the band's high byte that announce the extension band fields.
constexpr unsigned char kHasExt08 = 0x40;
constexpr unsigned char kHasExt09 = 0x80;

// Most identifiers a write takes from one list.
constexpr int kMaxWriteFields = 30;

bool IsAisg2GainRange(char id) {
  return id == kMaxGain || id == kMinGain || id == kGainResolution;
}

// Whole numbers are formatted as into a 6-character buffer (at most five
// characters survive), then cut to the field like texts.
template <size_t N>
void PutNumber(char (&field)[N], int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%d", value);
  buffer[5] = 0;
  PutText(field, buffer);
}

template <size_t N>
void PutHex(char (&field)[N], const unsigned char* bytes, int count) {
  static const char kDigits[] = "0123456789abcdef";
  char hex[2 * 80 + 1];
  count = std::clamp(count, 0, 80);
  for (int i = 0; i < count; ++i) {
    hex[2 * i] = kDigits[bytes[i] >> 4];
    hex[2 * i + 1] = kDigits[bytes[i] & 0x0F];
  }
  hex[2 * count] = 0;
  PutText(field, hex);
}

}  // namespace

// --- Construction -------------------------------------------------------------

TMADevice::TMADevice() = default;

TMADevice::TMADevice(int devtype, int aisgver, int address, const char* uid, int uidsize)
    : AISGDevice(devtype, aisgver, address, uid, uidsize) {
  MakeSubunits(1);
  if (aisgver == 1) subunits[0].function = 1;
  if (aisgver == 2) {
    TMAEP ep;
    AISGDeviceParams p{};
    if (OpenConnection(ep, p, 0, 1) == 0) {
      // A count of 0 would leave no subunit to speak of; the one made
      // above stays then.
      if (ep.TMAGetNumOfSubunits(this->address, &p) == kOk && p.devTotalSubUnits >= 1) {
        MakeSubunits(p.devTotalSubUnits);
      }
      CloseConnection(ep);
    }
  }
  if (devtype != kTma && devtype != kTmaAisg2) {
    this->devtype = 0;
    std::printf("Unknown device type for creating TMA device: 0x%02x", devtype);
  }
}

TMADevice::~TMADevice() = default;

void TMADevice::MakeSubunits(int count) {
  count = std::clamp(count, 1, kMaxSubunits);
  subunits = std::make_unique<TMASubunit[]>(static_cast<size_t>(count));
  subunitcount = count;
  for (int i = 0; i < count; ++i) subunits[i].antnumber = static_cast<int16_t>(i + 1);
  AddAlarm(kAlarmNew, 0);
}

const TMASubunit* TMADevice::GetSubunit(int subunit) const {
  return ValidSubunit(subunit) ? &subunits[subunit - 1] : nullptr;
}

int TMADevice::MapResult(int r, const AISGDeviceParams& p) {
  DevResult result = 0;
  AISGReturnCodeMap(r, reinterpret_cast<const char*>(p.devRcuCodes), result, errorcodes);
  return result;
}

// --- Mode and gain ---------------------------------------------------------------

int TMADevice::ReadMode(int subunit, TMAEP& ep, AISGDeviceParams& p) {
  const int r = ep.TMAGetMode(address, aisgver, subunit, &p);
  Sub(subunit).mode = r == kOk ? p.tmaCurrentMode : kNoValue;
  return r;
}

int TMADevice::ReadGain(int subunit, TMAEP& ep, AISGDeviceParams& p) {
  const int r = ep.TMAGetGain(address, aisgver, subunit, &p);
  Sub(subunit).curgain = r == kOk ? p.tmaCurrentGain : kNoValue;
  return r;
}

int TMADevice::SetMode(int subunit, const TMAMode& mode) {
  std::printf("TMADevice::SetMode(%d,%d)\n", subunit, static_cast<int>(mode));
  if (!ValidSubunit(subunit)) return kBadSubunit;
  TMAEP ep;
  AISGDeviceParams p{};
  if (OpenConnection(ep, p, 0, 1) != 0) return kNoAnswer;
  const int r = ep.TMASetMode(address, aisgver, subunit, mode, &p);

  // The readings use their own record so that a failed set keeps the
  // device's reason codes for the result.
  AISGDeviceParams check{};
  TMASubunit& s = Sub(subunit);
  for (int i = 0; i < kReadBacks; ++i) {
    ald::sleep(kReadBackPauseSeconds);
    ep.SetRR(address);
    if (ReadMode(subunit, ep, check) == kOk && s.mode == static_cast<int>(mode)) break;
  }
  for (int i = 0; i < kReadBacks; ++i) {
    if (ReadGain(subunit, ep, check) == kOk) break;
  }
  CloseConnection(ep);

  int result;
  if (r != kOk) {
    result = MapResult(r, p);
  } else {
    MapResult(kOk, p);
    result = s.mode != static_cast<int>(mode) ? kFail : 0;
  }
  unsigned char alarms[256];
  GetAlarmStatus(subunit, alarms, 1);
  return result;
}

int TMADevice::SetGain(int subunit, int gain) {
  std::printf("TMADevice::SetGain(%d,%d)\n", subunit, gain);
  if (!ValidSubunit(subunit)) return kBadSubunit;
  TMAEP ep;
  AISGDeviceParams p{};
  if (OpenConnection(ep, p, 0, 1) != 0) return kNoAnswer;
  const int r = ep.TMASetGain(address, aisgver, subunit, gain, &p);

  AISGDeviceParams check{};
  TMASubunit& s = Sub(subunit);
  for (int i = 0; i < kReadBacks; ++i) {
    ald::sleep(kReadBackPauseSeconds);
    ep.SetRR(address);
    if (ReadGain(subunit, ep, check) == kOk && s.curgain == gain) break;
  }
  CloseConnection(ep);

  int result;
  if (r != kOk) {
    result = MapResult(r, p);
  } else {
    MapResult(kOk, p);
    result = s.curgain != gain ? kFail : 0;
  }
  SaveDevices(0);
  return result;
}

int TMADevice::GetMode(int subunit, TMAMode& mode, int refresh) {
  std::printf("TMADevice::GetMode(%d)\n", subunit);
  if (!ValidSubunit(subunit)) return kBadSubunit;
  TMASubunit& s = Sub(subunit);
  if (refresh == 0 && state == kStateOk && s.mode != kNoValue) {
    mode = static_cast<TMAMode>(s.mode);
    return 0;
  }
  int result;
  TMAEP ep;
  AISGDeviceParams p{};
  if (OpenConnection(ep, p, 0, 1) != 0) {
    result = kNoAnswer;
    s.mode = kNoValue;
  } else {
    const int r = ReadMode(subunit, ep, p);
    CloseConnection(ep);
    result = MapResult(r, p);
  }
  SaveDevices(0);
  if (s.mode != kNoValue) mode = static_cast<TMAMode>(s.mode);
  return result;
}

int TMADevice::GetGain(int subunit, int& gain, int refresh) {
  std::printf("TMADevice::GetGain(%d)\n", subunit);
  if (!ValidSubunit(subunit)) return kBadSubunit;
  TMASubunit& s = Sub(subunit);
  if (refresh == 0 && state == kStateOk && s.curgain != kNoValue) {
    gain = s.curgain;
    return 0;
  }
  int result;
  TMAEP ep;
  AISGDeviceParams p{};
  if (OpenConnection(ep, p, 0, 1) != 0) {
    result = kNoAnswer;
    s.curgain = kNoValue;
  } else {
    const int r = ReadGain(subunit, ep, p);
    CloseConnection(ep);
    result = MapResult(r, p);
  }
  SaveDevices(0);
  if (s.curgain != kNoValue) gain = s.curgain;
  return result;
}

// --- Supported functions and non-linear gains --------------------------------------

int TMADevice::ReadFunctions(int subunit, TMAEP& ep, AISGDeviceParams& p) {
  const int r = ep.TMAGetSupportedFunctions(address, subunit, &p);
  if (r == kOk) {
    TMASubunit& s = Sub(subunit);
    s.function = static_cast<uint16_t>(p.tmaFunctionFlag & 0x01);
    s.maxgain = static_cast<uint16_t>(p.tmaMaxGain);
    s.mingain = static_cast<uint16_t>(p.tmaMinGain);
    s.resolution = static_cast<uint16_t>(p.tmaGainResolution);
    // The supported functions stand in for the gain fields.
    for (char id : {kMaxGain, kMinGain, kGainResolution}) ald::subunit::MarkFieldRead(s, id);
  }
  return r;
}

int TMADevice::ReadNonLinearGains(int subunit, TMAEP& ep, AISGDeviceParams& p) {
  const int r = ep.TMAGetSupportedNonLinearGainValues(address, subunit, &p);
  if (r == kOk) {
    TMASubunit& s = Sub(subunit);
    const int count = std::clamp(p.tmaNumofNonLinearGains, 0, TMASubunit::kMaxNonLinearGains);
    std::memset(s.nlgain, 0, sizeof s.nlgain);
    s.nlgain[0] = static_cast<unsigned char>(count);
    std::memcpy(s.nlgain + 1, p.tmaNonLinearGains, static_cast<size_t>(count));
  }
  return r;
}

template <typename Read>
int TMADevice::ReadWhenStale(int refresh, Read read) {
  if (refresh == 0 && state == kStateOk) return 0;
  int result = kNoAnswer;
  TMAEP ep;
  AISGDeviceParams p{};
  if (OpenConnection(ep, p, 0, 1) == 0) {
    const int r = read(ep, p);
    CloseConnection(ep);
    result = MapResult(r, p);
  }
  SaveDevices(0);
  return result;
}

int TMADevice::GetSupportedFunctions(int subunit, SupportedFunction& functions, int refresh) {
  std::printf("TMADevice::GetSupportedFunctions(%d)\n", subunit);
  if (aisgver == 1) return kNotSupported;
  if (!ValidSubunit(subunit)) return kBadSubunit;
  const int result = ReadWhenStale(
      refresh, [&](TMAEP& ep, AISGDeviceParams& p) { return ReadFunctions(subunit, ep, p); });
  const TMASubunit& s = Sub(subunit);
  functions.flags = static_cast<uint8_t>(s.function);
  functions.maxgain = s.maxgain;
  functions.mingain = s.mingain;
  functions.resolution = s.resolution;
  return result;
}

int TMADevice::GetNonLinearGains(int subunit, char* gains, int& count, int refresh) {
  std::printf("TMADevice::GetNonLinearGains(%d)\n", subunit);
  if (aisgver == 1) return kNotSupported;
  if (!ValidSubunit(subunit)) return kBadSubunit;
  const int result = ReadWhenStale(
      refresh, [&](TMAEP& ep, AISGDeviceParams& p) { return ReadNonLinearGains(subunit, ep, p); });
  const TMASubunit& s = Sub(subunit);
  const int n = std::min<int>(s.nlgain[0], TMASubunit::kMaxNonLinearGains);
  if (gains != nullptr) {
    std::memcpy(gains, s.nlgain + 1, static_cast<size_t>(n));
    gains[n] = 0;
  }
  count = n;
  return result;
}

// --- Alarms ---------------------------------------------------------------------

int TMADevice::ReadAlarms(int subunit, TMAEP& ep, AISGDeviceParams& p) {
  if (aisgver == 1) return ep.GetAlarmStatus(address, 1, &p);
  return ep.TMAGetAlarmStatus(address, Sub(subunit).antnumber, &p);
}

int TMADevice::ClearAlarms(int subunit, TMAEP& ep, AISGDeviceParams& p) {
  if (aisgver == 1) return ep.ClearActiveAlarms(address, 1, &p);
  return ep.TMAClearAlarms(address, Sub(subunit).antnumber, &p);
}

void TMADevice::MarkNotResponding() {
  for (int i = 0; i < subunitcount; ++i) {
    subunits[i].alarm = ald::HString("");
    subunits[i].mode = kNoValue;
    subunits[i].curgain = kNoValue;
  }
  AddAlarm(kAlarmNotResponding, 0);
  state = kStateNotResponding;
}

int TMADevice::GetAlarmStatus(int subunit, unsigned char* buffer, int refresh) {
  std::printf("TMADevice::GetAlarmStatus(%d)\n", subunit);
  if (!ValidSubunit(subunit)) return kBadSubunit;
  TMASubunit& s = Sub(subunit);
  if (refresh != 0 || state != kStateOk) {
    TMAEP ep;
    AISGDeviceParams p{};
    if (OpenConnection(ep, p, 1, 1) != 0) {
      int result = kAlarmNew;
      if (state != kStateNew) {
        MarkNotResponding();
        result = kAlarmNotResponding;
      }
      CopyAlarms(s.alarm, buffer);
      SaveDevices(0);
      return result;
    }
    const int r = ReadAlarms(subunit, ep, p);
    CloseConnection(ep);
    if (r != kOk) {
      MapResult(r, p);
    } else {
      ald::subunit::TakeAlarmAnswer(s, p);
      if (state == kStateNew) AddAlarm(kAlarmNew, 0);
      if (state == kStateBadResponding) AddAlarm(kAlarmBadResponding, 0);
    }
    SaveDevices(0);
  }
  return static_cast<int>(ald::subunit::CurrentAlarm(s, buffer));
}

int TMADevice::GetAlarmStatus(unsigned char* buffer) {
  std::printf("TMADevice::GetAlarmStatus()\n");
  return ald::subunit::AnyAlarmStatus(subunits.get(), subunitcount, buffer);
}

int TMADevice::ClearActiveAlarms(int subunit) {
  std::printf("TMADevice::ClearActiveAlarms(%d)\n", subunit);
  if (!ValidSubunit(subunit)) return kBadSubunit;
  TMAEP ep;
  AISGDeviceParams p{};
  if (OpenConnection(ep, p, 0, 1) != 0) return kNoAnswer;
  const int r = ClearAlarms(subunit, ep, p);
  CloseConnection(ep);
  const int result = MapResult(r, p);
  unsigned char alarms[256];
  GetAlarmStatus(subunit, alarms, 1);
  return result;
}

int TMADevice::ClearActiveAlarms() {
  std::printf("TMADevice::ClearActiveAlarms()\n");
  return AISGDevice::ClearActiveAlarms();
}

unsigned int TMADevice::GetCurrentAlarm(int subunit, unsigned char* buffer) {
  if (!ValidSubunit(subunit)) return kBadSubunit;
  return ald::subunit::CurrentAlarm(Sub(subunit), buffer);
}

unsigned int TMADevice::GetCurrentAlarmCount(int subunit, unsigned char& code,
                                             unsigned int& count) {
  if (!ValidSubunit(subunit)) return kBadSubunit;
  return ald::subunit::CurrentAlarmCount(Sub(subunit), code, count);
}

void TMADevice::AddAlarm(unsigned char code, int subunit) {
  std::printf("TMADevice::AddAlarm(ac:%d,sub:%d)\n", code, subunit);
  if (subunit == 0) {
    for (int i = 1; i <= subunitcount; ++i) AddAlarm(code, i);
    return;
  }
  if (!ValidSubunit(subunit)) return;
  ald::subunit::AddAlarmCode(Sub(subunit), code);
}

void TMADevice::RemoveAlarm(unsigned char code, int subunit) {
  std::printf("TMADevice::RemoveAlarm(ac:%d,sub:%d)\n", code, subunit);
  if (subunit == 0) {
    for (int i = 1; i <= subunitcount; ++i) RemoveAlarm(code, i);
    return;
  }
  if (!ValidSubunit(subunit)) return;
  ald::subunit::RemoveAlarmCode(Sub(subunit), code);
}

int TMADevice::HasAlarm(unsigned char code, int subunit) {
  if (subunit == 0) {
    for (int i = 1; i <= subunitcount; ++i) {
      if (HasAlarm(code, i) != 0) return 1;
    }
    return 0;
  }
  if (!ValidSubunit(subunit)) return 0;
  return ald::subunit::HasAlarmCode(Sub(subunit).alarm, code);
}

void TMADevice::UpdateAlarmCount() {
  ald::subunit::UpdateAlarmCounts(subunits.get(), subunitcount);
}

// --- Device data ------------------------------------------------------------------

int TMADevice::GetDeviceData(int subunit, char* fields, int count, TMAEP& ep, AISGDeviceParams& p) {
  std::printf("TMADevice::GetDeviceData(ep)\n");
  if (devtype != kTma && devtype != kTmaAisg2) return NoProcedureFor(p);
  if (!ValidSubunit(subunit) || fields == nullptr || count < 1) return kInvalid;
  int r = kNoAnswer;
  for (int attempt = 0; attempt < 2; ++attempt) {
    r = aisgver == 1 ? ep.GetDeviceData(address, 1, fields, count, &p)
                     : ep.TMAGetDeviceData(address, subunit, fields, count, &p);
    if (r == kOk) break;
  }
  if (r != kOk) return r;

  TMASubunit& s = Sub(subunit);
  for (int i = 0; i < count; ++i) {
    ald::subunit::MarkFieldRead(s, fields[i]);
    if (ald::subunit::TakeCommonField(s, fields[i], p, aisgver)) continue;
    switch (fields[i]) {
      case kTmaType:
        s.tmatype = static_cast<uint16_t>(p.tmaType);
        break;
      case kRxBand:
        std::memcpy(s.rxband, p.tmaRecFreqBand, sizeof s.rxband);
        break;
      case kTxBand:
        std::memcpy(s.txband, p.tmaTransFreqBand, sizeof s.txband);
        break;
      case kMaxGain:
        s.maxgain = static_cast<uint16_t>(p.tmaMaxGain);
        break;
      case kMinGain:
        s.mingain = static_cast<uint16_t>(p.tmaMinGain);
        break;
      case kGainResolution:
        s.resolution = static_cast<uint16_t>(p.tmaGainResolution);
        break;
      default:
        std::printf("Unknown parameter for GetDeviceData: 0x%x\n",
                    static_cast<unsigned char>(fields[i]));
        break;
    }
  }
  return kOk;
}

int TMADevice::ReadDataSet(int subunit, TMAEP& ep, AISGDeviceParams& p, int* lost) {
  int last = kOk;
  bool first = true;
  auto request = [&](const char* ids, int count) {
    char list[kDataSetSize];
    std::memcpy(list, ids, static_cast<size_t>(count));
    const int r = GetDeviceData(subunit, list, count, ep, p);
    if (r != kOk) {
      if (ids[0] == kBandExt08) {
        std::printf("GetDeviceData 0x08 failed, return code: %02x\n", r);
      } else if (ids[0] != kBandExt09) {
        std::printf("GetDeviceData failed, return code: %02x\n", r);
      }
    }
    // The first request of a subunit may meet a device still settling
    // after the link set-up; it does not count against it.
    if (lost != nullptr && !first && (r == kNoAnswer || r == kBadAnswer)) ++*lost;
    first = false;
    last = r;
  };
  if (aisgver == 1) {
    int start = 0;
    for (int count : kAisg1Groups) {
      request(kDataSet + start, count);
      start += count;
    }
  } else {
    for (int i = 0; i < kDataSetSize; ++i) {
      if (!IsAisg2GainRange(kDataSet[i])) request(kDataSet + i, 1);
    }
    const TMASubunit& s = Sub(subunit);
    if ((s.antband[1] & kHasExt08) != 0) request(&kBandExt08, 1);
    if ((s.antband[1] & kHasExt09) != 0) request(&kBandExt09, 1);
  }
  return last;
}

int TMADevice::GetDeviceData(int subunit, DeviceData& data, int refresh) {
  std::printf("TMADevice::GetDeviceData(%d)\n", subunit);
  if (!ValidSubunit(subunit)) return kBadSubunit;
  const int result = ReadWhenStale(refresh, [&](TMAEP& ep, AISGDeviceParams& p) {
    return ReadDataSet(subunit, ep, p, nullptr);
  });
  const TMASubunit& s = Sub(subunit);
  ald::subunit::CopyCommonData(data, s);
  data.tmatype = s.tmatype;
  std::memcpy(data.rxband, s.rxband, sizeof data.rxband);
  std::memcpy(data.txband, s.txband, sizeof data.txband);
  data.maxgain = s.maxgain;
  data.mingain = s.mingain;
  data.resolution = s.resolution;
  return result;
}

int TMADevice::SetDeviceData(int subunit, char* message, int length, TMAEP& ep,
                             AISGDeviceParams& p) {
  std::printf("TMADevice::SetDeviceData(ep)\n");
  if (devtype != kTma && devtype != kTmaAisg2) return NoProcedureFor(p);
  if (!ValidSubunit(subunit) || message == nullptr || length < 1) return kInvalid;
  const char id = message[0];

  int r = kNoAnswer;
  for (int attempt = 0; attempt < 2; ++attempt) {
    r = aisgver == 1 ? ep.SetDeviceData(address, 1, message, length, &p)
                     : ep.TMASetDeviceData(address, subunit, message, length, &p);
    if (r == kOk) break;
  }
  if (r != kOk) return r;

  AISGDeviceParams back{};
  char ids[1] = {id};
  int readBack = kNoAnswer;
  for (int attempt = 0; attempt < 2; ++attempt) {
    readBack = GetDeviceData(subunit, ids, 1, ep, back);
    if (readBack == kOk) break;
  }
  if (readBack != kOk) return readBack;

  // What the device now holds must be what was written.
  const unsigned char* value = reinterpret_cast<const unsigned char*>(message + 1);
  const int valueLength = length - 1;
  auto sameBytes = [&](const void* stored, int count) {
    return valueLength >= count && std::memcmp(value, stored, static_cast<size_t>(count)) == 0;
  };
  const int common = ald::subunit::SameAsWritten(id, value, valueLength, p, back, aisgver);
  bool same = common == 1;
  if (common < 0) {
    // A field of this object alone.
    same = true;
    switch (id) {
      case kRxBand:
        same = sameBytes(back.tmaRecFreqBand, 4);
        break;
      case kTxBand:
        same = sameBytes(back.tmaTransFreqBand, 4);
        break;
      case kTmaType:
        same = p.tmaType == back.tmaType;
        break;
      case kMaxGain:
        same = p.tmaMaxGain == back.tmaMaxGain;
        break;
      case kMinGain:
        same = p.tmaMinGain == back.tmaMinGain;
        break;
      case kGainResolution:
        same = p.tmaGainResolution == back.tmaGainResolution;
        break;
      default:
        std::printf("Unknown parameter for SetDeviceData: 0x%x\n", static_cast<unsigned char>(id));
        break;
    }
  }
  return same ? r : kReadBackDiffers;
}

int TMADevice::SetDeviceData(int subunit, const char* fields, const DeviceData& data) {
  // The list is shown as the text it is; one that is not terminated within
  // the identifiers used is not read beyond them.
  int count = 0;
  while (fields != nullptr && count < kMaxWriteFields && fields[count] != 0) ++count;
  std::printf("TMADevice::SetDeviceData(%d,[%.*s])\n", subunit, count,
              fields != nullptr ? fields : "");
  if (!ValidSubunit(subunit)) return kBadSubunit;
  TMAEP ep;
  AISGDeviceParams p{};
  if (OpenConnection(ep, p, 0, 1) != 0) return kNoAnswer;

  TMASubunit& s = Sub(subunit);
  int running = kNoAnswer;
  // The first refused field decides the result, with the device's reason
  // code of that moment: a later field's success must not hide it.
  int firstFailure = kOk;
  int firstFailureResult = 0;
  for (int f = 0; f < count; ++f) {
    const char id = fields[f];
    char message[40] = {id};
    int length = 0;
    if (IsTextField(id)) {
      length = ald::subunit::PutTextMessage(id, data, aisgver, AlignRight, message, p);
    } else {
      length = ald::subunit::PutCommonMessage(id, data, s.antband[1], aisgver, message, p);
      if (length == 0) {
        switch (id) {
          case kTmaType:
            message[1] = static_cast<char>(data.tmatype & 0xFF);
            p.tmaType = data.tmatype & 0xFF;
            length = 2;
            break;
          case kRxBand:
            std::memcpy(message + 1, data.rxband, 4);
            length = 5;
            break;
          case kTxBand:
            std::memcpy(message + 1, data.txband, 4);
            length = 5;
            break;
          case kMaxGain:
            message[1] = static_cast<char>(data.maxgain & 0xFF);
            p.tmaMaxGain = data.maxgain & 0xFF;
            length = 2;
            break;
          case kMinGain:
            message[1] = static_cast<char>(data.mingain & 0xFF);
            p.tmaMinGain = data.mingain & 0xFF;
            length = 2;
            break;
          case kGainResolution:
            message[1] = static_cast<char>(data.resolution & 0xFF);
            p.tmaGainResolution = data.resolution & 0xFF;
            length = 2;
            break;
          default:
            std::printf("Unknown parameter for SetDeviceData: 0x%x\n",
                        static_cast<unsigned char>(id));
            break;
        }
      }
    }
    if (length > 0) {
      running = SetDeviceData(subunit, message, length, ep, p);
      if (running != kOk && firstFailure == kOk) {
        firstFailure = running;
        // Mapped now, while the record still holds this field's reason codes.
        firstFailureResult = MapResult(running, p);
        // A field that reads back differently is reported as such, not as
        // a missing answer.
        if (running == kReadBackDiffers) firstFailureResult = kReadBackDiffers;
      }
      // On success the read-back has already put the device's value, equal
      // to what was written, into the subunit.
    }
    std::printf("SetDeviceData result: 0x%02x\n", running);
  }

  CloseConnection(ep);
  int result = 0;
  if (firstFailure != kOk) {
    result = firstFailureResult;
    std::printf("SetDeviceData first failure: 0x%02x, result %d\n", firstFailure, result);
  } else {
    result = MapResult(running, p);
  }
  SaveDevices(0);
  return result;
}

// --- Summary and change detection ------------------------------------------------------

int TMADevice::GetSNMPTMAData(int subunit, SNMPTMAData& record) {
  std::printf("TMADevice::GetSNMPTMAData(%d)\n", subunit);
  if (!ValidSubunit(subunit)) return kBadSubunit;
  const TMASubunit& s = Sub(subunit);
  std::memset(&record, 0, sizeof record);
  char text[16];

  PutNumber(record.address, address);
  PutNumber(record.antnumber, s.antnumber);
  std::snprintf(text, sizeof text, "%02x", devtype & 0xFF);
  PutText(record.devtype, text);
  PutNumber(record.aisgver, aisgver);
  if (version3gpp != 0) PutNumber(record.version3gpp, version3gpp);
  PutText(record.uniqueid, vendorid + sn);
  PutText(record.vendorid, vendorid);
  PutText(record.productnumber, productnumber);
  PutText(record.sn, sn);
  PutText(record.hwver, hwver);
  PutText(record.swver, swver);
  PutText(record.antmodel, s.antmodel);
  PutText(record.antsn, s.antsn);
  std::snprintf(text, sizeof text, "%02x%02x", s.antband[1], s.antband[0]);
  PutText(record.antband, text);
  PutHex(record.antbeam, s.antbeam, sizeof s.antbeam);
  PutHex(record.antgain, s.antgain, sizeof s.antgain);
  PutText(record.insdate, s.insdate);
  PutText(record.insid, s.insid);
  PutText(record.baseid, s.baseid);
  PutText(record.sectorid, s.sectorid);
  PutNumber(record.bearing, s.bearing);
  PutNumber(record.mechtilt, s.mechtilt);
  PutNumber(record.tmatype, s.tmatype);
  PutHex(record.rxband, s.rxband, sizeof s.rxband);
  PutHex(record.txband, s.txband, sizeof s.txband);
  PutNumber(record.maxgain, s.maxgain);
  PutNumber(record.mingain, s.mingain);
  PutNumber(record.resolution, s.resolution);
  PutHex(record.nlgain, s.nlgain + 1, std::min<int>(s.nlgain[0], TMASubunit::kMaxNonLinearGains));
  PutNumber(record.status, s.status);
  PutHex(record.alarm, reinterpret_cast<const unsigned char*>(static_cast<const char*>(s.alarm)),
         std::min<int>(static_cast<int>(s.alarm.GetLength()), 5));
  std::snprintf(text, sizeof text, "%02x", s.function & 0xFF);
  PutText(record.function, text);
  if (s.mode != kNoValue) PutNumber(record.mode, s.mode);
  if (s.curgain != kNoValue) PutNumber(record.curgain, s.curgain);
  return state == kStateNew ? kAlarmNew : 0;
}

int TMADevice::CheckDataChange(SNMPTMAData& before, SNMPTMAData& after) {
  auto differs = [](const char* a, const char* b, size_t width) {
    return std::strncmp(a, b, width) != 0;
  };
#define TMA_FIELD_DIFFERS(f) differs(before.f, after.f, sizeof before.f)
  if (TMA_FIELD_DIFFERS(address) || TMA_FIELD_DIFFERS(sn) || TMA_FIELD_DIFFERS(swver) ||
      TMA_FIELD_DIFFERS(antmodel) || TMA_FIELD_DIFFERS(antsn) || TMA_FIELD_DIFFERS(sectorid) ||
      TMA_FIELD_DIFFERS(bearing) || TMA_FIELD_DIFFERS(rxband) || TMA_FIELD_DIFFERS(txband) ||
      TMA_FIELD_DIFFERS(maxgain) || TMA_FIELD_DIFFERS(mingain) || TMA_FIELD_DIFFERS(resolution) ||
      TMA_FIELD_DIFFERS(mode) || TMA_FIELD_DIFFERS(curgain)) {
    return 1;
  }
#undef TMA_FIELD_DIFFERS
  return 0;
}

int TMADevice::IsDataChanged(int subunit) {
  int flag = 0;
  if (ValidSubunit(subunit) && state != kStateNew) flag = Sub(subunit).datachanged;
  std::printf("TMADevice::IsDataChanged(%d): %d\n", subunit, flag);
  return flag;
}

// --- Refresh ------------------------------------------------------------------------

int TMADevice::Refresh() {
  std::printf("TMADevice::Refresh()\n");
  const std::time_t start = ald::GetClock().CalendarTime();
  // Subunits that appear during this refresh compare against an empty
  // summary, so they count as changed.
  SNMPTMAData before[kMaxSubunits] = {};
  for (int i = 0; i < subunitcount; ++i) {
    subunits[i].datachanged = 0;
    GetSNMPTMAData(i + 1, before[i]);
  }

  TMAEP ep;
  AISGDeviceParams p{};
  if (OpenConnection(ep, p, 1, 1) != 0) {
    std::printf("Open connection failed!\n");
    int result = kAlarmNew;
    if (state != kStateNew) {
      MarkNotResponding();
      result = kAlarmNotResponding;
    }
    UpdateAlarmCount();
    SaveDevices(0);
    return result;
  }

  if (aisgver == 2 && subunitcount == 1 && state == kStateNew) {
    if (ep.TMAGetNumOfSubunits(address, &p) == kOk && p.devTotalSubUnits >= 1) {
      MakeSubunits(p.devTotalSubUnits);
    }
  }

  int errors = 0;
  int r = GetInformation(ep, p);
  if (r != kOk && r != kAddressLost) r = GetInformation(ep, p);
  if (r == kAddressLost) {
    // The link is gone with the address; nothing more can be read.
    AddAlarm(kAlarmNotResponding, 0);
    state = kStateNotResponding;
    SaveDevices(0);
    return kAddressLost;
  }
  if (r != kOk) errors = state == kStateNew ? 2 : 1;

  if (aisgver == 2 && ep.Get3gppVersion(address, &p) == kOk) {
    version3gpp = p.dev3gppVersion >= 7 && p.dev3gppVersion <= 12 ? p.dev3gppVersion : 0;
  }

  for (int i = 1; i <= subunitcount; ++i) {
    r = ReadGain(i, ep, p);
    if (r == kNoAnswer || r == kBadAnswer) ++errors;
  }
  for (int i = 1; i <= subunitcount; ++i) {
    r = ReadMode(i, ep, p);
    if (r == kNoAnswer || r == kBadAnswer) ++errors;
  }

  for (int i = 1; i <= subunitcount; ++i) {
    r = ReadAlarms(i, ep, p);
    if (r == kNoAnswer || r == kBadAnswer) ++errors;
    if (r == kOk) ald::subunit::TakeRefreshAlarmAnswer(Sub(i), p, address);
  }

  for (int i = 1; i <= subunitcount; ++i) ReadDataSet(i, ep, p, &errors);

  if (aisgver == 2) {
    for (int i = 1; i <= subunitcount; ++i) {
      ReadFunctions(i, ep, p);
      const TMASubunit& s = Sub(i);
      if (s.maxgain != s.mingain && s.resolution == 0 && s.nlgain[0] == 0) {
        ReadNonLinearGains(i, ep, p);
      }
    }
  }

  CloseConnection(ep);
  errorcodes = ald::HString("");

  for (int i = 0; i < subunitcount; ++i) {
    SNMPTMAData after;
    GetSNMPTMAData(i + 1, after);
    subunits[i].datachanged = static_cast<uint16_t>(CheckDataChange(before[i], after));
    if (subunits[i].datachanged == 1) {
      std::printf("Addr %d unit %d data changed!\n", address, subunits[i].antnumber);
    }
  }

  const int limit = aisgver == 1 ? 5 : 7 * subunitcount + 4;
  state = ald::subunit::RefreshedState(
      state, errors, limit, subunits.get(), subunitcount,
      [this](unsigned char code) { AddAlarm(code, 0); },
      [this](unsigned char code) { RemoveAlarm(code, 0); });

  UpdateAlarmCount();
  std::printf("Time to refresh a device: %.1f secs\n",
              static_cast<double>(ald::GetClock().CalendarTime() - start));
  return 0;
}

// --- Registry listing ----------------------------------------------------------------

void TMADevice::GetTMAAddressInfo(char* out) {
  ald::subunit::ListAddressInfo(
      out, [](AISGDevice* device) { return dynamic_cast<TMADevice*>(device) != nullptr; });
}
