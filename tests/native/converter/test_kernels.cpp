// The converter's low-level pieces: half widening, the keep-test scan and
// the quantization, each against its straightforward counterpart.
#include <bit>
#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <limits>
#include <random>
#include <span>
#include <vector>

#include "check.hpp"
#include "converter/converter.hpp"
#include "converter/half.hpp"
#include "converter/scan.hpp"

using namespace quarnel::converter;

using namespace quarnel;
using namespace quarnel::converter;

TEST(half_widening_is_exact_for_every_pattern) {
    // Reference: sign * 2^e * (1 + m/1024), or m * 2^-24 for subnormals.
    for (std::uint32_t h = 0; h < 0x10000; ++h) {
        const float soft = half_to_float_soft(static_cast<std::uint16_t>(h));
        const std::uint32_t exponent = (h >> 10) & 0x1F, mantissa = h & 0x3FF;
        const double sign = (h & 0x8000) ? -1.0 : 1.0;
        if (exponent == 0x1F) {
            CHECK(mantissa ? std::isnan(soft) : soft == sign * INFINITY);
            if (mantissa) CHECK_EQ(std::signbit(soft), (h & 0x8000) != 0);
        } else {
            const double want = exponent ? sign * std::ldexp(1.0 + mantissa / 1024.0, static_cast<int>(exponent) - 15)
                                         : sign * std::ldexp(static_cast<double>(mantissa), -24);
            CHECK_EQ(static_cast<double>(soft), want);
            CHECK_EQ(std::signbit(soft), (h & 0x8000) != 0);
        }
    }
    CHECK_EQ(half_to_float_soft(0x3C00), 1.0f);
    CHECK_EQ(half_to_float_soft(0x0001), std::ldexp(1.0f, -24));
}

namespace {

// Names the paths a test ran, so the log shows what this build and
// processor covered.
template <class Path>
void report_paths(const char* what, std::span<const Path> paths) {
    std::printf("  %s paths run:", what);
    for (const auto& path : paths) std::printf(" %s%s", path.name, path.usable ? "" : " (not on this processor)");
    std::printf("\n");
}

}  // namespace

TEST(every_widening_path_matches_the_software_one_bit_for_bit) {
    // Every pattern, at every offset modulo the widest vector (the tails
    // convert one value at a time), through each path and the dispatcher.
    std::vector<std::uint16_t> all(0x10000 + 7);
    for (std::size_t h = 0; h < all.size(); ++h) all[h] = static_cast<std::uint16_t>(h);
    std::vector<KernelPath<WidenFn>> paths(widen_paths().begin(), widen_paths().end());
    paths.push_back({"dispatched", &widen_halves, true});
    for (const auto& path : paths) {
        if (!path.usable) continue;
        for (std::size_t offset = 0; offset < 8; ++offset) {
            const std::size_t n = 0x10000 - offset;
            std::vector<float> soft(n), widened(n);
            for (std::size_t i = 0; i < n; ++i) soft[i] = half_to_float_soft(all[offset + i]);
            path.run(all.data() + offset, widened.data(), n);
            CHECK(std::memcmp(soft.data(), widened.data(), n * sizeof(float)) == 0);
        }
    }
    report_paths("widening", std::span<const KernelPath<WidenFn>>(paths));
}

TEST(thresholds_are_the_nearest_single_to_one_ten_thousandth) {
    CHECK_EQ(kPositiveThreshold, 0.0001f);
    CHECK_EQ(kNegativeThreshold, -0.0001f);
    CHECK(!keep_f32(0.0001f, true) && !keep_f32(-0.0001f, true));
    CHECK(keep_f32(std::nextafter(0.0001f, 1.0f), false));
    CHECK(!keep_f32(std::nextafter(-0.0001f, -1.0f), false) && keep_f32(std::nextafter(-0.0001f, -1.0f), true));
    CHECK(!keep_f32(NAN, true) && keep_f32(INFINITY, false) && keep_f32(-INFINITY, true));
    // float16: every positive passes, ±0 and NaN never.
    CHECK(keep_f16(0x0001, false) && keep_f16(0x7C00, false) && !keep_f16(0x7C01, true) && !keep_f16(0x0000, true));
    CHECK(!keep_f16(0x8000, true) && !keep_f16(0x8001, false) && keep_f16(0x8001, true) && keep_f16(0xFC00, true));
    CHECK(!keep_f16(0xFC01, true) && !keep_f16(0xFFFF, true));
}

