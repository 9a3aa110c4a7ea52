#include "icu/cleaning.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include <oniguruma.h>

#include "core/fault.hpp"
#include "text/utf8.hpp"

namespace quarnel::icu_text {

namespace {

// One bit per code point: set for Cc, Cs and Cn as the engine knows them.
class Deletable {
public:
    Deletable() : bits_((0x110000 + 63) / 64, 0) {
        for (const char* name : {"Cc", "Cs", "Cn"}) {
            const OnigCtype ctype = onig::property_ctype(name);
            OnigCodePoint sb_out = 0;
            const OnigCodePoint* ranges = nullptr;
            if (ONIGENC_GET_CTYPE_CODE_RANGE(ONIG_ENCODING_UTF8, ctype, &sb_out, &ranges) != 0 || !ranges)
                fault(std::string("cleaning: Onig has no code ranges for ") + name);
            // ranges[0] pairs follow: [lo, hi] inclusive.
            for (OnigCodePoint i = 0; i < ranges[0]; ++i) {
                OnigCodePoint c = ranges[1 + 2 * i];
                const OnigCodePoint hi = std::min<OnigCodePoint>(ranges[2 + 2 * i], 0x10FFFF);
                for (; c <= hi && (c & 63) != 0; ++c) bits_[c >> 6] |= std::uint64_t{1} << (c & 63);
                for (; c + 63 <= hi; c += 64) bits_[c >> 6] = ~std::uint64_t{0};  // whole words
                for (; c <= hi; ++c) bits_[c >> 6] |= std::uint64_t{1} << (c & 63);
            }
        }
    }

    bool contains(char32_t c) const noexcept { return c < 0x110000 && (bits_[c >> 6] >> (c & 63) & 1); }

private:
    std::vector<std::uint64_t> bits_;
};

const Deletable& deletable() {
    static const Deletable* d = new Deletable();  // never freed: any thread may scan until exit
    return *d;
}

}  // namespace

bool nothing_to_clean(std::string_view text) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    // Plain ASCII eight bytes at a time, up to the first byte that is < 0x20,
    // 0x7F or >= 0x80.
    std::size_t i = 0;
    constexpr std::uint64_t kHigh = 0x8080808080808080ull, kOnes = 0x0101010101010101ull;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        const std::uint64_t below_space = (w - 0x20 * kOnes) & ~w & kHigh;
        const std::uint64_t del = ((w ^ 0x7F * kOnes) - kOnes) & ~(w ^ 0x7F * kOnes) & kHigh;
        if ((w & kHigh) | below_space | del) break;
    }
    // The rest character by character; malformed UTF-8 stops the decoding
    // short and is left to the engine.
    const Deletable& table = deletable();
    bool clean = true;
    const std::size_t decoded = text::decode_utf8(text.substr(i), [&](char32_t c, std::size_t) {
        clean = c < 0x80 ? c >= 0x20 && c != 0x7F : !table.contains(c);
        return clean;
    });
    return clean && i + decoded == n;
}

Result<Cleaner> Cleaner::create() {
    QUARNEL_TRY(onig::Regex regex, onig::Regex::compile(kCleanPattern));
    deletable();  // build the scan's table now, not during the first call
    return Cleaner(std::move(regex));
}

void Cleaner::clean_with_engine(std::string_view text, std::string& out) const {
    std::size_t kept = 0;
    onig::for_each_match(regex_, text, [&](const onig::Match& m) {
        out.append(text.data() + kept, m.begin - kept);
        kept = m.end;
    });
    out.append(text.data() + kept, text.size() - kept);
}

std::string_view Cleaner::clean(std::string_view text, std::string& storage) const {
    if (nothing_to_clean(text)) return text;
    storage.clear();
    storage.reserve(text.size());
    clean_with_engine(text, storage);
    return storage;
}

}  // namespace quarnel::icu_text
