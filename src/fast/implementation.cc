// The choice of unit: the widest that this build has and this processor runs, chosen once at
// start, or a narrower one that the environment variable VELTRIM_ISA names ("plain", "sse2",
// "avx2", "avx512") for benchmarks and bug reports. An unknown name, or one this processor
// cannot run, leaves the widest.
#include <cstdlib>
#include <cstring>

#include "fast/fast_path.h"

namespace veltrim {

extern const IsaUnit kPlainUnit;
#if defined(VELTRIM_X86_UNITS)
extern const IsaUnit kSse2Unit;
extern const IsaUnit kAvx2Unit;
extern const IsaUnit kAvx512Unit;
#endif

namespace {

constexpr const char* kNames[ISA_COUNT] = {"plain", "sse2", "avx2", "avx512"};

const IsaUnit* unit_of(Isa isa) {
  switch (isa) {
    case ISA_PLAIN:
      return &kPlainUnit;
#if defined(VELTRIM_X86_UNITS)
    case ISA_SSE2:
      return &kSse2Unit;
    case ISA_AVX2:
      return &kAvx2Unit;
    case ISA_AVX512:
      return &kAvx512Unit;
#endif
    default:
      return nullptr;
  }
}

// The widest unit that this build has and a processor with `here` runs, or the narrower one
// that `wanted` names.
Isa choose(const ProcessorFeatures& here, const char* wanted) {
  // Each unit needs what the narrower ones need, so the widest one built is found by
  // stepping down; the plain unit is in every build.
  Isa widest = widest_unit_for(here);
  while (unit_of(widest) == nullptr) widest = static_cast<Isa>(widest - 1);
  if (wanted == nullptr) return widest;
  for (int i = ISA_PLAIN; i < widest; ++i) {
    const Isa isa = static_cast<Isa>(i);
    if (std::strcmp(wanted, kNames[i]) == 0 && unit_of(isa) != nullptr &&
        processor_runs(isa, here)) {
      return isa;
    }
  }
  return widest;
}

Isa g_isa = choose(this_processor(), std::getenv("VELTRIM_ISA"));

}  // namespace

ProcessorFeatures this_processor() {
  ProcessorFeatures f;
#if defined(VELTRIM_X86_UNITS)
  __builtin_cpu_init();
  f.sse2 = true;
  f.avx2 = __builtin_cpu_supports("avx2");
  f.bmi1 = __builtin_cpu_supports("bmi");
  f.bmi2 = __builtin_cpu_supports("bmi2");
  f.popcnt = __builtin_cpu_supports("popcnt");
  f.pclmul = __builtin_cpu_supports("pclmul");
  f.avx512f = __builtin_cpu_supports("avx512f");
  f.avx512bw = __builtin_cpu_supports("avx512bw");
  f.avx512vbmi2 = __builtin_cpu_supports("avx512vbmi2");
#endif
  return f;
}

bool processor_runs(Isa isa, const ProcessorFeatures& f) {
  // The bit instructions that both wide units are compiled with.
  const bool bits = f.bmi1 && f.bmi2 && f.popcnt && f.pclmul;
  switch (isa) {
    case ISA_PLAIN:
      return true;
    case ISA_SSE2:
      return f.sse2;
    case ISA_AVX2:
      return f.sse2 && f.avx2 && bits;
    case ISA_AVX512:
      // AVX-512BW alone (Skylake-X, Cascade Lake) lacks the byte compress: AVX2 runs there.
      return f.sse2 && f.avx2 && bits && f.avx512f && f.avx512bw && f.avx512vbmi2;
    default:
      return false;
  }
}

Isa widest_unit_for(const ProcessorFeatures& features) {
  Isa widest = ISA_PLAIN;
  for (int i = ISA_PLAIN; i < ISA_COUNT; ++i) {
    if (processor_runs(static_cast<Isa>(i), features)) widest = static_cast<Isa>(i);
  }
  return widest;
}

bool isa_runs_here(Isa isa) {
  return unit_of(isa) != nullptr && processor_runs(isa, this_processor());
}

const IsaUnit& active_unit() {
  return *unit_of(g_isa);
}

Isa active_isa() {
  return g_isa;
}

const char* isa_name(Isa isa) {
  return isa >= ISA_PLAIN && isa < ISA_COUNT ? kNames[isa] : "?";
}

bool use_isa(Isa isa) {
  if (!isa_runs_here(isa)) return false;
  g_isa = isa;
  return true;
}

}  // namespace veltrim
