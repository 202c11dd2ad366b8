#include "aldlink/hdlc/fcs.h"

#include <array>

namespace ald::hdlc {

namespace {

// Entry i is the register after shifting the single byte i through the
// reflected generator x^16 + x^12 + x^5 + 1.
constexpr std::array<uint16_t, 256> MakeTable() {
  std::array<uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned reg = i;
    for (int bit = 0; bit < 8; ++bit) reg = (reg & 1) ? (reg >> 1) ^ 0x8408 : reg >> 1;
    table[i] = static_cast<uint16_t>(reg);
  }
  return table;
}

constexpr std::array<uint16_t, 256> kTable = MakeTable();
static_assert(kTable[1] == 0x1189 && kTable[2] == 0x2312 && kTable[3] == 0x329B);

}  // namespace

uint16_t Fcs16(const uint8_t* data, size_t length) {
  if (length == 0) return 0;
  uint16_t reg = 0xFFFF;
  for (size_t i = 0; i < length; ++i) reg = (reg >> 8) ^ kTable[(reg ^ data[i]) & 0xFF];
  return static_cast<uint16_t>(reg ^ 0xFFFF);
}

int EscapeBytes(const uint8_t* in, size_t length, uint8_t* out, size_t capacity) {
  size_t n = 0;
  for (size_t i = 0; i < length; ++i) {
    const uint8_t b = in[i];
    const bool escape = b == kFlag || b == kEscape;
    if (n + (escape ? 2 : 1) > capacity) return -1;
    if (escape) {
      out[n++] = kEscape;
      out[n++] = static_cast<uint8_t>(b ^ 0x20);
    } else {
      out[n++] = b;
    }
  }
  return static_cast<int>(n);
}

}  // namespace ald::hdlc
