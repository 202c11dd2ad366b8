#include "aldlink/adapter/libusb_bridge_chip.h"

#include <libusb.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace ald {

namespace {

// Vendor-specific control requests of the CP210x family.
constexpr uint8_t kVendorIn = 0xC0;   // device to host, vendor, device recipient
constexpr uint8_t kVendorOut = 0x40;  // host to device, vendor, device recipient
constexpr uint8_t kVendorRequest = 0xFF;
constexpr uint16_t kGetPartNumber = 0x370B;
constexpr uint16_t kGetPortConfig = 0x370C;
constexpr uint16_t kSetPortConfig = 0x370D;
constexpr uint16_t kReadLatch = 0x00C2;
constexpr uint16_t kWriteLatch = 0x37E1;
constexpr unsigned kTransferTimeoutMs = 1000;

bool IsBridge(const libusb_device_descriptor& d) {
  return LibusbBridgeChip::IsCandidate(d.idVendor, d.idProduct);
}

// The port configuration block as the single-port chips send it: output mode
// word, two unused bytes, reset latch word, four unused bytes, suspend latch
// word, pin function byte. The words travel low byte first, with GPIO n in
// bit 8+n as the record expects. This is the one place that knows the wire
// layout; it is assumed identical for the CP2103 and CP2104, which share the
// vendor library's record.
constexpr int kPortConfigSize = 13;
using PortConfigBlock = std::array<uint8_t, kPortConfigSize>;

uint16_t Word(const PortConfigBlock& b, int at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
void PutWord(PortConfigBlock& b, int at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v & 0xFF);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void DecodePortConfig(const PortConfigBlock& b, ChipPortConfig& config) {
  config.outputMode = Word(b, 0);
  config.resetLatch = Word(b, 4);
  config.suspendLatch = Word(b, 10);
  config.pinFunction = b[12];
}

// Writes the record's members into `b`, keeping the bytes it does not know.
void EncodePortConfig(const ChipPortConfig& config, PortConfigBlock& b) {
  PutWord(b, 0, config.outputMode);
  PutWord(b, 4, config.resetLatch);
  PutWord(b, 10, config.suspendLatch);
  b[12] = config.pinFunction;
}

}  // namespace

struct LibusbBridgeChip::OpenChip {
  libusb_device_handle* device = nullptr;
  libusb_device_descriptor descriptor{};
};

LibusbBridgeChip::~LibusbBridgeChip() {
  for (OpenChip* chip : open_) {
    libusb_close(chip->device);
    delete chip;
  }
  if (context_ != nullptr) libusb_exit(context_);
}

bool LibusbBridgeChip::Context() {
  if (context_ != nullptr) return true;
  if (contextFailed_) return false;
  if (libusb_init(&context_) != 0) {
    context_ = nullptr;
    contextFailed_ = true;
    return false;
  }
  return true;
}

LibusbBridgeChip::OpenChip* LibusbBridgeChip::Lookup(ChipHandle handle) {
  auto it = std::find(open_.begin(), open_.end(), static_cast<OpenChip*>(handle));
  return it == open_.end() ? nullptr : *it;
}

int LibusbBridgeChip::GetNumDevices(unsigned& count) {
  if (!Context()) return 1;
  libusb_device** list = nullptr;
  const ssize_t n = libusb_get_device_list(context_, &list);
  if (n < 0) return 1;
  unsigned found = 0;
  for (ssize_t i = 0; i < n; ++i) {
    libusb_device_descriptor d{};
    if (libusb_get_device_descriptor(list[i], &d) == 0 && IsBridge(d)) ++found;
  }
  libusb_free_device_list(list, 1);
  count = found;
  return 0;
}

bool LibusbBridgeChip::IsCandidate(uint16_t vid, uint16_t /*pid*/) {
  // Adapters ship with product identifiers of their own too; the part
  // number read after opening tells the adapter's chip from the others.
  return vid == kSiliconLabsVid;
}

int LibusbBridgeChip::Open(unsigned index, ChipHandle& handle) {
  lastOpenError_ = nullptr;
  if (!Context()) return 1;
  libusb_device** list = nullptr;
  const ssize_t n = libusb_get_device_list(context_, &list);
  if (n < 0) return 1;
  int result = 1;
  unsigned seen = 0;
  for (ssize_t i = 0; i < n; ++i) {
    libusb_device_descriptor d{};
    if (libusb_get_device_descriptor(list[i], &d) != 0 || !IsBridge(d)) continue;
    if (seen++ != index) continue;
    libusb_device_handle* device = nullptr;
    const int opened = libusb_open(list[i], &device);
    if (opened == 0) {
      auto* chip = new OpenChip{device, d};
      open_.push_back(chip);
      handle = chip;
      result = 0;
    } else if (IsCp210xProductId(d.idProduct)) {
      // Only these can be the adapter's chip out of reach: the shipped
      // udev rule, which the caller will point to, covers no other.
      lastOpenError_ = opened == LIBUSB_ERROR_ACCESS
                           ? "permission denied"
                           : libusb_strerror(static_cast<libusb_error>(opened));
    }
    break;
  }
  libusb_free_device_list(list, 1);
  return result;
}

int LibusbBridgeChip::Close(ChipHandle handle) {
  OpenChip* chip = Lookup(handle);
  if (chip == nullptr) return 1;
  open_.erase(std::find(open_.begin(), open_.end(), chip));
  libusb_close(chip->device);
  delete chip;
  return 0;
}

int LibusbBridgeChip::GetPartNumber(ChipHandle handle, uint8_t& partNumber) {
  OpenChip* chip = Lookup(handle);
  if (chip == nullptr) return 1;
  uint8_t part = 0;
  const int r = libusb_control_transfer(chip->device, kVendorIn, kVendorRequest, kGetPartNumber, 0,
                                        &part, 1, kTransferTimeoutMs);
  if (r != 1) return 1;
  partNumber = part;
  return 0;
}

int LibusbBridgeChip::GetVendorId(ChipHandle handle, uint16_t& vid) {
  OpenChip* chip = Lookup(handle);
  if (chip == nullptr) return 1;
  vid = chip->descriptor.idVendor;
  return 0;
}

int LibusbBridgeChip::GetProductId(ChipHandle handle, uint16_t& pid) {
  OpenChip* chip = Lookup(handle);
  if (chip == nullptr) return 1;
  pid = chip->descriptor.idProduct;
  return 0;
}

int LibusbBridgeChip::GetSerialNumber(ChipHandle handle, char* buffer, uint8_t& length,
                                      bool asAscii) {
  OpenChip* chip = Lookup(handle);
  if (chip == nullptr || buffer == nullptr) return 1;
  const uint8_t index = chip->descriptor.iSerialNumber;
  if (index == 0) return 1;
  // The caller's buffer holds at least 64 bytes.
  constexpr int kCapacity = 64;
  if (asAscii) {
    unsigned char text[kCapacity] = {};
    const int r = libusb_get_string_descriptor_ascii(chip->device, index, text, kCapacity);
    if (r < 0) return 1;
    const int chars = std::min(r, kCapacity - 1);
    std::memcpy(buffer, text, static_cast<size_t>(chars));
    length = static_cast<uint8_t>(chars);
    return 0;
  }
  // UTF-16LE as stored: skip the two-byte descriptor header.
  unsigned char raw[2 + kCapacity] = {};
  const int r = libusb_get_string_descriptor(chip->device, index, 0x0409, raw, sizeof raw);
  if (r < 2) return 1;
  const int bytes = std::min(std::min(r, static_cast<int>(raw[0])) - 2, kCapacity);
  if (bytes < 0) return 1;
  std::memcpy(buffer, raw + 2, static_cast<size_t>(bytes));
  length = static_cast<uint8_t>(bytes);
  return 0;
}

int LibusbBridgeChip::Reset(ChipHandle handle) {
  OpenChip* chip = Lookup(handle);
  if (chip == nullptr) return 1;
  // A port reset makes the chip re-enumerate and load its power-on
  // configuration; the handle is gone afterwards, which Close tolerates.
  return libusb_reset_device(chip->device) == 0 ? 0 : 1;
}

int LibusbBridgeChip::GetPortConfig(ChipHandle handle, ChipPortConfig& config) {
  OpenChip* chip = Lookup(handle);
  if (chip == nullptr) return 1;
  PortConfigBlock block{};
  const int r = libusb_control_transfer(chip->device, kVendorIn, kVendorRequest, kGetPortConfig, 0,
                                        block.data(), kPortConfigSize, kTransferTimeoutMs);
  if (r != kPortConfigSize) return 1;
  DecodePortConfig(block, config);
  return 0;
}

int LibusbBridgeChip::SetPortConfig(ChipHandle handle, const ChipPortConfig& config) {
  OpenChip* chip = Lookup(handle);
  if (chip == nullptr) return 1;
  // Read first so that the bytes the record does not carry go back unchanged.
  PortConfigBlock block{};
  int r = libusb_control_transfer(chip->device, kVendorIn, kVendorRequest, kGetPortConfig, 0,
                                  block.data(), kPortConfigSize, kTransferTimeoutMs);
  if (r != kPortConfigSize) return 1;
  EncodePortConfig(config, block);
  r = libusb_control_transfer(chip->device, kVendorOut, kVendorRequest, kSetPortConfig, 0,
                              block.data(), kPortConfigSize, kTransferTimeoutMs);
  return r == kPortConfigSize ? 0 : 1;
}

int LibusbBridgeChip::ReadLatch(ChipHandle handle, uint8_t& latch) {
  OpenChip* chip = Lookup(handle);
  if (chip == nullptr) return 1;
  uint8_t value = 0;
  const int r = libusb_control_transfer(chip->device, kVendorIn, kVendorRequest, kReadLatch, 0,
                                        &value, 1, kTransferTimeoutMs);
  if (r != 1) return 1;
  latch = value;
  return 0;
}

int LibusbBridgeChip::WriteLatch(ChipHandle handle, uint8_t mask, uint8_t value) {
  OpenChip* chip = Lookup(handle);
  if (chip == nullptr) return 1;
  const uint16_t index = static_cast<uint16_t>((value << 8) | mask);
  const int r = libusb_control_transfer(chip->device, kVendorOut, kVendorRequest, kWriteLatch,
                                        index, nullptr, 0, kTransferTimeoutMs);
  return r == 0 ? 0 : 1;
}

}  // namespace ald
