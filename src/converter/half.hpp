// Widening IEEE 754 binary16 values to single precision, exactly.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quarnel::converter {

// Software conversion: exact for every pattern; a NaN keeps its sign and
// payload and comes out quiet, as the processor's own conversion does.
float half_to_float_soft(std::uint16_t h) noexcept;

// Whether the processor has the F16C conversion instructions.
bool has_f16c() noexcept;

// Widens n values, by F16C (eight at a time) when the processor has it,
// else in software; picked once per process. Both give the same values.
void widen_halves(const std::uint16_t* in, float* out, std::size_t n) noexcept;
// The two variants behind it; call the F16C one only when has_f16c().
void widen_halves_soft(const std::uint16_t* in, float* out, std::size_t n) noexcept;
void widen_halves_f16c(const std::uint16_t* in, float* out, std::size_t n) noexcept;

}  // namespace quarnel::converter
