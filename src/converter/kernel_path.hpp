// Which processor-specific kernels this build carries.
//
// x86-64 (GCC or clang): F16C and AVX2 kernels, compiled with function-level
// target attributes and picked once at run time from CPUID. aarch64
// (little-endian): NEON kernels, always usable (NEON and the half-precision
// conversions belong to ARMv8-A). Elsewhere, or with QUARNEL_PORTABLE
// defined (CMake -DQUARNEL_PORTABLE=ON), only portable C++ is built.
// Every kernel gives exactly the results of the portable code; the native
// tests run each one this processor can run against it.
#pragma once

#if !defined(QUARNEL_PORTABLE) && defined(__x86_64__) && defined(__GNUC__)
#define QUARNEL_KERNELS_X86 1
#elif !defined(QUARNEL_PORTABLE) && defined(__aarch64__) && defined(__ARM_NEON) && !defined(__ARM_BIG_ENDIAN)
#define QUARNEL_KERNELS_NEON 1
#endif

namespace quarnel::converter {

// One implementation of a kernel: its name, the function, and whether this
// processor can run it.
template <class Fn>
struct KernelPath {
    const char* name;
    Fn* run;
    bool usable;
};

}  // namespace quarnel::converter
