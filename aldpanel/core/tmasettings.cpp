#include "aldpanel/core/tmasettings.h"

#include <cctype>
#include <cstdlib>

#include "aldpanel/core/antennadata.h"
#include "aldpanel/core/quarterdb.h"

namespace aldpanel {
namespace {

std::string Trimmed(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

// A whole decimal number, nothing for an empty field or any other text.
std::optional<long> ReadWhole(const std::string& field) {
  std::string text = Trimmed(field);
  if (text.empty() || text.size() > 9) return std::nullopt;
  char* end = nullptr;
  long value = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0') return std::nullopt;
  return value;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The byte of two hex digits at `at`, -1 when they are not hex digits.
int HexByte(const std::string& text, size_t at) {
  if (at + 2 > text.size()) return -1;
  int high = HexDigit(text[at]);
  int low = HexDigit(text[at + 1]);
  return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// A 16-bit word of four hex digits stored low byte first.
long HexWordLowFirst(const std::string& text, size_t at) {
  int low = HexByte(text, at);
  int high = HexByte(text, at + 2);
  return low < 0 || high < 0 ? -1 : high * 256L + low;
}

std::string Db(long quarters, char separator) {
  return FormatQuarterDb(quarters, separator) + " dB";
}

}  // namespace

GainRange ReadGainRange(const std::string& minField, const std::string& maxField,
                        const std::string& resolutionField) {
  GainRange range;
  range.min = ReadWhole(minField);
  range.max = ReadWhole(maxField);
  std::optional<long> resolution = ReadWhole(resolutionField);
  if (resolution && *resolution >= 1) {
    range.step = *resolution;
  } else {
    // A device that names no step below a quarter decibel sets any quarter.
    range.step = 1;
    range.stepRaised = true;
  }
  return range;
}

std::vector<long> GainListQuarters(const GainRange& range, std::optional<long> current) {
  std::vector<long> list;
  if (range.known() && *range.min < *range.max) {
    for (long q = *range.min; q <= *range.max && list.size() < kMaxGainListEntries;
         q += range.step) {
      list.push_back(q);
    }
    return list;
  }
  if (range.known() && *range.min == *range.max) {
    list.push_back(*range.min);
    return list;
  }
  if (current) list.push_back(*current);
  return list;
}

DecibelText ReadDecibels(const std::string& raw, char decimalSeparator) {
  DecibelText result;
  std::string text = Trimmed(raw);
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  std::string whole, fraction;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) whole += text[i++];
  if (i < text.size() && (text[i] == decimalSeparator || text[i] == '.')) {
    ++i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
      fraction += text[i++];
    }
  }
  if (i != text.size() || (whole.empty() && fraction.empty())) return result;
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  while (whole.size() > 1 && whole.front() == '0') whole.erase(0, 1);
  // Far beyond any gain field; kept small so that the exact arithmetic
  // below cannot overflow.
  if (whole.size() > 6 || fraction.size() > 6) return result;
  long long denominator = 1;
  for (size_t k = 0; k < fraction.size(); ++k) denominator *= 10;
  long long value = (whole.empty() ? 0 : std::atoll(whole.c_str())) * denominator +
                    (fraction.empty() ? 0 : std::atoll(fraction.c_str()));
  result.number = true;
  result.numerator = (negative ? -4 : 4) * value;
  result.denominator = denominator;
  return result;
}

GainCheck CheckGain(const std::string& text, const GainRange& range, char separator) {
  GainCheck check;
  const std::string shown = Trimmed(text);
  DecibelText value = ReadDecibels(shown, separator);
  if (!value.number) {
    check.message = "Current Gain (dB): \"" + shown + "\" is not a gain in dB.";
    return check;
  }
  const long long n = value.numerator, d = value.denominator;
  if (range.known() && (n < *range.min * d || n > *range.max * d)) {
    check.message = "Out of range error!\n( Min Gain: " + Db(*range.min, separator) +
                    " , Max Gain: " + Db(*range.max, separator) + " )";
    return check;
  }
  // The set gain message carries one byte of quarter decibels.
  if (n < 0 || n > kMaxGainQuarters * d) {
    check.message = "Current Gain (dB): " + shown +
                    " dB is not a value the gain field can hold (0 to " +
                    Db(kMaxGainQuarters, separator) + ").";
    return check;
  }
  // The device's steps start at its minimum (at 0 when the range is
  // unknown: any whole quarter then).
  const long base = range.known() ? *range.min : 0;
  const long step = range.known() ? range.step : 1;
  const long long offset = n - static_cast<long long>(base) * d;
  const long long stepScaled = static_cast<long long>(step) * d;
  if (offset % stepScaled == 0) {
    check.ok = true;
    check.quarters = base + static_cast<long>(offset / stepScaled) * step;
    return check;
  }
  const long lower = base + static_cast<long>(offset / stepScaled) * step;
  const long upper = lower + step;
  std::vector<long> nearest;
  nearest.push_back(lower);
  if (!range.known() || upper <= *range.max) nearest.push_back(upper);
  check.message = "Current Gain (dB): " + shown + " dB is not a gain this TMA can set (steps of " +
                  Db(step, separator) + " from " + Db(base, separator) + ").\n";
  if (nearest.size() == 1) {
    check.message += "Nearest valid value: " + Db(nearest[0], separator);
  } else {
    check.message +=
        "Nearest valid values: " + Db(nearest[0], separator) + " and " + Db(nearest[1], separator);
  }
  return check;
}

std::string ModeText(long mode) {
  return mode != 0 ? "Bypass" : "Normal";
}

std::optional<int> ModeFromText(const std::string& text) {
  std::string t = Trimmed(text);
  if (t == "Bypass") return 1;
  if (t == "Normal") return 0;
  return std::nullopt;
}

TmaTypeBits ReadTmaType(const std::string& field, int aisgVersion) {
  TmaTypeBits bits;
  std::string text = Trimmed(field);
  if (text.empty() || text.size() > 4) return bits;
  char* end = nullptr;
  long value = std::strtol(text.c_str(), &end, aisgVersion == 2 ? 16 : 10);
  if (end == text.c_str() || *end != '\0' || value < 0) return bits;
  bits.bypass = (value & 1) != 0;
  bits.vswr = (value & 2) != 0;
  return bits;
}

BandEdges ReadBandEdges(const std::string& field, char separator) {
  BandEdges edges;
  std::string text = Trimmed(field);
  if (text.size() != 8) return edges;
  long lower = HexWordLowFirst(text, 0);
  long upper = HexWordLowFirst(text, 4);
  if (lower < 0 || upper < 0) return edges;
  edges.lower = FormatTenths(lower, separator);
  edges.upper = FormatTenths(upper, separator);
  return edges;
}

}  // namespace aldpanel
