#include "converter/scan.hpp"

#if defined(QUARNEL_KERNELS_X86)
#include <immintrin.h>
#elif defined(QUARNEL_KERNELS_NEON)
#include <arm_neon.h>
#endif

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

#if defined(QUARNEL_KERNELS_X86)

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

std::size_t scan_row_avx2(const RowView& row, bool allow_negative, std::uint32_t* out) noexcept {
    if (row.element == Element::F32) return allow_negative ? avx2_f32<true>(row, out) : avx2_f32<false>(row, out);
    return allow_negative ? avx2_f16<true>(row, out) : avx2_f16<false>(row, out);
}

#elif defined(QUARNEL_KERNELS_NEON)

// NEON has no movemask: a vector of 16 byte flags (0x00 or 0xFF) narrows to
// one 64-bit word with four bits per lane, in lane order; one bit of each
// nibble is kept, so lane i is bit 4i.
inline std::uint64_t lane_bits(uint8x16_t flags) noexcept {
    const uint8x8_t nibbles = vshrn_n_u16(vreinterpretq_u16_u8(flags), 4);
    return vget_lane_u64(vreinterpret_u64_u8(nibbles), 0) & 0x1111111111111111ull;
}

inline std::size_t emit(std::uint64_t bits, std::size_t base, std::uint32_t* out, std::size_t count) noexcept {
    while (bits) {
        out[count++] = static_cast<std::uint32_t>(base + static_cast<unsigned>(__builtin_ctzll(bits)) / 4);
        bits &= bits - 1;
    }
    return count;
}

// Loads through byte pointers: rows may sit at any address.
inline float32x4_t load4_f32(const char* p) noexcept {
    return vreinterpretq_f32_u8(vld1q_u8(reinterpret_cast<const std::uint8_t*>(p)));
}

inline uint16x8_t load8_u16(const char* p) noexcept {
    return vreinterpretq_u16_u8(vld1q_u8(reinterpret_cast<const std::uint8_t*>(p)));
}

template <bool AllowNegative>
inline uint16x4_t f32_keep(const char* p) noexcept {
    const float32x4_t v = load4_f32(p);
    uint32x4_t keep = vcgtq_f32(v, vdupq_n_f32(kPositiveThreshold));
    if constexpr (AllowNegative) keep = vorrq_u32(keep, vcltq_f32(v, vdupq_n_f32(kNegativeThreshold)));
    return vmovn_u32(keep);
}

// 16 columns per step: four vectors of 4 floats.
template <bool AllowNegative>
std::size_t neon_f32(const RowView& row, std::uint32_t* out) noexcept {
    const char* data = row.data;
    std::size_t count = 0;
    std::size_t c = 0;
    for (; c + 16 <= row.cols; c += 16) {
        const char* p = data + c * 4;
        const uint16x8_t lo = vcombine_u16(f32_keep<AllowNegative>(p), f32_keep<AllowNegative>(p + 16));
        const uint16x8_t hi = vcombine_u16(f32_keep<AllowNegative>(p + 32), f32_keep<AllowNegative>(p + 48));
        const std::uint64_t bits = lane_bits(vcombine_u8(vmovn_u16(lo), vmovn_u16(hi)));
        if (bits) count = emit(bits, c, out, count);
    }
    return scalar<AllowNegative>(row, c, out, count);
}

// The same test as the AVX2 kernel: (magnitude - 1), unsigned, at most 0x7BFF.
template <bool AllowNegative>
inline uint8x8_t f16_keep(const char* p) noexcept {
    uint16x8_t h = load8_u16(p);
    if constexpr (AllowNegative) h = vandq_u16(h, vdupq_n_u16(0x7FFF));
    return vmovn_u16(vcleq_u16(vsubq_u16(h, vdupq_n_u16(1)), vdupq_n_u16(0x7BFF)));
}

// 16 columns per step: two vectors of 8 binary16 patterns.
template <bool AllowNegative>
std::size_t neon_f16(const RowView& row, std::uint32_t* out) noexcept {
    const char* data = row.data;
    std::size_t count = 0;
    std::size_t c = 0;
    for (; c + 16 <= row.cols; c += 16) {
        const char* p = data + c * 2;
        const std::uint64_t bits = lane_bits(vcombine_u8(f16_keep<AllowNegative>(p), f16_keep<AllowNegative>(p + 16)));
        if (bits) count = emit(bits, c, out, count);
    }
    return scalar<AllowNegative>(row, c, out, count);
}

std::size_t scan_row_neon(const RowView& row, bool allow_negative, std::uint32_t* out) noexcept {
    if (row.element == Element::F32) return allow_negative ? neon_f32<true>(row, out) : neon_f32<false>(row, out);
    return allow_negative ? neon_f16<true>(row, out) : neon_f16<false>(row, out);
}

#endif

}  // namespace

std::size_t scan_row_scalar(const RowView& row, bool allow_negative, std::uint32_t* out) noexcept {
    return allow_negative ? scalar<true>(row, 0, out, 0) : scalar<false>(row, 0, out, 0);
}

#if defined(QUARNEL_KERNELS_X86)
bool has_avx2() noexcept {
    static const bool present = __builtin_cpu_supports("avx2");
    return present;
}
#endif

std::span<const KernelPath<ScanFn>> scan_paths() noexcept {
    static const KernelPath<ScanFn> paths[] = {
        {"portable", &scan_row_scalar, true},
#if defined(QUARNEL_KERNELS_X86)
        {"avx2", &scan_row_avx2, has_avx2()},
#elif defined(QUARNEL_KERNELS_NEON)
        {"neon", &scan_row_neon, true},
#endif
    };
    return paths;
}

std::size_t scan_row(const RowView& row, bool allow_negative, std::uint32_t* out) noexcept {
    static ScanFn* const vector = [] {
        ScanFn* best = nullptr;
        for (const auto& path : scan_paths().subspan(1))
            if (path.usable) best = path.run;
        return best;
    }();
    const bool contiguous = row.stride == static_cast<std::ptrdiff_t>(element_size(row.element));
    if (contiguous && vector) return vector(row, allow_negative, out);
    return scan_row_scalar(row, allow_negative, out);
}

}  // namespace quarnel::converter
