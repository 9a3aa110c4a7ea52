// Word boundaries of printable ASCII text (U+0020..U+007E) without ICU's
// break iterator, for the word rules of the ICU the module is linked with.
//
// Of the Unicode word boundary rules, only these can meet such characters:
// WB3d (spaces stay together), WB5, WB8-WB10, WB13a, WB13b (letters, digits
// and the underscore join one another), WB6/WB7 (a mark between two
// letters) and WB11/WB12 (a mark between two digits); anything else stands
// alone (WB999). Which character plays which part is ICU's to say, and ICU
// versions differ (whether COMMERCIAL AT is a letter, whether COLON joins
// letters), so the classes are not written down here: they are read off the
// iterator itself, from its boundaries on strings of one to three
// characters, when the classes are first built. The result is then checked
// against the iterator on every string of one or two characters, every
// string of up to four characters drawn one per class, and every character
// between two of those; rules that this model cannot express show up there,
// and then the fast path stands down and the iterator serves ASCII text too.
//
// Checked against ICU's iterator on every printable ASCII string of up to
// four characters and on random and corpus texts (tests/native/icu_word_pre_tokenizer).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include <unicode/brkiter.h>

namespace quarnel::icu_word_pre_tokenizer {

class AsciiWords {
public:
    // The classes `words` (a word break iterator) gives the printable ASCII
    // characters, if its boundaries on ASCII text are exactly this model's;
    // nullopt when they are not, or ICU fails.
    static std::optional<AsciiWords> derive(const icu::BreakIterator& words);

    // Of ICU's root word rules: derived from `root` (a root-locale word
    // iterator) on the first call, the same for the whole process; null
    // when the fast path stands down.
    static const AsciiWords* of_root(const icu::BreakIterator& root);

    // The classes read off `words`, unchecked (for tests).
    static AsciiWords probe(const icu::BreakIterator& words);
    // Whether this model gives the boundaries `words` gives on the checked
    // strings (see above).
    bool agrees_with(const icu::BreakIterator& words) const;

    // The end of the segment that starts at `begin` (< text.size()) of
    // printable ASCII `text`.
    std::size_t segment_end(std::u16string_view text, std::size_t begin) const noexcept {
        const std::size_t n = text.size();
        auto cls = [&](std::size_t i) { return classes_[text[i] & 0x7F]; };
        std::size_t i = begin + 1;
        const std::uint8_t first = cls(begin);
        if (first & kSpace) {  // WB3d
            while (i < n && (cls(i) & kSpace)) ++i;
            return i;
        }
        // Anything else stands alone (WB999), marks included: WB7 and WB11
        // join a mark to what follows only after a letter or digit in its
        // segment, which WB6 or WB12 would have let in.
        if (!(first & kJoin)) return i;
        for (;;) {
            while (i < n && (cls(i) & kJoin)) ++i;
            if (i + 1 >= n) return i;
            // A mark between two letters (WB6, WB7) or two digits (WB11, WB12).
            const std::uint8_t before = cls(i - 1), mark = cls(i), after = cls(i + 1);
            const bool letters = (before & after & kLetter) && (mark & kMidLetter);
            const bool digits = (before & after & kDigit) && (mark & kMidDigit);
            if (!letters && !digits) return i;
            i += 2;
        }
    }

    // A character's class bits (for tests and diagnostics).
    std::uint8_t class_of(char16_t c) const noexcept { return classes_[c & 0x7F]; }

    // Class bits: a character may have several.
    static constexpr std::uint8_t kJoin = 1;        // letters, digits, ExtendNumLet: join each other
    static constexpr std::uint8_t kLetter = 2;      // AHLetter, of the joiners
    static constexpr std::uint8_t kDigit = 4;       // Numeric, of the joiners
    static constexpr std::uint8_t kMidLetter = 8;   // MidLetter, MidNumLet, Single_Quote
    static constexpr std::uint8_t kMidDigit = 16;   // MidNum, MidNumLet, Single_Quote
    static constexpr std::uint8_t kSpace = 32;      // WSegSpace

private:
    std::array<std::uint8_t, 128> classes_{};
};

}  // namespace quarnel::icu_word_pre_tokenizer
