// Reading columns of strings that another library produced through Arrow's
// C data interface (abi.hpp), in place: the imported structures are owned
// here and released exactly once, and the texts are read straight from the
// producer's buffers.
//
// Three layouts of UTF-8 text are read: utf8 (32-bit offsets into one data
// buffer), large_utf8 (64-bit offsets) and utf8_view (16-byte views, short
// strings inline, longer ones pointing into variadic data buffers), each
// with an optional validity bitmap and an offset (a slice). Everything that
// can be checked without knowing the size of the data buffers is checked
// when a chunk is opened (offsets that never fall, views inside their
// buffers), so that reading a row afterwards cannot fail; bytes that are
// not UTF-8 are left to the caller (utf8::first_invalid_row).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "columnar/abi.hpp"
#include "core/result.hpp"
#include "core/texts.hpp"

namespace quarnel::columnar {

// An imported structure, released (when the producer left it unreleased)
// exactly once, when its owner goes. Taking one moves it out of `source`,
// whose release is set to null, as the interface prescribes.
template <class T>
class Owned {
public:
    Owned() noexcept { raw_.release = nullptr; }
    static Owned take(T* source) noexcept {
        Owned o;
        o.raw_ = *source;
        source->release = nullptr;
        return o;
    }
    Owned(Owned&& other) noexcept : raw_(other.raw_) { other.raw_.release = nullptr; }
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            reset();
            raw_ = other.raw_;
            other.raw_.release = nullptr;
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { reset(); }

    void reset() noexcept {
        if (raw_.release) raw_.release(&raw_);
        raw_.release = nullptr;
    }
    T* get() noexcept { return &raw_; }
    const T* get() const noexcept { return &raw_; }
    T* operator->() noexcept { return &raw_; }
    const T* operator->() const noexcept { return &raw_; }
    bool released() const noexcept { return raw_.release == nullptr; }

private:
    T raw_;
};

using OwnedSchema = Owned<ArrowSchema>;
using OwnedArray = Owned<ArrowArray>;
using OwnedStream = Owned<ArrowArrayStream>;

enum class StringLayout : std::uint8_t { Utf8, LargeUtf8, Utf8View };

// A readable name of the type a schema describes ("utf8", "int64",
// "large_list<utf8>", "dictionary<int32, utf8>", ...), for messages.
std::string type_name(const ArrowSchema& schema);

// The layout of a column of strings, or a TypeError naming the type given.
Result<StringLayout> string_layout(const ArrowSchema& schema);

// One array of strings, read in place (it does not own the array).
class StringChunk {
public:
    using LayoutOf = StringLayout;
    static Result<StringLayout> layout(const ArrowSchema& schema) { return string_layout(schema); }

    // Checks the array against its layout: buffer and child counts, offsets
    // that never fall, views within their data buffers. ValueError
    // ("malformed ... array: ...") otherwise.
    static Result<StringChunk> open(StringLayout layout, const ArrowArray& array);

    std::size_t size() const noexcept { return length_; }
    bool has_nulls() const noexcept { return validity_ != nullptr; }
    bool is_null(std::size_t i) const noexcept {
        if (!validity_) return false;
        const std::size_t bit = offset_ + i;
        return ((validity_[bit >> 3] >> (bit & 7)) & 1) == 0;
    }
    // Row i's text (empty, and meaningless, for a null row).
    std::string_view operator[](std::size_t i) const noexcept;
    // The texts of rows [begin, end) as one run of bytes, for the layouts
    // that keep them so (utf8, large_utf8; nullopt for utf8_view).
    std::optional<std::string_view> run(std::size_t begin, std::size_t end) const noexcept {
        if (layout_ == StringLayout::Utf8View) return std::nullopt;
        if (begin >= end) return std::string_view();
        const std::string_view first = (*this)[begin];
        return std::string_view(first.data(), text_bytes(begin, end));
    }
    // The bytes of rows [begin, end), nulls counted as empty (for cutting
    // work into even blocks).
    std::size_t text_bytes(std::size_t begin, std::size_t end) const noexcept;
    std::size_t null_count() const noexcept { return null_count_; }

private:
    StringLayout layout_ = StringLayout::Utf8;
    std::size_t length_ = 0;
    std::size_t offset_ = 0;
    std::size_t null_count_ = 0;
    const std::uint8_t* validity_ = nullptr;  // null: no null rows
    const void* offsets_ = nullptr;           // (or the views), indexed from the slice's start
    const char* data_ = nullptr;
    const char* const* view_buffers_ = nullptr;
};

// A list of strings per row: list<...> (32-bit offsets) or large_list<...>
// (64-bit) over any string layout.
struct ListLayout {
    bool large;
    StringLayout strings;
};

// The layout of a column of lists of strings, or a TypeError naming the
// type given.
Result<ListLayout> list_layout(const ArrowSchema& schema);

// One array of lists of strings, read in place.
class StringListChunk {
public:
    using LayoutOf = ListLayout;
    static Result<ListLayout> layout(const ArrowSchema& schema) { return list_layout(schema); }

    static Result<StringListChunk> open(ListLayout layout, const ArrowArray& array);

