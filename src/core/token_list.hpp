// A compact list of strings: every string's code units in one buffer, plus
// count+1 offsets (offsets[0] == 0, string i is [offsets[i], offsets[i+1])).
//
// TokenList holds UTF-8 tokens with 32-bit offsets: tokenizer output and the
// documents of a corpus; TokenView is the read-only form both are matched
// through. Utf16List holds UTF-16 strings with full-size offsets: the texts
// and tokens of the ICU pre-tokenizer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/fault.hpp"

namespace quarnel {

template <class Char, class Offset>
struct BasicTokenView {
    const Char* bytes = nullptr;
    const Offset* offsets = nullptr;  // size() + 1 entries
    Offset count = 0;

    Offset size() const noexcept { return count; }
    bool empty() const noexcept { return count == 0; }
    Offset length(Offset i) const noexcept { return offsets[i + 1] - offsets[i]; }
    const Char* data(Offset i) const noexcept { return bytes + offsets[i]; }
    std::basic_string_view<Char> operator[](Offset i) const noexcept { return {data(i), length(i)}; }
};

template <class Char, class Offset>
class BasicTokenList {
public:
    BasicTokenList() : offsets_{0} {}

    std::size_t size() const noexcept { return offsets_.size() - 1; }
    bool empty() const noexcept { return offsets_.size() == 1; }
    std::basic_string_view<Char> operator[](std::size_t i) const noexcept {
        return {bytes_.data() + offsets_[i], static_cast<std::size_t>(offsets_[i + 1] - offsets_[i])};
    }
    // Writable access to string i's units, for changing them in place.
    Char* data(std::size_t i) noexcept { return bytes_.data() + offsets_[i]; }

    void reserve(std::size_t tokens, std::size_t bytes) {
        offsets_.reserve(tokens + 1);
        bytes_.reserve(bytes);
    }

    void push_back(std::basic_string_view<Char> token) {
        bytes_.append(token.data(), token.size());
        close_token();
    }

    // Appends raw units to the string under construction; close_token() ends it.
    std::basic_string<Char>& open_bytes() noexcept { return bytes_; }
    void close_token() {
        if constexpr (sizeof(Offset) < sizeof(std::size_t))
            if (bytes_.size() > std::numeric_limits<Offset>::max()) fault("token list exceeds 4 GiB of token bytes");
        offsets_.push_back(static_cast<Offset>(bytes_.size()));
    }

    // Empties the list, keeping its memory.
    void clear() noexcept {
        bytes_.clear();
        offsets_.resize(1);
    }

    BasicTokenView<Char, Offset> view() const noexcept {
        return {bytes_.data(), offsets_.data(), static_cast<Offset>(size())};
    }

    const std::basic_string<Char>& bytes() const noexcept { return bytes_; }
    std::span<const Offset> offsets() const noexcept { return offsets_; }
    // Memory held, in bytes.
    std::size_t capacity_bytes() const noexcept {
        return bytes_.capacity() * sizeof(Char) + offsets_.capacity() * sizeof(Offset);
    }

private:
    std::basic_string<Char> bytes_;
    std::vector<Offset> offsets_;
};

using TokenView = BasicTokenView<char, std::uint32_t>;
using TokenList = BasicTokenList<char, std::uint32_t>;
using Utf16List = BasicTokenList<char16_t, std::size_t>;

// The tokens of a batch of UTF-16 texts, in text order, as spans of the text
// each was cut from rather than copies: the batch's own texts (which the
// tokenizer changes in place), or `side`, where a text goes whose changed
// form does not fit in its place.
struct Utf16TokenGroups {
    // Units from the group's base.
    struct Span {
        std::uint32_t begin, end;
    };
    struct Group {
        std::size_t base;      // where the text starts, in `texts` or in `side`
        std::size_t end;       // one past the index of its last span
        bool in_side;
    };

    std::u16string_view texts;
    std::u16string side;
    std::vector<Span> spans;
    std::vector<Group> groups;

    std::size_t size() const noexcept { return groups.size(); }
    std::size_t begin_of(std::size_t g) const noexcept { return g == 0 ? 0 : groups[g - 1].end; }
    // Token i, which belongs to group g.
    std::u16string_view token(std::size_t g, std::size_t i) const noexcept {
        const Group& group = groups[g];
        const char16_t* base = (group.in_side ? side.data() : texts.data()) + group.base;
        return {base + spans[i].begin, static_cast<std::size_t>(spans[i].end - spans[i].begin)};
    }
    // Empties it, keeping its memory.
    void clear() noexcept {
        texts = {};
        side.clear();
        spans.clear();
        groups.clear();
    }
    std::size_t capacity_bytes() const noexcept {
        return side.capacity() * sizeof(char16_t) + spans.capacity() * sizeof(Span) + groups.capacity() * sizeof(Group);
    }
};

}  // namespace quarnel
