// QAAnnotator: judges whether retrieved documents contain a question's
// answers as a contiguous run of whole tokens, and returns qrels.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/result.hpp"
#include "core/token_list.hpp"
#include "qa_annotator/corpus.hpp"
#include "regex_tokenizer/regex_tokenizer.hpp"

namespace quarnel {

// Hashing for maps looked up by string_view without building a string.
struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};

// One entry of the retrieval results: a question and its documents' ids.
struct Retrieved {
    std::string qid;
    TokenList docids;
};
// Converted from a dict, so question ids are unique.
using QidToDocids = std::vector<Retrieved>;
using QidToAnswers = std::unordered_map<std::string, TokenList, StringHash, std::equal_to<>>;

// Labels and qrels refer to the ids held by the QidToDocids they came from.
using Labels = std::unordered_map<std::string_view, std::uint32_t, StringHash>;
using Qrels = std::unordered_map<std::string_view, Labels, StringHash>;

// 1 when one of the answers occurs in the document as a contiguous run of
// byte-equal tokens (an empty answer occurs everywhere), else 0.
std::uint32_t judge_document(const TokenView& document, std::span<const TokenList> answers) noexcept;

class QAAnnotator {
public:
    QAAnnotator(RegexTokenizer tokenizer, Corpus corpus)
        : tokenizer_(std::move(tokenizer)), corpus_(std::move(corpus)) {}

    // Three nested stages on the worker pool: questions, each question's
    // answers, each question's documents. KeyError for a missing question
    // or document; no partial result.
    Result<Qrels> annotate(const QidToDocids& retrieved, const QidToAnswers& answers) const;

    // The same on the calling thread.
    Result<Qrels> annotate_non_optim(const QidToDocids& retrieved, const QidToAnswers& answers) const;

    const Corpus& corpus() const noexcept { return corpus_; }

private:
    RegexTokenizer tokenizer_;
    Corpus corpus_;
};

}  // namespace quarnel
