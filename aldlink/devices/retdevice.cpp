// RET device object: tilt, calibration, configuration upload, alarms and
// device data per antenna, and the refresh that keeps the cached values and
// the communication state in step with the device.
#include "aldlink/devices/retdevice.h"

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
using ald::subunit::PutLe16;
using ald::subunit::PutText;

static_assert(RETDevice::kAlarmNew == ald::subunit::kAlarmNew &&
              RETDevice::kAlarmBadResponding == ald::subunit::kAlarmBadResponding &&
              RETDevice::kAlarmNotResponding == ald::subunit::kAlarmNotResponding);

// Procedure results (see aisgdeviceep.h).
constexpr int kOk = 0;
constexpr int kFail = 11;
constexpr int kBadAnswer = 82;
constexpr int kInvalid = 84;
constexpr int kNoAnswer = 89;
// The identity read lost the device with its address.
constexpr int kAddressLost = 83;

// Device results of this object.
constexpr int kBadSubunit = 36;
constexpr int kReadBackDiffers = 30;

constexpr int kSingleRet = 1;
constexpr int kMultiRet = 17;

// Tilt checks after a set: half a degree either way, four readings 5 s apart.
constexpr int kTiltTolerance = 5;
constexpr int kTiltChecks = 4;
constexpr int kTiltCheckPauseSeconds = 5;

// Device data identifiers.
constexpr char kModel = 0x01;
constexpr char kSerial = 0x02;
constexpr char kBand = 0x03;
constexpr char kBeamwidth = 0x04;
constexpr char kGain = 0x05;
constexpr char kMaxTilt = 0x06;
constexpr char kMinTilt = 0x07;
constexpr char kBandExt08 = 0x08;
constexpr char kBandExt09 = 0x09;
constexpr char kInstallDate = 0x21;
constexpr char kInstallerId = 0x22;
constexpr char kBaseStationId = 0x23;
constexpr char kSectorId = 0x24;
constexpr char kBearing = 0x25;
constexpr char kMechanicalTilt = 0x26;

// The device data set of an antenna, in reading order. AISG 1.x devices
// are asked for five, five and three fields at a time.
constexpr char kDataSet[] = {kModel,    kSerial,  kBand,          kBeamwidth,   kGain,
                             kMaxTilt,  kMinTilt, kInstallDate,   kInstallerId, kBaseStationId,
                             kSectorId, kBearing, kMechanicalTilt};
constexpr int kDataSetSize = sizeof kDataSet;
constexpr int kAisg1Groups[] = {5, 5, 3};

// Bits of the band's high byte that announce the extension band fields.
constexpr unsigned char kHasExt08 = 0x40;
constexpr unsigned char kHasExt09 = 0x80;

// Most identifiers a write takes from one list.
constexpr int kMaxWriteFields = 30;

// Whole numbers go through a buffer that holds any int, then are cut to the
// field like texts.
template <size_t N>
void PutNumber(char (&field)[N], int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%d", value);
  PutText(field, buffer);
}

int ElapsedCalendarSeconds(std::time_t start) {
  return static_cast<int>(ald::GetClock().CalendarTime() - start);
}

}  // namespace

// --- Construction -------------------------------------------------------------

RETDevice::RETDevice() = default;

RETDevice::RETDevice(int devtype, int aisgver, int address, const char* uid, int uidsize)
    : AISGDevice(devtype, aisgver, address, uid, uidsize) {
  MakeSubunits(1);
  if (devtype == kSingleRet) return;
  if (devtype == kMultiRet) {
    RETEP ep;
    AISGDeviceParams p{};
    if (OpenConnection(ep, p, 0, 1) == 0) {
      if (ep.AntennaGetNumOfAntennas(this->address, &p) == kOk && p.devTotalSubUnits >= 1) {
        MakeSubunits(p.devTotalSubUnits);
      }
      CloseConnection(ep);
    }
    return;
  }
  this->devtype = 0;
  std::printf("Unknown device type for creating RET device: 0x%02x", devtype);
}

RETDevice::~RETDevice() = default;

void RETDevice::MakeSubunits(int count) {
  if (count > kMaxSubunits) count = kMaxSubunits;
  if (count < 1) count = 1;
  subunits = std::make_unique<RETSubunit[]>(static_cast<size_t>(count));
  subunitcount = count;
  for (int i = 0; i < count; ++i) subunits[i].antnumber = static_cast<int16_t>(i + 1);
  AddAlarm(kAlarmNew, 0);
}

