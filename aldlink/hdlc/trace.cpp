// One trace line per frame sent or received: sequence numbers, direction,
// frame type and the bytes as on the wire. It is the program's only record
// of the bus traffic.
#include <cstdio>

#include "aldlink/hdlc/aisghdlc.h"
#include "aldlink/hdlc/hdlc_internal.h"

using namespace ald::hdlc;

namespace {

// Prefix, arrow and label take 20 columns; continuation lines start under
// the first byte.
constexpr const char* kContinuation = "\n                    ";

void PrintPrefix(const char* direction, unsigned char c, bool plain) {
  if (!plain && IsInfoControl(c)) {
    std::printf("%s [%d,%d] ", direction, (c >> 1) & 7, c >> 5);
  } else if (!plain && IsSupervisoryControl(c)) {
    std::printf("%s [  %d] ", direction, c >> 5);
  } else {
    std::printf("%s [   ] ", direction);
  }
}

// Label of a frame type; a later match replaces an earlier one.
const char* Label(unsigned char c, bool received) {
  const char* label = "[    ]";
  if (c == 0x13) label = "[UI  ]";
  if (received) {
    if (c == 0x1F) label = "[DM  ]";
    if (c == 0x73) label = "[UA  ]";
    if (c == 0x97) label = "[FRMR]";
  } else {
    if (c == 0x53) label = "[DISC]";
    if (c == 0x93) label = "[SNRM]";
  }
  if (c == 0xBF) label = "[XID ]";
  if (IsInfoControl(c)) label = "[INFO]";
  switch (c & 0x1F) {
    case 0x11:
      label = "[RR  ]";
      break;
    case 0x15:
      label = "[RNR ]";
      break;
    case 0x19:
      label = "[REJ ]";
      break;
    case 0x1D:
      label = "[SREJ]";
      break;
    default:
      break;
  }
  return label;
}

void PrintBytes(const unsigned char* data, int size) {
  if (size > kFrameCapacity) size = kFrameCapacity;
  for (int i = 0; i < size; ++i) {
    std::printf(" %02x", data[i]);
    if ((i + 1) % 16 == 0) std::printf("%s", kContinuation);
  }
  std::printf("\n");
}

}  // namespace

void AISGHDLC::PrintSend() {
  PrintSend(0);
}

void AISGHDLC::PrintSend(int highlight) {
  // The control byte, not whatever escaping moved to its place.
  const unsigned char c = SentControl();
  PrintPrefix("Tx", c, false);
  std::printf("%s", highlight != 0 ? "\x1b[1;36m --> \x1b[0m" : " --> ");
  std::printf("%s", Label(c, false));
  PrintBytes(sendFrame.data, sendFrame.size);
}

void AISGHDLC::PrintRead() {
  const unsigned char c = readFrame.size > 2 ? readFrame.data[2] : 0;
  PrintPrefix("Rx", c, readFrame.fcs != 0);
  if (readFrame.size <= 0) {
    std::printf("<--  [\x1b[1;31mFAIL\x1b[0m]\n");
    return;
  }
  std::printf("<--  ");
  if (readFrame.fcs != 0) {
    std::printf("[\x1b[1;31mCRC \x1b[0m]");
  } else {
    std::printf("%s", Label(c, true));
  }
  PrintBytes(readFrame.data, readFrame.size);
}
