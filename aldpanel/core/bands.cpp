#include "aldpanel/core/bands.h"

namespace aldpanel {

const std::array<int, 48> kAisg2BandOfBit = {
    // first word: bits 14 and 15 mark the extended words
    6, 5, 4, 3, 2, 1, 7, 8, 9, 10, 11, 12, 13, 14, -1, -1,
    // second word
    -1, -1, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, -1,
    // third word
    33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, -1, -1, -1, -1};

const std::array<const char*, 7> kAisg1BandText = {"800",  "900",  "1500", "1800",
                                                   "1900", "2100", "2600"};

namespace {

constexpr int kHighestBand = 44;

// The frequency figure of each operating band number, index = band number.
constexpr std::array<const char*, kHighestBand + 1> kAisg2Text = {
    nullptr, "2100", "1900", "1800",  "1700",  "850",   "800",   "2600",  "900",
    "1800",  "1700", "1500", "700",   "700",   "700",   nullptr, nullptr, "700",
    "850",   "850",  "800",  "1500",  "3500",  "2000",  "1600",  "1900",  "850",
    "800",   "700",  "700",  nullptr, nullptr, nullptr, "2100",  "2100",  "1900",
    "1900",  "1900", "2600", "1900",  "2300",  "2500",  "3500",  "3700",  "700"};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool BitSet(const BandWords& words, int position) {
  return (words[position / 16] >> (position % 16)) & 1;
}

void Append(BandDecoding* out, std::string_view text, std::string_view key) {
  out->text += '/';
  out->text += text;
  out->keys += ' ';
  out->keys += key;
}

}  // namespace

std::string_view Aisg2BandText(int bandNumber) {
  if (bandNumber < 0 || bandNumber > kHighestBand) return {};
  const char* text = kAisg2Text[bandNumber];
  if (text == nullptr || Aisg2BitOfBand(bandNumber) < 0) return {};
  return text;
}

int Aisg2BitOfBand(int bandNumber) {
  if (bandNumber < 0) return -1;
  for (size_t p = 0; p < kAisg2BandOfBit.size(); ++p) {
    if (kAisg2BandOfBit[p] == bandNumber) return static_cast<int>(p);
  }
  return -1;
}

BandDecoding DecodeBands(const BandWords& words, int aisgVersion) {
  BandDecoding out;
  if (aisgVersion == 1) {
    for (int bit = 0; bit < static_cast<int>(kAisg1BandText.size()); ++bit) {
      if ((words[0] >> bit) & 1) Append(&out, kAisg1BandText[bit], kAisg1BandText[bit]);
    }
  } else if (aisgVersion == 2) {
    for (int band = 1; band <= kHighestBand; ++band) {
      int position = Aisg2BitOfBand(band);
      if (position >= 0 && BitSet(words, position)) {
        Append(&out, kAisg2Text[band], std::to_string(band));
      }
    }
  }
  if (!out.text.empty()) out.text.erase(0, 1);
  if (!out.keys.empty()) out.keys.erase(0, 1);
  return out;
}

std::optional<BandWords> ParseBandField(std::string_view field) {
  if (field.size() > 12) return std::nullopt;
  char digits[12];
  for (size_t i = 0; i < 12; ++i) digits[i] = i < field.size() ? field[i] : '0';
  BandWords words{};
  for (int w = 0; w < 3; ++w) {
    int value[4];
    for (int d = 0; d < 4; ++d) {
      value[d] = HexValue(digits[w * 4 + d]);
      if (value[d] < 0) return std::nullopt;
    }
    int low = value[0] * 16 + value[1];
    int high = value[2] * 16 + value[3];
    words[w] = static_cast<uint16_t>(high << 8 | low);
  }
  return words;
}

std::string FormatBandField(const BandWords& words) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(12);
  for (uint16_t word : words) {
    for (int byte : {word & 0xFF, word >> 8}) {
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
  }
  return out;
}

BandDecoding DecodeBandField(std::string_view field, int aisgVersion) {
  if (field.empty()) return {};
  std::optional<BandWords> words = ParseBandField(field);
  if (!words) return {};
  return DecodeBands(*words, aisgVersion);
}

}  // namespace aldpanel
