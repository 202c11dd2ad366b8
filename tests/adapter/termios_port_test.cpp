// The termios serial port against a real pseudo-terminal pair. These tests
// wait real time: the read time-outs they check are waits in the kernel.
#include "aldlink/adapter/termios_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "aldlink/adapter/adapter_platform.h"
#include "aldlink/adapter/cp210xdriver.h"
#include "aldlink/adapter/sim_bridge_chip.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

int64_t ElapsedMs(SteadyClock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - since).count();
}

// A pseudo-terminal whose master end plays the antenna line.
class Pty {
 public:
  Pty() {
    int slave = -1;
    char name[256] = {};
    if (openpty(&master_, &slave, name, nullptr, nullptr) == 0) {
      // Raw master side, so that bytes pass unchanged in both directions.
      termios tio{};
      tcgetattr(master_, &tio);
      cfmakeraw(&tio);
      tcsetattr(master_, TCSANOW, &tio);
      close(slave);
      path_ = name;
    }
  }
  ~Pty() {
    if (master_ >= 0) close(master_);
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  bool ok() const { return master_ >= 0 && !path_.empty(); }
  const std::string& path() const { return path_; }
  int master() const { return master_; }

  void Send(const std::string& bytes) {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // Reads what the port wrote, waiting up to `timeoutMs` for `want` bytes.
  std::string Receive(size_t want, int timeoutMs = 1000) {
    std::string got;
    const auto start = SteadyClock::now();
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    while (got.size() < want && ElapsedMs(start) < timeoutMs) {
      char buf[256];
      const ssize_t n = read(master_, buf, sizeof buf);
      if (n > 0) {
        got.append(buf, static_cast<size_t>(n));
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    }
    return got;
  }

 private:
  int master_ = -1;
  std::string path_;
};

ald::SerialTimeouts DriverTimeouts() {
  ald::SerialTimeouts t;
  t.readTotalConstant = 200;
  t.writeTotalConstant = 120;
  return t;
}

TEST(TermiosPort, BytesPassBothWaysInRaw9600_8N1) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  auto port = ald::TermiosPort::Open(pty.path());
  ASSERT_NE(port, nullptr);
  ald::LineSettings line;
  ASSERT_TRUE(port->GetLineSettings(line));
  EXPECT_EQ(line.baudRate, 9600);
  EXPECT_EQ(line.dataBits, 8);
  EXPECT_EQ(line.parity, ald::Parity::kNone);
  EXPECT_EQ(line.stopBits, 1);
  ASSERT_TRUE(port->SetTimeouts(DriverTimeouts()));

  // Bytes a cooked terminal would change: CR, LF, XON/XOFF, DEL, flag bytes.
  const std::string frame("\x7e\x03\x0d\x0a\x11\x13\x7f\x00\xff\x7e", 10);
  int written = 0;
  ASSERT_TRUE(port->Write(frame.data(), static_cast<int>(frame.size()), written));
  EXPECT_EQ(written, 10);
  EXPECT_EQ(pty.Receive(frame.size()), frame);

  pty.Send(frame);
  char buffer[32] = {};
  int got = 0;
  ASSERT_TRUE(port->Read(buffer, 10, got));
  EXPECT_EQ(std::string(buffer, static_cast<size_t>(got)), frame);

  ald::LineSettings other{19200, 7, ald::Parity::kEven, 2};
  ASSERT_TRUE(port->SetLineSettings(other));
  ASSERT_TRUE(port->GetLineSettings(line));
  EXPECT_EQ(line.baudRate, 19200);
  // A pseudo-terminal keeps 8 bits without parity whatever it is told.
  EXPECT_EQ(line.stopBits, 2);
  EXPECT_FALSE(port->SetLineSettings(ald::LineSettings{12345, 8, ald::Parity::kNone, 1}));
}

TEST(TermiosPort, FirstByteTimeOutWaitsAbout200Ms) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  auto port = ald::TermiosPort::Open(pty.path());
  ASSERT_NE(port, nullptr);
  ASSERT_TRUE(port->SetTimeouts(DriverTimeouts()));
  char c = 0;
  int got = -1;
  const auto start = SteadyClock::now();
  EXPECT_TRUE(port->Read(&c, 1, got));
  const int64_t waited = ElapsedMs(start);
  EXPECT_EQ(got, 0);
  EXPECT_GE(waited, 195);
  EXPECT_LT(waited, 400);
}

TEST(TermiosPort, PurgeDropsWaitingInput) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  auto port = ald::TermiosPort::Open(pty.path());
  ASSERT_NE(port, nullptr);
  ald::SerialTimeouts t = DriverTimeouts();
  t.readTotalConstant = 50;
  ASSERT_TRUE(port->SetTimeouts(t));
  pty.Send("stale");
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_TRUE(port->Purge(ald::kPurgeRxClear | ald::kPurgeTxClear));
  char buffer[8];
  int got = -1;
  EXPECT_TRUE(port->Read(buffer, 5, got));
  EXPECT_EQ(got, 0);
}