const RETSubunit* RETDevice::GetSubunit(int subunit) const {
  return ValidSubunit(subunit) ? &subunits[subunit - 1] : nullptr;
}

int RETDevice::MapResult(int r, const AISGDeviceParams& p) {
  DevResult result = 0;
  AISGReturnCodeMap(r, reinterpret_cast<const char*>(p.devRcuCodes), result, errorcodes);
  return result;
}

// --- Tilt ---------------------------------------------------------------------

int RETDevice::GetTilt(int subunit, RETEP& ep, AISGDeviceParams& p) {
  p.retCurrentTilt = kNoTilt;
  int r = kNoAnswer;
  if (devtype == kSingleRet) {
    r = ep.GetTilt(address, aisgver, &p);
  } else if (devtype == kMultiRet) {
    r = ep.AntennaGetTilt(address, subunit, &p);
  }
  Sub(subunit).curtilt = r == kOk ? p.retCurrentTilt : kNoTilt;
  return r;
}

int RETDevice::SetTilt(int subunit, int tilt) {
  std::printf("RETDevice::SetTilt(%d,%d)\n", subunit, tilt);
  if (!ValidSubunit(subunit)) return kBadSubunit;
  RETEP ep;
  AISGDeviceParams p{};
  if (OpenConnection(ep, p, 0, 1) != 0) return kNoAnswer;

  int r = kNoAnswer;
  if (devtype == kSingleRet) {
    r = ep.SetTilt(address, aisgver, tilt, &p);
  } else if (devtype == kMultiRet) {
    r = ep.AntennaSetTilt(address, subunit, tilt, &p);
  }

  // The readings use their own record so that a failed set keeps the
  // device's reason codes for the result.
  AISGDeviceParams check{};
  RETSubunit& s = Sub(subunit);
  for (int i = 1; i <= kTiltChecks; ++i) {
    if (GetTilt(subunit, ep, check) == kOk && s.curtilt >= tilt - kTiltTolerance &&
        s.curtilt <= tilt + kTiltTolerance) {
      r = kOk;
      break;
    }
    std::printf("Tilt value not valid:%d\n", s.curtilt);
    if (r == kOk) r = kFail;
    if (i < kTiltChecks) ald::sleep(kTiltCheckPauseSeconds);
  }
  CloseConnection(ep);
  const int result = MapResult(r, p);

  if (r != kOk || s.status == 1) GetAlarmStatus(subunit, nullptr, 1);
  SaveDevices(0);
  return result;
}

int RETDevice::GetTilt(int subunit, int& tilt, int refresh) {
  std::printf("RETDevice::GetTilt(%d,%d)\n", subunit, tilt);
  if (!ValidSubunit(subunit)) return kBadSubunit;
  RETSubunit& s = Sub(subunit);
  if (refresh == 0 && state == kStateOk && s.curtilt != kNoTilt) {
    tilt = s.curtilt;
    return 0;
  }
  int result;
  RETEP ep;
  AISGDeviceParams p{};
  if (OpenConnection(ep, p, 0, 1) != 0) {
    result = kNoAnswer;
    s.curtilt = kNoTilt;
  } else {
    const int r = GetTilt(subunit, ep, p);
    CloseConnection(ep);
    result = MapResult(r, p);
  }
  SaveDevices(0);
  if (s.curtilt != kNoTilt) tilt = s.curtilt;
  return result;
}

// --- Calibration and configuration ----------------------------------------------

int RETDevice::Calibrate(int subunit) {
  std::printf("RETDevice::Calibrate(%d)\n", subunit);
  if (!ValidSubunit(subunit)) return kBadSubunit;
  RETEP ep;
  AISGDeviceParams p{};
  if (OpenConnection(ep, p, 0, 1) != 0) return kNoAnswer;
  int r = kNoAnswer;
  if (devtype == kSingleRet) {
    r = ep.Calibrate(address, aisgver, &p);
  } else if (devtype == kMultiRet) {
    r = ep.AntennaCalibrate(address, subunit, &p);
  }
  CloseConnection(ep);
  const int result = MapResult(r, p);
  Refresh();
  return result;
}

