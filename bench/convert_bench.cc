// Micro-benchmarks of the conversion alone, on in-memory input: no disk, no process start.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#if defined(VELTRIM_BENCH_SIMDJSON)
#include <simdjson.h>
#endif

#include "convert/converter.h"
#include "fast/bulk.h"
#include "fast/fast_path.h"
#include "memory_io.h"
#include "sink.h"
#include "stylesheet_gen.h"

namespace {

using veltrim::testing::MemorySource;

using veltrim::bench::CountingSink;

const std::string& sheet(bool crlf) {
  static const std::string lf =
      veltrim::bench::make_stylesheet(std::size_t{8} * 1000 * 1000, false);
  static const std::string cr = veltrim::bench::make_stylesheet(std::size_t{8} * 1000 * 1000, true);
  return crlf ? cr : lf;
}

// Arguments: 1 for the per-character path alone, 0 with the fast path; 1 for CR LF input;
// the fast path's instruction set (Isa: 0 plain, 1 SSE2, 2 AVX2, 3 AVX-512).
void BM_Convert(benchmark::State& state) {
  const bool plain = state.range(0) != 0;
  const std::string& css = sheet(state.range(1) != 0);
  const veltrim::Isa chosen = veltrim::active_isa();
  if (!veltrim::use_isa(static_cast<veltrim::Isa>(state.range(2)))) {
    state.SkipWithError("this processor lacks that instruction set");
    return;
  }
  auto in = veltrim::testing::new_in_stream();
  auto out = veltrim::testing::new_out_stream();
  // Made once: the loop measures the conversion and the reads into its buffer, as a file's.
  MemorySource src(css);
  CountingSink dst;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the library's loop idiom
    src.pos = 0;
    dst.written = 0;
    veltrim::in_attach(*in, &src);
    veltrim::out_attach(*out, &dst);
    if (plain) {
      veltrim::ConverterState st;
      st.in_file = in.get();
      st.out_file = out.get();
      veltrim::convert_sheet(st);
    } else {
      veltrim::copy_in_bulk(*in, *out);
    }
    veltrim::out_close(*out);
    benchmark::DoNotOptimize(dst.written);
  }
  veltrim::use_isa(chosen);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(css.size()));
}
BENCHMARK(BM_Convert)
    ->ArgNames({"plain", "crlf", "isa"})
    ->Args({1, 0, 0})
    ->Args({0, 0, 0})
    ->Args({0, 0, 1})
    ->Args({0, 0, 2})
    ->Args({0, 0, 3})
    ->Args({0, 1, 3})
    ->Unit(benchmark::kMillisecond);

// Reference: the same bytes moved as the streams move them around the conversion, 256 KiB
// into the input buffer and out of the output one, with nothing converted.
void BM_Memcpy(benchmark::State& state) {
  const std::string& css = sheet(false);
  static unsigned char in[veltrim::kBlockSize];
  static unsigned char out[veltrim::kBlockSize];
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the library's loop idiom
    for (std::size_t at = 0; at < css.size(); at += veltrim::kBlockSize) {
      const std::size_t n = std::min(veltrim::kBlockSize, css.size() - at);
      std::copy_n(css.data() + at, n, in);
      std::memcpy(out, in, n);
      benchmark::ClobberMemory();
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(css.size()));
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);

#if defined(VELTRIM_BENCH_SIMDJSON)
// A pretty-printed JSON document of about `bytes`: records with strings, numbers, arrays and
// nested objects, indented by two spaces a level.
std::string make_json(std::size_t bytes) {
  std::string out = "[\n";
  for (unsigned i = 0; out.size() < bytes; ++i) {
    if (i != 0) out += ",\n";
    const std::string n = std::to_string(i);
    out += "  {\n    \"id\": " + n + ",\n    \"name\": \"item " + n +
           " of the catalogue\",\n    \"tags\": [ \"css\", \"line form\", \"" + n +
           "\" ],\n    \"price\": " + std::to_string(i % 997) + "." + std::to_string(i % 89) +
           ",\n    \"size\": { \"w\": " + std::to_string(i % 640) + ", \"h\": " +
           std::to_string(i % 480) + " },\n    \"note\": \"a { color : red } /* not a comment */\"\n  }";
  }
  return out + "\n]\n";
}

// Reference: the closest code of this kind, simdjson's minify (its widest kernel here), which
// drops the white space outside strings, on 20 MB of JSON.
void BM_SimdjsonMinify(benchmark::State& state) {
  static const std::string json = make_json(std::size_t{20} * 1000 * 1000);
  std::unique_ptr<char[]> dst(new char[json.size() + simdjson::SIMDJSON_PADDING]);
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the library's loop idiom
    std::size_t len = 0;
    if (simdjson::minify(json.data(), json.size(), dst.get(), len) != simdjson::SUCCESS) {
      state.SkipWithError("simdjson::minify failed");
      return;
    }
    benchmark::DoNotOptimize(len);
  }
  state.SetLabel(simdjson::get_active_implementation()->name());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(json.size()));
}
BENCHMARK(BM_SimdjsonMinify)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
