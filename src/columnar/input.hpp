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
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "columnar/abi.hpp"
#include "core/result.hpp"

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

// A column of strings: the imported arrays, and a chunk reading each.
class StringColumn {
public:
    StringColumn() = default;
    StringColumn(StringColumn&&) noexcept = default;
    StringColumn& operator=(StringColumn&&) noexcept = default;

    // From one array (the schema and the array of __arrow_c_array__).
    static Result<StringColumn> from_array(OwnedSchema schema, OwnedArray array);

    // What a stream yields, read to its end. A stream that reports an error
    // is a failure: `error_code` gets its errno value and the result an
    // error holding its message (the kind is left to the caller to refine).
    static Result<StringColumn> from_stream(OwnedStream stream, int& error_code);

    const std::vector<StringChunk>& chunks() const noexcept { return chunks_; }
    std::size_t rows() const noexcept;
    StringLayout layout() const noexcept { return layout_; }

    // Gives the producer's memory back early.
    void release() noexcept;

private:
    Result<void> add(OwnedArray array);

    OwnedSchema schema_;
    StringLayout layout_ = StringLayout::Utf8;
    std::vector<OwnedArray> arrays_;
    std::vector<StringChunk> chunks_;
};

}  // namespace quarnel::columnar
