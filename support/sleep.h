// Whole-second pause of the device operations (after a device restart, a
// download, a failed link set-up).
//
// It lives in namespace ald because the POSIX ::sleep(unsigned) of
// <unistd.h> occupies the global name: code inside namespace ald that calls
// sleep(n) gets this one, code outside must write ald::sleep(n). Unlike the
// POSIX call it waits on the process clock, so under a virtual clock
// (tests) it takes no real time.
#pragma once

namespace ald {

// Blocks the calling thread for `seconds` whole seconds; 0 or less returns at once.
void sleep(int seconds);

}  // namespace ald
