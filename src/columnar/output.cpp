#include "columnar/output.hpp"
#include "core/texts.hpp"

#include <atomic>
#include <cerrno>
#include <new>
#include <utility>

namespace quarnel::columnar {

namespace {

std::atomic<std::int64_t> g_live{0};

// Consumers may read a buffer with wide loads: every allocation is a
// multiple of this, with at least Buffer::kSlack bytes after the contents.
constexpr std::size_t kPadding = 64;

std::size_t padded(std::size_t bytes) noexcept {
    return (bytes + Buffer::kSlack + kPadding - 1) / kPadding * kPadding;
}

// ---- schemas ----

struct SchemaData {
    std::vector<ArrowSchema*> children;
};

void release_schema(ArrowSchema* s) {
    if (!s || !s->release) return;
    auto* data = static_cast<SchemaData*>(s->private_data);
    for (ArrowSchema* child : data->children) {
        if (child->release) child->release(child);
        delete child;
    }
    delete data;
    s->release = nullptr;
    g_live.fetch_sub(1, std::memory_order_relaxed);
}

// ---- arrays ----

struct ArrayData {
    std::shared_ptr<const Node> root;  // keeps every buffer alive
    std::vector<const void*> buffers;
    std::vector<ArrowArray*> children;
};

void release_array(ArrowArray* a) {
    if (!a || !a->release) return;
    auto* data = static_cast<ArrayData*>(a->private_data);
    for (ArrowArray* child : data->children) {
        // A consumer may have moved a child out (and will release it).
        if (child->release) child->release(child);
        delete child;
    }
    delete data;
    a->release = nullptr;
    g_live.fetch_sub(1, std::memory_order_relaxed);
}

void fill_array(const std::shared_ptr<const Node>& root, const Node& node, ArrowArray* out) {
    auto data = std::make_unique<ArrayData>();
    data->root = root;
    data->buffers.reserve(node.buffers.size());
    for (const Buffer& b : node.buffers) data->buffers.push_back(b.size() ? b.data() : nullptr);
    data->children.reserve(node.children.size());
    try {
        for (const auto& child : node.children) {
            auto c = std::make_unique<ArrowArray>();
            c->release = nullptr;
            fill_array(root, *child, c.get());
            data->children.push_back(c.release());
        }
    } catch (...) {
        for (ArrowArray* c : data->children) {
            release_array(c);
            delete c;
        }
        throw;
    }
    out->length = node.length;
    out->null_count = node.null_count;
    out->offset = 0;
    out->n_buffers = static_cast<std::int64_t>(data->buffers.size());
    out->n_children = static_cast<std::int64_t>(data->children.size());
    out->buffers = data->buffers.data();
    out->children = data->children.empty() ? nullptr : data->children.data();
    out->dictionary = nullptr;
    out->private_data = data.release();
    out->release = &release_array;
    g_live.fetch_add(1, std::memory_order_relaxed);
}

// ---- streams ----

struct StreamData {
    std::vector<std::shared_ptr<const Node>> chunks;
    std::shared_ptr<const Node> type;
    std::size_t next = 0;
};

int stream_schema(ArrowArrayStream* s, ArrowSchema* out) {
    try {
        export_schema(*static_cast<StreamData*>(s->private_data)->type, out);
        return 0;
    } catch (...) {
        return ENOMEM;
    }
}

int stream_next(ArrowArrayStream* s, ArrowArray* out) {
    auto* data = static_cast<StreamData*>(s->private_data);
    try {
        if (data->next == data->chunks.size()) {
            out->release = nullptr;  // the end
            return 0;
        }
        export_array(data->chunks[data->next], out);
        ++data->next;
        return 0;
    } catch (...) {
        return ENOMEM;
    }
}

const char* stream_error(ArrowArrayStream*) { return texts::kStreamOutOfMemory; }

void release_stream(ArrowArrayStream* s) {
    if (!s || !s->release) return;
    delete static_cast<StreamData*>(s->private_data);
    s->release = nullptr;
    g_live.fetch_sub(1, std::memory_order_relaxed);
}

}  // namespace

Buffer::Buffer(std::size_t bytes) : data_(std::malloc(padded(bytes))), size_(bytes) {
    if (!data_) throw std::bad_alloc();
}

Buffer& Buffer::operator=(Buffer&& other) noexcept {
    if (this != &other) {
        std::free(data_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

void Buffer::resize(std::size_t bytes) {
    void* p = std::realloc(data_, padded(bytes));
    if (!p) throw std::bad_alloc();
    data_ = p;
    size_ = bytes;
}

std::size_t Node::memory_bytes() const noexcept {
    std::size_t total = 0;
    for (const Buffer& b : buffers) total += b.size();
    for (const auto& c : children) total += c->memory_bytes();
    return total;
}

void export_schema(const Node& node, ArrowSchema* out) {
    auto data = std::make_unique<SchemaData>();
    data->children.reserve(node.children.size());
    try {
        for (const auto& child : node.children) {
            auto c = std::make_unique<ArrowSchema>();
            c->release = nullptr;
            export_schema(*child, c.get());
            data->children.push_back(c.release());
        }
    } catch (...) {
        for (ArrowSchema* c : data->children) {
            release_schema(c);
            delete c;
        }
        throw;
    }
    out->format = node.format;
    out->name = node.name;
    out->metadata = nullptr;
    out->flags = node.flags;
    out->n_children = static_cast<std::int64_t>(data->children.size());
    out->children = data->children.empty() ? nullptr : data->children.data();
    out->dictionary = nullptr;
    out->private_data = data.release();
    out->release = &release_schema;
    g_live.fetch_add(1, std::memory_order_relaxed);
}

void export_array(const std::shared_ptr<const Node>& root, ArrowArray* out) {
    ArrowArray built;
    built.release = nullptr;
    try {
        fill_array(root, *root, &built);
    } catch (...) {
        release_array(&built);
        throw;
    }
    *out = built;
}

void export_stream(std::vector<std::shared_ptr<const Node>> chunks, std::shared_ptr<const Node> type,
                   ArrowArrayStream* out) {
    auto data = std::make_unique<StreamData>();
    data->type = type ? std::move(type) : chunks.at(0);
    data->chunks = std::move(chunks);
    out->get_schema = &stream_schema;
    out->get_next = &stream_next;
    out->get_last_error = &stream_error;
    out->private_data = data.release();
    out->release = &release_stream;
    g_live.fetch_add(1, std::memory_order_relaxed);
}

std::int64_t live_exports() noexcept { return g_live.load(std::memory_order_relaxed); }

}  // namespace quarnel::columnar
