#include "columnar/input.hpp"
#include "core/texts.hpp"

#include <cstring>
#include <limits>

namespace quarnel::columnar {

namespace {

// The name of a format string's type; nested types name their children.
std::string format_name(const ArrowSchema& s) {
    const std::string_view f = s.format ? s.format : "";
    auto child = [&](std::int64_t i) -> std::string {
        if (!s.children || i >= s.n_children || !s.children[i]) return "?";
        return type_name(*s.children[i]);
    };
    static constexpr std::pair<std::string_view, std::string_view> kPrimitive[] = {
        {"n", "null"},      {"b", "bool"},         {"c", "int8"},     {"C", "uint8"},   {"s", "int16"},
        {"S", "uint16"},    {"i", "int32"},        {"I", "uint32"},   {"l", "int64"},   {"L", "uint64"},
        {"e", "float16"},   {"f", "float32"},      {"g", "float64"},  {"z", "binary"},  {"Z", "large_binary"},
        {"vz", "binary_view"}, {"u", "utf8"},      {"U", "large_utf8"}, {"vu", "utf8_view"}, {"tdD", "date32"},
        {"tdm", "date64"},
    };
    for (const auto& [code, name] : kPrimitive)
        if (f == code) return std::string(name);
    if (f == "+l") return "list<" + child(0) + ">";
    if (f == "+L") return "large_list<" + child(0) + ">";
    if (f == "+vl") return "list_view<" + child(0) + ">";
    if (f == "+vL") return "large_list_view<" + child(0) + ">";
    if (f.starts_with("+w:")) return "fixed_size_list<" + child(0) + ", " + std::string(f.substr(3)) + ">";
    if (f == "+m") return "map<" + child(0) + ">";
    if (f == "+s") {
        std::string out = "struct<";
        for (std::int64_t i = 0; i < s.n_children; ++i) {
            if (i) out += ", ";
            if (s.children && s.children[i] && s.children[i]->name) out += std::string(s.children[i]->name) + ": ";
            out += child(i);
        }
        return out + ">";
    }
    if (f.starts_with("w:")) return "fixed_size_binary[" + std::string(f.substr(2)) + "]";
    if (f.starts_with("d:")) return "decimal(" + std::string(f.substr(2)) + ")";
    if (f.starts_with("ts")) return "timestamp";
    if (f.starts_with("+u")) return "union";
    return "format '" + std::string(f) + "'";
}

Error malformed(StringLayout layout, const std::string& what) {
    const char* name = layout == StringLayout::Utf8 ? "utf8" : layout == StringLayout::LargeUtf8 ? "large_utf8" : "utf8_view";
    return value_error(texts::malformed(name, what));
}

template <class Offset>
Result<void> check_offsets(StringLayout layout, const Offset* offsets, std::size_t length) {
    if (offsets[0] < 0) return malformed(layout, texts::broken::kNegativeOffset);
    Offset previous = offsets[0];
    // Or-ing the failures keeps the loop free of branches.
    bool falls = false;
    for (std::size_t i = 1; i <= length; ++i) {
        falls |= offsets[i] < previous;
        previous = offsets[i];
    }
    if (falls) return malformed(layout, texts::broken::kOffsetsFall);
    if constexpr (sizeof(Offset) > sizeof(std::size_t))
        if (offsets[length] > std::numeric_limits<std::ptrdiff_t>::max()) return malformed(layout, texts::broken::kOffsetTooLarge);
    return {};
}

// A view of utf8_view: 4 bytes of length, then either up to 12 bytes inline
// or 4 bytes of prefix, the data buffer's index and the offset in it.
struct ViewRef {
    char prefix[4];
    std::int32_t buffer;
    std::int32_t offset;
};
struct View {
    std::int32_t length;
    union {
        char inline_bytes[12];
        ViewRef ref;
    };
};
static_assert(sizeof(View) == 16);

constexpr std::int32_t kInlineView = 12;

}  // namespace

std::string type_name(const ArrowSchema& schema) {
    if (schema.dictionary) return "dictionary<" + format_name(schema) + ", " + type_name(*schema.dictionary) + ">";
    return format_name(schema);
}

Result<StringLayout> string_layout(const ArrowSchema& schema) {
    const std::string_view f = schema.format ? schema.format : "";
    if (!schema.dictionary) {
        if (f == "u") return StringLayout::Utf8;
        if (f == "U") return StringLayout::LargeUtf8;
        if (f == "vu") return StringLayout::Utf8View;
    }
    return type_error(texts::not_strings(type_name(schema)));
}

Result<StringChunk> StringChunk::open(StringLayout layout, const ArrowArray& a) {
    if (a.release == nullptr) return malformed(layout, texts::broken::kReleased);
    if (a.length < 0 || a.offset < 0) return malformed(layout, texts::broken::kNegativeLengthOrOffset);
    if (a.n_children != 0 || a.dictionary) return malformed(layout, texts::broken::kUnexpectedChildren);
    const bool view = layout == StringLayout::Utf8View;
    if (view ? a.n_buffers < 3 : a.n_buffers != 3) return malformed(layout, texts::broken::kWrongBufferCount);
    if (!a.buffers) return malformed(layout, texts::broken::kNoBuffers);
    StringChunk c;
    c.layout_ = layout;
    c.length_ = static_cast<std::size_t>(a.length);
    c.offset_ = static_cast<std::size_t>(a.offset);
    if (c.length_ == 0) return c;
    c.validity_ = static_cast<const std::uint8_t*>(a.buffers[0]);
    if (a.null_count == 0) c.validity_ = nullptr;
    if (!a.buffers[1]) return malformed(layout, view ? texts::broken::kNoViews : texts::broken::kNoOffsets);
    if (c.validity_) {
        if (a.null_count > 0) {
            c.null_count_ = static_cast<std::size_t>(a.null_count);
        } else {
            for (std::size_t i = 0; i < c.length_; ++i) c.null_count_ += c.is_null(i);
        }
        if (c.null_count_ == 0) c.validity_ = nullptr;
    }
    switch (layout) {
        case StringLayout::Utf8: {
            const auto* offsets = static_cast<const std::int32_t*>(a.buffers[1]) + c.offset_;
            QUARNEL_TRY_VOID(check_offsets(layout, offsets, c.length_));
            c.offsets_ = offsets;
            break;
        }
        case StringLayout::LargeUtf8: {
            const auto* offsets = static_cast<const std::int64_t*>(a.buffers[1]) + c.offset_;
            QUARNEL_TRY_VOID(check_offsets(layout, offsets, c.length_));
            c.offsets_ = offsets;
            break;
        }
        case StringLayout::Utf8View: {
            const std::size_t n_data = static_cast<std::size_t>(a.n_buffers) - 3;
            const auto* sizes = static_cast<const std::int64_t*>(a.buffers[a.n_buffers - 1]);
            if (n_data > 0 && !sizes) return malformed(layout, texts::broken::kNoBufferSizes);
            const auto* views = static_cast<const View*>(a.buffers[1]) + c.offset_;
            for (std::size_t i = 0; i < c.length_; ++i) {
                if (c.is_null(i)) continue;
                const View& v = views[i];
                if (v.length < 0) return malformed(layout, texts::broken::kNegativeLength);
                if (v.length <= kInlineView) continue;
                const std::int32_t b = v.ref.buffer;
                if (b < 0 || static_cast<std::size_t>(b) >= n_data || v.ref.offset < 0 ||
                    std::int64_t{v.ref.offset} + v.length > sizes[b] || !a.buffers[2 + b])
                    return malformed(layout, texts::broken::kViewOutsideData);
            }
            c.offsets_ = views;
            c.view_buffers_ = reinterpret_cast<const char* const*>(a.buffers + 2);
            break;
        }
    }
    c.data_ = view ? nullptr : static_cast<const char*>(a.buffers[2]);
    if (!view && !c.data_ && c.text_bytes(0, c.length_) != 0) return malformed(layout, texts::broken::kNoData);
    return c;
}

std::string_view StringChunk::operator[](std::size_t i) const noexcept {
    switch (layout_) {
        case StringLayout::Utf8: {
            const auto* o = static_cast<const std::int32_t*>(offsets_);
            return {data_ + o[i], static_cast<std::size_t>(o[i + 1] - o[i])};
        }
        case StringLayout::LargeUtf8: {
            const auto* o = static_cast<const std::int64_t*>(offsets_);
            return {data_ + o[i], static_cast<std::size_t>(o[i + 1] - o[i])};
        }
        case StringLayout::Utf8View: break;
    }
    if (is_null(i)) return {};
    const View& v = static_cast<const View*>(offsets_)[i];
    if (v.length <= kInlineView) return {v.inline_bytes, static_cast<std::size_t>(v.length)};
    return {view_buffers_[v.ref.buffer] + v.ref.offset, static_cast<std::size_t>(v.length)};
}

std::size_t StringChunk::text_bytes(std::size_t begin, std::size_t end) const noexcept {
    if (begin >= end) return 0;
    switch (layout_) {
        case StringLayout::Utf8: {
            const auto* o = static_cast<const std::int32_t*>(offsets_);
            return static_cast<std::size_t>(o[end] - o[begin]);
        }
        case StringLayout::LargeUtf8: {
            const auto* o = static_cast<const std::int64_t*>(offsets_);
            return static_cast<std::size_t>(o[end] - o[begin]);
        }
        case StringLayout::Utf8View: break;
    }
    std::size_t total = 0;
    const auto* views = static_cast<const View*>(offsets_);
    for (std::size_t i = begin; i < end; ++i)
        if (!is_null(i)) total += static_cast<std::size_t>(views[i].length);
    return total;
}

Result<ListLayout> list_layout(const ArrowSchema& schema) {
    const std::string_view f = schema.format ? schema.format : "";
    if (!schema.dictionary && (f == "+l" || f == "+L") && schema.n_children == 1 && schema.children &&
        schema.children[0]) {
        const ArrowSchema& child = *schema.children[0];
        const std::string_view c = child.format ? child.format : "";
        if (!child.dictionary && (c == "u" || c == "U" || c == "vu")) {
            QUARNEL_TRY(StringLayout strings, string_layout(child));
            return ListLayout{f == "+L", strings};
        }
    }
    return type_error(texts::not_string_lists(type_name(schema)));
}

Result<StringListChunk> StringListChunk::open(ListLayout layout, const ArrowArray& a) {
    const auto bad = [](const char* what) { return value_error(texts::malformed("list", what)); };
    if (a.release == nullptr) return bad(texts::broken::kReleased);
    if (a.length < 0 || a.offset < 0) return bad(texts::broken::kNegativeLengthOrOffset);
    if (a.n_buffers != 2 || !a.buffers) return bad(texts::broken::kWrongBufferCount);
    if (a.n_children != 1 || !a.children || !a.children[0] || a.dictionary) return bad(texts::broken::kWrongChildren);
    StringListChunk c;
    c.large_ = layout.large;
    c.length_ = static_cast<std::size_t>(a.length);
    c.offset_ = static_cast<std::size_t>(a.offset);
    QUARNEL_TRY(c.strings_, StringChunk::open(layout.strings, *a.children[0]));
    if (c.length_ == 0) return c;
    if (a.null_count != 0) c.validity_ = static_cast<const std::uint8_t*>(a.buffers[0]);
    if (!a.buffers[1]) return bad(texts::broken::kNoOffsets);
    const std::size_t strings = c.strings_.size();
    auto check = [&](const auto* offsets) -> Result<void> {
        if (offsets[0] < 0) return bad(texts::broken::kNegativeOffset);
        for (std::size_t i = 0; i < c.length_; ++i)
            if (offsets[i + 1] < offsets[i]) return bad(texts::broken::kOffsetsFall);
        if (static_cast<std::uint64_t>(offsets[c.length_]) > strings) return bad(texts::broken::kOffsetsPastStrings);
        return {};
    };
    if (layout.large) {
        const auto* o = static_cast<const std::int64_t*>(a.buffers[1]) + c.offset_;
        QUARNEL_TRY_VOID(check(o));
        c.offsets_ = o;
    } else {
        const auto* o = static_cast<const std::int32_t*>(a.buffers[1]) + c.offset_;
        QUARNEL_TRY_VOID(check(o));
        c.offsets_ = o;
    }
    return c;
}

}  // namespace quarnel::columnar
