// Oniguruma, wrapped: a compiled regex (RAII, movable), a per-call search
// state, and iteration over the matches of a regex in a text.
//
// Patterns and texts are UTF-8; offsets are byte offsets. Compiles are
// serialised by one process-wide lock; a compiled Regex is immutable and may
// be searched from any number of threads at once, each with its own
// SearchState.
#pragma once

#include <cstddef>
#include <string_view>

#include "core/result.hpp"

// Kept opaque here so that including this header does not drag in
// oniguruma.h (whose UChar clashes with ICU's).
struct re_pattern_buffer;
struct re_registers;
struct OnigMatchParamStruct;

namespace quarnel::regex {

// Initialises the library once per process (thread-safe). Everything below
// calls it; call it before using the raw library directly.
void ensure_initialized();

// A Unicode property of the engine's character tables, such as "L" or "Cc":
// what \p{name} matches in a pattern. A property the engine lacks is a fault.
class Property {
public:
    explicit Property(std::string_view name);
    // Whether code point `code` has the property.
    bool contains(char32_t code) const noexcept;

private:
    unsigned ctype_;
};

// Retry limit applied to every single match attempt.
inline constexpr unsigned long kRetryLimitInMatch = 10'000'000;

struct Match {
    std::size_t begin = 0;  // group 0, [begin, end)
    std::size_t end = 0;

    friend bool operator==(const Match&, const Match&) = default;
};

class Regex {
public:
    // Compiles with the Oniguruma syntax, no options, UTF-8. A bad pattern is
    // a ValueError carrying the engine's own message.
    static Result<Regex> compile(std::string_view pattern);

    Regex() noexcept = default;  // holds nothing; only good for assigning to
    Regex(Regex&& other) noexcept : re_(other.re_) { other.re_ = nullptr; }
    Regex& operator=(Regex&& other) noexcept;
    Regex(const Regex&) = delete;
    Regex& operator=(const Regex&) = delete;
    ~Regex();

    bool empty() const noexcept { return re_ == nullptr; }

private:
    friend class SearchState;
    explicit Regex(re_pattern_buffer* re) noexcept : re_(re) {}
    re_pattern_buffer* re_ = nullptr;
};

// A match region and a match-param object, made once and reused for every
// search done through it. One per thread (per call), never shared.
class SearchState {
public:
    SearchState();
    ~SearchState();
    SearchState(const SearchState&) = delete;
    SearchState& operator=(const SearchState&) = delete;

    // Searches the whole of `text` for `re`, starting at byte `start` and
    // ranging to the end. False when nothing matches; an engine error (e.g.
    // the retry limit) is a Fault "Onig: Regex search error: ...".
    bool search(const Regex& re, std::string_view text, std::size_t start, Match& match);

private:
    re_registers* region_;
    OnigMatchParamStruct* param_;
};

// The successive matches of `re` in `text`: each search starts where the
// previous match ended; an empty match right at the end of the previous one
// is skipped by moving on one character. Empty matches are otherwise
// produced ('x*' over "axb" gives "", "x", "").
class MatchIterator {
public:
    MatchIterator(const Regex& re, std::string_view text) : re_(re), text_(text) {}

    bool next(Match& match);

private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    const Regex& re_;
    std::string_view text_;
    SearchState state_;
    std::size_t next_start_ = 0;
    std::size_t last_end_ = kNone;
};

// Calls fn(Match) for each match, in order.
template <class Fn>
void for_each_match(const Regex& re, std::string_view text, Fn&& fn) {
    MatchIterator it(re, text);
    Match m;
    while (it.next(m)) fn(m);
}

}  // namespace quarnel::regex
