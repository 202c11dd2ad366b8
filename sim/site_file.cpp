// Site file parser (format in docs/site-format.md). Every value is checked
// and refused with the line it came from; nothing is clamped or guessed.
#include "sim/site_file.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <sstream>

#include "sim/sim_ald.h"

namespace ald::sim {

namespace {

struct Entry {
  int line = 0;
  std::string key;
  std::string value;
};

struct SubunitEntry {
  int subunit = 0;
  Entry entry;
};

struct DeviceBlock {
  int line = 0;
  std::vector<Entry> keys;
  std::vector<SubunitEntry> subunitKeys;
};

// Thrown inside the parser only, caught by ParseSite.
struct SiteError {
  std::string text;
};

[[noreturn]] void Fail(int line, const std::string& text) {
  throw SiteError{"line " + std::to_string(line) + ": " + text};
}

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  const size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

std::vector<std::string> Words(const std::string& s) {
  std::vector<std::string> words;
  std::string w;
  for (char c : s) {
    if (c == ' ' || c == '\t' || c == ',') {
      if (!w.empty()) words.push_back(w);
      w.clear();
    } else {
      w.push_back(c);
    }
  }
  if (!w.empty()) words.push_back(w);
  return words;
}

// A whole number, decimal or with 0x in hexadecimal, within [lo, hi].
int64_t Integer(const Entry& e, const std::string& text, int64_t lo, int64_t hi) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int base = 10;
  if (text.size() >= i + 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) Fail(e.line, "'" + e.key + "': '" + text + "' is not a number");
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    } else {
      Fail(e.line, "'" + e.key + "': '" + text + "' is not a number");
    }
    v = v * base + d;
    if (v > 1'000'000'000'000LL) Fail(e.line, "'" + e.key + "': '" + text + "' is out of range");
  }
  if (negative) v = -v;
  if (v < lo || v > hi) {
    Fail(e.line, "'" + e.key + "': " + text + " is out of range " + std::to_string(lo) + " to " +
                     std::to_string(hi));
  }
  return v;
}

// A decimal number with at most `digits` decimals, returned in units of
// 10^-digits, within [lo, hi] of those units.
int64_t Fixed(const Entry& e, const std::string& text, int digits, int64_t lo, int64_t hi,
              const std::string& unit) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int64_t v = 0;
  int fraction = -1;  // decimals seen, -1 before the point
  bool any = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && fraction < 0) {
      fraction = 0;
      continue;
    }
    if (c < '0' || c > '9') Fail(e.line, "'" + e.key + "': '" + text + "' is not a number");
    any = true;
    if (fraction >= 0) {
      if (fraction == digits) {
        if (c != '0') Fail(e.line, "'" + e.key + "': " + text + " is finer than the device's step");
        continue;
      }
      ++fraction;
    }
    v = v * 10 + (c - '0');
    if (v > 1'000'000'000'000LL) Fail(e.line, "'" + e.key + "': '" + text + "' is out of range");
  }
  if (!any) Fail(e.line, "'" + e.key + "': '" + text + "' is not a number");
  for (int f = std::max(fraction, 0); f < digits; ++f) v *= 10;
  if (negative) v = -v;
  if (v < lo || v > hi) {
    auto show = [&](int64_t x) {
      std::string s = std::to_string(x < 0 ? -x : x);
      if (digits > 0) {
        while (static_cast<int>(s.size()) <= digits) s.insert(s.begin(), '0');
        s.insert(s.end() - digits, '.');
      }
      return (x < 0 ? "-" : "") + s;
    };
    Fail(e.line, "'" + e.key + "': " + text + " is out of range " + show(lo) + " to " + show(hi) +
                     (unit.empty() ? "" : " " + unit));
  }
  return v;
}

bool Boolean(const Entry& e) {
  if (e.value == "yes" || e.value == "true" || e.value == "1") return true;
  if (e.value == "no" || e.value == "false" || e.value == "0") return false;
  Fail(e.line, "'" + e.key + "': expected yes or no, not '" + e.value + "'");
}

// A text of printable ASCII, optionally in double quotes, at most `max` long.
std::string Text(const Entry& e, size_t max) {
  std::string t = e.value;
  if (t.size() >= 2 && t.front() == '"' && t.back() == '"') t = t.substr(1, t.size() - 2);
  for (char c : t) {
    if (c < 0x20 || c > 0x7E) Fail(e.line, "'" + e.key + "': texts are printable ASCII");
  }
  if (t.size() > max) {
    Fail(e.line,
         "'" + e.key + "': '" + t + "' is longer than " + std::to_string(max) + " characters");
  }
  return t;
}

