// Reads a text file line by line with a read limit: the head of a line (what
// lookups look at) is at most limit - 1 characters, but an over-long line
// stays one line; its rest is kept only for copying it whole.
#pragma once

#include <cstdio>
#include <string>

namespace aldpanel {

class LineReader {
 public:
  LineReader(const char* path, int limit);
  ~LineReader();
  LineReader(LineReader&& other) noexcept;
  LineReader& operator=(LineReader&& other) noexcept;
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // Whether the file could be opened (errno tells why not).
  bool ok() const { return file_ != nullptr; }
  // Reads the next line; false at the end of the file or on a read error.
  bool Next();
  // The first limit - 1 characters of the line, its newline included when it
  // falls within them.
  const std::string& head() const { return head_; }
  // The whole line as it stands in the file, newline included when there
  // was one.
  const std::string& whole() const { return whole_; }
  // Whether reading stopped on an error rather than at the end.
  bool failed() const { return failed_; }
  // Lets go of the file before its reader ends: Windows will not let a new
  // file take the place of one that is still open.
  void Close();

 private:
  FILE* file_ = nullptr;
  int limit_ = 0;
  bool failed_ = false;
  std::string head_;
  std::string whole_;
};

}  // namespace aldpanel
