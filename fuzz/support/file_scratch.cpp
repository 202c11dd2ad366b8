#include "fuzz/support/file_scratch.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fuzz {

namespace {

struct Scratch {
  std::string dir;
  Scratch() {
    std::string pattern = (std::filesystem::temp_directory_path() / "aldfuzzXXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) Broken("cannot make a scratch folder");
    dir = pattern;
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
};

}  // namespace

const std::string& ScratchDir() {
  static Scratch scratch;
  return scratch.dir;
}

void WriteWholeFile(const std::string& path, const void* data, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) Broken("cannot write a scratch file");
  const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
  if (std::fclose(f) != 0 || !written) Broken("cannot write a scratch file");
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void RemoveFile(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}

void QuietTrace() {
  if (std::getenv("FUZZ_TRACE") != nullptr) return;
  std::fflush(stdout);
  if (std::freopen("/dev/null", "w", stdout) == nullptr) Broken("cannot silence the trace");
}

void Broken(const char* what) {
  std::fflush(stdout);
  std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
  std::fflush(stderr);
  abort();
}

}  // namespace fuzz
