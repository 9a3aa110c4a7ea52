// Building Python results from native values (interpreter lock held).
// Every builder returns a new reference, or null with an exception set.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "binding/python.hpp"
#include "core/token_list.hpp"

namespace quarnel::binding {

inline PyObject* to_python(std::string_view s) {
    return PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), nullptr);
}
inline PyObject* to_python(const std::string& s) { return to_python(std::string_view(s)); }

template <class I>
    requires(std::is_integral_v<I> && !std::is_same_v<I, bool>)
PyObject* to_python(I v) {
    if constexpr (std::is_signed_v<I>)
        return PyLong_FromLongLong(static_cast<long long>(v));
    else
        return PyLong_FromUnsignedLongLong(static_cast<unsigned long long>(v));
}

// A list of str, one per token.
PyObject* to_python(const TokenView& tokens);
inline PyObject* to_python(const TokenList& tokens) { return to_python(tokens.view()); }

template <class T>
PyObject* to_python(const std::vector<T>& items) {
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(items.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < items.size(); ++i) {
        PyObject* item = to_python(items[i]);
        if (!item) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

// A dict from any map-like range of (key, value) pairs, in its iteration order.
template <class Map>
    requires requires(const Map& m) { m.begin()->first; m.begin()->second; }
PyObject* to_python(const Map& map) {
    Ref dict = Ref::steal(PyDict_New());
    if (!dict) return nullptr;
    for (const auto& [key, value] : map) {
        Ref k = Ref::steal(to_python(key));
        if (!k) return nullptr;
        Ref v = Ref::steal(to_python(value));
        if (!v) return nullptr;
        if (PyDict_SetItem(dict.get(), k.get(), v.get()) < 0) return nullptr;
    }
    return dict.release();
}

}  // namespace quarnel::binding
