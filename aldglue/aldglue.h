// The flat control interface: plain exported C functions over the device
// library, a flat table of every device subunit, and two words of state
// shared by all processes of one user that load the library.
//
// Programs load the library at run time (dlopen "libaldglue.so") and bind
// each function by its name with dlsym; nothing else is exported. The
// declarations below are the binding contract: a program may include this
// header for the types and use decltype(&name) for the pointer types, but it
// must not link the library directly.
//
// Results: 0 is success; -1800 is the general failure, returned unchanged
// when no device at the given address is of the class the function needs;
// any other number is a device result of the device library. Addresses are
// HDLC addresses, subunits 1-based, tilts tenths of a degree, gains quarter
// decibels. Every function is for one calling thread per process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "aldlink/devices/devicedata.h"

#define ALDGLUE_EXPORT extern "C" __attribute__((visibility("default")))

// The general failure number of the interface.
inline constexpr int kAldglueFailure = -1800;

// One entry of the flat device table: one RET antenna or TMA subunit as 35
// zero-terminated texts of 128 characters (see kMirelkFieldNames).
inline constexpr int kMirelkFieldCount = 35;
inline constexpr int kMirelkFieldSize = 128;
struct MIRELK_DATA {
  char field[kMirelkFieldCount][kMirelkFieldSize];
};
static_assert(sizeof(MIRELK_DATA) == 4480, "MIRELK_DATA is read by other programs");
static_assert(std::is_standard_layout_v<MIRELK_DATA>);

// Field indexes of MIRELK_DATA.
enum MirelkField : int {
  kMdAddress = 0,
  kMdSubunit = 1,
  kMdDeviceType = 2,  // two lower-case hex digits: 01, 11 RET; 02, 10 TMA
  kMdAisgVersion = 3,
  kMdUniqueId = 4,
  kMdVendor = 5,
  kMdRetModel = 6,   // the device's product number
  kMdRetSerial = 7,  // the device's serial number
  kMdHardwareVersion = 8,
  kMdSoftwareVersion = 9,
  kMdAntennaModel = 10,
  kMdAntennaSerial = 11,
  kMdFreqBand = 12,  // 12 upper-case hex digits of the 6 band bytes
  kMdBeamWidth = 13,
  kMdAntennaGain = 14,
  kMdMaxTilt = 15,  // RET only
  kMdMinTilt = 16,  // RET only
  kMdMaxGain = 17,  // TMA only
  kMdMinGain = 18,  // TMA only
  kMdInstallationDate = 19,
  kMdInstallerId = 20,
  kMdSiteId = 21,
  kMdSectorId = 22,
  kMdBearing = 23,
  kMdMechTilt = 24,
  kMdDeviceStatus = 25,
  kMdDeviceStatusCause = 26,
  kMdCurrentTilt = 27,  // RET only
  kMdUnused = 28,
  kMdTmaType = 29,  // TMA only; AISG 2.0: the supported-functions flag
  kMdTmaRxBand = 30,
  kMdTmaTxBand = 31,
  kMdGainResolution = 32,
  kMdMode = 33,
  kMdCurrentGain = 34,
};

// The names by which the table's readers look fields up; empty for the two
// fields without a name. "Current Tilt" is also looked up as "Elec. Tilt".
inline constexpr const char* kMirelkFieldNames[kMirelkFieldCount] = {"Address",
                                                                     "Subunit",
                                                                     "Device Type",
                                                                     "AISG Version",
                                                                     "",
                                                                     "Vendor",
                                                                     "RET Model",
                                                                     "RET Serial No.",
                                                                     "Hardware Version",
                                                                     "Software Version",
                                                                     "Antenna Model",
                                                                     "Antenna Serial No.",
                                                                     "Freq. Band",
                                                                     "Beam Width",
                                                                     "Antenna Gain",
                                                                     "Max Tilt",
                                                                     "Min Tilt",
                                                                     "Max Gain",
                                                                     "Min Gain",
                                                                     "Installation Date",
                                                                     "Installer ID",
                                                                     "Site ID",
                                                                     "Sector ID",
                                                                     "Bearing",
                                                                     "Mech. Tilt",
                                                                     "Device Status",
                                                                     "Device Status Cause",
                                                                     "Current Tilt",
                                                                     "",
                                                                     "TMA Type",
                                                                     "TMA rxFreqBand",
                                                                     "TMA txFreqBand",
                                                                     "GainResolution",
                                                                     "Mode",
                                                                     "Current Gain"};

