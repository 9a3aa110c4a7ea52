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
#include "binding/numpy.hpp"
#include "columnar/annotate.hpp"
#include "columnar/sparse.hpp"
#include "columnar/token_lists.hpp"
#include "columnar/tokenize.hpp"
#include "core/texts.hpp"

namespace quarnel::binding {

using converter::Conversion;
using converter::ConvertOptions;
using converter::Converter;
using converter::Element;
using converter::MatrixView;
using icu_word_pre_tokenizer::ICUWordPreTokenizer;
using qa_annotator::Corpus;
using qa_annotator::QAAnnotator;
using regex_tokenizer::RegexTokenizer;
using regex_tokenizer::kDefaultNormalization;
using regex_tokenizer::kDefaultPattern;

template <>
ClassDef& class_def<RegexTokenizer>();
template <>
ClassDef& class_def<QAAnnotator>();
template <>
ClassDef& class_def<Converter>();
template <>
ClassDef& class_def<ICUWordPreTokenizer>();

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

// A float32 or a float16 matrix, whichever the array is.
struct FloatMatrix {
    Array2 reps;
    Element element;
};

}  // namespace

template <>
struct Convert<FloatMatrix> {
    static Result<FloatMatrix> from(PyObject* value) {
        if (auto f32 = to_array2(value, NumpyType::Float32)) return FloatMatrix{std::move(f32).value(), Element::F32};
        else if (PyErr_Occurred()) return std::move(f32).error();
        QUARNEL_TRY(Array2 f16, to_array2(value, NumpyType::Float16));
        return FloatMatrix{std::move(f16), Element::F16};
    }
};

namespace {

// A module function: its body reads its arguments from Args<E>.
template <const Entry& E, auto Body>
PyCFunction function_entry() {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&detail::vector_entry<E, Body>));
}

// The result column of a call, or its error: text that is not UTF-8 is
// reported as the interpreter reports it, with the row.
// The input is released first: its producer's callbacks may run Python
// code, which must not find an exception of ours pending.
Result<PyObject*> column_result(Result<std::vector<std::shared_ptr<columnar::Node>>> lists,
                                columnar::StringColumn& texts, bool chunked, bool views) {
    if (!lists) {
        const Error& e = lists.error();
        if (e.kind == ErrorKind::ValueError && e.message == columnar::kNotUtf8) {
            const NotUtf8 bad = first_not_utf8(texts, "texts");
            texts.release();
            return not_utf8(bad);
        }
        return std::move(lists).error();
    }
    texts.release();
    std::shared_ptr<columnar::Node> type;
    if (lists->empty()) {
        std::vector<std::shared_ptr<columnar::Node>> empty{columnar::ListBuilder(columnar::StringChunk{}).finish()};
        if (views) (void)columnar::strings_to_views(empty);
        type = empty[0];
    }
    return built(new_column(std::move(lists).value(), chunked, std::move(type)));
}

// ---- tokenizers ----

constexpr Entry kTokenize{"columnar",
                          "tokenize",
                          {required<Receiver<RegexTokenizer>>("tokenizer"), required<ArrowInput>("texts"),
                           defaulted("string_view", false)}};

Result<PyObject*> tokenize(const Args<kTokenize>& args) {
    QUARNEL_TRY(Receiver<RegexTokenizer> tokenizer, args.get<Receiver<RegexTokenizer>, "tokenizer">());
    QUARNEL_TRY(ArrowInput input, args.get<ArrowInput, "texts">());
    QUARNEL_TRY(bool views, args.get<bool, "string_view">());
    const bool chunked = input.is_stream;
    QUARNEL_TRY(columnar::StringColumn texts, read_column<columnar::StringChunk>(std::move(input), "texts"));
    auto lists = without_gil([&] { return columnar::tokenize_column(tokenizer.get(), texts, views); });
    return column_result(std::move(lists), texts, chunked, views);
}

constexpr Entry kPreTokenize{"columnar",
                             "pre_tokenize",
                             {required<Receiver<ICUWordPreTokenizer>>("pre_tokenizer"), required<ArrowInput>("texts"),
                              defaulted("remove_stopwords", false),
                              defaulted("lowercase", true), defaulted("string_view", false)}};

