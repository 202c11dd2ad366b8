// TMA procedures: mode and gain in both generations, and the per-subunit
// procedures of AISG 2.0 units.
#include "aldlink/procedures/tmaep.h"

#include <cstdio>
#include <cstring>

#include "aldlink/procedures/procedure_util.h"
#include "support/clock.h"

using namespace ald::procedures;

namespace {

// AISG 1.x codes (never with a subunit) and their AISG 2.0 counterparts.
constexpr char kSetMode1 = 0x40;
constexpr char kGetMode1 = 0x41;
constexpr char kSetGain1 = 0x42;
constexpr char kGetGain1 = 0x43;
constexpr char kSetMode2 = 0x70;
constexpr char kGetMode2 = 0x71;
constexpr char kSetGain2 = 0x72;
constexpr char kGetGain2 = 0x73;
constexpr char kSetDeviceData = 0x74;
constexpr char kClearAlarms = 0x77;
constexpr char kGetAlarms = 0x78;
constexpr char kGetSubunits = 0x79;
constexpr char kGetFunctions = 0x7A;
constexpr char kGetNonLinearGains = 0x7B;

// Device type of a TMA, which picks the TMA form of the device data read.
constexpr int kTmaType = 2;
constexpr int kMaxNonLinearGains = sizeof(AISGDeviceParams::tmaNonLinearGains);

void ClearAnswer(AISGDeviceParams* p) {
  std::memset(p->devRcuCodes, 0, sizeof p->devRcuCodes);
  p->devRcuCodesSize = 0;
}

}  // namespace

int TMAEP::MultiTma(int address, int subunit, char code, char* data, int length,
                    AISGDeviceParams* p) {
  return DeviceProcedure(address, 2, subunit, code, data, length, p);
}

int TMAEP::AISG20Procedure(int address, char code, char* data, int length, AISGDeviceParams* p) {
  return DeviceProcedure(address, 2, 0, code, data, length, p);
}

int TMAEP::TMASetMode(int address, int generation, int subunit, int mode, AISGDeviceParams* p) {
  if (p == nullptr) return kInvalid;
  char data = static_cast<char>(mode & 0x0F);
  if (generation == 1) return DeviceProcedure(address, 1, 0, kSetMode1, &data, 1, p);
  if (generation == 2) return DeviceProcedure(address, 2, subunit, kSetMode2, &data, 1, p);
  ClearAnswer(p);
  return kInvalid;
}

int TMAEP::TMAGetMode(int address, int generation, int subunit, AISGDeviceParams* p) {
  if (p == nullptr) return kInvalid;
  int result;
  if (generation == 1) {
    result = DeviceProcedure(address, 1, 0, kGetMode1, nullptr, 0, p);
  } else if (generation == 2) {
    result = DeviceProcedure(address, 2, subunit, kGetMode2, nullptr, 0, p);
  } else {
    ClearAnswer(p);
    return kInvalid;
  }
  if (result != kOk) return result;
  if (p->devRcuCodesSize != 2) return kBadResponse;
  p->tmaCurrentMode = p->devRcuCodes[1];
  printf("p->tmaCurrentMode=%d\n", p->tmaCurrentMode);
  return kOk;
}

// A gain beyond one byte would reach the device as a different gain, so it
// is refused rather than cut.
int TMAEP::TMASetGain(int address, int generation, int subunit, int gain, AISGDeviceParams* p) {
  if (p == nullptr) return kInvalid;
  if ((generation != 1 && generation != 2) || gain < 0 || gain > 0xFF) {
    ClearAnswer(p);
    return kInvalid;
  }
  char data = static_cast<char>(gain & 0xFF);
  if (generation == 1) return DeviceProcedure(address, 1, 0, kSetGain1, &data, 1, p);
  return DeviceProcedure(address, 2, subunit, kSetGain2, &data, 1, p);
}

