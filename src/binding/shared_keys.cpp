#include "binding/shared_keys.hpp"

namespace quarnel::binding {

SharedKeyDicts::SharedKeyDicts(std::size_t dicts, std::size_t key_ids)
    : list_(Ref::steal(PyList_New(static_cast<Py_ssize_t>(dicts)))), keys_(key_ids, nullptr) {}

SharedKeyDicts::~SharedKeyDicts() {
    for (PyObject* k : keys_) Py_XDECREF(k);
    for (PyObject* i : ints_) Py_XDECREF(i);
}

PyObject* SharedKeyDicts::shared_int(std::int32_t v) {
    if (ints_.empty()) ints_.assign(kSharedInts, nullptr);
    PyObject*& slot = ints_[static_cast<std::size_t>(v)];
    if (!slot) slot = PyLong_FromLong(v);
    return slot;
}

}  // namespace quarnel::binding
