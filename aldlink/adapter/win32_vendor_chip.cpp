#include "aldlink/adapter/win32_vendor_chip.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "aldlink/adapter/adapter_error.h"
#include "aldlink/adapter/cp210x_vendor_abi.h"
#include "aldlink/adapter/cp210x_vendor_exports.h"

namespace ald {

namespace {

using namespace cp210x;

enum class Lib { Manufacturing, Runtime };

// Room around the record the library writes: a library built with another
// packing of the record must not write past our buffer.
constexpr size_t kPortConfigSlack = 64;

union PortConfigBuffer {
  VendorPortConfig record;
  unsigned char bytes[sizeof(VendorPortConfig) + kPortConfigSlack];
};

// Room for any serial number text plus a terminator, whatever length byte a
// library reports.
constexpr int kSerialScratch = 256;

std::string WindowsErrorText(DWORD code) {
  char text[256] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, text, sizeof text, nullptr);
  std::string out(text, n);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) {
    out.pop_back();
  }
  if (out.empty()) out = "error " + std::to_string(code);
  return out;
}

}  // namespace

struct VendorDllBridgeChip::Bound {
  HMODULE manufacturing = nullptr;
  HMODULE runtime = nullptr;
  bool manufacturingOk = false;
  bool runtimeOk = false;
  std::string error;
  bool reported = false;
#define ALD_DECLARE_POINTER(lib, ordinal, name, role) role##Fn role = nullptr;
  ALD_CP210X_EXPORTS(ALD_DECLARE_POINTER)
#undef ALD_DECLARE_POINTER
};

VendorDllBridgeChip::VendorDllBridgeChip()
    : VendorDllBridgeChip(ALD_CP210X_MANUFACTURING_DLL, ALD_CP210X_RUNTIME_DLL) {}

VendorDllBridgeChip::VendorDllBridgeChip(std::string manufacturingPath, std::string runtimePath)
    : manufacturingPath_(std::move(manufacturingPath)), runtimePath_(std::move(runtimePath)) {}

VendorDllBridgeChip::~VendorDllBridgeChip() {
  if (bound_ == nullptr) return;
  if (bound_->manufacturing != nullptr) FreeLibrary(bound_->manufacturing);
  if (bound_->runtime != nullptr) FreeLibrary(bound_->runtime);
  delete bound_;
}

