#include "columnar/annotate.hpp"

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "columnar/token_lists.hpp"
#include "pool/interrupt.hpp"
#include "core/texts.hpp"

namespace quarnel::columnar {

using qa_annotator::Corpus;
using qa_annotator::Labels;
using qa_annotator::QAAnnotator;
using qa_annotator::QidToAnswers;
using qa_annotator::QidToDocids;
using qa_annotator::Qrels;

namespace {

Error not_utf8(InvalidText& invalid, const char* column, std::size_t row, std::string_view text) {
    invalid = {column, row, text};
    return value_error(std::string(kNotUtf8));
}

Result<void> same_rows(const char* a, std::size_t na, const char* b, std::size_t nb) {
    if (na == nb) return {};
    return value_error(texts::row_counts_differ(a, na, b, nb));
}

// Row r's text of a string column at a cursor, or nullopt for null.
std::optional<std::string_view> text_at(const StringColumn& c, const RowCursor& at) {
    const StringChunk& chunk = c.chunks()[at.chunk()];
    if (chunk.is_null(at.row())) return std::nullopt;
    return chunk[at.row()];
}

// Whether every string of rows [first, last) is UTF-8: for strings kept in
// one run of bytes, the run is, and no string starts inside a character.
bool strings_utf8(const StringChunk& strings, std::size_t first, std::size_t last) {
    if (const auto run = strings.run(first, last)) {
        if (!is_utf8(*run)) return false;
        for (std::size_t t = first; t < last; ++t) {
            const std::string_view s = strings[t];
            if (!s.empty() && (static_cast<unsigned char>(s[0]) & 0xC0) == 0x80) return false;
        }
        return true;
    }
    for (std::size_t t = first; t < last; ++t)
        if (!strings.is_null(t) && !is_utf8(strings[t])) return false;
    return true;
}

}  // namespace

Result<Corpus> corpus_from_columns(const StringColumn& docids, const StringListColumn& tokens, InvalidText& invalid) {
    const std::size_t n = docids.rows();
    QUARNEL_TRY_VOID(same_rows("docids", n, "tokens", tokens.rows()));
    Corpus::Builder builder(n);
    RowCursor id_at(docids), tokens_at(tokens);
    for (std::size_t r = 0; r < n; ++r, id_at.next(), tokens_at.next()) {
        if ((r & 1023) == 0) pool::checkpoint();
        const auto id = text_at(docids, id_at);
        if (!id) return value_error(texts::null_docid(r));
        if (!is_utf8(*id)) return not_utf8(invalid, "docids", r, *id);
        builder.begin(*id);
        const StringListChunk& list = tokens.chunks()[tokens_at.chunk()];
        if (!list.is_null(tokens_at.row())) {
            const auto [first, last] = list.range(tokens_at.row());
            builder.reserve_tokens(last - first);
            const StringChunk& strings = list.strings();
            const bool valid = strings_utf8(strings, first, last);
            for (std::size_t t = first; t < last; ++t) {
                if (strings.is_null(t)) return value_error(texts::null_token(r));
                const std::string_view token = strings[t];
                if (!valid && !is_utf8(token)) return not_utf8(invalid, "tokens", r, token);
                builder.add_token(token);
            }
        }
        builder.end();
    }
    return std::move(builder).finish();
}

Result<std::shared_ptr<Node>> judge_run(const QAAnnotator& annotator, const StringColumn& qids,
                                        const StringColumn& docids, const StringListColumn& answers,
                                        InvalidText& invalid) {
    const std::size_t n = qids.rows();
    QUARNEL_TRY_VOID(same_rows("qids", n, "docids", docids.rows()));
    QUARNEL_TRY_VOID(same_rows("qids", n, "answers", answers.rows()));

    // The run as the dicts of annotate would hold it: each question's
    // documents in row order, its answers from its first row.
    QidToDocids retrieved;
    QidToAnswers answer_texts;
    std::unordered_map<std::string_view, std::size_t> question_of;  // qid -> index in `retrieved`
    std::vector<std::optional<std::string_view>> row_qid(n), row_docid(n);
    RowCursor q_at(qids), d_at(docids), a_at(answers);
    for (std::size_t r = 0; r < n; ++r, q_at.next(), d_at.next(), a_at.next()) {
        if ((r & 1023) == 0) pool::checkpoint();
        const auto qid = text_at(qids, q_at);
        const auto docid = text_at(docids, d_at);
        if (qid && !is_utf8(*qid)) return not_utf8(invalid, "qids", r, *qid);
        if (docid && !is_utf8(*docid)) return not_utf8(invalid, "docids", r, *docid);
        row_qid[r] = qid;
        row_docid[r] = docid;
        if (!qid || !docid) continue;
        auto [it, first] = question_of.try_emplace(*qid, retrieved.size());
        if (first) {
            retrieved.emplace_back(std::string(*qid), TokenList());
            TokenList texts;
            const StringListChunk& list = answers.chunks()[a_at.chunk()];
            if (!list.is_null(a_at.row())) {
                const auto [b, e] = list.range(a_at.row());
                for (std::size_t t = b; t < e; ++t) {
                    if (list.strings().is_null(t)) continue;
                    const std::string_view answer = list.strings()[t];
                    if (!is_utf8(answer)) return not_utf8(invalid, "answers", r, answer);
                    texts.push_back(answer);
                }
            }
            answer_texts.insert_or_assign(std::string(*qid), std::move(texts));
        }
        retrieved[it->second].second.push_back(*docid);
    }
    QUARNEL_TRY(Qrels qrels, annotator.annotate(retrieved, answer_texts));

    auto labels = std::make_shared<Node>();
    labels->format = "I";
    labels->name = "label";
    labels->length = static_cast<std::int64_t>(n);
    Buffer values(4 * n);
    std::size_t nulls = 0;
    for (std::size_t r = 0; r < n; ++r) {
        std::uint32_t label = 0;
        if (row_qid[r] && row_docid[r]) {
            const Labels* judged = qrels.find(*row_qid[r]);
            const std::uint32_t* l = judged ? judged->find(*row_docid[r]) : nullptr;
            if (!l) fault("a judged row has no label");
            label = *l;
        } else {
            ++nulls;
        }
        values.as<std::uint32_t>()[r] = label;
    }
    labels->null_count = static_cast<std::int64_t>(nulls);
    labels->buffers.push_back(nulls ? validity_bitmap(n, [&](std::size_t r) { return row_qid[r] && row_docid[r]; })
                                    : Buffer());
    labels->buffers.push_back(std::move(values));

    auto run = std::make_shared<Node>();
    run->format = "+s";
    run->length = static_cast<std::int64_t>(n);
    run->buffers.emplace_back();
    run->children.push_back(string_node("qid", n, [&](std::size_t r) { return row_qid[r]; }));
    run->children.push_back(string_node("docid", n, [&](std::size_t r) { return row_docid[r]; }));
    run->children.push_back(std::move(labels));
    return run;
}

}  // namespace quarnel::columnar
