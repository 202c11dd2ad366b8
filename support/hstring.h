// Owned, heap-held character string used by the device objects for their
// identity texts (vendor code, serial number, versions) and error codes.
//
// The object is exactly a pointer to zero-terminated characters followed by
// the length, and the text pointer is never null: every constructor leaves a
// valid (possibly empty) text behind, so the inline conversion to char* can
// be handed straight to printf-style traces.
//
// Lengths count bytes. The text may hold a zero byte written through
// operator[]; copying, appending and comparing go by the length, not by the
// first zero, so such a string keeps its bytes.
#pragma once

namespace ald {

class HString {
 public:
  // A null pointer is taken as the empty text.
  HString(const char* text);
  // Character 0 (the default) gives the empty string, any other character a
  // string of that one character.
  HString(char c = 0);
  HString(const HString& other);
  ~HString();

  HString& operator=(const HString& other);
  HString& operator+=(const HString& other);

  // Whole-number truth values (1 or 0); the characters are compared.
  int operator==(const HString& other) const;
  int operator!=(const HString& other) const;
  // Comparison with a plain text; without these, s == "x" would be ambiguous
  // with the built-in pointer comparison through the char* conversion.
  int operator==(const char* text) const;
  int operator!=(const char* text) const;

  // Writable character at `index`. An index outside 0..length-1 gets a
  // scratch character (read as 0) instead of memory outside the text, so a
  // bad index can neither read nor overwrite anything. The scratch is shared
  // by all strings of the process.
  char& operator[](int index);
  char operator[](int index) const;

  // The part of `count` characters from `start`. The range is clipped to the
  // text: a negative start counts as 0, a start at or beyond the end or a
  // count below 1 gives the empty string, and a count reaching past the end
  // stops at the end.
  HString operator()(int start, int count) const;

  unsigned GetLength() const { return length_; }
  operator char*() const { return text_; }
  bool operator!() const { return length_ == 0; }

 private:
  // Takes ownership of `text`, which holds `length` characters and a zero.
  HString(char* text, unsigned length) : text_(text), length_(length) {}

  char* text_;
  unsigned length_;
};

HString operator+(const HString& a, const HString& b);
// A single character on the right would otherwise be ambiguous with the
// built-in pointer arithmetic on the char* conversion.
HString operator+(const HString& a, char c);
int operator==(const char* text, const HString& s);
int operator!=(const char* text, const HString& s);

}  // namespace ald
