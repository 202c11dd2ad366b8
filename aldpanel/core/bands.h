// Operating band words of antennas and TMAs: decoding them into the band
// text shown everywhere ("900/1800/2100") and the band key list, and the
// table the band selection dialogs use.
//
// AISG 1.x devices have one 16-bit word of seven bands; AISG 2.x devices a
// first word and two extended words whose bits stand for operating band
// numbers. The device table's Freq. Band field holds the three words as 12
// hexadecimal digits, each word low byte first.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace aldpanel {

using BandWords = std::array<uint16_t, 3>;

struct BandDecoding {
  std::string text;  // "900/1800/2100"; "" when no band is set or the version is unknown
  std::string keys;  // "900 1800 2100" (AISG 1.x), "8 3 1" style band numbers (AISG 2.x)
};

// Decodes the words for AISG version 1 (first word only, 800 to 2600) or 2
// (the three words, in ascending band number). Any other version gives
// nothing.
BandDecoding DecodeBands(const BandWords& words, int aisgVersion);

// The three words of a Freq. Band field text: 12 hex digits (either case),
// each group of four low byte first. Fewer digits read as if padded with
// zeros; nullopt when a character that should be a digit is not one, or the
// text is longer than 12 digits.
std::optional<BandWords> ParseBandField(std::string_view field);

// The field text of three words: 12 upper-case hex digits, low byte first.
std::string FormatBandField(const BandWords& words);

// The band text and keys of a Freq. Band field: empty when the field is
// empty or not a band field.
BandDecoding DecodeBandField(std::string_view field, int aisgVersion);

// The 48 bits of the three words (bit p is bit p%16 of word p/16): the
// operating band number of each, or -1 for a bit without a band (bits 14 and
// 15 of the first word mark that the extended words are in use).
extern const std::array<int, 48> kAisg2BandOfBit;
// The frequency figure of an AISG 2.x band number ("2100" for band 1); ""
// for a number without a band.
std::string_view Aisg2BandText(int bandNumber);
// The bit position (0..47) of an AISG 2.x band number; -1 when none.
int Aisg2BitOfBand(int bandNumber);

// AISG 1.x: the band text of each of the seven bits ("800" ... "2600").
extern const std::array<const char*, 7> kAisg1BandText;

}  // namespace aldpanel
