#include "binding/arrow.hpp"

#include <cerrno>
#include <new>
#include <string>

#include "binding/args.hpp"
#include "binding/class.hpp"
#include "binding/boundary.hpp"
#include "columnar/token_lists.hpp"
#include "core/texts.hpp"

namespace quarnel::binding {

namespace {

constexpr const char kSchemaName[] = "arrow_schema";
constexpr const char kArrayName[] = "arrow_array";
constexpr const char kStreamName[] = "arrow_array_stream";

// The structure inside a capsule of the interface, or null with an
// exception set.
template <class T>
T* capsule_pointer(PyObject* capsule, const char* name) {
    if (!PyCapsule_CheckExact(capsule)) {
        PyErr_Format(PyExc_TypeError, texts::kWrongCapsule, name, Py_TYPE(capsule)->tp_name);
        return nullptr;
    }
    return static_cast<T*>(PyCapsule_GetPointer(capsule, name));
}

// Calls value.method() (no arguments); null with an exception set.
Ref call_method(PyObject* value, const char* method) {
    Ref name = Ref::steal(PyUnicode_FromString(method));
    if (!name) return {};
    return Ref::steal(PyObject_CallMethodNoArgs(value, name.get()));
}

// ---- capsules of our own structures ----

template <class T>
void free_capsule(PyObject* capsule, const char* name) {
    // A consumer that moved the structure out left its release null.
    auto* p = static_cast<T*>(PyCapsule_GetPointer(capsule, name));
    if (!p) {
        PyErr_Clear();
        return;
    }
    if (p->release) p->release(p);
    delete p;
}

void free_schema_capsule(PyObject* c) { free_capsule<ArrowSchema>(c, kSchemaName); }
void free_array_capsule(PyObject* c) { free_capsule<ArrowArray>(c, kArrayName); }
void free_stream_capsule(PyObject* c) { free_capsule<ArrowArrayStream>(c, kStreamName); }

// Wraps a filled structure in a new capsule; on failure releases it.
template <class T>
PyObject* wrap(T* filled, const char* name, PyCapsule_Destructor destructor) {
    PyObject* capsule = PyCapsule_New(filled, name, destructor);
    if (!capsule) {
        filled->release(filled);
        delete filled;
    }
    return capsule;
}

// ---- the result objects ----

struct ColumnData {
    std::vector<std::shared_ptr<const columnar::Node>> chunks;
    std::shared_ptr<const columnar::Node> type;  // chunks[0], or the type of an empty stream
    std::int64_t rows = 0;
};

struct ColumnObject {
    PyObject_HEAD
    ColumnData* data;
};

ColumnData& data_of(PyObject* self) { return *reinterpret_cast<ColumnObject*>(self)->data; }

void column_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    delete reinterpret_cast<ColumnObject*>(self)->data;
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* schema_capsule(const columnar::Node& type) {
    auto* s = new ArrowSchema;
    s->release = nullptr;
    try {
        columnar::export_schema(type, s);
    } catch (...) {
        delete s;
        throw;
    }
    return wrap(s, kSchemaName, &free_schema_capsule);
}

PyObject* column_schema(PyObject* self, PyObject*) {
    return boundary([&]() -> Result<PyObject*> { return built(schema_capsule(*data_of(self).type)); });
}

// The optional `requested_schema` of the interface's methods; the result
// has one type, which consumers cast from if they asked for another.
bool parse_requested(PyObject* args, PyObject* kwargs, const char* method) {
    static const char* keywords[] = {"requested_schema", nullptr};
    PyObject* requested = Py_None;
    std::string format = std::string("|O:") + method;
    return PyArg_ParseTupleAndKeywords(args, kwargs, format.c_str(), const_cast<char**>(keywords), &requested) != 0;
}

PyObject* column_array(PyObject* self, PyObject* args, PyObject* kwargs) {
    if (!parse_requested(args, kwargs, "__arrow_c_array__")) return nullptr;
    return boundary([&]() -> Result<PyObject*> {
        ColumnData& d = data_of(self);
        Ref schema = Ref::steal(schema_capsule(*d.type));
        if (!schema) return pending();
        auto* a = new ArrowArray;
        a->release = nullptr;
        try {
            columnar::export_array(d.chunks.at(0), a);
        } catch (...) {
            delete a;
            throw;
        }
        Ref array = Ref::steal(wrap(a, kArrayName, &free_array_capsule));
        if (!array) return pending();
        return built(PyTuple_Pack(2, schema.get(), array.get()));
    });
}

PyObject* column_stream(PyObject* self, PyObject* args, PyObject* kwargs) {
    if (!parse_requested(args, kwargs, "__arrow_c_stream__")) return nullptr;
    return boundary([&]() -> Result<PyObject*> {
        ColumnData& d = data_of(self);
        auto* s = new ArrowArrayStream;
        s->release = nullptr;
        try {
            columnar::export_stream(d.chunks, d.type, s);
        } catch (...) {
            delete s;
            throw;
        }
        return built(wrap(s, kStreamName, &free_stream_capsule));
    });
}

Py_ssize_t column_length(PyObject* self) { return static_cast<Py_ssize_t>(data_of(self).rows); }

PyObject* column_repr(PyObject* self) {
    return boundary([&]() -> Result<PyObject*> {
        ColumnData& d = data_of(self);
        ArrowSchema s;
        columnar::export_schema(*d.type, &s);
        std::string type = columnar::type_name(s);
        s.release(&s);
        return built(PyUnicode_FromFormat(texts::kColumnRepr, Py_TYPE(self)->tp_name, type.c_str(),
                                          static_cast<Py_ssize_t>(d.rows), static_cast<Py_ssize_t>(d.chunks.size()),
                                          d.chunks.size() == 1 ? "" : "s"));
    });
}

PyObject* column_nbytes(PyObject* self, void*) {
    std::size_t total = 0;
    for (const auto& c : data_of(self).chunks) total += c->memory_bytes();
    return PyLong_FromSize_t(total);
}

PyObject* column_chunks(PyObject* self, void*) { return PyLong_FromSize_t(data_of(self).chunks.size()); }

#define QUARNEL_CAPSULE_METHODS                                                                                   \
    {"__arrow_c_schema__", reinterpret_cast<PyCFunction>(&column_schema), METH_NOARGS, texts::kColumnSchemaDoc}, \
    {                                                                                                             \
        "__arrow_c_stream__", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&column_stream)),      \
            METH_VARARGS | METH_KEYWORDS,                                                                         \
            texts::kColumnStreamDoc                                                                               \
    }

