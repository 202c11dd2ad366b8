// Prints the error text table the operator program ships (data/error_code.tbl).
#include <cstdio>

#include "aldpanel/core/errortable.h"

int main() {
  const std::string text = aldpanel::ErrorTableText();
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() ? 0 : 1;
}
