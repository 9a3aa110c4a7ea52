// The keep test of the row conversion, run over a whole row at once: the
// scan writes the indices of the columns whose value passes, in ascending
// order. Contiguous rows are scanned with AVX2 when the processor has it
// (checked once per process); strided rows and other processors take the
// scalar loop, which gives the same indices.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

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

// The two implementations behind scan_row, for tests and benchmarks.
std::size_t scan_row_scalar(const RowView& row, bool allow_negative, std::uint32_t* out) noexcept;
bool has_avx2() noexcept;
// Contiguous rows only (stride == element size); call only when has_avx2().
std::size_t scan_row_avx2(const RowView& row, bool allow_negative, std::uint32_t* out) noexcept;

}  // namespace quarnel::converter
