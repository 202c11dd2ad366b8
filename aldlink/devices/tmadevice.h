// The device object of a tower mounted amplifier: device types 2 and 16,
// one TMA subunit for an AISG 1.x device, one or more for an AISG 2.0 device.
//
// It is built like the RET object: per subunit it caches the device data,
// the alarm codes and the table bookkeeping (a "data changed" flag, an alarm
// repeat counter), and Refresh re-reads all of it and decides the
// communication state from the number of failed exchanges. Instead of a
// tilt it controls the amplifier's mode (normal or bypass) and gain, and it
// reads what an AISG 2.0 subunit supports (gain range, bypass, non-linear
// gain values).
//
// Which procedures run depends on the generation, not on the type code: an
// AISG 1.x device is addressed as a whole, an AISG 2.0 device per subunit.
//
// Public operations return a device result (see aisgdevice.h); a subunit
// outside 1..GetNumberOfSubunits() gives 36 without bus traffic, the AISG
// 2.0-only reads give 25 on an AISG 1.x device. Gains are quarter decibels;
// -1 stands for "no mode / no gain known".
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

#include "aldlink/devices/aisgdevice.h"
#include "aldlink/devices/devicedata.h"
#include "aldlink/procedures/tmaep.h"
#include "support/hstring.h"

// Operating mode of a TMA; passed to the device unchanged (low four bits).
enum TMAMode : int {
  kTMAModeNormal = 0,
  kTMAModeBypass = 1,
};
static_assert(sizeof(TMAMode) == sizeof(int));

// What an AISG 2.0 TMA subunit supports; gains in quarter decibels.
struct SupportedFunction {
  uint8_t flags;  // bit 0: bypass supported
  uint16_t maxgain;
  uint16_t mingain;
  uint16_t resolution;  // gain step
};
static_assert(std::is_standard_layout_v<SupportedFunction>);
static_assert(offsetof(SupportedFunction, flags) == 0);
static_assert(offsetof(SupportedFunction, maxgain) == 2);
static_assert(offsetof(SupportedFunction, mingain) == 4);
static_assert(offsetof(SupportedFunction, resolution) == 6);

// One TMA subunit. The member names are also the field keys of the device
// database.
struct TMASubunit {
  static constexpr int kMaxNonLinearGains = 69;

  int16_t antnumber = 0;       // 1-based subunit number
  ald::HString antmodel;       // field 0x01
  ald::HString antsn;          // field 0x02
  unsigned char antband[6]{};  // fields 0x03, 0x08, 0x09, low byte first
  unsigned char antbeam[8]{};  // field 0x04
  unsigned char antgain[4]{};  // field 0x05
  ald::HString insdate;        // field 0x21
  ald::HString insid;          // field 0x22
  ald::HString baseid;         // field 0x23
  ald::HString sectorid;       // field 0x24
  uint16_t bearing = 0;        // field 0x25
  int16_t mechtilt = 0;        // field 0x26
  uint16_t tmatype = 0;        // field 0x13: bit 0 bypass, bit 1 VSWR
  unsigned char rxband[4]{};   // field 0x14: lower, upper edge
  unsigned char txband[4]{};   // field 0x15
  uint16_t maxgain = 0;        // field 0x16, or the supported functions
  uint16_t mingain = 0;        // field 0x17, or the supported functions
  uint16_t resolution = 0;     // field 0x18, or the supported functions
  // Number of supported non-linear gain values, then the values.
  unsigned char nlgain[1 + kMaxNonLinearGains]{};
  int status = 0;            // 1 while `alarm` holds a code
  ald::HString alarm;        // alarm codes, one byte each, pseudo-alarms first
  uint16_t function = 0;     // 1 when bypass is supported
  int mode = -1;             // TMAMode, -1: unknown
  int curgain = -1;          // quarter decibels, -1: unknown
  uint16_t datachanged = 0;  // the last Refresh changed the summary
  uint8_t lastalarm = 0;     // first code at the last alarm count update
  int repeatcount = 0;       // successive updates that saw `lastalarm`
  uint64_t fieldsread = 0;   // bit `id`: device data field `id` was read
};

