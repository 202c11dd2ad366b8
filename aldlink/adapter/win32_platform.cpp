#include "aldlink/adapter/win32_platform.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "aldlink/adapter/win32_com_port.h"

namespace ald {

namespace {

constexpr const char* kPortVariable = "ALDLINK_PORT";
// Read access to a key: KEY_READ.
constexpr REGSAM kKeyRead = 0x20019;
// "PortName" is read into 101 bytes, 100 offered to the registry, so the
// text is always terminated.
constexpr DWORD kPortNameOffered = 100;
constexpr int kMaxComNumber = 9999;

const char* ExplicitPort() {
  const char* port = std::getenv(kPortVariable);
  return (port != nullptr && port[0] != '\0') ? port : nullptr;
}

// Closes a registry key when the lookup leaves, whichever way.
class Key {
 public:
  Key() = default;
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

enum class ReadResult { kPort, kNoValue, kBadName };

// Reads "PortName" of `key` and turns it into a port number.
ReadResult ReadPortName(HKEY key, int& port) {
  char value[kPortNameOffered + 1] = {};
  DWORD size = kPortNameOffered;
  DWORD type = 0;
  if (RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return ReadResult::kNoValue;
  }
  value[size < kPortNameOffered ? size : kPortNameOffered] = '\0';
  port = ParseComPortName(value);
  if (port < 0) {
    printf("PortName \"%s\" is not a COM port!\n", value);
    return ReadResult::kBadName;
  }
  return ReadResult::kPort;
}

}  // namespace

int ParseComPortName(const char* name) {
  if (name == nullptr) return -1;
  if (std::toupper(static_cast<unsigned char>(name[0])) != 'C' ||
      std::toupper(static_cast<unsigned char>(name[1])) != 'O' ||
      std::toupper(static_cast<unsigned char>(name[2])) != 'M') {
    return -1;
  }
  const char* digits = name + 3;
  if (*digits == '\0') return -1;
  long n = 0;
  for (const char* p = digits; *p != '\0'; ++p) {
    if (!std::isdigit(static_cast<unsigned char>(*p))) return -1;
    n = n * 10 + (*p - '0');
    if (n > kMaxComNumber) return -1;
  }
  return n >= 1 ? static_cast<int>(n) : -1;
}

int GetPortNum(unsigned short vid, unsigned short pid, char* serial) {
  char empty[1] = {'\0'};
  if (serial == nullptr) serial = empty;
  // Windows names the instance key with underscores where the serial number
  // has spaces.
  for (char* p = serial; *p != '\0'; ++p) {
    if (*p == ' ') *p = '_';
  }

  Key controlSet;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\", 0, kKeyRead,
                    controlSet.out()) != ERROR_SUCCESS) {
    printf("Open controlset key failed!\n");
    return -1;
  }
  Key usb;
  if (RegOpenKeyA(controlSet.get(), "Enum\\USB\\", usb.out()) != ERROR_SUCCESS) {
    printf("Open USB key failed!\n");
    return -1;
  }

  // Interface 0 of a composite device first. When that key exists its
  // answer stands, even when it has no port: the plain key is then stale.
  char path[512];
  std::snprintf(path, sizeof path, "Vid_%04x&Pid_%04x&Mi_00\\%s_00\\Device Parameters\\", vid, pid,
                serial);
  int port = -1;
  {
    Key composite;
    if (RegOpenKeyExA(usb.get(), path, 0, kKeyRead, composite.out()) == ERROR_SUCCESS) {
      const ReadResult r = ReadPortName(composite.get(), port);
      if (r == ReadResult::kNoValue) printf("Open PortName key failed!\n");
      return r == ReadResult::kPort ? port : -1;
    }
  }

  std::snprintf(path, sizeof path, "Vid_%04x&Pid_%04x\\%s\\Device Parameters\\", vid, pid, serial);
  Key plain;
  if (RegOpenKeyExA(usb.get(), path, 0, kKeyRead, plain.out()) != ERROR_SUCCESS) {
    printf("Open Port key failed!\n");
    return -1;
  }
  return ReadPortName(plain.get(), port) == ReadResult::kPort ? port : -1;
}

int Win32Platform::ExplicitPortNumber() {
  const char* port = ExplicitPort();
  if (port == nullptr) return 0;
  // "COM7" or "\\.\COM7" name their number; any other path counts as port 1.
  const char* name = port;
  if (std::strncmp(name, "\\\\.\\", 4) == 0) name += 4;
  const int n = ParseComPortName(name);
  return n > 0 ? n : 1;
}

int Win32Platform::LookupPortNumber(uint16_t vid, uint16_t pid, const char* serial) {
  char copy[256] = {};
  if (serial != nullptr) std::snprintf(copy, sizeof copy, "%s", serial);
  return GetPortNum(vid, pid, copy);
}

std::string Win32Platform::PortPath(int portNumber) const {
  if (const char* port = ExplicitPort()) {
    if (ParseComPortName(port) > 0) return ComPortPath(ParseComPortName(port));
    return port;
  }
  if (portNumber < 1) return {};
  return ComPortPath(portNumber);
}

std::unique_ptr<SerialPort> Win32Platform::OpenPort(int portNumber) {
  const std::string path = PortPath(portNumber);
  if (path.empty()) return nullptr;
  return Win32ComPort::Open(path);
}

AdapterPlatform& NativeAdapterPlatform() {
  // Never destroyed: ports and chip handles may be released by objects that
  // outlive static destruction order.
  static Win32Platform* const win32 = new Win32Platform();
  return *win32;
}

}  // namespace ald