int RETDevice::Configure(int subunit, char* configuration) {
  std::printf("RETDevice::Configure(%d,%s)\n", subunit,
              configuration != nullptr ? configuration : "");
  if (!ValidSubunit(subunit)) return kBadSubunit;
  // A file that cannot be used is refused before the bus: otherwise it would
  // be sent in part, or reported as a device that did not answer.
  if (!RETEP::CheckConfigurationFile(configuration)) {
    errorcodes = ald::HString("");
    return kDevResultFileError;
  }
  RETEP ep;
  AISGDeviceParams p{};
  if (OpenConnection(ep, p, 0, 1) != 0) return kNoAnswer;
  int r = kNoAnswer;
  if (devtype == kSingleRet) {
    r = ep.SendConfigurationData(address, aisgver, configuration, &p);
  } else if (devtype == kMultiRet) {
    r = ep.AntennaSendConfigurationData(address, subunit, configuration, &p);
  }
  CloseConnection(ep);
  const int result = MapResult(r, p);
  Refresh();
  return result;
}

// --- Alarms ---------------------------------------------------------------------

int RETDevice::ReadAlarms(int subunit, RETEP& ep, AISGDeviceParams& p) {
  if (devtype == kSingleRet) return ep.GetAlarmStatus(address, aisgver, &p);
  if (devtype == kMultiRet) return ep.AntennaGetAlarmStatus(address, Sub(subunit).antnumber, &p);
  return kNoAnswer;
}

void RETDevice::MarkNotResponding() {
  for (int i = 0; i < subunitcount; ++i) {
    subunits[i].alarm = ald::HString("");
    subunits[i].curtilt = kNoTilt;
  }
  AddAlarm(kAlarmNotResponding, 0);
  state = kStateNotResponding;
}

