// A serial port on a POSIX terminal device (USB serial adapter, or a
// pseudo-terminal for the simulator and tests).
//
// The device is opened for exclusive use: an flock() on the open file and,
// where the driver supports it, TIOCEXCL. A second open of the same device,
// from this process or another, fails until the first is closed.
//
// Read and write time-outs follow the COM-port model of SerialPort: the total
// time of a read is multiplier * length + constant; with interval > 0 the
// read also ends when that many ms pass between two bytes. Waiting happens in
// the kernel (poll) on the real monotonic clock: this is real hardware, so the
// process clock's virtual time does not apply here.
#pragma once

#include <memory>
#include <string>

#include "aldlink/adapter/serial_port.h"

namespace ald {

class TermiosPort final : public SerialPort {
 public:
  // Opens `path` for exclusive use and puts the line into raw 9600 8N1 mode;
  // nullptr (with errno kept) when it cannot be opened or locked.
  static std::unique_ptr<TermiosPort> Open(const std::string& path);

  ~TermiosPort() override;
  TermiosPort(const TermiosPort&) = delete;
  TermiosPort& operator=(const TermiosPort&) = delete;

  bool GetLineSettings(LineSettings& settings) override;
  bool SetLineSettings(const LineSettings& settings) override;
  bool GetTimeouts(SerialTimeouts& timeouts) override;
  bool SetTimeouts(const SerialTimeouts& timeouts) override;
  bool Purge(unsigned flags) override;
  bool Write(const char* data, int length, int& written) override;
  bool Read(char* buffer, int length, int& got) override;

  const std::string& path() const { return path_; }

 private:
  TermiosPort(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

  int fd_;
  std::string path_;
  SerialTimeouts timeouts_;
};

}  // namespace ald
