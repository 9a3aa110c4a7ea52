// Arrow's PyCapsule interface: taking columns from any object that offers
// __arrow_c_array__ or __arrow_c_stream__, and the result objects that
// offer them for columns made here (columnar/output.hpp). Interpreter lock
// held unless said otherwise.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "binding/convert.hpp"
#include "binding/python.hpp"
#include "columnar/input.hpp"
#include "columnar/output.hpp"
#include "core/result.hpp"

namespace quarnel::binding {

// What an argument offered: one array with its schema, or a stream; the
// structures are moved out of their capsules, so that they are released
// here, exactly once. Anything without either method: TypeError naming
// 'Arrow array'.
struct ArrowInput {
    columnar::OwnedSchema schema;
    columnar::OwnedArray array;
    columnar::OwnedStream stream;
    bool is_stream = false;
};

template <>
struct Convert<ArrowInput> {
    static Result<ArrowInput> from(PyObject* value);
};

// The column `input` holds (Chunk: columnar::StringChunk or
// StringListChunk); a stream is read to its end with the lock released.
// The wrong type: the TypeError of argument `param`; a stream that reports
// an error: OSError with the stream's errno and message (MemoryError for
// ENOMEM).
template <class Chunk>
Result<columnar::Column<Chunk>> read_column(ArrowInput input, const char* param);

// A text that is not UTF-8, copied out of its column: the columns of a call
// are released (their producers' callbacks may run Python code) before the
// exception is raised.
struct NotUtf8 {
    std::string text;
    std::size_t row;
    const char* column;
};

// The first text of `column` that is not UTF-8 (there must be one).
NotUtf8 first_not_utf8(const columnar::StringColumn& column, const char* name);

// The interpreter's UnicodeDecodeError for the text, with a note naming its
// row of its column. Call it with the call's columns released.
Error not_utf8(const NotUtf8& bad);

// A new result object over `chunks` (at least one unless `type` is given):
// a Column (one array: __arrow_c_schema__, __arrow_c_array__ and
// __arrow_c_stream__), or when `chunked` a ChunkedColumn (no
// __arrow_c_array__).
PyObject* new_column(std::vector<std::shared_ptr<columnar::Node>> chunks, bool chunked,
                     std::shared_ptr<columnar::Node> type = nullptr);

// The two result types (created on first need; borrowed), for the module.
PyTypeObject* column_type(bool chunked);

}  // namespace quarnel::binding
