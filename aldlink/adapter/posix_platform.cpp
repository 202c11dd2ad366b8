#include "aldlink/adapter/posix_platform.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <system_error>

#include "aldlink/adapter/termios_port.h"

namespace ald {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPortVariable = "ALDLINK_PORT";
constexpr const char* kTtyPrefix = "ttyUSB";
// Keeps k+1 well inside an int whatever a directory name says.
constexpr long kMaxTtyIndex = 99999;

const char* ExplicitPath() {
  const char* path = std::getenv(kPortVariable);
  return (path != nullptr && path[0] != '\0') ? path : nullptr;
}

// First line of a sysfs attribute file without its line end; false when the
// file cannot be read.
bool ReadAttribute(const fs::path& file, std::string& value) {
  std::ifstream in(file);
  if (!in) return false;
  std::getline(in, value);
  while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back()))) {
    value.pop_back();
  }
  return true;
}

bool ReadHex(const fs::path& file, long& value) {
  std::string text;
  if (!ReadAttribute(file, text) || text.empty()) return false;
  char* end = nullptr;
  value = std::strtol(text.c_str(), &end, 16);
  return end != nullptr && *end == '\0';
}

// "ttyUSB<k>" -> k; -1 for any other name.
long TtyIndex(const std::string& name) {
  const std::string prefix = kTtyPrefix;
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return -1;
  long k = 0;
  for (size_t i = prefix.size(); i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return -1;
    k = k * 10 + (name[i] - '0');
    if (k > kMaxTtyIndex) return -1;
  }
  return k;
}

// Serial numbers are compared the way the adapter names them: spaces as
// underscores, letters in either case.
bool SameSerial(std::string fromDevice, const char* wanted) {
  for (char& c : fromDevice) {
    if (c == ' ') c = '_';
  }
  const std::string other = wanted != nullptr ? wanted : "";
  if (fromDevice.size() != other.size()) return false;
  for (size_t i = 0; i < other.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(fromDevice[i])) !=
        std::tolower(static_cast<unsigned char>(other[i]))) {
      return false;
    }
  }
  return true;
}

struct UsbParent {
  fs::path device;     // directory with idVendor, idProduct, serial
  long interface = 0;  // bInterfaceNumber of the interface on the way
};

// Walks up from a tty's sysfs directory to the USB device that owns it.
bool FindUsbParent(const fs::path& tty, const fs::path& stop, UsbParent& parent) {
  bool haveInterface = false;
  for (fs::path dir = tty.parent_path(); !dir.empty() && dir != stop && dir != dir.root_path();
       dir = dir.parent_path()) {
    std::error_code ec;
    if (!haveInterface && fs::exists(dir / "bInterfaceNumber", ec)) {
      long number = 0;
      if (ReadHex(dir / "bInterfaceNumber", number)) parent.interface = number;
      haveInterface = true;
    }
    if (fs::exists(dir / "idVendor", ec)) {
      parent.device = dir;
      return true;
    }
  }
  return false;
}

// The tty of the usb-serial bus whose USB device `accept` takes; of several,
// that of the first interface (a chip with several UARTs has one tty per
// interface, and the adapter's usual naming takes the first), then the
// lowest tty number. -1 when none; `readable` false when the bus's folder
// cannot be read. `chosen`, when not null, gets the chosen tty's device.
long BestUsbTty(const std::string& sysfsRoot, const std::function<bool(const UsbParent&)>& accept,
                bool& readable, UsbParent* chosen) {
  const fs::path devices = fs::path(sysfsRoot) / "bus" / "usb-serial" / "devices";
  std::error_code ec;
  fs::directory_iterator it(devices, ec);
  readable = !ec;
  if (ec) return -1;
  std::error_code rootEc;
  fs::path stop = fs::canonical(sysfsRoot, rootEc);
  if (rootEc) stop = fs::path(sysfsRoot);

  long bestInterface = std::numeric_limits<long>::max();
  long bestIndex = -1;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    const long k = TtyIndex(it->path().filename().string());
    if (k < 0) continue;
    std::error_code linkEc;
    const fs::path tty = fs::canonical(it->path(), linkEc);
    if (linkEc) continue;
    UsbParent parent;
    if (!FindUsbParent(tty, stop, parent) || !accept(parent)) continue;
    if (parent.interface < bestInterface || (parent.interface == bestInterface && k < bestIndex)) {
      bestInterface = parent.interface;
      bestIndex = k;
      if (chosen != nullptr) *chosen = parent;
    }
  }
  return bestIndex;
}

}  // namespace

PosixPlatform::PosixPlatform(std::string sysfsRoot, std::string devRoot)
    : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot)) {}

int PosixPlatform::ExplicitPortNumber() {
  return ExplicitPath() != nullptr ? kExplicitPortNumber : 0;
}

int PosixPlatform::LookupPortNumber(uint16_t vid, uint16_t pid, const char* serial) {
  bool readable = false;
  const long index = BestUsbTty(
      sysfsRoot_,
      [&](const UsbParent& parent) {
        long v = -1;
        long p = -1;
        if (!ReadHex(parent.device / "idVendor", v) || v != vid) return false;
        if (!ReadHex(parent.device / "idProduct", p) || p != pid) return false;
        std::string deviceSerial;
        ReadAttribute(parent.device / "serial", deviceSerial);  // absent: no serial number
        return SameSerial(deviceSerial, serial);
      },
      readable, nullptr);
  if (!readable) {
    printf("Open USB key failed!\n");
    return -1;
  }
  if (index < 0) {
    printf("Open Port key failed!\n");
    return -1;
  }
  return static_cast<int>(index + 1);
}

int PosixPlatform::LookupPortWithoutChip() {
  bool readable = false;
  UsbParent chosen;
  const long index = BestUsbTty(
      sysfsRoot_,
      [](const UsbParent& parent) {
        long v = -1;
        long p = -1;
        if (!ReadHex(parent.device / "idVendor", v) || v != kSiliconLabsVid) return false;
        return ReadHex(parent.device / "idProduct", p) && p >= 0 && p <= 0xFFFF &&
               IsCp210xProductId(static_cast<uint16_t>(p));
      },
      readable, &chosen);
  if (index < 0) return -1;
  long pid = 0;
  ReadHex(chosen.device / "idProduct", pid);
  std::string serial;
  ReadAttribute(chosen.device / "serial", serial);
  printf("Adapter port %s/%s%ld found without its bridge chip (vid %04x, pid %04lx, serial %s)\n",
         devRoot_.c_str(), kTtyPrefix, index, static_cast<unsigned>(kSiliconLabsVid), pid,
         serial.c_str());
  return static_cast<int>(index + 1);
}

std::string PosixPlatform::PortPath(int portNumber) const {
  if (const char* path = ExplicitPath()) return path;
  if (portNumber < 1) return {};
  return devRoot_ + "/" + kTtyPrefix + std::to_string(portNumber - 1);
}

std::unique_ptr<SerialPort> PosixPlatform::OpenPort(int portNumber) {
  const std::string path = PortPath(portNumber);
  if (path.empty()) return nullptr;
  return TermiosPort::Open(path);
}

AdapterPlatform& NativeAdapterPlatform() {
  // Never destroyed: ports and chip handles may be released by objects that
  // outlive static destruction order.
  static PosixPlatform* const posix = new PosixPlatform();
  return *posix;
}

}  // namespace ald