Result<PyObject*> pre_tokenize(const Args<kPreTokenize>& args) {
    QUARNEL_TRY(Receiver<ICUWordPreTokenizer> tokenizer, args.get<Receiver<ICUWordPreTokenizer>, "pre_tokenizer">());
    QUARNEL_TRY(ArrowInput input, args.get<ArrowInput, "texts">());
    QUARNEL_TRY(bool remove_stopwords, args.get<bool, "remove_stopwords">());
    QUARNEL_TRY(bool lowercase, args.get<bool, "lowercase">());
    QUARNEL_TRY(bool views, args.get<bool, "string_view">());
    const bool chunked = input.is_stream;
    QUARNEL_TRY(columnar::StringColumn texts, read_column<columnar::StringChunk>(std::move(input), "texts"));
    auto lists = without_gil(
        [&] { return columnar::pre_tokenize_column(tokenizer.get(), texts, remove_stopwords, lowercase, views); });
    return column_result(std::move(lists), texts, chunked, views);
}

// ---- QAAnnotator ----

// The error of a call that found text that is not UTF-8 (`invalid`),
// raised once the call's columns are released (see column_result).
template <class... Columns>
Error annotate_error(Error e, const columnar::InvalidText& invalid, Columns&... columns) {
    if (e.kind == ErrorKind::ValueError && e.message == columnar::kNotUtf8) {
        const NotUtf8 bad{std::string(invalid.text), invalid.row, invalid.column};
        (columns.release(), ...);
        return not_utf8(bad);
    }
    return e;
}

constexpr Entry kAnnotator{"columnar",
                           "annotator",
                           {required<ArrowInput>("docids"), required<ArrowInput>("tokens"), elided("pattern", kDefaultPattern),
                            defaulted("lowercase", true), defaulted("normalize", true),
                            elided("normalization_from", kDefaultNormalization)}};

Result<PyObject*> annotator(const Args<kAnnotator>& args) {
    QUARNEL_TRY(ArrowInput docid_input, args.get<ArrowInput, "docids">());
    QUARNEL_TRY(ArrowInput token_input, args.get<ArrowInput, "tokens">());
    QUARNEL_TRY(std::string pattern, args.get<std::string, "pattern">());
    QUARNEL_TRY(bool lowercase, args.get<bool, "lowercase">());
    QUARNEL_TRY(bool normalize, args.get<bool, "normalize">());
    QUARNEL_TRY(std::string form, args.get<std::string, "normalization_from">());
    QUARNEL_TRY(columnar::StringColumn docids, read_column<columnar::StringChunk>(std::move(docid_input), "docids"));
    QUARNEL_TRY(columnar::StringListColumn tokens,
                read_column<columnar::StringListChunk>(std::move(token_input), "tokens"));
    QUARNEL_TRY(RegexTokenizer tokenizer, RegexTokenizer::create(pattern, lowercase, normalize, form));
    columnar::InvalidText invalid;
    Result<Corpus> corpus = without_gil([&] { return columnar::corpus_from_columns(docids, tokens, invalid); });
    if (!corpus) return annotate_error(std::move(corpus).error(), invalid, docids, tokens);
    docids.release();
    tokens.release();
    PyTypeObject* type = type_object(class_def<QAAnnotator>());
    if (!type) return pending();
    return instantiate<QAAnnotator>(type, QAAnnotator(std::move(tokenizer), std::move(corpus).value()));
}

constexpr Entry kAnnotate{"columnar",
                          "annotate",
                          {required<Receiver<QAAnnotator>>("annotator"), required<ArrowInput>("qids"), required<ArrowInput>("docids"),
                           required<ArrowInput>("answers")}};

Result<PyObject*> annotate(const Args<kAnnotate>& args) {
    QUARNEL_TRY(Receiver<QAAnnotator> annotator, args.get<Receiver<QAAnnotator>, "annotator">());
    QUARNEL_TRY(ArrowInput qid_input, args.get<ArrowInput, "qids">());
    QUARNEL_TRY(ArrowInput docid_input, args.get<ArrowInput, "docids">());
    QUARNEL_TRY(ArrowInput answer_input, args.get<ArrowInput, "answers">());
    QUARNEL_TRY(columnar::StringColumn qids, read_column<columnar::StringChunk>(std::move(qid_input), "qids"));
    QUARNEL_TRY(columnar::StringColumn docids, read_column<columnar::StringChunk>(std::move(docid_input), "docids"));
    QUARNEL_TRY(columnar::StringListColumn answers,
                read_column<columnar::StringListChunk>(std::move(answer_input), "answers"));
    columnar::InvalidText invalid;
    auto run = without_gil([&] { return columnar::judge_run(annotator.get(), qids, docids, answers, invalid); });
    if (!run) return annotate_error(std::move(run).error(), invalid, qids, docids, answers);
    qids.release();
    docids.release();
    answers.release();
    return built(new_column({std::move(run).value()}, false));
}

