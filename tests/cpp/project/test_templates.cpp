// The template texts and the placeholder renderer.
#include <gtest/gtest.h>

#include <string>

#include "core/base/sha256.h"
#include "core/project/retired_texts.h"
#include "core/project/templates.h"
#include "core/request/tables.h"

namespace lantor {
namespace {

struct TextRow {
  const char* name;
  std::string_view text;
  bool ends_with_line_feed;
};

class TemplateText : public ::testing::TestWithParam<TextRow> {};

// Cargo and rustc read these files; each ends as its kind of file does and
// holds neither carriage returns nor tabs.
TEST_P(TemplateText, EndsAsItsFileDoes) {
  const TextRow& row = GetParam();
  EXPECT_EQ(row.text.back() == '\n', row.ends_with_line_feed) << row.name;
  EXPECT_EQ(row.text.find('\r'), std::string_view::npos) << row.name;
  EXPECT_EQ(row.text.find('\t'), std::string_view::npos) << row.name;
}

INSTANTIATE_TEST_SUITE_P(Texts, TemplateText,
                         ::testing::Values(TextRow{"wasm manifest", kWasmManifest, false},
                                           TextRow{"binary manifest", kBinaryManifest, false},
                                           TextRow{"no_std manifest", kNoStdManifest, false},
                                           TextRow{"wasm lib.rs", kWasmLibSource, true},
                                           TextRow{"binary main.rs", kBinaryMainSource, true},
                                           TextRow{"no_std lib.rs", kNoStdLibSource, true},
                                           TextRow{"retired no_std lib.rs", kRetiredNoStdLibSource, true},
                                           TextRow{"wasm config", kWasmBuildConfig, true},
                                           TextRow{"release profile", kReleaseProfile, true},
                                           TextRow{"size profile", kSizeProfile, true}),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& c : name)
                             if (c == ' ' || c == '.') c = '_';
                           return name;
                         });

TEST(Templates, ManifestsCarryExactlyTheirPlaceholders) {
  for (std::string_view manifest : {kWasmManifest, kBinaryManifest, kNoStdManifest}) {
    EXPECT_TRUE(manifest.ends_with("\n\n{{profile}}"));
    EXPECT_NE(manifest.find("name = \"{{crate_name}}\"\n"), std::string_view::npos);
  }
  EXPECT_NE(kWasmManifest.find("lantor-backtest = \"{{backtest_dep}}\"\n"), std::string_view::npos);
  EXPECT_NE(kBinaryManifest.find("lantor-backtest = \"{{backtest_dep}}\"\n"), std::string_view::npos);
  EXPECT_EQ(kNoStdManifest.find("backtest"), std::string_view::npos);
  EXPECT_NE(kWasmManifest.find("crate-type = [\"cdylib\"]"), std::string_view::npos);
  EXPECT_NE(kNoStdManifest.find("crate-type = [\"staticlib\"]"), std::string_view::npos);
  EXPECT_EQ(kBinaryManifest.find("crate-type"), std::string_view::npos);
  // Sources and configurations are copied unchanged: no placeholders in them.
  for (std::string_view fixed : {kWasmLibSource, kBinaryMainSource, kNoStdLibSource, kWasmBuildConfig})
    EXPECT_EQ(fixed.find("{{"), std::string_view::npos);
  EXPECT_NE(kBinaryMainSource.find("println!(\"lantor strategy for {symbol}\");"), std::string_view::npos);
}

TEST(Templates, NoStdSourceExportsItsCInterface) {
  // Exported with the C ABI under their own names, so that the linker keeps
  // them, and the embedded text with them, and C can call them.
  EXPECT_NE(
      kNoStdLibSource.find("#[must_use]\n#[no_mangle]\npub extern \"C\" fn strategy_spec_len() -> usize {\n"),
      std::string_view::npos);
  EXPECT_NE(kNoStdLibSource.find(
                "#[must_use]\n#[no_mangle]\npub extern \"C\" fn strategy_spec_ptr() -> *const u8 {\n"),
            std::string_view::npos);
  // The text earlier versions wrote, kept to recognise their projects.
  EXPECT_EQ(sha256_hex(kRetiredNoStdLibSource),
            "d329449d1132828f241dda188bb2468a8499187fd27aab0326628cae1244b4cf");
}

