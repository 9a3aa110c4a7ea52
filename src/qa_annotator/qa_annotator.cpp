#include "qa_annotator/qa_annotator.hpp"

#include <algorithm>
#include <cstring>

#include "core/unaligned.hpp"
#include "pool/pool.hpp"
#include "core/texts.hpp"

namespace quarnel::qa_annotator {

namespace {

Error missing_answers(std::string_view qid) {
    return key_error(texts::missing_answers(qid));
}

Error missing_document(std::string_view docid) {
    return key_error(texts::missing_document(docid));
}

bool occurs_at(const TokenView& doc, std::uint32_t start, const TokenView& answer) noexcept {
    for (std::uint32_t k = 0; k < answer.size(); ++k) {
        const std::uint32_t len = answer.length(k);
        if (doc.length(start + k) != len || std::memcmp(doc.data(start + k), answer.data(k), len) != 0)
            return false;
    }
    return true;
}

// Documents are looked up one after another in list order (within a piece
// of a parallel stage too): start the memory traffic of the next two early.
void prefetch_ahead(const Corpus& corpus, const TokenList& docids, std::size_t i) noexcept {
    if (i + 2 < docids.size()) corpus.prefetch_slot(docids[i + 2]);
    if (i + 1 < docids.size()) corpus.prefetch_document(docids[i + 1]);
}

std::uint64_t load_word(const char* p) noexcept { return load_unaligned<std::uint64_t>(p); }

}  // namespace

AnswerSet::Key::Key(const TokenView& tokens, std::uint32_t i) noexcept
    : word(0), mask(0), length(tokens.length(i)), bytes(tokens.data(i)) {
    std::memcpy(&word, bytes, std::min<std::uint32_t>(length, 8));
    mask = length >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * length)) - 1;
}

bool AnswerSet::Key::matches(const char* token, std::uint32_t token_length, std::uint64_t token_word) const noexcept {
    return token_length == length && ((token_word ^ word) & mask) == 0 &&
           (length <= 8 || std::memcmp(token + 8, bytes + 8, length - 8) == 0);
}

bool AnswerSet::Key::matches(const TokenView& doc, std::uint32_t i) const noexcept {
    const std::uint32_t at = doc.offsets[i];
    return matches(doc.bytes + at, doc.offsets[i + 1] - at, load_word(doc.bytes + at));
}

AnswerSet::AnswerSet(std::vector<TokenList> answers) : answers_(std::move(answers)) {
    for (const TokenList& a : answers_) {
        const TokenView v = a.view();
        if (v.empty()) {
            has_empty_ = true;
        } else if (v.size() < kLongAnswer) {
            Short& a = short_.emplace_back();
            a.size = v.size();
            for (std::uint32_t i = 0; i < v.size(); ++i) a.keys[i] = Key(v, i);
            first_lengths_ |= v.length(0) < 64 ? std::uint64_t{1} << v.length(0) : 0;
        } else {
            Long& l = long_.emplace_back();
            l.keys.reserve(v.size());
            for (std::uint32_t i = 0; i < v.size(); ++i) l.keys.emplace_back(v, i);
            l.fallback.assign(v.size(), 0);
            for (std::uint32_t i = 1, k = 0; i < v.size(); ++i) {
                while (k > 0 && v[i] != v[k]) k = l.fallback[k - 1];
                if (v[i] == v[k]) ++k;
                l.fallback[i] = k;
            }
        }
    }
}

bool AnswerSet::any_short_occurs(const TokenView& doc) const noexcept {
    // One pass over the document's start positions, trying every answer at
    // each: a token's length and first word are read once, and a position
    // whose length starts no answer is skipped with one bit test.
    const std::uint32_t n = doc.size();
    for (std::uint32_t s = 0; s < n; ++s) {
        const std::uint32_t at = doc.offsets[s];
        const std::uint32_t length = doc.offsets[s + 1] - at;
        if (length < 64 && !((first_lengths_ >> length) & 1)) continue;
        const std::uint64_t word = load_word(doc.bytes + at);
        for (const Short& a : short_) {
            if (!a.keys[0].matches(doc.bytes + at, length, word) || a.size > n - s) continue;
            std::uint32_t k = 1;
            while (k < a.size && a.keys[k].matches(doc, s + k)) ++k;
            if (k == a.size) return true;
        }
    }
    return false;
}

