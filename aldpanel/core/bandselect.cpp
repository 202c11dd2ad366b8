#include "aldpanel/core/bandselect.h"

#include <optional>
#include <sstream>

namespace aldpanel {

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  if (text.empty()) return parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  // getline drops an empty last part ("65/"): it is still a (missing) value.
  if (text.back() == separator) parts.emplace_back();
  return parts;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

}  // namespace

int Aisg1BitOfKey(int key) {
  for (size_t bit = 0; bit < kAisg1BandText.size(); ++bit) {
    if (std::to_string(key) == kAisg1BandText[bit]) return static_cast<int>(bit);
  }
  return -1;
}

BandWords WordsOfBits(const std::vector<int>& positions) {
  BandWords words{};
  for (int p : positions) {
    if (p < 0 || p >= 48) continue;
    words[p / 16] = static_cast<uint16_t>(words[p / 16] | (1u << (p % 16)));
  }
  return words;
}

std::array<uint8_t, 6> BandBytesOf(const BandWords& words) {
  std::array<uint8_t, 6> bytes{};
  for (size_t w = 0; w < words.size(); ++w) {
    bytes[w * 2] = static_cast<uint8_t>(words[w] & 0xFF);
    bytes[w * 2 + 1] = static_cast<uint8_t>(words[w] >> 8);
  }
  return bytes;
}

std::string RebuildPerBandText(const std::string& oldField, const std::string& oldText,
                               const BandWords& newWords, int aisgVersion,
                               const std::string& newValue) {
  const std::vector<std::string> oldKeys = Split(DecodeBandField(oldField, aisgVersion).keys, ' ');
  const std::vector<std::string> oldValues = Split(oldText, '/');
  const std::vector<std::string> newKeys = Split(DecodeBands(newWords, aisgVersion).keys, ' ');
  std::string out;
  for (size_t i = 0; i < newKeys.size(); ++i) {
    std::string value = newValue;
    for (size_t k = 0; k < oldKeys.size(); ++k) {
      if (oldKeys[k] != newKeys[i]) continue;
      if (k < oldValues.size() && !Trim(oldValues[k]).empty()) value = Trim(oldValues[k]);
      break;
    }
    if (i > 0) out += '/';
    out += value;
  }
  return out;
}

void ApplyBandSelection(BandEdit& edit, const std::vector<int>& ticked, int aisgVersion,
                        BandFormKind kind) {
  BandWords words{};
  if (aisgVersion == 1) {
    // One word of seven bands; the extended words do not exist.
    std::vector<int> bits;
    for (int b : ticked) {
      if (b >= 0 && b < static_cast<int>(kAisg1BandText.size())) bits.push_back(b);
    }
    words = WordsOfBits(bits);
  } else {
    words = WordsOfBits(ticked);
  }
  const std::optional<BandWords> before = ParseBandField(edit.fieldText);
  const BandWords old = before ? *before : BandWords{};
  if (kind == BandFormKind::kRet) {
    edit.beamWidthText =
        RebuildPerBandText(edit.fieldText, edit.beamWidthText, words, aisgVersion, "0");
    edit.gainText = RebuildPerBandText(edit.fieldText, edit.gainText, words, aisgVersion,
                                       std::string("0") + edit.decimalSeparator + "0");
  }
  edit.fieldText = FormatBandField(words);
  edit.bandText = DecodeBands(words, aisgVersion).text;
  edit.bandBytes = BandBytesOf(words);
  edit.writeExtended1 = aisgVersion == 2 && (words[1] != 0 || old[1] != 0);
  edit.writeExtended2 = aisgVersion == 2 && (words[2] != 0 || old[2] != 0);
}

}  // namespace aldpanel
