// Limits, messages and control-byte tests shared by the link layer's source
// files; not part of the library's interface.
#pragma once

#include "aldlink/hdlc/fcs.h"

namespace ald::hdlc {

// Bytes of one frame on the line, after transparency.
constexpr int kFrameCapacity = 256;
// Opening flag, address, control, two FCS bytes, closing flag.
constexpr int kFrameOverhead = 6;

// Printed when a caller asks for a frame the line buffer cannot carry.
constexpr const char* kTooLongMessage = "Frame too long for the line!\n";

// Size of a frame of `size` bytes once its inner bytes (all but the two
// flags) are escaped.
inline int LineSize(const unsigned char* data, int size) {
  if (size < 2) return size;
  int n = size;
  for (int i = 1; i < size - 1; ++i)
    if (data[i] == kFlag || data[i] == kEscape) ++n;
  return n;
}

// Information frame: bit 0 clear and the poll/final bit set.
inline bool IsInfoControl(unsigned char c) {
  return (c & 0x11) == 0x10;
}
// Supervisory frame with the poll/final bit.
inline bool IsSupervisoryControl(unsigned char c) {
  return (c & 0x13) == 0x11;
}

}  // namespace ald::hdlc
