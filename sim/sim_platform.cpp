#include "sim/sim_platform.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "sim/sim_line.h"
#include "sim/site_file.h"
#include "support/clock.h"

namespace ald::sim {

namespace {

// The line handed out by OpenPort; closing it frees the port.
class OpenLine final : public SerialPort {
 public:
  OpenLine(SimBus& bus, std::shared_ptr<bool> open) : line_(bus), open_(std::move(open)) {
    *open_ = true;
  }
  ~OpenLine() override { *open_ = false; }

  bool GetLineSettings(LineSettings& s) override { return line_.GetLineSettings(s); }
  bool SetLineSettings(const LineSettings& s) override { return line_.SetLineSettings(s); }
  bool GetTimeouts(SerialTimeouts& t) override { return line_.GetTimeouts(t); }
  bool SetTimeouts(const SerialTimeouts& t) override { return line_.SetTimeouts(t); }
  bool Purge(unsigned flags) override { return line_.Purge(flags); }
  bool Write(const char* data, int length, int& written) override {
    return line_.Write(data, length, written);
  }
  bool Read(char* buffer, int length, int& got) override { return line_.Read(buffer, length, got); }

 private:
  SimLine line_;
  std::shared_ptr<bool> open_;
};

}  // namespace

SimPlatform::~SimPlatform() = default;

int SimPlatform::LookupPortNumber(uint16_t, uint16_t, const char*) {
  return kPortNumber;
}

std::unique_ptr<SerialPort> SimPlatform::OpenPort(int portNumber) {
  if (portNumber != kPortNumber || *open_) return nullptr;
  return std::make_unique<OpenLine>(bus_, open_);
}

namespace {

// ALDLINK_SIM_CLOCK=virtual runs the simulated line on a virtual clock: the
// line's pauses (tilt movements, calibration, download writes, poll
// intervals) then cost no real time, for demonstrations and for end-to-end
// tests of whole programs. Real time stays the default; an unknown value is
// named and ignored rather than guessed at.
void UseClockFromEnvironment() {
  const char* mode = std::getenv("ALDLINK_SIM_CLOCK");
  if (mode == nullptr || *mode == '\0' || strcasecmp(mode, "real") == 0) return;
  if (strcasecmp(mode, "virtual") != 0) {
    std::fprintf(stderr,
                 "ALDLINK_SIM_CLOCK: unknown value '%s' (virtual or real); real time is used\n",
                 mode);
    return;
  }
  // Starts at the real calendar time, so dates in traces stay plausible.
  static VirtualClock* const clock = new VirtualClock(std::time(nullptr));
  SetClock(clock);
}

}  // namespace

namespace {
std::string siteLoadError;
}  // namespace

const char* SiteLoadError() {
  PlatformFromEnvironment();
  return siteLoadError.c_str();
}

AdapterPlatform* PlatformFromEnvironment() {
  // Built once; a site that failed to load is not retried.
  static SimPlatform* platform = []() -> SimPlatform* {
    const char* path = std::getenv("ALDLINK_SIM");
    if (path == nullptr || *path == '\0') return nullptr;
    DeviceList devices;
    std::string error;
    if (!LoadSite(path, devices, error)) {
      std::printf("ALDLINK_SIM: cannot load site file %s: %s\n", path, error.c_str());
      siteLoadError = "site file " + error;
      std::fflush(stdout);
      return nullptr;
    }
    UseClockFromEnvironment();
    // Kept for the life of the process, like a real adapter's line.
    auto* bus = new SimBus(std::move(devices));
    return new SimPlatform(*bus);
  }();
  return platform;
}

}  // namespace ald::sim
