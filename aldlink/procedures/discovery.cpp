// Device discovery and address assignment: the XID bus search over the
// devices' unique IDs, the sort, address assignment and address reset, and
// the search for one known device.
//
// A scan names a unique-ID pattern and a bit mask; every device whose ID
// matches the pattern on all masked bits answers, and several answers at
// once collide into an unusable frame. The search walks a binary tree over
// the bits of the last `depth` characters: a collision sends it one level
// deeper on both halves, silence prunes a branch. Devices that still collide
// with every level decided differ somewhere the levels never look; the
// search then splits on those bits too rather than lose them.
#include <cstdio>
#include <cstring>
#include <vector>

#include "aldlink/procedures/aisgdeviceep.h"
#include "aldlink/procedures/procedure_util.h"
#include "support/clock.h"

using namespace ald::procedures;

namespace {

// The work area holds a 19-byte unique ID; a 14-byte ID sits in its last
// 14 bytes, so its vendor code is at indices 5 and 6.
constexpr int kIdSize = 19;
constexpr int kShortIdSize = 14;
constexpr int kShortIdOffset = kIdSize - kShortIdSize;
constexpr int kAllStations = 0xFF;

constexpr int kMinDepth = 1;
constexpr int kMaxDepth = 17;
constexpr int kDefaultDepth = 3;

// The first node of the whole-ID pass is tried more often: an empty answer
// there would end the search before it started.
constexpr int kTopLevelTries = 5;
constexpr int kTries = 2;
constexpr int kAssignAttempts = 10;
constexpr int kTypeTries = 3;
constexpr int kSearchAttempts = 10;
// Addresses released one by one before a complete scan.
constexpr int kResetAddresses = 24;

// Vendors whose devices carry 14-byte unique IDs. One list for the bus
// search and the search for one device: a vendor missing from either could
// be found by one and never by the other.
const char* const kShortIdVendors[] = {"AL", "LA", "LG", "PW", "RE", "RW"};

// Characters a search pass can resolve: a 14-byte ID holds its vendor code
// and 12 serial characters, a 19-byte ID its vendor code and 17. Deciding a
// byte beyond those would split on bytes the pattern fixes already.
constexpr int kMaxShortIdDepth = kShortIdSize - 2;

bool IsShortIdVendor(const char* vendor) {
  for (const char* v : kShortIdVendors) {
    if (vendor[0] == v[0] && vendor[1] == v[1]) return true;
  }
  return false;
}

int PassDepth(int depth, int length) {
  return length == kShortIdSize && depth > kMaxShortIdDepth ? kMaxShortIdDepth : depth;
}

int ClampDepth(int depth) {
  if (depth < kMinDepth) return kMinDepth;
  if (depth > kMaxDepth) return kMaxDepth;
  return depth;
}

int TopLevel(int depth) {
  return 4 * depth + 4;
}

// Division and remainder rounding towards minus infinity.
int FloorDiv(int a, int b) {
  const int q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

void PrintRule(char c, int count) {
  for (int i = 0; i < count; ++i) std::printf("%c", c);
  std::printf("\n");
}

int ClampIdSize(int size) {
  if (size < 0) return 0;
  if (size > static_cast<int>(sizeof(AISGDeviceParams::devUniqueID)))
    return sizeof(AISGDeviceParams::devUniqueID);
  return size;
}

// True when `uid` names the same device as the stored record, compared over
// the stored record's ID length.
bool SameDevice(const AISGDeviceParams& stored, const AISGDeviceParams& found) {
  const int n = ClampIdSize(stored.devUniqueIDSize);
  return std::memcmp(stored.devUniqueID, found.devUniqueID, n) == 0;
}

// Byte `index` of a sent pattern, 0 outside it (the trace shows the last
// three bytes of whatever was sent, also of IDs shorter than three).
unsigned Shown(const char* bytes, int length, int index) {
  if (index < 0 || index >= length) return 0;
  return static_cast<unsigned char>(bytes[index]);
}

}  // namespace

// ---------------------------------------------------------------------------
// One scan exchange

int AISGDEVICEEP::ScanDevice(int address, char* uid, char* mask, int length, int level,
                             AISGDeviceParams* params) {
  if (params == nullptr || uid == nullptr || mask == nullptr || length < 1 || length > kIdSize)
    return kInvalid;
  // A scan that could not be sent leaves an empty answer, which the parser
  // reports as silence.
  SetXIDScan(address, uid, mask, length);

  // The parser copies as many bytes as the group length claims, at most a
  // frame's worth.
  unsigned char answer[256] = {};
  int answerLength = 0;
  const int result = GetXIDScan(params->devAddress, params->devAisgVersion,
                                reinterpret_cast<char*>(answer), answerLength);
  if (result != kOk) return result;
  if (answerLength < 0) answerLength = 0;
  if (answerLength > static_cast<int>(sizeof answer)) answerLength = sizeof answer;

  if (level == 1) {
    std::printf(
        "---------------------------\x1b[1;31mDEPTH=%d\x1b[0m"
        "----------------------------------\n",
        1);
    std::printf("Scan found id = 0x%02x 0x%02x 0x%02x, msk = 0x%02x 0x%02x 0x%02x\n",
                Shown(uid, length, length - 3), Shown(uid, length, length - 2),
                Shown(uid, length, length - 1), Shown(mask, length, length - 3),
                Shown(mask, length, length - 2), Shown(mask, length, length - 1));
    PrintDeviceInfo(5, params);
  }

  int i = 0;
  while (i + 2 <= answerLength) {
    const int id = answer[i];
    const int n = answer[i + 1];
    const unsigned char* value = answer + i + 2;
    const bool complete = i + 2 + n <= answerLength;
    if (id == 1) {
      // Without its whole unique ID the answer names no device.
      if (!complete || n < 1 || n > kIdSize) return kBadResponse;
      std::memset(params->devUniqueID, 0, sizeof params->devUniqueID);
      std::memcpy(params->devUniqueID, value, n);
      params->devUniqueIDSize = n;
      if (level == 1) {
        PrintDeviceInfo(7, params);
        PrintDeviceInfo(8, params);
      }
    } else if (id == 2 && complete && n >= 1) {
      params->devAddress = value[0];
    } else if (id == 4 && complete && n >= 1) {
      params->devType = value[0];
    } else if (id == 6 && complete && n >= 2) {
      params->devVendorID[0] = static_cast<char>(value[0]);
      params->devVendorID[1] = static_cast<char>(value[1]);
      params->devVendorID[2] = 0;
    } else if (id == 9 && complete && n >= 1) {
      params->devAisgVersion = value[0];
    } else {
      break;
    }
    i += 2 + n;
  }

  if (level == 1) PrintRule('-', 70);
  return kOk;
}

int AISGDEVICEEP::ScanDevice(int address, char* uid, char* mask, int length,
                             AISGDeviceParams* params) {
  return ScanDevice(address, uid, mask, length, 1, params);
}

int AISGDEVICEEP::ScanDevice(int address, AISGDeviceParams* params) {
  char pattern[kIdSize] = {};
  char mask[kIdSize] = {};
  return ScanDevice(address, pattern, mask, kIdSize, 1, params);
}

// ---------------------------------------------------------------------------
// The search

// Going down from the top level the search decides, for each of the last
// `depth` characters from the first to the last, bits 3, 2, 1 and 0, and at
// the bottom four levels bits 4 and 5 of the last two characters.
int AISGDEVICEEP::ScanMapping(int depth, char* pattern, int level, char* setPattern, char* setMask,
                              char* clearPattern, char* clearMask) {
  if (pattern == nullptr || setPattern == nullptr || setMask == nullptr ||
      clearPattern == nullptr || clearMask == nullptr)
    return 0;
  depth = ClampDepth(depth);
  unsigned char mask[kIdSize] = {};
  for (int i = kIdSize - depth; i < kIdSize; ++i) mask[i] = 0x0F;
  std::memcpy(setPattern, pattern, kIdSize);
  std::memcpy(clearPattern, pattern, kIdSize);
  auto p = [&](int k) { return static_cast<unsigned char>(pattern[k]); };
  auto put = [&](int k, unsigned set, unsigned clear) {
    setPattern[k] = static_cast<char>(set);
    clearPattern[k] = static_cast<char>(clear);
  };

  if (level >= 5 && level <= 80) {
    const int q = FloorDiv(level - 9, 4);
    const int r = (level - 9) - 4 * q;
    const int k = 17 - q;
    for (int j = k + 1; j < kIdSize; ++j) mask[j] = 0;
    switch (r) {
      case 3:  // first level of the byte
        put(k, 0x08, 0x00);
        mask[k] = 0x08;
        break;
      case 2:
        put(k, p(k) | 0x04, p(k));
        mask[k] = 0x0C;
        break;
      case 1:
        put(k, p(k) | 0x02, p(k));
        mask[k] = 0x0E;
        break;
      default:  // last level of the byte
        put(k, p(k) | 0x01, p(k));
        mask[k] = 0x0F;
        break;
    }
  } else if (level == 4) {
    put(18, p(18) | 0x10, p(18));
    mask[18] = 0x1F;
  } else if (level == 3) {
    put(18, p(18) | 0x20, p(18));
    mask[18] = 0x3F;
  } else if (level == 2) {
    put(17, p(17) | 0x10, p(17));
    mask[17] = 0x1F;
    mask[18] = 0x3F;
  } else if (level == 1) {
    put(17, p(17) | 0x20, p(17));
    mask[17] = 0x3F;
    mask[18] = 0x3F;
  }
  std::memcpy(setMask, mask, kIdSize);
  std::memcpy(clearMask, mask, kIdSize);
  return 0;
}

void AISGDEVICEEP::AddFoundDevice(std::vector<AISGDeviceParams>* devices,
                                  const AISGDeviceParams& found) {
  for (const AISGDeviceParams& stored : *devices) {
    if (SameDevice(stored, found)) return;
  }
  std::printf("--------------------------  New ALD Found  ---------------------------\n");
  AISGDeviceParams shown = found;
  PrintDeviceInfo(8, &shown);
  PrintDeviceInfo(7, &shown);
  PrintRule('-', 70);
  devices->push_back(found);
}

bool AISGDEVICEEP::SearchTimeUp(int depth) {
  if (ald::GetClock().NowUs() - scanStartUs <= static_cast<int64_t>(depth) * 60 * 1000000)
    return false;
  std::printf("Scan terminated! Scan Time > %d mins.\n", depth);
  // Whatever the search had still to visit may hide devices.
  searchIncomplete = true;
  return true;
}

int AISGDEVICEEP::rBinarySearch(std::vector<AISGDeviceParams>* devices, int depth, char* pattern,
                                int length, int level) {
  if (level < 1) return 0;
  if (devices == nullptr || pattern == nullptr) return 0;
  if (length != kIdSize && length != kShortIdSize) return 0;
  depth = ClampDepth(depth);
  if (SearchTimeUp(depth)) return 0;

  // The time limit stays that of the depth asked for; the levels are those
  // the pass's ID length can use.
  const int passDepth = PassDepth(depth, length);
  char setPattern[kIdSize];
  char setMask[kIdSize];
  char clearPattern[kIdSize];
  char clearMask[kIdSize];
  ScanMapping(passDepth, pattern, level, setPattern, setMask, clearPattern, clearMask);
  int offset = 0;
  if (length == kShortIdSize) {
    // The vendor code of the pass is fixed in front of the 14-byte window.
    offset = kShortIdOffset;
    for (int i = 0; i < 2; ++i) {
      setPattern[offset + i] = clearPattern[offset + i] = pattern[i];
      setMask[offset + i] = clearMask[offset + i] = static_cast<char>(0xFF);
    }
  }
  // A level whose bit the sent pattern fixes already has one candidate, not
  // two equal ones: splitting there would double the tree for nothing.
  const bool split = std::memcmp(setPattern + offset, clearPattern + offset, length) != 0;
  const int tries = (length == kIdSize && level == TopLevel(passDepth)) ? kTopLevelTries : kTries;

  AISGDeviceParams setRecord;
  AISGDeviceParams clearRecord;
  InitialParams(&setRecord);
  InitialParams(&clearRecord);
  int setResult = kNoAnswer;
  int clearResult = kNoAnswer;

  for (int t = 0; t < tries; ++t) {
    if (clearResult == kNoAnswer) {
      clearResult = ScanDevice(kAllStations, clearPattern + offset, clearMask + offset, length,
                               level, &clearRecord);
      if (clearResult == kOk) AddFoundDevice(devices, clearRecord);
    }
    if (split && setResult == kNoAnswer) {
      setResult = ScanDevice(kAllStations, setPattern + offset, setMask + offset, length, level,
                             &setRecord);
      if (setResult == kOk) AddFoundDevice(devices, setRecord);
    }
  }
  if (level == 1) {
    // Still several answers with every level decided: the devices differ
    // only in bits the levels never look at. Dropping the branch here would
    // lose all of them without a word.
    if (setResult == kBadResponse) {
      std::printf("ALDs still collide at level 1, searching deeper\n");
      rDeepSearch(devices, depth, setPattern, setMask, length);
    }
    if (clearResult == kBadResponse) {
      std::printf("ALDs still collide at level 1, searching deeper\n");
      rDeepSearch(devices, depth, clearPattern, clearMask, length);
    }
    return 0;
  }

  // A clean answer is explored too: another device may hide behind it
  // (one that missed the scan, or answers only when alone).
  rBinarySearch(devices, depth, setPattern, length, setResult != kNoAnswer ? level - 1 : 0);
  rBinarySearch(devices, depth, clearPattern, length, clearResult != kNoAnswer ? level - 1 : 0);
  return 0;
}

// Below the bottom level each node decides the next bit that the mask still
// leaves open: from the last byte of the ID towards its start, low bit
// first, so the characters nearest the resolved ones come first. Only
// collisions go deeper; down here a clean answer is one device, and
// exploring behind every one of them would cost the whole ID's bits each.
int AISGDEVICEEP::rDeepSearch(std::vector<AISGDeviceParams>* devices, int depth,
                              const char* pattern, const char* mask, int length) {
  if (SearchTimeUp(depth)) return 0;
  const int first = kIdSize - length;
  int byte = -1;
  unsigned bit = 0;
  for (int i = kIdSize - 1; i >= first && byte < 0; --i) {
    for (unsigned b = 0x01; b <= 0x80; b <<= 1) {
      if ((static_cast<unsigned char>(mask[i]) & b) == 0) {
        byte = i;
        bit = b;
        break;
      }
    }
  }
  if (byte < 0) {
    // Every bit decided and still no clean answer: equal IDs, or a line
    // that garbles every answer of this one device.
    std::printf("ALDs still collide with the whole unique ID decided!\n");
    searchIncomplete = true;
    return 0;
  }

  char candidateMask[kIdSize];
  std::memcpy(candidateMask, mask, kIdSize);
  candidateMask[byte] = static_cast<char>(static_cast<unsigned char>(mask[byte]) | bit);
  // Set candidate first, as the levels above explore it first.
  char candidates[2][kIdSize];
  std::memcpy(candidates[0], pattern, kIdSize);
  std::memcpy(candidates[1], pattern, kIdSize);
  candidates[0][byte] = static_cast<char>(static_cast<unsigned char>(pattern[byte]) | bit);
  candidates[1][byte] = static_cast<char>(static_cast<unsigned char>(pattern[byte]) & ~bit);
  int results[2] = {kNoAnswer, kNoAnswer};

  AISGDeviceParams found;
  for (int t = 0; t < kTries; ++t) {
    for (int c = 1; c >= 0; --c) {  // clear candidate scanned first
      if (results[c] != kNoAnswer) continue;
      InitialParams(&found);
      results[c] =
          ScanDevice(kAllStations, candidates[c] + first, candidateMask + first, length, 0, &found);
      if (results[c] == kOk) AddFoundDevice(devices, found);
    }
  }
  for (int c = 0; c < 2; ++c) {
    if (results[c] == kBadResponse)
      rDeepSearch(devices, depth, candidates[c], candidateMask, length);
  }
  return 0;
}

int AISGDEVICEEP::BinarySearch(std::vector<AISGDeviceParams>* devices, int depth) {
  if (devices == nullptr) return 0;
  const int64_t startUs = ald::GetClock().NowUs();
  scanStartUs = startUs;
  searchIncomplete = false;
  depth = ClampDepth(depth);

  char pattern[kIdSize] = {};
  rBinarySearch(devices, depth, pattern, kIdSize, TopLevel(depth));
  for (const char* vendor : kShortIdVendors) {
    std::memset(pattern, 0, sizeof pattern);
    pattern[0] = vendor[0];
    pattern[1] = vendor[1];
    rBinarySearch(devices, depth, pattern, kShortIdSize, TopLevel(PassDepth(depth, kShortIdSize)));
  }

  // Ascending by unique ID, byte by byte; a record keeps only its identity.
  const size_t count = devices->size();
  for (size_t step = 0; step < count; ++step) {
    const size_t unsorted = count - step;
    size_t best = 0;
    for (size_t i = 1; i < unsorted; ++i) {
      if (std::memcmp((*devices)[i].devUniqueID, (*devices)[best].devUniqueID, kIdSize) < 0)
        best = i;
    }
    const AISGDeviceParams& from = (*devices)[best];
    AISGDeviceParams fresh;
    InitialParams(&fresh);
    fresh.devAddress = from.devAddress;
    fresh.devType = from.devType;
    fresh.devAisgVersion = from.devAisgVersion;
    fresh.dev3gppVersion = from.dev3gppVersion;
    fresh.devExtSubVersion = from.devExtSubVersion;
    fresh.devUniqueIDSize = from.devUniqueIDSize;
    std::memcpy(fresh.devUniqueID, from.devUniqueID, sizeof fresh.devUniqueID);
    std::memcpy(fresh.devVendorID, from.devVendorID, sizeof fresh.devVendorID);
    devices->erase(devices->begin() + static_cast<std::ptrdiff_t>(best));
    devices->push_back(fresh);
  }

  PrintRule('*', 60);
  std::printf("Binary Search Done, total devices found: %d\n", static_cast<int>(devices->size()));
  std::printf("Runtime: %.3f\n", static_cast<double>(ald::GetClock().NowUs() - startUs) / 1e6);
  if (searchIncomplete) std::printf("Search incomplete, devices may have been missed!\n");
  PrintRule('*', 60);
  return static_cast<int>(devices->size());
}

int AISGDEVICEEP::ScanAllDevice(std::vector<AISGDeviceParams>* devices) {
  return ScanAllDevice(devices, kDefaultDepth);
}

int AISGDEVICEEP::ScanAllDevice(std::vector<AISGDeviceParams>* devices, int depth) {
  if (devices == nullptr) return 0;
  devices->clear();
  ResetAllDeviceAddress();
  BinarySearch(devices, depth);
  int address = 1;
  for (AISGDeviceParams& d : *devices) d.devAddress = address++;
  const int settled = SetAllDeviceAddress(devices);

  PrintRule('*', 60);
  std::printf("Address Assignment Done, total devices assigned: %d\n", settled);
  for (const AISGDeviceParams& d : *devices) {
    std::printf("uid: ");
    const int n = ClampIdSize(d.devUniqueIDSize);
    for (int i = 0; i < n; ++i) {
      const unsigned char c = d.devUniqueID[i];
      if (c >= 0x20 && c <= 0x7E) std::printf("%c", c);
    }
    std::printf(", address: %d, aisg: %d, type: 0x%02x\n", d.devAddress, d.devAisgVersion,
                static_cast<unsigned>(d.devType));
  }
  PrintRule('*', 60);
  return settled;
}

// ---------------------------------------------------------------------------
// Address assignment

int AISGDEVICEEP::SetDeviceAddress(int address, char* uid, int length, AISGDeviceParams* params) {
  // An empty ID would read as the all-zero ID of an address reset.
  if (params == nullptr || uid == nullptr || length < 1 || length > kIdSize) return kInvalid;

  // Copied first: `uid` may be the record's own ID, which the answer rewrites.
  char id[kIdSize];
  std::memcpy(id, uid, length);
  int sendLength = length;
  if (length >= 2 && uid[0] == 'E' && uid[1] == 'M') {
    // These devices know themselves without the zero bytes between the
    // vendor code and the serial number.
    int zeros = 0;
    while (zeros < 17 && 2 + zeros < length && uid[2 + zeros] == 0) ++zeros;
    for (int i = 2 + zeros; i < length; ++i) id[i - zeros] = uid[i];
    sendLength = length - zeros;
  }

  unsigned char answer[256] = {};
  int answerLength = 0;
  int result = kNoAnswer;
  for (int attempt = 0; attempt < kAssignAttempts; ++attempt) {
    const int sent = SetXIDAddress(address, id, sendLength);
    // Nothing went out: the parser would only see the emptied answer.
    result = sent == kInvalid ? sent
                              : GetXIDAddress(params->devAddress, params->devAisgVersion,
                                              reinterpret_cast<char*>(answer), answerLength);
    if (result == kOk) break;
  }
  if (result != kOk) return result;

  if (answerLength < 0) answerLength = 0;
  if (answerLength > static_cast<int>(sizeof answer)) answerLength = sizeof answer;
  const int kept = answerLength < static_cast<int>(sizeof params->devRcuCodes)
                       ? answerLength
                       : static_cast<int>(sizeof params->devRcuCodes);
  std::memset(params->devRcuCodes, 0, sizeof params->devRcuCodes);
  std::memcpy(params->devRcuCodes, answer, kept);
  params->devRcuCodesSize = kept;

  if (params->devAisgVersion == 2) {
    PrintDeviceInfo(32, params);
    int i = 0;
    while (i + 2 <= answerLength) {
      const int pid = answer[i];
      const int n = answer[i + 1];
      const unsigned char* value = answer + i + 2;
      if (i + 2 + n > answerLength) break;  // value runs past the answer
      if (pid == 1 && n >= 1 && n <= kIdSize) {
        std::memset(params->devUniqueID, 0, sizeof params->devUniqueID);
        std::memcpy(params->devUniqueID, value, n);
        params->devUniqueIDSize = n;
        PrintDeviceInfo(7, params);
        PrintDeviceInfo(8, params);
      } else if (pid == 4 && n >= 1) {
        params->devType = value[0];
        PrintDeviceInfo(4, params);
      } else if (pid == 6 && n >= 2) {
        params->devVendorID[0] = static_cast<char>(value[0]);
        params->devVendorID[1] = static_cast<char>(value[1]);
        params->devVendorID[2] = 0;
        PrintDeviceInfo(9, params);
      } else {
        break;
      }
      i += 2 + n;
    }
  }
  return kOk;
}

int AISGDEVICEEP::SetDeviceAddress(int address, AISGDeviceParams* params) {
  if (params == nullptr) return kInvalid;
  return SetDeviceAddress(address, reinterpret_cast<char*>(params->devUniqueID),
                          params->devUniqueIDSize, params);
}

int AISGDEVICEEP::SetAllDeviceAddress(std::vector<AISGDeviceParams>* devices) {
  if (devices == nullptr) return 0;
  std::printf("Assigning addresses to ALDs...\n");
  int settled = 0;
  for (AISGDeviceParams& d : *devices) {
    if (SetDeviceAddress(d.devAddress, reinterpret_cast<char*>(d.devUniqueID), d.devUniqueIDSize,
                         &d) != kOk)
      std::printf("Fail to set device address!\n");
    // AISG 2.0 devices name their type in the XID answers; AISG 1.x devices
    // are asked over a link.
    bool counted = false;
    for (int t = 0; t < kTypeTries && !counted; ++t) {
      if (d.devAisgVersion != 0 && d.devType != 0) {
        counted = true;
      } else if (d.devAisgVersion == 1 && d.devType == 0) {
        if (SetSNRM(d.devAddress) == kOk && GetDeviceType(d.devAddress, &d) == kOk) counted = true;
      }
    }
    if (counted) {
      ++settled;
    } else {
      std::printf("Fail to determinte device type!\n");
    }
  }
  return settled;
}

int AISGDEVICEEP::AddDeviceAddress(int address, char* vendor, char* serial,
                                   AISGDeviceParams* params) {
  (void)vendor;
  (void)serial;
  if (params == nullptr) return kInvalid;
  char* uid = reinterpret_cast<char*>(params->devUniqueID);
  int result = SetDeviceAddress(address, uid, params->devUniqueIDSize, params);
  if (result != kOk) {
    result = SetDeviceAddress(address, uid, kShortIdSize, params);
    if (result != kOk) return result;
  }
  if (params->devAisgVersion == 1 && params->devType == 0) {
    for (int t = 0; t < kTypeTries; ++t) {
      result = SetSNRM(address);
      if (result == kOk) result = GetDeviceType(address, params);
      if (result == kOk) return kOk;
    }
    return result;
  }
  return (params->devAisgVersion == 0 || params->devType == 0) ? kBadResponse : kOk;
}

// ---------------------------------------------------------------------------
// One known device

int AISGDEVICEEP::ScanDevice(char* vendor, char* serial, AISGDeviceParams* params) {
  if (params == nullptr || vendor == nullptr || serial == nullptr) return kInvalid;
  params->devAddress = 0;
  params->devType = 0;
  params->devAisgVersion = 0;
  params->dev3gppVersion = 0;
  SetXIDReset(kAllStations);

  char pattern19[kIdSize] = {};
  char mask19[kIdSize] = {};
  char pattern14[kShortIdSize] = {};
  char mask14[kShortIdSize] = {};
  const int vendorLength = static_cast<int>(strnlen(vendor, 2));
  for (int i = 0; i < vendorLength; ++i) {
    pattern19[i] = pattern14[i] = vendor[i];
    mask19[i] = mask14[i] = static_cast<char>(0xFF);
  }
  // The serial number ends the unique ID.
  const int long19 = static_cast<int>(strnlen(serial, kIdSize - 2));
  for (int i = 0; i < long19; ++i) {
    pattern19[kIdSize - long19 + i] = serial[i];
    mask19[kIdSize - long19 + i] = static_cast<char>(0xFF);
  }
  const int long14 = static_cast<int>(strnlen(serial, kShortIdSize - 2));
  for (int i = 0; i < long14; ++i) {
    pattern14[kShortIdSize - long14 + i] = serial[i];
    mask14[kShortIdSize - long14 + i] = static_cast<char>(0xFF);
  }

  const bool shortId = vendorLength == 2 && IsShortIdVendor(vendor);
  for (int attempt = 0; attempt < kSearchAttempts; ++attempt) {
    const int result = shortId
                           ? ScanDevice(kAllStations, pattern14, mask14, kShortIdSize, 1, params)
                           : ScanDevice(kAllStations, pattern19, mask19, kIdSize, 1, params);
    if (result == kOk) return kOk;
  }
  return kNoAnswer;
}

// ---------------------------------------------------------------------------
// Address reset

int AISGDEVICEEP::ResetDeviceAddress(int address) {
  // The all-zero ID asks the device at `address` to give its address up; the
  // answer is only traced.
  char zeros[kIdSize] = {};
  SetXIDAddress(address, zeros, kIdSize);
  return 0;
}

int AISGDEVICEEP::ResetAllDeviceAddress() {
  for (int address = 1; address <= kResetAddresses; ++address) ResetDeviceAddress(address);
  SetXIDReset(kAllStations);
  return 0;
}