// ---- Converter ----

constexpr Entry kSparseToMaps{"columnar",
                              "sparse_to_maps",
                              {required<Receiver<Converter>>("converter"), required<FloatMatrix>("reps"),
                               defaulted("quantization_factor", 100),
                               defaulted("convert_id_to_token", false), defaulted("allow_negative_values", false),
                               defaulted("negative_prefix", "neg_")}};
constexpr Entry kSparseToText = kSparseToMaps.renamed("sparse_to_pseudo_text");

// A float32 or float16 matrix and the options, as the Converter's methods
// take them; `reps` keeps the array alive.
struct MatrixCall {
    Array2 reps;
    Element element;
    ConvertOptions options;
    MatrixView view() const { return {reps.data, reps.rows, reps.cols, reps.row_stride, reps.col_stride, element}; }
};

Result<MatrixCall> matrix_call(const Args<kSparseToMaps>& args) {
    MatrixCall call;
    QUARNEL_TRY(FloatMatrix reps, args.get<FloatMatrix, "reps">());
    call.reps = std::move(reps.reps);
    call.element = reps.element;
    QUARNEL_TRY(call.options.quantization_factor, args.get<std::int32_t, "quantization_factor">());
    QUARNEL_TRY(call.options.convert_id_to_token, args.get<bool, "convert_id_to_token">());
    QUARNEL_TRY(call.options.allow_negative_values, args.get<bool, "allow_negative_values">());
    QUARNEL_TRY(call.options.negative_prefix, args.get<std::string, "negative_prefix">());
    QUARNEL_TRY_VOID(converter::check_columns(call.view()));
    return call;
}

template <Result<std::shared_ptr<columnar::Node>> (*Make)(const Converter&, const Conversion&)>
Result<PyObject*> sparse(const Args<kSparseToMaps>& args) {
    QUARNEL_TRY(Receiver<Converter> converter, args.get<Receiver<Converter>, "converter">());
    QUARNEL_TRY(MatrixCall call, matrix_call(args));
    const Conversion conversion(converter.get(), call.view(), std::move(call.options));
    auto column = without_gil([&] { return Make(converter.get(), conversion); });
    call.reps.array = Ref();
    if (!column) return std::move(column).error();
    return built(new_column({std::move(column).value()}, false));
}

// ---- module ----

PyObject* live_exports(PyObject*, PyObject*) { return PyLong_FromLongLong(columnar::live_exports()); }

struct FunctionDoc {
    const Entry* entry;
    const char* body;
    PyCFunction function;
};

const FunctionDoc kFunctions[] = {
    {&kTokenize, texts::kColumnarTokenizeDoc, function_entry<kTokenize, tokenize>()},
    {&kPreTokenize, texts::kColumnarPreTokenizeDoc, function_entry<kPreTokenize, pre_tokenize>()},
    {&kAnnotator, texts::kColumnarAnnotatorDoc, function_entry<kAnnotator, annotator>()},
    {&kAnnotate, texts::kColumnarAnnotateDoc, function_entry<kAnnotate, annotate>()},
    {&kSparseToMaps, texts::kColumnarSparseToMapsDoc, function_entry<kSparseToMaps, sparse<&columnar::maps_column>>()},
    {&kSparseToText, texts::kColumnarSparseToTextDoc,
     function_entry<kSparseToText, sparse<&columnar::pseudo_text_column>>()},
};

std::vector<std::string> g_docs;
std::vector<PyMethodDef> g_methods;

PyModuleDef g_module_def = {
    PyModuleDef_HEAD_INIT,
    texts::kColumnarName,
    texts::kColumnarDoc,
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
        g_methods.push_back({"_live_exports", &live_exports, METH_NOARGS, texts::kLiveExportsDoc});
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
