// Pseudo text: every token of a rep written as many times as its frequency,
// the copies separated by single spaces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quarnel::converter {

// One entry of a rep as the renderer sees it: the token's text is
// `prefix` followed by `text` (UTF-8), written `count` times (none if <= 0).
struct Token {
    std::string_view prefix;
    std::string_view text;
    std::int32_t count;
};

// The rendering: each copy of a token's text in turn, a space before a
// copy whenever the text is not empty at that moment, so copies of an empty
// token write nothing at the start of a text.

// The exact size of a rendered text in code points, and its widest code
// point (0 for an empty text), so that the text can be written straight
// into a buffer of the right width. nullopt when the length overflows.
struct TextSize {
    std::size_t length;
    char32_t max_char;
};
std::optional<TextSize> measure(std::span<const Token> tokens) noexcept;

// Writes the text as code units of type Unit (1, 2 or 4 bytes, wide enough
// for size.max_char) into `out`, which has room for exactly size.length of
// them.
template <class Unit>
void render_into(std::span<const Token> tokens, Unit* out);

// The same rendering as UTF-8 bytes (the tokens' own): its exact size
// (nullopt when it overflows), and writing it into room for exactly that.
std::optional<std::size_t> measure_utf8(std::span<const Token> tokens) noexcept;
void render_utf8_into(std::span<const Token> tokens, char* out);

extern template void render_into<std::uint8_t>(std::span<const Token>, std::uint8_t*);
extern template void render_into<std::uint16_t>(std::span<const Token>, std::uint16_t*);
extern template void render_into<std::uint32_t>(std::span<const Token>, std::uint32_t*);

}  // namespace quarnel::converter
