#include "binding/convert.hpp"

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
    return "<failed to extract type name>";
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
    return type_error("'" + type_name(value) + "' object cannot be converted to '" + target + "'");
}

Result<Ref> detail::encode_utf8(PyObject* str) {
    Ref bytes = Ref::steal(PyUnicode_AsUTF8String(str));
    if (!bytes) return pending();
    return bytes;
}

Result<Py_ssize_t> check_sequence(PyObject* value) {
    if (PyUnicode_Check(value)) return type_error("Can't extract `str` to `Vec`");
    if (!PySequence_Check(value)) return cannot_convert(value, "Sequence");
    if (PyList_CheckExact(value)) return PyList_GET_SIZE(value);
    if (PyTuple_CheckExact(value)) return PyTuple_GET_SIZE(value);
    Py_ssize_t len = PySequence_Size(value);
    if (len < 0) PyErr_Clear();  // only a capacity hint
    return len;
}

Result<std::string> Convert<std::string>::from(PyObject* value) {
    std::string out;
    auto r = with_utf8(value, [&](std::string_view s) { out.assign(s.data(), s.size()); });
    if (!r) return std::move(r).error();
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
    return cannot_convert(value, "PyBool");
}

Result<std::int32_t> Convert<std::int32_t>::from(PyObject* value) {
    long v = PyLong_AsLong(value);
    if (v == -1 && PyErr_Occurred()) return pending();
    if (v < INT32_MIN || v > INT32_MAX) return overflow_error("out of range integral type conversion attempted");
    return static_cast<std::int32_t>(v);
}

}  // namespace quarnel::binding
