// One antenna line device as the controller knows it, and the process-wide
// registry of such objects.
//
// An AISGDevice holds the identity of one device on the bus (type,
// generation, HDLC address, unique ID, identity texts, subunit count,
// communication state) and runs the device-wide procedures on it. Every
// operation is self-contained: it builds its own procedure object, opens
// the port and the link to the device, runs its procedures, closes both and
// maps the procedure result to a device result number (DevResult). No link
// outlives an operation.
//
// The registry (at most 24 objects, in registration order without gaps)
// owns its objects: a full scan destroys every registered object before it
// registers new ones. RETDevice and TMADevice derive from this class.
//
// Device results: 0 success, 11 the device failed without a return code,
// the device's first return code (sign-extended from 8 bits), 36 a bad
// argument, 83 the link was lost after an address reset, 89 no link or no
// usable answer, 131 a file of the job cannot be used (nothing sent). Nothing
// throws; trace lines go to standard output.
#pragma once

#include "aldlink/procedures/aisgdeviceep.h"
#include "aldlink/procedures/aisgdeviceparams.h"
#include "support/filestream.h"
#include "support/hstring.h"

using DevResult = int;

// The scan finished, but its search ended at its time limit or could not
// tell some devices apart: there may be devices on the bus it did not find.
constexpr DevResult kDevResultDevicesMissed = 130;
// A file of the job (software image, RET configuration file) cannot be
// used: missing, unreadable, empty or malformed. Nothing was sent to the
// device.
constexpr DevResult kDevResultFileError = 131;

class AISGDevice {
 public:
  // Most objects the registry keeps.
  static constexpr int kMaxDevices = 24;
  // Most unique ID bytes kept.
  static constexpr int kUidBytes = 19;

  // Communication states.
  static constexpr int kStateNew = 1;
  static constexpr int kStateBadResponding = 2;
  static constexpr int kStateNotResponding = 3;
  static constexpr int kStateOk = 5;

  // An empty object (all texts empty, numbers 0, state new) to be filled
  // by loading.
  AISGDevice();
  // A device found on the bus. At most 19 unique ID bytes are copied; a
  // negative size counts as 0. `subunitcount` is left to the derived class.
  AISGDevice(int devtype, int aisgver, int address, const char* uid, int uidsize);
  AISGDevice(const AISGDevice& other) = default;
  AISGDevice& operator=(const AISGDevice& other) = default;

  // --- Virtual operations (this order is the slot order) ---------------------
  virtual ~AISGDevice();
  virtual int ResetSoftware();
  // Copies the identity texts into those buffers that are not null; reads
  // them from the device first unless `refresh` is 0 and the device
  // answered its last refresh correctly.
  virtual int GetInformation(char* productNumber, char* serialNumber, char* hwVersion,
                             char* swVersion, int refresh);
  // Writes nothing here and returns 0; the derived classes keep alarms.
  virtual int GetAlarmStatus(char* buffer);
  virtual int ClearActiveAlarms();
  virtual int AlarmSubscribe();
  virtual int SelfTest();
  // `length` bytes of the user data area from `offset`, in pieces of 16.
  virtual int ReadUserData(char* buffer, int length, int offset);
  virtual int WriteUserData(char* data, int length, int offset);
  // Loads the comma-separated files (at most 5) one after the other, each a
  // binary image or an Intel HEX image (told apart by content); every file
  // is checked first, and one that cannot be used gives 131 with nothing
  // sent. Afterwards the device is searched for, re-addressed and refreshed.
  virtual int DownloadSoftware(char* fileNames);
  virtual int GetNumberOfSubunits();
  // Does nothing here and returns 0; the derived classes re-read the device.
  virtual int Refresh();

 protected:
  virtual int WriteObject(ald::OutFileStream& out);
  virtual int ReadObject(ald::InFileStream& in);
  // Maps a procedure result and the response area of the parameter record
  // to a device result; replaces `errorCodes` (the device's return-code
  // bytes). Returns the new result, which it also stores in `result`.
  virtual int AISGReturnCodeMap(int code, const char* response, DevResult& result,
                                ald::HString& errorCodes);

 public:
  // Two lower-case hex digits of `c`; the second form does `count` bytes and
  // writes no terminator.
  static void Char2Hex(char c, char* out);
  static void Char2Hex(const char* in, int count, char* out);
  // --- Accessors ---------------------------------------------------------------
  int GetDeviceType() const { return devtype; }
  int GetAISGVersion() const { return aisgver; }
  int Get3GPPVersion() const { return version3gpp; }
  int GetAddress() const { return address; }
  int GetState() const { return state; }
  int GetUniqueIDSize() const { return uidsize; }
  const char* GetUniqueIDBytes() const { return uid; }
  const ald::HString& GetVendorID() const { return vendorid; }
  const ald::HString& GetProductNumber() const { return productnumber; }
  const ald::HString& GetSerialNumber() const { return sn; }
  const ald::HString& GetSoftwareFileName() const { return swfilename; }
  void SetSoftwareFileName(const char* name) { swfilename = ald::HString(name); }
  const ald::HString& GetErrorCodes() const { return errorcodes; }
  // Writes `vendorid` followed by `sn`, zero-terminated (the caller's
  // buffer must hold both).
  void GetUniqueID(char* out) const;

