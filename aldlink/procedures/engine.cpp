// The layer-7 request/response engine and the device-wide procedures built
// on it, plus the version queries exchanged as XID user parameters.
#include <cstdio>
#include <cstring>

#include "aldlink/procedures/aisgdeviceep.h"
#include "aldlink/procedures/procedure_util.h"
#include "support/clock.h"

using namespace ald::procedures;

namespace {

constexpr unsigned char kReturnOk = 0x00;
constexpr unsigned char kReturnFail = 0x0B;
// The most answer data kept in the response area.
constexpr int kMaxAnswerData = 80;
// The information field of one I-frame, before transparency.
constexpr int kMaxInfoField = 250;
// A user data piece never exceeds the record's buffer.
constexpr int kMaxUserDataRead = sizeof(AISGDeviceParams::devUserData);
constexpr int kMaxUserDataWrite = 71;

bool IsVendorSpecific(unsigned char code) {
  return code == 0xFF || code == 0x90;
}

// Download segments and download end are never preceded by a new link
// set-up: the device is in the middle of a download and must not lose it.
bool RelinkAllowed(unsigned char code) {
  return code != 0x21 && code != 0x22 && code != 0x41 && code != 0x42;
}

}  // namespace

namespace ald::procedures {

void CleanText(char* text, int n) {
  int lead = 0;
  while (lead < n && text[lead] == 0) ++lead;
  if (lead > 0) {
    std::memmove(text, text + lead, n - lead);
    std::memset(text + n - lead, 0, lead);
  }
  for (int i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c > 0x7E) text[i] = 0;
  }
}

void PrintRcuCodes(const AISGDeviceParams* p, bool bad) {
  printf("p->devRcuCodes: ");
  int n = p->devRcuCodesSize;
  if (n > kMaxAnswerData) n = kMaxAnswerData;
  for (int i = 0; i < n; ++i) printf("%x ", p->devRcuCodes[i]);
  printf(bad ? "(DEV_BADRESPONDING)\n" : "\n");
}

}  // namespace ald::procedures

int AISGDEVICEEP::DeviceProcedure(int address, int generation, int subunit, char code, char* data,
                                  int length, AISGDeviceParams* p) {
  if (p == nullptr) return kInvalid;
  std::memset(p->devRcuCodes, 0, sizeof p->devRcuCodes);
  p->devRcuCodesSize = 0;

  if (generation != 1 && generation != 2) return kInvalid;
  if (length < 0 || (length > 0 && data == nullptr)) return kInvalid;
  const bool withSubunit = generation == 2 && subunit > 0;
  const int lengthField = withSubunit ? length + 1 : length;

  char request[256];
  int n = 0;
  if (generation == 1) request[n++] = 1;
  request[n++] = code;
  request[n++] = static_cast<char>(lengthField & 0xFF);
  request[n++] = static_cast<char>((lengthField >> 8) & 0xFF);
  if (withSubunit) request[n++] = static_cast<char>(subunit);
  // The whole message must fit one I-frame.
  if (n + length > kMaxInfoField) return kInvalid;
  if (length > 0) std::memcpy(request + n, data, length);
  n += length;

  const unsigned char ucode = static_cast<unsigned char>(code);
  int result = SendInfo(address, request, n, RelinkAllowed(ucode) ? 1 : 0);
  if (result != kOk) return result;

  char answer[256] = {};
  result = Polling(address, generation, code, answer);
  if (result != kOk) return result;

  // Bytes of the message that really arrived: the frame less flags,
  // address, control and FCS, less the leading byte of an AISG 1.x message.
  int arrived = readFrame.size - (generation == 1 ? 7 : 6);
  if (arrived < 0) arrived = 0;
  if (arrived > static_cast<int>(sizeof answer)) arrived = sizeof answer;

  const unsigned char* a = reinterpret_cast<const unsigned char*>(answer);
  const unsigned char answerCode = a[0];
  int dataLength = a[1] | (a[2] << 8);
  if (dataLength > kMaxAnswerData) dataLength = kMaxAnswerData;
  const int skip = withSubunit ? 1 : 0;
  // Only bytes that arrived go into the response area, even when the
  // length field claims more.
  const bool complete = 3 + dataLength <= arrived;
  int size = (complete ? dataLength : arrived - 3) - skip;
  if (size < 0) size = 0;
  std::memcpy(p->devRcuCodes, a + 3 + skip, size);
  p->devRcuCodesSize = size;

  if (IsVendorSpecific(answerCode)) {
    // Whatever a vendor answers is the caller's to interpret, but only the
    // bytes that arrived.
    if (!complete) {
      PrintRcuCodes(p, true);
      return kBadResponse;
    }
    PrintRcuCodes(p, false);
    return kOk;
  }
  // A message shorter than its length field, or without a return code, is
  // not an answer: the missing bytes would read as zeros (OK).
  if (answerCode != ucode || !complete || size < 1) {
    PrintRcuCodes(p, true);
    return kBadResponse;
  }
  if (p->devRcuCodes[0] == kReturnOk) {
    PrintRcuCodes(p, false);
    return kOk;
  }
  if (p->devRcuCodes[0] == kReturnFail) {
    PrintRcuCodes(p, false);
    // Block header and segment failures carry the block or segment number
    // before the reason codes; move the reason codes up behind the FAIL byte.
    int extra = 0;
    if (answerCode == 0x20 && p->devRcuCodesSize > 3) extra = 2;
    if (answerCode == 0x21 && p->devRcuCodesSize > 2) extra = 1;
    if (extra > 0) {
      int rest = p->devRcuCodesSize - 1 - extra;
      std::memmove(p->devRcuCodes + 1, p->devRcuCodes + 1 + extra, rest);
      std::memset(p->devRcuCodes + 1 + rest, 0, extra);
      p->devRcuCodesSize -= extra;
    }
    return kFail;
  }
  PrintRcuCodes(p, true);
  return kBadResponse;
}

