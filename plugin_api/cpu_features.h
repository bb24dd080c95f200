// Which instruction-set extensions the faster paths of the filters and the
// loader may use. Each answer is found once per process (and per plug-in):
// asking the processor is slow under a hypervisor, which intercepts it.
// Every faster path gives the same bits as the plain one.
//
// The environment variable PELLORY_SCALAR_ONLY, when set at start-up, keeps
// every filter and the loader on their plain paths; PELLORY_NO_AVX512 keeps
// them at most at AVX2; so the tests can compare every path on one machine.
#ifndef PELLORY_PLUGIN_API_CPU_FEATURES_H_
#define PELLORY_PLUGIN_API_CPU_FEATURES_H_

#include <cstdlib>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
// The intrinsics of every extension below, for the paths that use them.
// GCC 12's AVX-512 intrinsics initialise their placeholder operand from
// itself, which its own -Wuninitialized then reports wherever they inline.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

namespace pellory {

inline bool ScalarOnly() {
  return std::getenv("PELLORY_SCALAR_ONLY") != nullptr;
}

#if defined(__x86_64__) || defined(__i386__)

inline bool HasSse41() {
  static const bool has = [] {
    unsigned eax, ebx, ecx, edx;
    return !ScalarOnly() && __get_cpuid(1, &eax, &ebx, &ecx, &edx) &&
           (ecx & bit_SSE4_1) != 0;
  }();
  return has;
}

// Whether the system saves the register state of every bit of `xcr0_bits`
// across task switches. Only to be asked once the processor reports
// OSXSAVE.
inline bool SystemSavesRegisters(unsigned xcr0_bits) {
  unsigned xcr0_low, xcr0_high;
  __asm__("xgetbv" : "=a"(xcr0_low), "=d"(xcr0_high) : "c"(0));
  return (xcr0_low & xcr0_bits) == xcr0_bits;
}

inline bool HasAvx2() {
  static const bool has = [] {
    unsigned eax, ebx, ecx, edx;
    if (ScalarOnly() || !__get_cpuid(1, &eax, &ebx, &ecx, &edx) ||
        (ecx & bit_OSXSAVE) == 0 || (ecx & bit_AVX) == 0) {
      return false;
    }
    // The 128- and 256-bit halves of the vector registers.
    return SystemSavesRegisters(0x6) &&
           __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) &&
           (ebx & bit_AVX2) != 0;
  }();
  return has;
}

#endif

#if defined(__x86_64__)

// AVX-512 Foundation. Only in 64-bit code: 32-bit code has eight vector
// registers, too few for the paths that use it.
inline bool HasAvx512() {
  static const bool has = [] {
    unsigned eax, ebx, ecx, edx;
    if (!HasAvx2() || std::getenv("PELLORY_NO_AVX512") != nullptr) {
      return false;
    }
    // The mask registers and all 512 bits of all 32 vector registers.
    return SystemSavesRegisters(0xe6) &&
           __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) &&
           (ebx & bit_AVX512F) != 0;
  }();
  return has;
}

// With the byte instructions too: BW, VBMI (byte permutes) and VBMI2 (byte
// compression); and POPCNT.
inline bool HasAvx512Bytes() {
  static const bool has = [] {
    unsigned eax, ebx, ecx, edx;
    if (!HasAvx512() || !__get_cpuid(1, &eax, &ebx, &ecx, &edx) ||
        (ecx & bit_POPCNT) == 0) {
      return false;
    }
    return __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) &&
           (ebx & bit_AVX512BW) != 0 && (ecx & bit_AVX512VBMI) != 0 &&
           (ecx & bit_AVX512VBMI2) != 0;
  }();
  return has;
}

#endif

}  // namespace pellory

#endif  // PELLORY_PLUGIN_API_CPU_FEATURES_H_