// The request of setDeviceData, passed by value with natural alignment:
// kind (the entry's device type: 1 or 17 RET, 2 or 16 TMA), address,
// subunit, the field identifiers to write (zero-terminated, one byte each)
// and the values in a whole DeviceData record.
struct ALDGLUE_DEVICE_DATA_REQUEST {
  int kind;
  int address;
  int subunit;
  const char* fields;
  DeviceData data;
};
static_assert(std::is_standard_layout_v<ALDGLUE_DEVICE_DATA_REQUEST>);
static_assert(std::is_trivially_copyable_v<ALDGLUE_DEVICE_DATA_REQUEST>);
static_assert(offsetof(ALDGLUE_DEVICE_DATA_REQUEST, kind) == 0);
static_assert(offsetof(ALDGLUE_DEVICE_DATA_REQUEST, address) == 4);
static_assert(offsetof(ALDGLUE_DEVICE_DATA_REQUEST, subunit) == 8);
static_assert(offsetof(ALDGLUE_DEVICE_DATA_REQUEST, fields) == (sizeof(void*) == 8 ? 16 : 12));
static_assert(offsetof(ALDGLUE_DEVICE_DATA_REQUEST, data) == (sizeof(void*) == 8 ? 24 : 16));
static_assert(sizeof(ALDGLUE_DEVICE_DATA_REQUEST) == (sizeof(void*) == 8 ? 184 : 172));

// --- Scanning and the table ---------------------------------------------------
// Prepares the adapter, empties the table, scans the bus (depth, assign: 0
// search alone, else with address assignment), rebuilds the table; the
// scan's result.
ALDGLUE_EXPORT int scanMain(int depth, int assign);
// Re-reads every registered device; does not rebuild the table.
ALDGLUE_EXPORT int refreshMain(void);
// Finds and registers one device by vendor code and serial number: 0, 123
// when the table did not grow by one entry, 119 when no device was had.
ALDGLUE_EXPORT int addDevice(char* vendorCode, char* serialNumber);
// Rebuilds the table; its first entry, null when none was ever built.
ALDGLUE_EXPORT MIRELK_DATA* getMirelkData(void);
// Entries of the table; -1 when none was built since the last scan.
ALDGLUE_EXPORT int getMirelkDataCount(void);
// "RET devices/RET entries/TMA devices/TMA entries" of the last rebuild.
ALDGLUE_EXPORT const char* getMirelkDataCountStr(void);
// The result of the most recent device operation (-1 before any).
ALDGLUE_EXPORT int getLastError(void);
// The text of the last adapter, port or site-file error met by the most
// recent export that touched the adapter ("cannot open /dev/ttyUSB0:
// Permission denied", "site file sites/x.site: line 3: ..."), zero-terminated
// and cut to `size` characters with the terminator; its length, 0 when there
// was none. A null `text` or a `size` below 1 only gives the full length.
ALDGLUE_EXPORT int getLastErrorText(char* text, int size);

// --- RET operations -------------------------------------------------------------
ALDGLUE_EXPORT int setTilt(int address, int subunit, int tilt);
ALDGLUE_EXPORT int getTilt(int address, int subunit, int* tilt);
ALDGLUE_EXPORT int selfTest(int address);
ALDGLUE_EXPORT int resetSoftware(int address);
ALDGLUE_EXPORT int calibrate(int address, int subunit);
ALDGLUE_EXPORT int clearActiveAlarms(int address, int subunit);
// The subunit's alarm codes, zero-terminated, go into `buffer` (room for 256
// bytes is always enough).
ALDGLUE_EXPORT int getAlarmStatus(int address, int subunit, char* buffer);
ALDGLUE_EXPORT int downloadSoftware(int address, char* fileName);
// Uploads a RET configuration (ACF) file to a subunit.
ALDGLUE_EXPORT int configRET(int address, int subunit, char* fileName);

