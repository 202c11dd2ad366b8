// Per-process state of the flat control interface and the helpers that the
// export units share. Nothing here leaves the library.
#pragma once

#include <memory>

#include "aldglue/aldglue.h"

namespace aldglue {

// Capacity of the count text, terminator included.
inline constexpr int kCountTextSize = 16;

struct State {
  std::unique_ptr<MIRELK_DATA[]> table;
  int entryCount = -1;
  char countText[kCountTextSize] = {};
  int lastResult = -1;
};

// The one state of this process.
State& GetState();

// Releases the table and marks it as not built (count -1, count text empty).
void EmptyTable();

// Rebuilds the table from the device registry: 129 (and nothing changed)
// when no device is registered, else the result of the last device data
// read (-1800 when there was none), which also becomes the last result.
int BuildTable();

// Starts an export that may touch the adapter: forgets the previous
// adapter error text. False, with the reason as the new text, when the line
// cannot be used at all (a site file that did not load); nothing may be
// sent then.
bool BeginAdapterWork();

// Resets the adapter's bridge chip when it is not in its default
// configuration; done before every search of the bus.
void PrepareAdapter();

}  // namespace aldglue
