// Text file streams used by the device database: a reader of words, decimal
// numbers, single characters and lines, and a writer of texts, numbers and
// characters.
//
// Both classes hold one handle (to their open file and its state) besides
// their virtual table. Files are read and written byte for byte, without any
// line-end translation, because some values in them are raw bytes.
//
// Failure handling follows the standard streams: a read that gets nothing
// usable (end of file, no digits, a number out of range for its target)
// leaves a numeric target unchanged, gives an empty text for a text target
// and puts the stream in the failed state. The failed state is sticky: every
// later read fails at once until clear() is called, so a reader of a damaged
// file runs to its end quickly on unchanged defaults instead of interpreting
// misaligned input. Test it with `if (stream)`, fail() or eof().
#pragma once

#include <cstddef>

namespace ald {

class InFileStream {
 public:
  InFileStream();
  virtual ~InFileStream();
  InFileStream(const InFileStream&) = delete;
  InFileStream& operator=(const InFileStream&) = delete;

  // Opens `path` for reading; returns 0 on success and non-zero when the
  // file cannot be opened (missing, a directory, no permission) or `mode` is
  // not a reading mode ("r", "rb", "rt"). A stream that was open is closed
  // first. Success also clears the failed and end states.
  int open(const char* path, const char* mode = "r");
  void close();
  bool is_open() const;

  // Decimal whole number after optional blanks and an optional sign.
  InFileStream& operator>>(int& value);
  InFileStream& operator>>(short& value);
  InFileStream& operator>>(unsigned short& value);

  // One blank-delimited word into a character array; the size of the array
  // bounds it. There is deliberately no overload for a bare char pointer,
  // which could not be bounded.
  template <std::size_t N>
  InFileStream& operator>>(char (&word)[N]) {
    return ReadWord(word, static_cast<int>(N));
  }

  // One blank-delimited word into `buffer` of `capacity` bytes (including
  // the terminating zero). Leading blanks are skipped; the blank after the
  // word stays in the stream. A longer word is cut to capacity - 1
  // characters and the rest of it is skipped, so the next read starts after
  // the word. No word before the end of the file: empty text, failed state.
  InFileStream& ReadWord(char* buffer, int capacity);

  // The next character (0..255), or -1 at the end of the file (which also
  // sets the failed state).
  int get();

  // The rest of the current line into `buffer` of `capacity` bytes, always
  // ending with exactly one line feed before the terminating zero, so that
  // callers can drop the last character to get the text:
  //  - a last line without a line feed is delivered with one;
  //  - a line too long for the buffer is cut to capacity - 2 characters plus
  //    the line feed, and the rest of the line is skipped, so the next read
  //    starts on the next line.
  // Nothing left in the file: empty text, failed state.
  InFileStream& gets(char* buffer, int capacity);
  template <std::size_t N>
  InFileStream& gets(char (&buffer)[N]) {
    return gets(buffer, static_cast<int>(N));
  }

  bool fail() const;
  // True once a read has met the end of the file.
  bool eof() const;
  void clear();
  explicit operator bool() const { return !fail(); }

 private:
  struct State;
  bool ReadNumber(long long min, long long max, long long& value);
  int Next();
  void Unget(int c);

  State* state_;
};

class OutFileStream {
 public:
  OutFileStream();
  virtual ~OutFileStream();  // closes the file
  OutFileStream(const OutFileStream&) = delete;
  OutFileStream& operator=(const OutFileStream&) = delete;

  // Opens `path` for writing: mode "w" (the default) replaces the file, "a"
  // appends to it ("b" and "t" may follow). Returns 0 on success, non-zero
  // when the file cannot be opened or the mode is not a writing mode.
  int open(const char* path, const char* mode = "w");
  // Returns 0 when everything written since open reached the file, non-zero
  // otherwise (also when no file was open).
  int close();
  bool is_open() const;

  // A null text writes nothing. Writing without an open file, or a failed
  // write, sets the failed state.
  OutFileStream& operator<<(const char* text);
  OutFileStream& operator<<(int value);
  OutFileStream& operator<<(unsigned value);
  OutFileStream& operator<<(char c);

  bool fail() const;
  explicit operator bool() const { return !fail(); }

 private:
  struct State;
  State* state_;
};

}  // namespace ald
