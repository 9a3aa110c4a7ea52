#include "icu_word_pre_tokenizer/icu_word_pre_tokenizer.hpp"

#include <limits>

#include "core/fault.hpp"
#include "icu_word_pre_tokenizer/cleaning.hpp"
#include "icu_word_pre_tokenizer/white_space.hpp"
#include "pool/interrupt.hpp"
#include "text/lowercase.hpp"

namespace quarnel::icu_word_pre_tokenizer {

Result<ICUWordPreTokenizer> ICUWordPreTokenizer::create(StopwordSet stopwords) {
    QUARNEL_TRY(icu_word_pre_tokenizer::WordSegmenter segmenter, icu_word_pre_tokenizer::WordSegmenter::create());
    icu_word_pre_tokenizer::prepare_cleaning();
    return ICUWordPreTokenizer(std::move(segmenter), std::move(stopwords));
}

void ICUWordPreTokenizer::tokenize_batch(Utf16List& texts, bool remove_stopwords, bool lowercase,
                                         Utf16TokenGroups& out) const {
    out.clear();
    out.texts = texts.bytes();
    // Words and the spaces between them alternate: about one token per five
    // units of text.
    out.spans.reserve(texts.bytes().size() / 5 + 1);
    out.groups.reserve(texts.size());
    const std::span<const std::size_t> offsets = texts.offsets();
    char16_t* units = texts.size() ? texts.data(0) : nullptr;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        pool::checkpoint();
        tokenize_one(units, offsets[i], offsets[i + 1] - offsets[i], remove_stopwords, lowercase, out);
    }
}

std::vector<std::u16string> ICUWordPreTokenizer::tokenize(std::u16string_view text, bool remove_stopwords,
                                                          bool lowercase) const {
    Utf16List texts;
    texts.push_back(text);
    Utf16TokenGroups groups;
    tokenize_batch(texts, remove_stopwords, lowercase, groups);
    std::vector<std::u16string> out;
    for (std::size_t i = 0; i < groups.spans.size(); ++i) out.emplace_back(groups.token(0, i));
    return out;
}

void ICUWordPreTokenizer::tokenize_one(char16_t* units, std::size_t base, std::size_t n, bool remove_stopwords,
                                       bool lowercase, Utf16TokenGroups& out) const {
    char16_t* data = units + base;
    const std::u16string_view trimmed = icu_word_pre_tokenizer::trim_white_space({data, icu_word_pre_tokenizer::clean_in_place(data, n)});
    Utf16TokenGroups::Group group{base + static_cast<std::size_t>(trimmed.data() - data), out.spans.size(), false};
    // Cleaned text holds no controls: ASCII is printable ASCII.
    unsigned all = 0;
    for (const char16_t u : trimmed) all |= u;
    const bool ascii = all < 0x80;
    std::u16string_view text = trimmed;
    if (lowercase && !text::lowercase_in_place(units + group.base, text.size())) {
        // Its lowercase may be longer (U+0130 becomes two units): in `side`.
        group.base = out.side.size();
        group.in_side = true;
        text::lowercase_append_full(trimmed, out.side);
        text = std::u16string_view(out.side).substr(group.base);
    }
    if (text.size() > std::numeric_limits<std::uint32_t>::max()) fault("pre-tokenizer: text of 2^32 units or more");
    const bool filter = remove_stopwords && !stopwords_.empty();
    auto emit = [&](std::size_t begin, std::size_t end) {
        std::u16string_view piece = text.substr(begin, end - begin);
        if (icu_word_pre_tokenizer::is_white_space(piece.front()) || icu_word_pre_tokenizer::is_white_space(piece.back())) {
            piece = icu_word_pre_tokenizer::trim_white_space(piece);
            if (piece.empty()) return;
        }
        if (filter && stopwords_.find(piece) != stopwords_.end()) return;
        const auto at = static_cast<std::uint32_t>(piece.data() - text.data());
        out.spans.push_back({at, at + static_cast<std::uint32_t>(piece.size())});
    };
    const icu_word_pre_tokenizer::AsciiWords* fast = segmenter_.ascii_words();
    if (ascii && fast) {  // (an empty text too: it has no segments)
        for (std::size_t begin = 0, end; begin < text.size(); begin = end) {
            end = fast->segment_end(text, begin);
            emit(begin, end);
        }
    } else if (!text.empty()) {
        auto segments = segmenter_.segments(text);
        std::size_t begin = 0, end = 0;
        while (segments.next(begin, end)) emit(begin, end);
    }
    group.end = out.spans.size();
    out.groups.push_back(group);
}

}  // namespace quarnel::icu_word_pre_tokenizer
