// A stand-in for the interface library with a fixed table of one RET of two
// antennas (address 3, AISG 2.0), one TMA (address 7, AISG 1.x) and a
// selection of the exports: setGain, calibrate and closeComPort are left
// out on purpose. Every call is written to standard output, which aldctl
// sends to its --trace file, so that a test sees the arguments that
// arrived.
#include <cstdio>
#include <cstring>

#include "aldglue/aldglue.h"

namespace {

MIRELK_DATA theTable[3];
bool theScanned = false;

void Put(MIRELK_DATA& e, int field, const char* text) {
  std::snprintf(e.field[field], kMirelkFieldSize, "%s", text);
}

void Build() {
  std::memset(theTable, 0, sizeof theTable);
  for (int i = 0; i < 2; ++i) {
    MIRELK_DATA& e = theTable[i];
    Put(e, kMdAddress, "3");
    Put(e, kMdSubunit, i == 0 ? "1" : "2");
    Put(e, kMdDeviceType, "11");
    Put(e, kMdAisgVersion, "2");
    Put(e, kMdVendor, "KA");
    Put(e, kMdRetModel, "RCU, \"M3\"");  // comma and quotes for the script formats
    Put(e, kMdMinTilt, "20");
    Put(e, kMdMaxTilt, "120");
    Put(e, kMdCurrentTilt, i == 0 ? "60" : "");
    Put(e, kMdMechTilt, "-15");
    Put(e, kMdBearing, "3005");
    Put(e, kMdSectorId, i == 0 ? "A1" : "A2");
  }
  MIRELK_DATA& t = theTable[2];
  Put(t, kMdAddress, "7");
  Put(t, kMdSubunit, "1");
  Put(t, kMdDeviceType, "02");
  Put(t, kMdAisgVersion, "1");
  Put(t, kMdVendor, "PW");
  Put(t, kMdMinGain, "16");
  Put(t, kMdMaxGain, "48");
  Put(t, kMdCurrentGain, "49");
  Put(t, kMdMode, "1");
  Put(t, kMdDeviceStatusCause, "0e51");
  // A field filled to the last byte without a terminator.
  std::memset(t.field[kMdSiteId], 'S', kMirelkFieldSize);
}

}  // namespace

ALDGLUE_EXPORT int scanMain(int depth, int assign) {
  std::printf("scanMain(%d,%d)\n", depth, assign);
  theScanned = true;
  Build();
  return 0;
}
ALDGLUE_EXPORT MIRELK_DATA* getMirelkData(void) {
  return theScanned ? theTable : nullptr;
}
ALDGLUE_EXPORT int getMirelkDataCount(void) {
  return theScanned ? 3 : -1;
}
ALDGLUE_EXPORT const char* getMirelkDataCountStr(void) {
  return theScanned ? "1/2/1/1" : "";
}
ALDGLUE_EXPORT int getLastError(void) {
  return 89;
}
ALDGLUE_EXPORT int setTilt(int address, int subunit, int tilt) {
  std::printf("setTilt(%d,%d,%d)\n", address, subunit, tilt);
  return subunit == 2 ? 30 : 0;
}
ALDGLUE_EXPORT int getTilt(int address, int subunit, int* tilt) {
  std::printf("getTilt(%d,%d)\n", address, subunit);
  *tilt = -25;
  return 0;
}
ALDGLUE_EXPORT int getAlarmStatus(int address, int subunit, char* buffer) {
  std::printf("getAlarmStatus(%d,%d)\n", address, subunit);
  std::strcpy(buffer, "\x51\x0e");
  return 0;
}
ALDGLUE_EXPORT int getGain(int address, int subunit, int* gain) {
  std::printf("getGain(%d,%d)\n", address, subunit);
  *gain = 49;
  return 0;
}
ALDGLUE_EXPORT int setMode(int address, int subunit, int mode) {
  std::printf("setMode(%d,%d,%d)\n", address, subunit, mode);
  return 0;
}
ALDGLUE_EXPORT int selfTest(int address) {
  std::printf("selfTest(%d)\n", address);
  return 0;
}
ALDGLUE_EXPORT int selfTestTMA(int address) {
  std::printf("selfTestTMA(%d)\n", address);
  return -1800;
}
ALDGLUE_EXPORT int downloadSoftware(int address, char* files) {
  std::printf("downloadSoftware(%d,%s)\n", address, files);
  return 0;
}
ALDGLUE_EXPORT int setDeviceData(ALDGLUE_DEVICE_DATA_REQUEST r) {
  std::printf("setDeviceData(%d,%d,%d,[", r.kind, r.address, r.subunit);
  for (const char* f = r.fields; *f; ++f) std::printf("%02x", static_cast<unsigned char>(*f));
  std::printf("],sectorid=%s,mechtilt=%d,bearing=%u,band=%02x%02x%02x%02x%02x%02x)\n",
              r.data.sectorid, r.data.mechtilt, r.data.bearing, r.data.antband[0],
              r.data.antband[1], r.data.antband[2], r.data.antband[3], r.data.antband[4],
              r.data.antband[5]);
  return 0;
}
ALDGLUE_EXPORT int getPort(void) {
  std::printf("getPort()\n");
  return 7;
}
ALDGLUE_EXPORT int getPowerValue(void) {
  return -1;
}
ALDGLUE_EXPORT int setPinValue(int value) {
  std::printf("setPinValue(%d)\n", value);
  return 0;
}
ALDGLUE_EXPORT int switchAISGVersion(char* vendor, int version) {
  std::printf("switchAISGVersion(%s,%d)\n", vendor, version);
  return -1;
}
