// The Python class QAAnnotator: entries, docs and glue.
#include "binding/build.hpp"
#include "binding/class.hpp"
#include "qa_annotator/qa_annotator.hpp"

namespace quarnel::binding {

namespace {

constexpr Entry kNew{"QAAnnotator",
                     "__new__",
                     {"docid_to_tokenized_corpus", "pattern", "lowercase", "normalize", "normalization_from"},
                     1};
constexpr Entry kAnnotateNonOptim{"QAAnnotator", "annotate_non_optim", {"qid_to_docids", "qid_to_answers"}, 2};
constexpr Entry kAnnotate{"QAAnnotator", "annotate", {"qid_to_docids", "qid_to_answers"}, 2};

Result<QAAnnotator> make(const Args& args) {
    QUARNEL_TRY(Corpus corpus, args.get<Corpus>(0));
    QUARNEL_TRY(std::string pattern, args.get_or<std::string>(1, std::string(kDefaultPattern)));
    QUARNEL_TRY(bool lowercase, args.get_or<bool>(2, true));
    QUARNEL_TRY(bool normalize, args.get_or<bool>(3, true));
    QUARNEL_TRY(std::string form, args.get_or<std::string>(4, std::string(kDefaultNormalization)));
    QUARNEL_TRY(RegexTokenizer tokenizer, RegexTokenizer::create(pattern, lowercase, normalize, form));
    return QAAnnotator(std::move(tokenizer), std::move(corpus));
}

template <Result<Qrels> (QAAnnotator::*Run)(const QidToDocids&, const QidToAnswers&) const>
Result<PyObject*> annotate_with(const QAAnnotator& annotator, const Args& args) {
    QUARNEL_TRY(QidToDocids retrieved, args.get<QidToDocids>(0));
    QUARNEL_TRY(QidToAnswers answers, args.get<QidToAnswers>(1));
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
    static ClassDef def{
        "QAAnnotator",
        "(docid_to_tokenized_corpus, pattern=..., lowercase=True, normalize=True, normalization_from=...)",
        "QAAnnotator uses a Regex-based tokenizer to cut the english texts, and judge whether the certain\n"
        "documents contains the answers by sub-string list matching.",
        sizeof(Instance<QAAnnotator>),
        construct<QAAnnotator, kNew, make>,
        nullptr,
        dealloc<QAAnnotator>,
        {
            {"annotate_non_optim", "($self, qid_to_docids, qid_to_answers)",
             "Annotate the documents, judge whether the certain documents contains the answers by sub-string list "
             "matching, return qrels.\n" QUARNEL_ANNOTATE_DOC_TAIL,
             method<QAAnnotator, kAnnotateNonOptim, annotate_with<&QAAnnotator::annotate_non_optim>>},
            {"annotate", "($self, qid_to_docids, qid_to_answers)",
             "Multi-threaded version of Annotate the documents, judge whether the certain documents \n"
             "contains the answers by sub-string list matching, return qrels.\n" QUARNEL_ANNOTATE_DOC_TAIL,
             method<QAAnnotator, kAnnotate, annotate_with<&QAAnnotator::annotate>>},
        },
    };
    return def;
}

}  // namespace quarnel::binding
