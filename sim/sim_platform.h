// The simulated antenna line as the adapter platform of a process.
#pragma once

#include "aldlink/adapter/adapter_platform.h"

namespace ald::sim {

// When ALDLINK_SIM names a site file, the process-wide simulated line and
// bridge chip serving that site (built on first use, kept for the life of the
// process); nullptr when the variable is unset or the site cannot be loaded
// (with a message on standard output).
AdapterPlatform* PlatformFromEnvironment();

}  // namespace ald::sim