std::vector<uint8_t> ByteList(const Entry& e, int64_t lo) {
  std::vector<uint8_t> bytes;
  for (const std::string& w : Words(e.value)) {
    bytes.push_back(static_cast<uint8_t>(Integer(e, w, lo, 255)));
  }
  return bytes;
}

// Quarter decibels from decibels.
int QuarterDb(const Entry& e, const std::string& text) {
  const int64_t hundredths = Fixed(e, text, 2, 0, 6375, "dB");
  if (hundredths % 25 != 0)
    Fail(e.line, "'" + e.key + "': " + text + " dB is not a multiple of 0.25");
  return static_cast<int>(hundredths / 25);
}

const Entry* Find(const DeviceBlock& d, const std::string& key) {
  for (const Entry& e : d.keys) {
    if (e.key == key) return &e;
  }
  return nullptr;
}

bool IsShortIdVendor(const std::string& vendor) {
  static const char* kShort[] = {"AL", "LA", "LG", "PW", "RW", "RE"};
  return std::any_of(std::begin(kShort), std::end(kShort),
                     [&](const char* v) { return vendor == v; });
}

struct SubunitKey {
  const char* name;
  uint8_t field;  // device data field, 0 for a setting
  bool ret;
  bool tma;
};

constexpr SubunitKey kSubunitKeys[] = {
    {"antenna-model", 0x01, true, true},
    {"antenna-serial", 0x02, true, true},
    {"band", 0x03, true, true},
    {"beamwidth", 0x04, true, true},
    {"antenna-gain", 0x05, true, true},
    {"band-ext08", 0x08, true, true},
    {"band-ext09", 0x09, true, true},
    {"tma-model", 0x11, false, true},
    {"tma-serial", 0x12, false, true},
    {"tma-type", 0x13, false, true},
    {"rx-band", 0x14, false, true},
    {"tx-band", 0x15, false, true},
    {"install-date", 0x21, true, true},
    {"installer-id", 0x22, true, true},
    {"base-station-id", 0x23, true, true},
    {"sector-id", 0x24, true, true},
    {"bearing", 0x25, true, true},
    {"mechanical-tilt", 0x26, true, true},
    {"tilt-range", 0, true, false},
    {"tilt", 0, true, false},
    {"calibrated", 0, true, false},
    {"jammed", 0, true, false},
    {"mode", 0, false, true},
    {"gain", 0, false, true},
    {"gain-range", 0, false, true},
    {"bypass", 0, false, true},
    {"non-linear-gains", 0, false, true},
    {"alarms", 0, true, true},
};

void ApplyField(SimAld& dev, AldSubunit& s, const Entry& e, uint8_t id) {
  const FieldInfo& f = *FindField(id);
  const int gen = dev.generation;
  const int length = FieldLength(f, gen);
  std::vector<uint8_t> v(static_cast<size_t>(length), 0);
  switch (f.kind) {
    case FieldKind::kText:
      v = TextValue(Text(e, static_cast<size_t>(length)), length);
      break;
    case FieldKind::kU16: {
      // Bearing in degrees with one decimal; band maps as numbers.
      const int64_t x =
          id == 0x25 ? Fixed(e, e.value, 1, 0, 3600, "degrees") : Integer(e, e.value, 0, 0xFFFF);
      v[0] = static_cast<uint8_t>(x & 0xFF);
      v[1] = static_cast<uint8_t>(x >> 8);
      break;
    }
    case FieldKind::kU8:
      v[0] = static_cast<uint8_t>(Integer(e, e.value, 0, 255));
      break;
    case FieldKind::kBeamwidth: {
      const auto words = Words(e.value);
      const size_t bands = gen == 1 ? 3 : 4;
      if (words.empty() || words.size() > bands) {
        Fail(e.line, "'" + e.key + "': 1 to " + std::to_string(bands) + " beamwidths expected");
      }
      for (size_t i = 0; i < words.size(); ++i) {
        const int64_t deg = Integer(e, words[i], 0, gen == 1 ? 255 : 360);
        if (gen == 1) {
          v[i] = static_cast<uint8_t>(deg);
        } else {
          v[2 * i] = static_cast<uint8_t>(deg & 0xFF);
          v[2 * i + 1] = static_cast<uint8_t>(deg >> 8);
        }
      }
      break;
    }
    case FieldKind::kGains: {
      const auto words = Words(e.value);
      const size_t bands = gen == 1 ? 3 : 4;
      if (words.empty() || words.size() > bands) {
        Fail(e.line, "'" + e.key + "': 1 to " + std::to_string(bands) + " gains expected");
      }
      for (size_t i = 0; i < words.size(); ++i) {
        v[i] = static_cast<uint8_t>(Fixed(e, words[i], 1, 0, 255, "dBi"));
      }
      break;
    }
    case FieldKind::kBand: {
      const auto words = Words(e.value);
      if (words.size() != 2) Fail(e.line, "'" + e.key + "': lower and upper edge in MHz expected");
      const int64_t lo = Fixed(e, words[0], 1, 0, 0xFFFF, "MHz");
      const int64_t hi = Fixed(e, words[1], 1, 0, 0xFFFF, "MHz");
      if (lo > hi) Fail(e.line, "'" + e.key + "': the lower edge is above the upper edge");
      v = {static_cast<uint8_t>(lo & 0xFF), static_cast<uint8_t>(lo >> 8),
           static_cast<uint8_t>(hi & 0xFF), static_cast<uint8_t>(hi >> 8)};
      break;
    }
    case FieldKind::kMechTilt: {
      const int64_t t = gen == 1 ? Fixed(e, e.value, 1, -128, 127, "degrees")
                                 : Fixed(e, e.value, 1, -900, 900, "degrees");
      v[0] = static_cast<uint8_t>(t & 0xFF);
      if (gen == 2) v[1] = static_cast<uint8_t>((t >> 8) & 0xFF);
      break;
    }
    case FieldKind::kS16:
      break;  // tilt range comes from tilt-range
  }
  s.SetField(id, std::move(v));
}