namespace {

std::vector<std::uint32_t> scan_with(std::size_t (*scan)(const RowView&, bool, std::uint32_t*), const RowView& row,
                                     bool negative) {
    std::vector<std::uint32_t> out(row.cols + 1);
    out.resize(scan(row, negative, out.data()));
    return out;
}

// Values that sit on every edge of the keep tests, mixed with random ones.
std::vector<std::uint32_t> adversarial_f32() {
    const float p = kPositiveThreshold;
    std::vector<float> v{0.0f, -0.0f, p, -p, std::nextafter(p, 1.0f), std::nextafter(-p, -1.0f),
                         std::nextafter(p, 0.0f), NAN, -NAN, INFINITY, -INFINITY,
                         std::numeric_limits<float>::denorm_min(), -std::numeric_limits<float>::denorm_min(),
                         std::numeric_limits<float>::max(), 1.0f, -1.0f};
    std::vector<std::uint32_t> bits;
    for (float x : v) bits.push_back(std::bit_cast<std::uint32_t>(x));
    bits.push_back(0x7F800001);  // signalling NaN
    bits.push_back(0xFFC00000);
    return bits;
}

const std::uint16_t kAdversarialF16[] = {0x0000, 0x8000, 0x0001, 0x8001, 0x03FF, 0x0400, 0x7BFF, 0x7C00,
                                         0x7C01, 0x7E00, 0x7FFF, 0xFBFF, 0xFC00, 0xFC01, 0xFFFF, 0x3C00, 0xBC00};

}  // namespace

TEST(every_scan_path_equals_the_keep_test_for_every_length) {
    std::vector<KernelPath<ScanFn>> paths(scan_paths().begin(), scan_paths().end());
    paths.push_back({"dispatched", &scan_row, true});
    std::mt19937 rng(11);
    const std::vector<std::uint32_t> edges = adversarial_f32();
    for (int round = 0; round < 40; ++round) {
        for (std::size_t n = 0; n <= 130; ++n) {
            // Mostly zeros, some random values and edge values, like a sparse row.
            std::vector<float> f32(n + 1);
            std::vector<std::uint16_t> f16(n + 1);
            for (std::size_t i = 0; i < n; ++i) {
                const unsigned pick = rng() % 8;
                const std::uint32_t bits = pick < 3 ? 0u : pick < 5 ? static_cast<std::uint32_t>(rng()) : edges[rng() % edges.size()];
                f32[i] = std::bit_cast<float>(bits);
                f16[i] = pick < 3 ? 0 : pick < 5 ? static_cast<std::uint16_t>(rng()) : kAdversarialF16[rng() % std::size(kAdversarialF16)];
            }
            // Odd offsets make the rows unaligned.
            std::vector<char> raw32(n * 4 + 1), raw16(n * 2 + 1);
            std::memcpy(raw32.data() + 1, f32.data(), n * 4);
            std::memcpy(raw16.data() + 1, f16.data(), n * 2);
            for (bool negative : {false, true}) {
                const RowView a{raw32.data() + 1, n, 4, Element::F32};
                const RowView b{raw16.data() + 1, n, 2, Element::F16};
                std::vector<std::uint32_t> want32, want16;
                for (std::size_t i = 0; i < n; ++i) {
                    if (keep_f32(f32[i], negative)) want32.push_back(static_cast<std::uint32_t>(i));
                    if (keep_f16(f16[i], negative)) want16.push_back(static_cast<std::uint32_t>(i));
                }
                for (const auto& path : paths) {
                    if (!path.usable) continue;
                    CHECK(scan_with(path.run, a, negative) == want32);
                    CHECK(scan_with(path.run, b, negative) == want16);
                }
            }
        }
    }
    report_paths("scan", std::span<const KernelPath<ScanFn>>(paths));
}

TEST(quantize_uses_single_precision_and_saturates) {
    CHECK_EQ(quantize(0.29f, 100.0f), 29);  // a double product would floor to 28
    CHECK_EQ(quantize(0.5f, 100.0f), 50);
    CHECK_EQ(quantize(0.0049f, 100.0f), 0);
    CHECK_EQ(quantize(-0.0049f, 100.0f), -1);
    CHECK_EQ(quantize(INFINITY, 100.0f), std::numeric_limits<std::int32_t>::max());
    CHECK_EQ(quantize(-INFINITY, 100.0f), std::numeric_limits<std::int32_t>::min());
    CHECK_EQ(quantize(NAN, 100.0f), 0);
    CHECK_EQ(quantize(3e9f, 1.0f), std::numeric_limits<std::int32_t>::max());
    CHECK_EQ(quantize(2147483648.0f, 1.0f), std::numeric_limits<std::int32_t>::max());
    CHECK_EQ(quantize(-2147483648.0f, 1.0f), std::numeric_limits<std::int32_t>::min());
    CHECK_EQ(quantize(half_to_float_soft(0x0347), 1000000.0f), 50);
}

#if defined(QUARNEL_KERNELS_X86)
// The run-time detection agrees with what the kernel reports for this
// machine (/proc/cpuinfo's flags).
TEST(cpu_feature_detection_matches_the_kernel) {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line) && line.rfind("flags", 0) != 0) {}
    if (line.empty()) {
        std::printf("skipped: no /proc/cpuinfo flags\n");
        return;
    }
    const auto flag = [&](const char* name) { return (line + " ").find(std::string(" ") + name + " ") != std::string::npos; };
    CHECK_EQ(has_f16c(), flag("f16c") && flag("avx"));
    CHECK_EQ(has_avx2(), flag("avx2"));
}
#endif
