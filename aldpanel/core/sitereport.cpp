#include "aldpanel/core/sitereport.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>
#include <vector>

#include "aldpanel/core/quarterdb.h"

#ifndef O_BINARY
#define O_BINARY 0
#endif

namespace aldpanel {
namespace {

// The grid cells the report takes over as they are (sector conversion, band
// text, names and status text are the grid's own).
constexpr int kRetSectorCell = 0;
constexpr int kRetBandCell = kRetVendorColumn - 1;
constexpr int kRetModelCell = kRetVendorColumn + 1;
constexpr int kTmaSectorCell = 0;
constexpr int kTmaBandCell = kTmaVendorColumn - 1;
constexpr int kTmaModelCell = kTmaVendorColumn + 1;
// A change of the grids' columns must not make the report read the wrong
// cell.
constexpr bool Caption(const char* const* captions, int column, std::string_view name) {
  return std::string_view(captions[column]) == name;
}
static_assert(Caption(kRetCaptions, kRetSectorCell, "Sector ID") &&
              Caption(kRetCaptions, kRetBandCell, "Freq. Band") &&
              Caption(kRetCaptions, kRetVendorColumn, "Vendor") &&
              Caption(kRetCaptions, kRetModelCell, "Antenna Model") &&
              Caption(kRetCaptions, kRetStatusColumn, "Device Status"));
static_assert(Caption(kTmaCaptions, kTmaSectorCell, "Sector ID") &&
              Caption(kTmaCaptions, kTmaBandCell, "Freq. Band") &&
              Caption(kTmaCaptions, kTmaVendorColumn, "Vendor") &&
              Caption(kTmaCaptions, kTmaModelCell, "Antenna Model") &&
              Caption(kTmaCaptions, kTmaStatusColumn, "Device Status"));

bool NeedsCsvQuotes(unsigned char c) {
  return c == '"' || c == ',' || c == ';' || c < 0x20 || c == 0x7F;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes of a text of hexadecimal digit pairs; false when it is not one.
bool HexBytes(const std::string& text, std::vector<int>& bytes) {
  if (text.size() % 2 != 0) return false;
  bytes.clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    int high = HexDigit(text[i]);
    int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes.push_back(high * 16 + low);
  }
  return true;
}

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

std::string OneDecimal(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%2.1f", value);
  return text;
}

// A value worked out from a field: empty while the field is empty (never
// read), the field as stored when it does not read as expected, so that a
// malformed value is shown rather than hidden.
std::string Derived(const std::string& stored, const std::string& worked) {
  if (stored.empty()) return std::string();
  return worked.empty() ? stored : worked;
}

std::string Tenths(const std::string& stored) {
  return Derived(stored, TenthsText(stored, '.'));
}

std::string QuarterDb(const std::string& stored) {
  long quarters = 0;
  return Derived(stored, ReadLong(stored, quarters) ? FormatQuarterDb(quarters, '.') : "");
}

// Values in the band text's number of bands ("900/1800" holds two).
size_t BandCount(const std::string& bandText) {
  return static_cast<size_t>(std::count(bandText.begin(), bandText.end(), '/')) + 1;
}

// The 16-bit values of the Beam Width field (four digits each, low byte
// first) as "%d/%d/...", at most `count` of them.
std::string BeamWidthText(const std::string& stored, size_t count) {
  std::vector<int> bytes;
  if (!HexBytes(stored, bytes) || bytes.size() % 2 != 0) return Derived(stored, "");
  std::string out;
  for (size_t i = 0; i + 1 < bytes.size() && i / 2 < count && i / 2 < 4; i += 2) {
    if (!out.empty()) out += '/';
    out += std::to_string(bytes[i] | (bytes[i + 1] << 8));
  }
  return Derived(stored, out);
}

// The bytes of the Antenna Gain field in tenths of a dBi as "%2.1f/...", at
// most `count` of them.
std::string AntennaGainText(const std::string& stored, size_t count) {
  std::vector<int> bytes;
  if (!HexBytes(stored, bytes)) return Derived(stored, "");
  std::string out;
  for (size_t i = 0; i < bytes.size() && i < count && i < 4; ++i) {
    if (!out.empty()) out += '/';
    out += OneDecimal(bytes[i] / 10.0);
  }
  return Derived(stored, out);
}

// Edge `which` (0 lower, 1 upper) of a TMA band field (two 16-bit values in
// 100 kHz, low byte first) in MHz.
std::string BandEdgeText(const std::string& stored, size_t which) {
  std::vector<int> bytes;
  if (!HexBytes(stored, bytes) || bytes.size() < 2 * which + 2) return Derived(stored, "");
  int value = bytes[2 * which] | (bytes[2 * which + 1] << 8);
  return OneDecimal(value * 0.1);
}

std::string TmaTypeText(const std::string& stored) {
  long value = 0;
  if (!ReadLong(stored, value)) return stored;
  std::string out;
  if (value & 1) out += "Bypass";
  if (value & 2) out += "VSWR";
  return out;
}

std::string ModeText(const std::string& stored) {
  long value = 0;
  if (!ReadLong(stored, value)) return stored;
  return value == 1 ? "Bypass" : "Normal";
}

// Columns 1 to 17, common to both sections.
void CommonCells(const MIRELK_DATA& e, const GridRow& row, int sectorCell, int bandCell,
                 int vendorCell, int modelCell, int statusCell, std::vector<std::string>& cells) {
  const std::string band = row.cells[static_cast<size_t>(bandCell)];
  const size_t n = BandCount(band);
  const std::string version = FieldText(e, kMdAisgVersion);
  cells = {row.cells[static_cast<size_t>(sectorCell)],
           FieldText(e, kMdAddress),
           FieldText(e, kMdDeviceType),
           FieldText(e, kMdSiteId),
           FieldText(e, kMdInstallerId),
           FieldText(e, kMdInstallationDate),
           FieldText(e, kMdBearing),
           Tenths(FieldText(e, kMdMechTilt)),
           row.cells[static_cast<size_t>(modelCell)],
           FieldText(e, kMdAntennaSerial),
           band,
           BeamWidthText(FieldText(e, kMdBeamWidth), n),
           AntennaGainText(FieldText(e, kMdAntennaGain), n),
           version.empty() ? version : version + ".x",
           row.cells[static_cast<size_t>(statusCell)],
           FieldText(e, kMdVendor),
           row.cells[static_cast<size_t>(vendorCell)]};
}

void AppendRow(std::string& out, const std::vector<std::string>& cells) {
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) out += ',';
    out += ReportCell(cells[i]);
  }
  out += '\n';
}

