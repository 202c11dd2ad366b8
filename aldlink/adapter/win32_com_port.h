// A serial port on a Windows COM port, opened by its device path
// (\\.\COM5) with synchronous I/O and no sharing: a second open of the same
// port, by this process or another, fails until the first is closed.
//
// The COM-port model of SerialPort is the Windows one, so line settings,
// time-outs and purge flags pass straight through to the device control
// block, COMMTIMEOUTS and PurgeComm. A port that disappears while open (the
// adapter pulled out) makes every later call fail; the driver above then
// reports a write error or an empty read.
#pragma once

#include <memory>
#include <string>

#include "aldlink/adapter/serial_port.h"

namespace ald {

class Win32ComPort final : public SerialPort {
 public:
  // Opens `path` for exclusive read and write use; nullptr when it cannot be
  // opened, with the system's reason in `error` when given.
  static std::unique_ptr<Win32ComPort> Open(const std::string& path, std::string* error = nullptr);

  ~Win32ComPort() override;
  Win32ComPort(const Win32ComPort&) = delete;
  Win32ComPort& operator=(const Win32ComPort&) = delete;

  bool GetLineSettings(LineSettings& settings) override;
  bool SetLineSettings(const LineSettings& settings) override;
  bool GetTimeouts(SerialTimeouts& timeouts) override;
  bool SetTimeouts(const SerialTimeouts& timeouts) override;
  bool Purge(unsigned flags) override;
  bool Write(const char* data, int length, int& written) override;
  bool Read(char* buffer, int length, int& got) override;

  const std::string& path() const { return path_; }

 private:
  Win32ComPort(void* handle, std::string path) : handle_(handle), path_(std::move(path)) {}

  void* handle_;
  std::string path_;
};

// The device path of COM port `number`: "\\.\COM<number>".
std::string ComPortPath(int number);

}  // namespace ald
