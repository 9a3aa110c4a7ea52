#include "icu/white_space.hpp"

namespace quarnel::icu_text {

namespace {

// The White_Space character that ends at text[end) (2 or 3 bytes; every
// non-ASCII member is one of these), as its byte length, or 0.
std::size_t white_space_before(std::string_view text, std::size_t end) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    if (end >= 2 && p[end - 2] == 0xC2 && (p[end - 1] & 0xC0) == 0x80) {  // U+0080..U+00BF
        char32_t c = p[end - 1];
        return is_white_space(c) ? 2 : 0;
    }
    if (end >= 3 && (p[end - 3] == 0xE1 || p[end - 3] == 0xE2 || p[end - 3] == 0xE3) && (p[end - 2] & 0xC0) == 0x80 &&
        (p[end - 1] & 0xC0) == 0x80) {
        char32_t c = ((p[end - 3] & 0x0Fu) << 12) | ((p[end - 2] & 0x3Fu) << 6) | (p[end - 1] & 0x3Fu);
        return is_white_space(c) ? 3 : 0;
    }
    return 0;
}

// Same, for the character starting at text[begin].
std::size_t white_space_at(std::string_view text, std::size_t begin) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t left = text.size() - begin;
    if (p[begin] == 0xC2 && left >= 2 && (p[begin + 1] & 0xC0) == 0x80)
        return is_white_space(p[begin + 1]) ? 2 : 0;
    if ((p[begin] == 0xE1 || p[begin] == 0xE2 || p[begin] == 0xE3) && left >= 3 && (p[begin + 1] & 0xC0) == 0x80 &&
        (p[begin + 2] & 0xC0) == 0x80) {
        char32_t c = ((p[begin] & 0x0Fu) << 12) | ((p[begin + 1] & 0x3Fu) << 6) | (p[begin + 2] & 0x3Fu);
        return is_white_space(c) ? 3 : 0;
    }
    return 0;
}

}  // namespace

std::string_view trim_white_space(std::string_view text) noexcept {
    std::size_t begin = 0, end = text.size();
    while (begin < end) {
        const auto b = static_cast<unsigned char>(text[begin]);
        std::size_t n = b < 0x80 ? (is_white_space(b) ? 1 : 0) : white_space_at(text.substr(0, end), begin);
        if (n == 0) break;
        begin += n;
    }
    while (end > begin) {
        const auto b = static_cast<unsigned char>(text[end - 1]);
        std::size_t n = b < 0x80 ? (is_white_space(b) ? 1 : 0) : white_space_before(text.substr(begin), end - begin);
        if (n == 0) break;
        end -= n;
    }
    return text.substr(begin, end - begin);
}

}  // namespace quarnel::icu_text
