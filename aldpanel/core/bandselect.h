// What a band selection dialog does once the operator presses Apply, without
// the widgets: the ticked bits become the three band words, the six band
// bytes a save writes, the flags for the extended fields and the band text;
// and the detail window's per-band beam width and gain texts are rebuilt so
// that each kept band keeps its value.
//
// Per-band values are listed in ascending band order (the frequency figure
// on AISG 1.x, the band number on AISG 2.x): the order the band text lists
// the bands in and the order the device keeps one value per band. Any other
// order would put one band's gain in another band's place on the device.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "aldpanel/core/bands.h"

namespace aldpanel {

// What a detail window hands to a band dialog, and gets back on Apply.
struct BandEdit {
  int aisgVersion = 0;  // 1 or 2
  char decimalSeparator = '.';
  std::string fieldText;      // Freq. Band field form: 12 hex digits, three words low byte first
  std::string beamWidthText;  // "65/65" as shown in the detail window
  std::string gainText;       // "17.5/18.0" as shown
  // filled by Apply:
  std::string bandText;                // "1800/2100"
  std::array<uint8_t, 6> bandBytes{};  // the three words, each low byte first
  bool writeExtended1 = false;         // field 0x08 must be written too
  bool writeExtended2 = false;         // field 0x09 must be written too
};

enum class BandFormKind { kRet, kTma };

// The bit positions of AISG 1.x: bit b of the first word is band
// kAisg1BandText[b]. The key of a dialog box is its caption (800 ... 2600).
int Aisg1BitOfKey(int key);  // -1 for a caption that is not a band

// The three words of a set of ticked bit positions (0..47: bit p%16 of word
// p/16). Positions outside that range are ignored.
BandWords WordsOfBits(const std::vector<int>& positions);

// The words as the six bytes a save writes, each word low byte first.
std::array<uint8_t, 6> BandBytesOf(const BandWords& words);

// The "/"-separated per-band values of `oldText`, which belong to the bands
// of `oldField` in ascending order, rebuilt for the bands of `newWords`: a
// band of both keeps its value, a new band gets `newValue`. Values are
// trimmed of blanks; a missing value counts as `newValue`.
std::string RebuildPerBandText(const std::string& oldField, const std::string& oldText,
                               const BandWords& newWords, int aisgVersion,
                               const std::string& newValue);

// Apply of a band dialog of generation `aisgVersion` (1 or 2) with the
// ticked bit positions `ticked` (AISG 1.x: bits 0..6 of the first word).
// Fills the band field text, band text, band bytes and the extended-field
// flags; for a RET also rebuilds the beam width ("0" for a new band) and
// gain ("0.0" with the edit's separator) texts. A TMA keeps them as they
// were: its save writes the first word only.
//
// An extended field is asked for when its word is not 0 or was not 0 in
// the field before: unticking the last band of an extended word must reach
// the device too, or it would keep a band the window no longer shows.
void ApplyBandSelection(BandEdit& edit, const std::vector<int>& ticked, int aisgVersion,
                        BandFormKind kind);

}  // namespace aldpanel
