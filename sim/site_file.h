// Site files: the text files that describe the devices of a simulated
// antenna line (format documented in docs/site-format.md).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/sim_device.h"

namespace ald::sim {

using DeviceList = std::vector<std::unique_ptr<SimDevice>>;

// Parses a whole site description. On failure returns false, leaves
// `devices` empty and puts a one-line reason (with the line number) in `error`.
bool ParseSite(const std::string& text, DeviceList& devices, std::string& error);

// Reads and parses the site file at `path`.
bool LoadSite(const std::string& path, DeviceList& devices, std::string& error);

}  // namespace ald::sim
