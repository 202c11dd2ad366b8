#include "tools/aldctl/fields.h"

#include <cctype>
#include <climits>
#include <cstring>

namespace aldctl {

namespace {

// The lower-case hyphenated form of a name: "Antenna Serial No." gives
// "antenna-serial-no".
std::string Slug(const std::string& name) {
  std::string out;
  bool pendingHyphen = false;
  for (unsigned char c : name) {
    if (std::isalnum(c)) {
      if (pendingHyphen && !out.empty()) out += '-';
      pendingHyphen = false;
      out += static_cast<char>(std::tolower(c));
    } else {
      pendingHyphen = true;
    }
  }
  return out;
}

bool SameNoCase(const std::string& a, const char* b) {
  const size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// Every writable field; the ranges are those of the value's width on the
// line (AISG 1.x mechanical tilt is a single signed byte, texts of AISG 1.x
// base station and sector IDs are shorter).
const WritableField kWritable[] = {
    {kMdAntennaModel, 0x01, ValueKind::kText, FieldOwner::kBoth, 15, 15, 0, 0, 0, 0, 0},
    {kMdAntennaSerial, 0x02, ValueKind::kText, FieldOwner::kBoth, 17, 17, 0, 0, 0, 0, 0},
    {kMdFreqBand, 0x03, ValueKind::kHex, FieldOwner::kBoth, 0, 0, 0, 0, 0, 0, 6},
    {kMdBeamWidth, 0x04, ValueKind::kHex, FieldOwner::kBoth, 0, 0, 0, 0, 0, 0, 8},
    {kMdAntennaGain, 0x05, ValueKind::kHex, FieldOwner::kBoth, 0, 0, 0, 0, 0, 0, 4},
    {kMdMaxTilt, 0x06, ValueKind::kNumber, FieldOwner::kRet, 0, 0, -900, 900, -900, 900, 0},
    {kMdMinTilt, 0x07, ValueKind::kNumber, FieldOwner::kRet, 0, 0, -900, 900, -900, 900, 0},
    {kMdMaxGain, 0x16, ValueKind::kNumber, FieldOwner::kTma, 0, 0, 0, 255, 0, 255, 0},
    {kMdMinGain, 0x17, ValueKind::kNumber, FieldOwner::kTma, 0, 0, 0, 255, 0, 255, 0},
    {kMdInstallationDate, 0x21, ValueKind::kText, FieldOwner::kBoth, 6, 6, 0, 0, 0, 0, 0},
    {kMdInstallerId, 0x22, ValueKind::kText, FieldOwner::kBoth, 5, 5, 0, 0, 0, 0, 0},
    {kMdSiteId, 0x23, ValueKind::kText, FieldOwner::kBoth, 32, 12, 0, 0, 0, 0, 0},
    {kMdSectorId, 0x24, ValueKind::kText, FieldOwner::kBoth, 32, 4, 0, 0, 0, 0, 0},
    {kMdBearing, 0x25, ValueKind::kNumber, FieldOwner::kBoth, 0, 0, 0, 3599, 0, 3599, 0},
    {kMdMechTilt, 0x26, ValueKind::kNumber, FieldOwner::kBoth, 0, 0, -900, 900, -128, 127, 0},
    {kMdTmaType, 0x13, ValueKind::kNumber, FieldOwner::kTma, 0, 0, 0, 255, 0, 255, 0},
    {kMdTmaRxBand, 0x14, ValueKind::kHex, FieldOwner::kTma, 0, 0, 0, 0, 0, 0, 4},
    {kMdTmaTxBand, 0x15, ValueKind::kHex, FieldOwner::kTma, 0, 0, 0, 0, 0, 0, 4},
    {kMdGainResolution, 0x18, ValueKind::kNumber, FieldOwner::kTma, 0, 0, 0, 255, 0, 255, 0},
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Printable(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

std::string Describe(const WritableField& f) {
  return std::string("\"") + TableFieldName(f.tableIndex) + "\"";
}

}  // namespace

const char* TableFieldName(int index, bool tma) {
  if (tma && index == kMdRetModel) return "TMA Model";
  if (tma && index == kMdRetSerial) return "TMA Serial No.";
  return TableFieldName(index);
}

const char* TableFieldName(int index) {
  if (index == kMdUniqueId) return "Unique ID";
  if (index < 0 || index >= kMirelkFieldCount) return "";
  return kMirelkFieldNames[index];
}

int FindTableField(const std::string& name) {
  if (name.empty()) return -1;
  const std::string slug = Slug(name);
  auto matches = [&](const char* candidate) {
    return SameNoCase(name, candidate) || (!slug.empty() && slug == Slug(candidate));
  };
  for (int i = 0; i < kMirelkFieldCount; ++i) {
    const char* n = TableFieldName(i);
    if (*n != '\0' && matches(n)) return i;
  }
  // Other names of the same fields: the site files' keys, the TMA names of
  // the identity fields (a TMA row shows its own model and serial number in
  // them) and the older tilt name.
  static const struct {
    const char* name;
    int index;
  } kAliases[] = {
      {"Elec. Tilt", kMdCurrentTilt},
      {"tilt", kMdCurrentTilt},
      {"gain", kMdCurrentGain},
      {"TMA Model", kMdRetModel},
      {"TMA Serial No.", kMdRetSerial},
      {"antenna-serial", kMdAntennaSerial},
      {"band", kMdFreqBand},
      {"beamwidth", kMdBeamWidth},
      {"install-date", kMdInstallationDate},
      {"base-station-id", kMdSiteId},
      {"mechanical-tilt", kMdMechTilt},
      {"rx-band", kMdTmaRxBand},
      {"tx-band", kMdTmaTxBand},
      {"gain-resolution", kMdGainResolution},
  };
  for (const auto& alias : kAliases) {
    if (matches(alias.name)) return alias.index;
  }
  return -1;
}

const WritableField* FindWritableField(int tableIndex) {
  for (const WritableField& f : kWritable) {
    if (f.tableIndex == tableIndex) return &f;
  }
  return nullptr;
}

bool ParseInt(const std::string& text, long& out) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  long value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    if (value > (LONG_MAX - 9) / 10) return false;
    value = value * 10 + (text[i] - '0');
  }
  out = negative ? -value : value;
  return true;
}

bool ParseScaled(const std::string& text, int decimals, long& out) {
  const size_t dot = text.find('.');
  std::string whole = text.substr(0, dot);
  std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
  if (static_cast<int>(fraction.size()) > decimals) return false;
  if (dot != std::string::npos && fraction.empty()) return false;
  for (char c : fraction) {
    if (c < '0' || c > '9') return false;
  }
  const bool negative = !whole.empty() && whole[0] == '-';
  if (whole == "-" || whole == "+" || whole.empty()) {
    if (fraction.empty()) return false;
    whole += "0";
  }
  long w = 0;
  if (!ParseInt(whole, w)) return false;
  if (w > 100000 || w < -100000) return false;
  long scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  long f = 0;
  for (int i = 0; i < decimals; ++i) {
    f = f * 10 + (i < static_cast<int>(fraction.size()) ? fraction[i] - '0' : 0);
  }
  const long magnitude = (w < 0 ? -w : w) * scale + f;
  out = negative ? -magnitude : magnitude;
  return true;
}

std::string CheckValue(const WritableField& f, const std::string& value) {
  switch (f.kind) {
    case ValueKind::kText:
      if (!Printable(value)) return Describe(f) + " takes printable ASCII characters only";
      if (static_cast<int>(value.size()) > f.maxLength)
        return Describe(f) + " takes at most " + std::to_string(f.maxLength) + " characters";
      return "";
    case ValueKind::kNumber: {
      long v = 0;
      const int lo = f.min < f.min1 ? f.min : f.min1;
      const int hi = f.max > f.max1 ? f.max : f.max1;
      if (!ParseInt(value, v)) return Describe(f) + " takes a whole number, not \"" + value + "\"";
      if (v < lo || v > hi)
        return Describe(f) + " must lie in " + std::to_string(lo) + " to " + std::to_string(hi);
      return "";
    }
    case ValueKind::kHex:
      if (static_cast<int>(value.size()) != 2 * f.bytes)
        return Describe(f) + " takes exactly " + std::to_string(2 * f.bytes) +
               " hexadecimal digits";
      for (char c : value) {
        if (HexDigit(c) < 0) return Describe(f) + " takes hexadecimal digits only";
      }
      return "";
  }
  return "unknown field kind";
}

std::string StoreValue(const WritableField& f, const std::string& value, int generation, bool isRet,
                       DeviceData& d, std::string& ids) {
  std::string problem = CheckValue(f, value);
  if (!problem.empty()) return problem;
  if (f.owner == FieldOwner::kRet && !isRet) return Describe(f) + " belongs to RET devices only";
  if (f.owner == FieldOwner::kTma && isRet) return Describe(f) + " belongs to TMA devices only";
  const bool first = generation == 1;
  switch (f.kind) {
    case ValueKind::kText: {
      const int limit = first ? f.maxLength1 : f.maxLength;
      if (static_cast<int>(value.size()) > limit)
        return Describe(f) + " takes at most " + std::to_string(limit) +
               " characters on an AISG 1.x device";
      char* target = nullptr;
      size_t width = 0;
      switch (f.id) {
        case 0x01:
          target = d.antmodel;
          width = sizeof d.antmodel;
          break;
        case 0x02:
          target = d.antsn;
          width = sizeof d.antsn;
          break;
        case 0x21:
          target = d.insdate;
          width = sizeof d.insdate;
          break;
        case 0x22:
          target = d.insid;
          width = sizeof d.insid;
          break;
        case 0x23:
          target = d.baseid;
          width = sizeof d.baseid;
          break;
        case 0x24:
          target = d.sectorid;
          width = sizeof d.sectorid;
          break;
        default:
          return "unknown text field";
      }
      std::memset(target, 0, width);
      std::memcpy(target, value.data(), value.size());  // limits keep a terminator
      break;
    }
    case ValueKind::kNumber: {
      long v = 0;
      ParseInt(value, v);
      const int lo = first ? f.min1 : f.min;
      const int hi = first ? f.max1 : f.max;
      if (v < lo || v > hi)
        return Describe(f) + " must lie in " + std::to_string(lo) + " to " + std::to_string(hi) +
               (first ? " on an AISG 1.x device" : "");
      switch (f.id) {
        case 0x06:
          d.antmaxtilt = static_cast<int16_t>(v);
          break;
        case 0x07:
          d.antmintilt = static_cast<int16_t>(v);
          break;
        case 0x13:
          d.tmatype = static_cast<uint16_t>(v);
          break;
        case 0x16:
          d.maxgain = static_cast<uint16_t>(v);
          break;
        case 0x17:
          d.mingain = static_cast<uint16_t>(v);
          break;
        case 0x18:
          d.resolution = static_cast<uint16_t>(v);
          break;
        case 0x25:
          d.bearing = static_cast<uint16_t>(v);
          break;
        case 0x26:
          d.mechtilt = static_cast<int16_t>(v);
          break;
        default:
          return "unknown number field";
      }
      break;
    }
    case ValueKind::kHex: {
      unsigned char* target = nullptr;
      switch (f.id) {
        case 0x03:
          target = d.antband;
          break;
        case 0x04:
          target = d.antbeam;
          break;
        case 0x05:
          target = d.antgain;
          break;
        case 0x14:
          target = d.rxband;
          break;
        case 0x15:
          target = d.txband;
          break;
        default:
          return "unknown byte field";
      }
      for (int i = 0; i < f.bytes; ++i) {
        target[i] =
            static_cast<unsigned char>(HexDigit(value[2 * i]) * 16 + HexDigit(value[2 * i + 1]));
      }
      break;
    }
  }
  if (ids.find(static_cast<char>(f.id)) == std::string::npos) ids += static_cast<char>(f.id);
  // The band text holds three band words; AISG 2.0 devices keep the second
  // and third in fields of their own.
  if (f.id == 0x03 && !first) {
    if (ids.find('\x08') == std::string::npos) ids += '\x08';
    if (ids.find('\x09') == std::string::npos) ids += '\x09';
  }
  return "";
}

}  // namespace aldctl
