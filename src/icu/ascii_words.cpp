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

std::size_t ascii_segment_end(std::u16string_view text, std::size_t begin) noexcept {
    const std::size_t n = text.size();
    auto cls = [&](std::size_t i) { return kClasses[text[i]]; };
    // Letters, digits and the underscore join whatever of them follows
    // (WB5, WB8, WB9, WB10, WB13a, WB13b).
    auto joins = [](Class c) { return c == kLetter || c == kNumeric || c == kExtendNum; };
    std::size_t i = begin + 1;
    const Class first = cls(begin);
    if (first == kSpace) {  // WB3d
        while (i < n && text[i] == u' ') ++i;
        return i;
    }
    // Anything else stands alone (WB999), marks included: WB7 and WB11 join
    // a mark to what follows only after a letter or digit in its segment,
    // which WB6 or WB12 would have let in.
    if (!joins(first)) return i;
    for (;;) {
        while (i < n && joins(cls(i))) ++i;
        if (i + 1 >= n) return i;
        // A mark between two letters (WB6, WB7) or two digits (WB11, WB12).
        const Class before = cls(i - 1), mark = cls(i), after = cls(i + 1);
        const bool letters = before == kLetter && after == kLetter && mark == kMidNumLetQ;
        const bool digits = before == kNumeric && after == kNumeric && (mark == kMidNum || mark == kMidNumLetQ);
        if (!letters && !digits) return i;
        i += 2;
    }
}

}  // namespace quarnel::icu_text
