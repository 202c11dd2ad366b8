// Helpers of the Windows tests: the stand-in chip's state file, keys in
// Wine's (or Windows') registry, and the directory of the test program.
#pragma once

#include <string>

#include "tests/win/standin/standin_chip.h"

namespace wintest {

// The directory of the running test program (where the stand-in libraries,
// aldglue.dll and win_peer.exe are).
std::string ProgramDir();

// Sets or removes (value null) a variable of this process's environment, for
// the C runtime and for child processes alike.
void SetEnv(const char* name, const char* value);

// A stand-in chip for the duration of a test: writes its state file and
// points CP210X_STANDIN_STATE at it; removes both at the end.
class StandinChipFile {
 public:
  explicit StandinChipFile(const standin::Chip& chip);
  ~StandinChipFile();
  StandinChipFile(const StandinChipFile&) = delete;
  StandinChipFile& operator=(const StandinChipFile&) = delete;

  // The chip as the libraries left it.
  standin::Chip Read() const;
  void Write(const standin::Chip& chip) const;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A device key under HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\USB:
// `instancePath` such as "Vid_0aa1&Pid_5c01\AB_12_3"; its "Device
// Parameters" subkey gets "PortName" = `portName` unless that is null.
// The whole device key is deleted at the end.
class UsbDeviceKey {
 public:
  UsbDeviceKey(const std::string& devicePath, const std::string& instance, const char* portName);
  ~UsbDeviceKey();
  UsbDeviceKey(const UsbDeviceKey&) = delete;
  UsbDeviceKey& operator=(const UsbDeviceKey&) = delete;
  bool ok() const { return ok_; }

 private:
  std::string devicePath_;
  bool ok_ = false;
};

}  // namespace wintest
