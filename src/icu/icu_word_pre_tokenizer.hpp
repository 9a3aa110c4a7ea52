// ICUWordPreTokenizer: cuts text in any language into words. For each text:
// delete control, surrogate and unassigned characters; trim White_Space;
// optionally lowercase the whole text; segment it into words (ICU's word
// break iterator); trim each piece, drop the empty ones and, on request,
// the stop words.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/result.hpp"
#include "core/token_list.hpp"
#include "icu/cleaning.hpp"
#include "icu/word_segmenter.hpp"

namespace quarnel {

// Hash and equality that let a set of std::string be searched with a
// string_view, without building a string.
struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};

using StopwordSet = std::unordered_set<std::string, StringHash, std::equal_to<>>;

class ICUWordPreTokenizer {
public:
    // Builds the segmenter and compiles the cleaning pattern. The stop words
    // are kept exactly as given.
    static Result<ICUWordPreTokenizer> create(StopwordSet stopwords = {});

    // Thread-safe; never fails (a segmenter breaking its contract is a Fault).
    TokenList tokenize(std::string_view text, bool remove_stopwords, bool lowercase) const;
    // Same, appending to `out`.
    void tokenize_into(std::string_view text, bool remove_stopwords, bool lowercase, TokenList& out) const;

    const icu_text::WordSegmenter& segmenter() const noexcept { return segmenter_; }
    const icu_text::Cleaner& cleaner() const noexcept { return clean_regex_; }

private:
    ICUWordPreTokenizer(icu_text::WordSegmenter segmenter, icu_text::Cleaner clean_regex, StopwordSet stopwords)
        : stopwords_(std::move(stopwords)), clean_regex_(std::move(clean_regex)), segmenter_(std::move(segmenter)) {}

    // Declared in reverse, so they are released segmenter first, then the
    // pattern, then the stop words.
    StopwordSet stopwords_;
    icu_text::Cleaner clean_regex_;
    icu_text::WordSegmenter segmenter_;
};

}  // namespace quarnel
