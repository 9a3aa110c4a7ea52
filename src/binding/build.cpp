#include "binding/build.hpp"

#include <cstring>

namespace quarnel::binding {

namespace {

bool is_ascii(const char* p, std::size_t n) noexcept {
    std::uint64_t acc = 0;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        acc |= w;
    }
    for (; i < n; ++i) acc |= static_cast<unsigned char>(p[i]);
    return (acc & 0x8080808080808080ull) == 0;
}

// Decodes well-formed UTF-8 into code points (false on anything else).
template <class Sink>
bool decode_utf8(const unsigned char* p, std::size_t n, Sink&& sink) noexcept {
    for (std::size_t i = 0; i < n;) {
        const unsigned c = p[i];
        std::uint32_t cp;
        std::size_t len;
        if (c < 0x80) {
            cp = c, len = 1;
        } else if (c >= 0xC2 && c < 0xE0) {
            cp = c & 0x1F, len = 2;
        } else if (c >= 0xE0 && c < 0xF0) {
            cp = c & 0x0F, len = 3;
        } else if (c >= 0xF0 && c < 0xF5) {
            cp = c & 0x07, len = 4;
        } else {
            return false;
        }
        if (n - i < len) return false;
        for (std::size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        sink(cp);
        i += len;
    }
    return true;
}

template <class Unit>
PyObject* fill(PyObject* str, const unsigned char* p, std::size_t n) noexcept {
    Unit* out = static_cast<Unit*>(PyUnicode_DATA(str));
    decode_utf8(p, n, [&](std::uint32_t cp) { *out++ = static_cast<Unit>(cp); });
    return str;
}

}  // namespace

PyObject* to_python(std::string_view s) {
    // One-character strings come from the interpreter's own cache.
    if (s.size() <= 1) return PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), nullptr);
    if (is_ascii(s.data(), s.size())) {
        PyObject* str = PyUnicode_New(static_cast<Py_ssize_t>(s.size()), 127);
        if (str) std::memcpy(PyUnicode_DATA(str), s.data(), s.size());
        return str;
    }
    // Non-ASCII: one pass for the length and widest character, one to fill
    // a str of exactly that kind.
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    Py_ssize_t length = 0;
    std::uint32_t widest = 0;
    if (!decode_utf8(p, s.size(), [&](std::uint32_t cp) {
            ++length;
            widest = cp > widest ? cp : widest;
        }))
        return PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), nullptr);  // raises
    if (length == 1) return PyUnicode_FromOrdinal(static_cast<int>(widest));  // cached below U+0100
    PyObject* str = PyUnicode_New(length, widest);
    if (!str) return nullptr;
    if (widest < 0x100) return fill<Py_UCS1>(str, p, s.size());
    if (widest < 0x10000) return fill<Py_UCS2>(str, p, s.size());
    return fill<Py_UCS4>(str, p, s.size());
}

PyObject* to_python(const TokenView& tokens) {
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(tokens.size())));
    if (!list) return nullptr;
    for (std::uint32_t i = 0; i < tokens.size(); ++i) {
        PyObject* s = to_python(tokens[i]);
        if (!s) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), s);
    }
    return list.release();
}

}  // namespace quarnel::binding
