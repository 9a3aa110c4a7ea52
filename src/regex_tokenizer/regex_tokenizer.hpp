// RegexTokenizer: optional Unicode normalization of the whole text, regex
// matching (Oniguruma), optional full lowercasing of each token.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/result.hpp"
#include "core/token_list.hpp"
#include "regex/onig.hpp"
#include "text/normalize.hpp"

namespace quarnel::regex_tokenizer {

// The default pattern: a run of letters, digits and marks, or one character
// that is neither a separator nor in category Other.
inline constexpr std::string_view kDefaultPattern = "(?im)([\\p{L}\\p{N}\\p{M}]+)|([^\\p{Z}\\p{C}])";
inline constexpr std::string_view kDefaultNormalization = "nfd";

class RegexTokenizer {
public:
    // How matches are found. Auto uses the specialised matcher for
    // kDefaultPattern and the engine otherwise; Engine always searches with
    // Oniguruma (for tests and benchmarks: both give the same tokens).
    enum class Matching : std::uint8_t { Auto, Engine };

    // Compiles `pattern` and validates `normalization_from` (case-insensitive:
    // nfd, nfc, nfkd, nfkc; checked even when `normalize` is false).
    // ValueError on failure: the engine's message for a bad pattern, else
    // "Invalid normalization_from <lowercased value>".
    static Result<RegexTokenizer> create(std::string_view pattern, bool lowercase, bool normalize,
                                         std::string_view normalization_from,
                                         Matching matching = Matching::Auto);

    RegexTokenizer(RegexTokenizer&&) noexcept = default;
    RegexTokenizer& operator=(RegexTokenizer&&) noexcept = default;
    RegexTokenizer(const RegexTokenizer&) = delete;
    RegexTokenizer& operator=(const RegexTokenizer&) = delete;
    ~RegexTokenizer() = default;

    // Thread-safe; throws Fault when the regex engine reports a search error
    // (e.g. the retry limit of a match is exceeded).
    TokenList tokenize(std::string_view text) const;
    // Same, appending to `out`.
    void tokenize_into(std::string_view text, TokenList& out) const;
    // The tokens of every text, in order, tokenized in parallel on the
    // worker pool. A fault in any text is rethrown once the batch ended.
    std::vector<TokenList> batch_tokenize(std::span<const std::string> texts) const;

private:
    friend struct MatcherProbe;  // defined by the native tests: which matcher an instance runs

    RegexTokenizer(regex::Regex regex, text::NormalizationForm form, bool lowercase, bool normalize,
                   bool default_matcher) noexcept
        : regex_(std::move(regex)),
          form_(form),
          lowercase_(lowercase),
          normalize_(normalize),
          default_matcher_(default_matcher) {}

    regex::Regex regex_;
    text::NormalizationForm form_;
    bool lowercase_;
    bool normalize_;
    bool default_matcher_;
};

}  // namespace quarnel::regex_tokenizer
