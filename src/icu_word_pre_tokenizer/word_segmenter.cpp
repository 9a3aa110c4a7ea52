#include "icu_word_pre_tokenizer/word_segmenter.hpp"

#include <algorithm>
#include <atomic>
#include <climits>
#include <string>
#include <utility>
#include <vector>

#include <unicode/locid.h>
#include <unicode/utext.h>

#include "core/fault.hpp"
#include "core/texts.hpp"

namespace quarnel::icu_word_pre_tokenizer {

namespace {

std::atomic<std::uint64_t> g_next_id{1};

struct Clone {
    std::uint64_t id;
    std::unique_ptr<icu::BreakIterator> iterator;
};

// Per thread: the clones, most recently used first, and one UTF-16 UText
// that every call re-points at its text (the break iterator keeps a shallow
// clone of it: the text is never copied).
struct ThreadState {
    std::vector<Clone> clones;
    UText text = UTEXT_INITIALIZER;

    ~ThreadState() { utext_close(&text); }
};

ThreadState& thread_state() {
    thread_local ThreadState state;
    return state;
}

[[noreturn]] void icu_fault(const char* what, UErrorCode status) {
    fault(std::string("word segmenter: ") + what + ": " + u_errorName(status));
}

// Kept out of line: the boundary loop stays small.
[[noreturn, gnu::noinline, gnu::cold]] void broken_boundary(std::size_t after, int32_t boundary, std::size_t size) {
    if (boundary == icu::BreakIterator::DONE)
        fault("word segmenter: boundaries end at " + std::to_string(after) + " before the end of the text (" +
              std::to_string(size) + " units)");
    fault("word segmenter: boundary " + std::to_string(boundary) + " after " + std::to_string(after) +
          " is out of order or not on a character boundary (text of " + std::to_string(size) + " units)");
}

}  // namespace

Result<WordSegmenter> WordSegmenter::create() {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createWordInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !it)
        return Error{ErrorKind::ValueError, std::string(texts::kNoWordBreakIterator) + u_errorName(status)};
    const AsciiWords* ascii_words = AsciiWords::of_root(*it);
    return WordSegmenter(std::shared_ptr<const icu::BreakIterator>(std::move(it)), ascii_words,
                         g_next_id.fetch_add(1, std::memory_order_relaxed));
}

icu::BreakIterator* WordSegmenter::thread_clone() const {
    std::vector<Clone>& clones = thread_state().clones;
    if (!clones.empty() && clones.front().id == id_) return clones.front().iterator.get();
    auto found = std::find_if(clones.begin(), clones.end(), [&](const Clone& c) { return c.id == id_; });
    if (found != clones.end()) {
        std::rotate(clones.begin(), found, found + 1);
        return clones.front().iterator.get();
    }
    // Cloning only reads the prototype, so threads may clone it at once.
    std::unique_ptr<icu::BreakIterator> made(prototype_->clone());
    if (!made) fault("word segmenter: cloning the break iterator failed");
    if (clones.size() >= kClonesPerThread) clones.pop_back();
    clones.insert(clones.begin(), Clone{id_, std::move(made)});
    return clones.front().iterator.get();
}

std::size_t WordSegmenter::thread_clone_count() noexcept { return thread_state().clones.size(); }

WordSegmenter::Segments WordSegmenter::segments(std::u16string_view text) const {
    if (text.empty() || text.size() > static_cast<std::size_t>(INT32_MAX))
        fault("word segmenter: text must hold 1 to 2^31 - 1 units, not " + std::to_string(text.size()));
    icu::BreakIterator* it = thread_clone();
    UErrorCode status = U_ZERO_ERROR;
    UText* ut = &thread_state().text;
    utext_openUChars(ut, reinterpret_cast<const UChar*>(text.data()), static_cast<int64_t>(text.size()), &status);
    if (U_FAILURE(status)) icu_fault("opening the text", status);
    it->setText(ut, status);
    if (U_FAILURE(status)) icu_fault("setting the text", status);
    const int32_t first = it->first();
    if (first != 0) fault("word segmenter: first boundary " + std::to_string(first) + " is not 0");
    return Segments(it, text);
}

bool WordSegmenter::Segments::next(std::size_t& begin, std::size_t& end) {
    if (at_ == text_.size()) return false;
    const int32_t b = it_->next();
    if (!boundary_follows(text_, at_, b)) [[unlikely]]
        broken_boundary(at_, b, text_.size());
    begin = at_;
    end = at_ = static_cast<std::size_t>(b);
    return true;
}

}  // namespace quarnel::icu_word_pre_tokenizer
