// Reading versus validating a large strategy: times read_tape over the text
// of a ~50 KB document with deep condition trees and arithmetic expressions,
// and parse_strategy over the resulting tape. Validation should cost less
// than reading.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/json/tape_reader.h"
#include "core/strategy/strategy.h"

namespace {

using lantor::strategy::parse_strategy;

lantor::json::ReadStatus read_text(const std::string& text, lantor::json::Tape& tape) {
  lantor::json::Reader r(text);
  return lantor::json::read_tape(r, 0, tape);
}

// The reader's nesting limit; the generator stays within it.
constexpr int kMaxLevel = 127;

// A small deterministic generator, so every run times the same document.
class Rng {
 public:
  std::uint32_t next(std::uint32_t bound) {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::uint32_t>(state_ >> 33) % bound;
  }

 private:
  std::uint64_t state_ = 42;
};

class Generator {
 public:
  // An operand whose outermost value sits at nesting level `level`.
  std::string operand(int level, int depth_wanted) {
    if (depth_wanted <= 0 || level + 2 > kMaxLevel) {
      switch (rng_.next(3)) {
        case 0: return "\"ind_" + std::to_string(rng_.next(40)) + "\"";
        case 1: return std::to_string(rng_.next(1000)) + "." + std::to_string(rng_.next(100));
        default: return "{\"price\": \"" + std::string(kPrices[rng_.next(7)]) + "\"}";
      }
    }
    if (rng_.next(5) == 0)
      return "{\"prev\": [" + operand(level + 2, depth_wanted - 1) + ", " + std::to_string(rng_.next(10)) +
             "]}";
    return "{\"" + std::string(kArith[rng_.next(4)]) + "\": [" + operand(level + 2, depth_wanted - 1) + ", " +
           operand(level + 2, depth_wanted / 4) + "]}";
  }

  // A condition whose object sits at nesting level `level`; `depth_wanted`
  // steers how deep its first branch goes.
  std::string condition(int level, int depth_wanted) {
    if (depth_wanted <= 0 || level + 4 > kMaxLevel) return leaf(level);
    switch (rng_.next(4)) {
      case 0: return "{\"not\": " + condition(level + 1, depth_wanted - 1) + "}";
      default: {
        std::string out = rng_.next(2) ? "{\"all\": [" : "{\"any\": [";
        int children = 2 + static_cast<int>(rng_.next(3));
        for (int i = 0; i < children; ++i) {
          if (i) out += ", ";
          out += i == 0 ? condition(level + 2, depth_wanted - 2)
                        : condition(level + 2, std::min(depth_wanted - 2, 1));
        }
        return out + "]}";
      }
    }
  }

  std::string leaf(int level) {
    switch (rng_.next(6)) {
      case 0: return "{\"between\": [" + operand(level + 2, 2) + ", 30, 70]}";
      case 1: return "{\"rising\": [" + operand(level + 2, 1) + ", " + std::to_string(rng_.next(9)) + "]}";
      case 2: return "{\"bars_since_entry\": {\"ge\": " + std::to_string(rng_.next(50)) + "}}";
      case 3: return "{\"in_position\": false}";
      default:
        return "{\"" + std::string(kCompare[rng_.next(8)]) + "\": [" +
               operand(level + 2, static_cast<int>(rng_.next(4))) + ", " + operand(level + 2, 1) + "]}";
    }
  }

