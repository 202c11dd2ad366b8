#include "aldpanel/core/linereader.h"

#include <utility>

namespace aldpanel {

LineReader::LineReader(const char* path, int limit)
    : file_(std::fopen(path, "rb")), limit_(limit < 2 ? 2 : limit) {}

LineReader::~LineReader() {
  Close();
}

void LineReader::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

LineReader::LineReader(LineReader&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)),
      limit_(other.limit_),
      failed_(other.failed_),
      head_(std::move(other.head_)),
      whole_(std::move(other.whole_)) {}

LineReader& LineReader::operator=(LineReader&& other) noexcept {
  if (this != &other) {
    if (file_ != nullptr) std::fclose(file_);
    file_ = std::exchange(other.file_, nullptr);
    limit_ = other.limit_;
    failed_ = other.failed_;
    head_ = std::move(other.head_);
    whole_ = std::move(other.whole_);
  }
  return *this;
}

bool LineReader::Next() {
  head_.clear();
  whole_.clear();
  if (file_ == nullptr) return false;
  int c;
  while ((c = std::getc(file_)) != EOF) {
    whole_.push_back(static_cast<char>(c));
    if (static_cast<int>(head_.size()) < limit_ - 1) head_.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  if (std::ferror(file_)) failed_ = true;
  return !whole_.empty();
}

}  // namespace aldpanel