void ApplySubunitKey(SimAld& dev, AldSubunit& s, const Entry& e) {
  const SubunitKey* key = nullptr;
  for (const SubunitKey& k : kSubunitKeys) {
    if (e.key == k.name) key = &k;
  }
  if (!key) Fail(e.line, "unknown subunit key '" + e.key + "'");
  if ((dev.IsRet() && !key->ret) || (dev.IsTma() && !key->tma)) {
    Fail(e.line,
         "'" + e.key + "' does not apply to a device of type " + std::to_string(dev.deviceType));
  }
  if (key->field) return ApplyField(dev, s, e, key->field);
  const std::string& k = e.key;
  if (k == "tilt-range") {
    const auto w = Words(e.value);
    if (w.size() != 2) Fail(e.line, "'tilt-range': minimum and maximum tilt expected");
    s.minTilt = static_cast<int>(Fixed(e, w[0], 1, -32768, 32767, "degrees"));
    s.maxTilt = static_cast<int>(Fixed(e, w[1], 1, -32768, 32767, "degrees"));
    if (s.minTilt > s.maxTilt) Fail(e.line, "'tilt-range': the minimum is above the maximum");
  } else if (k == "tilt") {
    s.tilt = static_cast<int>(Fixed(e, e.value, 1, -32768, 32767, "degrees"));
  } else if (k == "calibrated") {
    s.calibrated = Boolean(e);
  } else if (k == "jammed") {
    s.jammed = Boolean(e);
  } else if (k == "mode") {
    if (e.value == "normal") {
      s.mode = 0;
    } else if (e.value == "bypass") {
      s.mode = 1;
    } else {
      Fail(e.line, "'mode': expected normal or bypass, not '" + e.value + "'");
    }
  } else if (k == "gain") {
    s.gain = QuarterDb(e, e.value);
  } else if (k == "gain-range") {
    const auto w = Words(e.value);
    if (w.size() != 3) Fail(e.line, "'gain-range': minimum, maximum and step in dB expected");
    s.minGain = QuarterDb(e, w[0]);
    s.maxGain = QuarterDb(e, w[1]);
    s.gainStep = QuarterDb(e, w[2]);
    if (s.minGain > s.maxGain) Fail(e.line, "'gain-range': the minimum is above the maximum");
    if (s.gainStep == 0) Fail(e.line, "'gain-range': the step must not be 0");
  } else if (k == "bypass") {
    s.functions = Boolean(e) ? (s.functions | 1) : (s.functions & ~1);
  } else if (k == "non-linear-gains") {
    s.nonLinearGains.clear();
    for (const std::string& w : Words(e.value)) {
      s.nonLinearGains.push_back(static_cast<uint8_t>(QuarterDb(e, w)));
    }
    if (s.nonLinearGains.size() > 100) Fail(e.line, "'non-linear-gains': at most 100 values");
  } else if (k == "alarms") {
    // Alarm code 0 would end the alarm text at the controller.
    s.alarms = ByteList(e, 1);
  }
}

