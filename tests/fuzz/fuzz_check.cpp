// libFuzzer harness over the strategy checker and the located compile
// failure. Every input is read three ways: as a strategy document
// (check_strategy), as the strategy of a dry-run compile command that wraps
// it, and as a command of its own (locate_compile_failure on both). The
// wrapped command is dispatched too, a dry run that touches no file; the
// input as a command is never dispatched.
//
// Properties, for every finding:
//   - its offset lies in the text, starts a character when the text is
//     UTF-8, and its token (offset, length) ends inside the text on a
//     character boundary; its line and columns are those of its offset,
//     counted here afresh;
//   - its pointer resolves in the document, to a value whose text holds the
//     offset (the root "" anywhere): for a text that breaks off, among the
//     values read before the break;
// and for each reading:
//   - the work counted stays within a fixed multiple of the text's size;
//   - check orders its findings by offset;
//   - for a strategy that is one JSON value, check agrees with the dry run:
//     no error when the compile succeeds, else the compile's own message
//     (after its prefix) among its errors, and the located failure of the
//     wrapped command carries a message the response holds; none for a
//     compile that succeeds.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/base/utf8.h"
#include "core/diagnose/diagnose.h"
#include "core/dispatch/dispatch.h"
#include "core/json/reader.h"
#include "core/request/tables.h"
#include "tests/support/json_reference.h"

namespace {

using lantor::diagnose::Finding;
using lantor::diagnose::Work;

[[noreturn]] void violation(const char* what, std::string_view text, const std::string& detail) {
  std::fprintf(stderr, "property violated: %s\ntext (%zu bytes): %.*s\ndetail: %.*s\n", what, text.size(),
               static_cast<int>(text.size() > 4000 ? 4000 : text.size()), text.data(),
               static_cast<int>(detail.size() > 4000 ? 4000 : detail.size()), detail.data());
  std::abort();
}

std::string describe(const Finding& f) {
  return std::string(lantor::diagnose::code_info(f.code).name) + " at " + std::to_string(f.offset) + "+" +
         std::to_string(f.length) + " (" + std::to_string(f.position.line) + ":" +
         std::to_string(f.position.char_column) + ") " + f.pointer + ": " + f.message;
}

// The levels a strategy document has open around it, read alone as in a
// compile command.
constexpr int kStrategyDepth = static_cast<int>(std::size(lantor::request::kStrategyPath));

// The pointers of at most this many findings of a text are resolved, each at
// the cost of a walk over the text.
constexpr std::size_t kResolved = 64;

// The spans [begin, end] of the values a JSON Pointer names in a text (a
// member's from its name), found by a reading of its own that passes over
// what Reader::skip_value passes over; a value the text breaks off in ends at
// the text's end.
class PointerSpans {
 public:
  PointerSpans(std::string_view text, std::string_view pointer) : reader_(text), text_(text) {
    if (pointer.empty()) return;
    for (std::size_t at = 1;;) {
      const std::size_t slash = pointer.find('/', at);
      std::string token;
      for (std::size_t i = at; i < (slash == std::string_view::npos ? pointer.size() : slash); ++i) {
        if (pointer[i] == '~' && i + 1 < pointer.size()) {
          token += pointer[i + 1] == '1' ? '/' : '~';
          ++i;
        } else {
          token += pointer[i];
        }
      }
      tokens_.push_back(std::move(token));
      if (slash == std::string_view::npos) break;
      at = slash + 1;
    }
  }

  std::vector<std::pair<std::size_t, std::size_t>> find(int depth) {
    if (reader_.peek_ws() >= 0) (void)value(0, reader_.offset(), depth);
    return std::move(spans_);
  }

 private:
  // Reads a value that matched `matched` tokens; false once the text breaks.
  bool value(std::size_t matched, std::size_t begin, int depth) {
    const bool whole = matched == tokens_.size();
    const std::size_t at = spans_.size();
    if (whole) spans_.emplace_back(begin, text_.size());
    const int c = reader_.peek_ws();
    bool ok = false;
    if (matched == kNone || whole || (c != '{' && c != '[') || depth + 1 > lantor::json::kMaxDepth) {
      ok = reader_.skip_value().ok();
    } else {
      ok = c == '{' ? object(matched, depth) : array(matched, depth);
    }
    if (ok && whole) spans_[at].second = reader_.offset();
    return ok;
  }

  bool object(std::size_t matched, int depth) {
    if (!reader_.open(depth).ok()) return false;
    bool first = true;
    std::string name;
    for (;;) {
      auto more = reader_.key_start(first);
      if (!more.ok()) return false;
      if (!*more) break;
      const std::size_t name_start = reader_.offset();
      if (!reader_.skip_value().ok()) return false;
      // A name that does not decode stands as written.
      const std::string_view quoted = text_.substr(name_start, reader_.offset() - name_start);
      lantor::json::Reader name_reader(quoted);
      if (!name_reader.read_string(name).ok()) name.assign(quoted.substr(1, quoted.size() - 2));
      const bool named = name == tokens_[matched];
      if (!reader_.colon().ok()) {
        // A member named, its value never begun.
        if (named && matched + 1 == tokens_.size()) spans_.emplace_back(name_start, text_.size());
        return false;
      }
      if (!value(named ? matched + 1 : kNone, name_start, depth + 1)) return false;
    }
    return reader_.end_object().ok();
  }

