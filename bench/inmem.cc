// The conversion in memory as the tool runs it, on every shape of stylesheet or on the files
// given: each input repeated to MEGABYTES, read 256 KiB at a time into the tool's input buffer
// and converted from there through the tool's own path (convert_files), output counted and
// dropped. Every instruction set this processor runs, and `memcpy` of the same blocks, twice
// (into the input buffer, out of the output one), as the floor. No framework, so that the
// Windows build runs it under Wine too (wine_inmem.sh).
//
//   veltrim_inmem [MEGABYTES=20] [RUNS=5] [FILE.css ...]
//
// Prints GB/s per input and unit (the median of RUNS), then each unit's worst input; with
// VELTRIM_TSV=1 in the environment, a line "input TAB unit TAB GB/s" for each instead, for
// scripts (wine_inmem.sh). VELTRIM_ISA=NAME measures that unit alone.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "fast/fast_path.h"
#include "sink.h"
#include "stylesheet_gen.h"

namespace {

using veltrim::kBlockSize;

// The input: a string handed out a block at a time, as a file is.
class StringSource final : public veltrim::Source {
 public:
  explicit StringSource(const std::string& bytes) : data_(bytes) {}
  long read(unsigned char* dst, std::size_t size) override {
    const std::size_t n = std::min(size, data_.size() - pos_);
    std::memcpy(dst, data_.data() + pos_, n);
    pos_ += n;
    return static_cast<long>(n);
  }

 private:
  const std::string& data_;
  std::size_t pos_ = 0;
};

using veltrim::bench::CountingSink;

double seconds_of(void (*body)(const std::string&), const std::string& in) {
  const auto t0 = std::chrono::steady_clock::now();
  body(in);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void convert_once(const std::string& in) {
  StringSource src(in);
  CountingSink dst;
  const veltrim::Outcome o = veltrim::convert_files(src, dst);
  if (o.read_failed || o.write_failed || dst.written == 0) std::abort();
}

// The floor: the same blocks copied in and out, as the streams do around the conversion.
void copy_twice(const std::string& in) {
  static unsigned char block[kBlockSize];
  static unsigned char out[kBlockSize];
  for (std::size_t at = 0; at < in.size(); at += kBlockSize) {
    const std::size_t n = std::min(kBlockSize, in.size() - at);
    std::copy_n(in.data() + at, n, block);
    std::memcpy(out, block, n);
    asm volatile("" : : "r"(out) : "memory");  // the copies must happen
  }
}

double median_gbs(void (*body)(const std::string&), const std::string& in, int runs) {
  std::vector<double> s;
  s.reserve(static_cast<std::size_t>(runs));
  body(in);  // warm-up
  for (int i = 0; i < runs; ++i) s.push_back(seconds_of(body, in));
  std::sort(s.begin(), s.end());
  return static_cast<double>(in.size()) / s[s.size() / 2] / 1e9;
}

std::string repeated_to(const std::string& sheet, std::size_t bytes) {
  std::string out;
  while (out.size() < bytes) out += sheet;  // whole copies: each starts at a rule's start
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const double mb = argc > 1 ? std::atof(argv[1]) : 20;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  const auto bytes = static_cast<std::size_t>(mb * 1e6);

  std::vector<std::pair<std::string, std::string>> inputs;
  if (argc > 3) {
    for (int i = 3; i < argc; ++i) {
      std::ifstream f(argv[i], std::ios::binary);
      std::stringstream ss;
      ss << f.rdbuf();
      if (!f || ss.str().empty()) {
        std::fprintf(stderr, "cannot read %s\n", argv[i]);
        return 2;
      }
      std::string name = argv[i];
      name = name.substr(name.find_last_of("/\\") + 1);
      inputs.emplace_back(name, repeated_to(ss.str(), bytes));
    }
  } else {
    for (int s = 0; s < static_cast<int>(veltrim::bench::Shape::kCount); ++s) {
      const auto shape = static_cast<veltrim::bench::Shape>(s);
      inputs.emplace_back(veltrim::bench::shape_name(shape), veltrim::bench::make_shape(shape, bytes));
    }
  }

  // Every unit this processor runs, or only the one VELTRIM_ISA names (for a profile).
  std::vector<veltrim::Isa> isas;
  for (int i = veltrim::ISA_PLAIN; i < veltrim::ISA_COUNT; ++i) {
    const auto isa = static_cast<veltrim::Isa>(i);
    const char* only = std::getenv("VELTRIM_ISA");
    if (veltrim::isa_runs_here(isa) &&
        (only == nullptr || std::strcmp(only, veltrim::isa_name(isa)) == 0)) {
      isas.push_back(isa);
    }
  }
  const bool tsv = std::getenv("VELTRIM_TSV") != nullptr;
  if (!tsv) {
    std::printf("GB/s in memory, median of %d runs over %.0f MB each\n", runs, mb);
    std::printf("%-36s %8s", "input", "memcpy");
    for (veltrim::Isa isa : isas) std::printf(" %8s", veltrim::isa_name(isa));
    std::printf("\n");
  }
  std::vector<double> worst(veltrim::ISA_COUNT, 1e30);
  std::vector<std::string> worst_name(veltrim::ISA_COUNT);
  for (const auto& [name, text] : inputs) {
    const double copy = median_gbs(copy_twice, text, runs);
    if (tsv) {
      std::printf("%s\tmemcpy\t%.3f\n", name.c_str(), copy);
    } else {
      std::printf("%-36s %8.2f", name.c_str(), copy);
    }
    for (veltrim::Isa isa : isas) {
      veltrim::use_isa(isa);
      const double gbs = median_gbs(convert_once, text, runs);
      if (tsv) {
        std::printf("%s\t%s\t%.3f\n", name.c_str(), veltrim::isa_name(isa), gbs);
      } else {
        std::printf(" %8.2f", gbs);
      }
      if (gbs < worst[isa]) worst[isa] = gbs, worst_name[isa] = name;
    }
    if (!tsv) std::printf("\n");
    std::fflush(stdout);
  }
  if (tsv) return 0;
  for (veltrim::Isa isa : isas) {
    std::printf("worst %-8s %6.2f GB/s (%s)\n", veltrim::isa_name(isa), worst[isa],
                worst_name[isa].c_str());
  }
  return 0;
}