void ApplyFault(SimFaults& f, const Entry& e) {
  const std::string k = e.key.substr(6);
  auto count = [&]() { return static_cast<int>(Integer(e, e.value, 0, 1'000'000)); };
  if (k == "silent") {
    f.silent = Boolean(e);
  } else if (k == "silent-frames") {
    f.silentFrames = count();
  } else if (k == "frmr-frames") {
    f.frmrFrames = count();
  } else if (k == "wrong-address") {
    f.wrongAddress = static_cast<int>(Integer(e, e.value, -1, 255));
  } else if (k == "bad-fcs-frames") {
    f.badFcsFrames = count();
  } else if (k == "zero-byte-frames") {
    f.zeroByteFrames = count();
  } else if (k == "rnr-frames") {
    f.rnrFrames = count();
  } else if (k == "rnr-info-frames") {
    f.rnrInfoFrames = count();
  } else if (k == "trailing-bytes") {
    f.trailingBytes = Boolean(e);
  } else if (k == "glued-frame") {
    f.gluedFrame = Boolean(e);
  } else if (k == "fail-reasons") {
    f.failReasons = ByteList(e, 0);
    if (f.failReasons.empty()) Fail(e.line, "'fault.fail-reasons': at least one reason code");
  } else if (k == "long-texts") {
    f.longTexts = Boolean(e);
  } else if (k == "length-field-delta") {
    f.lengthFieldDelta = static_cast<int>(Integer(e, e.value, -65535, 65535));
  } else if (k == "pad-answers-to") {
    f.padAnswersTo = static_cast<int>(Integer(e, e.value, 0, 600));
  } else if (k == "missing-bytes") {
    f.missingBytes = static_cast<int>(Integer(e, e.value, 0, 255));
  } else if (k == "unknown-field-ids") {
    f.unknownFieldIds = Boolean(e);
  } else if (k == "bare-fail") {
    f.bareFail = Boolean(e);
  } else if (k == "return-code") {
    f.returnCode = static_cast<int>(Integer(e, e.value, -1, 255));
  } else if (k == "wrong-procedure-code") {
    f.wrongProcedureCode = Boolean(e);
  } else {
    Fail(e.line, "unknown fault '" + e.key + "'");
  }
}

int64_t Micros(const Entry& e) {
  return Fixed(e, e.value, 3, 0, 3'600'000, "seconds") * 1000;
}

