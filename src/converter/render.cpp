#include "converter/render.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

#include "codec/utf8.hpp"

namespace quarnel::converter {

namespace {

// Code points and widest code point of valid UTF-8.
struct Span {
    std::size_t length = 0;
    char32_t max_char = 0;
};

void add_utf8(std::string_view s, Span& span) noexcept {
    if (codec::is_ascii(s)) {
        span.length += s.size();
        for (char c : s) span.max_char = std::max<char32_t>(span.max_char, static_cast<unsigned char>(c));
        return;
    }
    for (std::size_t pos = 0; pos < s.size();) {
        const std::size_t len = codec::char_length_at(s, pos);
        span.max_char = std::max(span.max_char, codec::decode_char(s.data() + pos, len));
        ++span.length;
        pos += len;
    }
}

template <class Unit>
Unit* decode_into(std::string_view s, Unit* out) noexcept {
    for (std::size_t pos = 0; pos < s.size();) {
        const std::size_t len = codec::char_length_at(s, pos);
        *out++ = static_cast<Unit>(codec::decode_char(s.data() + pos, len));
        pos += len;
    }
    return out;
}

bool checked_add(std::size_t& total, std::size_t more) noexcept { return !__builtin_add_overflow(total, more, &total); }

}  // namespace

std::optional<TextSize> measure(std::span<const Token> tokens) noexcept {
    std::size_t length = 0;
    char32_t max_char = 0;
    for (const Token& t : tokens) {
        if (t.count <= 0) continue;
        Span token;
        add_utf8(t.prefix, token);
        add_utf8(t.text, token);
        const auto copies = static_cast<std::size_t>(t.count);
        if (token.length == 0) {
            // Only the separators, and none while the text is still empty.
            if (length > 0 && !checked_add(length, copies)) return std::nullopt;
            continue;
        }
        std::size_t block = 0;  // a separator and the token
        if (__builtin_mul_overflow(copies, token.length + 1, &block)) return std::nullopt;
        const bool first = length == 0;  // the first copy of the text has no separator
        if (!checked_add(length, block)) return std::nullopt;
        length -= first;
        max_char = std::max({max_char, token.max_char, char32_t{' '}});
    }
    if (length == 0) max_char = 0;
    return TextSize{length, max_char};
}

namespace {

// The rendering, each token's units made by encode(text, out) -> end (its
// code points in Unit, or its UTF-8 bytes as they are).
template <class Unit, class Encode>
void render_with(std::span<const Token> tokens, Unit* out, Encode&& encode) {
    Unit* const start = out;
    std::vector<Unit> token;
    for (const Token& t : tokens) {
        if (t.count <= 0) continue;
        token.resize(t.prefix.size() + t.text.size());
        Unit* end = encode(t.text, encode(t.prefix, token.data()));
        const auto length = static_cast<std::size_t>(end - token.data());
        auto copies = static_cast<std::size_t>(t.count);
        if (length == 0) {
            if (out != start) out = std::fill_n(out, copies, Unit{' '});
            continue;
        }
        if (out == start) {
            out = std::copy_n(token.data(), length, out);
            if (--copies == 0) continue;
        }
        // One block of separator + token, then doubling copies of what is
        // already written.
        Unit* const block = out;
        *out++ = Unit{' '};
        out = std::copy_n(token.data(), length, out);
        const std::size_t block_size = length + 1;
        for (std::size_t done = 1; done < copies;) {
            const std::size_t n = std::min(done, copies - done);
            std::memcpy(out, block, n * block_size * sizeof(Unit));
            out += n * block_size;
            done += n;
        }
    }
}

}  // namespace

template <class Unit>
void render_into(std::span<const Token> tokens, Unit* out) {
    render_with(tokens, out, [](std::string_view s, Unit* d) { return decode_into(s, d); });
}

void render_utf8_into(std::span<const Token> tokens, char* out) {
    render_with(tokens, out, [](std::string_view s, char* d) { return std::copy(s.begin(), s.end(), d); });
}

std::optional<std::size_t> measure_utf8(std::span<const Token> tokens) noexcept {
    std::size_t size = 0;
    for (const Token& t : tokens) {
        if (t.count <= 0) continue;
        const std::size_t length = t.prefix.size() + t.text.size();
        const auto copies = static_cast<std::size_t>(t.count);
        if (length == 0) {
            if (size > 0 && !checked_add(size, copies)) return std::nullopt;
            continue;
        }
        std::size_t block = 0;
        if (__builtin_mul_overflow(copies, length + 1, &block)) return std::nullopt;
        const bool first = size == 0;
        if (!checked_add(size, block)) return std::nullopt;
        size -= first;
    }
    return size;
}

template void render_into<std::uint8_t>(std::span<const Token>, std::uint8_t*);
template void render_into<std::uint16_t>(std::span<const Token>, std::uint16_t*);
template void render_into<std::uint32_t>(std::span<const Token>, std::uint32_t*);

}  // namespace quarnel::converter
