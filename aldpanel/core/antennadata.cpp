#include "aldpanel/core/antennadata.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "aldpanel/core/gridrows.h"

namespace aldpanel {
namespace {

constexpr long kTenthsLimit = 10000000;  // a million, in tenths

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// A whole number with an optional sign; nothing beyond a billion.
std::optional<long> ParseWhole(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (!AllDigits(text) || text.size() > 9) return std::nullopt;
  long value = 0;
  for (char c : text) value = value * 10 + (c - '0');
  return negative ? -value : value;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes of a hexadecimal field text; nothing when a digit is not one.
std::optional<std::vector<uint8_t>> HexBytes(std::string_view field) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < field.size(); i += 2) {
    const int high = HexValue(field[i]);
    const int low = HexValue(field[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(high * 16 + low));
  }
  return bytes;
}

std::vector<std::string_view> SplitSlash(std::string_view text) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    const size_t slash = text.find('/', start);
    parts.push_back(
        Trim(text.substr(start, slash == std::string_view::npos ? slash : slash - start)));
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  return parts;
}

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

// A text field: printable ASCII only (the device drops anything else) and
// at most `limit` characters.
std::optional<std::string> CheckText(const char* name, const std::string& text, size_t limit) {
  for (unsigned char c : text) {
    if (c < 0x20 || c > 0x7E) {
      return std::string(name) + ": " + Quoted(text) +
             " holds a character the device cannot keep (letters, digits and punctuation "
             "of plain ASCII only).";
    }
  }
  if (text.size() > limit) {
    return std::string(name) + ": " + Quoted(text) + " is " + std::to_string(text.size()) +
           " characters long; the device's field holds at most " + std::to_string(limit) + ".";
  }
  return std::nullopt;
}

template <size_t N>
void CopyText(char (&member)[N], const std::string& text) {
  const size_t n = text.size() < N - 1 ? text.size() : N - 1;
  std::memcpy(member, text.data(), n);
  member[n] = 0;
}

// The "/"-separated values of Antenna Gain or Beam Width, checked against
// the slots of the version and the bands shown.
std::optional<std::string> SplitValues(const char* name, std::string_view text,
                                       const AntennaDataInput& input,
                                       std::vector<std::string_view>* values) {
  *values = SplitSlash(text);
  const int slots = ValueSlots(input.aisgVersion);
  if (static_cast<int>(values->size()) > slots) {
    return std::string(name) + ": " + std::to_string(values->size()) +
           " values, but the device keeps at most " + std::to_string(slots) + " (AISG " +
           std::to_string(input.aisgVersion) + ".x).";
  }
  if (!input.bandText.empty() && BandCount(input.bandText) > slots) {
    return std::string(name) + ": the antenna has " + std::to_string(BandCount(input.bandText)) +
           " bands, but the device keeps values for at most " + std::to_string(slots) + ".";
  }
  for (size_t i = 0; i < values->size(); ++i) {
    if ((*values)[i].empty()) {
      return std::string(name) + ": value " + std::to_string(i + 1) + " of " + Quoted(text) +
             " is empty.";
    }
  }
  return std::nullopt;
}

std::optional<std::string> PutGains(const AntennaDataInput& input, DeviceData& data) {
  const char* name = "Antenna Gain";
  std::vector<std::string_view> values;
  if (auto failure = SplitValues(name, *input.gain, input, &values)) return failure;
  for (size_t i = 0; i < values.size(); ++i) {
    const std::string_view v = values[i];
    if (!DecimalFormatOk(v, input.decimalSeparator)) {
      return std::string(name) + ": " + Quoted(v) +
             " has more than one decimal; the device keeps tenths of a dBi.";
    }
    const auto tenths = ParseTenths(v, input.decimalSeparator);
    if (!tenths) return std::string(name) + ": " + Quoted(v) + " is not a number.";
    if (*tenths < 0 || *tenths > 255) {
      return std::string(name) + ": " + std::string(v) + " does not fit the device's field (0 to " +
             FormatTenths(255, input.decimalSeparator) + " dBi).";
    }
    data.antgain[i] = static_cast<unsigned char>(*tenths);
  }
  return std::nullopt;
}

std::optional<std::string> PutBeamWidths(const AntennaDataInput& input, DeviceData& data) {
  const char* name = "Beam Width";
  std::vector<std::string_view> values;
  if (auto failure = SplitValues(name, *input.beamWidth, input, &values)) return failure;
  // AISG 1.x keeps one byte per band, AISG 2.x 16 bits.
  const long limit = input.aisgVersion == 1 ? 255 : 65535;
  for (size_t i = 0; i < values.size(); ++i) {
    const std::string_view v = values[i];
    const auto degrees = ParseWhole(v);
    if (!degrees)
      return std::string(name) + ": " + Quoted(v) + " is not a whole number of degrees.";
    if (*degrees < 0 || *degrees > limit) {
      return std::string(name) + ": " + std::string(v) + " does not fit the device's field (0 to " +
             std::to_string(limit) + " degrees).";
    }
    data.antbeam[2 * i] = static_cast<unsigned char>(*degrees & 0xFF);
    data.antbeam[2 * i + 1] = static_cast<unsigned char>(*degrees >> 8);
  }
  return std::nullopt;
}

std::optional<std::string> CheckMechanicalTilt(const AntennaDataInput& input, long* tenths) {
  const std::string& text = *input.mechanicalTilt;
  if (!DecimalFormatOk(text, input.decimalSeparator)) return std::string(kDecimalFormatMessage);
  const auto value = ParseTenths(text, input.decimalSeparator);
  if (!value) return "Mechanical Tilt: " + Quoted(text) + " is not a number.";
  if (input.aisgVersion == 1) {
    if (*value < -128 || *value > 127) return std::string(kMechTiltRangeMessage1);
  } else if (*value < -900 || *value > 900) {
    return std::string(kMechTiltRangeMessage2);
  }
  *tenths = *value;
  return std::nullopt;
}

}  // namespace

