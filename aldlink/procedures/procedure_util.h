// Helpers shared by the procedure sources of this folder (not installed).
#pragma once

#include "aldlink/procedures/aisgdeviceparams.h"

namespace ald::procedures {

// Result numbers of the procedures.
constexpr int kOk = 0;
constexpr int kFail = 11;
constexpr int kBadResponse = 82;
constexpr int kInvalid = 84;
constexpr int kNoAnswer = 89;

// Cleans `n` bytes of a received text in place: leading zero bytes are
// dropped (the rest moves to the front, the end is zero-filled), then every
// byte outside 0x20..0x7E becomes zero, so the text ends at the first
// unprintable byte.
void CleanText(char* text, int n);

// "p->devRcuCodes: " and each valid byte (at most 80) as "%x ", then a line
// end, or "(DEV_BADRESPONDING)" and a line end when `bad`.
void PrintRcuCodes(const AISGDeviceParams* p, bool bad);

}  // namespace ald::procedures