  // Establishes the link once and drops it again; always 0.
  int PollDevice(int unused);

  // Switches this device from AISG 2 back to AISG 1: 0, 11 (the device did
  // not take it) or 84 (vendor or version not supported).
  int SwitchAISGVersion(int version);

  // --- Registry ----------------------------------------------------------------
  static AISGDevice** GetDevices() { return theDevices; }
  static int GetNumberOfDevices() { return theDeviceCount; }
  static int GetDBVersion() { return theDBVersion; }
  // The first registered device with this address, else null.
  static AISGDevice* FindDevice(int address);
  // The first registered device whose vendor code followed by serial number
  // equals `id`, else null.
  static AISGDevice* FindDevice(char* id);
  // Refreshes every registered device in registry order; always 0.
  static int RefreshDevices();

  // --- Device database (devicedb.h: file places) ---------------------------------
  // Replaces the registry by the devices of the database file (working copy,
  // else the master copy, which is then copied to the working directory):
  // 0 when a file was read, -1 when neither copy could be opened.
  static int LoadDevices();
  // Hook for the operations that change device values; writes nothing, 0.
  static int SaveDevices(int reason);
  // Writes the whole database file (header, then one block per registered
  // device) to `path`: 0, or -1 when it could not be written completely.
  static int WriteDevices(const char* path);

  // --- Bus scan ----------------------------------------------------------------
  // Replaces the registry by the devices found on the bus (`a` non-zero:
  // search with address assignment; 0: search alone, then the addresses of
  // AISG 2 devices are given here, never one an AISG 1 device holds and
  // never above 128). 0, or kDevResultDevicesMissed when the search may
  // have missed devices (what it found is registered all the same).
  static int Scan(int depth, int a);
  // Finds one device by vendor code and serial number, gives it an address
  // when it is new and registers it; null when it cannot be had.
  static AISGDevice* ScanSingleDevice(char* vendorCode, char* serialNumber);
  // Switches every registered device of the supported model to `version`:
  // 0, or -1 when the vendor or version is not supported or a device failed.
  static int SwitchAISGVersion(char* vendorCode, int version);

 protected:
  // The first registered device with these unique ID bytes, else null.
  static AISGDevice* FindDevice(char* uid, int uidsize);
  // Appends `device`: 0, or -1 (nothing registered) when the registry is
  // full or the pointer is null. The caller keeps a refused object.
  static int AddDevice(AISGDevice* device);
  // Takes the device with this zero-terminated unique ID out of the registry
  // without destroying it; always 0.
  static int RemoveDevice(char* uid);
  // Gives every registered AISG 1 device its address again over the
  // caller's open procedure object; always 0.
  static int ResetAllDeviceAdress(AISGDEVICEEP& ep);
  // The search for one known device (AISGDEVICEEP::ScanDevice by vendor
  // code and serial number). That search starts with a broadcast reset,
  // which takes every AISG 1 device's address; the registered ones get
  // theirs back before this returns. The search's result.
  static int SearchKnownDevice(AISGDEVICEEP& ep, char* vendor, char* serial,
                               AISGDeviceParams* params);

  // 0 when the link to the device is up after at most `retries` + 1
  // attempts; -1 (connection already stopped) when not.
  int OpenConnection(AISGDEVICEEP& ep, AISGDeviceParams& params, int retries, int enable);
  int CloseConnection(AISGDEVICEEP& ep);
  // Reads the identity over an open link; a procedure result, or 83 when
  // the link was not re-established after an address reset.
  int GetInformation(AISGDEVICEEP& ep, AISGDeviceParams& params);

  // Right-aligns `src` in `dst`, zero-filled in front; keeps the first
  // `dstLength` bytes when `src` is longer. May overlap; no terminator.
  static void AlignRight(const char* src, int srcLength, char* dst, int dstLength);

  // --- Members (this order is kept) --------------------------------------------
  int devtype = 0;
  int aisgver = 0;
  // 3GPP version an AISG 2 device reports (7 to 12, else 0); set by Refresh.
  int version3gpp = 0;
  int address = 0;
  int uidsize = 0;
  char uid[kUidBytes] = {};
  ald::HString vendorid;
  ald::HString productnumber;
  ald::HString sn;
  ald::HString hwver;
  ald::HString swver;
  int subunitcount = 0;
  int state = kStateNew;
  ald::HString swfilename;
  ald::HString errorcodes;

  static AISGDevice* theDevices[kMaxDevices];
  static int theDeviceCount;
  static int theDBVersion;

 private:
  // Builds the object for one discovery record (generation and address
  // already checked), or writes why there is none and returns null.
  static AISGDevice* CreateDevice(const AISGDeviceParams& record);
};
