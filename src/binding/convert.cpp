#include "binding/convert.hpp"

#include "codec/utf8.hpp"
#include "core/texts.hpp"

#include <algorithm>
#include <climits>
#include <cstring>

namespace quarnel::binding {

namespace {

// The __qualname__ of the value's type.
std::string type_name(PyObject* value) {
    Ref name = Ref::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(value)), "__qualname__"));
    if (name && PyUnicode_Check(name.get())) {
        Py_ssize_t len = 0;
        if (const char* s = PyUnicode_AsUTF8AndSize(name.get(), &len)) return std::string(s, static_cast<std::size_t>(len));
    }
    PyErr_Clear();
    return texts::kUnknownTypeName;
}

bool attribute_equals(PyObject* type, const char* attribute, std::initializer_list<const char*> accepted) {
    Ref value = Ref::steal(PyObject_GetAttrString(type, attribute));
    if (!value || !PyUnicode_Check(value.get())) {
        PyErr_Clear();
        return false;
    }
    for (const char* a : accepted)
        if (PyUnicode_CompareWithASCIIString(value.get(), a) == 0) return true;
    return false;
}

// NumPy's boolean scalar, recognised without importing NumPy.
bool is_numpy_bool(PyObject* value) {
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(value));
    return attribute_equals(type, "__module__", {"numpy"}) && attribute_equals(type, "__name__", {"bool_", "bool"});
}

}  // namespace

Error cannot_convert(PyObject* value, const char* target) {
    return type_error(texts::cannot_convert(type_name(value), target));
}

namespace {

// UTF-8 of a str's code units, or false (with `out` unchanged) when a
// lone surrogate makes it unencodable.
template <class CodeUnit>
bool encode(const CodeUnit* units, std::size_t n, std::string& out) {
    const std::size_t start = out.size();
    out.resize(start + n * (sizeof(CodeUnit) == 1 ? 2 : sizeof(CodeUnit) == 2 ? 3 : 4));
    auto* d = reinterpret_cast<unsigned char*>(out.data() + start);
    for (std::size_t i = 0; i < n; ++i) {
        const char32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDFFF) {
            out.resize(start);
            return false;
        }
        d = codec::encode_utf8(c, d);
    }
    out.resize(static_cast<std::size_t>(reinterpret_cast<char*>(d) - out.data()));
    return true;
}

}  // namespace

Result<void> append_utf8(PyObject* value, std::string& out) {
    if (PyUnicode_Check(value) && PyUnicode_IS_READY(value) && PyUnicode_IS_ASCII(value)) {
        out.append(static_cast<const char*>(PyUnicode_DATA(value)), static_cast<std::size_t>(PyUnicode_GET_LENGTH(value)));
        return {};
    }
    return copy_code_points(value, [&](const auto* units, std::size_t n) { return encode(units, n, out); });
}

Result<TokenList> Convert<TokenList>::from(PyObject* value) {
    QUARNEL_TRY(Py_ssize_t len, check_sequence(value));
    TokenList out;
    out.reserve(capacity_hint(len), 0);
    QUARNEL_TRY_VOID(for_each_str(value, [&](PyObject* item) -> Result<void> {
        QUARNEL_TRY_VOID(append_utf8(item, out.open_bytes()));
        out.close_token();
        return {};
    }));
    return out;
}

Result<std::vector<std::string>> Convert<std::vector<std::string>>::from(PyObject* value) {
    QUARNEL_TRY(Py_ssize_t len, check_sequence(value));
    std::vector<std::string> out;
    out.reserve(capacity_hint(len));
    QUARNEL_TRY_VOID(for_each_str(value, [&](PyObject* item) -> Result<void> {
        out.emplace_back();
        return append_utf8(item, out.back());
    }));
    return out;
}

Result<Py_ssize_t> check_sequence(PyObject* value) {
    if (PyUnicode_Check(value)) return type_error(texts::kStrAsSequence);
    if (!PySequence_Check(value)) return cannot_convert(value, texts::kSequence);
    if (PyList_CheckExact(value)) return PyList_GET_SIZE(value);
    if (PyTuple_CheckExact(value)) return PyTuple_GET_SIZE(value);
    Py_ssize_t len = PySequence_Size(value);
    if (len < 0) PyErr_Clear();  // only a capacity hint
    return len;
}

Result<std::string> Convert<std::string>::from(PyObject* value) {
    std::string out;
    QUARNEL_TRY_VOID(append_utf8(value, out));
    return out;
}

Result<bool> Convert<bool>::from(PyObject* value) {
    if (value == Py_True) return true;
    if (value == Py_False) return false;
    if (is_numpy_bool(value)) {
        PyNumberMethods* nb = Py_TYPE(value)->tp_as_number;
        int truth = nb && nb->nb_bool ? nb->nb_bool(value) : PyObject_IsTrue(value);
        if (truth < 0) return pending();
        return truth != 0;
    }
    return cannot_convert(value, texts::kPyBool);
}

Result<std::int32_t> Convert<std::int32_t>::from(PyObject* value) {
    long v = PyLong_AsLong(value);
    if (v == -1 && PyErr_Occurred()) return pending();
    if (v < INT32_MIN || v > INT32_MAX) return overflow_error(texts::kInt32Overflow);
    return static_cast<std::int32_t>(v);
}

}  // namespace quarnel::binding
