// The fast path against the per-character path: the same output and the same stopping point
// on random and structured inputs, through every kind of buffer boundary.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fast/fast_path.h"
#include "fast/generic/masks.h"
#include "memory_io.h"
#include "stylesheet_gen.h"

namespace veltrim::testing {
namespace {

Converted run(const std::string& in, bool plain, std::size_t in_block, std::size_t out_block,
              std::size_t split = kNever) {
  MemorySource src(in);
  src.split_at = split;
  return run_convert(src, in_block, out_block, MemorySink(), plain);
}

void expect_same(const std::string& in, std::size_t in_block, std::size_t out_block,
                 std::size_t split = kNever) {
  const Converted want = run(in, true, kBlockSize, kBlockSize);
  const Converted got = run(in, false, in_block, out_block, split);
  ASSERT_EQ(got.out, want.out) << "input: " << in << "\nblocks " << in_block << "/" << out_block
                               << " split " << split;
  ASSERT_EQ(got.read_pos, want.read_pos);
}

// Bytes drawn mostly from the characters the machine cares about. The draw uses the raw
// engine output, which is the same on every standard library.
std::string random_css(std::mt19937& rng, std::size_t max_len) {
  static const char kAlphabet[] = "{},:;/*/* \t\r\n  ab\x0b\x0c\x00\xff";
  const std::size_t len = rng() % (max_len + 1);
  std::string s;
  for (std::size_t i = 0; i < len; ++i) s += kAlphabet[rng() % (sizeof kAlphabet - 1)];
  return s;
}

TEST(BulkIdentity, RandomInputsAllBlockSizes) {
  std::mt19937 rng(20261208);
  for (int i = 0; i < 3000; ++i) {
    const std::string in = random_css(rng, 200);
    for (std::size_t block : {1, 3, 16, 64, 97}) {
      expect_same(in, block, block);
      expect_same(in, kBlockSize, block);
      expect_same(in, block, kBlockSize);
    }
    expect_same(in, kBlockSize, kBlockSize, rng() % (in.size() + 1));
  }
}

// The unit that the environment says this processor must get (VELTRIM_EXPECT_ISA, which CI
// takes from the processor's flags), or ISA_COUNT when it says none.
Isa expected_isa() {
  const char* expected = std::getenv("VELTRIM_EXPECT_ISA");
  for (int i = ISA_PLAIN; expected != nullptr && i < ISA_COUNT; ++i) {
    if (std::strcmp(expected, isa_name(static_cast<Isa>(i))) == 0) return static_cast<Isa>(i);
  }
  return ISA_COUNT;
}

// Each instruction set's unit, pinned for the test and restored after it; a unit this
// processor cannot run is skipped, and says so, unless it is one the processor should run.
class EveryUnit : public ::testing::TestWithParam<Isa> {
 protected:
  void SetUp() override {
    if (use_isa(GetParam())) return;
    const Isa expected = expected_isa();
    if (expected != ISA_COUNT && GetParam() <= expected) {
      FAIL() << isa_name(GetParam()) << " does not run, and this processor should run up to "
             << isa_name(expected);
    }
    GTEST_SKIP() << "this processor cannot run " << isa_name(GetParam());
  }
  void TearDown() override { use_isa(saved_); }
  const Isa saved_ = active_isa();
};

INSTANTIATE_TEST_SUITE_P(Isa, EveryUnit,
                         ::testing::Values(ISA_PLAIN, ISA_SSE2, ISA_AVX2, ISA_AVX512),
                         [](const ::testing::TestParamInfo<Isa>& unit) {
                           return std::string(isa_name(unit.param));
                         });

// The unit chosen at start, on a processor (or a processor model under qemu) for which the
// environment says which unit it must get: the widest it runs, or the narrower one that
// VELTRIM_ISA names, never a unit it lacks.
TEST(Dispatch, ChoosesTheUnitThisProcessorShouldGet) {
  const char* expected = std::getenv("VELTRIM_EXPECT_ISA");
  if (expected == nullptr) GTEST_SKIP() << "VELTRIM_EXPECT_ISA names the unit expected here";
  EXPECT_STREQ(isa_name(active_isa()), expected);
}

// The choice over feature sets, on both sides of every line it draws: each feature a wide
// unit is compiled for, taken away once. No emulator here runs AVX-512, so only this shows
// what a Skylake-X or Cascade Lake server (AVX-512BW without VBMI2) gets.
TEST(Dispatch, FeatureSetsToUnits) {
  ProcessorFeatures avx2;
  avx2.sse2 = avx2.avx2 = avx2.bmi1 = avx2.bmi2 = avx2.popcnt = avx2.pclmul = true;
  ProcessorFeatures skylake_x = avx2;
  skylake_x.avx512f = skylake_x.avx512bw = true;
  ProcessorFeatures ice_lake = skylake_x;
  ice_lake.avx512vbmi2 = true;
  const auto without = [](ProcessorFeatures f, bool ProcessorFeatures::*feature) {
    f.*feature = false;
    return f;
  };
  const struct {
    const char* what;
    ProcessorFeatures features;
    Isa unit;
  } rows[] = {
      {"none (ARM64)", {}, ISA_PLAIN},
      {"x86-64", without(avx2, &ProcessorFeatures::avx2), ISA_SSE2},
      {"AVX2 and the bit instructions", avx2, ISA_AVX2},
      {"no BMI1", without(avx2, &ProcessorFeatures::bmi1), ISA_SSE2},
      {"no BMI2", without(avx2, &ProcessorFeatures::bmi2), ISA_SSE2},
      {"no POPCNT", without(avx2, &ProcessorFeatures::popcnt), ISA_SSE2},
      {"no PCLMUL", without(avx2, &ProcessorFeatures::pclmul), ISA_SSE2},
      {"AVX-512BW without VBMI2 (Skylake-X)", skylake_x, ISA_AVX2},
      {"AVX-512BW and VBMI2 (Ice Lake)", ice_lake, ISA_AVX512},
      {"AVX-512 without BW", without(ice_lake, &ProcessorFeatures::avx512bw), ISA_AVX2},
      {"AVX-512 without F", without(ice_lake, &ProcessorFeatures::avx512f), ISA_AVX2},
      {"AVX-512 without PCLMUL", without(ice_lake, &ProcessorFeatures::pclmul), ISA_SSE2},
      {"AVX-512 without AVX2", without(ice_lake, &ProcessorFeatures::avx2), ISA_SSE2},
  };
  for (const auto& row : rows) {
    EXPECT_STREQ(isa_name(widest_unit_for(row.features)), isa_name(row.unit)) << row.what;
  }
}

std::array<std::uint64_t, 9> flat(const CharMasks& m) {
  return {m.space, m.blank, m.comma, m.open, m.close, m.colon, m.semi, m.slash, m.star};
}

// What a writer of kept bytes writes for the block under these masks.
std::string kept_by(unsigned char* (*write)(const unsigned char*, std::uint64_t, std::uint64_t,
                                            unsigned char*),
                    const unsigned char* block, std::uint64_t spaces, std::uint64_t keep) {
  unsigned char out[64 + 64];
  return std::string(out, write(block, spaces, keep, out));
}

// The unit's classifier and its writer of kept bytes against the plain loops: random bytes,
// then bytes drawn from the ones that matter, under random masks.
TEST_P(EveryUnit, PrimitivesMatchThePlainLoops) {
  const IsaUnit& unit = active_unit();
  std::mt19937_64 rng(7);
  for (int round = 0; round < 2000; ++round) {
    unsigned char block[64];
    for (unsigned char& b : block) {
      b = round < 100 ? static_cast<unsigned char>(rng()) : "{},:;/* \t\r\nax\x0b\xff"[rng() % 15];
    }
    CharMasks want;
    classify_plain(block, 64, want);
    CharMasks got;
    unit.classify(block, got);
    ASSERT_EQ(flat(got), flat(want)) << "round " << round;
    const std::uint64_t draw = rng();
    const std::uint64_t keep = round % 3 ? draw : draw & rng();  // sparse masks too
    // Kept blanks are always written as spaces; other bytes may be too (a comment's end).
    const std::uint64_t spaces = (rng() | want.blank) & keep;
    ASSERT_EQ(kept_by(unit.write_kept, block, spaces, keep),
              kept_by(write_kept_plain, block, spaces, keep))
        << "round " << round;
  }
}

// The bit count that the units without POPCNT make in line (as this file is built), against
// counting one bit at a time: no bits, all of them, then sparse random words.
TEST(BitCount, MatchesCountingOneBitAtATime) {
  std::mt19937_64 rng(3);
  for (int i = 0; i < 1000; ++i) {
    const std::uint64_t draw = rng();
    const std::uint64_t w = i == 0 ? 0 : i == 1 ? ~std::uint64_t{0} : draw & rng();
    unsigned want = 0;
    for (unsigned b = 0; b < 64; ++b) want += static_cast<unsigned>((w >> b) & 1);
    ASSERT_EQ(bit_count(w), want) << std::hex << w;
  }
}

// Every mask of 8 bytes once, in every group of a block in turn: the packers work 8 bytes at a
// time by tables, and a wrong entry would show only on the mask it belongs to.
TEST_P(EveryUnit, EveryGroupMaskPacks) {
  const IsaUnit& unit = active_unit();
  std::mt19937_64 rng(11);
  unsigned char block[64];
  for (unsigned i = 0; i < 64; ++i) block[i] = static_cast<unsigned char>('A' + i % 26);
  for (unsigned round = 0; round < 256; ++round) {
    std::uint64_t keep = 0;
    for (unsigned g = 0; g < 8; ++g) keep |= std::uint64_t{(round + 37 * g) & 0xFF} << (8 * g);
    const std::uint64_t spaces = round % 2 ? rng() & keep : 0;
    ASSERT_EQ(kept_by(unit.write_kept, block, spaces, keep),
              kept_by(write_kept_plain, block, spaces, keep))
        << "round " << round;
  }
}

TEST_P(EveryUnit, RandomInputs) {
  std::mt19937 rng(GetParam());
  for (int i = 0; i < 300; ++i) {
    const std::string in = random_css(rng, 300);
    expect_same(in, kBlockSize, kBlockSize);
    expect_same(in, 97, 61);
  }
}

// Stylesheets made of the pieces real ones have, each joined to the next by a random blank run
// or none, so that long stretches convert as whole blocks and every kind of state crosses
// the block edges; the odd comment, plain brace and '}' in a property send the machine back
// to events at random places.
std::string structured_css(std::mt19937& rng, std::size_t len) {
  static const char* const kBlanks[] = {"",   "",   " ",    " ",     "  ",
                                        "\t", "\n", "\r\n", " \n\t", "\n\n    "};
  static const char* const kPieces[] = {
      "a",     "b.c",         "d:hover",    "e::before",
      "f > g", "h,",          "i ,",        "{",
      "{",     "}",           "}",          "}",
      "x",     "y-z",         ":",          ":",
      ":",     "1px",         "0",          "rgba(0,",
      "0, 0)", ";",           ";",          ";",
      "a/b",   "/* c */",     "/*/ ; */",   "/* a; b: c } { */",
      "/**/",  "url(/u.png)", "!important", "@media (max-width: 9px) {",
      "p:q:r", "{}",          ";;"};
  std::string s;
  while (s.size() < len) {
    s += kPieces[rng() % (sizeof kPieces / sizeof kPieces[0])];
    s += kBlanks[rng() % (sizeof kBlanks / sizeof kBlanks[0])];
  }
  return s;
}

TEST_P(EveryUnit, StructuredInputs) {
  std::mt19937 rng(100 + GetParam());
  for (int i = 0; i < 400; ++i) {
    const std::string in = structured_css(rng, 64 + rng() % 1500);
    expect_same(in, kBlockSize, kBlockSize);
    expect_same(in, 200, 150);
    expect_same(in, kBlockSize, kBlockSize, rng() % (in.size() + 1));
  }
}

// Every state the machine can be in at the end of a buffer, which the next stretch takes
// over: each split of this sheet puts a refill at another point, and 1-byte reads at all.
TEST_P(EveryUnit, HandsOverAtEverySplit) {
  std::string sheet =
      "@media (min-width: 1px) {\n  a , b:hover { color : red ; }\n}\n"
      ":root{--x:hsla(var(--h), 1%, 2%, 1);--y: calc( 1px + 2px );}/**/ q\t{ x:/ y }\r\n"
      "/* a comment that is longer than one block of sixty-four bytes, * / **/p{a:b}"
      "c d , e{f : g}/";
  sheet += std::string(70, 'z') + "{" + std::string(70, ' ') + "}";
  for (std::size_t split = 0; split <= sheet.size(); ++split) {
    expect_same(sheet, kBlockSize, kBlockSize, split);
    expect_same(sheet, 64, 64, split);
  }
  expect_same(sheet, 1, kBlockSize);
  expect_same(sheet, 1, 1);
}

// Converts `in` through the unit's kernel stretch by stretch, each into an output of its own
// room, exactly (so that AddressSanitizer sees a write past it): the first `room` bytes, the
// later ones plenty. The first stops wherever its room runs out.
std::string by_stretches(const std::string& in, std::size_t room) {
  const auto* p = reinterpret_cast<const unsigned char*>(in.data());
  const unsigned char* const end = p + in.size();
  std::string got;
  StretchState state;
  while (p != end) {
    std::vector<unsigned char> out(room);
    const StretchEnd stop = active_unit().convert(p, end, out.data(), out.data() + room, state);
    if (stop.in == p && stop.out == out.data()) break;
    p = stop.in;
    got.append(out.data(), stop.out);
    room = 2 * in.size() + kStretchRoom;
  }
  return got;
}

// A long selector of words and quiet spaces, which the kernel moves as runs between events
// (the output room stops the block loop first), cut by the room at every byte; its last space,
// before the ',' or '{' that ends it, is taken back.
TEST_P(EveryUnit, OutputRoomCutsARunAtEveryByte) {
  std::string words;
  while (words.size() < 400) words += "ab cde f gh ";
  words.pop_back();
  for (const std::string& in : {words + " ,b{c:d}", words + " {c:d}"}) {
    const std::string want = run(in, true, kBlockSize, kBlockSize).out;
    for (std::size_t room = kStretchRoom; room < in.size() + kStretchRoom; ++room) {
      ASSERT_EQ(by_stretches(in, room), want) << "room " << room;
    }
  }
}

// Whole stylesheets with LF and CR LF line ends, cut at many places.
TEST(BulkIdentity, GeneratedStylesheets) {
  for (bool crlf : {false, true}) {
    const std::string css = bench::make_stylesheet(std::size_t{300} * 1000, crlf);
    expect_same(css, kBlockSize, kBlockSize);
    for (std::size_t block : {61, 200, 4096, 9999}) expect_same(css, block, block);
    const std::string head = css.substr(0, 3000);
    for (std::size_t split = 0; split < head.size(); split += 3) expect_same(head, 64, 64, split);
  }
}

// Runs that straddle the 64-byte index blocks and the 32-byte moves of plain runs.
TEST(BulkIdentity, LongRunsAndBlankRuns) {
  std::vector<std::string> inputs;
  for (std::size_t n : {15, 16, 17, 31, 32, 33, 63, 64, 65, 127, 128, 129, 300}) {
    const std::string run(n, 'x');
    const std::string blanks(n, ' ');
    inputs.push_back(run + "{" + run + ":" + run + " " + run + "}");
    inputs.push_back("a" + blanks + "b{c" + blanks + ":" + blanks + "d" + blanks + "}");
    inputs.push_back("a{b:/*" + run + "*/c" + blanks + "/*" + blanks + "*/ d}");
    inputs.push_back(run + " x" + std::string(n, '\t') + "{y:z}");
  }
  for (const std::string& in : inputs) {
    for (std::size_t block : {7, 64, 100, 4096}) expect_same(in, block, block);
    for (std::size_t split = 0; split <= in.size(); ++split) expect_same(in, 64, 64, split);
  }
}

// A failing read or write stops both paths at the same place with the same output.
TEST(BulkIdentity, SameStopOnFailures) {
  const std::string css = bench::make_stylesheet(std::size_t{20} * 1000, false);
  for (std::size_t at : {0, 1, 100, 4095, 4096, 12345}) {
    Converted r[2];
    Converted w[2];
    for (bool plain : {false, true}) {
      MemorySource src(css);
      src.fail_read_at = at;
      r[plain] = run_convert(src, 1000, 1000, MemorySink(), plain);
      MemorySink dst;
      dst.fail_write_at = at;
      w[plain] = run_convert(MemorySource(css), 1000, 1000, dst, plain);
    }
    EXPECT_EQ(r[0].out, r[1].out) << at;
    EXPECT_EQ(r[0].read_pos, r[1].read_pos) << at;
    EXPECT_TRUE(r[0].read_failed);
    EXPECT_EQ(w[0].out, w[1].out) << at;
    EXPECT_EQ(w[0].read_pos, w[1].read_pos) << at;
    EXPECT_FALSE(w[0].write_ok);
  }
}

}  // namespace
}  // namespace veltrim::testing
