// Cleaning: deleting every character of general category Cc, Cs or Cn.
//
// The deletion itself is done by the regex engine with kCleanPattern. A
// scan over the text first looks each character up in a bitmap built from
// the engine's own tables for those three categories; a text in which the
// scan finds none of them is returned as it is, without a search.
#pragma once

#include <string>
#include <string_view>

#include "core/result.hpp"
#include "regex/onig.hpp"

namespace quarnel::icu_text {

inline constexpr std::string_view kCleanPattern = "[\\p{Cc}\\p{Cs}\\p{Cn}]+";

// Whether the scan proves that `text` holds nothing the pattern matches.
// False also for malformed UTF-8 (left to the engine).
bool nothing_to_clean(std::string_view text) noexcept;

class Cleaner {
public:
    static Result<Cleaner> create();

    // `text` with every match of the pattern removed; a view of `text`
    // itself when there is nothing to remove, else of `storage`.
    std::string_view clean(std::string_view text, std::string& storage) const;

    // Always through the engine (the reference for the scan).
    void clean_with_engine(std::string_view text, std::string& out) const;

private:
    explicit Cleaner(onig::Regex regex) noexcept : regex_(std::move(regex)) {}
    onig::Regex regex_;
};

}  // namespace quarnel::icu_text
