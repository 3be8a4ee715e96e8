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

#include "driver/marked_text.h"
#include "fast/fast_path.h"
#include "memory_file.h"

namespace {

using veltrim::kBlockSize;
using veltrim::testing::Converted;
using veltrim::testing::MemoryFile;
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
  MemoryFile raw(in);
  raw.split_at = split_at;
  return run_convert(raw, in_block, out_block, MemoryFile(), plain);
}

// UTF-16 read as WTF-8 and written back, cut at `cut`, must give back every byte it was given:
// lone surrogates and an odd last byte included.
void check_utf16_round_trip(const std::string& in, std::size_t cut, bool big_endian) {
  const auto* src = reinterpret_cast<const unsigned char*>(in.data());
  std::string text(veltrim::utf16_decoded_max(in.size()) + 3, '\0');
  auto* t = reinterpret_cast<unsigned char*>(&text[0]);
  veltrim::Utf16Decoder d;
  d.big_endian = big_endian;
  std::size_t n = veltrim::utf16_decode(d, src, cut, t);
  n += veltrim::utf16_decode(d, src + cut, in.size() - cut, t + n);
  n += veltrim::utf16_decode_end(d, t + n);
  std::string back(veltrim::utf16_encoded_max(n) + 1, '\0');
  auto* b = reinterpret_cast<unsigned char*>(&back[0]);
  veltrim::Utf16Encoder e;
  e.big_endian = big_endian;
  std::size_t m = veltrim::utf16_encode(e, t, n / 2, b);
  m += veltrim::utf16_encode(e, t + n / 2, n - n / 2, b + m);
  m += veltrim::utf16_encode_end(e, b + m);
  if (d.has_byte) b[m++] = d.byte;
  back.resize(m);
  if (back != in) fail("UTF-16 changed on its way through WTF-8", in, back);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string in(reinterpret_cast<const char*>(data), size);
  const Converted reference = run(in, kBlockSize, kBlockSize, true);
  if (!reference.write_ok || reference.read_failed) fail("memory I/O failed", in, reference.out);
  check_blanks(in, reference.out);
  check_utf16_round_trip(in, size / 3, size % 2 == 0);

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