// The summary of one TMA subunit for the flat device table: fixed-width,
// zero-terminated texts, 519 characters, nothing else.
struct SNMPTMAData {
  char address[4];
  char antnumber[3];
  char devtype[3];  // two lower-case hex digits
  char aisgver[3];
  char version3gpp[3];  // empty when 0
  char uniqueid[20];    // vendor code followed by serial number
  char vendorid[3];
  char productnumber[33];
  char sn[18];
  char hwver[33];
  char swver[33];
  char antmodel[16];
  char antsn[18];
  char antband[5];  // the operating band (field 0x03) as 4 hex digits
  char antbeam[17];
  char antgain[9];
  char insdate[7];
  char insid[6];
  char baseid[33];
  char sectorid[33];
  char bearing[6];
  char mechtilt[6];
  char tmatype[4];
  char rxband[9];  // 8 hex digits, bytes in stored order
  char txband[9];
  char maxgain[5];
  char mingain[5];
  char resolution[4];
  char nlgain[141];  // the non-linear gain values, two hex digits each
  char status[2];
  char alarm[11];    // the first five codes, two hex digits each
  char function[3];  // two lower-case hex digits
  char mode[7];      // empty when unknown
  char curgain[7];   // empty when unknown
};
static_assert(sizeof(SNMPTMAData) == 519, "the flat interface copies SNMPTMAData field by field");
static_assert(offsetof(SNMPTMAData, insdate) == 221);
static_assert(offsetof(SNMPTMAData, tmatype) == 312);
static_assert(offsetof(SNMPTMAData, nlgain) == 348);
static_assert(offsetof(SNMPTMAData, status) == 489);
static_assert(offsetof(SNMPTMAData, curgain) == 512);

class TMADevice : public AISGDevice {
 public:
  // Alarm codes the object puts at the front of the lists itself.
  static constexpr unsigned char kAlarmNew = 0x51;
  static constexpr unsigned char kAlarmBadResponding = 0x52;
  static constexpr unsigned char kAlarmNotResponding = 0x53;
  static constexpr int kMaxSubunits = 16;
  static constexpr int kNoValue = -1;

  // Empty object for loading: no subunits.
  TMADevice();
  // A device found by a scan. An AISG 2.0 device is asked for its subunit
  // count here (one link); an unknown type keeps one subunit and gets type 0.
  TMADevice(int devtype, int aisgver, int address, const char* uid, int uidsize);
  ~TMADevice() override;
  TMADevice(const TMADevice&) = delete;
  TMADevice& operator=(const TMADevice&) = delete;

  // Sets the mode and reads it back (up to twice, 2 s apart), then the gain:
  // 0, 11 when the device kept another mode, or the mapped failure of the
  // set procedure. Re-reads the subunit's alarms afterwards.
  int SetMode(int subunit, const TMAMode& mode);
  // With `refresh` 0 a refreshed device answers from the cache.
  int GetMode(int subunit, TMAMode& mode, int refresh);
  // As SetMode for the gain (quarter decibels), without the mode and alarm reads.
  int SetGain(int subunit, int gain);
  int GetGain(int subunit, int& gain, int refresh);
  // AISG 2.0 only (25 otherwise).
  int GetSupportedFunctions(int subunit, SupportedFunction& functions, int refresh);
  // Writes the values and a zero byte into `gains` (room for 70 bytes) and
  // their number into `count`. AISG 2.0 only (25 otherwise).
  int GetNonLinearGains(int subunit, char* gains, int& count, int refresh);

