// ICUWordPreTokenizer: cuts text in any language into words. For each text
// (UTF-16): delete control, surrogate and unassigned characters; trim
// White_Space; optionally lowercase the whole text; segment it into words
// (ICU's word break iterator); trim each piece, drop the empty ones and, on
// request, the stop words.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/result.hpp"
#include "core/string_hash.hpp"
#include "core/token_list.hpp"
#include "icu_word_pre_tokenizer/word_segmenter.hpp"

namespace quarnel::icu_word_pre_tokenizer {

using StopwordSet = std::unordered_set<std::u16string, StringHash, std::equal_to<>>;

class ICUWordPreTokenizer {
public:
    // Builds the segmenter. The stop words are kept exactly as given.
    static Result<ICUWordPreTokenizer> create(StopwordSet stopwords = {});

    // Tokenizes every text of `texts`, in order, on the calling thread: the
    // texts are cleaned and lowercased in place, and `out` (emptied first)
    // gets one group of spans per text, pointing into `texts`, which must
    // outlive it. Before each text is an interruption point
    // (pool::checkpoint): a call that its poll stops ends by
    // pool::Interrupted. Thread-safe; never fails otherwise (a segmenter
    // breaking its contract is a Fault).
    void tokenize_batch(Utf16List& texts, bool remove_stopwords, bool lowercase, Utf16TokenGroups& out) const;

    // One text's tokens, copied (for tests and tools).
    std::vector<std::u16string> tokenize(std::u16string_view text, bool remove_stopwords, bool lowercase) const;

private:
    ICUWordPreTokenizer(icu_word_pre_tokenizer::WordSegmenter segmenter, StopwordSet stopwords)
        : stopwords_(std::move(stopwords)), segmenter_(std::move(segmenter)) {}

    // The text of `texts` starting at units[base] with n units: cleaned,
    // trimmed, lowercased and segmented, as one more group of `out`.
    void tokenize_one(char16_t* units, std::size_t base, std::size_t n, bool remove_stopwords, bool lowercase,
                      Utf16TokenGroups& out) const;

    // Declared in reverse, so they are released segmenter first, then the
    // stop words.
    StopwordSet stopwords_;
    icu_word_pre_tokenizer::WordSegmenter segmenter_;
};

}  // namespace quarnel::icu_word_pre_tokenizer