int RETDevice::GetAlarmStatus(int subunit, unsigned char* buffer, int refresh) {
  std::printf("RETDevice::GetAlarmStatus(%d)\n", subunit);
  if (!ValidSubunit(subunit)) return kBadSubunit;
  RETSubunit& s = Sub(subunit);
  if (refresh != 0 || state != kStateOk) {
    RETEP ep;
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

int RETDevice::GetAlarmStatus(unsigned char* buffer) {
  std::printf("RETDevice::GetAlarmStatus()\n");
  return ald::subunit::AnyAlarmStatus(subunits.get(), subunitcount, buffer);
}

int RETDevice::ClearActiveAlarms(int subunit) {
  std::printf("RETDevice::ClearActiveAlarms(%d)\n", subunit);
  if (!ValidSubunit(subunit)) return kBadSubunit;
  RETEP ep;
  AISGDeviceParams p{};
  if (OpenConnection(ep, p, 0, 1) != 0) return kNoAnswer;
  int r = kNoAnswer;
  if (devtype == kSingleRet) {
    r = ep.ClearActiveAlarms(address, aisgver, &p);
  } else if (devtype == kMultiRet) {
    r = ep.AntennaClearAlarms(address, Sub(subunit).antnumber, &p);
  }
  CloseConnection(ep);
  const int result = MapResult(r, p);
  GetAlarmStatus(subunit, nullptr, 1);
  return result;
}

int RETDevice::ClearActiveAlarms() {
  std::printf("RETDevice::ClearActiveAlarms()\n");
  return AISGDevice::ClearActiveAlarms();
}

unsigned int RETDevice::GetCurrentAlarm(int subunit, unsigned char* buffer) {
  if (!ValidSubunit(subunit)) return kBadSubunit;
  return ald::subunit::CurrentAlarm(Sub(subunit), buffer);
}

unsigned int RETDevice::GetCurrentAlarmCount(int subunit, unsigned char& code,
                                             unsigned int& count) {
  if (!ValidSubunit(subunit)) return kBadSubunit;
  return ald::subunit::CurrentAlarmCount(Sub(subunit), code, count);
}

void RETDevice::AddAlarm(unsigned char code, int subunit) {
  std::printf("RETDevice::AddAlarm(ac:%02x,sub:%d)\n", code, subunit);
  if (subunit == 0) {
    for (int i = 1; i <= subunitcount; ++i) AddAlarm(code, i);
    return;
  }
  if (!ValidSubunit(subunit)) return;
  ald::subunit::AddAlarmCode(Sub(subunit), code);
}

void RETDevice::RemoveAlarm(unsigned char code, int subunit) {
  std::printf("RETDevice::RemoveAlarm(ac:%02x,sub:%d)\n", code, subunit);
  if (subunit == 0) {
    for (int i = 1; i <= subunitcount; ++i) RemoveAlarm(code, i);
    return;
  }
  if (!ValidSubunit(subunit)) return;
  ald::subunit::RemoveAlarmCode(Sub(subunit), code);
}

int RETDevice::HasAlarm(unsigned char code, int subunit) {
  if (subunit == 0) {
    for (int i = 1; i <= subunitcount; ++i) {
      if (HasAlarm(code, i) != 0) return 1;
    }
    return 0;
  }
  if (!ValidSubunit(subunit)) return 0;
  return ald::subunit::HasAlarmCode(Sub(subunit).alarm, code);
}

void RETDevice::UpdateAlarmCount() {
  ald::subunit::UpdateAlarmCounts(subunits.get(), subunitcount);
}

// --- Device data ------------------------------------------------------------------

int RETDevice::GetDeviceData(int subunit, char* fields, int count, RETEP& ep, AISGDeviceParams& p) {
  std::printf("RETDevice::GetDeviceData(ep)\n");
  if (devtype != kSingleRet && devtype != kMultiRet) return NoProcedureFor(p);
  int r = kNoAnswer;
  for (int attempt = 0; attempt < 2; ++attempt) {
    r = devtype == kSingleRet ? ep.GetDeviceData(address, aisgver, fields, count, &p)
                              : ep.AntennaGetDeviceData(address, subunit, fields, count, &p);
    if (r == kOk) break;
  }
  if (r != kOk) return r;

  RETSubunit& s = Sub(subunit);
  for (int i = 0; i < count; ++i) {
    ald::subunit::MarkFieldRead(s, fields[i]);
    if (ald::subunit::TakeCommonField(s, fields[i], p, aisgver)) continue;
    switch (fields[i]) {
      case kMaxTilt:
        s.antmaxtilt = static_cast<int16_t>(p.antMaxTilt);
        break;
      case kMinTilt:
        s.antmintilt = static_cast<int16_t>(p.antMinTilt);
        break;
      default:
        std::printf("Unknown parameter for GetDeviceData: 0x%x\n",
                    static_cast<unsigned char>(fields[i]));
        break;
    }
  }
  return kOk;
}

int RETDevice::ReadDataSet(int subunit, RETEP& ep, AISGDeviceParams& p, int* lost) {
  int last = kOk;
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
    if (lost != nullptr && (r == kNoAnswer || r == kBadAnswer)) ++*lost;
    last = r;
  };
  if (aisgver == 1) {
    int start = 0;
    for (int count : kAisg1Groups) {
      request(kDataSet + start, count);
      start += count;
    }
  } else {
    for (int i = 0; i < kDataSetSize; ++i) request(kDataSet + i, 1);
    const RETSubunit& s = Sub(subunit);
    if ((s.antband[1] & kHasExt08) != 0) request(&kBandExt08, 1);
    if ((s.antband[1] & kHasExt09) != 0) request(&kBandExt09, 1);
  }
  return last;
}

int RETDevice::GetDeviceData(int subunit, DeviceData& data, int refresh) {
  std::printf("RETDevice::GetDeviceData(%d)\n", subunit);
  if (!ValidSubunit(subunit)) return kBadSubunit;
  int result = 0;
  if (refresh != 0 || state != kStateOk) {
    RETEP ep;
    AISGDeviceParams p{};
    if (OpenConnection(ep, p, 0, 1) != 0) {
      result = kNoAnswer;
    } else {
      const int r = ReadDataSet(subunit, ep, p, nullptr);
      CloseConnection(ep);
      result = MapResult(r, p);
    }
    SaveDevices(0);
  }
  const RETSubunit& s = Sub(subunit);
  ald::subunit::CopyCommonData(data, s);
  data.antmaxtilt = s.antmaxtilt;
  data.antmintilt = s.antmintilt;
  return result;
}

int RETDevice::SetDeviceData(int subunit, char* message, int length, RETEP& ep,
                             AISGDeviceParams& p) {
  std::printf("RETDevice::SetDeviceData(ep)\n");
  if (devtype != kSingleRet && devtype != kMultiRet) return NoProcedureFor(p);
  if (message == nullptr || length < 1) return kInvalid;
  const char id = message[0];

  if (vendorid == "AR" &&
      (id == kBand || id == kBeamwidth || id == kGain || id == kBandExt08 || id == kBandExt09)) {
    char unlock[] = {0x41, 0x52, 0x03};
    ep.SetVendorSpecific(address, aisgver, unlock, sizeof unlock, &p);
  }

  int r = kNoAnswer;
  for (int attempt = 0; attempt < 2; ++attempt) {
    r = devtype == kSingleRet ? ep.SetDeviceData(address, aisgver, message, length, &p)
                              : ep.AntennaSetDeviceData(address, subunit, message, length, &p);
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
  const int common = ald::subunit::SameAsWritten(id, value, valueLength, p, back, aisgver);
  bool same = common == 1;
  if (common < 0) {
    // A field of this object alone.
    same = true;
    switch (id) {
      case kMaxTilt:
        same = p.antMaxTilt == back.antMaxTilt;
        break;
      case kMinTilt:
        same = p.antMinTilt == back.antMinTilt;
        break;
      default:
        std::printf("Unknown parameter for SetDeviceData: 0x%x\n", static_cast<unsigned char>(id));
        break;
    }
  }
  return same ? r : kReadBackDiffers;
}

int RETDevice::SetDeviceData(int subunit, const char* fields, const DeviceData& data) {
  const unsigned char first = fields != nullptr ? static_cast<unsigned char>(fields[0]) : 0;
  std::printf("RETDevice::SetDeviceData(%d,[%02x])\n", subunit, first);
  if (!ValidSubunit(subunit)) return kBadSubunit;
  RETEP ep;
  AISGDeviceParams p{};
  if (OpenConnection(ep, p, 0, 1) != 0) return kNoAnswer;

  int count = 0;
  while (fields != nullptr && count <= kMaxWriteFields && fields[count] != 0) ++count;
  if (count > kMaxWriteFields) {
    std::printf("SetDeviceData's data may not be null terminated!\n");
    count = kMaxWriteFields;
  }

  RETSubunit& s = Sub(subunit);
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
          case kMaxTilt:
            PutLe16(message + 1, data.antmaxtilt);
            p.antMaxTilt = data.antmaxtilt;
            length = 3;
            break;
          case kMinTilt:
            PutLe16(message + 1, data.antmintilt);
            p.antMinTilt = data.antmintilt;
            length = 3;
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
      if (running == kOk) {
        // The read-back has already put the device's value into the
        // subunit; it equals what was written.
        if (id == kBand) {
          s.antband[0] = static_cast<unsigned char>(message[1]);
          s.antband[1] = static_cast<unsigned char>(message[2]);
        }
      }
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

int RETDevice::GetSNMPRETData(int subunit, SNMPRETData& record) {
  std::printf("RETDevice::GetSNMPRETData(%d)\n", subunit);
  if (!ValidSubunit(subunit)) return kBadSubunit;
  const RETSubunit& s = Sub(subunit);
  std::memset(&record, 0, sizeof record);
  char hex[2 * sizeof s.antbeam + 1] = {};

  PutNumber(record.address, address);
  PutNumber(record.antnumber, s.antnumber);
  char type[16];
  std::snprintf(type, sizeof type, "%02x", devtype);
  PutText(record.devtype, type);
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
  std::snprintf(type, sizeof type, "%02x%02x", s.antband[1], s.antband[0]);
  PutText(record.antband, type);
  Char2Hex(reinterpret_cast<const char*>(s.antbeam), sizeof s.antbeam, hex);
  hex[2 * sizeof s.antbeam] = 0;
  PutText(record.antbeam, hex);
  Char2Hex(reinterpret_cast<const char*>(s.antgain), sizeof s.antgain, hex);
  hex[2 * sizeof s.antgain] = 0;
  PutText(record.antgain, hex);
  PutNumber(record.antmaxtilt, s.antmaxtilt);
  PutNumber(record.antmintilt, s.antmintilt);
  PutText(record.insdate, s.insdate);
  PutText(record.insid, s.insid);
  PutText(record.baseid, s.baseid);
  PutText(record.sectorid, s.sectorid);
  PutNumber(record.bearing, s.bearing);
  PutNumber(record.mechtilt, s.mechtilt);
  PutNumber(record.status, s.status);
  const int codes = std::min<int>(static_cast<int>(s.alarm.GetLength()), 5);
  Char2Hex(static_cast<const char*>(s.alarm), codes, hex);
  hex[2 * codes] = 0;
  PutText(record.alarm, hex);
  if (s.curtilt != kNoTilt) PutNumber(record.curtilt, s.curtilt);
  return state == kStateNew ? kAlarmNew : 0;
}

int RETDevice::CheckDataChange(SNMPRETData& before, SNMPRETData& after) {
  auto differs = [](const char* a, const char* b, size_t width) {
    return std::strncmp(a, b, width) != 0;
  };
#define RET_FIELD_DIFFERS(f) differs(before.f, after.f, sizeof before.f)
  if (RET_FIELD_DIFFERS(address) || RET_FIELD_DIFFERS(sn) || RET_FIELD_DIFFERS(swver) ||
      RET_FIELD_DIFFERS(antmodel) || RET_FIELD_DIFFERS(antsn) || RET_FIELD_DIFFERS(sectorid) ||
      RET_FIELD_DIFFERS(bearing) || RET_FIELD_DIFFERS(mechtilt) || RET_FIELD_DIFFERS(curtilt)) {
    return 1;
  }
#undef RET_FIELD_DIFFERS
  return 0;
}

int RETDevice::IsDataChanged(int subunit) {
  int flag = 0;
  if (ValidSubunit(subunit) && state != kStateNew) flag = Sub(subunit).datachanged;
  std::printf("RETDevice::IsDataChanged(%d): %d\n", subunit, flag);
  return flag;
}

// --- Refresh ------------------------------------------------------------------------

int RETDevice::Refresh() {
  std::printf("RETDevice::Refresh()\n");
  const std::time_t start = ald::GetClock().CalendarTime();
  // Subunits that appear during this refresh compare against an empty
  // summary, so they count as changed.
  SNMPRETData before[kMaxSubunits] = {};
  for (int i = 0; i < subunitcount; ++i) {
    subunits[i].datachanged = 0;
    GetSNMPRETData(i + 1, before[i]);
  }

  RETEP ep;
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

  if (devtype == kMultiRet && subunitcount == 1 && state == kStateNew) {
    if (ep.AntennaGetNumOfAntennas(address, &p) == kOk && p.devTotalSubUnits >= 1) {
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
    r = GetTilt(i, ep, p);
    if (r != kOk) r = GetTilt(i, ep, p);
    if (r == kNoAnswer || r == kBadAnswer) ++errors;
  }

  for (int i = 1; i <= subunitcount; ++i) {
    r = ReadAlarms(i, ep, p);
    if (r == kNoAnswer || r == kBadAnswer) ++errors;
    if (r == kOk) ald::subunit::TakeRefreshAlarmAnswer(Sub(i), p, address);
  }

  for (int i = 1; i <= subunitcount; ++i) ReadDataSet(i, ep, p, &errors);

  CloseConnection(ep);
  errorcodes = ald::HString("");

  for (int i = 0; i < subunitcount; ++i) {
    SNMPRETData after;
    GetSNMPRETData(i + 1, after);
    subunits[i].datachanged = static_cast<uint16_t>(CheckDataChange(before[i], after));
    if (subunits[i].datachanged == 1) {
      std::printf("Addr %d unit %d data changed!\n", address, subunits[i].antnumber);
    }
  }

  const int limit = aisgver == 1 ? 5 : 10 * subunitcount + 2;
  state = ald::subunit::RefreshedState(
      state, errors, limit, subunits.get(), subunitcount,
      [this](unsigned char code) { AddAlarm(code, 0); },
      [this](unsigned char code) { RemoveAlarm(code, 0); });

  UpdateAlarmCount();
  std::printf("Time to refresh a device: %.1f secs\n",
              static_cast<double>(ElapsedCalendarSeconds(start)));
  return 0;
}

// --- Registry listing ----------------------------------------------------------------

void RETDevice::GetRETAddressInfo(char* out) {
  ald::subunit::ListAddressInfo(
      out, [](AISGDevice* device) { return dynamic_cast<RETDevice*>(device) != nullptr; });
}
