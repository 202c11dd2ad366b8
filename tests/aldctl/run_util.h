// Runs the aldctl program for the tests and collects what it wrote.
#pragma once

#include <string>
#include <vector>

namespace aldctl_test {

struct RunResult {
  int status = -1;  // exit status, -1 when it did not exit normally
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs build/bin/aldctl with `args`. The environment is the test's own
// without any ALDLINK_ variable, plus `env` entries (NAME=VALUE).
RunResult RunAldctl(const std::vector<std::string>& args, const std::vector<std::string>& env = {});

// The same with standard output going to the file `outPath` (opened for
// writing, e.g. /dev/full) instead of being collected.
RunResult RunAldctlTo(const std::string& outPath, const std::vector<std::string>& args,
                      const std::vector<std::string>& env = {});

// The path of a program or library in the build's bin directory.
std::string BinPath(const std::string& name);

// Runs aldctl with standard error on a pseudo-terminal (so that it shows
// its progress line) and standard output collected. With `interruptAfterMs`
// >= 0 the program gets SIGINT that long after its start. `status` is the
// exit status, or 128 + the signal that ended it.
RunResult RunAldctlOnTerminal(const std::vector<std::string>& args,
                              const std::vector<std::string>& env, int interruptAfterMs = -1);

// A fresh temporary file name (the file is not created).
std::string TempPath(const std::string& stem);

// The whole content of a file, empty when it cannot be read.
std::string ReadFile(const std::string& path);

bool FileExists(const std::string& path);

}  // namespace aldctl_test