TEST(TermiosPort, SecondOpenIsRefusedUntilTheFirstCloses) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  auto first = ald::TermiosPort::Open(pty.path());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(ald::TermiosPort::Open(pty.path()), nullptr);

  // Another process is refused too.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto other = ald::TermiosPort::Open(pty.path());
    _exit(other == nullptr ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  first.reset();
  EXPECT_NE(ald::TermiosPort::Open(pty.path()), nullptr);
}

TEST(TermiosPort, MissingDeviceOrNonTerminalIsNotOpened) {
  EXPECT_EQ(ald::TermiosPort::Open("/nonexistent/ttyUSB0"), nullptr);
  EXPECT_EQ(ald::TermiosPort::Open("/dev/null"), nullptr);
}

// The driver's receive rules on a real line.
class PtyPlatform final : public ald::AdapterPlatform {
 public:
  explicit PtyPlatform(std::string path) : path_(std::move(path)) { ald::SetAdapterPlatform(this); }
  ~PtyPlatform() override { ald::SetAdapterPlatform(nullptr); }
  ald::BridgeChipLibrary& Chips() override { return chip_; }
  int ExplicitPortNumber() override { return 1; }
  int LookupPortNumber(uint16_t, uint16_t, const char*) override { return -1; }
  std::unique_ptr<ald::SerialPort> OpenPort(int) override { return ald::TermiosPort::Open(path_); }

 private:
  std::string path_;
  ald::SimBridgeChip chip_;
};

TEST(TermiosPort, DriverFrameEndsAtA20MsGapAfterTheFifthByte) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  PtyPlatform platform(pty.path());
  CP210xDriver driver;
  ASSERT_EQ(driver.OpenComPort(), 0);

  // A 100 ms pause among the first five bytes is tolerated; after the fifth,
  // a 60 ms pause ends the frame.
  SteadyClock::time_point fifthSent;
  std::thread line([&pty, &fifthSent] {
    pty.Send("\x7e\x01");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pty.Send("\x02\x03\x04\x05");
    fifthSent = SteadyClock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    pty.Send("late");
  });
  char buffer[256] = {};
  const int got = driver.RecvData(buffer, 256);
  const auto ended = SteadyClock::now();
  line.join();
  EXPECT_EQ(got, 6);
  EXPECT_EQ(std::string(buffer, 6), "\x7e\x01\x02\x03\x04\x05");
  // The call waited out the 20 ms gap after the last byte it took.
  EXPECT_GE(std::chrono::duration_cast<std::chrono::microseconds>(ended - fifthSent).count(),
            19000);

  // The late bytes wait for the next call, under the restored 200 ms rule.
  EXPECT_EQ(driver.RecvData(buffer, 256), 4);
  EXPECT_EQ(std::string(buffer, 4), "late");

  EXPECT_EQ(driver.SendData("\x7e\x7e", 2), 2);
  EXPECT_EQ(pty.Receive(2), "\x7e\x7e");
  EXPECT_EQ(driver.FlushComPort(), 0);
}

}  // namespace