  bool array(std::size_t matched, int depth) {
    if (!reader_.open(depth).ok()) return false;
    bool first = true;
    for (std::size_t i = 0;; ++i) {
      auto more = reader_.next_element(first);
      if (!more.ok()) return false;
      if (!*more) break;
      const bool named = tokens_[matched] == std::to_string(i);
      if (!value(named ? matched + 1 : kNone, reader_.offset(), depth + 1)) return false;
    }
    return reader_.end_array().ok();
  }

  static constexpr std::size_t kNone = SIZE_MAX;
  lantor::json::Reader reader_;
  std::string_view text_;
  std::vector<std::string> tokens_;
  std::vector<std::pair<std::size_t, std::size_t>> spans_;
};

bool is_continuation(std::string_view text, std::size_t at) {
  return at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
}

void check_place(std::string_view text, int depth, const Finding& f, bool utf8, bool resolve) {
  if (f.offset > text.size() || f.length > text.size() - f.offset)
    violation("place outside the text", text, describe(f));
  if (utf8 && (is_continuation(text, f.offset) || is_continuation(text, f.offset + f.length)))
    violation("place inside a character", text, describe(f));
  if (!resolve) return;
  std::size_t line = 1;
  std::size_t line_start = 0;
  for (std::size_t i = 0; i < f.offset; ++i)
    if (text[i] == '\n') {
      ++line;
      line_start = i + 1;
    }
  std::size_t chars = 1;
  for (std::size_t i = line_start; i < f.offset; ++i) chars += is_continuation(text, i) ? 0 : 1;
  if (f.position.line != line || f.position.byte_column != f.offset - line_start + 1 ||
      (utf8 && f.position.char_column != chars))
    violation("line and column", text, describe(f));
  if (f.pointer.empty()) return;
  for (const auto& [begin, end] : PointerSpans(text, f.pointer).find(depth))
    if (begin <= f.offset && f.offset <= end) return;
  violation("pointer does not hold the place", text, describe(f));
}

void check_work(std::string_view text, const Work& work, const char* what) {
  const std::uint64_t n = text.size();
  if (work.steps > 4 * (n + 1) || work.comparisons > 128 * n + 65536 + 4096 ||
      work.written > 72 * n + 65536 + 4096)
    violation(what, text,
              "steps " + std::to_string(work.steps) + ", comparisons " + std::to_string(work.comparisons) +
                  ", written " + std::to_string(work.written));
}

// The error text of a response, or none for a success.
std::optional<std::string> response_error(const std::string& response) {
  lantor::Result<lantor::json::Value> v = lantor::json::parse_json(response);
  if (!v.ok() || !v->is_object()) violation("response is not a JSON object", response, "");
  const lantor::json::Value* error = v->as_object().find("error");
  if (error == nullptr) return std::nullopt;
  return error->as_string();
}

std::optional<std::string> located(std::string_view command, bool utf8) {
  Work work;
  const std::optional<Finding> found = lantor::diagnose::locate_compile_failure(command, &work);
  check_work(command, work, "work of locate beyond its bound");
  if (!found) return std::nullopt;
  check_place(command, 0, *found, utf8, true);
  return found->message;
}

// The strategy read as a compile reads it: one JSON value two levels deep.
bool is_one_value(std::string_view text) {
  lantor::json::Reader reader(text);
  return lantor::json::read_value(reader, kStrategyDepth).ok() && reader.finish().ok();
}

void agree_with_compile(std::string_view text, const std::vector<Finding>& findings, bool utf8) {
  const std::string command =
      R"({"cmd":"compile","dry_run":true,"spec":{"target":{"kind":"wasm"},"strategy":)" + std::string(text) +
      "}}";
  lantor::CommandState state;
  const std::optional<std::string> error = response_error(lantor::dispatch(command, state));
  const Finding* checked = nullptr;
  const Finding* compiled = nullptr;  // the error whose message the compile answers
  for (const Finding& f : findings) {
    if (f.severity != lantor::diagnose::Severity::Error) continue;
    checked = &f;
    if (error && compiled == nullptr && error->find(f.message) != std::string::npos) compiled = &f;
  }
  const std::optional<std::string> where = located(command, utf8);
  if (!error) {
    if (checked != nullptr) violation("check finds an error in what compiles", text, describe(*checked));
    if (where) violation("a failure located in what compiles", text, *where);
    return;
  }
  if (checked == nullptr) violation("check finds no error in what a compile refuses", text, *error);
  if (compiled == nullptr)
    violation("none of check's errors is the compile's", text, *error + " / " + describe(*checked));
  if (!where || error->find(*where) == std::string::npos)
    violation("the located failure is not the compile's", text, *error + " / " + where.value_or("none"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const bool utf8 = lantor::is_valid_utf8(text);

  Work work;
  const std::vector<Finding> findings = lantor::diagnose::check_strategy(text, &work);
  check_work(text, work, "work of check beyond its bound");
  for (std::size_t i = 0; i < findings.size(); ++i) {
    const Finding& f = findings[i];
    if (i > 0 && f.offset < findings[i - 1].offset) violation("findings out of order", text, describe(f));
    check_place(text, kStrategyDepth, f, utf8,
                i < kResolved || f.severity == lantor::diagnose::Severity::Error);
  }

  if (is_one_value(text)) agree_with_compile(text, findings, utf8);
  (void)located(text, utf8);
  return 0;
}
