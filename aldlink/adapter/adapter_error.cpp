#include "aldlink/adapter/adapter_error.h"

#include <cstdarg>
#include <cstdio>

namespace ald {

namespace {
char text[512] = {};
}  // namespace

void NoteAdapterError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
}

const char* AdapterErrorText() {
  return text;
}

void ClearAdapterError() {
  text[0] = '\0';
}

}  // namespace ald