// --- TMA operations -------------------------------------------------------------
ALDGLUE_EXPORT int getGain(int address, int subunit, int* gain);
// Mode 0 normal, 1 bypass.
ALDGLUE_EXPORT int getMode(int address, int subunit, int* mode);
ALDGLUE_EXPORT int setGain(int address, int subunit, int gain);
ALDGLUE_EXPORT int setMode(int address, int subunit, int mode);
ALDGLUE_EXPORT int pollDevice(int address);
ALDGLUE_EXPORT int selfTestTMA(int address);
ALDGLUE_EXPORT int resetSoftwareTMA(int address);
ALDGLUE_EXPORT int clearActiveAlarmsTMA(int address, int subunit);
ALDGLUE_EXPORT int downloadSoftwareTMA(int address, char* fileName);

// --- Device dispatch ------------------------------------------------------------
// Runs RET operation `type` (1 set tilt, 2 get tilt, 3 self test, 4 reset,
// 5 calibrate, 6 clear alarms, 7 alarm status into `text`, 8 download file
// `text`) on every RET at `address`; the last run's result, -1800 when none
// ran. `value` carries the tilt in or out (may be null for types 3 to 8).
ALDGLUE_EXPORT int baseFunction(int address, int subunit, int* value, char* text, int type);
// The same for TMAs: 9 get gain, 10 get mode, 11 set gain, 12 set mode,
// 39 poll, 53 self test, 54 reset, 56 clear alarms, 58 download `text`.
ALDGLUE_EXPORT int baseFunctionTMA(int address, int subunit, int* value, char* text, int code);

// --- Device data and generation -------------------------------------------------
ALDGLUE_EXPORT int setDeviceData(ALDGLUE_DEVICE_DATA_REQUEST request);
// Switches every device of the vendor's supported model to AISG `version`.
ALDGLUE_EXPORT int switchAISGVersion(char* vendorCode, int version);

// --- Adapter --------------------------------------------------------------------
// The adapter's serial port number, 0 when none.
ALDGLUE_EXPORT int getPort(void);
// 12 V bus power and RS-485 A/B switch: 0 or 1, -1 when not read.
ALDGLUE_EXPORT int getPowerValue(void);
ALDGLUE_EXPORT int getPinValue(void);
ALDGLUE_EXPORT int setPowerValue(int value);
ALDGLUE_EXPORT int setPinValue(int value);
// Sends the vendor's closing command to the line: 0 when all of it went out,
// -1 when the port did not open, -1800 when it went out incompletely.
ALDGLUE_EXPORT int closeComPort(void);

// --- Words shared between processes ---------------------------------------------
// The first argument is not used (callers pass the busy window's process id).
// Both return 0; getProcessStatus returns -1800 for a null output.
ALDGLUE_EXPORT int setProcessStatus(int unused, int status);
ALDGLUE_EXPORT int getProcessStatus(int unused, int* status);
ALDGLUE_EXPORT int setDownloadFileSize(int size);
ALDGLUE_EXPORT int getDownloadFileSize(int* size);
// Bytes of the download image sent so far (0 before the first); the library
// writes it after every segment the device took, and sets the size word to
// the image's size when it starts sending an image. Returns 0, -1800 for a
// null output.
ALDGLUE_EXPORT int getDownloadProgress(int* bytes);

// The shared words live in a POSIX shared-memory object named
// "/aldglue-<uid>" (the user's numeric id); the environment variable
// ALDGLUE_SHM_NAME, read when the library is loaded, names another one.
