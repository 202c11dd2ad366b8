// Splits one fuzz input into the values a target needs: small numbers that
// pick a case, and byte runs that play the part of answers or file text.
// Running out of input yields zeros and empty runs, never an error, so every
// input means something.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Empty() const { return pos_ >= size_; }
  size_t Remaining() const { return size_ - pos_; }

  uint8_t Byte() { return Empty() ? 0 : data_[pos_++]; }
  uint16_t Word() {
    uint16_t low = Byte();
    return static_cast<uint16_t>(low | (Byte() << 8));
  }
  // A number in [0, count), count > 0.
  unsigned Pick(unsigned count) { return count == 0 ? 0 : Word() % count; }
  bool Flag() { return (Byte() & 1) != 0; }

  // Up to `max` bytes, the length taken from the input first.
  std::vector<uint8_t> Bytes(size_t max) {
    size_t n = max == 0 ? 0 : Word() % (max + 1);
    if (n > Remaining()) n = Remaining();
    std::vector<uint8_t> out(data_ + pos_, data_ + pos_ + n);
    pos_ += n;
    return out;
  }
  // Everything that is left.
  std::vector<uint8_t> Rest() {
    std::vector<uint8_t> out(data_ + pos_, data_ + size_);
    pos_ = size_;
    return out;
  }
  std::string RestAsText() {
    std::string out(reinterpret_cast<const char*>(data_ + pos_), size_ - pos_);
    pos_ = size_;
    return out;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace fuzz
