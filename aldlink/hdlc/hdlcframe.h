#pragma once

// One HDLC frame, opening flag first.
struct HdlcFrame {
  unsigned char data[256];
  // Read frame: control byte of the last good answer, 0 when none.
  int ctrlCode;
  // Number of valid bytes in data.
  int size;
  // Send frame: its FCS. Read frame: 0 when the answer passed every check, 82 otherwise.
  int fcs;
};
