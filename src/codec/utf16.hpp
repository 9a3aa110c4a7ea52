// UTF-16: surrogates, decoding and encoding, shared by the text code, the
// ICU pre-tokenizer and the binding's str conversions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quarnel::codec {

constexpr bool is_surrogate(char32_t u) noexcept { return (u & 0xFFFFF800u) == 0xD800; }
constexpr bool is_lead_surrogate(char32_t u) noexcept { return (u & 0xFFFFFC00u) == 0xD800; }
constexpr bool is_trail_surrogate(char32_t u) noexcept { return (u & 0xFFFFFC00u) == 0xDC00; }

// The code point of a lead and trail surrogate pair.
constexpr char32_t combine_surrogates(char16_t lead, char16_t trail) noexcept {
    return (static_cast<char32_t>(lead) << 10) + trail - ((0xD800u << 10) + 0xDC00u - 0x10000u);
}

// Whether `pos` (at most text.size()) lies between two characters, that is
// not between the two halves of a surrogate pair.
inline bool is_char_boundary(std::u16string_view text, std::size_t pos) noexcept {
    return pos == 0 || pos >= text.size() || !is_trail_surrogate(text[pos]) || !is_lead_surrogate(text[pos - 1]);
}

// Writes `cp` (a Unicode scalar value or a lone surrogate) at `d` as one or
// two code units; returns the end.
inline char16_t* encode_utf16(char32_t cp, char16_t* d) noexcept {
    if (cp < 0x10000) {
        *d++ = static_cast<char16_t>(cp);
    } else {
        *d++ = static_cast<char16_t>(0xD7C0 + (cp >> 10));  // 0xD800 + ((cp - 0x10000) >> 10)
        *d++ = static_cast<char16_t>(0xDC00 | (cp & 0x3FF));
    }
    return d;
}

// Calls sink(code_point, units) for each character of `text`, in order; a
// lone surrogate comes as itself.
template <class Sink>
void decode_utf16(std::u16string_view text, Sink&& sink) {
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const char16_t u = text[i];
        if (is_lead_surrogate(u) && i + 1 < n && is_trail_surrogate(text[i + 1])) {
            sink(combine_surrogates(u, text[i + 1]), std::size_t{2});
            i += 2;
        } else {
            sink(static_cast<char32_t>(u), std::size_t{1});
            ++i;
        }
    }
}

}  // namespace quarnel::codec
