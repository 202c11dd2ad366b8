// What the file targets share: a scratch folder of their own per process,
// whole files written to it and read back, and the library's trace kept off
// the fuzzer's output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// A fresh folder under the system's temporary folder, made on first use and
// removed when the process ends; the same folder for the whole process, so
// every execution reuses the same file names.
const std::string& ScratchDir();

// Writes `size` bytes to `path`, replacing it; aborts when it cannot, since
// a target that silently fuzzed a missing file would test nothing.
void WriteWholeFile(const std::string& path, const void* data, size_t size);
// The bytes of `path`, empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);
void RemoveFile(const std::string& path);

// Sends standard output (the library's trace) to /dev/null, unless
// FUZZ_TRACE is set in the environment, for looking at one input by hand.
void QuietTrace();

// Stops the run with a message on standard error: a broken invariant is a
// finding just like a crash.
[[noreturn]] void Broken(const char* what);

}  // namespace fuzz
