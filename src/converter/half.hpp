// Widening IEEE 754 binary16 values to single precision, exactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "converter/kernel_path.hpp"

namespace quarnel::converter {

// Software conversion: exact for every pattern; a NaN keeps its sign and
// payload and comes out quiet, as the processors' own conversions do.
float half_to_float_soft(std::uint16_t h) noexcept;

using WidenFn = void(const std::uint16_t* in, float* out, std::size_t n) noexcept;

// Widens n values by the fastest path this processor can run (picked once
// per process); every path gives the same values.
void widen_halves(const std::uint16_t* in, float* out, std::size_t n) noexcept;

// Every widening path of this build, the portable one ("portable",
// widen_halves_soft) first; widen_halves uses the last usable one.
std::span<const KernelPath<WidenFn>> widen_paths() noexcept;

void widen_halves_soft(const std::uint16_t* in, float* out, std::size_t n) noexcept;

#if defined(QUARNEL_KERNELS_X86)
// Whether the processor has the F16C conversion instructions (and the
// system saves the AVX state they need).
bool has_f16c() noexcept;
#endif

}  // namespace quarnel::converter
