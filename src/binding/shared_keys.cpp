#include "binding/shared_keys.hpp"

#include <cstring>
#include <string>

#include "text/utf8.hpp"

namespace quarnel::binding {

PyObject* to_python(std::string_view prefix, std::string_view text) {
    if (prefix.empty()) return to_python(text);
    const std::size_t n = prefix.size() + text.size();
    if (n > 1 && text::is_ascii(prefix) && text::is_ascii(text)) {
        PyObject* str = PyUnicode_New(static_cast<Py_ssize_t>(n), 127);
        if (!str) return nullptr;
        auto* out = static_cast<char*>(PyUnicode_DATA(str));
        std::memcpy(out, prefix.data(), prefix.size());
        std::memcpy(out + prefix.size(), text.data(), text.size());
        return str;
    }
    std::string joined;
    joined.reserve(n);
    joined.append(prefix).append(text);
    return to_python(std::string_view(joined));
}

SharedKeyDicts::SharedKeyDicts(std::size_t dicts, std::size_t key_ids)
    : list_(Ref::steal(PyList_New(static_cast<Py_ssize_t>(dicts)))), keys_(key_ids, nullptr), ints_(kSharedInts, nullptr) {}

SharedKeyDicts::~SharedKeyDicts() {
    for (PyObject* i : ints_) Py_XDECREF(i);
}

}  // namespace quarnel::binding
