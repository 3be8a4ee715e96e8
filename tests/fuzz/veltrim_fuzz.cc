// Every byte sequence is a stylesheet to this tool. For each, the conversion must end
// without a sanitizer report, squeeze every blank, and give the same bytes however the
// input is cut into blocks and whichever path converts it.
//
//   veltrim_fuzz -max_total_time=60 NEW_CORPUS_DIR tests/fuzz/corpus examples
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fast/fast_path.h"
#include "memory_io.h"
#include "text/codec.h"

namespace {

using veltrim::kBlockSize;
using veltrim::testing::Converted;
using veltrim::testing::MemorySink;
using veltrim::testing::MemorySource;
using veltrim::testing::run_convert;

[[noreturn]] void fail(const char* what, const std::string& in, const std::string& out) {
  std::fprintf(stderr, "veltrim_fuzz: %s\ninput (%zu bytes), output:\n%s\n", what, in.size(),
               out.c_str());
  std::abort();
}

// Blanks leave the conversion only as a single space, or as the CR LF right after a '}'.
void check_blanks(const std::string& in, const std::string& out) {
  for (std::size_t i = 0; i < out.size(); ++i) {
    const char c = out[i];
    if (c == '\t') fail("a TAB in the output", in, out);
    if (c == ' ' && i > 0 && out[i - 1] == ' ') fail("two spaces in a row", in, out);
    if (c == '\r' && (i == 0 || out[i - 1] != '}' || i + 1 == out.size() || out[i + 1] != '\n')) {
      fail("a CR that does not follow '}' or lead a CR LF", in, out);
    }
    if (c == '\n' && (i == 0 || out[i - 1] != '\r')) fail("a LF without its CR", in, out);
  }
}

Converted run(const std::string& in, std::size_t in_block, std::size_t out_block, bool plain,
              std::size_t split_at = veltrim::testing::kNever) {
  MemorySource raw(in);
  raw.split_at = split_at;
  return run_convert(raw, in_block, out_block, MemorySink(), plain);
}

// UTF-16 and UTF-32 read as WTF-8 and written back, cut at `cut`, must give back every byte
// they were given: lone surrogates, units past U+10FFFF and a cut last unit included.
void check_round_trip(const std::string& in, std::size_t cut, veltrim::ByteOrderMark mark) {
  const auto* src = reinterpret_cast<const unsigned char*>(in.data());
  std::string text(veltrim::decoded_max(in.size()), '\0');
  auto* t = reinterpret_cast<unsigned char*>(&text[0]);
  veltrim::UnitDecoder d = veltrim::decoder_for(mark);
  std::size_t n = veltrim::decode_units(d, src, cut, t);
  n += veltrim::decode_units(d, src + cut, in.size() - cut, t + n);
  n += veltrim::decode_end(d, t + n);
  std::string back(veltrim::encoded_max(n) + sizeof d.part, '\0');
  auto* b = reinterpret_cast<unsigned char*>(&back[0]);
  veltrim::UnitEncoder e = veltrim::encoder_for(mark);
  std::size_t m = veltrim::encode_units(e, t, n / 2, b);
  m += veltrim::encode_units(e, t + n / 2, n - n / 2, b + m);
  m += veltrim::encode_end(e, b + m);
  for (std::size_t k = 0; k < d.part_len; ++k) b[m++] = d.part[k];
  back.resize(m);
  if (back != in) fail("UTF-16 or UTF-32 changed on its way through WTF-8", in, back);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string in(reinterpret_cast<const char*>(data), size);
  const Converted reference = run(in, kBlockSize, kBlockSize, true);
  if (!reference.write_ok || reference.read_failed) fail("memory I/O failed", in, reference.out);
  check_blanks(in, reference.out);
  // Every encoding with code units, the byte order taken from the input's length.
  check_round_trip(in, size / 3, size % 2 == 0 ? veltrim::MARK_UTF16LE : veltrim::MARK_UTF16BE);
  check_round_trip(in, size / 5, size % 2 == 0 ? veltrim::MARK_UTF32BE : veltrim::MARK_UTF32LE);

  // Block sizes come from the input's own bytes, without taking any away from the sheet,
  // so that the seed stylesheets are fuzzed as they are.
  const std::size_t first = size ? data[0] : 0;
  const std::size_t last = size ? data[size - 1] : 0;
  const std::size_t middle = size ? data[size / 2] : 0;
  const struct {
    std::size_t in_block, out_block;
    bool plain;
    std::size_t split_at;
  } variants[] = {
      {kBlockSize, kBlockSize, false, veltrim::testing::kNever},
      {1 + first % 64, 1 + last % 64, false, size / 2},
      {1 + middle % 7, 1 + first % 5, true, size / 3},
      {1, 1, false, veltrim::testing::kNever},
  };
  for (const auto& v : variants) {
    const Converted got = run(in, v.in_block, v.out_block, v.plain, v.split_at);
    if (got.out != reference.out) fail("output depends on blocks or path", in, got.out);
  }

  // The fast path once more through another instruction set's unit, where this processor
  // runs it.
  const veltrim::Isa chosen = veltrim::active_isa();
  if (veltrim::use_isa(static_cast<veltrim::Isa>(last % veltrim::ISA_COUNT))) {
    const Converted got = run(in, kBlockSize, kBlockSize, false);
    veltrim::use_isa(chosen);
    if (got.out != reference.out) fail("output depends on the instruction set", in, got.out);
  }
  return 0;
}
