#include "aldlink/devices/aisgdevice.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "support/sleep.h"

namespace {

// Procedure results of the engine that the mapping tells apart.
constexpr int kProcOk = 0;
constexpr int kProcFail = 11;

// Device results produced here.
constexpr int kResultNoReturnCode = 11;
constexpr int kResultBadArgument = 36;
constexpr int kResultRelinkFailed = 83;
constexpr int kResultNoLink = 89;

// User data goes over the bus in pieces of at most this many bytes.
constexpr int kUserDataPiece = 16;

// The response area of a parameter record is 128 bytes; the return-code
// text never reads past it.
constexpr int kResponseBytes = static_cast<int>(sizeof(AISGDeviceParams{}.devRcuCodes));

void CopyText(char* out, const ald::HString& text) {
  if (out != nullptr) std::strcpy(out, static_cast<char*>(text));
}

}  // namespace

AISGDevice* AISGDevice::theDevices[AISGDevice::kMaxDevices] = {};
int AISGDevice::theDeviceCount = 0;
int AISGDevice::theDBVersion = 1;

// --- Construction --------------------------------------------------------------

AISGDevice::AISGDevice() = default;

AISGDevice::AISGDevice(int devtype, int aisgver, int address, const char* uid, int uidsize)
    : devtype(devtype), aisgver(aisgver), address(address) {
  // A unique ID longer than the member is never stored, and a missing one
  // gives an empty ID rather than a read through a null pointer.
  const int kept = uid == nullptr ? 0 : std::clamp(uidsize, 0, kUidBytes);
  if (kept > 0) std::memcpy(this->uid, uid, static_cast<size_t>(kept));
  this->uidsize = kept;
  char vendor[3] = {this->uid[0], this->uid[1], 0};
  vendorid = ald::HString(vendor);
  version3gpp = 0;
  state = kStateNew;
}

AISGDevice::~AISGDevice() = default;

void AISGDevice::GetUniqueID(char* out) const {
  if (out == nullptr) return;
  std::strcpy(out, static_cast<char*>(vendorid));
  std::strcat(out, static_cast<char*>(sn));
}

int AISGDevice::GetNumberOfSubunits() {
  return subunitcount;
}

int AISGDevice::GetAlarmStatus(char*) {
  return 0;
}

int AISGDevice::Refresh() {
  return 0;
}

// DownloadSoftware: softwaredownload.cpp. WriteObject, ReadObject and the
// database file: devicedb.cpp.

// --- Registry --------------------------------------------------------------------

AISGDevice* AISGDevice::FindDevice(int address) {
  for (int i = 0; i < theDeviceCount; ++i) {
    if (theDevices[i]->address == address) return theDevices[i];
  }
  return nullptr;
}

AISGDevice* AISGDevice::FindDevice(char* id) {
  if (id == nullptr) return nullptr;
  for (int i = 0; i < theDeviceCount; ++i) {
    const AISGDevice* d = theDevices[i];
    const size_t vendorLength = d->vendorid.GetLength();
    if (std::strncmp(id, d->vendorid, vendorLength) == 0 &&
        std::strcmp(id + vendorLength, d->sn) == 0)
      return theDevices[i];
  }
  return nullptr;
}

AISGDevice* AISGDevice::FindDevice(char* uid, int uidsize) {
  if (uid == nullptr || uidsize < 0 || uidsize > kUidBytes) return nullptr;
  for (int i = 0; i < theDeviceCount; ++i) {
    const AISGDevice* d = theDevices[i];
    if (d->uidsize == uidsize && std::memcmp(d->uid, uid, static_cast<size_t>(uidsize)) == 0)
      return theDevices[i];
  }
  return nullptr;
}

int AISGDevice::AddDevice(AISGDevice* device) {
  if (device == nullptr || theDeviceCount >= kMaxDevices) return -1;
  theDevices[theDeviceCount++] = device;
  return 0;
}

