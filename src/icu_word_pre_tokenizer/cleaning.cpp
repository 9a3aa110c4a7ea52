#include "icu_word_pre_tokenizer/cleaning.hpp"

#include <cstdint>

#include <unicode/uchar.h>

#include "codec/utf16.hpp"

namespace quarnel::icu_word_pre_tokenizer {

namespace {

bool deleted_type(char32_t c) noexcept {
    const auto type = static_cast<UCharCategory>(u_charType(static_cast<UChar32>(c)));
    return type == U_CONTROL_CHAR || type == U_SURROGATE || type == U_UNASSIGNED;
}

// One bit per code unit of the Basic Multilingual Plane: set for the units
// cleaning may delete, read from ICU once. Every surrogate is set too, so
// that pairs reach the slow path, which looks their code point up in ICU.
class BmpTable {
public:
    BmpTable() {
        for (char32_t c = 0; c < 0x10000; ++c)
            if (deleted_type(c)) bits_[c >> 6] |= std::uint64_t{1} << (c & 63);
    }
    bool maybe_deleted(char16_t u) const noexcept { return bits_[u >> 6] >> (u & 63) & 1; }

private:
    std::uint64_t bits_[0x10000 / 64] = {};
};

const BmpTable& bmp_table() {
    static const BmpTable* table = new BmpTable();  // never freed: any thread may clean until exit
    return *table;
}

}  // namespace

bool is_deleted(char32_t c) noexcept { return codec::is_surrogate(c) || deleted_type(c); }

void prepare_cleaning() { bmp_table(); }

std::size_t clean_in_place(char16_t* text, std::size_t n) noexcept {
    const BmpTable& table = bmp_table();
    std::size_t i = 0;
    while (i < n && !table.maybe_deleted(text[i])) ++i;  // most texts end here
    std::size_t kept = i;
    while (i < n) {
        const char16_t u = text[i];
        if (!table.maybe_deleted(u)) {
            text[kept++] = u;
            ++i;
        } else if (codec::is_lead_surrogate(u) && i + 1 < n && codec::is_trail_surrogate(text[i + 1])) {
            const char16_t trail = text[i + 1];
            if (!deleted_type(codec::combine_surrogates(u, trail))) {
                text[kept++] = u;
                text[kept++] = trail;
            }
            i += 2;
        } else {
            ++i;  // a control, an unassigned unit or a lone surrogate
        }
    }
    return kept;
}

}  // namespace quarnel::icu_word_pre_tokenizer
