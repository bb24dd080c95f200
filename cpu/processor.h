// The processor: which instruction sets the loader's and the filters'
// faster paths may use, and the target regions those paths are compiled in.
// This header and the build are the only places that know the processor's
// architecture; every other file is plain C++ or one instruction set's path,
// named for it (line_kernels_avx2.cc, window_means_avx512.cc, ...).
//
// Every faster path gives the same bits as the plain one. The answers are
// found once per process (and per plug-in). The environment variable
// PELLORY_SCALAR_ONLY, set at start-up, keeps everything on the plain
// paths; PELLORY_NO_AVX512 keeps it at most at AVX2, PELLORY_NO_AVX2 at
// most at SSE4.1.
#ifndef PELLORY_CPU_PROCESSOR_H_
#define PELLORY_CPU_PROCESSOR_H_

#include <cstdlib>
#include <span>

namespace pellory {

enum class InstructionSet {
  kPlain,  // any processor
  kSse41,
  kAvx2,
  // AVX-512 Foundation, in 64-bit code only: 32-bit code has eight vector
  // registers, too few for the paths that use it.
  kAvx512,
  // With the byte instructions too: BW, VBMI (byte permutes) and VBMI2
  // (byte compression); and POPCNT.
  kAvx512Bytes,
};

// Whether this processor, and the system (which must save the registers the
// set uses), can run code for `set`.
inline bool ProcessorHas(InstructionSet set) {
  static const unsigned sets = [] {
    unsigned has = 1u << static_cast<int>(InstructionSet::kPlain);
    if (std::getenv("PELLORY_SCALAR_ONLY") != nullptr) return has;
    const auto add = [&has](InstructionSet found, bool present) {
      if (present) has |= 1u << static_cast<int>(found);
    };
    (void)add;
#if defined(__x86_64__) || defined(__i386__)
    // Asked once for all: each question to the processor exits to the
    // hypervisor on a virtual machine.
    __builtin_cpu_init();
    add(InstructionSet::kSse41, __builtin_cpu_supports("sse4.1"));
    if (std::getenv("PELLORY_NO_AVX2") != nullptr) return has;
    // Every processor with AVX2 counts bits in one instruction and has
    // fused multiply-adds; the paths take all three.
    add(InstructionSet::kAvx2, __builtin_cpu_supports("avx2") &&
                                   __builtin_cpu_supports("popcnt") &&
                                   __builtin_cpu_supports("fma"));
#if defined(__x86_64__)
    if (std::getenv("PELLORY_NO_AVX512") == nullptr &&
        __builtin_cpu_supports("avx512f")) {
      add(InstructionSet::kAvx512, true);
      add(InstructionSet::kAvx512Bytes,
          __builtin_cpu_supports("avx512bw") &&
              __builtin_cpu_supports("avx512vbmi") &&
              __builtin_cpu_supports("avx512vbmi2") &&
              __builtin_cpu_supports("popcnt"));
    }
#endif
#endif
    return has;
  }();
  return ((sets >> static_cast<int>(set)) & 1u) != 0;
}

// The first of `paths` (a concern's table of paths, the fastest first and
// the plain one, which every processor has, last) that the processor has.
template <typename Path>
const Path& FastestPath(std::span<const Path* const> paths) {
  for (const Path* path : paths) {
    if (ProcessorHas(path->needs)) return *path;
  }
  return *paths.back();
}

}  // namespace pellory

// A row of a table of paths, kept only where the architecture has the
// instruction set (the path's file is built only there):
//   PELLORY_AVX2_ROW({"avx2", InstructionSet::kAvx2, ParseLinesAvx2})
#if defined(__x86_64__) || defined(__i386__)
#define PELLORY_SSE41_ROW(...) __VA_ARGS__,
#define PELLORY_AVX2_ROW(...) __VA_ARGS__,
#else
#define PELLORY_SSE41_ROW(...)
#define PELLORY_AVX2_ROW(...)
#endif
#if defined(__x86_64__)
#define PELLORY_AVX512_ROW(...) __VA_ARGS__,
#else
#define PELLORY_AVX512_ROW(...)
#endif

// The target region of one instruction set's path: every function defined
// between PELLORY_BEGIN_TARGET("avx2") and PELLORY_END_TARGET may use it.
// Standard headers go before the region: what they define must stay plain.
#define PELLORY_PRAGMA(text) _Pragma(#text)
#if defined(__clang__)
#define PELLORY_BEGIN_TARGET(sets)                                   \
  PELLORY_PRAGMA(clang attribute push(__attribute__((target(sets))), \
                                      apply_to = function))
#define PELLORY_END_TARGET PELLORY_PRAGMA(clang attribute pop)
#else
#define PELLORY_BEGIN_TARGET(sets) \
  PELLORY_PRAGMA(GCC push_options) PELLORY_PRAGMA(GCC target(sets))
#define PELLORY_END_TARGET PELLORY_PRAGMA(GCC pop_options)
#endif

// GCC 12's AVX-512 intrinsics initialise their placeholder operand from
// itself, which its own -Wuninitialized then reports wherever they inline:
// a file of AVX-512 paths includes the intrinsics between these two.
#if defined(__GNUC__) && !defined(__clang__)
#define PELLORY_BEGIN_AVX512_INTRINSICS                    \
  PELLORY_PRAGMA(GCC diagnostic push)                      \
  PELLORY_PRAGMA(GCC diagnostic ignored "-Wuninitialized") \
  PELLORY_PRAGMA(GCC diagnostic ignored "-Wmaybe-uninitialized")
#define PELLORY_END_AVX512_INTRINSICS PELLORY_PRAGMA(GCC diagnostic pop)
#else
#define PELLORY_BEGIN_AVX512_INTRINSICS
#define PELLORY_END_AVX512_INTRINSICS
#endif

#endif  // PELLORY_CPU_PROCESSOR_H_
