#include "icu/icu_word_pre_tokenizer.hpp"

#include "icu/white_space.hpp"
#include "text/lowercase.hpp"

namespace quarnel {

Result<ICUWordPreTokenizer> ICUWordPreTokenizer::create(StopwordSet stopwords) {
    QUARNEL_TRY(icu_text::WordSegmenter segmenter, icu_text::WordSegmenter::create());
    QUARNEL_TRY(icu_text::Cleaner cleaner, icu_text::Cleaner::create());
    return ICUWordPreTokenizer(std::move(segmenter), std::move(cleaner), std::move(stopwords));
}

TokenList ICUWordPreTokenizer::tokenize(std::string_view text, bool remove_stopwords, bool lowercase) const {
    TokenList out;
    tokenize_into(text, remove_stopwords, lowercase, out);
    return out;
}

void ICUWordPreTokenizer::tokenize_into(std::string_view text, bool remove_stopwords, bool lowercase,
                                        TokenList& out) const {
    std::string cleaned;
    text = icu_text::trim_white_space(clean_regex_.clean(text, cleaned));
    if (text.empty()) return;
    std::string lowered;
    if (lowercase) {
        lowered.reserve(text.size());
        text::lowercase_append(text, lowered);
        text = lowered;
    }
    const bool filter = remove_stopwords && !stopwords_.empty();
    // Words and the spaces between them alternate: about one token per
    // eight bytes of text, never more bytes than the text.
    out.reserve(out.size() + text.size() / 8 + 1, out.bytes().size() + text.size());
    auto segments = segmenter_.segments(text);
    std::size_t begin = 0, end = 0;
    while (segments.next(begin, end)) {
        std::string_view piece = text.substr(begin, end - begin);
        // Most pieces start and end with an ASCII character that is not a
        // space (a word) or are a single space; only the rest need the full
        // trim.
        const auto first = static_cast<unsigned char>(piece.front()), last = static_cast<unsigned char>(piece.back());
        if (piece.size() == 1 && first == ' ') continue;
        if (first >= 0x80 || last >= 0x80 || icu_text::is_white_space(first) || icu_text::is_white_space(last)) {
            piece = icu_text::trim_white_space(piece);
            if (piece.empty()) continue;
        }
        if (filter && stopwords_.find(piece) != stopwords_.end()) continue;
        out.push_back(piece);
    }
}

}  // namespace quarnel
