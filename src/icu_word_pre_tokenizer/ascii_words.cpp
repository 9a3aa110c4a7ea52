#include "icu_word_pre_tokenizer/ascii_words.hpp"

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include <unicode/utext.h>

namespace quarnel::icu_word_pre_tokenizer {

namespace {

constexpr char16_t kFirst = u' ', kLast = u'~';

// A clone of a word iterator that gives its boundaries of short strings.
class Probe {
public:
    explicit Probe(const icu::BreakIterator& words) : it_(words.clone()) {}
    ~Probe() { utext_close(&ut_); }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    // The boundaries after the start of `text` (not empty) into `out`;
    // false if ICU fails.
    bool boundaries(std::u16string_view text, std::vector<std::size_t>& out) {
        out.clear();
        if (!it_) return false;
        UErrorCode status = U_ZERO_ERROR;
        utext_openUChars(&ut_, reinterpret_cast<const UChar*>(text.data()), static_cast<int64_t>(text.size()),
                         &status);
        if (U_FAILURE(status)) return false;
        it_->setText(&ut_, status);
        if (U_FAILURE(status) || it_->first() != 0) return false;
        for (int32_t b = it_->next(); b != icu::BreakIterator::DONE; b = it_->next()) {
            if (b <= 0 || static_cast<std::size_t>(b) > text.size()) return false;
            out.push_back(static_cast<std::size_t>(b));
        }
        return true;
    }

    // Whether the string of `chars` is one segment.
    bool joined(std::initializer_list<char16_t> chars) {
        const std::u16string_view text(chars.begin(), chars.size());
        return boundaries(text, scratch_) && scratch_.size() == 1 && scratch_[0] == text.size();
    }

private:
    std::unique_ptr<icu::BreakIterator> it_;
    UText ut_ = UTEXT_INITIALIZER;
    std::vector<std::size_t> scratch_;
};

}  // namespace

AsciiWords AsciiWords::probe(const icu::BreakIterator& words) {
    Probe icu(words);
    AsciiWords model;
    auto& c = model.classes_;
    // 'a' and '0', a letter and a digit in every version of the rules,
    // are the anchors. A joiner joins them on either side; a space joins
    // itself; a mark joins two letters or two digits around it.
    for (char16_t x = kFirst; x <= kLast; ++x) {
        if (icu.joined({u'a', x}) && icu.joined({x, u'a'}) && icu.joined({u'0', x}) && icu.joined({x, u'0'})) {
            c[x] = kJoin;
            continue;
        }
        if (icu.joined({x, x})) c[x] |= kSpace;
        if (icu.joined({u'a', x, u'a'})) c[x] |= kMidLetter;
        if (icu.joined({u'0', x, u'0'})) c[x] |= kMidDigit;
    }
    // Which joiners are letters and which digits only shows around a mark:
    // joined by one that joins letters ("a.b") or one that joins digits
    // ("1,2"). Without such marks the difference never matters.
    char16_t mid_letter = 0, mid_digit = 0;
    for (char16_t x = kFirst; x <= kLast; ++x) {
        if (!mid_letter && (c[x] & kMidLetter)) mid_letter = x;
        if (!mid_digit && (c[x] & kMidDigit)) mid_digit = x;
    }
    for (char16_t x = kFirst; x <= kLast; ++x) {
        if (!(c[x] & kJoin)) continue;
        if (mid_letter && icu.joined({u'a', mid_letter, x}) && icu.joined({x, mid_letter, u'a'})) c[x] |= kLetter;
        if (mid_digit && icu.joined({u'0', mid_digit, x}) && icu.joined({x, mid_digit, u'0'})) c[x] |= kDigit;
    }
    return model;
}

bool AsciiWords::agrees_with(const icu::BreakIterator& words) const {
    Probe icu(words);
    std::vector<std::size_t> want, got;
    auto check = [&](std::u16string_view text) {
        got.clear();
        for (std::size_t b = 0; b < text.size();) got.push_back(b = segment_end(text, b));
        return icu.boundaries(text, want) && want == got;
    };
    // Every string of one or two characters.
    std::u16string text;
    for (char16_t x = kFirst; x <= kLast; ++x) {
        if (!check(std::u16string(1, x))) return false;
        for (char16_t y = kFirst; y <= kLast; ++y)
            if (!check(text.assign({x, y}))) return false;
    }
    // One character of each class stands for the others: every string of
    // three and four of them, and every character between two of them.
    std::u16string reps;
    for (char16_t x = kFirst; x <= kLast; ++x) {
        bool seen = false;
        for (const char16_t r : reps) seen = seen || classes_[r] == classes_[x];
        if (!seen) reps += x;
    }
    for (const char16_t a : reps)
        for (const char16_t b : reps) {
            for (char16_t x = kFirst; x <= kLast; ++x)
                if (!check(text.assign({a, x, b}))) return false;
            for (const char16_t d : reps) {
                if (!check(text.assign({a, b, d}))) return false;
                for (const char16_t e : reps)
                    if (!check(text.assign({a, b, d, e}))) return false;
            }
        }
    return true;
}

std::optional<AsciiWords> AsciiWords::derive(const icu::BreakIterator& words) {
    AsciiWords model = probe(words);
    if (!model.agrees_with(words)) return std::nullopt;
    return model;
}

const AsciiWords* AsciiWords::of_root(const icu::BreakIterator& root) {
    static const std::optional<AsciiWords> model = derive(root);
    return model ? &*model : nullptr;
}

}  // namespace quarnel::icu_word_pre_tokenizer
