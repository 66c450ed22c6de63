#include "core/diagnose/text_walk.h"

#include "core/json/reader.h"

namespace lantor::diagnose {
namespace {

// Reads as leniently as Reader::skip_value, which is how the readers pass
// over a value they do not look into: a text any reader reads past, the walk
// reads past too, so the places of what follows are found.
class Walker {
 public:
  Walker(std::string_view text, WalkListener& listener, std::uint64_t& steps)
      : reader_(text), listener_(listener), steps_(steps) {}

  json::Reader& reader() { return reader_; }
  std::vector<WalkFrame>& frames() { return frames_; }

  // Reads the value at the reader's position as the last frame; stops at the
  // first failure, leaving the frames open.
  json::ReadStatus value(int depth) {
    const int c = reader_.peek_ws();
    ++steps_;
    {
      WalkFrame& frame = frames_.back();
      frame.start = reader_.offset();
      frame.kind = c == '{'   ? WalkFrame::Kind::Object
                   : c == '[' ? WalkFrame::Kind::Array
                              : WalkFrame::Kind::Scalar;
    }
    listener_.began(frames_);
    if ((c == '{' || c == '[') && depth + 1 <= json::kMaxDepth) {
      LANTOR_TRY(c == '{' ? object(depth) : array(depth));
    } else {
      // Scalars, and containers too deep to read, are skipped whole.
      LANTOR_TRY(reader_.skip_value());
    }
    frames_.back().end = reader_.offset();
    listener_.ended(frames_);
    frames_.pop_back();
    return Ok{};
  }

 private:
  WalkFrame& child_of_last() {
    const std::size_t index = frames_.back().count++;
    frames_.emplace_back();
    frames_.back().index = index;
    return frames_.back();
  }

  json::ReadStatus object(int depth) {
    LANTOR_TRY(reader_.open(depth));
    bool first = true;
    for (;;) {
      LANTOR_ASSIGN_OR_RETURN(const bool more, reader_.key_start(first));
      if (!more) break;
      const std::size_t name_start = reader_.offset();
      LANTOR_TRY(reader_.skip_value());
      WalkFrame& member = child_of_last();
      member.name_start = name_start;
      member.name_end = reader_.offset();
      member.name = decoded_string(reader_.text().substr(name_start, member.name_end - name_start));
      listener_.named(frames_);
      LANTOR_TRY(reader_.colon());
      LANTOR_TRY(value(depth + 1));
    }
    return reader_.end_object();
  }

  json::ReadStatus array(int depth) {
    LANTOR_TRY(reader_.open(depth));
    bool first = true;
    for (;;) {
      LANTOR_ASSIGN_OR_RETURN(const bool more, reader_.next_element(first));
      if (!more) break;
      child_of_last();
      LANTOR_TRY(value(depth + 1));
    }
    return reader_.end_array();
  }

  json::Reader reader_;
  WalkListener& listener_;
  std::uint64_t& steps_;
  std::vector<WalkFrame> frames_;
};

}  // namespace

std::size_t WalkFrame::token_length() const {
  if (kind != Kind::Scalar) return 1;
  return end == kNoPlace ? 0 : end - start;
}

std::vector<WalkFrame> walk_text(std::string_view text, int depth, WalkListener& listener,
                                 std::uint64_t& steps, std::size_t* failed_at) {
  Walker walker(text, listener, steps);
  if (walker.reader().peek_ws() < 0) return {};
  walker.frames().emplace_back();
  const json::ReadStatus walked = walker.value(depth);
  if (!walked.ok() && failed_at != nullptr) *failed_at = walked.error().offset;
  return std::move(walker.frames());
}

std::string decoded_string(std::string_view quoted) {
  json::Reader reader(quoted);
  std::string out;
  if (!reader.read_string(out).ok()) out.assign(quoted.substr(1, quoted.size() - 2));
  return out;
}

std::string pointer_of(WalkPath path) {
  std::string out;
  for (std::size_t i = 1; i < path.size(); ++i) {
    if (path[i].is_member()) {
      append_pointer_token(out, path[i].name);
    } else {
      append_pointer_token(out, std::to_string(path[i].index));
    }
  }
  return out;
}

void append_pointer_token(std::string& out, std::string_view token) {
  out += '/';
  for (const char c : token) {
    if (c == '~') {
      out += "~0";
    } else if (c == '/') {
      out += "~1";
    } else {
      out += c;
    }
  }
}

}  // namespace lantor::diagnose
