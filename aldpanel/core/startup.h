// Where the operator program keeps its files, the start-up mode, debug
// output and the number format: everything the program settles before its
// main window is usable, without any window code.
//
// On this platform the working directory is a per-user data directory
// ($XDG_DATA_HOME/aldcontrol, by default ~/.local/share/aldcontrol), or in
// start-up mode with ALLUSERSPROFILE set, that value joined with "Mirelk".
// It is created at the first start with its "tmp" folder and seeded with the
// tables and antenna configuration files the program ships; the program never
// writes into its installation or the source tree.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace aldpanel {

// Product name and brand: ours, no vendor's.
inline constexpr const char* kProductName = "ALD Field Controller";
inline constexpr const char* kProgramName = "aldpanel";
inline constexpr const char* kBusyProgramName = "notebox";

// Reads an environment variable; null when unset. Tests pass their own.
using EnvLookup = std::function<const char*(const char*)>;
EnvLookup ProcessEnv();

// The paths of one run. All absolute once resolved.
struct StartupPaths {
  std::string programDir;    // folder of the running program
  std::string workDir;       // working directory (made current by the runner)
  std::string tempDir;       // workDir + "/tmp": the configuration rewrite's temporary files
  std::string configPath;    // workDir + "/mirelk.conf"
  std::string logTmpOut;     // workDir + "/debug_tmp.log"
  std::string logTmpErr;     // workDir + "/debug_tmp.err"
  std::string logOut;        // workDir + "/debug.log"
  std::string logErr;        // workDir + "/debug.err"
  std::string shippedData;   // the "data" tree the program ships ("" when none was found)
  bool startupMode = false;  // "AppStartup.ini" beside the program or in the current directory
};

// Settles the paths without touching the file system beyond looking:
// start-up mode when "AppStartup.ini" can be read in `currentDir` or
// `programDir`; the working directory as described above; the shipped data
// tree looked for, in this order, in $ALDPANEL_DATA_DIR, programDir/data,
// programDir/../share/aldcontrol/data and programDir/../../data (a build
// folder inside the source tree). An unset HOME and XDG_DATA_HOME leave the
// working directory at `currentDir`.
StartupPaths ResolveStartupPaths(const std::string& programDir, const std::string& currentDir,
                                 const EnvLookup& env);

// The folder of the running program; "" when unknown.
std::string RunningProgramDir();

// Creates the working directory and its "tmp" (existing ones are no error),
// copies every file of the shipped data tree that the working directory's
// "data" lacks (never overwriting the operator's edits), and in start-up mode
// creates the configuration file with its default lines when it cannot be
// read. False with *why when the working directory cannot be made.
bool PrepareWorkDir(const StartupPaths& paths, std::string* why = nullptr);

// Debug output. Mode 0 sends standard output and error to /dev/null, mode 1
// leaves them where they are (the terminal the program started from), mode 2
// truncates "debug.log"/"debug.err" and sends them there, mode 3 the same
// with "debug_tmp.log"/"debug_tmp.err". The mode that was applied is kept for
// FinishDebugOutput.
class DebugOutput {
 public:
  // Applies `mode`; returns the mode in force (0 when mode 2 or 3 could not
  // open its files: then nothing is redirected and output stays put).
  int Apply(int mode, const StartupPaths& paths);
  // At exit: flushes, closes the log descriptors and, in mode 3, appends
  // "debug_tmp.log" to "debug.log" and "debug_tmp.err" to "debug.err".
  void Finish();
  int mode() const { return mode_; }

 private:
  int mode_ = 0;
  StartupPaths paths_;
  int savedOut_ = -1;
  int savedErr_ = -1;
};

// Appends the file `from` to `to` (created when missing); false when either
// cannot be opened. Lines of any length are copied whole.
bool AppendFile(const std::string& from, const std::string& to);

// The decimal separator of the current C locale (LC_NUMERIC): '.' when "8.8"
// converts whole, ',' when it does not.
char DetectDecimalSeparator();

// `text` with its '.' replaced by `separator` ("2.5" -> "2,5"); for numbers
// already formatted with a point.
std::string WithDecimalSeparator(std::string text, char separator);

}  // namespace aldpanel
