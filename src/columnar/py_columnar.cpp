// The submodule quarnel.columnar: the classes' work over Arrow columns, the
// texts read in place from any library that offers the Arrow PyCapsule
// interface and the results written straight into Arrow buffers, with no
// Python object per text or token. It lives in the same shared object as
// quarnel (quarnel/columnar.py loads its entry, PyInit_columnar), so that
// its functions reach the native values inside the classes' instances.
#include <string>
#include <vector>

#include "binding/arrow.hpp"
#include "binding/build.hpp"
#include "binding/class.hpp"
#include "columnar/token_lists.hpp"
#include "columnar/tokenize.hpp"

namespace quarnel::binding {

namespace {

// An instance of one of the classes, borrowed for the call; anything else
// fails as a receiver of the wrong type does.
template <class Native>
struct Receiver {
    Borrow<Native> borrow;
    const Native& get() const noexcept { return borrow.get(); }
};

}  // namespace

template <class Native>
struct Convert<Receiver<Native>> {
    static Result<Receiver<Native>> from(PyObject* value) {
        QUARNEL_TRY(Borrow<Native> b, Borrow<Native>::take(value));
        return Receiver<Native>{std::move(b)};
    }
};

namespace {

using FunctionBody = Result<PyObject*> (*)(const Args&);

template <const Entry& E, FunctionBody Body>
PyObject* function_entry(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return boundary([&]() -> Result<PyObject*> {
        Args a(E);
        if (auto r = a.bind_vector(args, static_cast<std::size_t>(PyVectorcall_NARGS(nargsf)), kwnames); !r)
            return std::move(r).error();
        Result<PyObject*> result = Body(a);
        if (result) detail::read_all_or_drop(a, result.value());
        return result;
    });
}

// The result column of a call, or its error: text that is not UTF-8 is
// reported as the interpreter reports it, with the row.
Result<PyObject*> column_result(Result<std::vector<std::shared_ptr<columnar::Node>>> lists,
                                const columnar::StringColumn& texts, bool chunked) {
    if (!lists) {
        const Error& e = lists.error();
        if (e.kind == ErrorKind::ValueError && e.message == columnar::kNotUtf8) return not_utf8(texts);
        return std::move(lists).error();
    }
    std::shared_ptr<columnar::Node> type;
    if (lists->empty()) type = columnar::ListBuilder(columnar::StringChunk{}).finish();
    return built(new_column(std::move(lists).value(), chunked, std::move(type)));
}

// ---- tokenizers ----

constexpr Entry kTokenize{"columnar", "tokenize", {required("tokenizer"), required("texts")}};

Result<PyObject*> tokenize(const Args& args) {
    QUARNEL_TRY(Receiver<RegexTokenizer> tokenizer, args.get<Receiver<RegexTokenizer>>(0));
    QUARNEL_TRY(ArrowInput input, args.get<ArrowInput>(1));
    const bool chunked = input.is_stream;
    QUARNEL_TRY(columnar::StringColumn texts, read_strings(std::move(input), "texts"));
    auto lists = without_gil([&] { return columnar::tokenize_column(tokenizer.get(), texts); });
    return column_result(std::move(lists), texts, chunked);
}

constexpr Entry kPreTokenize{"columnar",
                             "pre_tokenize",
                             {required("pre_tokenizer"), required("texts"), defaulted("remove_stopwords", false),
                              defaulted("lowercase", true)}};

Result<PyObject*> pre_tokenize(const Args& args) {
    QUARNEL_TRY(Receiver<ICUWordPreTokenizer> tokenizer, args.get<Receiver<ICUWordPreTokenizer>>(0));
    QUARNEL_TRY(ArrowInput input, args.get<ArrowInput>(1));
    QUARNEL_TRY(bool remove_stopwords, args.get<bool>(2));
    QUARNEL_TRY(bool lowercase, args.get<bool>(3));
    const bool chunked = input.is_stream;
    QUARNEL_TRY(columnar::StringColumn texts, read_strings(std::move(input), "texts"));
    auto lists = without_gil(
        [&] { return columnar::pre_tokenize_column(tokenizer.get(), texts, remove_stopwords, lowercase); });
    return column_result(std::move(lists), texts, chunked);
}

// ---- module ----

PyObject* live_exports(PyObject*, PyObject*) { return PyLong_FromLongLong(columnar::live_exports()); }

struct FunctionDoc {
    const Entry* entry;
    const char* body;
    PyCFunction function;
};

const FunctionDoc kFunctions[] = {
    {&kTokenize,
     "The tokens of every text of an Arrow column of strings (utf8, large_utf8 or utf8_view; any object offering "
     "`__arrow_c_array__` or `__arrow_c_stream__`), exactly as `tokenizer.batch_tokenize` gives them, as a column "
     "of type large_list<utf8>: a Column for one array, a ChunkedColumn (one array per chunk) for a stream. A "
     "null text gives a null row.",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&function_entry<kTokenize, tokenize>))},
    {&kPreTokenize,
     "The words of every text of an Arrow column of strings, exactly as `pre_tokenizer.batch_tokenize` gives them "
     "with the same flags, as a column of type large_list<utf8> (see `tokenize`).",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&function_entry<kPreTokenize, pre_tokenize>))},
};

std::vector<std::string> g_docs;
std::vector<PyMethodDef> g_methods;

PyModuleDef g_module_def = {
    PyModuleDef_HEAD_INIT,
    "quarnel.columnar",
    "The classes' work over Arrow columns: texts read in place from pyarrow, Polars, DuckDB or any library that "
    "offers the Arrow PyCapsule interface, results returned as Arrow columns that those libraries read without "
    "copying.",
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

Result<PyObject*> initialise() {
    if (g_methods.empty()) {
        g_docs.reserve(std::size(kFunctions));
        for (const FunctionDoc& f : kFunctions)
            g_docs.push_back(std::string(f.entry->func) + text_signature(*f.entry, false) + "\n--\n\n" + f.body);
        for (std::size_t i = 0; i < std::size(kFunctions); ++i)
            g_methods.push_back({kFunctions[i].entry->func, kFunctions[i].function, METH_FASTCALL | METH_KEYWORDS,
                                 g_docs[i].c_str()});
        g_methods.push_back({"_live_exports", &live_exports, METH_NOARGS,
                             "_live_exports()\n--\n\nArrow structures handed out whose release callback has not "
                             "run yet (for tests)."});
        g_methods.push_back({nullptr, nullptr, 0, nullptr});
        g_module_def.m_methods = g_methods.data();
    }
    Ref module = Ref::steal(PyModule_Create(&g_module_def));
    if (!module) return pending();
#ifdef Py_GIL_DISABLED
    PyUnstable_Module_SetGIL(module.get(), Py_MOD_GIL_NOT_USED);
#endif
    for (bool chunked : {false, true}) {
        PyTypeObject* type = column_type(chunked);
        if (!type || PyModule_AddObjectRef(module.get(), chunked ? "ChunkedColumn" : "Column",
                                           reinterpret_cast<PyObject*>(type)) < 0)
            return pending();
    }
    return module.release();
}

}  // namespace
}  // namespace quarnel::binding

extern "C" __attribute__((visibility("default"))) PyObject* PyInit_columnar() {
    return quarnel::binding::boundary(quarnel::binding::initialise);
}
