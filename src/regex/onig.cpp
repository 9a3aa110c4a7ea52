#include "regex/onig.hpp"

#include <climits>
#include <mutex>
#include <new>
#include <string>

#include <oniguruma.h>

#include "core/fault.hpp"
#include "codec/utf8.hpp"
#include "core/texts.hpp"

namespace quarnel::regex {

namespace {

std::mutex& compile_mutex() {
    static std::mutex m;
    return m;
}

std::string error_text(int code, OnigErrorInfo* info) {
    OnigUChar buf[ONIG_MAX_ERROR_MESSAGE_LEN];
    int n = info ? onig_error_code_to_str(buf, code, info) : onig_error_code_to_str(buf, code);
    if (n < 0) n = 0;
    if (n > ONIG_MAX_ERROR_MESSAGE_LEN) n = ONIG_MAX_ERROR_MESSAGE_LEN;
    std::string msg(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(n));
    // The message may quote (and cut) part of the pattern.
    if (!codec::is_valid_utf8(msg)) return texts::kRegexMessageNotUtf8;
    return msg;
}

}  // namespace

void ensure_initialized() {
    static std::once_flag once;
    std::call_once(once, [] {
        OnigEncoding encodings[] = {ONIG_ENCODING_UTF8};
        int r = onig_initialize(encodings, 1);
        if (r != ONIG_NORMAL) fault("Onig: initialisation failed: " + error_text(r, nullptr));
    });
}

Property::Property(std::string_view name) {
    ensure_initialized();
    auto* p = reinterpret_cast<OnigUChar*>(const_cast<char*>(name.data()));
    const int ctype = ONIGENC_PROPERTY_NAME_TO_CTYPE(ONIG_ENCODING_UTF8, p, p + name.size());
    if (ctype < 0) fault("Onig: no property " + std::string(name));
    ctype_ = static_cast<unsigned>(ctype);
}

bool Property::contains(char32_t code) const noexcept {
    return ONIGENC_IS_CODE_CTYPE(ONIG_ENCODING_UTF8, static_cast<OnigCodePoint>(code), ctype_) != 0;
}

Result<Regex> Regex::compile(std::string_view pattern) {
    ensure_initialized();
    const auto* p = reinterpret_cast<const OnigUChar*>(pattern.data());
    OnigRegex re = nullptr;
    OnigErrorInfo einfo{};
    int r;
    {
        std::lock_guard<std::mutex> lock(compile_mutex());
        r = onig_new(&re, p, p + pattern.size(), ONIG_OPTION_NONE, ONIG_ENCODING_UTF8, ONIG_SYNTAX_ONIGURUMA,
                     &einfo);
    }
    if (r != ONIG_NORMAL) {
        if (re) onig_free(re);
        return value_error(error_text(r, &einfo));
    }
    return Regex(re);
}

Regex& Regex::operator=(Regex&& other) noexcept {
    if (this != &other) {
        if (re_) onig_free(re_);
        re_ = other.re_;
        other.re_ = nullptr;
    }
    return *this;
}

Regex::~Regex() {
    if (re_) onig_free(re_);
}

SearchState::SearchState() {
    ensure_initialized();
    region_ = onig_region_new();
    param_ = onig_new_match_param();
    if (!region_ || !param_) {
        if (region_) onig_region_free(region_, 1);
        if (param_) onig_free_match_param(param_);
        throw std::bad_alloc();
    }
    onig_initialize_match_param(param_);
    onig_set_retry_limit_in_match_of_match_param(param_, kRetryLimitInMatch);
}

SearchState::~SearchState() {
    onig_region_free(region_, 1);
    onig_free_match_param(param_);
}

bool SearchState::search(const Regex& re, std::string_view text, std::size_t start, Match& match) {
    if (re.empty()) fault("Onig: search with an empty (moved-from) regex");
    // Positions come back as int.
    if (text.size() > static_cast<std::size_t>(INT_MAX)) fault("Onig: text longer than 2 GiB");
    const auto* s = reinterpret_cast<const OnigUChar*>(text.data());
    const OnigUChar* end = s + text.size();
    onig_region_clear(region_);
    int r = onig_search_with_param(re.re_, s, end, s + start, end, region_, ONIG_OPTION_NONE, param_);
    if (r == ONIG_MISMATCH) return false;
    if (r < 0) fault(texts::kRegexSearchError + error_text(r, nullptr));
    match.begin = static_cast<std::size_t>(region_->beg[0]);
    match.end = static_cast<std::size_t>(region_->end[0]);
    return true;
}

bool MatchIterator::next(Match& match) {
    while (next_start_ <= text_.size()) {
        Match m;
        if (!state_.search(re_, text_, next_start_, m)) {
            next_start_ = text_.size() + 1;
            return false;
        }
        if (m.begin == m.end && last_end_ == m.end) {
            next_start_ += next_start_ < text_.size() ? codec::char_length_at(text_, next_start_) : 1;
            continue;
        }
        next_start_ = m.end;
        last_end_ = m.end;
        match = m;
        return true;
    }
    return false;
}

}  // namespace quarnel::regex
