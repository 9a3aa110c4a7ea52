// Cleaning: deleting every character of general category Cc (controls), Cs
// (surrogates) or Cn (unassigned code points and noncharacters), as ICU's
// character data has them: the same Unicode version as the case mapping and
// the word break iterator that follow.
#pragma once

#include <cstddef>

namespace quarnel::icu_word_pre_tokenizer {

// Whether cleaning deletes `c` (a code point, or a lone surrogate).
bool is_deleted(char32_t c) noexcept;

// Deletes those characters from text[0, n) in place, closing the gaps with
// nothing; a surrogate that is not half of a pair is deleted as Cs. Returns
// the new length.
std::size_t clean_in_place(char16_t* text, std::size_t n) noexcept;

// Builds the lookup table now rather than on the first call.
void prepare_cleaning();

}  // namespace quarnel::icu_word_pre_tokenizer
