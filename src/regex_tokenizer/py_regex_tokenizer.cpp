// The Python class RegexTokenizer: entries, docs and glue.
#include "binding/build.hpp"
#include "binding/class.hpp"
#include "regex_tokenizer/regex_tokenizer.hpp"
#include "core/texts.hpp"

namespace quarnel::binding {

using regex_tokenizer::RegexTokenizer;
using regex_tokenizer::kDefaultNormalization;
using regex_tokenizer::kDefaultPattern;

namespace {

constexpr Entry kNew{"RegexTokenizer", "__new__",
                     {elided("pattern", kDefaultPattern), defaulted("lowercase", true), defaulted("normalize", true),
                      elided("normalization_from", kDefaultNormalization)}};
constexpr Entry kTokenize{"RegexTokenizer", "tokenize", {required<std::string>("text")}};
constexpr Entry kBatchTokenize{"RegexTokenizer", "batch_tokenize", {required<std::vector<std::string>>("texts")}};
constexpr Entry kCall = kBatchTokenize.renamed("__call__");

Result<RegexTokenizer> make(const Args<kNew>& args) {
    QUARNEL_TRY(std::string pattern, args.get<std::string, "pattern">());
    QUARNEL_TRY(bool lowercase, args.get<bool, "lowercase">());
    QUARNEL_TRY(bool normalize, args.get<bool, "normalize">());
    QUARNEL_TRY(std::string form, args.get<std::string, "normalization_from">());
    return RegexTokenizer::create(pattern, lowercase, normalize, form);
}

Result<PyObject*> tokenize(const RegexTokenizer& tokenizer, const Args<kTokenize>& args) {
    QUARNEL_TRY(std::string text, args.get<std::string, "text">());
    TokenList tokens = without_gil([&] { return tokenizer.tokenize(text); });
    return built(build_result(tokens));
}

Result<PyObject*> batch_tokenize(const RegexTokenizer& tokenizer, const Args<kBatchTokenize>& args) {
    QUARNEL_TRY(std::vector<std::string> texts, args.get<std::vector<std::string>, "texts">());
    std::vector<TokenList> tokens = without_gil([&] { return tokenizer.batch_tokenize(texts); });
    return built(build_result(tokens));
}

}  // namespace

template <>
ClassDef& class_def<RegexTokenizer>() {
    static ClassDef def = define<kNew, make>(
        texts::kRegexTokenizerDoc,
        {method<kTokenize, tokenize>(), method<kBatchTokenize, batch_tokenize>()}, call<kCall, batch_tokenize>);
    return def;
}

}  // namespace quarnel::binding
