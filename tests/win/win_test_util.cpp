#include "tests/win/win_test_util.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace wintest {

namespace {

constexpr const char* kUsbKey = "SYSTEM\\CurrentControlSet\\Enum\\USB\\";

}  // namespace

std::string ProgramDir() {
  char buffer[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  std::string path(buffer, n);
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

void SetEnv(const char* name, const char* value) {
  // _putenv_s updates the C runtime's copy and the process environment that
  // children inherit.
  _putenv_s(name, value != nullptr ? value : "");
}

StandinChipFile::StandinChipFile(const standin::Chip& chip) {
  char dir[MAX_PATH];
  char file[MAX_PATH];
  GetTempPathA(sizeof dir, dir);
  GetTempFileNameA(dir, "chp", 0, file);
  path_ = file;
  SetEnv("CP210X_STANDIN_STATE", path_.c_str());
  Write(chip);
}

StandinChipFile::~StandinChipFile() {
  SetEnv("CP210X_STANDIN_STATE", nullptr);
  DeleteFileA(path_.c_str());
}

standin::Chip StandinChipFile::Read() const {
  standin::Chip chip;
  standin::Load(chip);
  return chip;
}

void StandinChipFile::Write(const standin::Chip& chip) const {
  standin::Save(chip);
}

UsbDeviceKey::UsbDeviceKey(const std::string& devicePath, const std::string& instance,
                           const char* portName)
    : devicePath_(std::string(kUsbKey) + devicePath) {
  const std::string params = devicePath_ + "\\" + instance + "\\Device Parameters";
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, params.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  ok_ = true;
  if (portName != nullptr) {
    ok_ = RegSetValueExA(key, "PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(portName),
                         static_cast<DWORD>(std::strlen(portName) + 1)) == ERROR_SUCCESS;
  }
  RegCloseKey(key);
}

UsbDeviceKey::~UsbDeviceKey() {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, devicePath_.c_str());
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, devicePath_.c_str());
}

}  // namespace wintest