std::unique_ptr<SimDevice> BuildDevice(const DeviceBlock& d) {
  for (size_t i = 0; i < d.keys.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (d.keys[i].key == d.keys[j].key) {
        Fail(d.keys[i].line, "'" + d.keys[i].key + "' given twice");
      }
    }
  }
  auto required = [&](const char* key) -> const Entry& {
    const Entry* e = Find(d, key);
    if (!e) Fail(d.line, std::string("device without '") + key + "'");
    return *e;
  };
  auto dev = std::make_unique<SimAld>();
  const Entry& gen = required("generation");
  dev->generation = static_cast<int>(Integer(gen, gen.value, 1, 2));
  dev->aisgVersion = dev->generation;
  dev->protocolVersion = dev->generation;
  const Entry& type = required("type");
  dev->deviceType = static_cast<int>(Integer(type, type.value, 0, 255));
  if (!dev->IsRet() && !dev->IsTma()) {
    Fail(type.line, "'type': " + type.value + " is not 1, 2, 16 or 17");
  }
  if (dev->generation == 1 && dev->deviceType != 1 && dev->deviceType != 2) {
    Fail(type.line, "'type': an AISG 1.x device is a single RET (1) or a TMA (2)");
  }
  const Entry& vendor = required("vendor");
  const std::string vendorCode = Text(vendor, 2);
  if (vendorCode.size() != 2) Fail(vendor.line, "'vendor': two characters expected");
  const Entry& serial = required("serial");
  const std::string serialNumber = Text(serial, 17);
  if (serialNumber.empty()) Fail(serial.line, "'serial': empty");
  int uidLength = IsShortIdVendor(vendorCode) ? 14 : 19;
  if (const Entry* e = Find(d, "uid-length"))
    uidLength = static_cast<int>(Integer(*e, e->value, 3, 19));
  if (serialNumber.size() + 2 > static_cast<size_t>(uidLength)) {
    Fail(serial.line, "'serial': at most " + std::to_string(uidLength - 2) +
                          " characters in a unique ID of " + std::to_string(uidLength) + " bytes");
  }
  // The serial number ends the unique ID; zero bytes fill the gap after the
  // vendor code.
  dev->uniqueId =
      vendorCode + std::string(uidLength - 2 - serialNumber.size(), '\0') + serialNumber;
  dev->serialNumber = serialNumber;
  dev->enabled = true;

  int subunitCount = 1;
  for (const Entry& e : d.keys) {
    const std::string& k = e.key;
    if (k == "generation" || k == "type" || k == "vendor" || k == "serial" || k == "uid-length") {
      continue;
    } else if (k == "subunits") {
      subunitCount = static_cast<int>(Integer(e, e.value, 1, 255));
      if (subunitCount > 1 && dev->deviceType == 1)
        Fail(e.line, "'subunits': a single RET has one antenna");
      if (subunitCount > 1 && dev->generation == 1)
        Fail(e.line, "'subunits': AISG 1.x devices have one subunit");
    } else if (k == "product") {
      dev->productNumber = Text(e, 19);
    } else if (k == "hw-version") {
      dev->hardwareVersion = Text(e, 19);
    } else if (k == "sw-version") {
      dev->softwareVersion = Text(e, 19);
    } else if (k == "bit-rates") {
      dev->bitRates = Text(e, 7);
    } else if (k == "aisg-version") {
      dev->aisgVersion = static_cast<int>(Integer(e, e.value, 0, 255));
    } else if (k == "3gpp-release") {
      dev->release3gpp = static_cast<int>(Integer(e, e.value, 0, 255));
    } else if (k == "protocol-version") {
      dev->protocolVersion = static_cast<int>(Integer(e, e.value, 0, 255));
    } else if (k == "sub-version") {
      dev->subVersion = static_cast<int>(Integer(e, e.value, 0, 65535));
    } else if (k == "enabled") {
      dev->enabled = Boolean(e);
    } else if (k == "tilt-speed") {
      if (!dev->IsRet()) Fail(e.line, "'tilt-speed' applies to RETs only");
      dev->tiltSpeed = static_cast<int>(Fixed(e, e.value, 1, 1, 1000, "degrees per second"));
    } else if (k == "calibration-time") {
      if (!dev->IsRet()) Fail(e.line, "'calibration-time' applies to RETs only");
      dev->calibrationUs = Micros(e);
    } else if (k == "self-test-time") {
      dev->selfTestUs = Micros(e);
    } else if (k == "download-time") {
      dev->downloadEndUs = Micros(e);
    } else if (k == "restart-time") {
      dev->restartUs = Micros(e);
    } else if (k == "after-download-generation") {
      dev->generationAfterDownload = static_cast<int>(Integer(e, e.value, 1, 2));
    } else if (k == "after-download-sw-version") {
      dev->softwareVersionAfterDownload = Text(e, 19);
    } else if (k == "user-data-size") {
      dev->userData.assign(static_cast<size_t>(Integer(e, e.value, 0, 65535)), 0);
    } else if (k == "read-only") {
      dev->readOnlyFields.clear();
      for (const std::string& w : Words(e.value)) {
        const int64_t id = Integer(e, w, 1, 255);
        if (!FindField(static_cast<uint8_t>(id))) Fail(e.line, "'read-only': unknown field " + w);
        dev->readOnlyFields.push_back(static_cast<uint8_t>(id));
      }
    } else if (k.rfind("fault.", 0) == 0) {
      ApplyFault(dev->faults, e);
    } else {
      Fail(e.line, "unknown device key '" + k + "'");
    }
  }
  if (dev->generationAfterDownload == 1 && dev->deviceType != 1 && dev->deviceType != 2) {
    Fail(Find(d, "after-download-generation")->line,
         "'after-download-generation': an AISG 1.x device is a single RET or a TMA");
  }
  if (dev->generationAfterDownload == 1 && subunitCount > 1) {
    Fail(Find(d, "after-download-generation")->line,
         "'after-download-generation': AISG 1.x devices have one subunit");
  }

  dev->subunits.assign(static_cast<size_t>(subunitCount), AldSubunit{});
  for (AldSubunit& s : dev->subunits) {
    if (dev->IsTma()) {
      // A common TMA: 4 to 12 dB in half-decibel steps, bypass supported.
      s.minGain = 16;
      s.maxGain = 48;
      s.gainStep = 2;
      s.gain = 48;
      s.SetField(0x13, {1});
    }
  }
  std::vector<std::vector<std::string>> seen(dev->subunits.size());
  for (const SubunitEntry& se : d.subunitKeys) {
    if (se.subunit > subunitCount) {
      Fail(se.entry.line, "subunit " + std::to_string(se.subunit) + " of a device with " +
                              std::to_string(subunitCount) + " subunit(s)");
    }
    auto& keys = seen[static_cast<size_t>(se.subunit - 1)];
    if (std::find(keys.begin(), keys.end(), se.entry.key) != keys.end()) {
      Fail(se.entry.line, "'" + se.entry.key + "' given twice");
    }
    keys.push_back(se.entry.key);
    ApplySubunitKey(*dev, dev->subunits[static_cast<size_t>(se.subunit - 1)], se.entry);
  }
  // Cross-checks once every key of the subunit is known.
  for (size_t i = 0; i < dev->subunits.size(); ++i) {
    const AldSubunit& s = dev->subunits[i];
    const std::string where =
        "device at line " + std::to_string(d.line) + ", subunit " + std::to_string(i + 1) + ": ";
    if (dev->IsRet() && (s.tilt < s.minTilt || s.tilt > s.maxTilt)) {
      Fail(d.line, where + "the tilt lies outside the tilt range");
    }
    if (dev->IsTma()) {
      const bool inList = std::find(s.nonLinearGains.begin(), s.nonLinearGains.end(), s.gain) !=
                          s.nonLinearGains.end();
      const bool onStep =
          s.gain >= s.minGain && s.gain <= s.maxGain && (s.gain - s.minGain) % s.gainStep == 0;
      if (s.nonLinearGains.empty() ? !onStep : !inList) {
        Fail(d.line, where + "the gain is not one the TMA can set");
      }
      if (s.mode == 1 && !(s.functions & 1)) {
        Fail(d.line, where + "bypass mode on a TMA without bypass");
      }
    }
  }
  return dev;
}

