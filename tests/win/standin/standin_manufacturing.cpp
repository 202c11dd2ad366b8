// Stand-in CP210xManufacturing.dll: the roles of the export table on the
// simulated chip of standin_chip.h. Exported by ordinal through a definition
// file generated from the table.
#include <windows.h>

#include <cstring>

#include "aldlink/adapter/cp210x_vendor_abi.h"
#include "standin_chip.h"

using ald::cp210x::Status;
using ald::cp210x::VendorPortConfig;

namespace {

constexpr Status kOk = 0;
constexpr Status kFailed = 0xFF;
constexpr Status kBadHandle = 0x01;

// Loads the chip and checks the role's failure switch; false means fail.
bool Begin(standin::Chip& chip, const char* role) {
  return standin::Load(chip) && !chip.Fails(role);
}

bool ValidHandle(const standin::Chip& chip, HANDLE handle) {
  const uintptr_t n = reinterpret_cast<uintptr_t>(handle);
  return chip.open > 0 && n >= 1 && n <= static_cast<uintptr_t>(chip.Count());
}

}  // namespace

extern "C" {

Status WINAPI CP210x_GetNumDevices(DWORD* count) {
  standin::Chip chip;
  if (!Begin(chip, "GetNumDevices") || count == nullptr) return kFailed;
  *count = static_cast<DWORD>(chip.Count());
  return kOk;
}

Status WINAPI CP210x_Open(DWORD index, HANDLE* handle) {
  standin::Chip chip;
  if (!Begin(chip, "Open") || handle == nullptr) return kFailed;
  if (static_cast<int>(index) >= chip.Count()) return kFailed;
  *handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(index) + 1);
  chip.open += 1;
  chip.opens += 1;
  standin::Save(chip);
  return kOk;
}

Status WINAPI CP210x_Close(HANDLE handle) {
  standin::Chip chip;
  if (!standin::Load(chip) || !ValidHandle(chip, handle)) return kBadHandle;
  chip.open -= 1;
  standin::Save(chip);
  return chip.Fails("Close") ? kFailed : kOk;
}

Status WINAPI CP210x_GetPartNumber(HANDLE handle, BYTE* part) {
  standin::Chip chip;
  if (!Begin(chip, "GetPartNumber") || part == nullptr) return kFailed;
  if (!ValidHandle(chip, handle)) return kBadHandle;
  *part = static_cast<BYTE>(chip.PartOf(static_cast<int>(reinterpret_cast<uintptr_t>(handle)) - 1));
  return kOk;
}

Status WINAPI CP210x_GetDeviceVid(HANDLE handle, WORD* vid) {
  standin::Chip chip;
  if (!Begin(chip, "GetVendorId") || vid == nullptr) return kFailed;
  if (!ValidHandle(chip, handle)) return kBadHandle;
  *vid = static_cast<WORD>(chip.vid);
  return kOk;
}

Status WINAPI CP210x_GetDevicePid(HANDLE handle, WORD* pid) {
  standin::Chip chip;
  if (!Begin(chip, "GetProductId") || pid == nullptr) return kFailed;
  if (!ValidHandle(chip, handle)) return kBadHandle;
  *pid = static_cast<WORD>(chip.pid);
  return kOk;
}

// Like the maker's library, writes the text without a terminator and its
// length into the length byte.
Status WINAPI CP210x_GetDeviceSerialNumber(HANDLE handle, void* buffer, BYTE* length, BOOL ascii) {
  standin::Chip chip;
  if (!Begin(chip, "GetSerialNumber") || buffer == nullptr || length == nullptr || !ascii) {
    return kFailed;
  }
  if (!ValidHandle(chip, handle)) return kBadHandle;
  const size_t n = chip.serial.size() > 255 ? 255 : chip.serial.size();
  std::memcpy(buffer, chip.serial.data(), n);
  *length = static_cast<BYTE>(n);
  return kOk;
}

Status WINAPI CP210x_Reset(HANDLE handle) {
  standin::Chip chip;
  if (!Begin(chip, "Reset")) return kFailed;
  if (!ValidHandle(chip, handle)) return kBadHandle;
  chip.resets += 1;
  // A reset loads the power-on levels into the live latch.
  chip.latch = (chip.reset >> 8) & 0x0F;
  standin::Save(chip);
  return kOk;
}

Status WINAPI CP210x_GetPortConfig(HANDLE handle, VendorPortConfig* config) {
  standin::Chip chip;
  if (!Begin(chip, "GetPortConfig") || config == nullptr) return kFailed;
  if (!ValidHandle(chip, handle)) return kBadHandle;
  config->mode = static_cast<WORD>(chip.mode);
  config->resetLatch = static_cast<WORD>(chip.reset);
  config->suspendLatch = static_cast<WORD>(chip.suspend);
  config->enhancedFxn = static_cast<BYTE>(chip.fxn);
  return kOk;
}

Status WINAPI CP210x_SetPortConfig(HANDLE handle, VendorPortConfig* config) {
  standin::Chip chip;
  if (!Begin(chip, "SetPortConfig") || config == nullptr) return kFailed;
  if (!ValidHandle(chip, handle)) return kBadHandle;
  chip.mode = config->mode;
  chip.reset = config->resetLatch;
  chip.suspend = config->suspendLatch;
  chip.fxn = config->enhancedFxn;
  standin::Save(chip);
  return kOk;
}

}  // extern "C"
