// The Python class QAAnnotator: entries, docs and glue.
#include "binding/build.hpp"
#include "binding/class.hpp"
#include "qa_annotator/qa_annotator.hpp"
#include "core/texts.hpp"

namespace quarnel::binding {

using qa_annotator::Corpus;
using qa_annotator::QAAnnotator;
using qa_annotator::QidToAnswers;
using qa_annotator::QidToDocids;
using qa_annotator::Qrels;
using regex_tokenizer::RegexTokenizer;
using regex_tokenizer::kDefaultNormalization;
using regex_tokenizer::kDefaultPattern;

namespace {

constexpr Entry kNew{"QAAnnotator", "__new__",
                     {required<Corpus>("docid_to_tokenized_corpus"), elided("pattern", kDefaultPattern),
                      defaulted("lowercase", true), defaulted("normalize", true),
                      elided("normalization_from", kDefaultNormalization)}};
constexpr Entry kAnnotateNonOptim{"QAAnnotator", "annotate_non_optim",
                                  {required<QidToDocids>("qid_to_docids"), required<QidToAnswers>("qid_to_answers")}};
constexpr Entry kAnnotate = kAnnotateNonOptim.renamed("annotate");

Result<QAAnnotator> make(const Args<kNew>& args) {
    QUARNEL_TRY(Corpus corpus, args.get<Corpus, "docid_to_tokenized_corpus">());
    QUARNEL_TRY(std::string pattern, args.get<std::string, "pattern">());
    QUARNEL_TRY(bool lowercase, args.get<bool, "lowercase">());
    QUARNEL_TRY(bool normalize, args.get<bool, "normalize">());
    QUARNEL_TRY(std::string form, args.get<std::string, "normalization_from">());
    QUARNEL_TRY(RegexTokenizer tokenizer, RegexTokenizer::create(pattern, lowercase, normalize, form));
    return QAAnnotator(std::move(tokenizer), std::move(corpus));
}

template <Result<Qrels> (QAAnnotator::*Run)(const QidToDocids&, const QidToAnswers&) const>
Result<PyObject*> annotate_with(const QAAnnotator& annotator, const Args<kAnnotateNonOptim>& args) {
    QUARNEL_TRY(QidToDocids retrieved, args.get<QidToDocids, "qid_to_docids">());
    QUARNEL_TRY(QidToAnswers answers, args.get<QidToAnswers, "qid_to_answers">());
    Result<Qrels> qrels = without_gil([&] { return (annotator.*Run)(retrieved, answers); });
    if (!qrels) return std::move(qrels).error();
    return built(build_result(qrels.value()));
}

}  // namespace

template <>
ClassDef& class_def<QAAnnotator>() {
    static ClassDef def = define<kNew, make>(
        texts::kQAAnnotatorDoc,
        {
            method<kAnnotateNonOptim, annotate_with<&QAAnnotator::annotate_non_optim>>(texts::kAnnotateNonOptimDoc),
            method<kAnnotate, annotate_with<&QAAnnotator::annotate>>(texts::kAnnotateDoc),
        });
    return def;
}

}  // namespace quarnel::binding
