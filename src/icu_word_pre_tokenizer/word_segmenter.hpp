// Word segmentation with ICU4C's word break iterator (root locale: the
// Unicode word boundary rules, plus ICU's dictionaries for Chinese,
// Japanese, Thai, Lao, Khmer and Burmese), iterating directly over UTF-16:
// the boundaries are ICU's own over UTF-16, as every other user of ICU gets
// them (its dictionary engines do not always give the same over UTF-8).
//
// A break iterator keeps iteration state, so it cannot be shared between
// threads. A WordSegmenter builds one prototype; each thread segments with
// its own clone of it, made on the thread's first use and cached per thread
// under the segmenter's id (unique for the life of the process, so clones of
// a destroyed segmenter are never taken for those of a new one). The cache
// holds a few clones per thread, least recently used ones go first, and a
// thread's clones are freed when it exits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include <unicode/brkiter.h>

#include "core/result.hpp"
#include "icu_word_pre_tokenizer/ascii_words.hpp"
#include "codec/utf16.hpp"

namespace quarnel::icu_word_pre_tokenizer {

// Whether `boundary`, as a break iterator returned it after `previous`, keeps
// the segmenter's contract over `text`: past `previous`, within the text, on
// a character boundary (not inside a surrogate pair). (DONE, -1, fails too:
// the end was not reached.)
inline bool boundary_follows(std::u16string_view text, std::size_t previous, int32_t boundary) noexcept {
    const auto pos = static_cast<std::size_t>(boundary);
    return boundary > 0 && pos > previous && pos <= text.size() && codec::is_char_boundary(text, pos);
}

class WordSegmenter {
public:
    static Result<WordSegmenter> create();

    // The segments of `text` (UTF-16, not empty, at most 2^31 - 1 units), in
    // order: each pair of consecutive boundaries, checked to rise strictly
    // from 0 to the end of the text on character boundaries (else a Fault).
    class Segments {
    public:
        bool next(std::size_t& begin, std::size_t& end);

    private:
        friend class WordSegmenter;
        Segments(icu::BreakIterator* it, std::u16string_view text) noexcept : it_(it), text_(text) {}
        icu::BreakIterator* it_;
        std::u16string_view text_;
        std::size_t at_ = 0;
    };

    // Points this thread's clone at `text`; the result is valid until the
    // next call to segments() on this thread.
    Segments segments(std::u16string_view text) const;

    std::uint64_t id() const noexcept { return id_; }

    // The fast path for printable ASCII text that gives this segmenter's
    // boundaries (derived from ICU's rules once per process), or null when
    // ICU's rules do not fit it and segments() must serve such text too.
    const AsciiWords* ascii_words() const noexcept { return ascii_words_; }

    // Clones a thread keeps at most.
    static constexpr std::size_t kClonesPerThread = 8;
    // Clones this thread currently holds (for tests).
    static std::size_t thread_clone_count() noexcept;

private:
    WordSegmenter(std::shared_ptr<const icu::BreakIterator> prototype, const AsciiWords* ascii_words,
                  std::uint64_t id) noexcept
        : prototype_(std::move(prototype)), ascii_words_(ascii_words), id_(id) {}

    icu::BreakIterator* thread_clone() const;

    std::shared_ptr<const icu::BreakIterator> prototype_;
    const AsciiWords* ascii_words_;
    std::uint64_t id_;
};

}  // namespace quarnel::icu_word_pre_tokenizer
