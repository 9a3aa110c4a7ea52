#include "converter/half.hpp"

#include <bit>

#if defined(QUARNEL_KERNELS_X86)
#include <cpuid.h>
#include <immintrin.h>
#elif defined(QUARNEL_KERNELS_NEON)
#include <arm_neon.h>
#endif

namespace quarnel::converter {

float half_to_float_soft(std::uint16_t h) noexcept {
    const std::uint32_t sign = static_cast<std::uint32_t>(h & 0x8000u) << 16;
    const std::uint32_t exponent = (h >> 10) & 0x1Fu;
    std::uint32_t mantissa = h & 0x3FFu;
    std::uint32_t bits;
    if (exponent == 0x1F) {
        bits = sign | 0x7F800000u | (mantissa << 13) | (mantissa ? 0x00400000u : 0u);
    } else if (exponent != 0) {
        bits = sign | ((exponent + 112) << 23) | (mantissa << 13);
    } else if (mantissa == 0) {
        bits = sign;
    } else {
        // Subnormal: mantissa * 2^-24. Shift the leading one up to bit 10.
        const int shift = std::countl_zero(mantissa) - 21;  // 1..10
        mantissa = (mantissa << shift) & 0x3FFu;
        bits = sign | (static_cast<std::uint32_t>(113 - shift) << 23) | (mantissa << 13);
    }
    return std::bit_cast<float>(bits);
}

void widen_halves_soft(const std::uint16_t* in, float* out, std::size_t n) noexcept {
    for (std::size_t i = 0; i < n; ++i) out[i] = half_to_float_soft(in[i]);
}

namespace {

#if defined(QUARNEL_KERNELS_X86)

__attribute__((target("f16c"))) void widen_halves_f16c(const std::uint16_t* in, float* out, std::size_t n) noexcept {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8)
        _mm256_storeu_ps(out + i, _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i))));
    for (; i < n; ++i) out[i] = _cvtsh_ss(in[i]);
}

#elif defined(QUARNEL_KERNELS_NEON)

// FCVTL, eight values a step; the tail converts one value at a time (FCVT).
void widen_halves_neon(const std::uint16_t* in, float* out, std::size_t n) noexcept {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const float16x8_t h = vreinterpretq_f16_u16(vld1q_u16(in + i));
        vst1q_f32(out + i, vcvt_f32_f16(vget_low_f16(h)));
        vst1q_f32(out + i + 4, vcvt_high_f32_f16(h));
    }
    for (; i < n; ++i) out[i] = static_cast<float>(std::bit_cast<__fp16>(in[i]));
}

#endif

}  // namespace

#if defined(QUARNEL_KERNELS_X86)
// F16C is VEX-encoded: usable when the processor has it and AVX, and the
// system saves the AVX registers (OSXSAVE, with XCR0 enabling SSE and AVX
// state). Read from CPUID directly: not every compiler's
// __builtin_cpu_supports knows "f16c".
bool has_f16c() noexcept {
    static const bool present = [] {
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
        constexpr unsigned kOsxsave = 1u << 27, kAvx = 1u << 28, kF16c = 1u << 29;
        if ((ecx & (kOsxsave | kAvx | kF16c)) != (kOsxsave | kAvx | kF16c)) return false;
        unsigned xcr0_low = 0, xcr0_high = 0;
        __asm__("xgetbv" : "=a"(xcr0_low), "=d"(xcr0_high) : "c"(0));
        return (xcr0_low & 0x6u) == 0x6u;
    }();
    return present;
}
#endif

std::span<const KernelPath<WidenFn>> widen_paths() noexcept {
    static const KernelPath<WidenFn> paths[] = {
        {"portable", &widen_halves_soft, true},
#if defined(QUARNEL_KERNELS_X86)
        {"f16c", &widen_halves_f16c, has_f16c()},
#elif defined(QUARNEL_KERNELS_NEON)
        {"neon", &widen_halves_neon, true},
#endif
    };
    return paths;
}

void widen_halves(const std::uint16_t* in, float* out, std::size_t n) noexcept {
    static WidenFn* const chosen = [] {
        WidenFn* best = nullptr;
        for (const auto& path : widen_paths())
            if (path.usable) best = path.run;
        return best;
    }();
    chosen(in, out, n);
}

}  // namespace quarnel::converter
