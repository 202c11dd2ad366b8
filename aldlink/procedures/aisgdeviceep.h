// Procedure engine of one RS-485 bus: link set-up and polling, the layer-7
// request/response exchange, the device-wide procedures and device data.
//
// One object is adapter, link layer and engine for one bus for the duration
// of one operation. Every member returns a result number:
//   0  success
//   11 the device answered FAIL (reason codes in devRcuCodes from index 1)
//   82 bad or unexpected answer
//   84 invalid argument, or nothing could be sent
//   89 no answer
// Any other non-zero result of the link layer is passed through unchanged.
// Nothing is allocated per exchange; request and answer buffers are fixed
// 256-byte buffers of the call.
#pragma once

#include <cstdint>
#include <vector>

#include "aldlink/hdlc/aisghdlc.h"
#include "aldlink/procedures/aisgdeviceparams.h"

class AISGDEVICEEP : public AISGHDLC {
 public:
  AISGDEVICEEP() = default;

  // --- Link ---------------------------------------------------------------
  int OpenConnection();
  int StopConnection();
  // Brings up the link to `address`: SNRM (recovering from a frame reject),
  // then RR polls until the device shows it is in normal response mode.
  int SetSNRM(int address);
  int SetRR(int address);
  int SetDISC(int address);
  int SetXIDReset(int address);
  int SendInfo(int address, char* info, int length);
  // Up to three I-frames; with `reconnect` set the third is preceded by a
  // new link set-up.
  int SendInfo(int address, char* info, int length, int reconnect);
  // Offers 74-octet information fields and a window of one and reports what
  // the device answers; the link keeps its own limits whatever the answer.
  int GetHdlcParams(int address, AISGDeviceParams* params);

  // --- Device-wide procedures ---------------------------------------------
  int GetDeviceType(int address, AISGDeviceParams* p);
  int ResetSoftware(int address, int generation, AISGDeviceParams* p);
  int GetAlarmStatus(int address, int generation, AISGDeviceParams* p);
  int GetInfo(int address, int generation, AISGDeviceParams* p);
  int ClearActiveAlarms(int address, int generation, AISGDeviceParams* p);
  int EnableDevice(int address, AISGDeviceParams* p);
  int DisableDevice(int address, AISGDeviceParams* p);
  int SelfTest(int address, int generation, AISGDeviceParams* p);
  int GetBitRates(int address, AISGDeviceParams* p);
  int SetDeviceData(int address, int generation, char* data, int length, AISGDeviceParams* p);
  int GetDeviceData(int address, int generation, char* ids, int count, AISGDeviceParams* p);
  int ReadUserData(int address, int offset, int count, AISGDeviceParams* p);
  int WriteUserData(int address, int offset, char* data, int length, AISGDeviceParams* p);
  int AlarmSubscribe(int address, AISGDeviceParams* p);
  int SetVendorSpecific(int address, int generation, char* data, int length, AISGDeviceParams* p);

  // --- Version queries (XID user parameters) ------------------------------
  int GetAisgVersion(int address, AISGDeviceParams* p);
  int GetAisgVersion(int address, int version, AISGDeviceParams* p);
  int Get3gppVersion(int address, AISGDeviceParams* p);
  int Get3gppVersion(int address, int release, AISGDeviceParams* p);
  int GetExtSubVersion(int address, int value, AISGDeviceParams* p);

  // --- Software download ----------------------------------------------------
  // Loads a device software image over the established link: download start,
  // the image in segments (AISG 1.x: in blocks, each announced by a header),
  // download end. Long blocking calls: 3 s after the start, one exchange per
  // segment, up to 15 s of polling for the end. The file is open only during
  // the call. A download that fails after its start is not ended: the device
  // stays in its download state for the caller to decide.
  //
  // Binary image. AISG 1.x: blocks of `blockSize` bytes (at most 65535, a
  // whole multiple of `segmentSize`), segments of `segmentSize` bytes (at
  // most 245). AISG 2.0: both sizes are ignored; segments of 71 bytes.
  // 84 for a bad argument or a file that cannot be opened, is empty or
  // cannot be read to its end; otherwise the failing step's result, or the
  // end procedure's.
  int BinSoftwareDownload(int address, int generation, int blockSize, int segmentSize,
                          char* fileName, AISGDeviceParams* p);
  // The binary form with blocks of 17664 bytes and segments of 69 (256
  // segments a block); `name` is not used.
  int SoftwareDownload(int address, int generation, char* name, char* fileName,
                       AISGDeviceParams* p);
  // Intel HEX text, one record per message, checked record by record as it
  // is read: 11 when the file cannot be opened, is empty or the start fails;
  // -1 for a malformed record or a file without end-of-file record (records
  // before it have been sent, the download is not ended).
  int HexSoftwareDownload(int address, int generation, char* fileName, AISGDeviceParams* p);

