// Tokenizing with the default pattern without the regex engine.
//
// kDefaultPattern matches a maximal run of letters, digits and marks
// (\p{L}\p{N}\p{M}), or else one character that is neither a separator (\p{Z})
// nor in Other (\p{C}); anything else is skipped. Characters are classified
// with Oniguruma's own property tables, so the tokens are exactly the
// engine's, only several times faster.
//
// The pattern's leading (?i) changes nothing here: no character outside
// L/N/M case-folds to or from one inside, Z and C hold no cased characters,
// and every multi-character case folding consists of letters and marks only,
// so folded alternatives never extend or split a run. The equivalence tests
// check this over every code point. On malformed UTF-8 (never produced from
// a Python str) the matcher follows the engine too: a stray byte >= 0x80, a
// sequence cut off by the end of the text and a long form of an ASCII
// character each become a one-character token.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/token_list.hpp"

namespace quarnel::regex_tokenizer {

enum class CharClass : std::uint8_t {
    Skip,    // \p{Z} or \p{C}: never part of a token
    Word,    // \p{L}, \p{N} or \p{M}: joins a run
    Single,  // everything else: a token of its own
};

// Class of a code point as the engine's tables give it. Thread-safe.
CharClass classify(char32_t code);

// Appends the default pattern's tokens of `text` to `out`, each lowercased
// when `lowercase`.
void tokenize(std::string_view text, bool lowercase, TokenList& out);

}  // namespace quarnel::regex_tokenizer
