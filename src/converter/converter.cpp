#include "converter/converter.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>

#include "core/fault.hpp"
#include "core/flat_map.hpp"
#include "pool/pool.hpp"
#include "codec/utf8.hpp"
#include "core/texts.hpp"

namespace quarnel::converter {

namespace {

constexpr std::string_view kTokenPlaceholder = "[PAD]";
constexpr std::string_view kIdPlaceholder = "-1";

std::string missing_token(std::uint32_t column) { return texts::token_not_in_vocab(column); }

}  // namespace

Result<void> check_columns(const MatrixView& m) {
    if (m.rows == 0 || m.cols <= kMaxColumns) return {};
    return overflow_error(texts::too_many_columns(m.cols, kMaxColumns));
}

std::int32_t quantize(float x, float q) noexcept {
    const float p = std::floor(x * q);
    if (std::isnan(p)) return 0;
    if (p >= 2147483648.0f) return std::numeric_limits<std::int32_t>::max();
    if (p < -2147483648.0f) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(p);
}

namespace {

// Spreads ids over a table of 2^bits slots (Fibonacci hashing).
std::size_t slot_of(std::int32_t id, unsigned bits) noexcept {
    return bits == 0 ? 0 : static_cast<std::size_t>((static_cast<std::uint32_t>(id) * 0x9E3779B97F4A7C15ull) >> (64 - bits));
}

}  // namespace

Vocabulary::Vocabulary(const std::unordered_map<std::int32_t, std::string>& texts) : count_(texts.size()) {
    std::vector<std::int32_t> ids;
    ids.reserve(texts.size());
    std::size_t bytes = 0;
    for (const auto& [id, text] : texts) {
        ids.push_back(id);
        bytes += text.size();
    }
    std::sort(ids.begin(), ids.end());  // neighbouring columns' texts side by side
    if (!ids.empty()) {
        base_ = ids.front();
        dense_ = static_cast<std::uint64_t>(std::int64_t{ids.back()} - base_) < 2 * ids.size() + 64;
    }
    texts_.reserve(bytes);
    index_.resize(dense_ ? static_cast<std::size_t>(std::int64_t{ids.back()} - base_ + 1) : ids.size());
    unsigned bits = 0;
    if (!dense_) {
        bits = static_cast<unsigned>(std::bit_width(2 * ids.size()));
        slots_.assign(std::size_t{1} << bits, Slot{0, kNone});
    }
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const std::string& text = texts.at(ids[i]);
        if (text.size() > UINT32_MAX) fault("a vocabulary text of 4 GiB or more");
        const std::size_t at = dense_ ? static_cast<std::size_t>(ids[i] - base_) : i;
        index_[at] = {texts_.size(), static_cast<std::uint32_t>(text.size()), codec::is_ascii(text), true};
        texts_ += text;
        if (dense_) continue;
        std::size_t s = slot_of(ids[i], bits);
        while (slots_[s].index != kNone) s = (s + 1) & mask;
        slots_[s] = Slot{ids[i], static_cast<std::uint32_t>(at)};
    }
}

std::uint32_t Vocabulary::find_sparse(std::int64_t id) const noexcept {
    if (slots_.empty() || id < std::numeric_limits<std::int32_t>::min() || id > std::numeric_limits<std::int32_t>::max())
        return kNone;
    const auto key = static_cast<std::int32_t>(id);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t s = slot_of(key, static_cast<unsigned>(std::countr_zero(slots_.size())));; s = (s + 1) & mask) {
        const Slot& slot = slots_[s];
        if (slot.index == kNone || slot.id == key) return slot.index;
    }
}

std::vector<std::uint32_t> Vocabulary::indices() const {
    std::vector<std::uint32_t> out;
    out.reserve(count_);
    for (std::uint32_t i = 0; i < index_.size(); ++i)
        if (index_[i].present) out.push_back(i);
    return out;
}

Converter::Converter(const Vocab& vocab) : vocabulary_(vocab), by_text_(vocabulary_.indices()) {
    const Vocabulary& v = vocabulary_;
    std::sort(by_text_.begin(), by_text_.end(), [&](std::uint32_t a, std::uint32_t b) { return v.text(a) < v.text(b); });
    for (std::size_t i = 1; i < by_text_.size(); ++i) duplicate_texts_ |= v.text(by_text_[i - 1]) == v.text(by_text_[i]);
}

bool Converter::has_text(std::string_view text) const {
    const auto it = std::lower_bound(by_text_.begin(), by_text_.end(), text,
                                     [&](std::uint32_t i, std::string_view t) { return vocabulary_.text(i) < t; });
    return it != by_text_.end() && vocabulary_.text(*it) == text;
}

bool Converter::keys_may_collide(const ConvertOptions& options) const {
    const std::string& prefix = options.negative_prefix;
    if (!options.convert_id_to_token) {
        // Decimal keys are unique; a prefixed one can equal another column's
        // only when the prefix is made of digits.
        if (!options.allow_negative_values || prefix.empty()) return false;
        for (char c : prefix)
            if (c < '0' || c > '9') return false;
        return true;
    }
    if (duplicate_texts_) return true;
    if (!options.allow_negative_values) return false;
    if (prefix.empty()) return true;  // a negative entry keeps its token's plain text
    // The texts that start with the prefix sit together in text order: is
    // one of them the prefix followed by another text?
    const Vocabulary& v = vocabulary_;
    auto it = std::lower_bound(by_text_.begin(), by_text_.end(), std::string_view(prefix),
                               [&](std::uint32_t i, std::string_view t) { return v.text(i) < t; });
    for (; it != by_text_.end() && v.text(*it).starts_with(prefix); ++it)
        if (has_text(v.text(*it).substr(prefix.size()))) return true;
    return false;
}

