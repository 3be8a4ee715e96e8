// Micro-benchmarks of the conversion alone, on in-memory input: no disk, no process start.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "convert/byte_masks.h"
#include "convert/converter.h"
#include "memory_file.h"
#include "stylesheet_gen.h"

namespace {

using veltrim::testing::MemoryFile;

const std::string& sheet(bool crlf) {
  static const std::string lf =
      veltrim::bench::make_stylesheet(std::size_t{8} * 1000 * 1000, false);
  static const std::string cr = veltrim::bench::make_stylesheet(std::size_t{8} * 1000 * 1000, true);
  return crlf ? cr : lf;
}

// Arguments: 1 for the per-character path alone, 0 with the bulk paths; 1 for CR LF input;
// the vector width in bytes that the bulk path classifies with (0: a plain loop).
void BM_Convert(benchmark::State& state) {
  const bool plain = state.range(0) != 0;
  const std::string& css = sheet(state.range(1) != 0);
  const int width = veltrim::classifier_width();
  if (!veltrim::use_classifier_width(static_cast<int>(state.range(2)))) {
    state.SkipWithError("this processor lacks that vector width");
    return;
  }
  auto in = veltrim::testing::new_in_file();
  auto out = veltrim::testing::new_out_file();
  // Made once: the loop measures the conversion, not copying the sheet or growing a string.
  MemoryFile src(css);
  MemoryFile dst;
  dst.data.reserve(css.size() + css.size() / 4);
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the library's loop idiom
    src.pos = 0;
    dst.data.clear();
    veltrim::in_attach(*in, &src);
    veltrim::out_attach(*out, &dst);
    veltrim::ConverterState st;
    st.in_file = in.get();
    st.out_file = out.get();
    st.plain = plain;
    veltrim::convert_sheet(st);
    veltrim::out_close(*out);
    benchmark::DoNotOptimize(dst.data.data());
  }
  veltrim::use_classifier_width(width);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(css.size()));
}
BENCHMARK(BM_Convert)
    ->ArgNames({"plain", "crlf", "width"})
    ->Args({1, 0, 0})
    ->Args({0, 0, 0})
    ->Args({0, 0, 16})
    ->Args({0, 0, 32})
    ->Args({0, 0, 64})
    ->Args({0, 1, 64})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
