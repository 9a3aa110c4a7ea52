// The keep test of the row conversion, run over a whole row at once: the
// scan writes the indices of the columns whose value passes, in ascending
// order. Contiguous rows are scanned by a vector kernel where the build has
// one the processor can run (AVX2 on x86-64, checked once per process; NEON
// on aarch64; see kernel_path.hpp); strided rows, other processors and
// portable builds take the scalar loop, which gives the same indices.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "converter/kernel_path.hpp"

namespace quarnel::converter {

// The single-precision value nearest 0.0001, and its negation.
inline constexpr float kPositiveThreshold = std::bit_cast<float>(std::uint32_t{0x38D1B717});
inline constexpr float kNegativeThreshold = std::bit_cast<float>(std::uint32_t{0xB8D1B717});

enum class Element : std::uint8_t { F32, F16 };

inline constexpr std::size_t element_size(Element e) noexcept { return e == Element::F32 ? 4 : 2; }

// A row of `cols` elements, element c at data + c * stride (any alignment).
struct RowView {
    const char* data;
    std::size_t cols;
    std::ptrdiff_t stride;
    Element element;
};

inline bool keep_f32(float x, bool allow_negative) noexcept {
    return x > kPositiveThreshold || (allow_negative && x < kNegativeThreshold);
}

// On the raw binary16 pattern: magnitude between the smallest subnormal and
// infinity (so never ±0 or NaN), and a clear sign unless negatives are kept.
inline bool keep_f16(std::uint16_t h, bool allow_negative) noexcept {
    const auto magnitude_minus_one = static_cast<std::uint16_t>((h & 0x7FFFu) - 1u);
    return magnitude_minus_one <= 0x7BFFu && (allow_negative || (h & 0x8000u) == 0);
}

inline float load_f32(const char* p) noexcept {
    float x;
    std::memcpy(&x, p, sizeof x);
    return x;
}

inline std::uint16_t load_f16(const char* p) noexcept {
    std::uint16_t h;
    std::memcpy(&h, p, sizeof h);
    return h;
}

// Writes the kept column indices to `out` (room for row.cols) and returns
// how many there are.
std::size_t scan_row(const RowView& row, bool allow_negative, std::uint32_t* out) noexcept;

using ScanFn = std::size_t(const RowView& row, bool allow_negative, std::uint32_t* out) noexcept;

// The implementations behind scan_row: the portable one ("portable",
// scan_row_scalar) first, then the vector kernels of this build, which take
// contiguous rows only (stride == element size); scan_row uses the last
// usable one for contiguous rows.
std::span<const KernelPath<ScanFn>> scan_paths() noexcept;

std::size_t scan_row_scalar(const RowView& row, bool allow_negative, std::uint32_t* out) noexcept;

#if defined(QUARNEL_KERNELS_X86)
bool has_avx2() noexcept;
#endif

}  // namespace quarnel::converter
