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

bool processor_runs(Isa isa) {
#if defined(VELTRIM_X86_UNITS)
  __builtin_cpu_init();
  const bool bits = __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
                    __builtin_cpu_supports("popcnt") && __builtin_cpu_supports("pclmul");
  if (isa == ISA_AVX512) {
    return bits && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi2");
  }
  if (isa == ISA_AVX2) return bits && __builtin_cpu_supports("avx2");
#endif
  (void)isa;
  return true;
}

Isa choose() {
  Isa widest = ISA_PLAIN;
  for (int i = ISA_PLAIN; i < ISA_COUNT; ++i) {
    if (isa_runs_here(static_cast<Isa>(i))) widest = static_cast<Isa>(i);
  }
  const char* wanted = std::getenv("VELTRIM_ISA");
  if (wanted == nullptr) return widest;
  for (int i = ISA_PLAIN; i < widest; ++i) {
    if (std::strcmp(wanted, kNames[i]) == 0 && isa_runs_here(static_cast<Isa>(i))) {
      return static_cast<Isa>(i);
    }
  }
  return widest;
}

Isa g_isa = choose();

}  // namespace

bool isa_runs_here(Isa isa) {
  return unit_of(isa) != nullptr && processor_runs(isa);
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
