// Raw bytes handed to the dispatcher directly, as no Python caller can: every
// byte value and every pair of byte values inside strings, invalid UTF-8
// included. Each text gets one response that is valid UTF-8 and valid JSON,
// and the exact one where the outcome is fixed.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/dispatch/dispatch.h"
#include "tests/support/json_reference.h"

namespace lantor {
namespace {

constexpr std::string_view kEnvelopeError =
    R"({"ok":false,"error":"invalid command envelope: expected {\"cmd\":...}"})";
constexpr std::string_view kVersion = R"({"version":"0.1.2","backtest_dep":"0.1.5"})";

std::string run(std::string_view text) {
  CommandState state;
  return dispatch(text, state);
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool valid_utf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t len;
    std::uint32_t cp;
    if (b < 0x80) {
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      len = 2, cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3, cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4, cp = b & 0x07;
    } else {
      return false;
    }
    if (i + len > s.size()) return false;
    for (std::size_t k = 1; k < len; ++k) {
      const auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += len;
  }
  return true;
}

// What a JSON string holding `raw` between its quotes must come out as when
// "unknown cmd: " echoes it, or nothing when the string cannot be read.
std::optional<std::string> echoed(std::string_view raw) {
  if (!valid_utf8(raw)) return std::nullopt;
  std::string out;
  for (char c : raw) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || c == '"') return std::nullopt;
    if (c == '\\') return std::nullopt;  // the escapes are covered elsewhere
    out += c;
  }
  return out;
}

void expect_well_formed(const std::string& text, const std::string& response) {
  EXPECT_TRUE(valid_utf8(response)) << testing::PrintToString(text);
  auto parsed = json::parse_json(response);
  EXPECT_TRUE(parsed.ok()) << testing::PrintToString(text) << " -> " << response;
}

TEST(RawBytes, EveryByteInTheCommandName) {
  for (int b = 0; b < 256; ++b) {
    const std::string raw(1, static_cast<char>(b));
    const std::string text = "{\"cmd\":\"" + raw + "\"}";
    const std::string response = run(text);
    expect_well_formed(text, response);
    const std::optional<std::string> name = echoed(raw);
    if (name) {
      std::string expected = R"({"ok":false,"error":"unknown cmd: )";
      expected += *name;
      expected += "\"}";
      EXPECT_EQ(response, expected) << b;
    } else if (b != '\\') {
      EXPECT_EQ(response, kEnvelopeError) << b;
    }
  }
}

TEST(RawBytes, EveryByteInASkippedMember) {
  for (int b = 0; b < 256; ++b) {
    const std::string text = std::string("{\"cmd\":\"version\",\"x\":\"") + static_cast<char>(b) + "\"}";
    const std::string response = run(text);
    expect_well_formed(text, response);
    if (b < 0x20 || b == '"' || b == '\\') {
      EXPECT_EQ(response, kEnvelopeError) << b;
    } else if (b < 0x80) {
      EXPECT_EQ(response, kVersion) << b;
    } else {
      // A skipped value is only syntax-checked: a stray non-ASCII byte may
      // pass unseen, but it never reaches the response.
      EXPECT_TRUE(response == kVersion || response == kEnvelopeError) << b;
    }
  }
}

TEST(RawBytes, EveryPairOfBytesInTheCommandName) {
  for (int hi = 0; hi < 256; ++hi) {
    for (int lo = 0; lo < 256; ++lo) {
      std::string raw;
      raw += static_cast<char>(hi);
      raw += static_cast<char>(lo);
      const std::string text = "{\"cmd\":\"" + raw + "\"}";
      const std::string response = run(text);
      ASSERT_TRUE(valid_utf8(response)) << hi << " " << lo;
      ASSERT_TRUE(json::parse_json(response).ok()) << hi << " " << lo << " -> " << response;
      const std::optional<std::string> name = echoed(raw);
      if (name) {
        ASSERT_EQ(response, R"({"ok":false,"error":"unknown cmd: )" + *name + "\"}") << hi << " " << lo;
      } else if (raw.find('\\') == std::string::npos) {
        ASSERT_EQ(response, kEnvelopeError) << hi << " " << lo;
      }
    }
  }
}

TEST(RawBytes, MalformedUtf8Sequences) {
  const std::string_view bad[] = {
      "\xC0\x80",          // overlong NUL
      "\xC1\xBF",          // overlong
      "\xE0\x80\xAF",      // overlong slash
      "\xED\xA0\x80",      // encoded high surrogate
      "\xED\xBF\xBF",      // encoded low surrogate
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\xF5\x80\x80\x80",  // never a lead byte
      "\xE2\x82",          // truncated
      "\xF0\x9F\x98",      // truncated
      "\x80",              // lone continuation
      "\xFE\xFF",          // never UTF-8
      "a\xFF"
      "b",
  };
  for (std::string_view raw : bad) {
    const std::string r(raw);
    // Where the string is read, the text is refused.
    for (const std::string& text :
         {"{\"cmd\":\"" + r + "\"}", "{\"cmd\":\"version\",\"" + r + "\":1}", "{\"cmd\":\"version\"}" + r}) {
      const std::string response = run(text);
      expect_well_formed(text, response);
      EXPECT_EQ(response, kEnvelopeError) << testing::PrintToString(text);
    }
    // In the strategy the body reader refuses it, at the first bad byte.
    const std::string compile = "{\"cmd\":\"compile\",\"spec\":{\"strategy\":\"" + r +
                                "\",\"target\":{\"kind\":\"wasm\"}},\"dry_run\":true}";
    const std::string response = run(compile);
    expect_well_formed(compile, response);
    EXPECT_TRUE(response.starts_with(
        R"({"ok":false,"error":"bad compile request: invalid unicode code point at line 1 column )"))
        << testing::PrintToString(compile) << " -> " << response;
    // In a skipped value it is at most passed over.
    const std::string skipped = "{\"cmd\":\"version\",\"x\":\"" + r + "\"}";
    const std::string answer = run(skipped);
    expect_well_formed(skipped, answer);
    EXPECT_TRUE(answer == kVersion || answer == kEnvelopeError) << testing::PrintToString(skipped);
  }
  // The largest and smallest sequences of each length pass through unchanged.
  for (std::string_view good : {"\xC2\x80", "\xDF\xBF", "\xE0\xA0\x80", "\xEF\xBF\xBF", "\xF0\x90\x80\x80",
                                "\xF4\x8F\xBF\xBF", "\xEE\x80\x80"}) {
    EXPECT_EQ(run("{\"cmd\":\"" + std::string(good) + "\"}"),
              R"({"ok":false,"error":"unknown cmd: )" + std::string(good) + "\"}");
  }
}

TEST(RawBytes, NulBytesOutsideStrings) {
  using namespace std::string_literals;
  for (const std::string& text : {"\0"s, "{\"cmd\":\"version\"}\0"s, "\0{\"cmd\":\"version\"}"s,
                                  "{\"cmd\"\0:\"version\"}"s, "{\"cmd\":\"version\",\"x\":[1,\0]}"s}) {
    EXPECT_EQ(run(text), kEnvelopeError) << testing::PrintToString(text);
  }
  // An escaped NUL is a character like any other and is echoed escaped.
  EXPECT_EQ(run(R"({"cmd":"a\u0000b"})"), R"({"ok":false,"error":"unknown cmd: a\u0000b"})");
}

}  // namespace
}  // namespace lantor
