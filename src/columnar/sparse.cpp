#include "columnar/sparse.hpp"

#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "converter/pseudo_text.hpp"
#include "converter/render.hpp"
#include "pool/pool.hpp"
#include "core/texts.hpp"

namespace quarnel::columnar {

using converter::Conversion;
using converter::Converter;
using converter::JsonRep;
using converter::RepEntry;
using converter::Token;

namespace {

Error too_large(const char* what) {
    return value_error(texts::result_too_large(what));
}

constexpr std::size_t kMax32 = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());

}  // namespace

Result<std::shared_ptr<Node>> maps_column(const Converter& converter, const Conversion& conversion) {
    // Every row converted on the pool (its equal keys merged, as the
    // pseudo-text methods do), the entries and key bytes counted, then the
    // map's buffers at their exact sizes, filled on the pool row by row.
    (void)converter;
    QUARNEL_TRY(std::vector<JsonRep> reps, conversion.all_rows());
    const std::string_view prefix = conversion.options().negative_prefix;
    const std::size_t rows = reps.size();
    Buffer map_offsets(4 * (rows + 1));
    std::vector<std::size_t> key_starts(rows + 1, 0);
    auto* mo = map_offsets.as<std::int32_t>();
    std::size_t entries = 0, bytes = 0;
    mo[0] = 0;
    for (std::size_t r = 0; r < rows; ++r) {
        for (const RepEntry& e : reps[r]) bytes += (e.negative ? prefix.size() : 0) + e.size;
        entries += reps[r].size();
        if (entries > kMax32) return too_large(texts::kTooManyEntries);
        if (bytes > kMax32) return too_large(texts::kKeysTooLarge);
        mo[r + 1] = static_cast<std::int32_t>(entries);
        key_starts[r + 1] = bytes;
    }
    // Offsets and values take 8 bytes an entry: the buffers must fit before
    // any of them is written (the kernel would grant them, then kill us).
    if (4 * (rows + 1) + 8 * entries + 4 + bytes > converter::machine_memory())
        return Error{ErrorKind::MemoryError, "cannot allocate the result: it needs more memory than this machine has"};
    Buffer key_offsets(4 * (entries + 1));
    Buffer keys(bytes);
    Buffer values(4 * entries);
    auto* ko = key_offsets.as<std::int32_t>();
    auto* kb = keys.as<char>();
    auto* v = values.as<std::int32_t>();
    ko[0] = 0;
    pool::map_ordered<char>(rows, [&](std::size_t r) {
        std::size_t at = key_starts[r];
        std::size_t i = static_cast<std::size_t>(mo[r]);
        for (const RepEntry& e : reps[r]) {
            if (e.negative) {
                std::memcpy(kb + at, prefix.data(), prefix.size());
                at += prefix.size();
            }
            const std::string_view base = e.base();
            std::memcpy(kb + at, base.data(), base.size());
            at += base.size();
            ko[i + 1] = static_cast<std::int32_t>(at);
            v[i] = e.value;
            ++i;
        }
        return '\0';
    });

    auto key = std::make_shared<Node>();
    key->format = "u";
    key->name = "key";
    key->flags = 0;
    key->length = static_cast<std::int64_t>(entries);
    key->buffers.emplace_back();
    key->buffers.push_back(std::move(key_offsets));
    key->buffers.push_back(std::move(keys));
    auto value = std::make_shared<Node>();
    value->format = "i";
    value->name = "value";
    value->length = static_cast<std::int64_t>(entries);
    value->buffers.emplace_back();
    value->buffers.push_back(std::move(values));
    auto entry = std::make_shared<Node>();
    entry->format = "+s";
    entry->name = "entries";
    entry->flags = 0;
    entry->length = static_cast<std::int64_t>(entries);
    entry->buffers.emplace_back();
    entry->children = {std::move(key), std::move(value)};
    auto map = std::make_shared<Node>();
    map->format = "+m";
    map->length = static_cast<std::int64_t>(rows);
    map->buffers.emplace_back();
    map->buffers.push_back(std::move(map_offsets));
    map->children.push_back(std::move(entry));
    return map;
}

Result<std::shared_ptr<Node>> pseudo_text_column(const Converter& converter, const Conversion& conversion) {
    // The reps of every row (as the pseudo-text methods make them), each
    // text measured; then the exact buffer, and the texts written into it
    // on the pool.
    QUARNEL_TRY(std::vector<JsonRep> reps, conversion.all_rows());
    struct Row {
        std::vector<Token> tokens;
        std::optional<std::size_t> size;
    };
    std::vector<Row> rows = pool::map_ordered<Row>(reps.size(), [&](std::size_t r) {
        Row row;
        conversion.tokens(reps[r], row.tokens);
        row.size = converter::measure_utf8(row.tokens);
        return row;
    });
    (void)converter;
    const std::size_t n = rows.size();
    Buffer offsets(8 * (n + 1));
    auto* o = offsets.as<std::int64_t>();
    std::size_t total = 0;
    o[0] = 0;
    for (std::size_t r = 0; r < n; ++r) {
        if (!rows[r].size || __builtin_add_overflow(total, *rows[r].size, &total) ||
            total > converter::machine_memory())
            return Error{ErrorKind::MemoryError, texts::kPseudoTextTooLarge};
        o[r + 1] = static_cast<std::int64_t>(total);
    }
    Buffer texts(total);
    char* data = texts.as<char>();
    pool::map_ordered<char>(n, [&](std::size_t r) {
        converter::render_utf8_into(rows[r].tokens, data + o[r]);
        return '\0';
    });
    auto node = std::make_shared<Node>();
    node->format = "U";
    node->length = static_cast<std::int64_t>(n);
    node->buffers.emplace_back();
    node->buffers.push_back(std::move(offsets));
    node->buffers.push_back(std::move(texts));
    return node;
}

}  // namespace quarnel::columnar