int AISGDevice::RemoveDevice(char* uid) {
  if (uid == nullptr) return 0;
  // The text is compared over its own length only, so a short text is never
  // read beyond its terminator.
  const size_t length = strnlen(uid, kUidBytes + 1);
  for (int i = 0; i < theDeviceCount; ++i) {
    const AISGDevice* d = theDevices[i];
    if (static_cast<size_t>(d->uidsize) == length && std::memcmp(d->uid, uid, length) == 0) {
      theDevices[i] = theDevices[theDeviceCount - 1];
      theDevices[theDeviceCount - 1] = nullptr;
      --theDeviceCount;
      break;
    }
  }
  return 0;
}

int AISGDevice::RefreshDevices() {
  for (int i = 0; i < theDeviceCount; ++i) theDevices[i]->Refresh();
  return 0;
}

// --- Connection --------------------------------------------------------------

int AISGDevice::OpenConnection(AISGDEVICEEP& ep, AISGDeviceParams& params, int retries,
                               int enable) {
  ep.OpenConnection();
  for (int attempt = 0; attempt <= retries; ++attempt) {
    if (aisgver == 2) {
      // An AISG 2 device gets its address by its unique ID before every
      // attempt: it may have lost it since the last operation.
      params.devUniqueIDSize = uidsize;
      std::memset(params.devUniqueID, 0, sizeof params.devUniqueID);
      std::memcpy(params.devUniqueID, uid, static_cast<size_t>(uidsize));
      ep.SetDeviceAddress(address, &params);
    }
    if (ep.SetSNRM(address) != 0) {
      ald::sleep(2);
      std::printf("SetSNRM fail!\n");
      continue;
    }
    if (aisgver == 1 && enable != 0) ep.EnableDevice(address, &params);
    return 0;
  }
  ep.StopConnection();
  return -1;
}

int AISGDevice::CloseConnection(AISGDEVICEEP& ep) {
  std::printf("AISGDevice::CloseConnection(ep)\n");
  if (aisgver == 2) ep.SetDISC(address);
  return ep.StopConnection();
}

int AISGDevice::PollDevice(int) {
  AISGDEVICEEP ep;
  AISGDeviceParams params{};
  // A failed opening has stopped the connection already; stopping twice is
  // harmless. No disconnect frame, whatever the generation.
  OpenConnection(ep, params, 0, 0);
  ep.StopConnection();
  return 0;
}

// --- Result mapping ------------------------------------------------------------

int AISGDevice::AISGReturnCodeMap(int code, const char* response, DevResult& result,
                                  ald::HString& errorCodes) {
  errorCodes = ald::HString("");
  if (code == kProcOk) {
    result = 0;
  } else if (code == kProcFail) {
    // A FAIL answer without reason codes has a zero where the first code
    // would be; taking that zero as the result would report the failure as
    // success, so it counts as a failure without return code.
    if (response != nullptr && response[0] != 0 && response[1] != 0) {
      result = static_cast<signed char>(response[1]);
      char codes[kResponseBytes];
      const size_t n = strnlen(response + 1, kResponseBytes - 1);
      std::memcpy(codes, response + 1, n);
      codes[n] = 0;
      errorCodes = ald::HString(codes);
    } else {
      result = kResultNoReturnCode;
      errorCodes = ald::HString(static_cast<char>(kResultNoReturnCode));
    }
  } else {
    result = kResultNoLink;
  }
  return result;
}

// --- Device-wide procedures ----------------------------------------------------

int AISGDevice::ResetSoftware() {
  std::printf("AISGDevice::ResetSoftware()\n");
  DevResult result = 0;
  AISGDEVICEEP ep;
  AISGDeviceParams params{};
  if (OpenConnection(ep, params, 0, 1) != 0) {
    Refresh();
    return kResultNoLink;
  }
  const int r = ep.ResetSoftware(address, aisgver, &params);
  // The device restarts after its answer; give it time before the
  // disconnect frame.
  if (r == kProcOk) ald::sleep(5);
  CloseConnection(ep);
  AISGReturnCodeMap(r, reinterpret_cast<const char*>(params.devRcuCodes), result, errorcodes);
  Refresh();
  return result;
}

