// aldsim: serves a simulated antenna line on a pseudo-terminal.
//
//   aldsim [-q] SITE
//
// Prints the terminal's path on the first line of standard output; a
// controller that opens that path (ALDLINK_PORT) talks to the devices of the
// site file through its real serial code. Answers are paced at the line rate
// of 9600 bit/s in real time. Each exchange is traced unless -q is given.
// Runs until SIGINT or SIGTERM and then exits with status 0.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "sim/bus.h"
#include "sim/site_file.h"
#include "support/clock.h"

namespace {

volatile sig_atomic_t gStop = 0;

void OnSignal(int) {
  gStop = 1;
}

// A device whose layer 7 returns every message unchanged; serves the
// hidden --echo-device option with which the tests run aldsim without a site.
class EchoDevice final : public ald::sim::SimDevice {
 public:
  int HandleMessage(const uint8_t* info, int length, int64_t, uint8_t* out, int capacity) override {
    const int n = length < capacity ? length : capacity;
    std::memcpy(out, info, static_cast<size_t>(n));
    return n;
  }
  int PendingAnswer(int64_t, uint8_t*, int) override { return 0; }
};

void Usage() {
  std::fprintf(stderr,
               "usage: aldsim [-q] SITE | aldsim --version\n"
               "Serves the antenna line devices of the site file SITE on a pseudo-terminal\n"
               "whose path is printed on the first line. -q: no trace of the exchanges.\n"
               "Stops on SIGINT or SIGTERM.\n");
}

void Trace(const char* arrow, const uint8_t* bytes, int n) {
  std::printf("%s", arrow);
  for (int i = 0; i < n; ++i) std::printf(" %02x", bytes[i]);
  std::printf("\n");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  bool quiet = false;
  std::string site;
  ald::sim::DeviceList devices;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-q") {
      quiet = true;
    } else if (arg == "-h" || arg == "--help") {
      Usage();
      return 0;
    } else if (arg == "--version") {
      std::printf("aldsim %s\n", ALD_VERSION);
      return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    } else if (arg == "--echo-device" && i + 1 < argc) {
      // GENERATION:UNIQUEID:ADDRESS, for the tests.
      const std::string value = argv[++i];
      const size_t a = value.find(':');
      const size_t b = value.rfind(':');
      if (a == std::string::npos || b == a) {
        Usage();
        return 2;
      }
      auto d = std::make_unique<EchoDevice>();
      d->generation = std::atoi(value.substr(0, a).c_str());
      d->uniqueId = value.substr(a + 1, b - a - 1);
      d->address = std::atoi(value.substr(b + 1).c_str());
      devices.push_back(std::move(d));
    } else if (site.empty() && !arg.empty() && arg[0] != '-') {
      site = arg;
    } else {
      Usage();
      return 2;
    }
  }
  if (site.empty() && devices.empty()) {
    Usage();
    return 2;
  }
  if (!site.empty()) {
    std::string error;
    if (!ald::sim::LoadSite(site, devices, error)) {
      std::fprintf(stderr, "aldsim: %s\n", error.c_str());
      return 1;
    }
  }
  ald::sim::SimBus bus(std::move(devices));

  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    std::fprintf(stderr, "aldsim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
    return 1;
  }
  const char* name = ptsname(master);
  if (name == nullptr) {
    std::fprintf(stderr, "aldsim: no terminal name: %s\n", std::strerror(errno));
    return 1;
  }
  const std::string path = name;
  // Holding the terminal open keeps the line alive between the controller's
  // sessions (no hang-up on the master) and keeps it raw from the start.
  const int slave = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) {
    std::fprintf(stderr, "aldsim: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
    return 1;
  }
  termios tio{};
  if (tcgetattr(slave, &tio) == 0) {
    cfmakeraw(&tio);
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    tcsetattr(slave, TCSANOW, &tio);
  }

  // The signals are taken only while waiting for the line, so an answer
  // already begun still goes out whole.
  sigset_t stopSignals, waitMask;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
  sigdelset(&waitMask, SIGINT);
  sigdelset(&waitMask, SIGTERM);
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  std::printf("%s\n", path.c_str());
  std::fflush(stdout);

  ald::Clock& clock = ald::GetClock();
  ald::sim::FrameAssembler assembler;
  uint8_t in[512];
  uint8_t answer[ald::sim::kMaxWire];
  // A pseudo-terminal hands over the controller's bytes at once; on the line
  // each takes its character time, so a command ends when its last byte has
  // crossed, counted from when the line was free.
  int64_t lineFreeUs = 0;
  while (!gStop) {
    pollfd p{master, POLLIN, 0};
    const int r = ppoll(&p, 1, nullptr, &waitMask);
    if (r < 0) {
      if (errno == EINTR) continue;
      std::fprintf(stderr, "aldsim: poll: %s\n", std::strerror(errno));
      return 1;
    }
    const ssize_t got = read(master, in, sizeof in);
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EIO) continue;
      std::fprintf(stderr, "aldsim: read: %s\n", std::strerror(errno));
      return 1;
    }
    const int64_t arrivedUs = clock.NowUs();
    for (ssize_t i = 0; i < got; ++i) {
      lineFreeUs = ald::sim::ByteEndUs(lineFreeUs > arrivedUs ? lineFreeUs : arrivedUs, 0);
      if (!assembler.Push(in[i])) continue;
      const int64_t endUs = lineFreeUs;
      if (!quiet) Trace("<-", assembler.frame(), assembler.frameLength());
      const int n =
          bus.Exchange(assembler.frame(), assembler.frameLength(), endUs, answer, sizeof answer);
      if (n <= 0) continue;
      const int64_t start = endUs + ald::sim::kTurnaroundUs;
      for (int k = 0; k < n; ++k) {
        clock.SleepUntilUs(ald::sim::ByteEndUs(start, k));
        if (write(master, answer + k, 1) != 1) break;
      }
      lineFreeUs = ald::sim::ByteEndUs(start, n - 1);
      if (!quiet) Trace("->", answer, n);
    }
  }
  close(slave);
  close(master);
  return 0;
}
