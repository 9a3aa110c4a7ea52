// The White_Space characters that trimming removes: U+0009..U+000D, U+0020,
// U+0085, U+00A0, U+1680, U+2000..U+200A, U+2028, U+2029, U+202F, U+205F
// and U+3000. All lie in the Basic Multilingual Plane, so UTF-16 text is
// trimmed unit by unit.
#pragma once

#include <cstddef>
#include <string_view>

namespace quarnel::icu_word_pre_tokenizer {

constexpr bool is_white_space(char32_t c) noexcept {
    if (c < 0x80) return c == 0x20 || (c >= 0x09 && c <= 0x0D);
    return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
           c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// `text` without its leading and trailing White_Space.
inline std::u16string_view trim_white_space(std::u16string_view text) noexcept {
    std::size_t begin = 0, end = text.size();
    while (begin < end && is_white_space(text[begin])) ++begin;
    while (end > begin && is_white_space(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

}  // namespace quarnel::icu_word_pre_tokenizer
