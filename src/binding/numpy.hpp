// NumPy arrays as arguments, through NumPy's C API. The API table comes
// from the `_ARRAY_API` capsule of NumPy's multiarray module, looked up on
// first need: importing quarnel does not import NumPy. Works with NumPy 1.x
// and 2.x at run time; only the array object's fields, which both share,
// are read directly.
#pragma once

#include <cstddef>

#include "binding/convert.hpp"
#include "binding/python.hpp"
#include "core/result.hpp"

namespace quarnel::binding {

// NumPy's type numbers.
enum class NumpyType : int { Float32 = 11, Float16 = 23 };

// A 2-D array read in place. Holds a reference to the array, so the memory
// stays valid (also while the interpreter lock is released) until `array`
// is dropped.
struct Array2 {
    Ref array;
    const char* data = nullptr;
    std::size_t rows = 0;
    std::size_t cols = 0;
    std::ptrdiff_t row_stride = 0;
    std::ptrdiff_t col_stride = 0;
};

// Accepts an ndarray (or subclass) with exactly two dimensions whose dtype
// NumPy finds equivalent to `type` (so byte-swapped dtypes are refused).
// Anything else: TypeError naming 'PyArray<T, D>'. Failing to import NumPy
// gives its ImportError.
Result<Array2> to_array2(PyObject* value, NumpyType type);

template <NumpyType T>
struct NumpyMatrix : Array2 {};

template <NumpyType T>
struct Convert<NumpyMatrix<T>> {
    static Result<NumpyMatrix<T>> from(PyObject* value) {
        QUARNEL_TRY(Array2 a, to_array2(value, T));
        return NumpyMatrix<T>{std::move(a)};
    }
};

}  // namespace quarnel::binding