int AISGDevice::ClearActiveAlarms() {
  std::printf("AISGDevice::ClearActiveAlarms()\n");
  DevResult result = 0;
  AISGDEVICEEP ep;
  AISGDeviceParams params{};
  if (OpenConnection(ep, params, 0, 1) != 0) return kResultNoLink;
  const int r = ep.ClearActiveAlarms(address, aisgver, &params);
  CloseConnection(ep);
  AISGReturnCodeMap(r, reinterpret_cast<const char*>(params.devRcuCodes), result, errorcodes);
  return result;
}

int AISGDevice::AlarmSubscribe() {
  std::printf("AISGDevice::AlarmSubscribe()\n");
  DevResult result = 0;
  AISGDEVICEEP ep;
  AISGDeviceParams params{};
  if (OpenConnection(ep, params, 0, 1) != 0) return kResultNoLink;
  const int r = ep.AlarmSubscribe(address, &params);
  CloseConnection(ep);
  AISGReturnCodeMap(r, reinterpret_cast<const char*>(params.devRcuCodes), result, errorcodes);
  return result;
}

int AISGDevice::SelfTest() {
  std::printf("AISGDevice::SelfTest()\n");
  DevResult result = 0;
  AISGDEVICEEP ep;
  AISGDeviceParams params{};
  if (OpenConnection(ep, params, 0, 1) != 0) return kResultNoLink;
  const int r = ep.SelfTest(address, aisgver, &params);
  CloseConnection(ep);
  AISGReturnCodeMap(r, reinterpret_cast<const char*>(params.devRcuCodes), result, errorcodes);
  Refresh();
  return result;
}

// --- Identity --------------------------------------------------------------------

int AISGDevice::GetInformation(char* productNumber, char* serialNumber, char* hwVersion,
                               char* swVersion, int refresh) {
  std::printf("AISGDevice::GetInformation(%d)\n", refresh);
  DevResult result = 0;
  if (refresh != 0 || state != kStateOk) {
    AISGDEVICEEP ep;
    AISGDeviceParams params{};
    if (OpenConnection(ep, params, 0, 1) != 0) {
      result = kResultNoLink;
    } else {
      const int r = GetInformation(ep, params);
      // After a failed re-link the connection is stopped already.
      if (r != kResultRelinkFailed) CloseConnection(ep);
      AISGReturnCodeMap(r, reinterpret_cast<const char*>(params.devRcuCodes), result, errorcodes);
    }
  }
  CopyText(productNumber, productnumber);
  CopyText(serialNumber, sn);
  CopyText(hwVersion, hwver);
  CopyText(swVersion, swver);
  return result;
}

int AISGDevice::GetInformation(AISGDEVICEEP& ep, AISGDeviceParams& params) {
  std::printf("AISGDevice::GetInformation(ep)\n");
  const int r = ep.GetInfo(address, aisgver, &params);
  if (r != kProcOk) return r;
  if (!sn) {
    productnumber = ald::HString(params.devModel);
    sn = ald::HString(params.devSerial);
    hwver = ald::HString(params.devHWver);
    swver = ald::HString(params.devSWver);
  }
  if (sn == ald::HString(params.devSerial)) {
    productnumber = ald::HString(params.devModel);
    hwver = ald::HString(params.devHWver);
    swver = ald::HString(params.devSWver);
    return kProcOk;
  }
  if (vendorid == "AR") {
    // This vendor's devices may report another serial number than the one
    // in their unique ID; ask the bus whether the device behind our unique
    // ID is still the one at this address.
    char vendor[3] = {uid[0], uid[1], 0};
    char serial[kUidBytes] = {};
    std::memcpy(serial, uid + 2, kUidBytes - 2);
    // The search keeps the identity texts that the information procedure
    // just put into the record.
    if (SearchKnownDevice(ep, vendor, serial, &params) == kProcOk &&
        params.devUniqueIDSize >= uidsize &&
        std::memcmp(params.devUniqueID, uid, static_cast<size_t>(uidsize)) == 0) {
      sn = ald::HString(params.devSerial);
      swver = ald::HString(params.devSWver);
    }
    // The search's broadcast reset dropped the link to this device too; the
    // caller goes on reading over it.
    CloseConnection(ep);
    if (OpenConnection(ep, params, 1, 1) != 0) return kResultRelinkFailed;
    return kProcOk;
  }
  // Another device answers at this address: the AISG 1 devices lost or
  // swapped their addresses.
  std::printf("Address change found! Reset address!\n");
  ResetAllDeviceAdress(ep);
  CloseConnection(ep);
  if (OpenConnection(ep, params, 1, 1) != 0) return kResultRelinkFailed;
  return kProcOk;
}

