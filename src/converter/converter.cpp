#include "converter/converter.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <unordered_set>

#include "core/flat_map.hpp"
#include "pool/pool.hpp"

namespace quarnel {

using converter::Element;

namespace {

constexpr std::string_view kTokenPlaceholder = "[PAD]";
constexpr std::string_view kIdPlaceholder = "-1";

std::string missing_token(std::uint32_t column) {
    return "Token id " + std::to_string(column) + " not found in vocab_dict.";
}

}  // namespace

std::int32_t quantize(float x, float q) noexcept {
    const float p = std::floor(x * q);
    if (std::isnan(p)) return 0;
    if (p >= 2147483648.0f) return std::numeric_limits<std::int32_t>::max();
    if (p < -2147483648.0f) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(p);
}

Converter::Converter(Vocab vocab) : vocab_(std::move(vocab)) {
    std::unordered_set<std::string_view> texts;
    texts.reserve(vocab_.size());
    for (const auto& [id, text] : vocab_) duplicate_texts_ |= !texts.insert(text).second;
}

const std::string* Converter::token(std::uint32_t column) const noexcept {
    if (column > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) return nullptr;
    auto it = vocab_.find(static_cast<std::int32_t>(column));
    return it == vocab_.end() ? nullptr : &it->second;
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
    std::unordered_set<std::string_view> texts;
    texts.reserve(vocab_.size());
    for (const auto& [id, text] : vocab_) texts.insert(text);
    for (const auto& [id, text] : vocab_)
        if (text.starts_with(prefix) && texts.contains(std::string_view(text).substr(prefix.size()))) return true;
    return false;
}

std::string_view Converter::base_key(const RepEntry& entry, const ConvertOptions& options, char* digits) const {
    if (entry.column == kPlaceholder) return options.convert_id_to_token ? kTokenPlaceholder : kIdPlaceholder;
    if (options.convert_id_to_token) return *token(entry.column);  // present: the row conversion checked
    const auto end = std::to_chars(digits, digits + 10, entry.column).ptr;
    return std::string_view(digits, static_cast<std::size_t>(end - digits));
}

std::string Converter::key(const RepEntry& entry, const ConvertOptions& options) const {
    char digits[10];
    std::string out = entry.negative ? options.negative_prefix : std::string();
    out += base_key(entry, options, digits);
    return out;
}

void Converter::tokens(const JsonRep& rep, const ConvertOptions& options, std::vector<char>& digits,
                       std::vector<converter::Token>& out) const {
    out.clear();
    out.reserve(rep.size());
    digits.clear();
    digits.reserve(options.convert_id_to_token ? 0 : 10 * rep.size());
    for (const RepEntry& e : rep) {
        const std::size_t used = digits.size();
        if (!options.convert_id_to_token) digits.resize(used + 10);  // within the reserved room: never moves
        const std::string_view base = base_key(e, options, digits.data() + used);
        if (!options.convert_id_to_token) digits.resize(used + (base.data() == digits.data() + used ? base.size() : 0));
        out.push_back({e.negative ? std::string_view(options.negative_prefix) : std::string_view(), base, e.value});
    }
}

void text_tokens(const TextRep& rep, std::vector<converter::Token>& out) {
    out.clear();
    out.reserve(rep.size());
    for (const auto& [text, count] : rep) out.push_back({std::string_view(), text, count});
}

namespace {

// Keeps the last entry of every key text, at the place of its first one.
JsonRep dedup_by_text(const Converter& converter, JsonRep rep, const ConvertOptions& options) {
    FlatMap<std::string, std::size_t> seen;
    seen.reserve(rep.size());
    JsonRep out;
    out.reserve(rep.size());
    for (std::size_t i = 0; i < rep.size(); ++i) {
        std::string k = converter.key(rep[i], options);
        seen.insert_or_assign(std::move(k), i);
    }
    // seen maps each text to its last entry; emit those in the order met.
    for (const auto& [text, last] : seen) out.push_back(rep[last]);
    return out;
}

}  // namespace

Result<JsonRep> Converter::convert_row(const MatrixView& m, std::size_t r, const ConvertOptions& options, bool dedup,
                                       Scratch& scratch) const {
    const char* row = m.data + static_cast<std::ptrdiff_t>(r) * m.row_stride;
    scratch.columns.resize(m.cols);
    const std::size_t kept = converter::scan_row({row, m.cols, m.col_stride, m.element},
                                                 options.allow_negative_values, scratch.columns.data());
    const std::uint32_t* columns = scratch.columns.data();
    scratch.values.resize(kept);
    float* values = scratch.values.data();
    if (m.element == Element::F32) {
        for (std::size_t i = 0; i < kept; ++i)
            values[i] = converter::load_f32(row + static_cast<std::ptrdiff_t>(columns[i]) * m.col_stride);
    } else {
        scratch.halves.resize(kept);
        for (std::size_t i = 0; i < kept; ++i)
            scratch.halves[i] = converter::load_f16(row + static_cast<std::ptrdiff_t>(columns[i]) * m.col_stride);
        converter::widen_halves(scratch.halves.data(), values, kept);
    }

    const auto q = static_cast<float>(options.quantization_factor);
    JsonRep rep;
    rep.reserve(kept);
    for (std::size_t i = 0; i < kept; ++i) {
        const std::uint32_t c = columns[i];
        const std::int32_t k = quantize(values[i], q);
        if (options.convert_id_to_token && !token(c)) return key_error(missing_token(c));
        if (k > 0) {
            rep.push_back({c, k, false});
        } else if (k < 0 && options.allow_negative_values) {
            // -2^31 has no positive 32-bit magnitude: it saturates too.
            const std::int32_t magnitude = k == std::numeric_limits<std::int32_t>::min()
                                               ? std::numeric_limits<std::int32_t>::max()
                                               : -k;
            rep.push_back({c, magnitude, true});
        }
    }
    if (dedup && rep.size() > 1) rep = dedup_by_text(*this, std::move(rep), options);
    if (rep.empty()) rep.push_back({kPlaceholder, 1, false});
    return rep;
}

Result<std::vector<JsonRep>> Converter::convert(const MatrixView& matrix, const ConvertOptions& options) const {
    const bool dedup = keys_may_collide(options);
    return pool::try_map_ordered<JsonRep>(matrix.rows, [&](std::size_t r) {
        thread_local Scratch scratch;
        return convert_row(matrix, r, options, dedup, scratch);
    });
}

}  // namespace quarnel
