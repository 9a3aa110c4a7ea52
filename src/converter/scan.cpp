#include "converter/scan.hpp"

#include <immintrin.h>

namespace quarnel::converter {

namespace {

template <bool AllowNegative>
std::size_t scalar(const RowView& row, std::size_t begin, std::uint32_t* out, std::size_t count) noexcept {
    const char* p = row.data + static_cast<std::ptrdiff_t>(begin) * row.stride;
    for (std::size_t c = begin; c < row.cols; ++c, p += row.stride) {
        const bool keep = row.element == Element::F32 ? keep_f32(load_f32(p), AllowNegative)
                                                      : keep_f16(load_f16(p), AllowNegative);
        out[count] = static_cast<std::uint32_t>(c);
        count += keep;
    }
    return count;
}

__attribute__((target("avx2"))) inline std::size_t emit(std::uint32_t mask, std::size_t base, std::uint32_t* out,
                                                        std::size_t count) noexcept {
    while (mask) {
        out[count++] = static_cast<std::uint32_t>(base + static_cast<unsigned>(__builtin_ctz(mask)));
        mask &= mask - 1;
    }
    return count;
}

// 32 columns per step: four vectors of 8 floats.
template <bool AllowNegative>
__attribute__((target("avx2"))) std::size_t avx2_f32(const RowView& row, std::uint32_t* out) noexcept {
    const __m256 positive = _mm256_set1_ps(kPositiveThreshold);
    const __m256 negative = _mm256_set1_ps(kNegativeThreshold);
    const char* data = row.data;
    std::size_t count = 0;
    std::size_t c = 0;
    for (; c + 32 <= row.cols; c += 32) {
        std::uint32_t mask = 0;
        for (int part = 0; part < 4; ++part) {
            const __m256 v = _mm256_loadu_ps(reinterpret_cast<const float*>(data + (c + 8 * part) * 4));
            __m256 keep = _mm256_cmp_ps(v, positive, _CMP_GT_OQ);
            if constexpr (AllowNegative) keep = _mm256_or_ps(keep, _mm256_cmp_ps(v, negative, _CMP_LT_OQ));
            mask |= static_cast<std::uint32_t>(_mm256_movemask_ps(keep)) << (8 * part);
        }
        if (mask) count = emit(mask, c, out, count);
    }
    return scalar<AllowNegative>(row, c, out, count);
}

template <bool AllowNegative>
__attribute__((target("avx2"))) inline __m256i f16_keep(const char* p) noexcept {
    __m256i h = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    if constexpr (AllowNegative) h = _mm256_and_si256(h, _mm256_set1_epi16(0x7FFF));
    const __m256i t = _mm256_sub_epi16(h, _mm256_set1_epi16(1));
    return _mm256_cmpeq_epi16(_mm256_min_epu16(t, _mm256_set1_epi16(0x7BFF)), t);
}

// 32 columns per step: two vectors of 16 binary16 patterns. A pattern is
// kept when (magnitude - 1), unsigned, is at most 0x7BFF; with negatives
// not allowed the sign bit stays in, which pushes every negative value
// above that bound.
template <bool AllowNegative>
__attribute__((target("avx2"))) std::size_t avx2_f16(const RowView& row, std::uint32_t* out) noexcept {
    const char* data = row.data;
    std::size_t count = 0;
    std::size_t c = 0;
    for (; c + 32 <= row.cols; c += 32) {
        const __m256i lo = f16_keep<AllowNegative>(data + c * 2);
        const __m256i hi = f16_keep<AllowNegative>(data + c * 2 + 32);
        // Packing interleaves the 128-bit lanes (lo0 hi0 lo1 hi1); the
        // permutation puts the 32 bytes back in column order.
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi16(lo, hi), 0xD8);
        const auto mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(packed));
        if (mask) count = emit(mask, c, out, count);
    }
    return scalar<AllowNegative>(row, c, out, count);
}

}  // namespace

std::size_t scan_row_scalar(const RowView& row, bool allow_negative, std::uint32_t* out) noexcept {
    return allow_negative ? scalar<true>(row, 0, out, 0) : scalar<false>(row, 0, out, 0);
}

bool has_avx2() noexcept {
    static const bool present = __builtin_cpu_supports("avx2");
    return present;
}

std::size_t scan_row_avx2(const RowView& row, bool allow_negative, std::uint32_t* out) noexcept {
    if (row.element == Element::F32) return allow_negative ? avx2_f32<true>(row, out) : avx2_f32<false>(row, out);
    return allow_negative ? avx2_f16<true>(row, out) : avx2_f16<false>(row, out);
}

std::size_t scan_row(const RowView& row, bool allow_negative, std::uint32_t* out) noexcept {
    const bool contiguous = row.stride == static_cast<std::ptrdiff_t>(element_size(row.element));
    if (contiguous && has_avx2()) return scan_row_avx2(row, allow_negative, out);
    return scan_row_scalar(row, allow_negative, out);
}

}  // namespace quarnel::converter
