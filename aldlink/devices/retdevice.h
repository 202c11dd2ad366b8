// The device object of a remote electrical tilt unit: a single-antenna RET
// (device type 1) or a multi-antenna RET (device type 17), one subunit per
// antenna.
//
// Per subunit the object caches the antenna's device data, its current
// tilt and its alarm codes, and keeps what the controller's table needs to
// notice changes (a "data changed" flag, an alarm repeat counter). Refresh
// re-reads all of it and decides the communication state from the number of
// failed exchanges. Besides the device's own alarm codes the lists carry
// three codes of this object, always at the front: 0x51 new (never
// refreshed), 0x52 answers with errors, 0x53 does not answer.
//
// Public operations return a device result (see aisgdevice.h); a subunit
// outside 1..GetNumberOfSubunits() gives 36 without bus traffic. Tilt values
// are tenths of a degree; -3600 stands for "no tilt known".
#pragma once

#include <cstdint>
#include <memory>

#include "aldlink/devices/aisgdevice.h"
#include "aldlink/devices/devicedata.h"
#include "aldlink/procedures/retep.h"
#include "support/hstring.h"

// One antenna of a RET. The member names are also the field keys of the
// device database.
struct RETSubunit {
  int16_t antnumber = 0;       // 1-based antenna number
  ald::HString antmodel;       // field 0x01
  ald::HString antsn;          // field 0x02
  unsigned char antband[6]{};  // fields 0x03, 0x08, 0x09, low byte first
  unsigned char antbeam[8]{};  // field 0x04: four 16-bit values
  unsigned char antgain[4]{};  // field 0x05
  int16_t antmaxtilt = 0;      // field 0x06
  int16_t antmintilt = 0;      // field 0x07
  ald::HString insdate;        // field 0x21
  ald::HString insid;          // field 0x22
  ald::HString baseid;         // field 0x23
  ald::HString sectorid;       // field 0x24
  uint16_t bearing = 0;        // field 0x25
  int16_t mechtilt = 0;        // field 0x26
  int status = 0;              // 1 while `alarm` holds a code
  ald::HString alarm;          // alarm codes, one byte each, in order
  int curtilt = -3600;         // tenths of a degree, -3600: unknown
  uint16_t datachanged = 0;    // the last Refresh changed the summary
  uint8_t lastalarm = 0;       // first code at the last alarm count update
  int repeatcount = 0;         // successive updates that saw `lastalarm`
  uint64_t fieldsread = 0;     // bit `id`: device data field `id` was read
};

// The summary of one subunit for the flat device table: fixed-width,
// zero-terminated texts, 342 characters, nothing else.
struct SNMPRETData {
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
  char antmaxtilt[5];
  char antmintilt[5];
  char insdate[7];
  char insid[6];
  char baseid[33];
  char sectorid[33];
  char bearing[6];
  char mechtilt[6];
  char status[2];
  char alarm[11];   // the first five codes, two hex digits each
  char curtilt[7];  // empty when no tilt is known
};
static_assert(sizeof(SNMPRETData) == 342, "the flat interface copies SNMPRETData field by field");

class RETDevice : public AISGDevice {
 public:
  // Alarm codes the object puts at the front of the lists itself.
  static constexpr unsigned char kAlarmNew = 0x51;
  static constexpr unsigned char kAlarmBadResponding = 0x52;
  static constexpr unsigned char kAlarmNotResponding = 0x53;
  static constexpr int kMaxSubunits = 16;
  static constexpr int kNoTilt = -3600;

  // Empty object for loading: no subunits.
  RETDevice();
  // A device found by a scan. A multi-antenna RET is asked for its antenna
  // count here (one link); an unknown type keeps one subunit and gets type 0.
  RETDevice(int devtype, int aisgver, int address, const char* uid, int uidsize);
  ~RETDevice() override;
  RETDevice(const RETDevice&) = delete;
  RETDevice& operator=(const RETDevice&) = delete;

  int Calibrate(int subunit);
  // Uploads the configuration file at `configuration` (".hex": digit pairs).
  // A file that cannot be used gives 131 before anything is sent.
  int Configure(int subunit, char* configuration);
  // Moves the antenna and checks, up to four times 5 s apart, that it
  // arrived within half a degree: 0, 11 when it did not, or the mapped
  // failure of the set procedure.
  int SetTilt(int subunit, int tilt);
  // With `refresh` 0 a refreshed device answers from the cache.
  int GetTilt(int subunit, int& tilt, int refresh);

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
  int GetSNMPRETData(int subunit, SNMPRETData& record);
  int IsDataChanged(int subunit);
  unsigned int GetCurrentAlarm(int subunit, unsigned char* buffer);
  unsigned int GetCurrentAlarmCount(int subunit, unsigned char& code, unsigned int& count);

  // 0 after a completed refresh; 81 (new) or 83 when no link came up, 83
  // when the device's address could not be restored.
  int Refresh() override;

  // "(address,subunits)" of every registered RET, comma-separated, at most
  // 255 characters, zero-terminated.
  static void GetRETAddressInfo(char* out);

  // Read-only view of a subunit (1-based), null when out of range.
  const RETSubunit* GetSubunit(int subunit) const;

 protected:
  // The device's block of the database file (devicedb.cpp).
  int WriteObject(ald::OutFileStream& out) override;
  int ReadObject(ald::InFileStream& in) override;

  // Over a link the caller holds open; procedure results.
  int GetTilt(int subunit, RETEP& ep, AISGDeviceParams& p);
  int GetDeviceData(int subunit, char* fields, int count, RETEP& ep, AISGDeviceParams& p);
  int SetDeviceData(int subunit, char* message, int length, RETEP& ep, AISGDeviceParams& p);

  // Subunit 0 means every subunit.
  void AddAlarm(unsigned char code, int subunit);
  void RemoveAlarm(unsigned char code, int subunit);
  int HasAlarm(unsigned char code, int subunit);
  void UpdateAlarmCount();
  int CheckDataChange(SNMPRETData& before, SNMPRETData& after);

  std::unique_ptr<RETSubunit[]> subunits;

 private:
  bool ValidSubunit(int subunit) const { return subunit >= 1 && subunit <= subunitcount; }
  RETSubunit& Sub(int subunit) { return subunits[subunit - 1]; }
  // Replaces the subunits by `count` new ones (1..16) marked new.
  void MakeSubunits(int count);
  // The pseudo-alarms and alarm lists when the link did not come up.
  void MarkNotResponding();
  // Reads the whole device data set of a subunit; counts requests that got
  // no or a bad answer into `lost` (may be null). Result of the last request.
  int ReadDataSet(int subunit, RETEP& ep, AISGDeviceParams& p, int* lost);
  // Reads the alarm codes of a subunit into `p`; a procedure result.
  int ReadAlarms(int subunit, RETEP& ep, AISGDeviceParams& p);
  int MapResult(int r, const AISGDeviceParams& p);
};
