#include "icu/icu_word_pre_tokenizer.hpp"

#include "icu/cleaning.hpp"
#include "icu/white_space.hpp"
#include "text/lowercase.hpp"

namespace quarnel {

Result<ICUWordPreTokenizer> ICUWordPreTokenizer::create(StopwordSet stopwords) {
    QUARNEL_TRY(icu_text::WordSegmenter segmenter, icu_text::WordSegmenter::create());
    icu_text::prepare_cleaning();
    return ICUWordPreTokenizer(std::move(segmenter), std::move(stopwords));
}

bool ICUWordPreTokenizer::tokenize_batch(Utf16List& texts, bool remove_stopwords, bool lowercase,
                                         Utf16TokenGroups& out, const std::function<bool()>& interrupted) const {
    // Words and the spaces between them alternate: about one token per five
    // units of text, never more units than the text.
    const std::size_t units = texts.bytes().size();
    out.tokens.reserve(out.tokens.size() + units / 5 + 1, out.tokens.bytes().size() + units);
    out.ends.reserve(out.ends.size() + texts.size());
    std::u16string lowered;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (interrupted && interrupted()) return false;
        tokenize_into(texts.data(i), texts[i].size(), remove_stopwords, lowercase, out.tokens, lowered);
        out.close_group();
    }
    return true;
}

Utf16List ICUWordPreTokenizer::tokenize(std::u16string_view text, bool remove_stopwords, bool lowercase) const {
    std::u16string copy(text);
    std::u16string lowered;
    Utf16List out;
    tokenize_into(copy.data(), copy.size(), remove_stopwords, lowercase, out, lowered);
    return out;
}

void ICUWordPreTokenizer::tokenize_into(char16_t* data, std::size_t n, bool remove_stopwords, bool lowercase,
                                        Utf16List& out, std::u16string& lowered) const {
    std::u16string_view text = icu_text::trim_white_space({data, icu_text::clean_in_place(data, n)});
    if (text.empty()) return;
    if (lowercase) {
        lowered.clear();
        text::lowercase_append(text, lowered);
        text = lowered;
    }
    const bool filter = remove_stopwords && !stopwords_.empty();
    auto segments = segmenter_.segments(text);
    std::size_t begin = 0, end = 0;
    while (segments.next(begin, end)) {
        std::u16string_view piece = text.substr(begin, end - begin);
        if (icu_text::is_white_space(piece.front()) || icu_text::is_white_space(piece.back())) {
            piece = icu_text::trim_white_space(piece);
            if (piece.empty()) continue;
        }
        if (filter && stopwords_.find(piece) != stopwords_.end()) continue;
        out.push_back(piece);
    }
}

}  // namespace quarnel
