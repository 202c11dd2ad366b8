// What the TMA windows show and check, without any window toolkit: the gain
// range and the list of settable gains in quarter decibels, the check of a
// gain the operator typed or chose, the mode texts, the type bits and the
// receive and transmit band edges in MHz.
//
// Gains are worked out in whole quarter decibels throughout, so that a
// device's 0.25 dB steps are never rounded away (11.25 dB stays 11.25, a
// 12.75 dB maximum admits 12.5) and a value off the device's steps is
// refused rather than cut to one of them.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace aldpanel {

// The gain field of setGain is one byte of quarter decibels.
inline constexpr long kMaxGainQuarters = 255;
// A list longer than this is no list an operator can use; the range fields
// of a sound device never come near it.
inline constexpr size_t kMaxGainListEntries = 256;

// The gain range of a TMA subunit from its table fields (quarter decibels;
// the resolution field in quarter decibels too, whatever the AISG version:
// that is how the device library and the device data field carry it).
struct GainRange {
  std::optional<long> min;  // nothing when the field was never read
  std::optional<long> max;
  long step = 1;            // quarters, at least 1
  bool stepRaised = false;  // the resolution field read below 0.25 dB (0, or unread)

  // Both ends known.
  bool known() const { return min.has_value() && max.has_value(); }
};

GainRange ReadGainRange(const std::string& minField, const std::string& maxField,
                        const std::string& resolutionField);

// The gains the list offers, in quarters: min, min + step, ... up to max.
// Equal ends give that one value; an unknown range (or one the device got
// wrong, min above max) gives the current gain alone when it is known.
std::vector<long> GainListQuarters(const GainRange& range, std::optional<long> current);

// A decimal text (the locale's separator or ".") read exactly: the value
// times 4 as numerator / denominator (a power of ten), so that whether it is
// a whole number of quarters, and which quarters lie next to it, is decided
// without rounding.
struct DecibelText {
  bool number = false;  // the text reads as a decimal number
  long long numerator = 0;
  long long denominator = 1;
  bool wholeQuarters() const { return number && numerator % denominator == 0; }
  long quarters() const { return static_cast<long>(numerator / denominator); }
};
DecibelText ReadDecibels(const std::string& text, char decimalSeparator);

// The outcome of checking a gain before anything is sent.
struct GainCheck {
  bool ok = false;
  long quarters = 0;    // the value to send when ok
  std::string message;  // why not, naming the field, when not ok
};

// Checks the (trimmed) gain text against what the field can hold, the range
// (when it was read) and the device's steps. A value off the steps is
// refused with the nearest values the device takes.
GainCheck CheckGain(const std::string& text, const GainRange& range, char decimalSeparator);

// "Normal" for 0, "Bypass" for anything else.
std::string ModeText(long mode);
// 1 for "Bypass", 0 for "Normal"; nothing for any other text (the blank
// entry).
std::optional<int> ModeFromText(const std::string& text);

// The type bits: "Bypass" (bit 0) and "VSWR" (bit 1). An AISG 2 entry
// carries the supported-functions flag as two hexadecimal digits, an AISG 1
// entry the type field in decimal. Both false when the field is empty.
struct TmaTypeBits {
  bool bypass = false;
  bool vswr = false;
};
TmaTypeBits ReadTmaType(const std::string& field, int aisgVersion);

// The lower and upper edge of a band field (8 hex digits, two 16-bit words
// low byte first, in 100 kHz) in MHz with one decimal ("1710.0"); both empty
// when the field is not such a text.
struct BandEdges {
  std::string lower;
  std::string upper;
};
BandEdges ReadBandEdges(const std::string& field, char decimalSeparator);

}  // namespace aldpanel
