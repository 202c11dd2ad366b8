#include "tools/aldctl/format.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "tools/aldctl/fields.h"

namespace aldctl {

ald::results::DeviceKind KindOf(const MIRELK_DATA* entry) {
  ald::results::DeviceKind kind;
  if (entry == nullptr) return kind;
  long version = 0;
  if (ParseInt(Field(*entry, kMdAisgVersion), version) && (version == 1 || version == 2))
    kind.aisgVersion = static_cast<int>(version);
  kind.tma = EntryKind(*entry) == 'T';
  return kind;
}

std::string ResultText(int result, const MIRELK_DATA* entry) {
  return ald::results::ResultText(result, KindOf(entry));
}

char EntryKind(const MIRELK_DATA& entry) {
  const std::string type = Field(entry, kMdDeviceType);
  if (type == "01" || type == "11") return 'R';
  if (type == "02" || type == "10") return 'T';
  return 0;
}

std::string Field(const MIRELK_DATA& entry, int index) {
  const char* f = entry.field[index];
  return std::string(f, strnlen(f, kMirelkFieldSize));
}

std::string Scaled(const std::string& raw, int scale) {
  long v = 0;
  if (!ParseInt(raw, v)) return "";
  const bool negative = v < 0;
  const long m = negative ? -v : v;
  std::string out = negative ? "-" : "";
  out += std::to_string(m / scale);
  const long rest = m % scale;
  if (scale == 10) {
    out += "." + std::to_string(rest);
  } else {  // quarters
    static const char* const kQuarter[] = {".0", ".25", ".5", ".75"};
    out += kQuarter[rest];
  }
  return out;
}

std::string Printable(const std::string& value) {
  std::string out;
  for (unsigned char c : value) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02X", c);
      out += esc;
    }
  }
  return out;
}

bool IsPlainNumber(const std::string& value) {
  size_t i = 0;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) ++i;
  const size_t digits = i;
  while (i < value.size() && value[i] >= '0' && value[i] <= '9') ++i;
  if (i == digits) return false;
  if (i < value.size() && value[i] == '.') {
    const size_t fraction = ++i;
    while (i < value.size() && value[i] >= '0' && value[i] <= '9') ++i;
    if (i == fraction) return false;
  }
  return i == value.size();
}

std::string CsvCell(const std::string& value) {
  std::string cell = value;
  // A spreadsheet runs a cell that starts like a formula; a leading single
  // quote makes it plain text there. Numbers such as "-15" stay numbers.
  if (!cell.empty() && std::strchr("=+-@\t\r", cell[0]) != nullptr && !IsPlainNumber(cell))
    cell.insert(0, 1, '\'');
  return CsvQuote(Printable(cell));
}

std::string CsvQuote(const std::string& value) {
  if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
  std::string out = "\"";
  for (char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string JsonQuote(const std::string& value) {
  std::string out = "\"";
  for (unsigned char c : value) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      // Device texts are ASCII; anything else is shown as its byte value so
      // that the output stays valid UTF-8.
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

namespace {

// Fields in the order of the script formats: every named field, the unused
// one left out.
std::vector<int> ScriptFields() {
  std::vector<int> fields;
  for (int i = 0; i < kMirelkFieldCount; ++i) {
    if (*TableFieldName(i) != '\0') fields.push_back(i);
  }
  return fields;
}

void WriteText(FILE* out, const MIRELK_DATA* entries, int count) {
  static const char* const kHeads[] = {"ADDR",  "SUB",    "TYPE",          "AISG",   "VENDOR",
                                       "MODEL", "SERIAL", "ANTENNA MODEL", "SECTOR", "BEARING",
                                       "TILT",  "MECH",   "GAIN",          "MODE",   "ALARMS"};
  constexpr int kColumns = sizeof kHeads / sizeof kHeads[0];
  std::vector<std::vector<std::string>> rows;
  rows.emplace_back(kHeads, kHeads + kColumns);
  for (int i = 0; i < count; ++i) {
    const MIRELK_DATA& e = entries[i];
    const char kind = EntryKind(e);
    std::string mode;
    if (kind == 'T' && !Field(e, kMdMode).empty()) {
      mode = Field(e, kMdMode) == "1" ? "bypass" : "normal";
    }
    std::vector<std::string> row = {Field(e, kMdAddress),
                                    Field(e, kMdSubunit),
                                    kind == 'R'   ? "RET"
                                    : kind == 'T' ? "TMA"
                                                  : Field(e, kMdDeviceType),
                                    Field(e, kMdAisgVersion),
                                    Field(e, kMdVendor),
                                    Field(e, kMdRetModel),
                                    Field(e, kMdRetSerial),
                                    Field(e, kMdAntennaModel),
                                    Field(e, kMdSectorId),
                                    Scaled(Field(e, kMdBearing), 10),
                                    Scaled(Field(e, kMdCurrentTilt), 10),
                                    Scaled(Field(e, kMdMechTilt), 10),
                                    kind == 'T' ? Scaled(Field(e, kMdCurrentGain), 4) : "",
                                    mode,
                                    Field(e, kMdDeviceStatusCause)};
    // Device texts reach a terminal: no control sequences from the line.
    for (std::string& cell : row) cell = Printable(cell);
    rows.push_back(std::move(row));
  }
  std::vector<size_t> width(kColumns, 0);
  for (const auto& r : rows) {
    for (int c = 0; c < kColumns; ++c) width[c] = std::max(width[c], r[c].size());
  }
  for (const auto& r : rows) {
    std::string line;
    for (int c = 0; c < kColumns; ++c) {
      line += r[c];
      if (c + 1 < kColumns) line += std::string(width[c] - r[c].size() + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    std::fprintf(out, "%s\n", line.c_str());
  }
}

}  // namespace

void WriteTable(FILE* out, const MIRELK_DATA* entries, int count, TableFormat format) {
  if (format == TableFormat::kText) {
    if (count > 0) WriteText(out, entries, count);
    return;
  }
  const std::vector<int> fields = ScriptFields();
  if (format == TableFormat::kCsv) {
    std::string line;
    for (size_t k = 0; k < fields.size(); ++k) {
      line += (k ? "," : "") + CsvQuote(TableFieldName(fields[k]));
    }
    std::fprintf(out, "%s\r\n", line.c_str());
    for (int i = 0; i < count; ++i) {
      line.clear();
      for (size_t k = 0; k < fields.size(); ++k) {
        line += (k ? "," : "") + CsvCell(Field(entries[i], fields[k]));
      }
      std::fprintf(out, "%s\r\n", line.c_str());
    }
    return;
  }
  std::fprintf(out, "[");
  for (int i = 0; i < count; ++i) {
    std::fprintf(out, "%s\n  {", i ? "," : "");
    for (size_t k = 0; k < fields.size(); ++k) {
      // An empty field holds no value the device gave (never read, or no
      // value of that kind): null, so that scripts do not take it for one.
      const std::string value = Field(entries[i], fields[k]);
      std::fprintf(out, "%s%s: %s", k ? ", " : "", JsonQuote(TableFieldName(fields[k])).c_str(),
                   value.empty() ? "null" : JsonQuote(value).c_str());
    }
    std::fprintf(out, "}");
  }
  std::fprintf(out, "%s]\n", count > 0 ? "\n" : "");
}

}  // namespace aldctl