int AISGDEVICEEP::GlobalProcedure(int address, int generation, char code, char* data, int length,
                                  AISGDeviceParams* p) {
  return DeviceProcedure(address, generation, 0, code, data, length, p);
}

int AISGDEVICEEP::GetDeviceType(int address, AISGDeviceParams* p) {
  int result = GlobalProcedure(address, 1, 0x02, nullptr, 0, p);
  if (result != kOk) return result;
  if (p->devRcuCodesSize != 4) return kBadResponse;
  p->devVendorID[0] = static_cast<char>(p->devRcuCodes[1]);
  p->devVendorID[1] = static_cast<char>(p->devRcuCodes[2]);
  p->devVendorID[2] = 0;
  p->devType = p->devRcuCodes[3];
  p->devAisgVersion = 1;
  return kOk;
}

int AISGDEVICEEP::ResetSoftware(int address, int generation, AISGDeviceParams* p) {
  int result = GlobalProcedure(address, generation, 0x03, nullptr, 0, p);
  if (result != kOk) return result;
  // The device restarts; a failed poll here says nothing about the reset.
  for (int i = 0; i < 3; ++i) {
    if (SetRR(address) == kOk) break;
  }
  ald::GetClock().SleepMs(1200);
  return kOk;
}

int AISGDEVICEEP::GetAlarmStatus(int address, int generation, AISGDeviceParams* p) {
  return GlobalProcedure(address, generation, 0x04, nullptr, 0, p);
}

// Texts longer than their field are cut to the field, keeping the
// terminating zero; the walk still moves past the whole text so the texts
// after it are read from the right place. A length byte or text that runs
// past the received data makes the answer bad, and then no field changes.
int AISGDEVICEEP::GetInfo(int address, int generation, AISGDeviceParams* p) {
  int result = GlobalProcedure(address, generation, 0x05, nullptr, 0, p);
  if (result != kOk) return result;
  const int size = p->devRcuCodesSize;
  if (size < 1) return kBadResponse;

  int index = 1;
  for (int t = 0; t < 4; ++t) {
    if (index >= size) return kBadResponse;
    index += 1 + p->devRcuCodes[index];
  }
  if (index > size) return kBadResponse;

  struct Field {
    char* text;
    int capacity;
    char which;
  };
  const Field fields[4] = {{p->devModel, sizeof p->devModel, 16},
                           {p->devSerial, sizeof p->devSerial, 17},
                           {p->devHWver, sizeof p->devHWver, 19},
                           {p->devSWver, sizeof p->devSWver, 20}};
  index = 1;
  for (const Field& f : fields) {
    int n = p->devRcuCodes[index];
    int kept = n < f.capacity - 1 ? n : f.capacity - 1;
    std::memcpy(f.text, p->devRcuCodes + index + 1, kept);
    std::memset(f.text + kept, 0, f.capacity - kept);
    CleanText(f.text, kept);
    PrintDeviceInfo(f.which, p);
    index += 1 + n;
  }
  return kOk;
}

