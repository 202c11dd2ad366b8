// A stand-in for the bridge chip maker's two Windows libraries, for tests:
// one or more simulated chips whose state lives in a small text file, so
// that the two libraries, the test and a program it starts all see one chip.
//
// CP210X_STANDIN_STATE names the file; without it, or without the file,
// there is no chip. Lines of "key=value":
//   parts=3            part number of each chip, comma-separated (count = chips)
//   vid=10c4 pid=ea60  USB identifiers in hexadecimal
//   serial=AB 12 3     serial number text
//   mode, reset, suspend, fxn, latch   configuration record and live latch (hex)
//   fail=GetVendorId,Open   roles that fail (names as in the export table)
//   open=0             handles open now;  opens=0  successful opens so far
//   resets=0           resets done
// Every call reads the file, acts, and writes it back.
#pragma once

#include <cstdint>
#include <string>

namespace standin {

struct Chip {
  std::string parts = "";
  unsigned vid = 0x10c4;
  unsigned pid = 0xea60;
  std::string serial = "0001";
  unsigned mode = 0;
  unsigned reset = 0;
  unsigned suspend = 0;
  unsigned fxn = 0;
  unsigned latch = 0;
  std::string fail;
  int open = 0;
  int opens = 0;
  int resets = 0;

  int Count() const;
  int PartOf(int index) const;
  bool Fails(const char* role) const;
};

// False when there is no state file.
bool Load(Chip& chip);
void Save(const Chip& chip);

}  // namespace standin
