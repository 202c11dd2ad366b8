// The calling interface of the chip maker's two Windows libraries, as far as
// this driver calls them: one function type per role of
// cp210x_vendor_exports.h. Every call returns the library's status, 0 for
// success. Windows only.
#pragma once

#include <windows.h>

namespace ald::cp210x {

using Status = int;

// The port configuration record as the manufacturing library reads and
// writes it.
struct VendorPortConfig {
  WORD mode;          // output mode of the pins, GPIO n in bit 8+n
  WORD resetLatch;    // power-on level, GPIO n in bit 8+n
  WORD suspendLatch;  // level while suspended
  BYTE enhancedFxn;   // pin functions, GPIO n given to the chip in bit n
};

using GetNumDevicesFn = Status(WINAPI*)(DWORD* count);
using OpenFn = Status(WINAPI*)(DWORD index, HANDLE* handle);
using CloseFn = Status(WINAPI*)(HANDLE handle);
using GetSerialNumberFn = Status(WINAPI*)(HANDLE handle, void* buffer, BYTE* length,
                                          BOOL convertToAscii);
using GetVendorIdFn = Status(WINAPI*)(HANDLE handle, WORD* vid);
using GetProductIdFn = Status(WINAPI*)(HANDLE handle, WORD* pid);
using ResetFn = Status(WINAPI*)(HANDLE handle);
using GetPortConfigFn = Status(WINAPI*)(HANDLE handle, VendorPortConfig* config);
using SetPortConfigFn = Status(WINAPI*)(HANDLE handle, VendorPortConfig* config);
using GetPartNumberFn = Status(WINAPI*)(HANDLE handle, BYTE* partNumber);
using ReadLatchFn = Status(WINAPI*)(HANDLE handle, BYTE* latch);
using WriteLatchFn = Status(WINAPI*)(HANDLE handle, BYTE mask, BYTE latch);

// Longest serial number text the libraries hand out, terminator excluded.
inline constexpr int kMaxSerialLength = 63;

}  // namespace ald::cp210x
