// The bridge chip through the chip maker's own Windows libraries,
// CP210xManufacturing.dll and CP210xRuntime.dll, loaded at run time and bound
// by ordinal (table in cp210x_vendor_exports.h).
//
// The libraries are loaded on first use, not when aldlink is loaded: a
// machine without them runs everything but the chip functions. A library that
// is missing, lacks one of the ordinals or exports one of the names at
// another ordinal is not used at all; every call that needs it fails (returns
// non-zero) and LoadError() says why. The first such failure is also printed
// once on standard output.
#pragma once

#include <string>

#include "aldlink/adapter/bridge_chip.h"

namespace ald {

class VendorDllBridgeChip final : public BridgeChipLibrary {
 public:
  // Library files to load; by default the maker's names, found by the
  // system's search (beside the program first). Tests pass other paths.
  VendorDllBridgeChip();
  VendorDllBridgeChip(std::string manufacturingPath, std::string runtimePath);
  ~VendorDllBridgeChip() override;
  VendorDllBridgeChip(const VendorDllBridgeChip&) = delete;
  VendorDllBridgeChip& operator=(const VendorDllBridgeChip&) = delete;

  int GetNumDevices(unsigned& count) override;
  int Open(unsigned index, ChipHandle& handle) override;
  int Close(ChipHandle handle) override;
  int GetPartNumber(ChipHandle handle, uint8_t& partNumber) override;
  int GetVendorId(ChipHandle handle, uint16_t& vid) override;
  int GetProductId(ChipHandle handle, uint16_t& pid) override;
  int GetSerialNumber(ChipHandle handle, char* buffer, uint8_t& length, bool asAscii) override;
  int Reset(ChipHandle handle) override;
  int GetPortConfig(ChipHandle handle, ChipPortConfig& config) override;
  int SetPortConfig(ChipHandle handle, const ChipPortConfig& config) override;
  int ReadLatch(ChipHandle handle, uint8_t& latch) override;
  int WriteLatch(ChipHandle handle, uint8_t mask, uint8_t value) override;

  // Loads both libraries now (if not yet tried); true when both are usable.
  bool Load();
  bool ManufacturingUsable();
  bool RuntimeUsable();
  // Why a library is not usable; empty when both are (or not yet tried).
  std::string LoadError();

 private:
  struct Bound;
  Bound& Bind();

  std::string manufacturingPath_;
  std::string runtimePath_;
  Bound* bound_ = nullptr;
};

}  // namespace ald
