// Device data fields: identifiers, value layouts per generation, the record
// members they fill, reading (AISG 1.x field lists, AISG 2.0 single fields)
// and the device data trace.
#include <cstdio>
#include <cstring>

#include "aldlink/procedures/aisgdeviceep.h"
#include "aldlink/procedures/procedure_util.h"

using namespace ald::procedures;

namespace {

enum class Kind {
  kText,      // fixed-length ASCII, cleaned when read
  kBitMap,    // unsigned 16-bit into a 16-bit member
  kRaw,       // value bytes copied unchanged
  kSigned16,  // signed 16-bit
  kMechTilt,  // signed 8-bit (AISG 1.x) or 16-bit (AISG 2.0)
  kUnsigned16,
  kUnsigned8,
};

struct FieldSpec {
  unsigned char id;
  int length1;  // value length, AISG 1.x
  int length2;  // value length, AISG 2.0
  Kind kind;
};

constexpr FieldSpec kFields[] = {
    {0x01, 15, 15, Kind::kText},     {0x02, 17, 17, Kind::kText},    {0x03, 2, 2, Kind::kBitMap},
    {0x04, 3, 8, Kind::kRaw},        {0x05, 3, 4, Kind::kRaw},       {0x06, 2, 2, Kind::kSigned16},
    {0x07, 2, 2, Kind::kSigned16},   {0x08, 2, 2, Kind::kBitMap},    {0x09, 2, 2, Kind::kBitMap},
    {0x11, 15, 15, Kind::kText},     {0x12, 17, 17, Kind::kText},    {0x13, 1, 1, Kind::kUnsigned8},
    {0x14, 4, 4, Kind::kRaw},        {0x15, 4, 4, Kind::kRaw},       {0x16, 1, 1, Kind::kUnsigned8},
    {0x17, 1, 1, Kind::kUnsigned8},  {0x18, 1, 1, Kind::kUnsigned8}, {0x21, 6, 6, Kind::kText},
    {0x22, 5, 5, Kind::kText},       {0x23, 12, 32, Kind::kText},    {0x24, 4, 32, Kind::kText},
    {0x25, 2, 2, Kind::kUnsigned16}, {0x26, 1, 2, Kind::kMechTilt},
};

const FieldSpec* FindField(unsigned char id) {
  for (const FieldSpec& f : kFields) {
    if (f.id == id) return &f;
  }
  return nullptr;
}

int ValueLength(const FieldSpec& f, int generation) {
  return generation == 1 ? f.length1 : f.length2;
}

struct Member {
  void* at;
  size_t size;
};

// The record member a field fills, over its whole width.
Member MemberOf(unsigned char id, AISGDeviceParams* p) {
  switch (id) {
    case 0x01:
      return {p->antModel, sizeof p->antModel};
    case 0x02:
      return {p->antSerial, sizeof p->antSerial};
    case 0x03:
      return {&p->antFreqBand, sizeof p->antFreqBand};
    case 0x04:
      return {p->antBeamwidth, sizeof p->antBeamwidth};
    case 0x05:
      return {p->antGain, sizeof p->antGain};
    case 0x06:
      return {&p->antMaxTilt, sizeof p->antMaxTilt};
    case 0x07:
      return {&p->antMinTilt, sizeof p->antMinTilt};
    case 0x08:
      return {&p->antFreqBandExt08, sizeof p->antFreqBandExt08};
    case 0x09:
      return {&p->antFreqBandExt09, sizeof p->antFreqBandExt09};
    case 0x11:
      return {p->tmaModel, sizeof p->tmaModel};
    case 0x12:
      return {p->tmaSerial, sizeof p->tmaSerial};
    case 0x13:
      return {&p->tmaType, sizeof p->tmaType};
    case 0x14:
      return {p->tmaRecFreqBand, sizeof p->tmaRecFreqBand};
    case 0x15:
      return {p->tmaTransFreqBand, sizeof p->tmaTransFreqBand};
    case 0x16:
      return {&p->tmaMaxGain, sizeof p->tmaMaxGain};
    case 0x17:
      return {&p->tmaMinGain, sizeof p->tmaMinGain};
    case 0x18:
      return {&p->tmaGainResolution, sizeof p->tmaGainResolution};
    case 0x21:
      return {p->antInstallDate, sizeof p->antInstallDate};
    case 0x22:
      return {p->antInstallID, sizeof p->antInstallID};
    case 0x23:
      return {p->antBaseStationID, sizeof p->antBaseStationID};
    case 0x24:
      return {p->antSectorID, sizeof p->antSectorID};
    case 0x25:
      return {&p->antBearing, sizeof p->antBearing};
    case 0x26:
      return {&p->antMechanicalTilt, sizeof p->antMechanicalTilt};
    default:
      return {nullptr, 0};
  }
}

// Decodes `v` (the value of field `f` in the generation's length) into its
// member. The member is cleared first, so a field the device sent without
// being asked leaves nothing of an earlier value behind.
void Decode(const FieldSpec& f, int generation, const unsigned char* v, AISGDeviceParams* p) {
  Member m = MemberOf(f.id, p);
  std::memset(m.at, 0, m.size);
  const int n = ValueLength(f, generation);
  switch (f.kind) {
    case Kind::kText:
      std::memcpy(m.at, v, n);
      CleanText(static_cast<char*>(m.at), n);
      break;
    case Kind::kBitMap:
      *static_cast<uint16_t*>(m.at) = static_cast<uint16_t>(v[0] | (v[1] << 8));
      break;
    case Kind::kRaw:
      std::memcpy(m.at, v, n);
      break;
    case Kind::kSigned16:
      *static_cast<int*>(m.at) = static_cast<int16_t>(v[0] | (v[1] << 8));
      break;
    case Kind::kMechTilt:
      *static_cast<int*>(m.at) = generation == 1 ? static_cast<int>(static_cast<int8_t>(v[0]))
                                                 : static_cast<int16_t>(v[0] | (v[1] << 8));
      break;
    case Kind::kUnsigned16:
      *static_cast<int*>(m.at) = v[0] | (v[1] << 8);
      break;
    case Kind::kUnsigned8:
      *static_cast<int*>(m.at) = v[0];
      break;
  }
}

const char* const kBandsAisg1[16] = {"800", "900", "1500", "1800", "1900", "2100", "2600"};
const char* const kBandsAisg2[16] = {"800",  "850", "1700",   "1800",  "1900", "2100",
                                     "2600", "900", "1800",   "1700",  "1500", "700",
                                     "700",  "700", "Ext.08", "Ext.09"};
const char* const kBandsExt08[16] = {"Res.", "Res.",   "XVII",  "XVIII", "XIX", "XX",
                                     "XXI",  "-",      "XXIII", "XXIV",  "XXV", "XXVI",
                                     "27",   "XXVIII", "Spare", "Res."};
const char* const kBandsExt09[16] = {"a33", "a34", "b35", "b36", "c37",   "d38",   "f39",   "e40",
                                     "41",  "42",  "43",  "44",  "Spare", "Spare", "Spare", "Res."};

// The labels of the set bits joined by "/"; bits without a label are left out.
void JoinBands(uint16_t map, const char* const labels[16], char* out, size_t capacity) {
  size_t used = 0;
  out[0] = 0;
  for (int bit = 0; bit < 16; ++bit) {
    if ((map & (1u << bit)) == 0 || labels[bit] == nullptr) continue;
    int wrote = snprintf(out + used, capacity - used, "%s%s", used > 0 ? "/" : "", labels[bit]);
    if (wrote < 0 || used + wrote >= capacity) break;
    used += wrote;
  }
}

void PrintBytes(const void* bytes, int n) {
  const unsigned char* b = static_cast<const unsigned char*>(bytes);
  for (int i = 0; i < n; ++i) printf("0x%02x ", b[i]);
}

void PrintBitMap(const char* name, uint16_t map, const char* const labels[16]) {
  char joined[192];
  JoinBands(map, labels, joined, sizeof joined);
  const unsigned char bytes[2] = {static_cast<unsigned char>(map & 0xFF),
                                  static_cast<unsigned char>(map >> 8)};
  printf("p->%s=", name);
  PrintBytes(bytes, 2);
  printf(", (Mhz): %s\n", joined);
}

}  // namespace

