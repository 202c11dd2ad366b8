// The one place for what a result number of the device library and the
// flat interface means, and for the explanation of a device's own return
// code, so that the command-line controller and the operator program never
// word the same failure differently.
//
// Header-only: the controllers load the flat interface by name and link
// nothing of the library, yet they must agree with it.
#pragma once

#include <cstdio>
#include <string>

#include "aldlink/procedures/returncodes.h"

namespace ald::results {

// The device that gave a result, as far as the caller knows it: its AISG
// generation (1 or 2, 0 when unknown) and whether it is a TMA. Only a
// device's own return codes depend on it.
struct DeviceKind {
  int aisgVersion = 0;
  bool tma = false;
};

// Results that callers act on besides showing their text.
inline constexpr int kResultNothingOpened = 84;
inline constexpr int kResultDevicesMissed = 130;
inline constexpr int kResultFileError = 131;

// Codes the device objects put at the front of a subunit's alarm list for
// their own communication state; no device sends them.
inline constexpr int kPseudoAlarmNew = 0x51;            // never refreshed
inline constexpr int kPseudoAlarmBadResponding = 0x52;  // answers with errors
inline constexpr int kPseudoAlarmNotResponding = 0x53;  // does not answer

inline bool IsPseudoAlarm(int code) {
  return code == kPseudoAlarmNew || code == kPseudoAlarmBadResponding ||
         code == kPseudoAlarmNotResponding;
}

// The text of a result number that the library or the flat interface
// gives itself; null for any other number (a device's return code, or a
// number this table does not know).
inline const char* KnownResultText(int result) {
  switch (result) {
    case 0:
      return "success";
    case -1:
      return "The settings failed!";
    case -111:
      return "the interface library does not offer this function";
    case -1800:
      return "general failure: no device of the needed kind at this address";
    case 11:
      return "the device reported a failure without a reason code";
    case 30:
      return "the value read back differs from the value written";
    case 36:
      return "bad subunit or argument";
    case 81:
      return "the device has not been read successfully yet";
    case 82:
      return "bad or unexpected answer from the device";
    case 83:
      return "the link was not re-established after the address reset";
    case 84:
      return "invalid argument, or nothing could be sent or opened";
    case 89:
      return "no answer from the device";
    case 119:
      return "the device was not found";
    case 123:
      return "the device was found but the table did not grow by one entry";
    case 129:
      return "no devices";
    case 130:
      return "the scan finished but devices may have been missed";
    case 131:
      return "a file of the job cannot be used (missing, unreadable, empty or malformed); "
             "nothing was sent to the device";
    default:
      return nullptr;
  }
}

// The name of a device return code in the list of the device's generation
// and kind, null when that list has none. With the generation unknown no
// list is guessed at.
inline const char* ReturnCodeName(const DeviceKind& device, int code) {
  if (device.aisgVersion != 1 && device.aisgVersion != 2) return nullptr;
  return ald::rc::ReturnCodeNameOf(device.aisgVersion, device.tma, code);
}

// "0x13 OutOfRange", or "0x2A (unknown return code)" when the device's
// list does not name it.
inline std::string ReturnCodeText(const DeviceKind& device, int code) {
  char text[96];
  const char* name = ReturnCodeName(device, code);
  if (name != nullptr) {
    std::snprintf(text, sizeof text, "0x%02X %s", code & 0xFF, name);
  } else {
    std::snprintf(text, sizeof text, "0x%02X (unknown return code)", code & 0xFF);
  }
  return text;
}

// What result `result` means for an operation on `device`. The library's
// own numbers come first; 25 names the reason by the device's generation
// (the library gives it for procedures an AISG 1.x device lacks, while an
// AISG 2.0 device sends it as its own UnsupportedProcedure); any other
// number from -128 to 255 is a device's return code (the library passes
// the first one on, sign-extended from its byte).
inline std::string ResultText(int result, const DeviceKind& device = {}) {
  if (const char* known = KnownResultText(result)) return known;
  if (result == 25) {
    if (device.aisgVersion == 1) return "not supported by an AISG 1.x device";
    if (device.aisgVersion == 2)
      return "the device refused: return code " + ReturnCodeText(device, result);
    return "the procedure is not supported by the device";
  }
  if (result >= -128 && result <= 255) {
    return "the device refused: return code " + ReturnCodeText(device, result);
  }
  return "unknown result";
}

}  // namespace ald::results
