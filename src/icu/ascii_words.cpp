#include "icu/ascii_words.hpp"

#include <array>
#include <cstdint>

namespace quarnel::icu_text {

namespace {

// Word_Break classes of the printable ASCII characters, as ICU's root word
// rules group them. MidNumLetQ is MidNumLet or Single_Quote.
enum Class : std::uint8_t {
    kOther,
    kSpace,       // WSegSpace: U+0020
    kLetter,      // ALetter: A-Z, a-z and, in ICU's root rules, @
    kNumeric,     // 0-9
    kExtendNum,   // ExtendNumLet: _
    kMidNum,      // , ;
    kMidNumLetQ,  // . '
};

constexpr std::array<Class, 128> make_classes() {
    std::array<Class, 128> c{};
    c[' '] = kSpace;
    for (char x = 'A'; x <= 'Z'; ++x) c[static_cast<unsigned char>(x)] = kLetter;
    for (char x = 'a'; x <= 'z'; ++x) c[static_cast<unsigned char>(x)] = kLetter;
    c['@'] = kLetter;
    for (char x = '0'; x <= '9'; ++x) c[static_cast<unsigned char>(x)] = kNumeric;
    c['_'] = kExtendNum;
    c[','] = kMidNum;
    c[';'] = kMidNum;
    c['.'] = kMidNumLetQ;
    c['\''] = kMidNumLetQ;
    return c;
}

constexpr std::array<Class, 128> kClasses = make_classes();

}  // namespace

bool is_printable_ascii(std::u16string_view text) noexcept {
    bool ok = true;
    for (const char16_t u : text) ok &= static_cast<char16_t>(u - 0x20) < 0x5F;
    return ok;
}

std::size_t ascii_segment_end(std::u16string_view text, std::size_t begin) noexcept {
    const std::size_t n = text.size();
    auto cls = [&](std::size_t i) { return kClasses[text[i]]; };
    std::size_t i = begin + 1;
    for (; i < n; ++i) {
        const Class a = cls(i - 1), b = cls(i);
        switch (a) {
            case kSpace:  // WB3d
                if (b == kSpace) continue;
                return i;
            case kLetter:
                if (b == kLetter || b == kNumeric || b == kExtendNum) continue;  // WB5, WB9, WB13a
                if (b == kMidNumLetQ && i + 1 < n && cls(i + 1) == kLetter) continue;  // WB6
                return i;
            case kNumeric:
                if (b == kNumeric || b == kLetter || b == kExtendNum) continue;  // WB8, WB10, WB13a
                if ((b == kMidNum || b == kMidNumLetQ) && i + 1 < n && cls(i + 1) == kNumeric) continue;  // WB12
                return i;
            case kExtendNum:
                if (b == kExtendNum || b == kLetter || b == kNumeric) continue;  // WB13a, WB13b
                return i;
            // WB7 and WB11, looking back within the segment only (as ICU's
            // iterator does, forward from the last boundary): a mark that
            // WB6 or WB12 let in has its letter or digit before it.
            case kMidNumLetQ:
                if (b == kLetter && i >= begin + 2 && cls(i - 2) == kLetter) continue;
                if (b == kNumeric && i >= begin + 2 && cls(i - 2) == kNumeric) continue;
                return i;
            case kMidNum:
                if (b == kNumeric && i >= begin + 2 && cls(i - 2) == kNumeric) continue;
                return i;
            default:
                return i;
        }
    }
    return i;
}

}  // namespace quarnel::icu_text
