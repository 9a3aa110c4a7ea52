// The Python class RegexTokenizer: entries, docs and glue.
#include "binding/build.hpp"
#include "binding/class.hpp"
#include "regex_tokenizer/regex_tokenizer.hpp"

namespace quarnel::binding {

namespace {

constexpr Entry kNew{"RegexTokenizer", "__new__", {"pattern", "lowercase", "normalize", "normalization_from"}, 0};
constexpr Entry kTokenize{"RegexTokenizer", "tokenize", {"text"}, 1};
constexpr Entry kBatchTokenize{"RegexTokenizer", "batch_tokenize", {"texts"}, 1};
constexpr Entry kCall{"RegexTokenizer", "__call__", {"texts"}, 1};

Result<RegexTokenizer> make(const Args& args) {
    QUARNEL_TRY(std::string pattern, args.get_or<std::string>(0, std::string(kDefaultPattern)));
    QUARNEL_TRY(bool lowercase, args.get_or<bool>(1, true));
    QUARNEL_TRY(bool normalize, args.get_or<bool>(2, true));
    QUARNEL_TRY(std::string form, args.get_or<std::string>(3, std::string(kDefaultNormalization)));
    return RegexTokenizer::create(pattern, lowercase, normalize, form);
}

Result<PyObject*> tokenize(const RegexTokenizer& tokenizer, const Args& args) {
    QUARNEL_TRY(std::string text, args.get<std::string>(0));
    TokenList tokens = without_gil([&] { return tokenizer.tokenize(text); });
    return built(build_result(tokens));
}

Result<PyObject*> batch_tokenize(const RegexTokenizer& tokenizer, const Args& args) {
    QUARNEL_TRY(std::vector<std::string> texts, args.get<std::vector<std::string>>(0));
    std::vector<TokenList> tokens = without_gil([&] { return tokenizer.batch_tokenize(texts); });
    return built(build_result(tokens));
}

}  // namespace

template <>
ClassDef& class_def<RegexTokenizer>() {
    static ClassDef def{
        "RegexTokenizer",
        "(pattern=..., lowercase=True, normalize=True, normalization_from=...)",
        "The Python wrapper of the native `RegexTokenizer`.\n"
        "`RegexTokenizer` mimics the tokenization code of established open-domain question-answering code bases.\n"
        "It performs a regex-based tokenization of English string input.",
        sizeof(Instance<RegexTokenizer>),
        construct<RegexTokenizer, kNew, make>,
        call<RegexTokenizer, kCall, batch_tokenize>,
        dealloc<RegexTokenizer>,
        {
            {"tokenize", "($self, text)", "", method<RegexTokenizer, kTokenize, tokenize>},
            {"batch_tokenize", "($self, texts)", "", method<RegexTokenizer, kBatchTokenize, batch_tokenize>},
        },
    };
    return def;
}

}  // namespace quarnel::binding