VendorDllBridgeChip::Bound& VendorDllBridgeChip::Bind() {
  if (bound_ != nullptr) return *bound_;
  bound_ = new Bound;
  Bound& b = *bound_;

  auto load = [&](const std::string& path, HMODULE& module) {
    // No system dialog when the file is broken or missing: the caller gets a
    // failure instead.
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    module = LoadLibraryA(path.c_str());
    const DWORD code = GetLastError();
    SetErrorMode(oldMode);
    if (module == nullptr) {
      if (!b.error.empty()) b.error += "; ";
      b.error += path + ": cannot be loaded: " + WindowsErrorText(code);
      return false;
    }
    return true;
  };
  b.manufacturingOk = load(manufacturingPath_, b.manufacturing);
  b.runtimeOk = load(runtimePath_, b.runtime);

  // Every role by its ordinal; the name, where the library has it, must be
  // the same function.
  auto bind = [&](Lib lib, WORD ordinal, const char* name, FARPROC& out) {
    HMODULE module = lib == Lib::Manufacturing ? b.manufacturing : b.runtime;
    bool& ok = lib == Lib::Manufacturing ? b.manufacturingOk : b.runtimeOk;
    const std::string& path = lib == Lib::Manufacturing ? manufacturingPath_ : runtimePath_;
    if (!ok) return;
    FARPROC byOrdinal = GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
    if (byOrdinal == nullptr) {
      if (!b.error.empty()) b.error += "; ";
      b.error += path + ": no export at ordinal " + std::to_string(ordinal) + " (" + name + ")";
      ok = false;
      return;
    }
    FARPROC byName = GetProcAddress(module, name);
    if (byName != nullptr && byName != byOrdinal) {
      if (!b.error.empty()) b.error += "; ";
      b.error += path + ": ordinal " + std::to_string(ordinal) + " is not " + name;
      ok = false;
      return;
    }
    out = byOrdinal;
  };
#define ALD_BIND(lib, ordinal, name, role)                           \
  {                                                                  \
    FARPROC p = nullptr;                                             \
    bind(Lib::lib, ordinal, #name, p);                               \
    b.role = reinterpret_cast<role##Fn>(reinterpret_cast<void*>(p)); \
  }
  ALD_CP210X_EXPORTS(ALD_BIND)
#undef ALD_BIND

  // A library that failed any check is not called at all.
#define ALD_DROP(lib, ordinal, name, role) \
  if (!(Lib::lib == Lib::Manufacturing ? b.manufacturingOk : b.runtimeOk)) b.role = nullptr;
  ALD_CP210X_EXPORTS(ALD_DROP)
#undef ALD_DROP
  if (!b.manufacturingOk && b.manufacturing != nullptr) {
    FreeLibrary(b.manufacturing);
    b.manufacturing = nullptr;
  }
  if (!b.runtimeOk && b.runtime != nullptr) {
    FreeLibrary(b.runtime);
    b.runtime = nullptr;
  }
  return b;
}

bool VendorDllBridgeChip::Load() {
  Bound& b = Bind();
  return b.manufacturingOk && b.runtimeOk;
}

bool VendorDllBridgeChip::ManufacturingUsable() {
  return Bind().manufacturingOk;
}

bool VendorDllBridgeChip::RuntimeUsable() {
  return Bind().runtimeOk;
}

std::string VendorDllBridgeChip::LoadError() {
  return Bind().error;
}

// A role whose library is not usable fails; the reason is printed the first
// time.
#define ALD_NEED(role)                                                              \
  Bound& b = Bind();                                                                \
  if (b.role == nullptr) {                                                          \
    if (!b.reported) {                                                              \
      b.reported = true;                                                            \
      printf("Bridge chip library not usable: %s\n", b.error.c_str());              \
    }                                                                               \
    NoteAdapterError("the bridge chip library is not usable: %s", b.error.c_str()); \
    return -1;                                                                      \
  }

int VendorDllBridgeChip::GetNumDevices(unsigned& count) {
  ALD_NEED(GetNumDevices)
  DWORD n = 0;
  const Status status = b.GetNumDevices(&n);
  if (status == 0) count = static_cast<unsigned>(n);
  return status;
}

int VendorDllBridgeChip::Open(unsigned index, ChipHandle& handle) {
  ALD_NEED(Open)
  HANDLE h = INVALID_HANDLE_VALUE;
  const Status status = b.Open(static_cast<DWORD>(index), &h);
  if (status == 0 && h != INVALID_HANDLE_VALUE && h != nullptr) {
    handle = h;
    return 0;
  }
  return status != 0 ? status : -1;
}

int VendorDllBridgeChip::Close(ChipHandle handle) {
  ALD_NEED(Close)
  return b.Close(handle);
}

int VendorDllBridgeChip::GetPartNumber(ChipHandle handle, uint8_t& partNumber) {
  ALD_NEED(GetPartNumber)
  BYTE part = 0;
  const Status status = b.GetPartNumber(handle, &part);
  if (status == 0) partNumber = part;
  return status;
}

int VendorDllBridgeChip::GetVendorId(ChipHandle handle, uint16_t& vid) {
  ALD_NEED(GetVendorId)
  WORD value = 0;
  const Status status = b.GetVendorId(handle, &value);
  if (status == 0) vid = value;
  return status;
}

int VendorDllBridgeChip::GetProductId(ChipHandle handle, uint16_t& pid) {
  ALD_NEED(GetProductId)
  WORD value = 0;
  const Status status = b.GetProductId(handle, &value);
  if (status == 0) pid = value;
  return status;
}

int VendorDllBridgeChip::GetSerialNumber(ChipHandle handle, char* buffer, uint8_t& length,
                                         bool asAscii) {
  ALD_NEED(GetSerialNumber)
  if (buffer == nullptr) return -1;
  char scratch[kSerialScratch] = {};
  BYTE got = length;
  const Status status = b.GetSerialNumber(handle, scratch, &got, asAscii ? TRUE : FALSE);
  if (status != 0) return status;
  // The caller's buffer holds 64 bytes; a longer text is cut, never copied
  // past its end.
  const int n = got > kMaxSerialLength ? kMaxSerialLength : got;
  std::memcpy(buffer, scratch, static_cast<size_t>(n));
  length = static_cast<uint8_t>(n);
  return 0;
}

int VendorDllBridgeChip::Reset(ChipHandle handle) {
  ALD_NEED(Reset)
  return b.Reset(handle);
}

int VendorDllBridgeChip::GetPortConfig(ChipHandle handle, ChipPortConfig& config) {
  ALD_NEED(GetPortConfig)
  PortConfigBuffer raw{};
  const Status status = b.GetPortConfig(handle, &raw.record);
  if (status != 0) return status;
  config.outputMode = raw.record.mode;
  config.resetLatch = raw.record.resetLatch;
  config.suspendLatch = raw.record.suspendLatch;
  config.pinFunction = raw.record.enhancedFxn;
  return 0;
}

int VendorDllBridgeChip::SetPortConfig(ChipHandle handle, const ChipPortConfig& config) {
  ALD_NEED(SetPortConfig)
  PortConfigBuffer raw{};
  raw.record.mode = config.outputMode;
  raw.record.resetLatch = config.resetLatch;
  raw.record.suspendLatch = config.suspendLatch;
  raw.record.enhancedFxn = config.pinFunction;
  return b.SetPortConfig(handle, &raw.record);
}

int VendorDllBridgeChip::ReadLatch(ChipHandle handle, uint8_t& latch) {
  ALD_NEED(ReadLatch)
  BYTE value = 0;
  const Status status = b.ReadLatch(handle, &value);
  if (status == 0) latch = value;
  return status;
}

int VendorDllBridgeChip::WriteLatch(ChipHandle handle, uint8_t mask, uint8_t value) {
  ALD_NEED(WriteLatch)
  return b.WriteLatch(handle, mask, value);
}

#undef ALD_NEED

}  // namespace ald
