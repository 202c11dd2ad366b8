// The command line of aldctl: global options, one or more commands joined by
// a lone "+", and each command's arguments checked before anything reaches
// the interface library.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tools/aldctl/format.h"

namespace aldctl {

struct Command {
  std::string verb;    // "scan", "tilt", ...
  std::string action;  // "get", "set", "clear", "switch" or empty
  bool help = false;   // --help given: show the command's help, run nothing
  int address = -1;
  int subunit = -1;
  long value = 0;  // tilt in tenths, gain in quarters, mode, on/off, A/B, generation
  int depth = 4;
  int assign = 1;
  TableFormat format = TableFormat::kText;
  std::string vendor, serial;
  std::vector<std::string> files;
  // data get: the table fields asked for (empty: all); data set: the
  // fields with their values as typed.
  std::vector<std::pair<int, std::string>> data;
};

struct Invocation {
  std::string traceFile;  // --trace FILE; empty: the library's trace is discarded
  std::string library;    // --lib PATH: load the interface library from there
  bool help = false;      // aldctl --help or aldctl help
  bool version = false;   // aldctl --version
  std::string helpVerb;   // aldctl help VERB
  std::vector<Command> commands;
};

// Parses the arguments after the program name. On a mistake returns false
// with a message that says what is wrong with which argument.
bool ParseInvocation(const std::vector<std::string>& args, Invocation& inv, std::string& error);

// The general help (empty verb) or one command's help; false for an unknown
// verb.
bool WriteHelp(FILE* out, const std::string& verb);

// Highest HDLC address and subunit number the tool accepts.
inline constexpr int kMaxAddress = 254;
inline constexpr int kMaxSubunit = 254;
// Scan depth range of the bus search.
inline constexpr int kMinDepth = 1;
inline constexpr int kMaxDepth = 17;
// Largest tilt in tenths of a degree that any antenna could take.
inline constexpr long kMaxTiltTenths = 900;
// Files one download may carry: the device library sends no more than this
// many of a list and would drop the rest unseen.
inline constexpr int kMaxDownloadFiles = 5;
// TMA gains are sent as one byte of quarter decibels.
inline constexpr long kMaxGainQuarters = 255;

}  // namespace aldctl
