// The Python class QAAnnotator: entries, docs and glue.
#include "binding/build.hpp"
#include "binding/class.hpp"
#include "qa_annotator/qa_annotator.hpp"

namespace quarnel::binding {

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

#define QUARNEL_ANNOTATE_DOC_TAIL                                                                         \
    "\n"                                                                                                  \
    "## Pipelines:\n"                                                                                     \
    "    1. Tokenize answers with regex-based tokenizer.\n"                                               \
    "    2. Judge whether there is at least one answer in answers that is sub-strings of tokenized_corpus.\n" \
    "    3. Collecting and return query revelences (qrels).\n"                                            \
    "\n"                                                                                                  \
    "## Args:\n"                                                                                          \
    "    qid_to_docids (HashMap<String, Vec<String>>): qid -> [doc_id]. All retrieval results\n"         \
    "    qid_to_answers (HashMap<String, Vec<String>>): qid -> [answer_str].\n"                          \
    "\n"                                                                                                  \
    "## Returns:\n"                                                                                       \
    "    qrels (HashMap<String, HashMap<String, u32>>): qid -> doc_id -> 1/0 (revelent/irrevelent) "

}  // namespace

template <>
ClassDef& class_def<QAAnnotator>() {
    static ClassDef def = define<kNew, make>(
        "QAAnnotator uses a Regex-based tokenizer to cut the english texts, and judge whether the certain\n"
        "documents contains the answers by sub-string list matching.",
        {
            method<kAnnotateNonOptim, annotate_with<&QAAnnotator::annotate_non_optim>>(
                "Annotate the documents, judge whether the certain documents contains the answers by sub-string "
                "list matching, return qrels.\n" QUARNEL_ANNOTATE_DOC_TAIL),
            method<kAnnotate, annotate_with<&QAAnnotator::annotate>>(
                "Multi-threaded version of Annotate the documents, judge whether the certain documents \n"
                "contains the answers by sub-string list matching, return qrels.\n" QUARNEL_ANNOTATE_DOC_TAIL),
        });
    return def;
}

}  // namespace quarnel::binding
