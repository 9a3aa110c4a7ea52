// A compact list of UTF-8 tokens: every token's bytes in one buffer, plus
// count+1 offsets (offsets[0] == 0, token i is [offsets[i], offsets[i+1])).
// Used for tokenizer output and for the documents of a corpus; TokenView is
// the read-only form both are matched through.
#pragma once

#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/fault.hpp"

namespace quarnel {

struct TokenView {
    const char* bytes = nullptr;
    const std::uint32_t* offsets = nullptr;  // size() + 1 entries
    std::uint32_t count = 0;

    std::uint32_t size() const noexcept { return count; }
    bool empty() const noexcept { return count == 0; }
    std::uint32_t length(std::uint32_t i) const noexcept { return offsets[i + 1] - offsets[i]; }
    const char* data(std::uint32_t i) const noexcept { return bytes + offsets[i]; }
    std::string_view operator[](std::uint32_t i) const noexcept { return {data(i), length(i)}; }
};

class TokenList {
public:
    TokenList() : offsets_{0} {}

    std::size_t size() const noexcept { return offsets_.size() - 1; }
    bool empty() const noexcept { return offsets_.size() == 1; }
    std::string_view operator[](std::size_t i) const noexcept {
        return {bytes_.data() + offsets_[i], static_cast<std::size_t>(offsets_[i + 1] - offsets_[i])};
    }

    void reserve(std::size_t tokens, std::size_t bytes) {
        offsets_.reserve(tokens + 1);
        bytes_.reserve(bytes);
    }

    void push_back(std::string_view token) {
        bytes_.append(token.data(), token.size());
        close_token();
    }

    // Appends raw bytes to the token under construction; close_token() ends it.
    std::string& open_bytes() noexcept { return bytes_; }
    void close_token() {
        if (bytes_.size() > std::numeric_limits<std::uint32_t>::max())
            fault("token list exceeds 4 GiB of token bytes");
        offsets_.push_back(static_cast<std::uint32_t>(bytes_.size()));
    }

    TokenView view() const noexcept {
        return {bytes_.data(), offsets_.data(), static_cast<std::uint32_t>(size())};
    }

    const std::string& bytes() const noexcept { return bytes_; }
    std::span<const std::uint32_t> offsets() const noexcept { return offsets_; }

private:
    std::string bytes_;
    std::vector<std::uint32_t> offsets_;
};

}  // namespace quarnel