bool DecimalFormatOk(std::string_view text, char decimalSeparator) {
  size_t at = text.find(decimalSeparator);
  if (at == std::string_view::npos) return true;
  for (; at != std::string_view::npos; at = text.find(decimalSeparator, at + 1)) {
    if (text.size() - at - 1 <= 1) return true;
  }
  return false;
}

std::optional<long> ParseTenths(std::string_view text, char decimalSeparator) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::string_view whole = text;
  std::string_view fraction;
  const size_t at = text.find(decimalSeparator);
  if (at != std::string_view::npos) {
    whole = text.substr(0, at);
    fraction = text.substr(at + 1);
  }
  if (whole.empty() && fraction.empty()) return std::nullopt;
  if ((!whole.empty() && !AllDigits(whole)) || fraction.size() > 1 ||
      (!fraction.empty() && !AllDigits(fraction))) {
    return std::nullopt;
  }
  long value = 0;
  for (char c : whole) {
    value = value * 10 + (c - '0');
    if (value > kTenthsLimit) return std::nullopt;
  }
  value = value * 10 + (fraction.empty() ? 0 : fraction[0] - '0');
  if (value > kTenthsLimit) return std::nullopt;
  return negative ? -value : value;
}

std::string FormatTenths(long tenths, char decimalSeparator) {
  const long magnitude = tenths < 0 ? -tenths : tenths;
  std::string text = tenths < 0 ? "-" : "";
  text += std::to_string(magnitude / 10);
  text += decimalSeparator;
  text += static_cast<char>('0' + magnitude % 10);
  return text;
}

TiltCheck CheckSetTilt(std::string_view current, std::string_view minTilt, std::string_view maxTilt,
                       char decimalSeparator) {
  TiltCheck check;
  current = Trim(current);
  if (current.empty()) return check;
  if (!DecimalFormatOk(current, decimalSeparator)) {
    check.verdict = TiltVerdict::kBadFormat;
    check.message = kDecimalFormatMessage;
    return check;
  }
  const auto tilt = ParseTenths(current, decimalSeparator);
  if (!tilt || *tilt < INT16_MIN || *tilt > INT16_MAX) {
    check.verdict = TiltVerdict::kNotANumber;
    check.message = "Current Tilt: " + Quoted(current) + " is not a tilt in degrees.";
    return check;
  }
  const auto low = ParseTenths(minTilt, decimalSeparator);
  const auto high = ParseTenths(maxTilt, decimalSeparator);
  if ((low && *tilt < *low) || (high && *high < *tilt)) {
    check.verdict = TiltVerdict::kOutOfRange;
    check.message = kOutOfRangeMessage;
    return check;
  }
  check.verdict = TiltVerdict::kOk;
  check.tenths = static_cast<int>(*tilt);
  return check;
}

std::string SectorForDisplay(const std::string& stored, bool sectorControlled) {
  return ShownSectorId(stored, sectorControlled);
}

std::optional<std::string> SectorForDevice(const std::string& shown, bool sectorControlled) {
  if (!sectorControlled || !AllDigits(shown)) return shown;
  if (shown.find_first_not_of('0') == std::string::npos) return std::nullopt;
  std::string stored = shown;
  size_t i = stored.size();
  while (i > 0 && stored[i - 1] == '0') stored[--i] = '9';
  --stored[i - 1];
  const size_t first = stored.find_first_not_of('0');
  return stored.substr(first == std::string::npos ? stored.size() - 1 : first);
}

int ValueSlots(int aisgVersion) {
  return aisgVersion == 1 ? 3 : 4;
}

int BandCount(std::string_view bandText) {
  int count = 1;
  for (char c : bandText) count += c == '/';
  return count;
}

