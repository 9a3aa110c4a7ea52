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

}  // namespace

PyObject* to_python(std::string_view s) {
    // One-character strings come from the interpreter's own cache.
    if (s.size() > 1 && is_ascii(s.data(), s.size())) {
        PyObject* str = PyUnicode_New(static_cast<Py_ssize_t>(s.size()), 127);
        if (str) std::memcpy(PyUnicode_DATA(str), s.data(), s.size());
        return str;
    }
    return PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), nullptr);
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
