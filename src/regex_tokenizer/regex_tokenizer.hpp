// RegexTokenizer: optional Unicode normalization of the whole text, regex
// matching (Oniguruma), optional full lowercasing of each token.
#pragma once

#include <string>
#include <string_view>

#include "core/result.hpp"
#include "core/token_list.hpp"

namespace quarnel {

// The default pattern: a run of letters, digits and marks, or one character
// that is neither a separator nor in category Other.
inline constexpr std::string_view kDefaultPattern = "(?im)([\\p{L}\\p{N}\\p{M}]+)|([^\\p{Z}\\p{C}])";
inline constexpr std::string_view kDefaultNormalization = "nfd";

class RegexTokenizer {
public:
    // Compiles `pattern` and validates `normalization_from` (case-insensitive:
    // nfd, nfc, nfkd, nfkc). ValueError on failure.
    static Result<RegexTokenizer> create(std::string_view pattern, bool lowercase, bool normalize,
                                         std::string_view normalization_from);

    // Thread-safe; throws Fault when the regex engine reports a search error.
    TokenList tokenize(std::string_view text) const;

    // ... implementation-defined members
};

}  // namespace quarnel
