#include "columnar/sparse.hpp"

#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "converter/pseudo_text.hpp"
#include "converter/render.hpp"
#include "pool/pool.hpp"

namespace quarnel::columnar {

namespace {

// Bytes appended to a buffer that doubles as it grows.
class Bytes {
public:
    char* extend(std::size_t n) {
        if (size_ + n > capacity_) {
            capacity_ = std::max(size_ + n, 2 * capacity_ + 64);
            buffer_.resize(capacity_);
        }
        char* at = buffer_.as<char>() + size_;
        size_ += n;
        return at;
    }
    void append(std::string_view s) {
        if (!s.empty()) std::memcpy(extend(s.size()), s.data(), s.size());
    }
    std::size_t size() const noexcept { return size_; }
    Buffer finish() {
        buffer_.resize(size_);
        return std::move(buffer_);
    }

private:
    Buffer buffer_;
    std::size_t size_ = 0, capacity_ = 0;
};

template <class T>
class Values {
public:
    void push_back(T v) { std::memcpy(bytes_.extend(sizeof(T)), &v, sizeof(T)); }
    std::size_t size() const noexcept { return bytes_.size() / sizeof(T); }
    Buffer finish() { return bytes_.finish(); }

private:
    Bytes bytes_;
};

Error too_large(const char* what) {
    return value_error(std::string("the result is too large for one Arrow array: ") + what);
}

constexpr std::size_t kMax32 = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());

}  // namespace

Result<std::shared_ptr<Node>> maps_column(const Converter& converter, const Conversion& conversion) {
    const bool collide = converter.keys_may_collide(conversion.options());
    const std::string_view prefix = conversion.options().negative_prefix;
    const std::size_t rows = conversion.matrix().rows;
    Values<std::int32_t> map_offsets, key_offsets, values;
    Bytes keys;
    map_offsets.push_back(0);
    key_offsets.push_back(0);
    Result<void> r = conversion.stream([&](std::size_t, JsonRep&& rep) -> Result<void> {
        if (collide) rep = conversion.merge_equal_keys(std::move(rep));
        for (const RepEntry& e : rep) {
            if (e.negative) keys.append(prefix);
            keys.append(e.base());
            if (keys.size() > kMax32) return too_large("keys of 2 GiB or more");
            key_offsets.push_back(static_cast<std::int32_t>(keys.size()));
            values.push_back(e.value);
        }
        if (values.size() > kMax32) return too_large("2^31 entries or more");
        map_offsets.push_back(static_cast<std::int32_t>(values.size()));
        return {};
    });
    if (!r) return std::move(r).error();
    const auto entries = static_cast<std::int64_t>(values.size());

    auto key = std::make_shared<Node>();
    key->format = "u";
    key->name = "key";
    key->flags = 0;
    key->length = entries;
    key->buffers.emplace_back();
    key->buffers.push_back(key_offsets.finish());
    key->buffers.push_back(keys.finish());
    auto value = std::make_shared<Node>();
    value->format = "i";
    value->name = "value";
    value->length = entries;
    value->buffers.emplace_back();
    value->buffers.push_back(values.finish());
    auto entry = std::make_shared<Node>();
    entry->format = "+s";
    entry->name = "entries";
    entry->flags = 0;
    entry->length = entries;
    entry->buffers.emplace_back();
    entry->children = {std::move(key), std::move(value)};
    auto map = std::make_shared<Node>();
    map->format = "+m";
    map->length = static_cast<std::int64_t>(rows);
    map->buffers.emplace_back();
    map->buffers.push_back(map_offsets.finish());
    map->children.push_back(std::move(entry));
    return map;
}

Result<std::shared_ptr<Node>> pseudo_text_column(const Converter& converter, const Conversion& conversion) {
    // The reps of every row (as the pseudo-text methods make them), each
    // text measured; then the exact buffer, and the texts written into it
    // on the pool.
    QUARNEL_TRY(std::vector<JsonRep> reps, conversion.all_rows());
    struct Row {
        std::vector<converter::Token> tokens;
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
            return Error{ErrorKind::MemoryError,
                         "cannot allocate the pseudo text: it needs more memory than this machine has"};
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
