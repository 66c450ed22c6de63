// Where a dry-run compile spends its time: each phase of `dispatch` timed on
// its own over the command text in a file (for example one written by
// bench/workloads.py), and the whole call for comparison.
//
//   bench_phases COMMAND.json [ROUNDS [PHASE]]
//
// With PHASE, only the phases whose names start with it run, which keeps a
// profile of one phase free of the others (under callgrind, for instance:
// instruction counts repeat on a busy machine where times do not).
//
// The phases: reading the request (the strategy onto a tape with its
// canonical text written as it goes, an inline dataset streamed and hashed),
// and within it the strategy's own reading against the tokenizer alone;
// validating the strategy; the plan of a dry run (validation, templates and
// hashing) and its parts (Cargo.toml from its template, the spec hash, the
// strategy's file and the project hash); the response; and, for an inline dataset, its
// canonical text without hashing, and the two digests of that text alone.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/base/sha256.h"
#include "core/dispatch/dispatch.h"
#include "core/dispatch/handlers.h"
#include "core/json/canonical_stream.h"
#include "core/json/tape_reader.h"
#include "core/project/hashing.h"
#include "core/project/plan.h"
#include "core/project/templates.h"
#include "core/request/envelope.h"
#include "core/request/request.h"
#include "core/strategy/strategy.h"

namespace {

// The median of `rounds` timed calls, in microseconds.
double median_us(int rounds, const std::function<void()>& call) {
  std::vector<double> times;
  times.reserve(static_cast<std::size_t>(rounds));
  for (int i = 0; i < rounds; ++i) {
    auto start = std::chrono::steady_clock::now();
    call();
    auto stop = std::chrono::steady_clock::now();
    times.push_back(std::chrono::duration<double, std::micro>(stop - start).count());
  }
  std::nth_element(times.begin(), times.begin() + rounds / 2, times.end());
  return times[static_cast<std::size_t>(rounds / 2)];
}

// The text of the value after `"name":` at its first place in `text`, as the
// tokenizer delimits it; empty when there is none.
std::string_view member_text(std::string_view text, std::string_view name) {
  std::string key = "\"";
  key += name;
  key += "\":";
  const std::size_t at = text.find(key);
  if (at == std::string_view::npos) return {};
  lantor::json::Reader r(text.substr(at + key.size()));
  if (!r.skip_value().ok()) return {};
  return r.text().substr(0, r.offset());
}

// Counts what a dataset's streamer hands on, and keeps nothing.
class Count final : public lantor::json::TextSink {
 public:
  void write(std::string_view piece) override { bytes += piece.size(); }
  std::size_t bytes = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_phases COMMAND.json [ROUNDS [PHASE]]\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 2000;
  const std::string only = argc > 3 ? argv[3] : "";

  auto req = lantor::read_compile_req(text);
  if (!req) {
    std::fprintf(stderr, "not a compile request: %s\n", req.error().message.c_str());
    return 1;
  }
  const lantor::CompileSpec& spec = req->spec;
  const std::string_view strategy = member_text(text, "strategy");
  const std::string_view candles = member_text(text, "candles");
  std::string candles_json;
  if (!candles.empty()) {
    lantor::json::Reader r(candles);
    (void)lantor::json::CanonicalStreamer(r).read(0, candles_json);
  }
  auto plan = lantor::build_project(spec, AT_FDCWD, lantor::Contents::DigestsOnly);
  if (!plan) {
    std::fprintf(stderr, "no plan: %s\n", plan.error().text().c_str());
    return 1;
  }

  lantor::CommandState state;
  std::size_t sink = 0;
  struct Row {
    const char* name;
    std::function<void()> call;
  };
  std::vector<Row> rows = {
      {"dispatch (whole call)", [&] { sink += lantor::dispatch(text, state).size(); }},
      {"read_envelope", [&] { sink += lantor::read_envelope(text)->size(); }},
      {"read_compile_req", [&] { sink += lantor::read_compile_req(text)->dry_run; }},
      {"read_strategy_tape",
       [&] {
         lantor::json::Reader r(strategy);
         lantor::json::Tape tape;
         sink += lantor::json::read_tape(r, 2, tape).ok() + tape.canonical_text().size();
       }},
      {"read_strategy_skip",
       [&] {
         lantor::json::Reader r(strategy);
         sink += r.skip_value().ok();
       }},
      {"parse_strategy", [&] { sink += lantor::strategy::parse_strategy(spec.strategy.root()).ok(); }},
      {"plan (dry run)",
       [&] { sink += lantor::build_project(spec, AT_FDCWD, lantor::Contents::DigestsOnly)->files.size(); }},
      {"plan_manifest",
       [&] {
         // A dry run's templates: Cargo.toml hashed in its parts.
         const lantor::ManifestParts parts = lantor::manifest_parts(spec.target.kind, spec.opt_level);
         lantor::Sha256 digest;
         digest.update(parts.before);
         digest.update(plan->crate_name);
         digest.update(parts.after);
         sink += digest.hex().size();
       }},
      {"plan_hash_spec",
       [&] { sink += lantor::spec_hash(spec, spec.strategy.canonical_text(), candles_json).size(); }},
      {"plan_hash_files",
       [&] {
         sink += lantor::sha256_hex(spec.strategy.canonical_text()).size();
         sink += lantor::project_hash(plan->files).size();
       }},
      {"response", [&] { sink += lantor::compile_response(*plan, std::nullopt).size(); }},
  };
  if (!candles.empty()) {
    rows.push_back({"dataset_canonical_text", [&] {
                      lantor::json::Reader r(candles);
                      Count count;
                      sink += lantor::json::CanonicalStreamer(r).stream(3, count).ok() + count.bytes;
                    }});
    rows.push_back({"dataset_two_digests", [&] {
                      lantor::Sha256 file;
                      lantor::Sha256 form;
                      file.update(candles_json);
                      form.update(candles_json);
                      sink += file.hex().size() + form.hex().size();
                    }});
  }
  std::printf("%-28s %12s\n", "phase", "median us");
  for (const Row& row : rows) {
    if (std::string(row.name).rfind(only, 0) != 0) continue;
    std::printf("%-28s %12.2f\n", row.name, median_us(rounds, row.call));
  }
  return sink == 0 ? 1 : 0;
}
