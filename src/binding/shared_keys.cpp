#include "binding/shared_keys.hpp"

#include <cstring>
#include <string>

#include "codec/utf8.hpp"

namespace quarnel::binding {

namespace {

// memcpy for the short texts of keys, without a library call: two
// overlapping moves of 8 or 4 bytes cover 4 to 16 bytes.
void copy(char* out, const char* in, std::size_t n) noexcept {
    if (n >= 8 && n <= 16) {
        std::memcpy(out, in, 8);
        std::memcpy(out + n - 8, in + n - 8, 8);
    } else if (n >= 4 && n < 8) {
        std::memcpy(out, in, 4);
        std::memcpy(out + n - 4, in + n - 4, 4);
    } else if (n < 4) {
        for (std::size_t i = 0; i < n; ++i) out[i] = in[i];
    } else {
        std::memcpy(out, in, n);
    }
}

}  // namespace

PyObject* to_python(const KeyText& key) {
    const std::size_t n = key.prefix.size() + key.text.size();
    // One-character strings come from the interpreter's cache (to_python).
    if (n > 1 && (key.ascii || (codec::is_ascii(key.prefix) && codec::is_ascii(key.text)))) {
        PyObject* str = PyUnicode_New(static_cast<Py_ssize_t>(n), 127);
        if (!str) return nullptr;
        auto* out = static_cast<char*>(PyUnicode_DATA(str));
        copy(out, key.prefix.data(), key.prefix.size());
        copy(out + key.prefix.size(), key.text.data(), key.text.size());
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