int AISGDEVICEEP::ClearActiveAlarms(int address, int generation, AISGDeviceParams* p) {
  return GlobalProcedure(address, generation, 0x06, nullptr, 0, p);
}

int AISGDEVICEEP::EnableDevice(int address, AISGDeviceParams* p) {
  return GlobalProcedure(address, 1, 0x08, nullptr, 0, p);
}

int AISGDEVICEEP::DisableDevice(int address, AISGDeviceParams* p) {
  return GlobalProcedure(address, 1, 0x09, nullptr, 0, p);
}

int AISGDEVICEEP::SelfTest(int address, int generation, AISGDeviceParams* p) {
  return GlobalProcedure(address, generation, 0x0A, nullptr, 0, p);
}

// A longer text than devBitRates holds is cut to the field, keeping the
// terminating zero.
int AISGDEVICEEP::GetBitRates(int address, AISGDeviceParams* p) {
  int result = GlobalProcedure(address, 1, 0x0D, nullptr, 0, p);
  if (result != kOk) return result;
  if (p->devRcuCodesSize < 1) return kBadResponse;
  int n = p->devRcuCodesSize - 1;
  const int capacity = sizeof p->devBitRates;
  if (n > capacity - 1) n = capacity - 1;
  std::memset(p->devBitRates, 0, capacity);
  std::memcpy(p->devBitRates, p->devRcuCodes + 1, n);
  return kOk;
}

int AISGDEVICEEP::SetDeviceData(int address, int generation, char* data, int length,
                                AISGDeviceParams* p) {
  int result = GlobalProcedure(address, generation, 0x0E, data, length, p);
  // The device stores the field before it takes the next request.
  ald::GetClock().SleepMs(100);
  return result;
}

// A piece larger than devUserData is refused before anything is sent (84):
// there is nowhere to put it, and the callers read 16 bytes at a time.
int AISGDEVICEEP::ReadUserData(int address, int offset, int count, AISGDeviceParams* p) {
  if (p == nullptr) return kInvalid;
  if (offset < 0 || offset > 0xFFFF || count < 0 || count > kMaxUserDataRead) {
    std::memset(p->devRcuCodes, 0, sizeof p->devRcuCodes);
    p->devRcuCodesSize = 0;
    return kInvalid;
  }
  char request[3] = {static_cast<char>(offset & 0xFF), static_cast<char>((offset >> 8) & 0xFF),
                     static_cast<char>(count)};
  int result = GlobalProcedure(address, 2, 0x10, request, sizeof request, p);
  if (result != kOk) return result;
  if (p->devRcuCodesSize != count + 1) return kBadResponse;
  std::memcpy(p->devUserData, p->devRcuCodes + 1, count);
  return kOk;
}

// Data beyond 71 bytes is cut, and the length byte says what is sent.
int AISGDEVICEEP::WriteUserData(int address, int offset, char* data, int length,
                                AISGDeviceParams* p) {
  if (p == nullptr) return kInvalid;
  if (offset < 0 || offset > 0xFFFF || length < 0 || (length > 0 && data == nullptr)) {
    std::memset(p->devRcuCodes, 0, sizeof p->devRcuCodes);
    p->devRcuCodesSize = 0;
    return kInvalid;
  }
  if (length > kMaxUserDataWrite) length = kMaxUserDataWrite;
  char request[3 + kMaxUserDataWrite];
  request[0] = static_cast<char>(offset & 0xFF);
  request[1] = static_cast<char>((offset >> 8) & 0xFF);
  request[2] = static_cast<char>(length);
  if (length > 0) std::memcpy(request + 3, data, length);
  return GlobalProcedure(address, 2, 0x11, request, 3 + length, p);
}