std::string GainDisplayText(std::string_view field, int bandCount, int aisgVersion,
                            char decimalSeparator) {
  if (field.size() < 8) return "";
  const auto bytes = HexBytes(field);
  if (!bytes) return "";
  const int n = std::min({bandCount, ValueSlots(aisgVersion), static_cast<int>(bytes->size())});
  std::string text;
  for (int i = 0; i < n; ++i) {
    if (i > 0) text += '/';
    text += FormatTenths((*bytes)[static_cast<size_t>(i)], decimalSeparator);
  }
  return text;
}

std::string BeamWidthDisplayText(std::string_view field, int bandCount, int aisgVersion) {
  if (field.size() < 16) return "";
  const auto bytes = HexBytes(field);
  if (!bytes) return "";
  const int n = std::min({bandCount, ValueSlots(aisgVersion), static_cast<int>(bytes->size() / 2)});
  std::string text;
  for (int i = 0; i < n; ++i) {
    if (i > 0) text += '/';
    const size_t at = 2 * static_cast<size_t>(i);
    text += std::to_string((*bytes)[at] | ((*bytes)[at + 1] << 8));
  }
  return text;
}

AntennaDataBuild BuildAntennaData(const AntennaDataInput& input) {
  AntennaDataBuild build;
  DeviceData& data = build.record.data;
  std::string& fields = build.record.fields;
  auto fail = [&build](std::string message) {
    build.ok = false;
    build.message = std::move(message);
    build.record = {};
    return build;
  };
  // The field widths depend on the generation: without it nothing is sure.
  if (input.aisgVersion != 1 && input.aisgVersion != 2) {
    return fail("The device's AISG version is not known: nothing is written.");
  }
  const bool v1 = input.aisgVersion == 1;

  if (input.sectorId) {
    const auto stored = SectorForDevice(*input.sectorId, input.sectorControlled);
    if (!stored) {
      return fail("Sector ID: " + Quoted(*input.sectorId) +
                  " is no sector number; the first sector is 1.");
    }
    if (auto failure = CheckText("Sector ID", *stored, v1 ? 4 : 32)) return fail(*failure);
    CopyText(data.sectorid, *stored);
    fields += kFieldSectorId;
  }
  if (input.siteId) {
    if (auto failure = CheckText("Site ID", *input.siteId, v1 ? 12 : 32)) return fail(*failure);
    CopyText(data.baseid, *input.siteId);
    fields += kFieldSiteId;
  }
  if (input.installerId) {
    if (auto failure = CheckText("Installer ID", *input.installerId, 5)) return fail(*failure);
    CopyText(data.insid, *input.installerId);
    fields += kFieldInstallerId;
  }
  if (input.installDate) {
    if (input.installDate->size() != 6 || !AllDigits(*input.installDate)) {
      return fail("Installation Date: " + Quoted(*input.installDate) +
                  " is not a date of six digits (mmddyy).");
    }
    CopyText(data.insdate, *input.installDate);
    fields += kFieldInstallDate;
  }
  if (input.bearing) {
    const auto bearing = ParseWhole(*input.bearing);
    if (!bearing) return fail("Bearing: " + Quoted(*input.bearing) + " is not a whole number.");
    if (*bearing < 0 || *bearing > 3600) return fail(kBearingRangeMessage);
    data.bearing = static_cast<uint16_t>(*bearing);
    fields += kFieldBearing;
  }
  if (input.mechanicalTilt) {
    long tenths = 0;
    if (auto failure = CheckMechanicalTilt(input, &tenths)) return fail(*failure);
    data.mechtilt = static_cast<int16_t>(tenths);
    fields += kFieldMechanicalTilt;
  }
  if (input.antennaSerial) {
    if (auto failure = CheckText("Antenna Serial No.", *input.antennaSerial, 17)) {
      return fail(*failure);
    }
    CopyText(data.antsn, *input.antennaSerial);
    fields += kFieldAntennaSerial;
  }
  if (input.gain) {
    if (auto failure = PutGains(input, data)) return fail(*failure);
    fields += kFieldGain;
  }
  if (input.beamWidth) {
    if (auto failure = PutBeamWidths(input, data)) return fail(*failure);
    fields += kFieldBeamWidth;
  }
  if (input.band) {
    if (input.tma) {
      data.antband[0] = input.bandBytes[0];
      data.antband[1] = input.bandBytes[1];
      fields += kFieldBand;
    } else {
      std::memcpy(data.antband, input.bandBytes.data(), sizeof data.antband);
      fields += kFieldBand;
      if (input.writeExtended1) fields += kFieldBandExt08;
      if (input.writeExtended2) fields += kFieldBandExt09;
    }
  }
  if (input.model) {
    if (auto failure = CheckText("Antenna Model", *input.model, 15)) return fail(*failure);
    if (!input.tma && input.model->empty()) return fail("Antenna Model: no model is chosen.");
    CopyText(data.antmodel, *input.model);
    fields += kFieldAntennaModel;
  }
  build.ok = true;
  return build;
}

void DropField(AntennaDataRecord& record, char id) {
  std::string kept;
  for (char f : record.fields) {
    if (f != id) kept += f;
  }
  record.fields = kept;
}

}  // namespace aldpanel
