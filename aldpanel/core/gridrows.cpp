#include "aldpanel/core/gridrows.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "aldpanel/core/bands.h"
#include "aldpanel/core/quarterdb.h"

namespace aldpanel {
namespace {

bool AllHex(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  });
}

bool AllDigits(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A whole decimal number (blanks around it allowed); false for anything else.
bool ReadLong(const std::string& text, long& value) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(begin, &end, 10);
  if (end == begin || errno == ERANGE) return false;
  while (*end == ' ') ++end;
  if (*end != '\0') return false;
  value = v;
  return true;
}

bool ReadDouble(const std::string& text, double& value) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(begin, &end);
  if (end == begin || errno == ERANGE) return false;
  while (*end == ' ') ++end;
  if (*end != '\0') return false;
  value = v;
  return true;
}

std::string OneDecimal(double value, char separator) {
  char text[64];
  std::snprintf(text, sizeof text, "%2.1f", value);
  std::string out = text;
  std::replace(out.begin(), out.end(), '.', separator);
  return out;
}

std::string Lookup(const std::function<std::string(const std::string&)>& f,
                   const std::string& code) {
  return f ? f(code) : code;
}

std::string StatusText(const MIRELK_DATA& entry, const GridLookups& lookups) {
  return StatusTextOf(FieldText(entry, kMdDeviceStatusCause), FieldText(entry, kMdDeviceStatus),
                      lookups.errorText);
}

std::string BandColumn(const MIRELK_DATA& entry) {
  long version = 0;
  if (!ReadLong(FieldText(entry, kMdAisgVersion), version)) return std::string();
  return DecodeBandField(FieldText(entry, kMdFreqBand), static_cast<int>(version)).text;
}

std::string SectorColumn(const MIRELK_DATA& entry, const std::string& vendor,
                         const GridLookups& lookups) {
  bool oneBased = lookups.sectorControl && lookups.sectorControl(vendor) == 1;
  return ShownSectorId(FieldText(entry, kMdSectorId), oneBased);
}

GridRow RetRow(const MIRELK_DATA& entry, int index, const GridLookups& lookups) {
  GridRow row;
  row.tableIndex = index;
  row.subunit = FieldText(entry, kMdSubunit);
  std::string vendor = FieldText(entry, kMdVendor);
  std::string elec = FieldText(entry, kMdCurrentTilt);
  std::string mech = FieldText(entry, kMdMechTilt);
  std::string total;
  double e = 0, m = 0;
  if (ReadDouble(elec, e) && ReadDouble(mech, m)) {
    total = OneDecimal((e + m) / 10.0, lookups.decimalSeparator);
  }
  std::string status = StatusText(entry, lookups);
  row.healthy = status == "OK";
  row.vendorHint = Lookup(lookups.vendorFullName, vendor);
  row.cells = {SectorColumn(entry, vendor, lookups),
               FieldText(entry, kMdBearing),
               BandColumn(entry),
               Lookup(lookups.vendorShortName, vendor),
               lookups.modelFullName
                   ? lookups.modelFullName(FieldText(entry, kMdAntennaModel), vendor)
                   : FieldText(entry, kMdAntennaModel),
               FieldText(entry, kMdAntennaSerial),
               FieldText(entry, kMdRetSerial),
               TenthsText(elec, lookups.decimalSeparator),
               TenthsText(mech, lookups.decimalSeparator),
               total,
               status,
               FieldText(entry, kMdAddress),
               vendor};
  return row;
}

GridRow TmaRow(const MIRELK_DATA& entry, int index, const GridLookups& lookups) {
  GridRow row;
  row.tableIndex = index;
  row.subunit = FieldText(entry, kMdSubunit);
  std::string vendor = FieldText(entry, kMdVendor);
  // Quarter decibels shown in decibels with the quarters the value has.
  std::string gain;
  long quarters = 0;
  if (ReadLong(FieldText(entry, kMdCurrentGain), quarters)) {
    gain = FormatQuarterDb(quarters, lookups.decimalSeparator);
  }
  std::string mode;
  long modeValue = 0;
  if (ReadLong(FieldText(entry, kMdMode), modeValue)) mode = modeValue == 1 ? "Bypass" : "Normal";
  std::string status = StatusText(entry, lookups);
  row.healthy = status == "OK";
  row.vendorHint = Lookup(lookups.vendorFullName, vendor);
  row.cells = {SectorColumn(entry, vendor, lookups),
               BandColumn(entry),
               Lookup(lookups.vendorShortName, vendor),
               lookups.modelFullName
                   ? lookups.modelFullName(FieldText(entry, kMdAntennaModel), vendor)
                   : FieldText(entry, kMdAntennaModel),
               FieldText(entry, kMdAntennaSerial),
               FieldText(entry, kMdRetModel),
               FieldText(entry, kMdRetSerial),
               gain,
               mode,
               status,
               FieldText(entry, kMdAddress),
               vendor};
  return row;
}

}  // namespace