 private:
  static constexpr const char* kPrices[] = {"open", "high", "low", "close", "volume", "hlc3", "ohlc4"};
  static constexpr const char* kArith[] = {"add", "sub", "mul", "div"};
  static constexpr const char* kCompare[] = {"gt", "lt", "ge",          "le",
                                             "eq", "ne", "cross_above", "cross_below"};
  Rng rng_;
};

// A document of about `target` bytes: 40 indicators and four rules, each an
// "all" of deep subtrees (one of them reaching the nesting limit, one holding
// a 60-level expression) repeated until the text is large enough.
std::string make_document(std::size_t target) {
  Generator gen;
  std::string indicators;
  for (int i = 0; i < 40; ++i) {
    if (i) indicators += ", ";
    indicators += "\"ind_" + std::to_string(i) + "\": {\"type\": \"ema\", \"params\": [" +
                  std::to_string(5 + i) + ", 2.0], \"feed\": \"kline\"}";
  }
  const char* rules[] = {"entry", "exit", "short_entry", "short_exit"};
  std::vector<std::string> bodies(4);
  for (auto& body : bodies) body = "{\"all\": [";
  // Rules are members of the document (level 2); their "all" array is level 3,
  // so subtrees start at level 4.
  bodies[0] += gen.condition(4, kMaxLevel);
  bodies[1] += "{\"gt\": [" + gen.operand(6, 60) + ", 0]}";
  bodies[2] += gen.condition(4, 24);
  bodies[3] += gen.condition(4, 24);
  std::size_t size = indicators.size();
  for (const auto& body : bodies) size += body.size();
  for (std::size_t i = 0; size < target; i = (i + 1) % 4) {
    bodies[i] += ", " + gen.condition(4, 10);
    size = indicators.size();
    for (const auto& body : bodies) size += body.size();
  }
  std::string doc =
      "{\n  \"symbol\": \"BTC-USDT\",\n  \"timeframe\": \"1h\",\n  \"indicators\": {" + indicators + "},\n";
  for (int i = 0; i < 4; ++i) doc += "  \"" + std::string(rules[i]) + "\": " + bodies[i] + "]},\n";
  doc +=
      "  \"sizing\": {\"type\": \"vol_target\", \"target_vol\": 0.15, \"lookback\": 20},\n"
      "  \"costs\": {\"maker_bps\": 2, \"taker_bps\": 5},\n"
      "  \"warmup\": 200\n}\n";
  return doc;
}

// The deepest nesting of the generated text; its strings hold no brackets.
int deepest_level(const std::string& text) {
  int level = 0, deepest = 0;
  for (char c : text) {
    if (c == '{' || c == '[') deepest = std::max(deepest, ++level);
    if (c == '}' || c == ']') --level;
  }
  return deepest;
}

template <class F>
double median_us(int runs, F&& f) {
  std::vector<double> times;
  times.reserve(runs);
  for (int i = 0; i < runs; ++i) {
    auto start = std::chrono::steady_clock::now();
    f();
    auto end = std::chrono::steady_clock::now();
    times.push_back(std::chrono::duration<double, std::micro>(end - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main() {
  const std::string text = make_document(50 * 1024);
  lantor::json::Tape tape;
  if (auto read = read_text(text, tape); !read.ok()) {
    std::fprintf(stderr, "document does not read: %s\n", read.error().message.c_str());
    return 1;
  }
  auto check = parse_strategy(tape.root());
  if (!check.ok()) {
    std::fprintf(stderr, "document does not validate: %s\n", check.error().message.c_str());
    return 1;
  }

  constexpr int kRuns = 300;
  volatile std::size_t sink = 0;
  double read_us = median_us(kRuns, [&] {
    lantor::json::Tape t;
    sink = sink + read_text(text, t).ok();
  });
  double validate_us = median_us(kRuns, [&] {
    auto spec = parse_strategy(tape.root());
    sink = sink + spec.ok();
  });

  std::printf("document: %zu bytes, nesting %d levels\n", text.size(), deepest_level(text));
  std::printf("read_tape:      %9.1f us  (%.0f MB/s)\n", read_us, text.size() / read_us);
  std::printf("parse_strategy: %9.1f us  (%.0f MB/s of source text)\n", validate_us,
              text.size() / validate_us);
  std::printf("validate/read:  %9.2f\n", validate_us / read_us);
  return validate_us < read_us ? 0 : 2;
}
