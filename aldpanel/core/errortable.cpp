#include "aldpanel/core/errortable.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>

#include "aldlink/devices/resulttexts.h"
#include "aldlink/devices/retdevice.h"
#include "aldlink/procedures/returncodes.h"

namespace aldpanel {
namespace {

struct CodeList {
  const char* label;
  const ald::rc::ReturnCodeName* entries;
  size_t count;
};

const CodeList kLists[] = {
    {"AISG 2.0", ald::rc::kAisg2Codes, std::size(ald::rc::kAisg2Codes)},
    {"AISG 1.x RET", ald::rc::kAisg1RetCodes, std::size(ald::rc::kAisg1RetCodes)},
    {"AISG 1.x TMA", ald::rc::kAisg1TmaCodes, std::size(ald::rc::kAisg1TmaCodes)},
};

// The causes the device objects put at the front of a subunit's alarm list
// themselves, as the Device Status Cause shows them.
const std::pair<int, const char*> kStatusCauses[] = {
    {RETDevice::kAlarmNew, "New (not read completely yet)"},
    {RETDevice::kAlarmBadResponding, "BadResponding"},
    {RETDevice::kAlarmNotResponding, "NotResponding"},
};

std::string Capitalized(std::string text) {
  if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  return text;
}

// "FAIL: device return code 0x0B" for a name every list shares, else the
// names with the lists that give them, "MotorJam / ActuatorJamPermanent:
// device return code 0x02 (AISG 2.0 / AISG 1.x RET)", so that a code one
// generation leaves unnamed is not read as another's. The name comes first:
// the grids' status column shows the start. Empty when no list names it.
std::string DeviceReading(int code) {
  struct Reading {
    std::string name;
    std::string lists;
    size_t count = 0;
  };
  std::vector<Reading> readings;
  for (const CodeList& list : kLists) {
    for (size_t i = 0; i < list.count; ++i) {
      if (list.entries[i].code != code) continue;
      auto same = std::find_if(readings.begin(), readings.end(),
                               [&](const Reading& r) { return r.name == list.entries[i].name; });
      if (same == readings.end()) {
        readings.push_back({list.entries[i].name, list.label, 1});
      } else {
        same->lists += std::string(", ") + list.label;
        ++same->count;
      }
    }
  }
  if (readings.empty()) return {};
  char number[40];
  std::snprintf(number, sizeof number, ": device return code 0x%02X", code);
  if (readings.size() == 1 && readings[0].count == std::size(kLists)) {
    return readings[0].name + number;
  }
  std::string names;
  std::string lists;
  for (const Reading& r : readings) {
    if (!names.empty()) {
      names += " / ";
      lists += " / ";
    }
    names += r.name;
    lists += r.lists;
  }
  return names + number + " (" + lists + ")";
}

}  // namespace

std::vector<std::pair<int, std::string>> ErrorTableEntries() {
  std::map<int, std::string> texts;
  texts[0] = "OK";
  // The library's own numbers lie between the interface's general failure
  // and the largest result byte.
  for (int n = -2000; n <= 255; ++n) {
    if (n == 0) continue;
    std::vector<std::string> parts;
    if (const char* known = ald::results::KnownResultText(n)) parts.push_back(Capitalized(known));
    if (n > 0) {
      std::string reading = DeviceReading(n);
      if (!reading.empty()) parts.push_back(reading);
    }
    // 25 is also the library's answer for a procedure an AISG 1.x device
    // lacks.
    if (n == 25) parts.push_back(ald::results::ResultText(25, {1, false}));
    for (const auto& cause : kStatusCauses) {
      if (cause.first == n) parts.push_back(std::string("as a device status: ") + cause.second);
    }
    if (parts.empty()) continue;
    std::string text;
    for (const std::string& p : parts) {
      if (!text.empty()) text += "; ";
      text += p;
    }
    texts[n] = text;
  }
  return {texts.begin(), texts.end()};
}

std::string ErrorTableText() {
  std::string out =
      "# Texts of the result numbers of the interface and device libraries, of\n"
      "# the devices' return codes and of the status causes the device objects\n"
      "# set: number in decimal = text. Where a number means more than one thing\n"
      "# its text names every reading. A number without a line is shown as\n"
      "# itself. Written by aldpanel_error_table from the libraries' own tables.\n";
  for (const auto& [code, text] : ErrorTableEntries()) {
    out += std::to_string(code) + "=" + text + "\n";
  }
  return out;
}

}  // namespace aldpanel