  // The subunit's first alarm code (0 for none), 81/83 when the link failed
  // (new / known device), 36; the codes go zero-terminated into `buffer`.
  int GetAlarmStatus(int subunit, unsigned char* buffer, int refresh);
  // 1 when a subunit has alarms, else 0 (one subunit: its list goes into
  // `buffer`). No bus traffic.
  int GetAlarmStatus(unsigned char* buffer);
  using AISGDevice::GetAlarmStatus;
  int ClearActiveAlarms(int subunit);
  int ClearActiveAlarms() override;

  int GetDeviceData(int subunit, DeviceData& data, int refresh);
  // Writes the fields listed in `fields` (zero-terminated identifiers, at
  // most 30 used) one by one, each read back and compared: the last known
  // field's result, 30 when it read back differently, 89 for an empty list.
  int SetDeviceData(int subunit, const char* fields, const DeviceData& data);

  // 81 while the device is new, else 0; no bus traffic.
  int GetSNMPTMAData(int subunit, SNMPTMAData& record);
  int IsDataChanged(int subunit);
  unsigned int GetCurrentAlarm(int subunit, unsigned char* buffer);
  unsigned int GetCurrentAlarmCount(int subunit, unsigned char& code, unsigned int& count);

  // 0 after a completed refresh; 81 (new) or 83 when no link came up, 83
  // when the device's address could not be restored.
  int Refresh() override;

  // "(address,subunits)" of every registered TMA, comma-separated, at most
  // 255 characters, zero-terminated.
  static void GetTMAAddressInfo(char* out);

  // Read-only view of a subunit (1-based), null when out of range.
  const TMASubunit* GetSubunit(int subunit) const;

 protected:
  // The device's block of the database file (devicedb.cpp).
  int WriteObject(ald::OutFileStream& out) override;
  int ReadObject(ald::InFileStream& in) override;

  // Over a link the caller holds open; procedure results.
  int GetDeviceData(int subunit, char* fields, int count, TMAEP& ep, AISGDeviceParams& p);
  int SetDeviceData(int subunit, char* message, int length, TMAEP& ep, AISGDeviceParams& p);

  // Subunit 0 means every subunit.
  void AddAlarm(unsigned char code, int subunit);
  void RemoveAlarm(unsigned char code, int subunit);
  int HasAlarm(unsigned char code, int subunit);
  void UpdateAlarmCount();
  int CheckDataChange(SNMPTMAData& before, SNMPTMAData& after);

  std::unique_ptr<TMASubunit[]> subunits;

 private:
  bool ValidSubunit(int subunit) const { return subunit >= 1 && subunit <= subunitcount; }
  TMASubunit& Sub(int subunit) { return subunits[subunit - 1]; }
  // Replaces the subunits by `count` new ones (1..16) marked new.
  void MakeSubunits(int count);
  // The pseudo-alarms, alarm lists and cached values when the link did not
  // come up.
  void MarkNotResponding();
  // Reads the whole device data set of a subunit; counts requests that got
  // no or a bad answer into `lost` (may be null), all but the first one.
  // Result of the last request.
  int ReadDataSet(int subunit, TMAEP& ep, AISGDeviceParams& p, int* lost);
  int ReadAlarms(int subunit, TMAEP& ep, AISGDeviceParams& p);
  int ClearAlarms(int subunit, TMAEP& ep, AISGDeviceParams& p);
  // One mode or gain read into the cache (-1 on failure); procedure results.
  int ReadMode(int subunit, TMAEP& ep, AISGDeviceParams& p);
  int ReadGain(int subunit, TMAEP& ep, AISGDeviceParams& p);
  // Supported functions and non-linear gains into the cache.
  int ReadFunctions(int subunit, TMAEP& ep, AISGDeviceParams& p);
  int ReadNonLinearGains(int subunit, TMAEP& ep, AISGDeviceParams& p);
  int MapResult(int r, const AISGDeviceParams& p);
  // Reads a subunit's values into the cache with `read(ep, p)` when the
  // caller asks for it or the cache cannot be trusted: the mapped result, or
  // 0 when the cache serves.
  template <typename Read>
  int ReadWhenStale(int refresh, Read read);
};
