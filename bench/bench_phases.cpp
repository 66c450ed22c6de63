// Where a dry-run compile spends its time: each phase of `dispatch` timed on
// its own over the command text in a file (for example one written by
// bench/workloads.py), and the whole call for comparison.
//
//   bench_phases COMMAND.json [ROUNDS [PHASE]]
//
// With PHASE, only the phases whose names start with it run, which keeps a
// profile of one phase free of the others.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/dispatch/dispatch.h"
#include "core/project/plan.h"
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
  lantor::CommandState state;
  std::size_t sink = 0;
  struct Row {
    const char* name;
    std::function<void()> call;
  };
  const std::vector<Row> rows = {
      {"dispatch (whole call)", [&] { sink += lantor::dispatch(text, state).size(); }},
      {"read_envelope", [&] { sink += lantor::read_envelope(text)->size(); }},
      {"read_compile_req", [&] { sink += lantor::read_compile_req(text)->dry_run; }},
      {"parse_strategy", [&] { sink += lantor::strategy::parse_strategy(req->spec.strategy.root()).ok(); }},

      {"build_project", [&] { sink += lantor::build_project(req->spec)->files.size(); }},
  };
  std::printf("%-28s %12s\n", "phase", "median us");
  for (const Row& row : rows) {
    if (std::string(row.name).rfind(only, 0) != 0) continue;
    std::printf("%-28s %12.2f\n", row.name, median_us(rounds, row.call));
  }
  return sink == 0 ? 1 : 0;
}
