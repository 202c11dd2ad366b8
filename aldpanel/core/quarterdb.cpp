#include "aldpanel/core/quarterdb.h"

#include <cstdlib>

namespace aldpanel {

std::string FormatQuarterDb(long quarters, char decimalSeparator) {
  // Whole decibels and the remaining quarter worked out on the magnitude, so
  // that -3 quarters reads -0.75 and not -1.25 or 0.-75.
  unsigned long magnitude = quarters < 0 ? 0UL - static_cast<unsigned long>(quarters)
                                         : static_cast<unsigned long>(quarters);
  std::string text = quarters < 0 ? "-" : "";
  text += std::to_string(magnitude / 4);
  static const char* const kFractions[] = {"", "25", "5", "75"};
  const char* fraction = kFractions[magnitude % 4];
  if (*fraction != '\0') {
    text += decimalSeparator;
    text += fraction;
  }
  return text;
}

}  // namespace aldpanel