void AISGDEVICEEP::InitialParams(char* ids, int count, AISGDeviceParams* p) {
  if (p == nullptr || ids == nullptr) return;
  for (int i = 0; i < count; ++i) {
    unsigned char id = static_cast<unsigned char>(ids[i]);
    Member m = MemberOf(id, p);
    if (m.at == nullptr) continue;
    std::memset(m.at, 0, m.size);
    // A TMA's model and serial number are also its identity.
    if (id == 0x11) std::memset(p->devModel, 0, sizeof p->devModel);
    if (id == 0x12) std::memset(p->devSerial, 0, sizeof p->devSerial);
  }
}

int AISGDEVICEEP::GetDeviceData(int address, int generation, char* ids, int count,
                                AISGDeviceParams* p) {
  return GetDeviceData(address, generation, 0, 1, ids, count, p);
}

// A field whose value would run past the received data is refused like an
// unknown identifier: the missing bytes would otherwise read as zeros.
int AISGDEVICEEP::GetDeviceData(int address, int generation, int subunit, int devType, char* ids,
                                int count, AISGDeviceParams* p) {
  if (p == nullptr) return kInvalid;
  if (count < 0 || (count > 0 && ids == nullptr)) return kInvalid;
  InitialParams(ids, count, p);
  // An AISG 2.0 answer names no field; without a requested one it cannot
  // be read.
  if (generation == 2 && count == 0) {
    std::memset(p->devRcuCodes, 0, sizeof p->devRcuCodes);
    p->devRcuCodesSize = 0;
    return kInvalid;
  }

  int result;
  if (subunit != 0) {
    const char code = (devType == 2 || devType == 16) ? 0x75 : static_cast<char>(0x84);
    result = DeviceProcedure(address, generation, subunit, code, ids, count, p);
  } else {
    result = GlobalProcedure(address, generation, 0x0F, ids, count, p);
  }
  if (result != kOk) return result;

  const unsigned char* codes = p->devRcuCodes;
  const int size = p->devRcuCodesSize;
  if (size < 1 || codes[0] != 0x00) return kBadResponse;

  if (generation == 2) {
    char id = ids[0];
    const FieldSpec* f = FindField(static_cast<unsigned char>(id));
    if (f == nullptr) {
      printf("(DEV_BADRESPONDING)\n");
      return kBadResponse;
    }
    const int n = f->length2;
    int start;
    if (size == n + 2 && codes[1] == f->id) {
      start = 2;  // the device echoed the identifier
    } else if (size == n + 1) {
      start = 1;
    } else {
      printf("(DEV_BADRESPONDING)\n");
      return kBadResponse;
    }
    Decode(*f, 2, codes + start, p);
    PrintDeviceData(2, &id, 1, p);
    return kOk;
  }

  int pos = 1;
  while (pos < size) {
    char id = static_cast<char>(codes[pos]);
    const FieldSpec* f = FindField(codes[pos]);
    if (f == nullptr || pos + 1 + f->length1 > size) {
      printf("(DEV_BADRESPONDING)\n");
      return kBadResponse;
    }
    Decode(*f, 1, codes + pos + 1, p);
    PrintDeviceData(1, &id, 1, p);
    pos += 1 + f->length1;
  }
  return kOk;
}