template <size_t N>
void AppendHeader(std::string& out, const char* const (&captions)[N]) {
  for (size_t i = 0; i < N; ++i) {
    if (i > 0) out += ',';
    out += captions[i];
  }
  out += '\n';
}

// A name for the temporary file beside `path` that no file has yet.
std::string TemporaryName(const std::string& path, unsigned salt) {
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, ".%08x.tmp", salt);
  return path + suffix;
}

std::string Reason(int error) {
  return std::strerror(error != 0 ? error : EIO);
}

}  // namespace

std::string ReportCell(std::string_view value) {
  // The formula: one string literal, or several joined with "&" so that
  // none is longer than a spreadsheet takes. A piece never ends inside a
  // UTF-8 sequence.
  std::string formula = "=";
  size_t start = 0;
  do {
    size_t end = std::min(value.size(), start + kReportLiteralLimit);
    while (end > start + 1 && end < value.size() &&
           (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80) {
      --end;
    }
    if (start > 0) formula += '&';
    formula += '"';
    for (size_t i = start; i < end; ++i) {
      if (value[i] == '"') formula += '"';
      formula += value[i];
    }
    formula += '"';
    start = end;
  } while (start < value.size());

  bool quoted = std::any_of(value.begin(), value.end(),
                            [](char c) { return NeedsCsvQuotes(static_cast<unsigned char>(c)); });
  if (!quoted) return formula;
  std::string cell = "\"";
  for (char c : formula) {
    if (c == '"') cell += '"';
    cell += c;
  }
  cell += '"';
  return cell;
}

SiteReport BuildSiteReport(const MIRELK_DATA* table, int count, const GridLookups& lookups) {
  GridLookups plain = lookups;
  plain.decimalSeparator = '.';
  GridRows rows = BuildGridRows(table, count, plain);

  SiteReport report;
  std::string retText, tmaText;
  std::vector<std::string> cells;
  for (const GridRow& row : rows.ret) {
    const MIRELK_DATA& e = table[row.tableIndex];
    CommonCells(e, row, kRetSectorCell, kRetBandCell, kRetVendorColumn, kRetModelCell,
                kRetStatusColumn, cells);
    cells.push_back(FieldText(e, kMdRetModel));
    cells.push_back(FieldText(e, kMdRetSerial));
    cells.push_back(FieldText(e, kMdHardwareVersion));
    cells.push_back(FieldText(e, kMdSoftwareVersion));
    cells.push_back(Tenths(FieldText(e, kMdMinTilt)));
    cells.push_back(Tenths(FieldText(e, kMdMaxTilt)));
    cells.push_back(Tenths(FieldText(e, kMdCurrentTilt)));
    AppendRow(retText, cells);
    ++report.retRows;
  }
  for (const GridRow& row : rows.tma) {
    const MIRELK_DATA& e = table[row.tableIndex];
    CommonCells(e, row, kTmaSectorCell, kTmaBandCell, kTmaVendorColumn, kTmaModelCell,
                kTmaStatusColumn, cells);
    const std::string rx = FieldText(e, kMdTmaRxBand);
    const std::string tx = FieldText(e, kMdTmaTxBand);
    cells.push_back(FieldText(e, kMdRetModel));
    cells.push_back(FieldText(e, kMdRetSerial));
    cells.push_back(FieldText(e, kMdHardwareVersion));
    cells.push_back(FieldText(e, kMdSoftwareVersion));
    cells.push_back(TmaTypeText(FieldText(e, kMdTmaType)));
    cells.push_back(ModeText(FieldText(e, kMdMode)));
    cells.push_back(BandEdgeText(rx, 0));
    cells.push_back(BandEdgeText(rx, 1));
    cells.push_back(BandEdgeText(tx, 0));
    cells.push_back(BandEdgeText(tx, 1));
    cells.push_back(QuarterDb(FieldText(e, kMdMinGain)));
    cells.push_back(QuarterDb(FieldText(e, kMdMaxGain)));
    cells.push_back(FieldText(e, kMdGainResolution));
    cells.push_back(QuarterDb(FieldText(e, kMdCurrentGain)));
    AppendRow(tmaText, cells);
    ++report.tmaRows;
  }

  if (report.retRows > 0) {
    report.text += kRetReportTitleLine;
    AppendHeader(report.text, kRetReportCaptions);
    report.text += retText;
    report.text += kRetReportSeparatorLine;
  }
  if (report.tmaRows > 0) {
    report.text += kTmaReportTitleLine;
    AppendHeader(report.text, kTmaReportCaptions);
    report.text += tmaText;
  }
  return report;
}

bool WriteReportFile(const std::string& path, const std::string& text, std::string* why) {
  auto fail = [&](const std::string& what, int error) {
    if (why != nullptr) *why = what + ": " + Reason(error);
    return false;
  };
  if (path.empty()) return fail("no file name", EINVAL);

  std::random_device entropy;
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temp = TemporaryName(path, static_cast<unsigned>(entropy()));
    // Readable like any file the operator saves (the umask still applies).
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_BINARY, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return fail("cannot create a file beside " + path, errno);

  FILE* out = ::fdopen(fd, "wb");
  if (out == nullptr) {
    int error = errno;
    ::close(fd);
    std::remove(temp.c_str());
    return fail("cannot write " + temp, error);
  }
  errno = 0;
  bool ok = text.empty() || std::fwrite(text.data(), 1, text.size(), out) == text.size();
  ok = ok && std::fflush(out) == 0;
#ifdef _WIN32
  ok = ok && ::_commit(::_fileno(out)) == 0;
#else
  // On disk before it replaces the old report, so a power loss leaves one
  // of the two whole.
  ok = ok && ::fsync(::fileno(out)) == 0;
#endif
  int error = errno;
  if (std::fclose(out) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    std::remove(temp.c_str());
    return fail("cannot write " + path, error);
  }

  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    std::remove(temp.c_str());
    if (why != nullptr) *why = "cannot replace " + path + ": " + ec.message();
    return false;
  }
  return true;
}

}  // namespace aldpanel
