// Reading speed of the request reader on a large inline dataset, hashed as it
// is read and read again into canonical text, and the cost per member of
// very wide objects read onto a tape.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/json/tape_reader.h"
#include "core/request/request.h"

namespace {

// Process CPU time: the machine is shared, and wall time would count the
// time other programs hold the cores.
double cpu_seconds() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

std::string candle_command(int candles) {
  std::string text = R"({"cmd":"compile","spec":{"strategy":{"symbol":"BTCUSDT"},)"
                     R"("target":{"kind":"wasm"},"embed_data":{"kind":"inline","candles":[)";
  text.reserve(static_cast<std::size_t>(candles) * 64 + 256);
  for (int i = 0; i < candles; ++i) {
    if (i) text += ',';
    text += R"({"t":)" + std::to_string(1700000000000LL + i * 60000LL) +
            R"(,"o":42000.5,"h":42010.25,"l":41990.0,"c":42001.75,"v":12.345})";
  }
  text += "]}},\"dry_run\":true}";
  return text;
}

std::string wide_object(int members) {
  std::string text = "{";
  for (int i = 0; i < members; ++i) {
    if (i) text += ',';
    text += "\"member_" + std::to_string(i) + "\":" + std::to_string(i);
  }
  return text + "}";
}

template <class F>
double best_of(int runs, F&& f) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    double start = cpu_seconds();
    f();
    best = std::min(best, cpu_seconds() - start);
  }
  return best;
}

}  // namespace

// With the argument "read", only the reading is run (for profiling).
int main(int argc, char** argv) {
  const bool read_only = argc > 1 && std::string(argv[1]) == "read";
  const std::string text = candle_command(1'000'000);
  const double mb = static_cast<double>(text.size()) / 1e6;

  lantor::json::ReadResult<lantor::CompileReq> req = lantor::read_compile_req(text);
  if (!req.ok()) {
    std::fprintf(stderr, "read failed: %s\n", req.error().message.c_str());
    return 1;
  }
  double read_s = best_of(read_only ? 20 : 5, [&] {
    lantor::json::ReadResult<lantor::CompileReq> r = lantor::read_compile_req(text);
    if (!r.ok()) std::abort();
  });
  std::printf("read_compile_req: %.1f MB in %.1f ms = %.0f MB/s (target >= 400)\n", mb, read_s * 1e3,
              mb / read_s);

  if (read_only) return 0;
  // What a build needs beyond the digests: the dataset read again into its
  // canonical text.
  std::size_t text_size = 0;
  const std::string build = text.substr(0, text.size() - std::string(",\"dry_run\":true}").size()) + "}";
  double text_s = best_of(5, [&] {
    lantor::json::ReadResult<lantor::CompileReq> r = lantor::read_compile_req(build);
    if (!r.ok() || !r->spec.embed_data->candles_json) std::abort();
    text_size = r->spec.embed_data->candles_json->size();
  });
  std::printf(
      "read_compile_req, dataset kept as canonical text: %.1f MB in %.1f ms = %.0f MB/s read, "
      "%.0f MB/s canonical text written\n",
      mb, text_s * 1e3, mb / text_s, static_cast<double>(text_size) / 1e6 / text_s);

  double per_member[2];
  int sizes[2] = {2'000, 200'000};
  for (int k = 0; k < 2; ++k) {
    std::string obj = wide_object(sizes[k]);
    int reps = 200'000 / sizes[k];
    double s = best_of(5, [&] {
      for (int i = 0; i < reps; ++i) {
        lantor::json::Reader r(obj);
        lantor::json::Tape tape;
        if (!lantor::json::read_tape(r, 0, tape).ok()) std::abort();
      }
    });
    per_member[k] = s / reps / sizes[k] * 1e9;
    std::printf("object of %d members: %.1f ns per member\n", sizes[k], per_member[k]);
  }
  std::printf("wide/narrow per-member ratio: %.2f (should stay within a few times)\n",
              per_member[1] / per_member[0]);
  return 0;
}
