#include "binding/build.hpp"

#include "codec/utf16.hpp"
#include "codec/utf8.hpp"

#include <algorithm>
#include <cstring>

namespace quarnel::binding {

namespace {

template <class Unit>
PyObject* fill(PyObject* str, std::string_view utf8) noexcept {
    Unit* out = static_cast<Unit*>(PyUnicode_DATA(str));
    codec::decode_utf8(utf8, [&](char32_t cp, std::size_t) {
        *out++ = static_cast<Unit>(cp);
        return true;
    });
    return str;
}

}  // namespace

PyObject* to_python(std::string_view s) {
    // One-character strings come from the interpreter's own cache.
    if (s.size() <= 1) return PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), nullptr);
    if (codec::is_ascii(s)) {
        PyObject* str = PyUnicode_New(static_cast<Py_ssize_t>(s.size()), 127);
        if (str) std::memcpy(PyUnicode_DATA(str), s.data(), s.size());
        return str;
    }
    // Non-ASCII: one pass for the length and widest character, one to fill
    // a str of exactly that kind.
    Py_ssize_t length = 0;
    char32_t widest = 0;
    if (codec::decode_utf8(s, [&](char32_t cp, std::size_t) {
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

PyObject* new_str(std::size_t length, char32_t max_char, void*& data) {
    data = nullptr;
    PyObject* str = PyUnicode_New(static_cast<Py_ssize_t>(length), static_cast<Py_UCS4>(max_char));
    if (str && length) data = PyUnicode_DATA(str);
    return str;
}

PyObject* to_python(const TokenView& tokens) {
    return new_list(tokens.size(), [&](std::size_t i) { return to_python(tokens[static_cast<std::uint32_t>(i)]); });
}

PyObject* to_python(std::u16string_view s) {
    const std::size_t n = s.size();
    unsigned all = 0;  // every unit or-ed together
    for (const char16_t u : s) all |= u;
    if (all < 0x100) {
        // One Latin-1 character comes from the interpreter's own cache.
        if (n == 1) return PyUnicode_FromOrdinal(s[0]);
        PyObject* str = PyUnicode_New(static_cast<Py_ssize_t>(n), all < 0x80 ? 0x7F : 0xFF);
        if (str) std::copy(s.begin(), s.end(), static_cast<Py_UCS1*>(PyUnicode_DATA(str)));
        return str;
    }
    // Some unit is at least U+0100, so a 2-byte str unless a pair needs 4.
    std::size_t pairs = 0;
    if (all >= 0xD800)
        for (std::size_t i = 0; i + 1 < n; ++i)
            if (codec::is_lead_surrogate(s[i]) && codec::is_trail_surrogate(s[i + 1])) ++pairs, ++i;
    if (pairs == 0) {
        PyObject* str = PyUnicode_New(static_cast<Py_ssize_t>(n), 0xFFFF);
        if (str) std::memcpy(PyUnicode_DATA(str), s.data(), n * sizeof(char16_t));
        return str;
    }
    PyObject* str = PyUnicode_New(static_cast<Py_ssize_t>(n - pairs), 0x10FFFF);
    if (!str) return nullptr;
    auto* d = static_cast<Py_UCS4*>(PyUnicode_DATA(str));
    codec::decode_utf16(s, [&](char32_t cp, std::size_t) { *d++ = cp; });
    return str;
}

PyObject* to_python(const Utf16TokenGroups& groups, std::size_t g) {
    const std::size_t begin = groups.begin_of(g), end = groups.groups[g].end;
    return new_list(end - begin, [&](std::size_t i) { return to_python(groups.token(g, begin + i)); });
}

PyObject* to_python(const Utf16TokenGroups& groups) {
    return new_list(groups.size(), [&](std::size_t g) { return to_python(groups, g); }, true);
}

}  // namespace quarnel::binding