TEST(Templates, SourceAndConfigFollowTheTarget) {
  EXPECT_EQ(main_source_path(Target::Kind::Wasm), "src/lib.rs");
  EXPECT_EQ(main_source_path(Target::Kind::Binary), "src/main.rs");
  EXPECT_EQ(main_source_path(Target::Kind::NoStd), "src/lib.rs");
  EXPECT_EQ(main_source(Target::Kind::NoStd), kNoStdLibSource);
  EXPECT_FALSE(build_config(Target{Target::Kind::Binary, ""}).has_value());
  EXPECT_EQ(build_config(Target{Target::Kind::Wasm, "ignored"}), std::string(kWasmBuildConfig));
  EXPECT_EQ(build_config(Target{Target::Kind::NoStd, "thumbv7em-none-eabihf"}),
            "[build]\ntarget = \"thumbv7em-none-eabihf\"\n");
  for (std::string_view mcu : request::kMcuAllowlist)
    EXPECT_EQ(build_config(Target{Target::Kind::NoStd, std::string(mcu)})->size(), 20 + mcu.size());
  EXPECT_EQ(profile_section(OptLevel::Debug), "");
  EXPECT_EQ(profile_section(OptLevel::Release), "[profile.release]\nlto = true\ncodegen-units = 1\n");
  EXPECT_TRUE(profile_section(OptLevel::Size).starts_with("[profile.release]\nopt-level = \"z\"\n"));
}

struct RenderRow {
  const char* text;
  std::initializer_list<TemplatePair> pairs;
  const char* expected;
};

TEST(RenderTemplate, ReplacesPairsInOrderWithoutOverlap) {
  const RenderRow rows[] = {
      {"{{a}}-{{a}}", {{"a", "x"}}, "x-x"},
      {"{{a}}{{b}}", {{"a", "1"}, {"b", "2"}}, "12"},
      // Later pairs see the result of earlier ones.
      {"{{a}}", {{"a", "{{b}}"}, {"b", "z"}}, "z"},
      // ... but not the other way round.
      {"{{b}}", {{"a", "q"}, {"b", "{{a}}"}}, "{{a}}"},
      // Scanning resumes after the inserted value, so it is not rescanned.
      {"{{a}}", {{"a", "{{a}}"}}, "{{a}}"},
      {"{{{a}}}", {{"a", "1"}}, "{1}"},
      {"{{a}}}}", {{"a", "1"}}, "1}}"},
      {"{{aa}} {a} {{ a }}", {{"a", "1"}}, "{{aa}} {a} {{ a }}"},
      {"x{{a}}", {{"a", ""}}, "x"},
      {"", {{"a", "1"}}, ""},
  };
  for (const RenderRow& row : rows) EXPECT_EQ(render_template(row.text, row.pairs), row.expected) << row.text;
}

TEST(RenderTemplate, FillsTheBinaryManifest) {
  std::string out = render_template(kBinaryManifest,
                                    {{"crate_name", "btc_usdt"}, {"backtest_dep", "0.1.5"}, {"profile", ""}});
  EXPECT_TRUE(out.starts_with("[package]\nname = \"btc_usdt\"\nversion = \"0.1.0\"\n"));
  EXPECT_TRUE(out.ends_with("[dependencies]\nlantor-backtest = \"0.1.5\"\nserde_json = \"1\"\n\n"));
  EXPECT_EQ(out.find("{{"), std::string::npos);
}

}  // namespace
}  // namespace lantor
