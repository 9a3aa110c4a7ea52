// Shared by the regex tokenizer tests.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "append_utf8.hpp"
#include "core/token_list.hpp"
#include "regex_tokenizer/regex_tokenizer.hpp"
#include "codec/utf8.hpp"

using namespace quarnel::regex_tokenizer;

namespace quarnel::regex_tokenizer {
// Whether a tokenizer runs the default pattern's own matcher (which the
// equivalence tests compare with the engine) rather than the engine.
struct MatcherProbe {
    static bool uses_default_matcher(const RegexTokenizer& t) noexcept { return t.default_matcher_; }
};
}  // namespace quarnel::regex_tokenizer

namespace rt_test {

inline bool uses_default_matcher(const quarnel::regex_tokenizer::RegexTokenizer& t) noexcept {
    return quarnel::regex_tokenizer::MatcherProbe::uses_default_matcher(t);
}

using Strings = std::vector<std::string>;

inline std::string u8(std::initializer_list<char32_t> cps) {
    std::string s;
    for (char32_t c : cps) quarnel::codec::append_utf8(s, c);
    return s;
}

inline std::string u8(char32_t c) { return u8({c}); }

inline bool same(const quarnel::TokenList& a, const quarnel::TokenList& b) {
    const auto x = a.offsets(), y = b.offsets();
    return a.bytes() == b.bytes() && std::equal(x.begin(), x.end(), y.begin(), y.end());
}

inline std::string hex(std::string_view s) {
    std::string out;
    char buf[8];
    for (unsigned char c : s) {
        std::snprintf(buf, sizeof buf, "%02X ", c);
        out += buf;
    }
    return out;
}

inline quarnel::regex_tokenizer::RegexTokenizer make(std::string_view pattern, bool lowercase = true, bool normalize = true,
                                    std::string_view form = quarnel::regex_tokenizer::kDefaultNormalization,
                                    quarnel::regex_tokenizer::RegexTokenizer::Matching m = quarnel::regex_tokenizer::RegexTokenizer::Matching::Auto) {
    auto r = quarnel::regex_tokenizer::RegexTokenizer::create(pattern, lowercase, normalize, form, m);
    if (!r.ok()) {
        std::fprintf(stderr, "create(%s) failed: %s\n", std::string(pattern).c_str(), r.error().message.c_str());
        std::abort();
    }
    return std::move(r).value();
}

inline Strings tokens(const quarnel::regex_tokenizer::RegexTokenizer& t, std::string_view text) {
    const quarnel::TokenList list = t.tokenize(text);
    Strings out;
    for (std::size_t i = 0; i < list.size(); ++i) out.emplace_back(list[i]);
    return out;
}

}  // namespace rt_test