PyMethodDef g_column_methods[] = {
    QUARNEL_CAPSULE_METHODS,
    {"__arrow_c_array__", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&column_array)),
     METH_VARARGS | METH_KEYWORDS,
     texts::kColumnArrayDoc},
    {nullptr, nullptr, 0, nullptr},
};
PyMethodDef g_chunked_methods[] = {QUARNEL_CAPSULE_METHODS, {nullptr, nullptr, 0, nullptr}};

PyGetSetDef g_getset[] = {
    {"nbytes", &column_nbytes, nullptr, texts::kColumnNbytesDoc, nullptr},
    {"num_chunks", &column_chunks, nullptr, texts::kColumnChunksDoc, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyTypeObject* make_type(bool chunked) {
    PyType_Slot slots[] = {
        {Py_tp_doc, const_cast<char*>(chunked ? texts::kChunkedColumnDoc : texts::kColumnDoc)},
        {Py_tp_dealloc, reinterpret_cast<void*>(&column_dealloc)},
        {Py_tp_methods, chunked ? g_chunked_methods : g_column_methods},
        {Py_tp_getset, g_getset},
        {Py_tp_repr, reinterpret_cast<void*>(&column_repr)},
        {Py_sq_length, reinterpret_cast<void*>(&column_length)},
        {0, nullptr},
    };
    PyType_Spec spec{chunked ? texts::kChunkedColumnName : texts::kColumnName,
                     static_cast<int>(sizeof(ColumnObject)), 0,
                     Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION, slots};
    return reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
}

}  // namespace

PyTypeObject* column_type(bool chunked) {
    static PyTypeObject* types[2] = {nullptr, nullptr};
    PyTypeObject*& t = types[chunked ? 1 : 0];
    if (!t) t = make_type(chunked);
    return t;
}

PyObject* new_column(std::vector<std::shared_ptr<columnar::Node>> chunks, bool chunked,
                     std::shared_ptr<columnar::Node> type) {
    PyTypeObject* t = column_type(chunked);
    if (!t) return nullptr;
    auto data = std::make_unique<ColumnData>();
    for (auto& c : chunks) {
        data->rows += c->length;
        data->chunks.push_back(std::move(c));
    }
    data->type = type ? std::shared_ptr<const columnar::Node>(std::move(type)) : data->chunks.at(0);
    PyObject* obj = t->tp_alloc(t, 0);
    if (!obj) return nullptr;
    reinterpret_cast<ColumnObject*>(obj)->data = data.release();
    return obj;
}

Result<ArrowInput> Convert<ArrowInput>::from(PyObject* value) {
    ArrowInput in;
    const int has_array = PyObject_HasAttrString(value, "__arrow_c_array__");
    if (has_array) {
        Ref pair = call_method(value, "__arrow_c_array__");
        if (!pair) return pending();
        if (!PyTuple_Check(pair.get()) || PyTuple_GET_SIZE(pair.get()) != 2)
            return type_error(texts::kArrayNotPair);
        auto* schema = capsule_pointer<ArrowSchema>(PyTuple_GET_ITEM(pair.get(), 0), kSchemaName);
        if (!schema) return pending();
        auto* array = capsule_pointer<ArrowArray>(PyTuple_GET_ITEM(pair.get(), 1), kArrayName);
        if (!array) return pending();
        in.schema = columnar::OwnedSchema::take(schema);
        in.array = columnar::OwnedArray::take(array);
        return in;
    }
    if (PyObject_HasAttrString(value, "__arrow_c_stream__")) {
        Ref capsule = call_method(value, "__arrow_c_stream__");
        if (!capsule) return pending();
        auto* stream = capsule_pointer<ArrowArrayStream>(capsule.get(), kStreamName);
        if (!stream) return pending();
        in.stream = columnar::OwnedStream::take(stream);
        in.is_stream = true;
        return in;
    }
    return cannot_convert(value, texts::kArrowArray);
}

template <class Chunk>
Result<columnar::Column<Chunk>> read_column(ArrowInput input, const char* param) {
    using Column = columnar::Column<Chunk>;
    Result<Column> column = Error{};
    int code = 0;
    if (input.is_stream) {
        column = without_gil([&] { return Column::from_stream(std::move(input.stream), code); });
    } else {
        column = Column::from_array(std::move(input.schema), std::move(input.array));
    }
    if (column) return column;
    if (code == ENOMEM) return Error{ErrorKind::MemoryError, column.error().message};
    if (code != 0) {
        Ref args = Ref::steal(Py_BuildValue("(is)", code, column.error().message.c_str()));
        if (args) PyErr_SetObject(PyExc_OSError, args.get());
        return pending();
    }
    return argument_error(param, std::move(column).error());
}

template Result<columnar::StringColumn> read_column(ArrowInput, const char*);
template Result<columnar::StringListColumn> read_column(ArrowInput, const char*);

NotUtf8 first_not_utf8(const columnar::StringColumn& column, const char* name) {
    const auto found = columnar::first_invalid_row(column);
    if (!found) fault("a column said to hold text that is not UTF-8 holds none");
    const auto [c, i] = *found;
    std::size_t row = i;
    for (std::size_t k = 0; k < c; ++k) row += column.chunks()[k].size();
    return NotUtf8{std::string(column.chunks()[c][i]), row, name};
}

Error not_utf8(const NotUtf8& bad) {
    const std::string& text = bad.text;
    const std::size_t row = bad.row;
    const char* column = bad.column;
    Ref decoded = Ref::steal(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "strict"));
    if (decoded) fault("the interpreter decodes a text found not to be UTF-8");
#if PY_VERSION_HEX >= 0x030C0000
    Ref exc = Ref::steal(PyErr_GetRaisedException());
#else
    PyObject *type = nullptr, *value = nullptr, *tb = nullptr;
    PyErr_Fetch(&type, &value, &tb);
    PyErr_NormalizeException(&type, &value, &tb);
    if (tb) PyException_SetTraceback(value, tb);
    Py_XDECREF(type);
    Py_XDECREF(tb);
    Ref exc = Ref::steal(value);
#endif
    Ref note = Ref::steal(PyUnicode_FromFormat(texts::kRowNote, row, column));
    if (note) {
        Ref done = Ref::steal(PyObject_CallMethod(exc.get(), "add_note", "O", note.get()));
        if (!done) PyErr_Clear();
    } else {
        PyErr_Clear();
    }
#if PY_VERSION_HEX >= 0x030C0000
    PyErr_SetRaisedException(exc.release());
#else
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exc.get())), exc.get());
#endif
    return pending();
}

}  // namespace quarnel::binding