void AISGDEVICEEP::PrintDeviceData(int generation, char* ids, int count, AISGDeviceParams* p) {
  if (p == nullptr || ids == nullptr) return;
  const bool aisg1 = generation == 1;
  for (int i = 0; i < count; ++i) {
    switch (static_cast<unsigned char>(ids[i])) {
      case 0x01:
        printf("p->antModel=%.*s\n", static_cast<int>(sizeof p->antModel), p->antModel);
        break;
      case 0x02:
        printf("p->antSerial=%.*s\n", static_cast<int>(sizeof p->antSerial), p->antSerial);
        break;
      case 0x03:
        PrintBitMap("antFreqBand", p->antFreqBand, aisg1 ? kBandsAisg1 : kBandsAisg2);
        break;
      case 0x04: {
        const unsigned char* b = p->antBeamwidth;
        printf("p->antBeamwidth=");
        PrintBytes(b, aisg1 ? 3 : 8);
        if (aisg1) {
          printf(", (deg): %u/%u/%u", b[0], b[1], b[2]);
        } else {
          printf(", (deg): %u/%u/%u/%u", b[0] | (b[1] << 8), b[2] | (b[3] << 8), b[4] | (b[5] << 8),
                 b[6] | (b[7] << 8));
        }
        printf("%s \n", "");
        break;
      }
      case 0x05: {
        const unsigned char* b = p->antGain;
        printf("p->antGain=");
        PrintBytes(b, aisg1 ? 3 : 4);
        if (aisg1) {
          printf(", (dBi/10): %.1f/%.1f/%.1f", b[0] * 0.1, b[1] * 0.1, b[2] * 0.1);
        } else {
          printf(", (dBi/10): %.1f/%.1f/%.1f/%.1f", b[0] * 0.1, b[1] * 0.1, b[2] * 0.1, b[3] * 0.1);
        }
        printf("%s \n", "");
        break;
      }
      case 0x06:
        printf("p->antMaxTilt=%d, (deg/10): %.1f\n", p->antMaxTilt, p->antMaxTilt * 0.1);
        break;
      case 0x07:
        printf("p->antMinTilt=%d, (deg/10): %.1f\n", p->antMinTilt, p->antMinTilt * 0.1);
        break;
      case 0x08:
        PrintBitMap("antFreqBandExt08", p->antFreqBandExt08, kBandsExt08);
        break;
      case 0x09:
        PrintBitMap("antFreqBandExt09", p->antFreqBandExt09, kBandsExt09);
        break;
      case 0x11:
        printf("p->tmaModel=%.*s\n", static_cast<int>(sizeof p->tmaModel), p->tmaModel);
        break;
      case 0x12:
        printf("p->tmaSerial=%.*s\n", static_cast<int>(sizeof p->tmaSerial), p->tmaSerial);
        break;
      case 0x13: {
        char joined[96];
        size_t used = 0;
        joined[0] = 0;
        for (int bit = 0; bit < 8; ++bit) {
          if ((p->tmaType & (1 << bit)) == 0) continue;
          const char* label = bit == 0 ? "Bypass" : bit == 1 ? "VSWR" : "reserve";
          int wrote =
              snprintf(joined + used, sizeof joined - used, "%s%s", used > 0 ? "/" : "", label);
          if (wrote < 0 || used + wrote >= sizeof joined) break;
          used += wrote;
        }
        printf("p->tmaType=%u, type: %s\n", static_cast<unsigned>(p->tmaType), joined);
        break;
      }
      case 0x14:
      case 0x15: {
        const bool rec = static_cast<unsigned char>(ids[i]) == 0x14;
        const unsigned char* b = rec ? p->tmaRecFreqBand : p->tmaTransFreqBand;
        printf(rec ? "p->tmaRecFreqBand=" : "p->tmaTransFreqBand=");
        PrintBytes(b, 4);
        printf(", (mhz): %d - %d\n", (b[0] | (b[1] << 8)) / 10, (b[2] | (b[3] << 8)) / 10);
        break;
      }
      case 0x16:
        printf("p->tmaMaxGain=%u, (dBi/4): %.1f\n", static_cast<unsigned>(p->tmaMaxGain),
               p->tmaMaxGain * 0.25);
        break;
      case 0x17:
        printf("p->tmaMinGain=%u, (dBi/4): %.1f\n", static_cast<unsigned>(p->tmaMinGain),
               p->tmaMinGain * 0.25);
        break;
      case 0x18:
        printf("p->tmaGainResolution=%u, (dBi/4): %.1f\n",
               static_cast<unsigned>(p->tmaGainResolution), p->tmaGainResolution * 0.25);
        break;
      case 0x21:
        printf("p->antInstallDate=%.*s\n", static_cast<int>(sizeof p->antInstallDate),
               p->antInstallDate);
        break;
      case 0x22:
        printf("p->antInstallID=%.*s\n", static_cast<int>(sizeof p->antInstallID), p->antInstallID);
        break;
      case 0x23:
        printf("p->antBaseStationID=%.*s\n", static_cast<int>(sizeof p->antBaseStationID),
               p->antBaseStationID);
        break;
      case 0x24:
        printf("p->antSectorID=%.*s\n", static_cast<int>(sizeof p->antSectorID), p->antSectorID);
        break;
      case 0x25:
        printf("p->antBearing=%u\n", static_cast<unsigned>(p->antBearing));
        break;
      case 0x26:
        printf("p->antMechanicalTilt=%d, (deg/10): %.1f\n", p->antMechanicalTilt,
               p->antMechanicalTilt * 0.1);
        break;
      default:
        break;
    }
  }
}
