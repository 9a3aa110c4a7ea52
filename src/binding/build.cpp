#include "binding/build.hpp"

#include "text/utf8.hpp"

#include <cstring>

namespace quarnel::binding {

namespace {

template <class Unit>
PyObject* fill(PyObject* str, std::string_view utf8) noexcept {
    Unit* out = static_cast<Unit*>(PyUnicode_DATA(str));
    text::decode_utf8(utf8, [&](char32_t cp, std::size_t) {
        *out++ = static_cast<Unit>(cp);
        return true;
    });
    return str;
}

}  // namespace

PyObject* to_python(std::string_view s) {
    // One-character strings come from the interpreter's own cache.
    if (s.size() <= 1) return PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), nullptr);
    if (text::is_ascii(s)) {
        PyObject* str = PyUnicode_New(static_cast<Py_ssize_t>(s.size()), 127);
        if (str) std::memcpy(PyUnicode_DATA(str), s.data(), s.size());
        return str;
    }
    // Non-ASCII: one pass for the length and widest character, one to fill
    // a str of exactly that kind.
    Py_ssize_t length = 0;
    char32_t widest = 0;
    if (text::decode_utf8(s, [&](char32_t cp, std::size_t) {
            ++length;
            widest = cp > widest ? cp : widest;
            return true;
        }) != s.size())
        return PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), nullptr);  // raises
    if (length == 1) return PyUnicode_FromOrdinal(static_cast<int>(widest));  // cached below U+0100
    PyObject* str = PyUnicode_New(length, widest);
    if (!str) return nullptr;
    if (widest < 0x100) return fill<Py_UCS1>(str, s);
    if (widest < 0x10000) return fill<Py_UCS2>(str, s);
    return fill<Py_UCS4>(str, s);
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
