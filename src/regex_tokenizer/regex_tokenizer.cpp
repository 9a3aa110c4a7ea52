#include "regex_tokenizer/regex_tokenizer.hpp"

#include "pool/pool.hpp"
#include "regex_tokenizer/default_matcher.hpp"
#include "text/lowercase.hpp"
#include "core/texts.hpp"

namespace quarnel::regex_tokenizer {

Result<RegexTokenizer> RegexTokenizer::create(std::string_view pattern, bool lowercase, bool normalize,
                                              std::string_view normalization_from, Matching matching) {
    QUARNEL_TRY(regex::Regex regex, regex::Regex::compile(pattern));
    std::string form_name = text::lowercase(normalization_from);
    auto form = text::parse_normalization_form(form_name);
    if (!form) return value_error(texts::invalid_normalization(form_name));
    bool fast = matching == Matching::Auto && pattern == kDefaultPattern;
    return RegexTokenizer(std::move(regex), *form, lowercase, normalize, fast);
}

TokenList RegexTokenizer::tokenize(std::string_view text) const {
    TokenList out;
    // Running text has about one token per five bytes; without lowercasing,
    // the tokens never hold more bytes than the text.
    out.reserve(text.size() / 5 + 1, text.size());
    tokenize_into(text, out);
    return out;
}

std::vector<TokenList> RegexTokenizer::batch_tokenize(std::span<const std::string> texts) const {
    return pool::map_ordered<TokenList>(texts.size(), [&](std::size_t i) { return tokenize(texts[i]); });
}

void RegexTokenizer::tokenize_into(std::string_view text, TokenList& out) const {
    std::string storage;
    if (normalize_) text = text::normalize(form_, text, storage);

    if (default_matcher_) {
        regex_tokenizer::tokenize(text, lowercase_, out);
        return;
    }
    regex::for_each_match(regex_, text, [&](const regex::Match& m) {
        std::string_view token = text.substr(m.begin, m.end - m.begin);
        if (lowercase_) {
            text::lowercase_append(token, out.open_bytes());
            out.close_token();
        } else {
            out.push_back(token);
        }
    });
}

}  // namespace quarnel::regex_tokenizer