void Parse(const std::string& text, DeviceList& devices) {
  std::vector<DeviceBlock> blocks;
  int currentSubunit = 0;
  std::istringstream in(text);
  std::string raw;
  int line = 0;
  while (std::getline(in, raw)) {
    ++line;
    const std::string s = Trim(raw);
    if (s.empty() || s[0] == '#') continue;
    if (s[0] == '[') {
      if (s.back() != ']') Fail(line, "section header without ']'");
      const std::string name = Trim(s.substr(1, s.size() - 2));
      if (name == "device") {
        blocks.push_back(DeviceBlock{line, {}, {}});
        currentSubunit = 0;
      } else if (name.rfind("subunit", 0) == 0) {
        if (blocks.empty()) Fail(line, "subunit section before any [device]");
        const Entry e{line, "subunit", Trim(name.substr(7))};
        currentSubunit = static_cast<int>(Integer(e, e.value, 1, 255));
      } else {
        Fail(line, "unknown section [" + name + "]");
      }
      continue;
    }
    const size_t eq = s.find('=');
    if (eq == std::string::npos) Fail(line, "expected key = value");
    Entry e{line, Trim(s.substr(0, eq)), Trim(s.substr(eq + 1))};
    if (e.key.empty()) Fail(line, "missing key before '='");
    if (e.value.empty()) Fail(line, "'" + e.key + "' without a value");
    if (blocks.empty()) Fail(line, "'" + e.key + "' before any [device]");
    if (currentSubunit > 0) {
      blocks.back().subunitKeys.push_back({currentSubunit, e});
    } else {
      blocks.back().keys.push_back(e);
    }
  }
  if (blocks.empty()) Fail(line, "no [device] in the site");
  for (const DeviceBlock& b : blocks) {
    devices.push_back(BuildDevice(b));
    for (size_t i = 0; i + 1 < devices.size(); ++i) {
      if (devices[i]->uniqueId == devices.back()->uniqueId) {
        Fail(b.line, "a second device with the unique ID of an earlier one");
      }
    }
  }
}

}  // namespace

bool ParseSite(const std::string& text, DeviceList& devices, std::string& error) {
  devices.clear();
  error.clear();
  try {
    Parse(text, devices);
  } catch (const SiteError& e) {
    devices.clear();
    error = e.text;
    return false;
  } catch (const std::exception& e) {
    devices.clear();
    error = std::string("site file: ") + e.what();
    return false;
  }
  return true;
}

bool LoadSite(const std::string& path, DeviceList& devices, std::string& error) {
  devices.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot open the site file";
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (!ParseSite(text.str(), devices, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

}  // namespace ald::sim
