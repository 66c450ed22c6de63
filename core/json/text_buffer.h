// Text appended to a std::string whose storage is grown ahead of the writes,
// so that the many small pieces of a canonical text cost no library call
// each. finish() trims the string to what was written. The string's size is
// grown in steps within the storage reserved, so that only bytes about to be
// written are first cleared, not the whole room.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include "core/base/short_text.h"

namespace lantor::json {

class TextBuffer {
 public:
  // With storage for `room` more bytes at first.
  TextBuffer(std::string& text, std::size_t room) : text_(text), used_(text.size()) {
    text_.reserve(used_ + room);
    sync();
  }
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;

  void finish() { text_.resize(used_); }

  std::size_t size() const { return used_; }
  std::string_view view() const { return {data_, used_}; }
  char* at(std::size_t offset) { return data_ + offset; }
  // Forgets what was written from `size` on.
  void truncate(std::size_t size) { used_ = size; }

  void put(char c) {
    room(1);
    data_[used_++] = c;
  }
  void put(const char* p, std::size_t n) {
    room(n);
    copy_text(data_ + used_, p, n);
    used_ += n;
  }
  void put(std::string_view s) { put(s.data(), s.size()); }
  // Room for `n` bytes, counted as written: the caller writes them there.
  char* extend(std::size_t n) {
    room(n);
    char* at = data_ + used_;
    used_ += n;
    return at;
  }
  // `"s"`, for a string that holds nothing JSON text must escape.
  void quoted(std::string_view s) {
    room(s.size() + 2);
    char* d = data_ + used_;
    d[0] = '"';
    copy_text(d + 1, s.data(), s.size());
    d[s.size() + 1] = '"';
    used_ += s.size() + 2;
  }

  // `,"s":`, or `"s":` for an object's first member (`comma` false), for a
  // name that holds nothing JSON text must escape: one check for room.
  void member_name(std::string_view s, bool comma) {
    room(s.size() + 4);
    char* d = data_ + used_;
    *d = ',';
    d += comma ? 1 : 0;
    d[0] = '"';
    copy_text(d + 1, s.data(), s.size());
    d[s.size() + 1] = '"';
    d[s.size() + 2] = ':';
    used_ += s.size() + 3 + (comma ? 1 : 0);
  }

  // The string itself, trimmed to what was written, for the library's
  // formatting calls to append to; resume() takes it back.
  std::string& suspend() {
    text_.resize(used_);
    return text_;
  }
  void resume() {
    used_ = text_.size();
    sync();
  }

 private:
  void room(std::size_t n) {
    if (limit_ - used_ < n) [[unlikely]]
      grow(n);
  }
  [[gnu::noinline]] void grow(std::size_t n) {
    std::size_t size = std::max({text_.size() * 2, used_ + n, std::size_t{256}});
    // Within the capacity reserved, while it suffices: past it the string
    // would be copied and its memory doubled.
    if (used_ + n <= text_.capacity()) size = std::min(size, text_.capacity());
    text_.resize(size);
    sync();
  }
  // The string's storage and size, kept here so that writing a byte needs
  // no look through the string.
  void sync() {
    data_ = text_.data();
    limit_ = text_.size();
  }

  std::string& text_;
  std::size_t used_;
  char* data_ = nullptr;
  std::size_t limit_ = 0;
};

}  // namespace lantor::json
