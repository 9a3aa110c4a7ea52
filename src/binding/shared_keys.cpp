#include "binding/shared_keys.hpp"

#include <cstring>
#include <string>

#include "text/utf8.hpp"

namespace quarnel::binding {

PyObject* to_python(const KeyText& key) {
    const std::size_t n = key.prefix.size() + key.text.size();
    // One-character strings come from the interpreter's cache (to_python).
    if (n > 1 && (key.ascii || (text::is_ascii(key.prefix) && text::is_ascii(key.text)))) {
        PyObject* str = PyUnicode_New(static_cast<Py_ssize_t>(n), 127);
        if (!str) return nullptr;
        auto* out = static_cast<char*>(PyUnicode_DATA(str));
        std::memcpy(out, key.prefix.data(), key.prefix.size());
        std::memcpy(out + key.prefix.size(), key.text.data(), key.text.size());
        return str;
    }
    if (key.prefix.empty()) return to_python(key.text);
    std::string joined;
    joined.reserve(n);
    joined.append(key.prefix).append(key.text);
    return to_python(std::string_view(joined));
}

SharedKeyDicts::SharedKeyDicts(std::size_t dicts, std::size_t key_ids)
    : list_(Ref::steal(PyList_New(static_cast<Py_ssize_t>(dicts)))),
      keys_(dicts ? key_ids : 0, nullptr),  // no table for no dicts
      ints_(kSharedInts, nullptr) {}

SharedKeyDicts::~SharedKeyDicts() {
    for (PyObject* i : ints_) Py_XDECREF(i);
}

}  // namespace quarnel::binding
