// Word boundaries of printable ASCII text (U+0020..U+007E) without ICU's
// break iterator: the Unicode word boundary rules as ICU's root rules apply
// them to those characters. Only the rules that such characters can meet
// remain (WB3d, WB5-WB13b), with the classes of ICU's root rules, which
// differ from the Unicode data's in two places:
//   - COLON is not MidLetter (only locales that write words with a colon,
//     such as Swedish, have it there), so it is a segment of its own;
//   - COMMERCIAL AT is a letter, so "user@example.com" stays one word.
//
// Checked against ICU's iterator on every printable ASCII string of up to
// four characters and on random and corpus texts (tests/native/icu).
#pragma once

#include <cstddef>
#include <string_view>

namespace quarnel::icu_text {

// The end of the segment that starts at `begin` (< text.size()) of printable
// ASCII `text`.
std::size_t ascii_segment_end(std::u16string_view text, std::size_t begin) noexcept;

}  // namespace quarnel::icu_text
