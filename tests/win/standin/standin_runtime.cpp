// Stand-in CP210xRuntime.dll: the live GPIO latch of the simulated chip of
// standin_chip.h, for handles of the stand-in manufacturing library.
#include <windows.h>

#include "aldlink/adapter/cp210x_vendor_abi.h"
#include "standin_chip.h"

using ald::cp210x::Status;

namespace {

constexpr Status kOk = 0;
constexpr Status kFailed = 0xFF;
constexpr Status kBadHandle = 0x01;

bool ValidHandle(const standin::Chip& chip, HANDLE handle) {
  const uintptr_t n = reinterpret_cast<uintptr_t>(handle);
  return chip.open > 0 && n >= 1 && n <= static_cast<uintptr_t>(chip.Count());
}

}  // namespace

extern "C" {

Status WINAPI CP210xRT_ReadLatch(HANDLE handle, BYTE* latch) {
  standin::Chip chip;
  if (!standin::Load(chip) || chip.Fails("ReadLatch") || latch == nullptr) return kFailed;
  if (!ValidHandle(chip, handle)) return kBadHandle;
  *latch = static_cast<BYTE>(chip.latch);
  return kOk;
}

Status WINAPI CP210xRT_WriteLatch(HANDLE handle, BYTE mask, BYTE value) {
  standin::Chip chip;
  if (!standin::Load(chip) || chip.Fails("WriteLatch")) return kFailed;
  if (!ValidHandle(chip, handle)) return kBadHandle;
  chip.latch = (chip.latch & ~static_cast<unsigned>(mask)) | (value & mask);
  standin::Save(chip);
  return kOk;
}

}  // extern "C"
