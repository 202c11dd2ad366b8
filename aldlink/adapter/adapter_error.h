// The reason the adapter, its port or the simulated line's site file could
// not be used, kept as one line of text for the callers above the device
// objects: a device operation only says that nothing could be sent, while
// the operator needs to know whether no adapter is plugged in, the port is
// busy or the site file has a bad line.
//
// One process-wide text in a fixed buffer (no allocation on the bus path);
// the newest note replaces the older one.
#pragma once

namespace ald {

// Replaces the text (printf-style, cut to the buffer).
void NoteAdapterError(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The current text; empty when nothing failed since the last clear.
const char* AdapterErrorText();
void ClearAdapterError();

}  // namespace ald
