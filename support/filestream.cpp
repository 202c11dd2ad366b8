#include "support/filestream.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

namespace ald {

namespace {

// Locale-independent blank test for word and number delimiting.
bool IsBlank(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsDigit(int c) {
  return c >= '0' && c <= '9';
}

// Accepts a mode whose first character is one of `kinds` and whose other
// characters are only 'b' or 't'; streams never open for update, so that a
// reader can never truncate or change its file.
bool ValidMode(const char* mode, const char* kinds) {
  if (!mode || !mode[0] || !std::strchr(kinds, mode[0])) return false;
  for (const char* p = mode + 1; *p; ++p) {
    if (*p != 'b' && *p != 't') return false;
  }
  return true;
}

bool IsDirectory(std::FILE* file) {
  struct stat st {};
  return fstat(fileno(file), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

// ---------------------------------------------------------------- reading

struct InFileStream::State {
  std::FILE* file = nullptr;
  bool failed = false;
  bool atEnd = false;
};

InFileStream::InFileStream() : state_(new State) {}

InFileStream::~InFileStream() {
  close();
  delete state_;
}

int InFileStream::open(const char* path, const char* mode) {
  close();
  state_->failed = true;
  state_->atEnd = false;
  if (!path || !ValidMode(mode ? mode : "r", "r")) return -1;
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return -1;
  // A directory opens for reading on some systems but yields no text.
  if (IsDirectory(file)) {
    std::fclose(file);
    return -1;
  }
  state_->file = file;
  state_->failed = false;
  return 0;
}

void InFileStream::close() {
  if (state_->file) std::fclose(state_->file);
  state_->file = nullptr;
}

bool InFileStream::is_open() const {
  return state_->file != nullptr;
}
bool InFileStream::fail() const {
  return state_->failed;
}
bool InFileStream::eof() const {
  return state_->atEnd;
}
void InFileStream::clear() {
  state_->failed = false;
  state_->atEnd = false;
}

int InFileStream::Next() {
  const int c = std::fgetc(state_->file);
  if (c == EOF) {
    state_->atEnd = true;
    // A read error is not a normal end of the text.
    if (std::ferror(state_->file)) state_->failed = true;
    return -1;
  }
  return c;
}

void InFileStream::Unget(int c) {
  if (c >= 0) std::ungetc(c, state_->file);
}

bool InFileStream::ReadNumber(long long min, long long max, long long& value) {
  if (!state_->file || state_->failed) {
    state_->failed = true;
    return false;
  }
  int c = Next();
  while (IsBlank(c)) c = Next();
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    c = Next();
  }
  if (!IsDigit(c)) {
    Unget(c);
    state_->failed = true;
    return false;
  }
  // All digits are consumed even when the number is too big, so the stream
  // stays aligned on the next token; the cap keeps the sum from overflowing.
  const long long cap = 100000000000LL;
  long long n = 0;
  while (IsDigit(c)) {
    if (n < cap) n = n * 10 + (c - '0');
    c = Next();
  }
  Unget(c);
  if (negative) n = -n;
  if (n < min || n > max) {
    state_->failed = true;
    return false;
  }
  value = n;
  return true;
}

InFileStream& InFileStream::operator>>(int& value) {
  long long n = 0;
  if (ReadNumber(-2147483647LL - 1, 2147483647LL, n)) value = static_cast<int>(n);
  return *this;
}

InFileStream& InFileStream::operator>>(short& value) {
  long long n = 0;
  if (ReadNumber(-32768, 32767, n)) value = static_cast<short>(n);
  return *this;
}

InFileStream& InFileStream::operator>>(unsigned short& value) {
  // A negative number is refused rather than wrapped to a large value.
  long long n = 0;
  if (ReadNumber(0, 65535, n)) value = static_cast<unsigned short>(n);
  return *this;
}

InFileStream& InFileStream::ReadWord(char* buffer, int capacity) {
  if (!buffer || capacity <= 0) {
    state_->failed = true;
    return *this;
  }
  buffer[0] = 0;
  if (!state_->file || state_->failed) {
    state_->failed = true;
    return *this;
  }
  int c = Next();
  while (IsBlank(c)) c = Next();
  if (c < 0) {
    state_->failed = true;
    return *this;
  }
  int n = 0;
  while (c >= 0 && !IsBlank(c)) {
    if (n < capacity - 1) buffer[n++] = static_cast<char>(c);
    c = Next();
  }
  buffer[n] = 0;
  Unget(c);
  return *this;
}

int InFileStream::get() {
  if (!state_->file || state_->failed) {
    state_->failed = true;
    return -1;
  }
  const int c = Next();
  if (c < 0) state_->failed = true;
  return c;
}

InFileStream& InFileStream::gets(char* buffer, int capacity) {
  if (!buffer || capacity <= 0) {
    state_->failed = true;
    return *this;
  }
  buffer[0] = 0;
  if (!state_->file || state_->failed) {
    state_->failed = true;
    return *this;
  }
  int c = Next();
  if (c < 0) {
    state_->failed = true;
    return *this;
  }
  // Room for the text, the line feed and the terminating zero.
  const int room = capacity - 2;
  int n = 0;
  while (c >= 0 && c != '\n') {
    if (n < room) buffer[n++] = static_cast<char>(c);
    c = Next();
  }
  if (capacity >= 2) buffer[n++] = '\n';
  buffer[n] = 0;
  return *this;
}

// ---------------------------------------------------------------- writing

struct OutFileStream::State {
  std::FILE* file = nullptr;
  bool failed = false;
};

OutFileStream::OutFileStream() : state_(new State) {}

OutFileStream::~OutFileStream() {
  close();
  delete state_;
}

int OutFileStream::open(const char* path, const char* mode) {
  close();
  state_->failed = true;
  if (!mode) mode = "w";
  if (!path || !ValidMode(mode, "wa")) return -1;
  std::FILE* file = std::fopen(path, mode[0] == 'a' ? "ab" : "wb");
  if (!file) return -1;
  state_->file = file;
  state_->failed = false;
  return 0;
}

int OutFileStream::close() {
  if (!state_->file) return -1;
  const bool flushed = std::fflush(state_->file) == 0;
  const bool closed = std::fclose(state_->file) == 0;
  state_->file = nullptr;
  const int result = flushed && closed && !state_->failed ? 0 : -1;
  state_->failed = false;
  return result;
}

bool OutFileStream::is_open() const {
  return state_->file != nullptr;
}
bool OutFileStream::fail() const {
  return state_->failed;
}

OutFileStream& OutFileStream::operator<<(const char* text) {
  if (!state_->file) {
    state_->failed = true;
  } else if (text && std::fputs(text, state_->file) == EOF) {
    state_->failed = true;
  }
  return *this;
}

OutFileStream& OutFileStream::operator<<(int value) {
  if (!state_->file || std::fprintf(state_->file, "%d", value) < 0) state_->failed = true;
  return *this;
}

OutFileStream& OutFileStream::operator<<(unsigned value) {
  if (!state_->file || std::fprintf(state_->file, "%u", value) < 0) state_->failed = true;
  return *this;
}

OutFileStream& OutFileStream::operator<<(char c) {
  // The character goes out as a byte, zero included (raw fields).
  if (!state_->file || std::fputc(static_cast<unsigned char>(c), state_->file) == EOF) {
    state_->failed = true;
  }
  return *this;
}

}  // namespace ald
