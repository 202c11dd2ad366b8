#include "aldlink/adapter/termios_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <limits>

#include "aldlink/adapter/adapter_error.h"

namespace ald {

namespace {

using SteadyClock = std::chrono::steady_clock;

struct BaudEntry {
  int rate;
  speed_t code;
};

constexpr BaudEntry kBaudTable[] = {
    {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
    {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
    {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool BaudCode(int rate, speed_t& code) {
  for (const BaudEntry& e : kBaudTable) {
    if (e.rate == rate) {
      code = e.code;
      return true;
    }
  }
  return false;
}

int BaudRate(speed_t code) {
  for (const BaudEntry& e : kBaudTable) {
    if (e.code == code) return e.rate;
  }
  return 0;
}

// Unix98 pseudo-terminal slaves. Their exclusive flag would outlive a holder
// that dies while the master stays open (the simulator's line), locking the
// line for good; the flock alone guards them.
bool IsPseudoTerminalSlave(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  const unsigned maj = major(st.st_rdev);
  return maj >= 136 && maj <= 143;
}

// Milliseconds from now until `deadline`, rounded up so that a wait never
// ends just before it and loops with a zero time-out.
int MsUntil(SteadyClock::time_point deadline) {
  const auto left = deadline - SteadyClock::now();
  if (left <= SteadyClock::duration::zero()) return 0;
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(left).count();
  const int64_t ms = (us + 999) / 1000;
  return ms > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                              : static_cast<int>(ms);
}

// Waits for `events` on `fd` for at most `timeoutMs` (-1 = no limit).
// 1: ready, 0: timed out, -1: error.
int WaitFor(int fd, short events, int timeoutMs) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int r = poll(&p, 1, timeoutMs);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    return r == 0 ? 0 : 1;
  }
}

}  // namespace

std::unique_ptr<TermiosPort> TermiosPort::Open(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int saved = errno;
    NoteAdapterError("cannot open %s: %s", path.c_str(), std::strerror(saved));
    errno = saved;
    return nullptr;
  }

  auto fail = [fd]() -> std::unique_ptr<TermiosPort> {
    const int saved = errno;
    close(fd);
    errno = saved;
    return nullptr;
  };

  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    NoteAdapterError("cannot open %s: it is in use by another program", path.c_str());
    return fail();
  }
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) {
    NoteAdapterError("%s is not a serial port", path.c_str());
    return fail();
  }
  if (!IsPseudoTerminalSlave(fd)) {
    // Not every driver knows the flag; the lock above still holds.
    ioctl(fd, TIOCEXCL);
  }

  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~(CSTOPB | PARENB | PARODD | CRTSCTS | CSIZE);
  tio.c_cflag |= CS8;
  // With VMIN 1 a non-blocking read of an empty line reports EAGAIN and a
  // read of 0 bytes means hang-up; VMIN 0 would blur the two.
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, B9600);
  cfsetospeed(&tio, B9600);
  if (tcsetattr(fd, TCSANOW, &tio) != 0) return fail();

  return std::unique_ptr<TermiosPort>(new TermiosPort(fd, path));
}

TermiosPort::~TermiosPort() {
  if (!IsPseudoTerminalSlave(fd_)) ioctl(fd_, TIOCNXCL);
  flock(fd_, LOCK_UN);
  close(fd_);
}

bool TermiosPort::GetLineSettings(LineSettings& settings) {
  termios tio{};
  if (tcgetattr(fd_, &tio) != 0) return false;
  settings.baudRate = BaudRate(cfgetospeed(&tio));
  switch (tio.c_cflag & CSIZE) {
    case CS5:
      settings.dataBits = 5;
      break;
    case CS6:
      settings.dataBits = 6;
      break;
    case CS7:
      settings.dataBits = 7;
      break;
    default:
      settings.dataBits = 8;
      break;
  }
  if ((tio.c_cflag & PARENB) == 0) {
    settings.parity = Parity::kNone;
  } else {
    settings.parity = (tio.c_cflag & PARODD) != 0 ? Parity::kOdd : Parity::kEven;
  }
  settings.stopBits = (tio.c_cflag & CSTOPB) != 0 ? 2 : 1;
  return true;
}

