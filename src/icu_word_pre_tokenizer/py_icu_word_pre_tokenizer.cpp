// The Python class ICUWordPreTokenizer: entries, docs and glue.
#include "binding/build.hpp"
#include "binding/class.hpp"
#include "binding/utf16.hpp"
#include "icu_word_pre_tokenizer/icu_word_pre_tokenizer.hpp"
#include "core/texts.hpp"

namespace quarnel::binding {

using icu_word_pre_tokenizer::ICUWordPreTokenizer;
using icu_word_pre_tokenizer::StopwordSet;

namespace {

constexpr Entry kNew{"ICUWordPreTokenizer", "__new__", {elided<StopwordSet>("stopword_sets")}};
constexpr Entry kTokenize{"ICUWordPreTokenizer", "tokenize",
                          {required<Utf16Text>("text"), defaulted("remove_stopwords", false), defaulted("lowercase", true)}};
constexpr Entry kBatchTokenize{"ICUWordPreTokenizer", "batch_tokenize",
                               {required<Utf16Texts>("texts"), defaulted("remove_stopwords", false), defaulted("lowercase", true)}};
constexpr Entry kCall = kBatchTokenize.renamed("__call__");

Result<ICUWordPreTokenizer> make(const Args<kNew>& args) {
    QUARNEL_TRY(StopwordSet stopwords, args.get<StopwordSet, "stopword_sets">());
    return ICUWordPreTokenizer::create(std::move(stopwords));
}

struct Flags {
    bool remove_stopwords;
    bool lowercase;
};

template <const Entry& E>
Result<Flags> flags(const Args<E>& args) {
    QUARNEL_TRY(bool remove_stopwords, args.template get<bool, "remove_stopwords">());
    QUARNEL_TRY(bool lowercase, args.template get<bool, "lowercase">());
    return Flags{remove_stopwords, lowercase};
}

Result<PyObject*> tokenize(const ICUWordPreTokenizer& tokenizer, const Args<kTokenize>& args) {
    QUARNEL_TRY(Utf16Text text, args.get<Utf16Text, "text">());
    QUARNEL_TRY(Flags f, flags(args));
    without_gil([&] { tokenizer.tokenize_batch(text.list(), f.remove_stopwords, f.lowercase, text.tokens()); });
    return built(build_result(text.tokens(), std::size_t{0}));
}

// On the calling thread, texts in order, the lock released once; a
// checkpoint between texts lets Ctrl-C stop the batch.
Result<PyObject*> batch_tokenize(const ICUWordPreTokenizer& tokenizer, const Args<kBatchTokenize>& args) {
    QUARNEL_TRY(Utf16Texts texts, args.get<Utf16Texts, "texts">());
    QUARNEL_TRY(Flags f, flags(args));
    without_gil([&] { tokenizer.tokenize_batch(texts.list(), f.remove_stopwords, f.lowercase, texts.tokens()); });
    return built(build_result(texts.tokens()));
}

}  // namespace

template <>
ClassDef& class_def<ICUWordPreTokenizer>() {
    static ClassDef def = define<kNew, make>(
        texts::kICUWordPreTokenizerDoc,
        {method<kTokenize, tokenize>(), method<kBatchTokenize, batch_tokenize>()}, call<kCall, batch_tokenize>);
    return def;
}

}  // namespace quarnel::binding
