// The fast path: converts whole stretches of the input straight from the input buffer into
// the output buffer, exactly as the per-character machine would, 64 bytes at a time where it
// can. The code is written once (generic/); each instruction set's unit (plain.cc, sse2.cc,
// avx2.cc, avx512.cc) supplies only its primitives, and implementation.cc picks the widest
// one the processor runs, or the one VELTRIM_ISA names.
#pragma once

#include <cstddef>
#include <cstdint>

namespace veltrim {

// Bit masks of a block of up to 64 bytes: bit i tells about byte i. An aggregate without a
// constructor of its own (zero it with `CharMasks m{}`), so that no unit emits one.
struct CharMasks {
  std::uint64_t space;
  std::uint64_t blank;  // TAB, LF, CR, space
  std::uint64_t comma;
  std::uint64_t open;   // '{'
  std::uint64_t close;  // '}'
  std::uint64_t colon;
  std::uint64_t semi;
  std::uint64_t slash;
  std::uint64_t star;
};

// The kind of part the copy machine is in: a selector ends at ',' or '{', a property at ':'
// (or, before its first character, at the '}' of an empty block), a value at ';' or '}'.
enum Part : unsigned char { IN_SELECTOR, IN_PROPERTY, IN_VALUE };

// Where the machine is between two bytes.
struct MachineState {
  Part part = IN_SELECTOR;
  bool middle = false;   // a plain character of the part has been written
  bool blanks = false;   // blanks (and maybe comments) stand before the next byte
  bool comment = false;  // inside a comment
  bool star = false;     // ... whose last byte was a '*' that a '/' would close
};

// Where a stretch left the machine, so that the next one goes on from there: the end of a
// buffer may fall anywhere, inside a rule, a run of blanks or a comment.
struct StretchState {
  MachineState machine;
  bool slash = false;  // the stretch ended in a '/' that the next byte may make a comment
};

// Where a stretch stopped: how far it read and wrote.
struct StretchEnd {
  const unsigned char* in;
  unsigned char* out;
};

// Converts [in, in_end) into out for as long as the output has room, and returns where it
// stopped; every byte before that is converted, and `state` holds what is pending. Needs
// kStretchRoom bytes of room to make progress.
using StretchKernel = StretchEnd (*)(const unsigned char* in, const unsigned char* in_end,
                                     unsigned char* out, unsigned char* out_end,
                                     StretchState& state);
constexpr std::size_t kStretchRoom = 256;

// The instruction sets with a unit of their own, narrowest first.
enum Isa : int { ISA_PLAIN, ISA_SSE2, ISA_AVX2, ISA_AVX512, ISA_COUNT };

// What one unit provides: its kernel, and its two primitives for the tests.
struct IsaUnit {
  StretchKernel convert;
  // The masks of 64 bytes.
  void (*classify)(const unsigned char* p, CharMasks& m);
  // Writes the bytes of p[0, 64) that `keep` selects, those in `spaces` as a space; returns
  // the end. May write up to 64 bytes past it. Every blank that `keep` selects is in
  // `spaces`, as in every plan.
  unsigned char* (*write_kept)(const unsigned char* p, std::uint64_t spaces, std::uint64_t keep,
                               unsigned char* q);
};

// What a processor offers that a unit needs: each unit is compiled for a set of these (see
// CMakeLists.txt) and runs only where the processor has every one.
struct ProcessorFeatures {
  bool sse2 = false;  // every x86-64 processor
  bool avx2 = false;
  bool bmi1 = false;
  bool bmi2 = false;
  bool popcnt = false;
  bool pclmul = false;
  bool avx512f = false;
  bool avx512bw = false;
  bool avx512vbmi2 = false;  // the byte compress, which the AVX-512 unit writes with
};

// The processor this runs on.
ProcessorFeatures this_processor();
// Whether a processor with `features` runs the unit of `isa`, whether or not a build has it.
bool processor_runs(Isa isa, const ProcessorFeatures& features);
// The widest unit such a processor runs.
Isa widest_unit_for(const ProcessorFeatures& features);

// The unit in use; chosen at start, see implementation.cc.
const IsaUnit& active_unit();
Isa active_isa();
// Names as VELTRIM_ISA takes them: "plain", "sse2", "avx2", "avx512".
const char* isa_name(Isa isa);
// True when this build has the unit and this processor runs it.
bool isa_runs_here(Isa isa);
// Uses the unit of `isa` from now on; false (and no change) when it does not run here.
bool use_isa(Isa isa);

}  // namespace veltrim
