// The return codes devices put after FAIL (and in alarm lists), by
// generation. The two generations number several codes differently (0x1A
// is a TMA's minor fault on AISG 2.0 and unnamed on an AISG 1.x RET), so a
// code is only ever named with the table of the device that sent it.
//
// This is the one place these numbers live: the simulator answers with
// them, and the command-line controller and the operator program explain a
// device's refusal with them. A code no public list names has no name here;
// callers show its number as an unknown return code instead of guessing.
#pragma once

#include <cstdint>

namespace ald::rc {

struct ReturnCodeName {
  uint8_t code;
  const char* name;
};

// AISG 2.0: the common, RET and TMA return codes of the 3GPP antenna
// interface (one list for both device types).
inline constexpr ReturnCodeName kAisg2Codes[] = {
    {0x00, "OK"},
    {0x02, "MotorJam"},
    {0x03, "ActuatorJam"},
    {0x05, "Busy"},
    {0x06, "ChecksumError"},
    {0x0B, "FAIL"},
    {0x0E, "NotCalibrated"},
    {0x0F, "NotConfigured"},
    {0x11, "HardwareError"},
    {0x13, "OutOfRange"},
    {0x19, "UnknownProcedure"},
    {0x1A, "MinorTMAFault"},
    {0x1B, "MajorTMAFault"},
    {0x1C, "UnsupportedValue"},
    {0x1D, "ReadOnly"},
    {0x1E, "UnknownParameter"},
    {0x21, "WorkingSoftwareMissing"},
    {0x22, "InvalidFileContent"},
    {0x24, "FormatError"},
    {0x25, "UnsupportedProcedure"},
    {0x26, "InvalidProcedureSequence"},
    {0x27, "ActuatorInterference"},
};

// AISG 1.x RETs: the older RET application part list.
inline constexpr ReturnCodeName kAisg1RetCodes[] = {
    {0x00, "OK"},
    {0x01, "ActuatorDetectionFail"},
    {0x02, "ActuatorJamPermanent"},
    {0x03, "ActuatorJamTemporary"},
    {0x04, "BlockNumberSequenceError"},
    {0x05, "Busy"},
    {0x06, "ChecksumError"},
    {0x07, "ProcedureSequenceError"},
    {0x08, "DataError"},
    {0x09, "DeviceDisabled"},
    {0x0A, "EEPROMError"},
    {0x0B, "FAIL"},
    {0x0C, "FlashEraseError"},
    {0x0D, "FlashError"},
    {0x0E, "NotCalibrated"},
    {0x0F, "NotScaled"},
    {0x11, "OtherHardwareError"},
    {0x12, "OtherSoftwareError"},
    {0x13, "OutOfRange"},
    {0x14, "PositionLost"},
    {0x15, "RAMError"},
    {0x16, "SegmentNumberSequenceError"},
    {0x17, "UARTError"},
    {0x19, "UnknownProcedure"},
    {0x1D, "ReadOnly"},
    {0x1E, "UnknownParameter"},
    {0x1F, "UnknownAntennaNumber"},
    {0x20, "TooMuchData"},
    {0x21, "WorkingSoftwareMissing"},
    {0x22, "InvalidSoftware"},
    {0x23, "DownloadInProgress"},
};

// AISG 1.x TMAs: the older TMA application part list. Only codes a public
// list names belong here.
inline constexpr ReturnCodeName kAisg1TmaCodes[] = {
    {0x00, "OK"},
    {0x0B, "FAIL"},
};

// The list of a device: `aisgVersion` 1 or 2 (anything else counts as 2),
// `tma` for a TMA (only AISG 1.x keeps separate lists).
struct ReturnCodeTable {
  const ReturnCodeName* entries;
  int count;
};
template <int N>
constexpr ReturnCodeTable TableOf(const ReturnCodeName (&list)[N]) {
  return {list, N};
}
constexpr ReturnCodeTable TableFor(int aisgVersion, bool tma) {
  if (aisgVersion == 1) return tma ? TableOf(kAisg1TmaCodes) : TableOf(kAisg1RetCodes);
  return TableOf(kAisg2Codes);
}

// The name of `code` in the device's list; null when the list has none.
constexpr const char* ReturnCodeNameOf(int aisgVersion, bool tma, int code) {
  const ReturnCodeTable t = TableFor(aisgVersion, tma);
  for (int i = 0; i < t.count; ++i) {
    if (t.entries[i].code == (code & 0xFF)) return t.entries[i].name;
  }
  return nullptr;
}

// The numbers one generation needs by name (the simulator answers with
// these; controllers compare with them).
namespace aisg2 {
inline constexpr uint8_t kOk = 0x00;
inline constexpr uint8_t kMotorJam = 0x02;
inline constexpr uint8_t kActuatorJam = 0x03;
inline constexpr uint8_t kBusy = 0x05;
inline constexpr uint8_t kChecksumError = 0x06;
inline constexpr uint8_t kFail = 0x0B;
inline constexpr uint8_t kNotCalibrated = 0x0E;
inline constexpr uint8_t kNotConfigured = 0x0F;
inline constexpr uint8_t kHardwareError = 0x11;
inline constexpr uint8_t kOutOfRange = 0x13;
inline constexpr uint8_t kUnknownProcedure = 0x19;
inline constexpr uint8_t kMinorTmaFault = 0x1A;
inline constexpr uint8_t kMajorTmaFault = 0x1B;
inline constexpr uint8_t kUnsupportedValue = 0x1C;
inline constexpr uint8_t kReadOnly = 0x1D;
inline constexpr uint8_t kUnknownParameter = 0x1E;
inline constexpr uint8_t kWorkingSoftwareMissing = 0x21;
inline constexpr uint8_t kInvalidFileContent = 0x22;
inline constexpr uint8_t kFormatError = 0x24;
inline constexpr uint8_t kUnsupportedProcedure = 0x25;
inline constexpr uint8_t kInvalidProcedureSequence = 0x26;
inline constexpr uint8_t kActuatorInterference = 0x27;
}  // namespace aisg2

namespace aisg1 {
inline constexpr uint8_t kOk = 0x00;
inline constexpr uint8_t kActuatorJamPermanent = 0x02;
inline constexpr uint8_t kActuatorJamTemporary = 0x03;
inline constexpr uint8_t kBlockNumberSequenceError = 0x04;
inline constexpr uint8_t kBusy = 0x05;
inline constexpr uint8_t kChecksumError = 0x06;
inline constexpr uint8_t kProcedureSequenceError = 0x07;
inline constexpr uint8_t kDataError = 0x08;
inline constexpr uint8_t kDeviceDisabled = 0x09;
inline constexpr uint8_t kFail = 0x0B;
inline constexpr uint8_t kNotCalibrated = 0x0E;
inline constexpr uint8_t kOutOfRange = 0x13;
inline constexpr uint8_t kSegmentNumberSequenceError = 0x16;
inline constexpr uint8_t kUnknownProcedure = 0x19;
inline constexpr uint8_t kReadOnly = 0x1D;
inline constexpr uint8_t kUnknownParameter = 0x1E;
inline constexpr uint8_t kUnknownAntennaNumber = 0x1F;
inline constexpr uint8_t kTooMuchData = 0x20;
inline constexpr uint8_t kWorkingSoftwareMissing = 0x21;
inline constexpr uint8_t kInvalidSoftware = 0x22;
}  // namespace aisg1

}  // namespace ald::rc