int TMAEP::TMAGetGain(int address, int generation, int subunit, AISGDeviceParams* p) {
  if (p == nullptr) return kInvalid;
  int result;
  if (generation == 1) {
    result = DeviceProcedure(address, 1, 0, kGetGain1, nullptr, 0, p);
  } else if (generation == 2) {
    result = DeviceProcedure(address, 2, subunit, kGetGain2, nullptr, 0, p);
  } else {
    ClearAnswer(p);
    return kInvalid;
  }
  if (result != kOk) return result;
  if (p->devRcuCodesSize != 2) return kBadResponse;
  p->tmaCurrentGain = p->devRcuCodes[1];
  printf("p->tmaCurrentGain=%d, (db/4): %.1f\n", p->tmaCurrentGain, p->tmaCurrentGain * 0.25);
  return kOk;
}

int TMAEP::TMASetDeviceData(int address, int subunit, char* data, int length, AISGDeviceParams* p) {
  int result = MultiTma(address, subunit, kSetDeviceData, data, length, p);
  // The device stores the field before it takes the next request.
  ald::GetClock().SleepMs(100);
  return result;
}

int TMAEP::TMAGetDeviceData(int address, int subunit, char* ids, int count, AISGDeviceParams* p) {
  return GetDeviceData(address, 2, subunit, kTmaType, ids, count, p);
}

int TMAEP::TMAClearAlarms(int address, int subunit, AISGDeviceParams* p) {
  return MultiTma(address, subunit, kClearAlarms, nullptr, 0, p);
}

int TMAEP::TMAGetAlarmStatus(int address, int subunit, AISGDeviceParams* p) {
  return MultiTma(address, subunit, kGetAlarms, nullptr, 0, p);
}

int TMAEP::TMAGetNumOfSubunits(int address, AISGDeviceParams* p) {
  int result = AISG20Procedure(address, kGetSubunits, nullptr, 0, p);
  if (result != kOk) return result;
  if (p->devRcuCodesSize != 2) return kBadResponse;
  p->devTotalSubUnits = p->devRcuCodes[1];
  printf("p->tmaToalNumber=%d\n", p->devTotalSubUnits);
  return kOk;
}

int TMAEP::TMAGetSupportedFunctions(int address, int subunit, AISGDeviceParams* p) {
  int result = MultiTma(address, subunit, kGetFunctions, nullptr, 0, p);
  if (result != kOk) return result;
  if (p->devRcuCodesSize != 5) return kBadResponse;
  p->tmaFunctionFlag = p->devRcuCodes[1];
  p->tmaMinGain = p->devRcuCodes[2];
  p->tmaMaxGain = p->devRcuCodes[3];
  p->tmaGainResolution = p->devRcuCodes[4];
  printf("p->tmaFunctionFlag=%d\n", p->tmaFunctionFlag);
  printf("p->tmaMinGain=%d, (db/4): %.1f\n", p->tmaMinGain, p->tmaMinGain * 0.25);
  printf("p->tmaMaxGain=%d, (db/4): %.1f\n", p->tmaMaxGain, p->tmaMaxGain * 0.25);
  printf("p->tmaGainResolution=%d, (db/4): %.1f\n", p->tmaGainResolution,
         p->tmaGainResolution * 0.25);
  return kOk;
}

// The count byte is the device's word; at most 80 values are kept, and the
// positions the answer did not fill read as zero (the response area is
// cleared before every exchange).
int TMAEP::TMAGetSupportedNonLinearGainValues(int address, int subunit, AISGDeviceParams* p) {
  int result = MultiTma(address, subunit, kGetNonLinearGains, nullptr, 0, p);
  if (result != kOk) return result;
  if (p->devRcuCodesSize < 2) return kBadResponse;
  int count = p->devRcuCodes[1];
  if (count > kMaxNonLinearGains) count = kMaxNonLinearGains;
  p->tmaNumofNonLinearGains = count;
  std::memset(p->tmaNonLinearGains, 0, sizeof p->tmaNonLinearGains);
  std::memcpy(p->tmaNonLinearGains, p->devRcuCodes + 2, count);
  printf("p->tmaNumofNonLinearGains=%d\n", p->tmaNumofNonLinearGains);
  printf("p->tmaNonLinearGains=");
  for (int i = 0; i < count; ++i) printf("%02x ", p->tmaNonLinearGains[i]);
  printf("\n");
  return kOk;
}