// ---- one call ----

Conversion::Conversion(const Converter& converter, const MatrixView& matrix, ConvertOptions options)
    : converter_(converter),
      matrix_(matrix),
      options_(std::move(options)) {}

namespace {

RepEntry placeholder(bool tokens, std::uint32_t key) {
    const std::string_view text = tokens ? kTokenPlaceholder : kIdPlaceholder;
    return {text.data(), static_cast<std::uint32_t>(text.size()), key, 1, false, true, {}};
}

}  // namespace

Result<JsonRep> Conversion::row(std::size_t r, Scratch& scratch) const {
    const MatrixView& m = matrix_;
    const char* row = m.data + static_cast<std::ptrdiff_t>(r) * m.row_stride;
    std::uint32_t* const columns = scratch.columns.get(m.cols);
    const std::size_t kept =
        converter::scan_row({row, m.cols, m.col_stride, m.element}, options_.allow_negative_values, columns);
    float* const values = scratch.values.get(kept);
    if (m.element == Element::F32) {
        for (std::size_t i = 0; i < kept; ++i)
            values[i] = converter::load_f32(row + static_cast<std::ptrdiff_t>(columns[i]) * m.col_stride);
    } else {
        std::uint16_t* const halves = scratch.halves.get(kept);
        for (std::size_t i = 0; i < kept; ++i)
            halves[i] = converter::load_f16(row + static_cast<std::ptrdiff_t>(columns[i]) * m.col_stride);
        converter::widen_halves(halves, values, kept);
    }

    const auto q = static_cast<float>(options_.quantization_factor);
    const bool tokens = options_.convert_id_to_token;
    const bool negative = options_.allow_negative_values;
    JsonRep rep;
    rep.reserve(kept);
    const Vocabulary& vocabulary = converter_.vocabulary();
    for (std::size_t i = 0; i < kept; ++i) {
        const std::uint32_t c = columns[i];
        const std::int32_t k = quantize(values[i], q);
        std::uint32_t t = Vocabulary::kNone;
        if (tokens) {
            constexpr std::size_t kAhead = 8;  // the tokens' records sit all over the vocabulary
            if (i + kAhead < kept) vocabulary.prefetch(columns[i + kAhead]);
            if ((t = vocabulary.find(c)) == Vocabulary::kNone) return key_error(missing_token(c));
        }
        std::int32_t value = k;
        if (k < 0 && negative) {
            // -2^31 has no positive 32-bit magnitude: it saturates too.
            value = k == std::numeric_limits<std::int32_t>::min() ? std::numeric_limits<std::int32_t>::max() : -k;
        } else if (k <= 0) {
            continue;
        }
        RepEntry& e = rep.emplace_back();
        e.key = c;
        e.value = value;
        e.negative = k < 0;
        if (tokens) {
            const std::string_view text = vocabulary.text(t);
            e.token = text.data();
            e.size = static_cast<std::uint32_t>(text.size());
            e.ascii = vocabulary.ascii(t);
        } else {
            e.token = nullptr;
            e.size = static_cast<std::uint32_t>(std::to_chars(e.digits, e.digits + sizeof e.digits, c).ptr - e.digits);
            e.ascii = true;
        }
    }
    if (rep.empty()) rep.push_back(placeholder(tokens, static_cast<std::uint32_t>(m.cols)));
    return rep;
}

Result<JsonRep> Conversion::row(std::size_t r) const {
    std::unique_ptr<Scratch> scratch;
    {
        std::lock_guard<std::mutex> lock(scratch_mu_);
        if (!scratch_.empty()) {
            scratch = std::move(scratch_.back());
            scratch_.pop_back();
        }
    }
    if (!scratch) scratch = std::make_unique<Scratch>();
    Result<JsonRep> rep = row(r, *scratch);
    std::lock_guard<std::mutex> lock(scratch_mu_);
    scratch_.push_back(std::move(scratch));
    return rep;
}

JsonRep Conversion::merge_equal_keys(JsonRep rep) const {
    if (rep.size() < 2) return rep;
    // Each text's last entry, at the place of its first.
    FlatMap<std::string, std::size_t> seen;
    seen.reserve(rep.size());
    std::string text;
    for (std::size_t i = 0; i < rep.size(); ++i) seen.insert_or_assign(std::string(key(rep[i], text)), i);
    JsonRep out;
    out.reserve(seen.size());
    for (const auto& [k, last] : seen) out.push_back(rep[last]);
    return out;
}

Result<std::vector<JsonRep>> Conversion::all_rows() const {
    const bool collide = converter_.keys_may_collide(options_);
    return pool::try_map_ordered<JsonRep>(matrix_.rows, [&](std::size_t r) -> Result<JsonRep> {
        Result<JsonRep> rep = row(r);
        if (!rep || !collide) return rep;
        return merge_equal_keys(std::move(rep).value());
    });
}

std::string_view Conversion::key(const RepEntry& e, std::string& out) const {
    out.clear();
    if (e.negative) out = options_.negative_prefix;
    out += e.base();
    return out;
}

void Conversion::tokens(const JsonRep& rep, std::vector<converter::Token>& out) const {
    out.clear();
    out.reserve(rep.size());
    for (const RepEntry& e : rep)
        out.push_back({e.negative ? std::string_view(options_.negative_prefix) : std::string_view(), e.base(), e.value});
}

void text_tokens(const TextRep& rep, std::vector<converter::Token>& out) {
    out.clear();
    out.reserve(rep.size());
    for (const auto& [text, count] : rep) out.push_back({std::string_view(), text, count});
}

}  // namespace quarnel::converter
