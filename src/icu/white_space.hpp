// The White_Space characters that trimming removes: U+0009..U+000D, U+0020,
// U+0085, U+00A0, U+1680, U+2000..U+200A, U+2028, U+2029, U+202F, U+205F
// and U+3000.
#pragma once

#include <cstddef>
#include <string_view>

namespace quarnel::icu_text {

constexpr bool is_white_space(char32_t c) noexcept {
    if (c < 0x80) return c == 0x20 || (c >= 0x09 && c <= 0x0D);
    return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
           c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// `text` (valid UTF-8) without its leading and trailing White_Space.
std::string_view trim_white_space(std::string_view text) noexcept;

}  // namespace quarnel::icu_text
