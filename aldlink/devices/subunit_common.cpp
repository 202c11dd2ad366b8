// Helpers the RET and TMA device objects share (see subunit_common.h).
#include "aldlink/devices/subunit_common.h"

namespace ald::subunit {

namespace {

// Device data identifiers of the text fields.
constexpr char kModel = 0x01;
constexpr char kSerial = 0x02;
constexpr char kInstallDate = 0x21;
constexpr char kInstallerId = 0x22;
constexpr char kBaseStationId = 0x23;
constexpr char kSectorId = 0x24;

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
    case kModel:
      return 15;
    case kSerial:
      return 17;
    case kInstallDate:
      return 6;
    case kInstallerId:
      return 5;
    case kBaseStationId:
      return generation == 1 ? 12 : 32;
    case kSectorId:
      return generation == 1 ? 4 : 32;
    default:
      return 0;
  }
}

bool IsTextField(char id) {
  return id == kModel || id == kSerial || (id >= kInstallDate && id <= kSectorId);
}

void PutLe16(char* out, int value) {
  out[0] = static_cast<char>(value & 0xFF);
  out[1] = static_cast<char>((value >> 8) & 0xFF);
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