bool TermiosPort::SetLineSettings(const LineSettings& settings) {
  speed_t speed = B9600;
  if (!BaudCode(settings.baudRate, speed)) return false;
  tcflag_t size = 0;
  switch (settings.dataBits) {
    case 5:
      size = CS5;
      break;
    case 6:
      size = CS6;
      break;
    case 7:
      size = CS7;
      break;
    case 8:
      size = CS8;
      break;
    default:
      return false;
  }
  if (settings.stopBits != 1 && settings.stopBits != 2) return false;

  termios tio{};
  if (tcgetattr(fd_, &tio) != 0) return false;
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
  tio.c_cflag |= size | CLOCAL | CREAD;
  if (settings.parity != Parity::kNone) {
    tio.c_cflag |= PARENB;
    if (settings.parity == Parity::kOdd) tio.c_cflag |= PARODD;
  }
  if (settings.stopBits == 2) tio.c_cflag |= CSTOPB;
  cfsetispeed(&tio, speed);
  cfsetospeed(&tio, speed);
  return tcsetattr(fd_, TCSANOW, &tio) == 0;
}

bool TermiosPort::GetTimeouts(SerialTimeouts& timeouts) {
  timeouts = timeouts_;
  return true;
}

bool TermiosPort::SetTimeouts(const SerialTimeouts& timeouts) {
  timeouts_ = timeouts;
  return true;
}

bool TermiosPort::Purge(unsigned flags) {
  const bool rx = (flags & kPurgeRxClear) != 0;
  const bool tx = (flags & kPurgeTxClear) != 0;
  // Reads and writes here are synchronous, so there is never a pending
  // operation for the abort flags to cancel.
  if (!rx && !tx) return true;
  const int queue = rx && tx ? TCIOFLUSH : (rx ? TCIFLUSH : TCOFLUSH);
  return tcflush(fd_, queue) == 0;
}

bool TermiosPort::Write(const char* data, int length, int& written) {
  written = 0;
  if (length < 0 || (data == nullptr && length > 0)) return false;
  const int64_t totalMs =
      int64_t{timeouts_.writeTotalMultiplier} * length + timeouts_.writeTotalConstant;
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(totalMs);

  while (written < length) {
    const ssize_t n = write(fd_, data + written, static_cast<size_t>(length - written));
    if (n > 0) {
      written += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    const int waitMs = totalMs > 0 ? MsUntil(deadline) : -1;
    if (waitMs == 0) return false;  // write time-out: the line does not take the bytes
    if (WaitFor(fd_, POLLOUT, waitMs) < 0) return false;
  }
  return true;
}

bool TermiosPort::Read(char* buffer, int length, int& got) {
  got = 0;
  if (length <= 0) return true;
  if (buffer == nullptr) return false;

  constexpr uint32_t kNoWait = std::numeric_limits<uint32_t>::max();
  const bool returnAtOnce = timeouts_.readInterval == kNoWait &&
                            timeouts_.readTotalMultiplier == 0 && timeouts_.readTotalConstant == 0;
  const int64_t totalMs =
      int64_t{timeouts_.readTotalMultiplier} * length + timeouts_.readTotalConstant;
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(totalMs);
  const bool intervalLimit = timeouts_.readInterval > 0 && timeouts_.readInterval != kNoWait;

  for (;;) {
    const ssize_t n = read(fd_, buffer + got, static_cast<size_t>(length - got));
    if (n > 0) {
      got += static_cast<int>(n);
      if (got == length) return true;
      continue;
    }
    if (n == 0) return false;  // hang-up: the device went away
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
    if (returnAtOnce) return true;

    // Nothing buffered: wait in the kernel for the next byte or the end of
    // the time allowed.
    int waitMs = -1;
    if (totalMs > 0) {
      waitMs = MsUntil(deadline);
      if (waitMs == 0) return true;
    }
    bool byInterval = false;
    if (intervalLimit && got > 0) {
      const int interval = static_cast<int>(
          std::min<uint32_t>(timeouts_.readInterval, std::numeric_limits<int>::max()));
      if (waitMs < 0 || interval < waitMs) {
        waitMs = interval;
        byInterval = true;
      }
    }
    const int ready = WaitFor(fd_, POLLIN, waitMs);
    if (ready < 0) return false;
    if (ready == 0 && (byInterval || totalMs > 0)) {
      // Time-out: what arrived so far is the answer. The total deadline is
      // checked once more so that a wakeup a little early does not end it.
      if (byInterval || MsUntil(deadline) == 0) return true;
    }
  }
}

}  // namespace ald
