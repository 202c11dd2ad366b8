#include "sim/sim_platform.h"

namespace ald::sim {

// First version: the simulated platform is not built yet.
AdapterPlatform* PlatformFromEnvironment() { return nullptr; }

}  // namespace ald::sim
