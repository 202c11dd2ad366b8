// The CP210x bridge chip library on libusb-1.0: the chip's vendor-specific
// control requests, sent to the device while the kernel's serial driver keeps
// its tty (no interface is claimed, no kernel driver is detached).
//
// Chips are the Silicon Labs (vendor 0x10C4) devices, whatever their product
// identifier (the driver keeps the one whose part number is the adapter's);
// index n of Open is the n-th such device in libusb's enumeration order. On
// a machine without USB access (no usbfs, as in containers) GetNumDevices
// fails; a chip with a CP210x product identifier that the user may not open
// (no udev rule) fails Open with LastOpenError "permission denied".
#pragma once

#include <cstdint>
#include <vector>

#include "aldlink/adapter/bridge_chip.h"

struct libusb_context;

namespace ald {

class LibusbBridgeChip final : public BridgeChipLibrary {
 public:
  LibusbBridgeChip() = default;
  ~LibusbBridgeChip() override;
  LibusbBridgeChip(const LibusbBridgeChip&) = delete;
  LibusbBridgeChip& operator=(const LibusbBridgeChip&) = delete;

  int GetNumDevices(unsigned& count) override;
  int Open(unsigned index, ChipHandle& handle) override;
  const char* LastOpenError() const override { return lastOpenError_; }
  // True for a USB device that may be a bridge chip of the adapter.
  static bool IsCandidate(uint16_t vid, uint16_t pid);
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

 private:
  struct OpenChip;

  // Initialises libusb on first use; false when it is not available here.
  bool Context();
  // The open chip behind `handle`, or nullptr for an unknown handle.
  OpenChip* Lookup(ChipHandle handle);

  libusb_context* context_ = nullptr;
  bool contextFailed_ = false;
  const char* lastOpenError_ = nullptr;
  std::vector<OpenChip*> open_;
};

}  // namespace ald
