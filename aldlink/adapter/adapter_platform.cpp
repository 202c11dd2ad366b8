#include "aldlink/adapter/adapter_platform.h"

#include <cstdlib>

#include "aldlink/adapter/posix_platform.h"
#include "sim/sim_platform.h"

namespace ald {

namespace {

AdapterPlatform* installed = nullptr;

// Chosen once per process: the simulated line when ALDLINK_SIM is set and
// its site loads, the machine's own adapter otherwise.
AdapterPlatform& DefaultPlatform() {
  static AdapterPlatform* const chosen = []() -> AdapterPlatform* {
    const char* site = std::getenv("ALDLINK_SIM");
    if (site != nullptr && site[0] != '\0') {
      if (AdapterPlatform* simulated = sim::PlatformFromEnvironment()) return simulated;
    }
    // Never destroyed: ports and chip handles may be released by objects
    // that outlive static destruction order.
    static PosixPlatform* const posix = new PosixPlatform();
    return posix;
  }();
  return *chosen;
}

}  // namespace

const char* PlatformSetupError() {
  if (installed != nullptr) return nullptr;
  const char* site = std::getenv("ALDLINK_SIM");
  if (site == nullptr || site[0] == '\0') return nullptr;
  const char* error = sim::SiteLoadError();
  return error[0] != '\0' ? error : nullptr;
}

AdapterPlatform& GetAdapterPlatform() {
  return installed != nullptr ? *installed : DefaultPlatform();
}

void SetAdapterPlatform(AdapterPlatform* platform) {
  installed = platform;
}

}  // namespace ald
