// Full Unicode lowercasing: the default (root, untailored) lowercase mapping
// including SpecialCasing's multi-character mappings, with Final_Sigma as the
// only context-dependent rule; the context is the string given, nothing
// around it. ASCII-only input never reaches ICU.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quarnel::text {

std::string lowercase(std::string_view text);

// Appends the lowercase form of `text` to `out`. Text without U+0130 or
// U+03A3 is mapped character by character with ICU's simple mapping (the
// same result for such text); the rest goes through ICU's full case mapper.
void lowercase_append(std::string_view text, std::string& out);

// Always through ICU's full case mapper (the reference for the above).
void lowercase_append_full(std::string_view text, std::string& out);

// UTF-16 text[0, n) lowercased in place, when ICU's simple per-character
// mapping gives the full mapping with the same length: the text holds no
// U+0130 or U+03A3 (and no character whose lowercase lies in another
// plane). Otherwise returns false with the text unchanged. Lone surrogates
// are kept as they are.
bool lowercase_in_place(char16_t* text, std::size_t n) noexcept;

// Appends the lowercase form of UTF-16 `text` to `out` through ICU's full
// case mapper (the reference for the above).
void lowercase_append_full(std::u16string_view text, std::u16string& out);

}  // namespace quarnel::text
