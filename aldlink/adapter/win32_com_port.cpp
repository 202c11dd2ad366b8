#include "aldlink/adapter/win32_com_port.h"

#include <windows.h>

#include <cstdio>

#include "aldlink/adapter/adapter_error.h"

namespace ald {

std::unique_ptr<Win32ComPort> Win32ComPort::Open(const std::string& path, std::string* error) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0 /* no sharing */, nullptr,
                         OPEN_EXISTING, 0 /* synchronous */, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    std::string why;
    if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION) {
      // What Windows answers for a COM port another program holds.
      why = "it is in use by another program";
    } else {
      char text[256] = {};
      const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, 0, text, sizeof text, nullptr);
      why.assign(text, n);
      while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == ' ')) {
        why.pop_back();
      }
      if (why.empty()) why = "error " + std::to_string(code);
    }
    NoteAdapterError("cannot open %s: %s", path.c_str(), why.c_str());
    if (error != nullptr) *error = "cannot open " + path + ": " + why;
    return nullptr;
  }
  return std::unique_ptr<Win32ComPort>(new Win32ComPort(h, path));
}

Win32ComPort::~Win32ComPort() {
  CloseHandle(static_cast<HANDLE>(handle_));
}

bool Win32ComPort::GetLineSettings(LineSettings& settings) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(static_cast<HANDLE>(handle_), &dcb)) return false;
  settings.baudRate = static_cast<int>(dcb.BaudRate);
  settings.dataBits = dcb.ByteSize;
  settings.parity = dcb.Parity == ODDPARITY    ? Parity::kOdd
                    : dcb.Parity == EVENPARITY ? Parity::kEven
                                               : Parity::kNone;
  settings.stopBits = dcb.StopBits == TWOSTOPBITS ? 2 : 1;
  return true;
}

bool Win32ComPort::SetLineSettings(const LineSettings& settings) {
  // Everything but speed, size, parity and stop bits stays as the driver
  // has it.
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(static_cast<HANDLE>(handle_), &dcb)) return false;
  dcb.BaudRate = static_cast<DWORD>(settings.baudRate);
  dcb.ByteSize = static_cast<BYTE>(settings.dataBits);
  dcb.Parity = settings.parity == Parity::kOdd    ? ODDPARITY
               : settings.parity == Parity::kEven ? EVENPARITY
                                                  : NOPARITY;
  dcb.StopBits = settings.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
  return SetCommState(static_cast<HANDLE>(handle_), &dcb) != 0;
}

bool Win32ComPort::GetTimeouts(SerialTimeouts& timeouts) {
  COMMTIMEOUTS t{};
  if (!GetCommTimeouts(static_cast<HANDLE>(handle_), &t)) return false;
  timeouts.readInterval = t.ReadIntervalTimeout;
  timeouts.readTotalMultiplier = t.ReadTotalTimeoutMultiplier;
  timeouts.readTotalConstant = t.ReadTotalTimeoutConstant;
  timeouts.writeTotalMultiplier = t.WriteTotalTimeoutMultiplier;
  timeouts.writeTotalConstant = t.WriteTotalTimeoutConstant;
  return true;
}

bool Win32ComPort::SetTimeouts(const SerialTimeouts& timeouts) {
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = timeouts.readInterval;
  t.ReadTotalTimeoutMultiplier = timeouts.readTotalMultiplier;
  t.ReadTotalTimeoutConstant = timeouts.readTotalConstant;
  t.WriteTotalTimeoutMultiplier = timeouts.writeTotalMultiplier;
  t.WriteTotalTimeoutConstant = timeouts.writeTotalConstant;
  return SetCommTimeouts(static_cast<HANDLE>(handle_), &t) != 0;
}

bool Win32ComPort::Purge(unsigned flags) {
  // The purge flags of SerialPort are the Windows ones.
  static_assert(kPurgeTxAbort == PURGE_TXABORT && kPurgeRxAbort == PURGE_RXABORT &&
                kPurgeTxClear == PURGE_TXCLEAR && kPurgeRxClear == PURGE_RXCLEAR);
  return PurgeComm(static_cast<HANDLE>(handle_), flags) != 0;
}

bool Win32ComPort::Write(const char* data, int length, int& written) {
  written = 0;
  if (length < 0 || (data == nullptr && length > 0)) return false;
  DWORD n = 0;
  const BOOL ok =
      WriteFile(static_cast<HANDLE>(handle_), data, static_cast<DWORD>(length), &n, nullptr);
  written = static_cast<int>(n);
  return ok != 0;
}

bool Win32ComPort::Read(char* buffer, int length, int& got) {
  got = 0;
  if (buffer == nullptr || length < 0) return false;
  DWORD n = 0;
  const BOOL ok =
      ReadFile(static_cast<HANDLE>(handle_), buffer, static_cast<DWORD>(length), &n, nullptr);
  got = static_cast<int>(n);
  return ok != 0;
}

std::string ComPortPath(int number) {
  char path[32];
  std::snprintf(path, sizeof path, "\\\\.\\COM%d", number);
  return path;
}

}  // namespace ald
