#include "binding/build.hpp"

namespace quarnel::binding {

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
