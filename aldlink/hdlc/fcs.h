// Frame check sequence and byte transparency of AISG layer 2 (HDLC framing
// as in ISO/IEC 13239). Shared by the link layer and the line simulator.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ald::hdlc {

constexpr uint8_t kFlag = 0x7E;
constexpr uint8_t kEscape = 0x7D;

// CRC-16 (reflected 0x8408, preset 0xFFFF, complemented) over `length` bytes;
// 0 when length is 0.
uint16_t Fcs16(const uint8_t* data, size_t length);

// Escapes 0x7E and 0x7D in `in` (the bytes between the flags) into `out`.
// Returns the escaped length, or -1 when it would exceed `capacity`.
int EscapeBytes(const uint8_t* in, size_t length, uint8_t* out, size_t capacity);

}  // namespace ald::hdlc
