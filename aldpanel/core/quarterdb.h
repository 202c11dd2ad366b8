// TMA gains travel in quarter decibels. Shown to the operator they are
// decibels with no more decimals than the value needs (12, 12.5, 11.25,
// -0.75), so that a device's 0.25 dB steps are neither rounded away nor
// padded with noise.
#pragma once

#include <string>

namespace aldpanel {

// `quarters` / 4 in decibels, with `decimalSeparator` in place of ".".
std::string FormatQuarterDb(long quarters, char decimalSeparator = '.');

}  // namespace aldpanel