bool AnswerSet::occurs(const TokenView& doc, const Long& answer) noexcept {
    const auto m = static_cast<std::uint32_t>(answer.keys.size());
    const std::uint32_t n = doc.size();
    std::uint32_t j = 0;  // answer tokens matched just before position s
    for (std::uint32_t s = 0; s < n; ++s) {
        if (n - s < m - j) return false;  // j never grows faster than s
        const std::uint32_t at = doc.offsets[s];
        const std::uint32_t length = doc.offsets[s + 1] - at;
        const std::uint64_t word = load_word(doc.bytes + at);
        for (;;) {
            if (answer.keys[j].matches(doc.bytes + at, length, word)) {
                if (++j == m) return true;
                break;
            }
            if (j == 0) break;
            j = answer.fallback[j - 1];
        }
    }
    return false;
}

std::uint32_t AnswerSet::judge(const TokenView& doc) const noexcept {
    if (has_empty_) return 1;
    if (!short_.empty() && any_short_occurs(doc)) return 1;
    for (const Long& a : long_)
        if (occurs(doc, a)) return 1;
    return 0;
}

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
    for (const auto& [qid, docids] : retrieved) {
        const auto found = answers.find(std::string_view(qid));
        if (found == answers.end()) return missing_answers(qid);
        const TokenList& texts = found->second;
        std::vector<TokenList> tokenized;
        tokenized.reserve(texts.size());
        for (std::size_t i = 0; i < texts.size(); ++i) tokenized.push_back(tokenizer_.tokenize(texts[i]));
        const AnswerSet answer_set(std::move(tokenized));

        Labels labels;
        labels.reserve(docids.size());
        for (std::size_t i = 0; i < docids.size(); ++i) {
            pool::checkpoint();
            prefetch_ahead(corpus_, docids, i);
            const std::string_view docid = docids[i];
            const auto doc = corpus_.find(docid);
            if (!doc) return missing_document(docid);
            labels.insert_or_assign(docid, answer_set.judge(*doc));
        }
        qrels.insert_or_assign(std::string_view(qid), std::move(labels));
    }
    return qrels;
}

Result<Qrels> QAAnnotator::annotate(const QidToDocids& retrieved, const QidToAnswers& answers) const {
    using Judged = std::pair<std::string_view, std::uint32_t>;
    using QuestionResult = std::pair<std::string_view, Labels>;
    return pool::try_map_into<Qrels>(retrieved.size(), [&](std::size_t q) -> Result<QuestionResult> {
        const std::string& qid = retrieved[q].first;
        const TokenList& docids = retrieved[q].second;
        const auto found = answers.find(std::string_view(qid));
        if (found == answers.end()) return missing_answers(qid);
        const TokenList& texts = found->second;
        const AnswerSet answer_set(
            pool::map_ordered<TokenList>(texts.size(), [&](std::size_t i) { return tokenizer_.tokenize(texts[i]); }));

        auto labels = pool::try_map_into<Labels>(docids.size(), [&](std::size_t d) -> Result<Judged> {
            prefetch_ahead(corpus_, docids, d);
            const std::string_view docid = docids[d];
            const auto doc = corpus_.find(docid);
            if (!doc) return missing_document(docid);
            return Judged{docid, answer_set.judge(*doc)};
        });
        if (!labels) return std::move(labels).error();
        return QuestionResult{qid, std::move(labels).value()};
    });
}

}  // namespace quarnel::qa_annotator