  // Forms of a software file, told apart by its content.
  static constexpr int kSoftwareFileUnusable = 0;
  static constexpr int kSoftwareFileBinary = 1;
  static constexpr int kSoftwareFileHex = 2;
  // Reads the whole file before anything goes to a device. An Intel HEX
  // image is recognised by its content (text of records beginning with ":")
  // or by a name ending in ".hex", and every record is checked: hex digits,
  // byte count, checksum, record type, one end-of-file record closing the
  // data. Returns the form, or kSoftwareFileUnusable after a trace line
  // "Software file NAME: ..." that names what is wrong (missing, not a
  // regular file, unreadable, empty, too large, malformed HEX).
  static int CheckSoftwareFile(const char* fileName);

  // --- Discovery ------------------------------------------------------------
  // Finds the devices of the bus by XID scans over their unique IDs (a binary
  // search over the last `depth` characters, 1..17, default 3, for at most
  // `depth` minutes), sorts them by unique ID and gives them the addresses
  // 1, 2, 3, ... Records go to `devices`; the counts are the results.
  int ScanAllDevice(std::vector<AISGDeviceParams>* devices);
  int ScanAllDevice(std::vector<AISGDeviceParams>* devices, int depth);
  // The search alone: appends what it finds, sorts, returns the record count.
  int BinarySearch(std::vector<AISGDeviceParams>* devices, int depth);
  // True when the last search ended at its time limit or left devices that
  // still collided with their whole ID decided: there may be more devices
  // on the bus than it found.
  bool SearchMayHaveMissed() const { return searchIncomplete; }
  // Scan at `address` that any device answers.
  int ScanDevice(int address, AISGDeviceParams* params);
  // Finds one device by vendor code and serial number: 0 or 89.
  int ScanDevice(char* vendor, char* serial, AISGDeviceParams* params);
  // Gives `address` to the device with unique ID `uid`: 0 or the last failing code.
  int SetDeviceAddress(int address, char* uid, int length, AISGDeviceParams* params);
  int SetDeviceAddress(int address, AISGDeviceParams* params);
  // Addresses the device described by `params` and settles its type; 0, 82
  // (no version or type), or a failing code. `vendor` and `serial` are unused.
  int AddDeviceAddress(int address, char* vendor, char* serial, AISGDeviceParams* params);
  // Addresses every record with its devAddress; the number whose type settled.
  int SetAllDeviceAddress(std::vector<AISGDeviceParams>* devices);
  int ResetDeviceAddress(int address);
  int ResetAllDeviceAddress();

 protected:
  // One node of the search; always 0.
  int rBinarySearch(std::vector<AISGDeviceParams>* devices, int depth, char* pattern, int length,
                    int level);
  // Below level 1: splits a still colliding candidate (19-byte work-area
  // pattern and mask) on the bits the levels never decide, until each
  // device answers alone or the time is up; always 0.
  int rDeepSearch(std::vector<AISGDeviceParams>* devices, int depth, const char* pattern,
                  const char* mask, int length);
  // Appends a clean answer's record unless its unique ID is there already.
  void AddFoundDevice(std::vector<AISGDeviceParams>* devices, const AISGDeviceParams& found);
  // True (with its trace line) once the search has run `depth` minutes.
  bool SearchTimeUp(int depth);
  // The two candidate patterns (19 bytes each) and their mask for `level`.
  int ScanMapping(int depth, char* pattern, int level, char* setPattern, char* setMask,
                  char* clearPattern, char* clearMask);
  // One scan exchange: 0 for one clean answer, 89 silence, 82 unusable.
  int ScanDevice(int address, char* uid, char* mask, int length, int level,
                 AISGDeviceParams* params);
  int ScanDevice(int address, char* uid, char* mask, int length, AISGDeviceParams* params);
  // --- End of discovery -------------------------------------------------------

 protected:
  // Waits for the layer-7 answer to `procedure` by RR polling, with the
  // pause and limits of that procedure code; the answer's information field
  // goes to `out` (256 bytes).
  int Polling(int address, int version, char procedure, char* out);

  // One layer-7 exchange; `data` may be null when `length` is 0.
  int DeviceProcedure(int address, int generation, int subunit, char code, char* data, int length,
                      AISGDeviceParams* p);
  int GlobalProcedure(int address, int generation, char code, char* data, int length,
                      AISGDeviceParams* p);

  // Clears the whole record for a new device.
  void InitialParams(AISGDeviceParams* p);
  // Clears the members filled by the given device data identifiers.
  void InitialParams(char* ids, int count, AISGDeviceParams* p);
  void PrintDeviceInfo(char which, AISGDeviceParams* p);

  // Reads device data, for one subunit when `subunit` is not 0 (antenna or
  // TMA form chosen by `devType`).
  int GetDeviceData(int address, int generation, int subunit, int devType, char* ids, int count,
                    AISGDeviceParams* p);
  void PrintDeviceData(int generation, char* ids, int count, AISGDeviceParams* p);

  // Start of the current bus search, in clock microseconds.
  int64_t scanStartUs = 0;
  // Set when the current search may have missed devices.
  bool searchIncomplete = false;

 private:
  // Sends one XID user parameter (`param`, identifier first) and accepts a
  // reply that holds the same identifier in a group of `groupLength` bytes.
  int QueryUserParam(int address, char* param, int paramLength, int groupLength,
                     AISGDeviceParams* p);
};
