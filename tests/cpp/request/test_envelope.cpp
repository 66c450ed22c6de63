#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/request/envelope.h"

namespace lantor {
namespace {

struct EnvelopeCase {
  const char* text;
  std::optional<std::string> cmd;
};

class EnvelopeTest : public ::testing::TestWithParam<EnvelopeCase> {};

TEST_P(EnvelopeTest, ReadsTheCommandName) {
  EXPECT_EQ(read_envelope(GetParam().text), GetParam().cmd) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EnvelopeTest,
    ::testing::Values(
        EnvelopeCase{R"({"cmd":"version"})", "version"},
        EnvelopeCase{" \t\r\n{ \"cmd\" : \"reset\" }\n ", "reset"},
        EnvelopeCase{R"({"cmd":"version","extra":[1,2]})", "version"},
        EnvelopeCase{R"({"a":{"b":[1,{"c":null}]},"cmd":"x","d":-1.5e3})", "x"},
        EnvelopeCase{R"({"\u0063md":"a\"b"})", "a\"b"},  // names compared after unescaping
        EnvelopeCase{R"(["version"])", "version"}, EnvelopeCase{R"([ "compile" ] )", "compile"},
        EnvelopeCase{R"({"cmd":"VERSION"})", "VERSION"},
        // Semantic checks belong to the body readers, not the envelope.
        EnvelopeCase{R"({"cmd":"compile","n":1e400,"s":"\udc00"})", "compile"},
        EnvelopeCase{R"({"cmd":5})", std::nullopt}, EnvelopeCase{R"({"cmd":null})", std::nullopt},
        EnvelopeCase{R"({"cmd":"version","cmd":"version"})", std::nullopt},
        EnvelopeCase{R"({})", std::nullopt}, EnvelopeCase{R"([])", std::nullopt},
        EnvelopeCase{"", std::nullopt}, EnvelopeCase{"   ", std::nullopt},
        EnvelopeCase{R"({"cmd":"version"}x)", std::nullopt},
        EnvelopeCase{R"({"cmd":"version"} {})", std::nullopt}, EnvelopeCase{R"(["version",])", std::nullopt},
        EnvelopeCase{R"(["version","x"])", std::nullopt}, EnvelopeCase{R"([5])", std::nullopt},
        EnvelopeCase{R"("version")", std::nullopt}, EnvelopeCase{R"({"cmd":"version",})", std::nullopt},
        EnvelopeCase{R"({"cmd":"version","x":[1,]})", std::nullopt},
        EnvelopeCase{R"({"cmd":"version","x":tru})", std::nullopt},
        EnvelopeCase{R"({"cmd":"version","x":01})", std::nullopt},
        EnvelopeCase{R"({"cmd":"version","x":"\q"})", std::nullopt},
        EnvelopeCase{R"({"cmd":"version","x":{"a" 1}})", std::nullopt},
        EnvelopeCase{R"({"cmd":"version","x":[1 2]})", std::nullopt},
        EnvelopeCase{R"({"cmd":"version")", std::nullopt}, EnvelopeCase{R"({"cmd":"ver)", std::nullopt}));

TEST(Envelope, DeepNestingAsTheWholeTextFailsWithoutRecursion) {
  EXPECT_EQ(read_envelope(std::string(10'000'000, '[')), std::nullopt);
}

TEST(Envelope, DeepNestingInASkippedMemberIsAccepted) {
  const std::size_t depth = 10'000'000;
  std::string text = R"({"cmd":"version","x":)";
  text.append(depth, '[');
  text.append(depth, ']');
  text += '}';
  EXPECT_EQ(read_envelope(text), "version");
}

}  // namespace
}  // namespace lantor