std::string FieldText(const MIRELK_DATA& entry, int field) {
  if (field < 0 || field >= kMirelkFieldCount) return std::string();
  const char* text = entry.field[field];
  return std::string(text, strnlen(text, kMirelkFieldSize));
}

EntryKind KindOf(const MIRELK_DATA& entry) {
  std::string type = FieldText(entry, kMdDeviceType);
  if (!AllHex(type) || type.size() > 4) return EntryKind::kUnknown;
  long value = std::strtol(type.c_str(), nullptr, 16);
  if (value == 0x01 || value == 0x11) return EntryKind::kRet;
  if (value == 0x02 || value == 0x10) return EntryKind::kTma;
  return EntryKind::kUnknown;
}

std::vector<int> SortedEntryOrder(const MIRELK_DATA* table, int count) {
  struct Key {
    int group;
    std::string sector;
    int index;
  };
  std::vector<Key> keys;
  if (table == nullptr || count < 1) return {};
  keys.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    EntryKind kind = KindOf(table[i]);
    if (kind == EntryKind::kUnknown) continue;
    keys.push_back({kind == EntryKind::kRet ? 0 : 1, FieldText(table[i], kMdSectorId), i});
  }
  std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
    if (a.group != b.group) return a.group < b.group;
    int c = a.sector.compare(b.sector);
    if (c != 0) return c < 0;
    return a.index < b.index;
  });
  std::vector<int> order;
  order.reserve(keys.size());
  for (const Key& k : keys) order.push_back(k.index);
  return order;
}

GridRows BuildGridRows(const MIRELK_DATA* table, int count, const GridLookups& lookups) {
  GridRows rows;
  for (int index : SortedEntryOrder(table, count)) {
    const MIRELK_DATA& entry = table[index];
    if (KindOf(entry) == EntryKind::kRet) {
      rows.ret.push_back(RetRow(entry, index, lookups));
    } else {
      rows.tma.push_back(TmaRow(entry, index, lookups));
    }
  }
  return rows;
}

std::string StatusTextOf(std::string cause, const std::string& status,
                         const std::function<std::string(int)>& errorText) {
  if (cause.empty()) {
    long value = -1;
    if (!ReadLong(status, value) || value != 0) return std::string();
    cause.assign(1, '0');  // not = "0": GCC 12 -O2 warns falsely (-Wrestrict) on that
  }
  if (!AllHex(cause) || cause.size() > 4) return cause;
  int code = static_cast<int>(std::strtol(cause.c_str(), nullptr, 16));
  if (errorText) return errorText(code);
  return std::to_string(code);
}

std::string ShownSectorId(const std::string& stored, bool oneBased) {
  if (!oneBased || !AllDigits(stored)) return stored;
  // The integer value plus one, written without leading zeros.
  size_t first = stored.find_first_not_of('0');
  std::string digits = first == std::string::npos ? "0" : stored.substr(first);
  int i = static_cast<int>(digits.size()) - 1;
  for (; i >= 0; --i) {
    if (digits[static_cast<size_t>(i)] == '9') {
      digits[static_cast<size_t>(i)] = '0';
    } else {
      ++digits[static_cast<size_t>(i)];
      break;
    }
  }
  if (i < 0) digits.insert(digits.begin(), '1');
  return digits;
}

std::string TenthsText(const std::string& stored, char decimalSeparator) {
  double value = 0;
  if (!ReadDouble(stored, value)) return std::string();
  return OneDecimal(value / 10.0, decimalSeparator);
}

std::vector<std::string> ScanSummaryLines(const char* countText) {
  int retDevices = 0, retUnits = 0, tmaDevices = 0, tmaUnits = 0;
  if (countText == nullptr ||
      std::sscanf(countText, "%d/%d/%d/%d", &retDevices, &retUnits, &tmaDevices, &tmaUnits) != 4) {
    retDevices = retUnits = tmaDevices = tmaUnits = 0;
  }
  // One-digit counts get a leading blank so that the lines stay aligned.
  auto count = [](int n) {
    char text[24];
    std::snprintf(text, sizeof text, "%2d", n);
    return std::string(text);
  };
  std::vector<std::string> lines;
  lines.push_back("Process is finished.");
  lines.push_back("Found total " + std::to_string(retDevices + tmaDevices) + " device.");
  if (retDevices > 0) {
    lines.push_back("RET :" + count(retDevices) + " device," + count(retUnits) + " unit");
  }
  if (tmaDevices > 0) {
    lines.push_back("TMA :" + count(tmaDevices) + " device," + count(tmaUnits) + " unit");
  }
  return lines;
}

}  // namespace aldpanel
