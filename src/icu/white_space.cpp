#include "icu/white_space.hpp"

#include "text/utf8.hpp"

namespace quarnel::icu_text {

std::string_view trim_white_space(std::string_view text) noexcept {
    std::size_t begin = 0, end = text.size();
    while (begin < end) {
        const std::size_t n = text::char_length_at(text, begin);
        if (!is_white_space(text::decode_char(text.data() + begin, n))) break;
        begin += n;
    }
    while (end > begin) {
        std::size_t n = 1;  // back to the last character's lead byte
        while (n < 4 && n < end - begin && (static_cast<unsigned char>(text[end - n]) & 0xC0) == 0x80) ++n;
        if (!is_white_space(text::decode_char(text.data() + end - n, n))) break;
        end -= n;
    }
    return text.substr(begin, end - begin);
}

}  // namespace quarnel::icu_text
