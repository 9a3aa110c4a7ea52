// Arrays this module produces, handed to other libraries through Arrow's C
// data interface (abi.hpp) without copying their buffers.
//
// An array is a tree of nodes (a list node over its strings, a struct node
// over its fields), each owning its buffers. Its memory is held by shared
// ownership: every exported ArrowArray (and every child of one) keeps the
// whole tree alive through its private data until its release callback
// runs, so a result stays valid after the object that made it is gone, and
// can be exported any number of times. Release callbacks run exactly once
// per exported structure, from whichever thread the consumer calls them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "columnar/abi.hpp"

namespace quarnel::columnar {

// A buffer of malloc'ed memory, freed once.
class Buffer {
public:
    // Readable (not meaningful) bytes after the end, for 16-byte loads.
    static constexpr std::size_t kSlack = 16;

    Buffer() noexcept = default;
    explicit Buffer(std::size_t bytes);  // throws std::bad_alloc
    Buffer(Buffer&& other) noexcept : data_(other.data_), size_(other.size_) {
        other.data_ = nullptr;
        other.size_ = 0;
    }
    Buffer& operator=(Buffer&& other) noexcept;
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    ~Buffer() { std::free(data_); }

    // Grows or shrinks to `bytes`, keeping the contents (throws std::bad_alloc).
    void resize(std::size_t bytes);

    void* data() noexcept { return data_; }
    const void* data() const noexcept { return data_; }
    template <class T>
    T* as() noexcept {
        return static_cast<T*>(data_);
    }
    template <class T>
    const T* as() const noexcept {
        return static_cast<const T*>(data_);
    }
    std::size_t size() const noexcept { return size_; }

private:
    void* data_ = nullptr;
    std::size_t size_ = 0;
};

// One array of the tree: its type (format string, field name and flags as
// the interface writes them: static strings) and its data. A buffer slot may be empty
// (a null pointer for the consumer: no validity bitmap, say).
struct Node {
    const char* format = "n";
    const char* name = "";
    std::int64_t flags = ARROW_FLAG_NULLABLE;
    std::int64_t length = 0;
    std::int64_t null_count = 0;
    std::vector<Buffer> buffers;
    std::vector<std::shared_ptr<Node>> children;

    // Bytes of the buffers of the whole tree.
    std::size_t memory_bytes() const noexcept;
};

// Fills `out` with the type of `node` (its format, name, flags, children).
void export_schema(const Node& node, ArrowSchema* out);

// Fills `out` with `node`'s data; `out` and its children keep `root` alive
// (`node` is `root` or a node inside it).
void export_array(const std::shared_ptr<const Node>& root, ArrowArray* out);

// Fills `out` with a stream of `chunks`, all of `chunks[0]`'s type (or of
// `type` when there is none).
void export_stream(std::vector<std::shared_ptr<const Node>> chunks, std::shared_ptr<const Node> type,
                   ArrowArrayStream* out);

// Exported structures (schemas, arrays, streams, children included) whose
// release callback has not run yet: for tests that check each runs once.
std::int64_t live_exports() noexcept;

// Builds a validity bitmap of `length` bits, bit i set when valid(i).
template <class Valid>
Buffer validity_bitmap(std::size_t length, Valid&& valid) {
    Buffer bits((length + 7) / 8);
    auto* b = bits.as<std::uint8_t>();
    for (std::size_t i = 0; i < (length + 7) / 8; ++i) b[i] = 0;
    for (std::size_t i = 0; i < length; ++i)
        if (valid(i)) b[i >> 3] = static_cast<std::uint8_t>(b[i >> 3] | (1u << (i & 7)));
    return bits;
}

// A string array of n rows, named `name`: get(i) gives row i's text, or
// nullopt for a null row. utf8, or large_utf8 past 2^31 - 1 bytes.
template <class Get>
std::shared_ptr<Node> string_node(const char* name, std::size_t n, Get&& get) {
    std::size_t bytes = 0, nulls = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto t = get(i);
        if (t) bytes += t->size();
        else ++nulls;
    }
    const bool wide = bytes > 0x7FFFFFFF;
    auto node = std::make_shared<Node>();
    node->format = wide ? "U" : "u";
    node->name = name;
    node->length = static_cast<std::int64_t>(n);
    node->null_count = static_cast<std::int64_t>(nulls);
    Buffer offsets((n + 1) * (wide ? 8 : 4));
    Buffer data(bytes);
    char* d = data.as<char>();
    std::size_t at = 0;
    for (std::size_t i = 0; i <= n; ++i) {
        if (wide) offsets.as<std::int64_t>()[i] = static_cast<std::int64_t>(at);
        else offsets.as<std::int32_t>()[i] = static_cast<std::int32_t>(at);
        if (i == n) break;
        if (const auto t = get(i); t && !t->empty()) {
            std::memcpy(d + at, t->data(), t->size());
            at += t->size();
        }
    }
    node->buffers.push_back(nulls ? validity_bitmap(n, [&](std::size_t i) { return get(i).has_value(); }) : Buffer());
    node->buffers.push_back(std::move(offsets));
    node->buffers.push_back(std::move(data));
    return node;
}

}  // namespace quarnel::columnar
