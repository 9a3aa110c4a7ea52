// QAAnnotator over columns: a corpus from a column of document ids and a
// column of token lists, and a run (question id, document id, answers per
// row) judged into a column of labels.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "columnar/input.hpp"
#include "columnar/output.hpp"
#include "core/result.hpp"
#include "qa_annotator/qa_annotator.hpp"

namespace quarnel::columnar {

using qa_annotator::Corpus;
using qa_annotator::QAAnnotator;

// The first text found that is not UTF-8, for the binding to report.
struct InvalidText {
    const char* column = nullptr;
    std::size_t row = 0;
    std::string_view text;
};

// The corpus of rows (docids[i], tokens[i]); a later row with the same id
// replaces the earlier, as in a dict. A null token list is an empty
// document. ValueError for columns of different lengths or a null id
// (or a null token); ValueError kNotUtf8 with `invalid` set for text that is
// not UTF-8.
Result<Corpus> corpus_from_columns(const StringColumn& docids, const StringListColumn& tokens, InvalidText& invalid);

// Judges a run: row i retrieved document docids[i] for question qids[i],
// whose answers are answers[j] for the first row j of that question (a null
// list: no answers). The result is a struct<qid, docid, label: uint32> of one
// row per row of the run, in its order: the label is the annotator's
// (QAAnnotator::annotate), null when the question or document id is null.
// KeyError for a document missing from the corpus, as annotate gives.
Result<std::shared_ptr<Node>> judge_run(const QAAnnotator& annotator, const StringColumn& qids,
                                        const StringColumn& docids, const StringListColumn& answers,
                                        InvalidText& invalid);

}  // namespace quarnel::columnar
