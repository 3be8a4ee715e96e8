// Micro-benchmarks of the conversion alone, on in-memory input: no disk, no process start.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "convert/converter.h"
#include "fast/bulk.h"
#include "fast/fast_path.h"
#include "memory_file.h"
#include "stylesheet_gen.h"

namespace {

using veltrim::testing::MemoryFile;

// An output that takes every write and keeps only the count, so that the figure is the
// conversion's and not that of growing a string.
class Sink final : public veltrim::RawFile {
 public:
  long read(unsigned char*, std::size_t) override { return -1; }
  long write(const unsigned char*, std::size_t size) override {
    written += size;
    return static_cast<long>(size);
  }
  bool close() override { return true; }
  std::size_t written = 0;
};

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
  auto in = veltrim::testing::new_in_file();
  auto out = veltrim::testing::new_out_file();
  // Made once: the loop measures the conversion and the reads into its buffer, as a file's.
  MemoryFile src(css);
  Sink dst;
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

}  // namespace

BENCHMARK_MAIN();