    std::size_t size() const noexcept { return length_; }
    bool is_null(std::size_t i) const noexcept {
        if (!validity_) return false;
        const std::size_t bit = offset_ + i;
        return ((validity_[bit >> 3] >> (bit & 7)) & 1) == 0;
    }
    // The strings of row i: rows [first, second) of strings().
    std::pair<std::size_t, std::size_t> range(std::size_t i) const noexcept {
        if (large_) {
            const auto* o = static_cast<const std::int64_t*>(offsets_);
            return {static_cast<std::size_t>(o[i]), static_cast<std::size_t>(o[i + 1])};
        }
        const auto* o = static_cast<const std::int32_t*>(offsets_);
        return {static_cast<std::size_t>(o[i]), static_cast<std::size_t>(o[i + 1])};
    }
    const StringChunk& strings() const noexcept { return strings_; }

private:
    bool large_ = false;
    std::size_t length_ = 0;
    std::size_t offset_ = 0;
    const std::uint8_t* validity_ = nullptr;
    const void* offsets_ = nullptr;
    StringChunk strings_;
};

// A column: the imported arrays, and a chunk reading each. Chunk is
// StringChunk or StringListChunk.
template <class Chunk>
class Column {
public:
    Column() = default;
    Column(Column&&) noexcept = default;
    Column& operator=(Column&&) noexcept = default;

    // From one array (the schema and the array of __arrow_c_array__).
    static Result<Column> from_array(OwnedSchema schema, OwnedArray array);

    // What a stream yields, read to its end. A stream that reports an error
    // is a failure: `error_code` gets its errno value and the result an
    // error holding its message (the kind is left to the caller to refine).
    static Result<Column> from_stream(OwnedStream stream, int& error_code);

    const std::vector<Chunk>& chunks() const noexcept { return chunks_; }
    std::size_t rows() const noexcept {
        std::size_t n = 0;
        for (const Chunk& c : chunks_) n += c.size();
        return n;
    }

    // Gives the producer's memory back early.
    void release() noexcept {
        chunks_.clear();
        arrays_.clear();
        schema_.reset();
    }

private:
    Result<void> add(OwnedArray array);

    OwnedSchema schema_;
    typename Chunk::LayoutOf layout_{};
    std::vector<OwnedArray> arrays_;
    std::vector<Chunk> chunks_;
};

using StringColumn = Column<StringChunk>;
using StringListColumn = Column<StringListChunk>;

// Where a column's rows are: row r of the whole column is row `row` of
// chunk `chunk`, walked in order.
class RowCursor {
public:
    template <class Chunk>
    explicit RowCursor(const Column<Chunk>& column) {
        for (const Chunk& c : column.chunks()) sizes_.push_back(c.size());
        skip_empty();
    }
    std::size_t chunk() const noexcept { return chunk_; }
    std::size_t row() const noexcept { return row_; }
    void next() noexcept {
        ++row_;
        skip_empty();
    }

private:
    void skip_empty() noexcept {
        while (chunk_ < sizes_.size() && row_ == sizes_[chunk_]) {
            ++chunk_;
            row_ = 0;
        }
    }
    std::vector<std::size_t> sizes_;
    std::size_t chunk_ = 0;
    std::size_t row_ = 0;
};

template <class Chunk>
Result<Column<Chunk>> Column<Chunk>::from_array(OwnedSchema schema, OwnedArray array) {
    Column column;
    QUARNEL_TRY(column.layout_, Chunk::layout(*schema.get()));
    column.schema_ = std::move(schema);
    QUARNEL_TRY_VOID(column.add(std::move(array)));
    return column;
}

template <class Chunk>
Result<Column<Chunk>> Column<Chunk>::from_stream(OwnedStream stream, int& error_code) {
    error_code = 0;
    auto failed = [&](int code) -> Error {
        error_code = code;
        const char* text = stream->get_last_error ? stream->get_last_error(stream.get()) : nullptr;
        return Error{ErrorKind::ValueError, text && *text ? text : texts::kStreamFailed};
    };
    if (stream.released() || !stream->get_schema || !stream->get_next)
        return value_error(texts::kStreamReleased);
    Column column;
    OwnedSchema schema;
    if (int code = stream->get_schema(stream.get(), schema.get()); code != 0) return failed(code);
    if (schema.released()) return value_error(texts::kStreamWithoutSchema);
    QUARNEL_TRY(column.layout_, Chunk::layout(*schema.get()));
    column.schema_ = std::move(schema);
    for (;;) {
        OwnedArray array;
        if (int code = stream->get_next(stream.get(), array.get()); code != 0) return failed(code);
        if (array.released()) break;  // the end
        QUARNEL_TRY_VOID(column.add(std::move(array)));
    }
    return column;
}

template <class Chunk>
Result<void> Column<Chunk>::add(OwnedArray array) {
    QUARNEL_TRY(Chunk chunk, Chunk::open(layout_, *array.get()));
    arrays_.push_back(std::move(array));
    chunks_.push_back(chunk);
    return {};
}

}  // namespace quarnel::columnar