int AISGDEVICEEP::AlarmSubscribe(int address, AISGDeviceParams* p) {
  return GlobalProcedure(address, 2, 0x12, nullptr, 0, p);
}

int AISGDEVICEEP::SetVendorSpecific(int address, int generation, char* data, int length,
                                    AISGDeviceParams* p) {
  if (generation == 1) return GlobalProcedure(address, 1, static_cast<char>(0xFF), data, length, p);
  if (generation == 2) return GlobalProcedure(address, 2, static_cast<char>(0x90), data, length, p);
  if (p != nullptr) {
    std::memset(p->devRcuCodes, 0, sizeof p->devRcuCodes);
    p->devRcuCodesSize = 0;
  }
  return kInvalid;
}

int AISGDEVICEEP::QueryUserParam(int address, char* param, int paramLength, int groupLength,
                                 AISGDeviceParams* p) {
  if (p == nullptr) return kInvalid;
  std::memset(p->devRcuCodes, 0, sizeof p->devRcuCodes);
  p->devRcuCodesSize = 0;
  int sent = SetXIDUserParams(address, param, paramLength);
  if (sent != 0) return sent;

  // The parser copies as many bytes as the group length claims; give it a
  // whole frame's worth and keep only what the frame really carried.
  char buffer[256] = {};
  int answerAddress = 0;
  int version = 0;
  int length = 0;
  int result = GetXIDUserParams(answerAddress, version, buffer, length);
  if (result != kOk) return result;
  int carried = readFrame.size - 9;
  if (carried < 0) carried = 0;
  int kept = length < carried ? length : carried;
  if (kept < 0) kept = 0;
  if (kept > static_cast<int>(sizeof p->devRcuCodes)) kept = sizeof p->devRcuCodes;
  p->devAddress = answerAddress;
  p->devAisgVersion = version;
  std::memcpy(p->devRcuCodes, buffer, kept);
  p->devRcuCodesSize = kept;
  if (length != groupLength || kept != groupLength || buffer[0] != param[0]) return kBadResponse;
  PrintRcuCodes(p, false);
  return kOk;
}

int AISGDEVICEEP::GetAisgVersion(int address, AISGDeviceParams* p) {
  return GetAisgVersion(address, 2, p);
}

int AISGDEVICEEP::GetAisgVersion(int address, int version, AISGDeviceParams* p) {
  char param[3] = {0x14, 1, static_cast<char>(version)};
  int result = QueryUserParam(address, param, sizeof param, 3, p);
  if (result != kOk) return result;
  p->devAisgVersion = p->devRcuCodes[2];
  printf("p->devAisgVersion=%u\n", static_cast<unsigned>(p->devAisgVersion));
  return kOk;
}

int AISGDEVICEEP::Get3gppVersion(int address, AISGDeviceParams* p) {
  return Get3gppVersion(address, 6, p);
}

int AISGDEVICEEP::Get3gppVersion(int address, int release, AISGDeviceParams* p) {
  char param[3] = {0x05, 1, static_cast<char>(release)};
  int result = QueryUserParam(address, param, sizeof param, 3, p);
  if (result != kOk) return result;
  p->dev3gppVersion = p->devRcuCodes[2];
  printf("p->dev3gppVersion=%u\n", static_cast<unsigned>(p->dev3gppVersion));
  return kOk;
}

int AISGDEVICEEP::GetExtSubVersion(int address, int value, AISGDeviceParams* p) {
  char param[4] = {0x15, 2, static_cast<char>(value & 0xFF),
                   static_cast<char>((value >> 8) & 0xFF)};
  int result = QueryUserParam(address, param, sizeof param, 4, p);
  if (result != kOk) return result;
  p->devExtSubVersion = p->devRcuCodes[2] + 256u * p->devRcuCodes[3];
  printf("p->devExtSubVersion=%u\n", p->devExtSubVersion);
  return kOk;
}
