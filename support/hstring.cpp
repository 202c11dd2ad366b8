#include "support/hstring.h"

#include <cstring>

namespace ald {

namespace {

char* Copy(const char* text, unsigned length) {
  char* p = new char[length + 1];
  if (length > 0) std::memcpy(p, text, length);
  p[length] = 0;
  return p;
}

int SameText(const char* a, unsigned aLength, const char* b, unsigned bLength) {
  return aLength == bLength && (aLength == 0 || std::memcmp(a, b, aLength) == 0) ? 1 : 0;
}

// Target of out-of-range operator[] calls.
char theScratch = 0;

}  // namespace

HString::HString(const char* text) {
  length_ = text ? static_cast<unsigned>(std::strlen(text)) : 0;
  text_ = Copy(text, length_);
}

HString::HString(char c) {
  length_ = c != 0 ? 1 : 0;
  text_ = Copy(&c, length_);
}

HString::HString(const HString& other)
    : text_(Copy(other.text_, other.length_)), length_(other.length_) {}

HString::~HString() {
  delete[] text_;
}

HString& HString::operator=(const HString& other) {
  // Copy before freeing, which also makes self-assignment harmless.
  char* p = Copy(other.text_, other.length_);
  delete[] text_;
  text_ = p;
  length_ = other.length_;
  return *this;
}

HString& HString::operator+=(const HString& other) {
  // Joined in a new buffer before the old one is freed, so appending a
  // string to itself reads its text while it is still intact.
  const unsigned length = length_ + other.length_;
  char* p = new char[length + 1];
  if (length_ > 0) std::memcpy(p, text_, length_);
  if (other.length_ > 0) std::memcpy(p + length_, other.text_, other.length_);
  p[length] = 0;
  delete[] text_;
  text_ = p;
  length_ = length;
  return *this;
}

int HString::operator==(const HString& other) const {
  return SameText(text_, length_, other.text_, other.length_);
}

int HString::operator!=(const HString& other) const {
  return !(*this == other);
}

int HString::operator==(const char* text) const {
  const char* t = text ? text : "";
  return SameText(text_, length_, t, static_cast<unsigned>(std::strlen(t)));
}

int HString::operator!=(const char* text) const {
  return !(*this == text);
}

char& HString::operator[](int index) {
  if (index < 0 || static_cast<unsigned>(index) >= length_) {
    theScratch = 0;
    return theScratch;
  }
  return text_[index];
}

char HString::operator[](int index) const {
  if (index < 0 || static_cast<unsigned>(index) >= length_) return 0;
  return text_[index];
}

HString HString::operator()(int start, int count) const {
  if (start < 0) start = 0;
  if (count <= 0 || static_cast<unsigned>(start) >= length_) return HString();
  const unsigned available = length_ - static_cast<unsigned>(start);
  const unsigned n =
      static_cast<unsigned>(count) < available ? static_cast<unsigned>(count) : available;
  return HString(Copy(text_ + start, n), n);
}

HString operator+(const HString& a, const HString& b) {
  HString result(a);
  result += b;
  return result;
}

HString operator+(const HString& a, char c) {
  return a + HString(c);
}

int operator==(const char* text, const HString& s) {
  return s == text;
}

int operator!=(const char* text, const HString& s) {
  return s != text;
}

}  // namespace ald
