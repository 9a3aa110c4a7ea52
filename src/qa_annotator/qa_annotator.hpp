// QAAnnotator: judges whether retrieved documents contain a question's
// answers as a contiguous run of whole tokens, and returns qrels.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/flat_map.hpp"
#include "core/result.hpp"
#include "core/string_hash.hpp"
#include "core/token_list.hpp"
#include "qa_annotator/corpus.hpp"
#include "regex_tokenizer/regex_tokenizer.hpp"

namespace quarnel::qa_annotator {

using regex_tokenizer::RegexTokenizer;

// The retrieval results, in the caller's order: each question's id and its
// documents' ids. Converted from a dict, so question ids are unique.
using QidToDocids = std::vector<std::pair<std::string, TokenList>>;
using QidToAnswers = std::unordered_map<std::string, TokenList, StringHash, std::equal_to<>>;

// Labels and qrels refer to the ids held by the QidToDocids they came from.
using Labels = FlatMap<std::string_view, std::uint32_t, StringHash>;
using Qrels = FlatMap<std::string_view, Labels, StringHash>;

// 1 when one of the answers occurs in the document as a contiguous run of
// byte-equal tokens (an empty answer occurs everywhere), else 0. The
// straightforward scan, kept as the reference for AnswerSet::judge.
std::uint32_t judge_document(const TokenView& document, std::span<const TokenList> answers) noexcept;

// A question's tokenized answers, prepared for judging many documents;
// gives exactly judge_document's labels, in time linear in the document.
// Short answers (the usual case) are tried together at every start position
// of one pass: each token is kept as a length and a masked 8-byte word, so
// most positions are rejected without touching memcmp, and a start costs
// at most kLongAnswer - 1 token comparisons per answer. Longer
// answers are searched one by one with Knuth-Morris-Pratt over token
// identities (at most two comparisons per document token, amortized), so
// a repetitive document cannot make them quadratic.
class AnswerSet {
public:
    static constexpr std::uint32_t kLongAnswer = 5;  // tokens; from here on, KMP

    explicit AnswerSet(std::vector<TokenList> answers);
    // Moves keep the answers' buffers (and so the views into them); copies would not.
    AnswerSet(AnswerSet&&) noexcept = default;
    AnswerSet(const AnswerSet&) = delete;
    AnswerSet& operator=(const AnswerSet&) = delete;

    // `document` must have Corpus::kReadSlack readable bytes after the start
    // of every token (corpus documents do).
    std::uint32_t judge(const TokenView& document) const noexcept;

private:
    // One answer token, compared with a document token whose first 8 bytes
    // are loaded as one word.
    struct Key {
        std::uint64_t word = 0;
        std::uint64_t mask = 0;
        std::uint32_t length = 0;
        const char* bytes = nullptr;

        Key() = default;
        Key(const TokenView& tokens, std::uint32_t i) noexcept;
        bool matches(const char* token, std::uint32_t token_length, std::uint64_t token_word) const noexcept;
        bool matches(const TokenView& document, std::uint32_t i) const noexcept;
    };
    struct Short {
        std::array<Key, kLongAnswer - 1> keys;
        std::uint32_t size;
    };
    struct Long {
        std::vector<Key> keys;
        std::vector<std::uint32_t> fallback;  // KMP: longest proper border of keys[0..i]
    };

    bool any_short_occurs(const TokenView& document) const noexcept;
    static bool occurs(const TokenView& document, const Long& answer) noexcept;

    std::vector<TokenList> answers_;
    std::vector<Short> short_;
    std::vector<Long> long_;
    std::uint64_t first_lengths_ = 0;  // bit L: some short answer starts with a token of L < 64 bytes
    bool has_empty_ = false;
};

class QAAnnotator {
public:
    QAAnnotator(RegexTokenizer tokenizer, Corpus corpus)
        : tokenizer_(std::move(tokenizer)), corpus_(std::move(corpus)) {}

    // Three nested stages on the worker pool: questions, each question's
    // answers, each question's documents. KeyError for a missing question
    // or document; no partial result.
    Result<Qrels> annotate(const QidToDocids& retrieved, const QidToAnswers& answers) const;

    // The same on the calling thread (with a pool::checkpoint() per document).
    Result<Qrels> annotate_non_optim(const QidToDocids& retrieved, const QidToAnswers& answers) const;

private:
    RegexTokenizer tokenizer_;
    Corpus corpus_;
};

}  // namespace quarnel::qa_annotator
