// Skipping a value: the syntax is checked exactly as when reading it, but
// nothing is kept, and the open brackets live on an explicit stack so that
// any depth of nesting costs memory, never the call stack.
#include <cstddef>
#include <vector>

#include "core/json/reader.h"

namespace lantor::json {
namespace {

// The stack of open brackets: usual depths fit in place, and only deeper
// nesting moves it to the heap.
class BracketStack {
 public:
  bool empty() const { return size_ == 0; }
  char back() const { return at(size_ - 1); }
  void pop_back() { --size_; }
  void push_back(char c) {
    if (size_ < kInPlace) {
      in_place_[size_++] = c;
      return;
    }
    if (deeper_.size() < size_ - kInPlace + 1) deeper_.resize(size_ - kInPlace + 1);
    deeper_[size_ - kInPlace] = c;
    ++size_;
  }

 private:
  static constexpr std::size_t kInPlace = 64;
  char at(std::size_t i) const { return i < kInPlace ? in_place_[i] : deeper_[i - kInPlace]; }

  char in_place_[kInPlace];
  std::vector<char> deeper_;
  std::size_t size_ = 0;
};

}  // namespace

// One loop over an explicit stack of open containers, kept whole: it is the
// hot path of every skipped member.
// NOLINTNEXTLINE(readability-function-size)
ReadStatus Reader::skip_value() {
  BracketStack open;  // '[' or '{' for every container not yet closed
  for (;;) {
    // A value starts here.
    int c = peek_ws();
    bool scalar_done = false;
    switch (c) {
      case -1: return fail(syntax_peek_error(msg::kEofValue));
      case 'n':
        bump();
        LANTOR_TRY(read_ident("ull"));
        scalar_done = true;
        break;
      case 't':
        bump();
        LANTOR_TRY(read_ident("rue"));
        scalar_done = true;
        break;
      case 'f':
        bump();
        LANTOR_TRY(read_ident("alse"));
        scalar_done = true;
        break;
      case '"':
        LANTOR_TRY(skip_string());
        scalar_done = true;
        break;
      case '[': {
        bump();
        int next = peek_ws();
        if (next == ']') {
          bump();
          scalar_done = true;
        } else if (next < 0) {
          return fail(syntax_peek_error(msg::kEofList));
        } else {
          open.push_back('[');
        }
        break;
      }
      case '{': {
        bump();
        int next = peek_ws();
        if (next == '}') {
          bump();
          scalar_done = true;
        } else if (next == '"') {
          LANTOR_TRY(skip_string());
          LANTOR_TRY(colon());
          open.push_back('{');
        } else if (next < 0) {
          return fail(syntax_peek_error(msg::kEofObject));
        } else {
          return fail(syntax_peek_error(msg::kKeyMustBeString));
        }
        break;
      }
      default:
        if (c == '-' || (c >= '0' && c <= '9')) {
          NumberSpelling number;
          LANTOR_TRY(scan_number(number));
          scalar_done = true;
          break;
        }
        return fail(syntax_peek_error(msg::kExpectedValue));
    }
    if (!scalar_done) continue;

    // A value ended: close what it ends, or move on to the next member.
    while (!open.empty()) {
      int d = peek_ws();
      if (open.back() == '[') {
        if (d == ']') {
          bump();
          open.pop_back();
          continue;
        }
        if (d == ',') {
          bump();
          int e = peek_ws();
          if (e == ']') return fail(syntax_peek_error(msg::kTrailingComma));
          if (e < 0) return fail(syntax_peek_error(msg::kEofValue));
          break;
        }
        if (d < 0) return fail(syntax_peek_error(msg::kEofList));
        return fail(syntax_peek_error(msg::kExpectedListCommaOrEnd));
      }
      if (d == '}') {
        bump();
        open.pop_back();
        continue;
      }
      if (d == ',') {
        bump();
        int e = peek_ws();
        if (e == '"') {
          LANTOR_TRY(skip_string());
          LANTOR_TRY(colon());
          break;
        }
        if (e == '}') return fail(syntax_peek_error(msg::kTrailingComma));
        if (e < 0) return fail(syntax_peek_error(msg::kEofValue));
        return fail(syntax_peek_error(msg::kKeyMustBeString));
      }
      if (d < 0) return fail(syntax_peek_error(msg::kEofObject));
      return fail(syntax_peek_error(msg::kExpectedObjectCommaOrEnd));
    }
    if (open.empty()) return Ok{};
  }
}

}  // namespace lantor::json
