#include "binding/numpy.hpp"
#include "core/texts.hpp"

#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#include <numpy/ndarraytypes.h>

#include <atomic>

namespace quarnel::binding {

namespace {

// Slots of NumPy's API table (the same in 1.x and 2.x).
constexpr int kArrayType = 2;
constexpr int kDescrFromType = 45;
constexpr int kEquivTypes = 182;

// The capsule moved with NumPy 2 from numpy.core to numpy._core.
constexpr const char* kMultiarrayModules[] = {"numpy._core._multiarray_umath", "numpy.core._multiarray_umath"};

// Set on first need. Threads that get there at once (free-threaded builds)
// all find the same table and store the same value.
std::atomic<void**> g_api{nullptr};

Result<void**> numpy_api() {
    if (void** api = g_api.load(std::memory_order_acquire)) return api;
    for (const char* name : kMultiarrayModules) {
        Ref module = Ref::steal(PyImport_ImportModule(name));
        if (!module) {
            // Try the other location; the last failure is the one raised.
            if (name != kMultiarrayModules[std::size(kMultiarrayModules) - 1] &&
                PyErr_ExceptionMatches(PyExc_ImportError)) {
                PyErr_Clear();
                continue;
            }
            return pending();
        }
        Ref capsule = Ref::steal(PyObject_GetAttrString(module.get(), "_ARRAY_API"));
        if (!capsule) return pending();
        if (!PyCapsule_CheckExact(capsule.get()))
            return Error{ErrorKind::ImportError, texts::kArrayApiNotCapsule};
        void* table = PyCapsule_GetPointer(capsule.get(), nullptr);
        if (!table) return pending();
        // The table lives as long as NumPy's module, which is never unloaded.
        g_api.store(static_cast<void**>(table), std::memory_order_release);
        return static_cast<void**>(table);
    }
    return pending();
}

// NumPy's descriptor for a type number (cached: they are NumPy's own
// singletons). Threads that look one up at once keep the first published
// reference and drop their own.
PyArray_Descr* descriptor(void** api, NumpyType type) {
    static std::atomic<PyArray_Descr*> cached[2] = {nullptr, nullptr};
    std::atomic<PyArray_Descr*>& slot = cached[type == NumpyType::Float32 ? 0 : 1];
    if (PyArray_Descr* d = slot.load(std::memory_order_acquire)) return d;
    auto from_type = reinterpret_cast<PyArray_Descr* (*)(int)>(api[kDescrFromType]);
    PyArray_Descr* d = from_type(static_cast<int>(type));  // a reference kept for the process
    if (!d) return nullptr;
    PyArray_Descr* expected = nullptr;
    if (slot.compare_exchange_strong(expected, d, std::memory_order_acq_rel)) return d;
    Py_DECREF(reinterpret_cast<PyObject*>(d));
    return expected;
}

}  // namespace

Result<Array2> to_array2(PyObject* value, NumpyType type) {
    QUARNEL_TRY(void** api, numpy_api());
    auto* array_type = static_cast<PyTypeObject*>(api[kArrayType]);
    if (!PyObject_TypeCheck(value, array_type)) return cannot_convert(value, texts::kPyArray);
    auto* array = reinterpret_cast<PyArrayObject*>(value);
    if (PyArray_NDIM(array) != 2) return cannot_convert(value, texts::kPyArray);
    PyArray_Descr* wanted = descriptor(api, type);
    if (!wanted) return pending();
    auto equivalent = reinterpret_cast<unsigned char (*)(PyArray_Descr*, PyArray_Descr*)>(api[kEquivTypes]);
    if (!equivalent(PyArray_DESCR(array), wanted)) return cannot_convert(value, texts::kPyArray);

    Array2 out;
    out.array = Ref::borrow(value);
    out.data = static_cast<const char*>(PyArray_DATA(array));
    out.rows = static_cast<std::size_t>(PyArray_DIMS(array)[0]);
    out.cols = static_cast<std::size_t>(PyArray_DIMS(array)[1]);
    out.row_stride = PyArray_STRIDES(array)[0];
    out.col_stride = PyArray_STRIDES(array)[1];
    return out;
}

}  // namespace quarnel::binding
