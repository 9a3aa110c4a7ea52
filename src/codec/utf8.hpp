// UTF-8: decoding, validation and encoding, shared by the text, regex and
// class code and the binding layer (which is why they stand alone here).
//
// Decoding follows the regex engine's own reading of UTF-8: the length of a
// sequence comes from its lead byte alone (clipped here at the end of the
// text), and the payload bits are taken without further validation. On valid
// UTF-8 that is ordinary decoding; on malformed input it keeps our scanners
// stepping over the same characters as Oniguruma.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/unaligned.hpp"

namespace quarnel::codec {

// Sequence length announced by a lead byte (1 for ASCII, for stray
// continuation bytes and for 0xF5..0xFF).
inline constexpr std::uint8_t kUtf8LeadLength[256] = {
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 00
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 20
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 40
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 60
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 80
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // A0
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,  // C0
    3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // E0
};

// Length of the character starting at text[pos] (pos < text.size()),
// clipped to the end of the text.
inline std::size_t char_length_at(std::string_view text, std::size_t pos) noexcept {
    std::size_t n = kUtf8LeadLength[static_cast<unsigned char>(text[pos])];
    std::size_t left = text.size() - pos;
    return n < left ? n : left;
}

// Decodes the character of `len` bytes (as given by char_length_at) at p.
inline char32_t decode_char(const char* p, std::size_t len) noexcept {
    auto c = static_cast<unsigned char>(p[0]);
    if (len == 1) return c;
    // The lead byte keeps 6 - (len - 1) payload bits for an n-byte sequence
    // (5 bits for 2 bytes, 4 for 3, ...); a clipped sequence is read as the
    // bytes that are there.
    std::size_t extra = len - 1;
    char32_t code = c & ((1u << (6 - extra)) - 1);
    for (std::size_t i = 1; i < len; ++i) code = (code << 6) | (static_cast<unsigned char>(p[i]) & 0x3F);
    return code;
}

inline bool is_ascii(std::string_view text) noexcept {
    const char* p = text.data();
    std::size_t n = text.size();
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        if (load_unaligned<std::uint64_t>(p + i) & 0x8080808080808080ull) return false;
    }
    for (; i < n; ++i)
        if (static_cast<unsigned char>(p[i]) & 0x80) return false;
    return true;
}

// Strict decoding: no overlong forms, no surrogates, nothing above
// U+10FFFF. Calls sink(code_point, byte_length) for each well-formed
// character until the sink returns false or a malformed sequence starts;
// returns the number of bytes decoded.
template <class Sink>
inline std::size_t decode_utf8(std::string_view text, Sink&& sink) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned c = p[i];
        char32_t cp;
        std::size_t len;
        if (c < 0x80) {
            cp = c, len = 1;
        } else if (c >= 0xC2 && c <= 0xDF && n - i >= 2 && (p[i + 1] & 0xC0) == 0x80) {
            cp = ((c & 0x1Fu) << 6) | (p[i + 1] & 0x3Fu), len = 2;
        } else if (c >= 0xE0 && c <= 0xEF && n - i >= 3 && (p[i + 1] & 0xC0) == 0x80 && (p[i + 2] & 0xC0) == 0x80) {
            cp = ((c & 0x0Fu) << 12) | ((p[i + 1] & 0x3Fu) << 6) | (p[i + 2] & 0x3Fu), len = 3;
            if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) break;
        } else if (c >= 0xF0 && c <= 0xF4 && n - i >= 4 && (p[i + 1] & 0xC0) == 0x80 && (p[i + 2] & 0xC0) == 0x80 &&
                   (p[i + 3] & 0xC0) == 0x80) {
            cp = ((c & 0x07u) << 18) | ((p[i + 1] & 0x3Fu) << 12) | ((p[i + 2] & 0x3Fu) << 6) | (p[i + 3] & 0x3Fu);
            len = 4;
            if (cp < 0x10000 || cp > 0x10FFFF) break;
        } else {
            break;
        }
        if (!sink(cp, len)) break;
        i += len;
    }
    return i;
}

inline bool is_valid_utf8(std::string_view text) noexcept {
    return decode_utf8(text, [](char32_t, std::size_t) { return true; }) == text.size();
}

// Writes the UTF-8 form of `cp` at `d`; returns the end.
inline unsigned char* encode_utf8(char32_t cp, unsigned char* d) noexcept {
    if (cp < 0x80) {
        *d++ = static_cast<unsigned char>(cp);
    } else if (cp < 0x800) {
        *d++ = static_cast<unsigned char>(0xC0 | (cp >> 6));
        *d++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *d++ = static_cast<unsigned char>(0xE0 | (cp >> 12));
        *d++ = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        *d++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    } else {
        *d++ = static_cast<unsigned char>(0xF0 | (cp >> 18));
        *d++ = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
        *d++ = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        *d++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    }
    return d;
}

inline char ascii_lower(char c) noexcept {
    auto u = static_cast<unsigned char>(c);
    return static_cast<char>(u + (static_cast<unsigned char>(u - 'A') < 26 ? 32 : 0));
}

// Appends `ascii` (all bytes < 0x80) lowercased to `out`.
inline void append_ascii_lower(std::string& out, std::string_view ascii) {
    std::size_t old = out.size();
    out.append(ascii);
    char* d = out.data() + old;
    for (std::size_t i = 0; i < ascii.size(); ++i) d[i] = ascii_lower(d[i]);
}

}  // namespace quarnel::codec