// --- User data ---------------------------------------------------------------------

int AISGDevice::ReadUserData(char* buffer, int length, int offset) {
  std::printf("AISGDevice::ReadUserData()\n");
  // A missing buffer is a bad argument too: nothing could be put anywhere.
  if (length < 0 || offset < 0 || (length > 0 && buffer == nullptr)) return kResultBadArgument;
  DevResult result = 0;
  AISGDEVICEEP ep;
  AISGDeviceParams params{};
  if (OpenConnection(ep, params, 0, 1) != 0) return kResultNoLink;
  int r = kProcOk;
  for (int done = 0; done < length;) {
    const int piece = std::min(kUserDataPiece, length - done);
    // Offsets beyond what an int holds are passed as INT_MAX, which the
    // engine refuses like any offset out of the device's range.
    const long long at = static_cast<long long>(offset) + done;
    r = ep.ReadUserData(address, static_cast<int>(std::min<long long>(at, INT_MAX)), piece,
                        &params);
    if (r != kProcOk) break;
    std::memcpy(buffer + done, params.devUserData, static_cast<size_t>(piece));
    done += piece;
  }
  CloseConnection(ep);
  AISGReturnCodeMap(r, reinterpret_cast<const char*>(params.devRcuCodes), result, errorcodes);
  return result;
}

int AISGDevice::WriteUserData(char* data, int length, int offset) {
  std::printf("AISGDevice::WriteUserData()\n");
  if (length < 0 || offset < 0 || (length > 0 && data == nullptr)) return kResultBadArgument;
  DevResult result = 0;
  AISGDEVICEEP ep;
  AISGDeviceParams params{};
  if (OpenConnection(ep, params, 0, 1) != 0) return kResultNoLink;
  int r = kProcOk;
  for (int done = 0; done < length;) {
    const int piece = std::min(kUserDataPiece, length - done);
    const long long at = static_cast<long long>(offset) + done;
    r = ep.WriteUserData(address, static_cast<int>(std::min<long long>(at, INT_MAX)), data + done,
                         piece, &params);
    if (r != kProcOk) break;
    done += piece;
  }
  CloseConnection(ep);
  AISGReturnCodeMap(r, reinterpret_cast<const char*>(params.devRcuCodes), result, errorcodes);
  return result;
}

// --- Text utilities ----------------------------------------------------------------

void AISGDevice::Char2Hex(char c, char* out) {
  static const char kDigits[] = "0123456789abcdef";
  const unsigned char b = static_cast<unsigned char>(c);
  out[0] = kDigits[b >> 4];
  out[1] = kDigits[b & 0x0F];
}

void AISGDevice::Char2Hex(const char* in, int count, char* out) {
  for (int i = 0; i < count; ++i) Char2Hex(in[i], out + 2 * i);
}

void AISGDevice::AlignRight(const char* src, int srcLength, char* dst, int dstLength) {
  if (src == nullptr || dst == nullptr || srcLength < 0 || dstLength < 0) return;
  if (dstLength >= srcLength) {
    // Move first, then fill: the source may lie in the part being filled.
    std::memmove(dst + (dstLength - srcLength), src, static_cast<size_t>(srcLength));
    std::memset(dst, 0, static_cast<size_t>(dstLength - srcLength));
  } else {
    std::memmove(dst, src, static_cast<size_t>(dstLength));
  }
}
