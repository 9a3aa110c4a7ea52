#include "qa_annotator/qa_annotator.hpp"

#include <cstring>

#include "pool/pool.hpp"

namespace quarnel {

namespace {

Error missing_answers(std::string_view qid) {
    return key_error("Missing answers for QID: " + std::string(qid));
}

Error missing_document(std::string_view docid) {
    return key_error("Missing tokenized corpus for docid: " + std::string(docid));
}

bool occurs_at(const TokenView& doc, std::uint32_t start, const TokenView& answer) noexcept {
    for (std::uint32_t k = 0; k < answer.size(); ++k) {
        const std::uint32_t len = answer.length(k);
        if (doc.length(start + k) != len || std::memcmp(doc.data(start + k), answer.data(k), len) != 0)
            return false;
    }
    return true;
}

}  // namespace

std::uint32_t judge_document(const TokenView& document, std::span<const TokenList> answers) noexcept {
    for (const TokenList& answer_list : answers) {
        const TokenView answer = answer_list.view();
        if (answer.empty()) return 1;
        if (answer.size() > document.size()) continue;
        const std::uint32_t last = document.size() - answer.size();
        for (std::uint32_t s = 0; s <= last; ++s)
            if (occurs_at(document, s, answer)) return 1;
    }
    return 0;
}

Result<Qrels> QAAnnotator::annotate_non_optim(const QidToDocids& retrieved, const QidToAnswers& answers) const {
    Qrels qrels;
    qrels.reserve(retrieved.size());
    for (const Retrieved& entry : retrieved) {
        const auto found = answers.find(std::string_view(entry.qid));
        if (found == answers.end()) return missing_answers(entry.qid);
        const TokenList& texts = found->second;
        std::vector<TokenList> tokenized;
        tokenized.reserve(texts.size());
        for (std::size_t i = 0; i < texts.size(); ++i) tokenized.push_back(tokenizer_.tokenize(texts[i]));

        Labels labels;
        labels.reserve(entry.docids.size());
        for (std::size_t i = 0; i < entry.docids.size(); ++i) {
            const std::string_view docid = entry.docids[i];
            const auto doc = corpus_.find(docid);
            if (!doc) return missing_document(docid);
            labels.insert_or_assign(docid, judge_document(*doc, tokenized));
        }
        qrels.insert_or_assign(std::string_view(entry.qid), std::move(labels));
    }
    return qrels;
}

Result<Qrels> QAAnnotator::annotate(const QidToDocids& retrieved, const QidToAnswers& answers) const {
    using Judged = std::pair<std::string_view, std::uint32_t>;
    using QuestionResult = std::pair<std::string_view, Labels>;
    return pool::try_map_into<Qrels>(retrieved.size(), [&](std::size_t q) -> Result<QuestionResult> {
        const Retrieved& entry = retrieved[q];
        const auto found = answers.find(std::string_view(entry.qid));
        if (found == answers.end()) return missing_answers(entry.qid);
        const TokenList& texts = found->second;
        const std::vector<TokenList> tokenized =
            pool::map_ordered<TokenList>(texts.size(), [&](std::size_t i) { return tokenizer_.tokenize(texts[i]); });

        auto labels = pool::try_map_into<Labels>(entry.docids.size(), [&](std::size_t d) -> Result<Judged> {
            const std::string_view docid = entry.docids[d];
            const auto doc = corpus_.find(docid);
            if (!doc) return missing_document(docid);
            return Judged{docid, judge_document(*doc, tokenized)};
        });
        if (!labels) return std::move(labels).error();
        return QuestionResult{entry.qid, std::move(labels).value()};
    });
}

}  // namespace quarnel
