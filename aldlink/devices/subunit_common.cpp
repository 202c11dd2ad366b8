// Helpers the RET and TMA device objects share (see subunit_common.h).
#include "aldlink/devices/subunit_common.h"

namespace ald::subunit {

namespace {

// Bits of the band's high byte that announce the extension band fields.
constexpr unsigned char kHasExt08 = 0x40;
constexpr unsigned char kHasExt09 = 0x80;

// Procedure result of a failure without an answer the device gave.
constexpr int kFail = 11;

}  // namespace

bool IsPseudoAlarm(unsigned char code) {
  return code == kAlarmNew || code == kAlarmBadResponding || code == kAlarmNotResponding;
}

bool IsMarkerCode(unsigned char code) {
  return code >= 0x51 && code <= 0x7F;
}

HString BoundedText(const char* text, size_t max) {
  char buffer[256];
  if (max >= sizeof buffer) max = sizeof buffer - 1;
  const size_t n = text != nullptr ? strnlen(text, max) : 0;
  if (n > 0) std::memcpy(buffer, text, n);
  buffer[n] = 0;
  return HString(buffer);
}

int TextLength(char id, int generation) {
  switch (id) {
    case kFieldModel:
      return 15;
    case kFieldSerial:
      return 17;
    case kFieldInstallDate:
      return 6;
    case kFieldInstallerId:
      return 5;
    case kFieldBaseStationId:
      return generation == 1 ? 12 : 32;
    case kFieldSectorId:
      return generation == 1 ? 4 : 32;
    default:
      return 0;
  }
}

bool IsTextField(char id) {
  return id == kFieldModel || id == kFieldSerial ||
         (id >= kFieldInstallDate && id <= kFieldSectorId);
}

void PutLe16(char* out, int value) {
  out[0] = static_cast<char>(value & 0xFF);
  out[1] = static_cast<char>((value >> 8) & 0xFF);
}

int PutTextMessage(char id, const DeviceData& data, int generation,
                   void (*alignRight)(const char*, int, char*, int), char* message,
                   AISGDeviceParams& p) {
  const char* text = nullptr;
  size_t width = 0;
  char* stored = nullptr;
  switch (id) {
    case kFieldModel:
      text = data.antmodel, width = sizeof data.antmodel, stored = p.antModel;
      break;
    case kFieldSerial:
      text = data.antsn, width = sizeof data.antsn, stored = p.antSerial;
      break;
    case kFieldInstallDate:
      text = data.insdate, width = sizeof data.insdate, stored = p.antInstallDate;
      break;
    case kFieldInstallerId:
      text = data.insid, width = sizeof data.insid, stored = p.antInstallID;
      break;
    case kFieldBaseStationId:
      text = data.baseid, width = sizeof data.baseid, stored = p.antBaseStationID;
      break;
    default:
      text = data.sectorid, width = sizeof data.sectorid, stored = p.antSectorID;
      break;
  }
  const int valueLength = TextLength(id, generation);
  int textLength = static_cast<int>(strnlen(text, width));
  if (textLength > valueLength) textLength = valueLength;
  alignRight(text, textLength, message + 1, valueLength);
  std::memcpy(stored, text, static_cast<size_t>(textLength));
  stored[textLength] = 0;
  if (id == kFieldInstallerId) {
    std::printf("SetDeviceData: 0x%x, %s\n", static_cast<unsigned char>(id), stored);
  }
  return valueLength + 1;
}

int PutCommonMessage(char id, const DeviceData& data, unsigned char bandHigh, int generation,
                     char* message, AISGDeviceParams& p) {
  switch (id) {
    case kFieldBand:
      message[1] = static_cast<char>(data.antband[0]);
      message[2] = static_cast<char>((data.antband[1] & ~(kHasExt08 | kHasExt09)) |
                                     (bandHigh & (kHasExt08 | kHasExt09)));
      return 3;
    case kFieldBeamwidth:
      if (generation == 1) {
        for (int b = 0; b < 3; ++b) message[1 + b] = static_cast<char>(data.antbeam[2 * b]);
        return 4;
      }
      std::memcpy(message + 1, data.antbeam, 8);
      return 9;
    case kFieldGain: {
      const int length = generation == 1 ? 4 : 5;
      std::memcpy(message + 1, data.antgain, static_cast<size_t>(length - 1));
      return length;
    }
    case kFieldBandExt08:
      message[1] = static_cast<char>(data.antband[2]);
      message[2] = static_cast<char>(data.antband[3]);
      return 3;
    case kFieldBandExt09:
      message[1] = static_cast<char>(data.antband[4]);
      message[2] = static_cast<char>(data.antband[5]);
      return 3;
    case kFieldBearing:
      PutLe16(message + 1, data.bearing);
      p.antBearing = data.bearing;
      return 3;
    case kFieldMechanicalTilt:
      PutLe16(message + 1, data.mechtilt);
      p.antMechanicalTilt = data.mechtilt;
      return generation == 1 ? 2 : 3;
    default:
      return 0;
  }
}

int SameAsWritten(char id, const unsigned char* value, int valueLength, const AISGDeviceParams& p,
                  const AISGDeviceParams& back, int generation) {
  auto sameBytes = [&](const void* stored, int count) {
    return valueLength >= count && std::memcmp(value, stored, static_cast<size_t>(count)) == 0;
  };
  auto sameBand = [&](uint16_t band) {
    const unsigned char bytes[2] = {static_cast<unsigned char>(band & 0xFF),
                                    static_cast<unsigned char>(band >> 8)};
    return sameBytes(bytes, 2);
  };
  bool same = true;
  switch (id) {
    case kFieldModel:
      same = std::strncmp(p.antModel, back.antModel, sizeof p.antModel) == 0;
      break;
    case kFieldSerial:
      same = std::strncmp(p.antSerial, back.antSerial, sizeof p.antSerial) == 0;
      break;
    case kFieldInstallDate:
      same = std::strncmp(p.antInstallDate, back.antInstallDate, sizeof p.antInstallDate) == 0;
      break;
    case kFieldInstallerId:
      same = std::strncmp(p.antInstallID, back.antInstallID, sizeof p.antInstallID) == 0;
      break;
    case kFieldBaseStationId:
      same =
          std::strncmp(p.antBaseStationID, back.antBaseStationID, sizeof p.antBaseStationID) == 0;
      break;
    case kFieldSectorId:
      same = std::strncmp(p.antSectorID, back.antSectorID, sizeof p.antSectorID) == 0;
      break;
    case kFieldBand:
      same = sameBand(back.antFreqBand);
      break;
    case kFieldBandExt08:
      same = sameBand(back.antFreqBandExt08);
      break;
    case kFieldBandExt09:
      same = sameBand(back.antFreqBandExt09);
      break;
    case kFieldBeamwidth:
      same = sameBytes(back.antBeamwidth, generation == 2 ? 8 : 3);
      break;
    case kFieldGain:
      same = sameBytes(back.antGain, generation == 2 ? 4 : 3);
      break;
    case kFieldBearing:
      same = p.antBearing == back.antBearing;
      break;
    case kFieldMechanicalTilt:
      same = p.antMechanicalTilt == back.antMechanicalTilt;
      break;
    default:
      return -1;
  }
  return same ? 1 : 0;
}

int NoProcedureFor(AISGDeviceParams& p) {
  std::memset(p.devRcuCodes, 0, sizeof p.devRcuCodes);
  p.devRcuCodesSize = 0;
  return kFail;
}

HString AlarmText(const AISGDeviceParams& p) {
  char text[sizeof p.devRcuCodes + 1];
  int n = p.devRcuCodesSize - 1;
  if (n < 0) n = 0;
  if (n > static_cast<int>(sizeof p.devRcuCodes) - 1) n = sizeof p.devRcuCodes - 1;
  std::memcpy(text, p.devRcuCodes + 1, static_cast<size_t>(n));
  text[n] = 0;
  return HString(text);
}

bool NoAlarmAnswer(const AISGDeviceParams& p) {
  return p.devRcuCodesSize < 2 || p.devRcuCodesSize >= 128;
}

void CopyAlarms(const HString& alarm, unsigned char* buffer) {
  if (buffer == nullptr) return;
  std::memcpy(buffer, static_cast<const char*>(alarm), alarm.GetLength());
  buffer[alarm.GetLength()] = 0;
}

void ListAddressInfo(char* out, bool (*matches)(AISGDevice*)) {
  if (out == nullptr) return;
  char text[256] = {};
  size_t used = 0;
  bool first = true;
  AISGDevice** devices = AISGDevice::GetDevices();
  const int deviceCount = AISGDevice::GetNumberOfDevices();
  for (int i = 0; i < deviceCount; ++i) {
    AISGDevice* device = devices[i];
    if (device == nullptr || !matches(device)) continue;
    char entry[40];
    const int n = std::snprintf(entry, sizeof entry, first ? "(%d,%d)" : ",(%d,%d)",
                                device->GetAddress(), device->GetNumberOfSubunits());
    first = false;
    const size_t take = std::min(static_cast<size_t>(n), sizeof text - 1 - used);
    std::memcpy(text + used, entry, take);
    used += take;
  }
  text[used] = 0;
  std::memcpy(out, text, used + 1);
}

}  // namespace ald::subunit
