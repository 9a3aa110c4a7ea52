// The Python class Converter: entries, docs and glue.
#if __has_include(<unistd.h>)
#include <unistd.h>
#endif

#include <limits>
#include <optional>
#include <span>

#include "binding/build.hpp"
#include "binding/class.hpp"
#include "binding/numpy.hpp"
#include "converter/converter.hpp"
#include "pool/pool.hpp"

namespace quarnel::binding {

// One JSON rep given by the caller: a dict of str -> 32-bit int.
template <>
struct Convert<TextRep> {
    static Result<TextRep> from(PyObject* value) {
        if (!PyDict_Check(value)) return cannot_convert(value, "PyDict");
        TextRep out;
        out.reserve(static_cast<std::size_t>(PyDict_GET_SIZE(value)));
        auto r = for_each_entry(value, [&](PyObject* key, PyObject* count) -> Result<void> {
            std::string text;
            if (auto k = append_utf8(key, text); !k) return k;
            QUARNEL_TRY(std::int32_t n, Convert<std::int32_t>::from(count));
            out.emplace_back(std::move(text), n);
            return {};
        });
        if (!r) return std::move(r).error();
        return out;
    }
};

namespace {

using converter::Element;
using converter::TextSize;
using converter::Token;

constexpr Entry kNew{"Converter", "__new__", {elided("vocab_dict")}};
// The matrix methods share one parameter list.
constexpr Entry kJson{"Converter", "convert_sparse_reps_to_json",
                      {required("reps"), defaulted("quantization_factor", 100), defaulted("convert_id_to_token", false),
                       defaulted("allow_negative_values", false), defaulted("negative_prefix", "neg_")}};
constexpr Entry kJsonF32 = kJson.renamed("convert_sparse_reps_to_json_f32");
constexpr Entry kJsonF16 = kJson.renamed("convert_sparse_reps_to_json_f16");
constexpr Entry kText = kJson.renamed("convert_sparse_reps_to_pseudo_text");
constexpr Entry kTextF32 = kJson.renamed("convert_sparse_reps_to_pseudo_text_f32");
constexpr Entry kTextF16 = kJson.renamed("convert_sparse_reps_to_pseudo_text_f16");
constexpr Entry kJsonToText{"Converter", "convert_json_reps_to_pseudo_text", {required("json_reps")}};

Result<Converter> make(const Args& args) {
    if (!args.has(0)) return Converter();
    QUARNEL_TRY(Converter::Vocab vocab, args.get<Converter::Vocab>(0));
    return Converter(std::move(vocab));
}

// The JSON conversion shared by the matrix methods: arguments, then the
// rows on the pool with the lock released; the array is let go before the
// result is built.
struct Converted {
    ConvertOptions options;
    std::size_t cols = 0;
    std::vector<JsonRep> reps;
};

template <Element E>
Result<Converted> convert_matrix(const Converter& converter, const Args& args) {
    constexpr NumpyType type = E == Element::F32 ? NumpyType::Float32 : NumpyType::Float16;
    Converted out;
    ConvertOptions& options = out.options;
    QUARNEL_TRY(NumpyMatrix<type> reps, args.get<NumpyMatrix<type>>(0));
    QUARNEL_TRY(options.quantization_factor, args.get<std::int32_t>(1));
    QUARNEL_TRY(options.convert_id_to_token, args.get<bool>(2));
    QUARNEL_TRY(options.allow_negative_values, args.get<bool>(3));
    QUARNEL_TRY(options.negative_prefix, args.get<std::string>(4));
    const MatrixView view{reps.data, reps.rows, reps.cols, reps.row_stride, reps.col_stride, E};
    out.cols = reps.cols;
    Result<std::vector<JsonRep>> result = without_gil([&] { return converter.convert(view, options); });
    reps.array = Ref();
    if (!result) return std::move(result).error();
    out.reps = std::move(result).value();
    return out;
}

// The key str of every (column, sign) met in one call, and the int of every
// small frequency, each made once and shared by all rows' dicts. The cache
// keeps no references: an object made for an entry is owned by the dict it
// goes into first, and the result list keeps that dict alive as long as the
// cache is used.
class SharedObjects {
public:
    SharedObjects(const Converter& converter, const ConvertOptions& options, std::size_t cols)
        : converter_(converter),
          options_(options),
          positive_(cols, nullptr),
          negative_(options.allow_negative_values ? cols : 0, nullptr),
          ints_(kSharedInts, nullptr) {}

    PyObject*& key_slot(const RepEntry& e) noexcept {
        if (e.column == kPlaceholder) return placeholder_;
        return e.negative ? negative_[e.column] : positive_[e.column];
    }
    PyObject* make_key(const RepEntry& e) const {
        char digits[10];
        const std::string_view base = converter_.base_key(e, options_, digits);
        if (!e.negative) return to_python(base);
        std::string text = options_.negative_prefix;
        text += base;
        return to_python(text);
    }
    // Null for values not shared (a new int is made for each of those).
    PyObject** int_slot(std::int32_t v) noexcept {
        return v >= 0 && v < kSharedInts ? &ints_[static_cast<std::size_t>(v)] : nullptr;
    }

private:
    static constexpr std::int32_t kSharedInts = 4096;

    const Converter& converter_;
    const ConvertOptions& options_;
    std::vector<PyObject*> positive_;
    std::vector<PyObject*> negative_;
    std::vector<PyObject*> ints_;
    PyObject* placeholder_ = nullptr;
};

// Inserts entry e into `dict`, making its key and value when not shared yet.
bool insert(PyObject* dict, const RepEntry& e, SharedObjects& shared) {
    PyObject*& key = shared.key_slot(e);
    const bool new_key = !key;
    if (new_key && !(key = shared.make_key(e))) return false;
    PyObject** int_slot = shared.int_slot(e.value);
    PyObject* value = int_slot ? *int_slot : nullptr;
    const bool new_value = !value;
    if (new_value && !(value = PyLong_FromLong(e.value))) {
        if (new_key) Py_CLEAR(key);
        return false;
    }
    const bool ok = PyDict_SetItem(dict, key, value) == 0;
    // From here on the dict holds the new objects (or, on failure, nobody).
    if (new_key) {
        // Kept by the dict unless the insertion failed (or met an equal key
        // already there, which the row conversion rules out).
        const bool kept = ok && Py_REFCNT(key) > 1;
        Py_DECREF(key);
        if (!kept) key = nullptr;
    }
    if (new_value) {
        Py_DECREF(value);
        if (ok && int_slot) *int_slot = value;
    }
    return ok;
}

PyObject* build_json(const Converter& converter, const std::vector<JsonRep>& reps, const ConvertOptions& options,
                     std::size_t cols) {
    require_gil();
    CollectorPause pause;
    SharedObjects shared(converter, options, cols);
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(reps.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < reps.size(); ++i) {
        if (!keep_building()) return nullptr;
        const JsonRep& rep = reps[i];
        Ref dict = Ref::steal(new_dict(rep.size()));
        if (!dict) return nullptr;
        for (std::size_t j = 0; j < rep.size(); ++j) {
            // Keys sit all over the table and the heap: start loading ahead.
            constexpr std::size_t kAhead = 8;
            if (j + kAhead < rep.size()) __builtin_prefetch(&shared.key_slot(rep[j + kAhead]));
            if (j + kAhead / 2 < rep.size())
                if (PyObject* next = shared.key_slot(rep[j + kAhead / 2])) __builtin_prefetch(next);
            if (!insert(dict.get(), rep[j], shared)) return nullptr;
        }
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), dict.release());
    }
    return list.release();
}

template <Element E>
Result<PyObject*> to_json(const Converter& converter, const Args& args) {
    QUARNEL_TRY(Converted c, convert_matrix<E>(converter, args));
    return built(build_json(converter, c.reps, c.options, c.cols));
}

// ---- pseudo text ----

// A row ready to render: its tokens (viewing the rep's texts or `digits`)
// and the exact size of its text.
struct Plan {
    std::vector<char> digits;
    std::vector<Token> tokens;
    std::optional<TextSize> size;
};

// Physical memory where the system tells it (Linux, macOS, the BSDs);
// elsewhere no limit.
std::size_t machine_memory() noexcept {
#if defined(_SC_PHYS_PAGES) && defined(_SC_PAGESIZE)
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page = sysconf(_SC_PAGESIZE);
    if (pages > 0 && page > 0) return static_cast<std::size_t>(pages) * static_cast<std::size_t>(page);
#endif
    return std::numeric_limits<std::size_t>::max();
}

std::size_t unit_size(char32_t max_char) noexcept { return max_char < 0x100 ? 1 : max_char < 0x10000 ? 2 : 4; }

// Texts that cannot exist in this process's memory are refused before any
// is allocated: a MemoryError, never an attempt that the system would end.
Result<void> check_sizes(const std::vector<Plan>& plans) {
    std::size_t total = 0;
    const std::size_t limit = machine_memory();
    for (const Plan& p : plans) {
        std::size_t bytes = 0;
        if (!p.size || p.size->length > static_cast<std::size_t>(PY_SSIZE_T_MAX) ||
            __builtin_mul_overflow(p.size->length, unit_size(p.size->max_char), &bytes) ||
            __builtin_add_overflow(total, bytes, &total) || total > limit)
            return Error{ErrorKind::MemoryError, "cannot allocate the pseudo text: it needs more memory than this machine has"};
    }
    return {};
}

// The pseudo texts of n rows: plan_row(i, plan) fills a row's tokens, on
// the pool with the lock released; then every text is allocated as a str
// of exactly its length and width (lock held) and the texts are filled in
// place on the pool, the lock released again.
template <class PlanRow>
Result<PyObject*> pseudo_texts(std::size_t n, PlanRow&& plan_row) {
    std::vector<Plan> plans = without_gil([&] {
        return pool::map_ordered<Plan>(n, [&](std::size_t i) {
            Plan p;
            plan_row(i, p);
            p.size = converter::measure(p.tokens);
            return p;
        });
    });
    if (auto r = check_sizes(plans); !r) return std::move(r).error();
    require_gil();
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(n)));
    if (!list) return pending();
    std::vector<void*> buffers(n);
    for (std::size_t i = 0; i < n; ++i) {
        const TextSize size = *plans[i].size;
        PyObject* str = PyUnicode_New(static_cast<Py_ssize_t>(size.length), static_cast<Py_UCS4>(size.max_char));
        if (!str) return pending();
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), str);
        buffers[i] = size.length ? PyUnicode_DATA(str) : nullptr;  // the empty str is shared: never written
    }
    without_gil([&] {
        pool::map_ordered<char>(n, [&](std::size_t i) {
            const Plan& p = plans[i];
            if (!buffers[i]) return '\0';
            switch (unit_size(p.size->max_char)) {
                case 1: converter::render_into(std::span(p.tokens), static_cast<std::uint8_t*>(buffers[i])); break;
                case 2: converter::render_into(std::span(p.tokens), static_cast<std::uint16_t*>(buffers[i])); break;
                default: converter::render_into(std::span(p.tokens), static_cast<std::uint32_t*>(buffers[i])); break;
            }
            return '\0';
        });
    });
    return list.release();
}

template <Element E>
Result<PyObject*> to_pseudo_text(const Converter& converter, const Args& args) {
    QUARNEL_TRY(Converted c, convert_matrix<E>(converter, args));
    return pseudo_texts(c.reps.size(),
                        [&](std::size_t i, Plan& p) { converter.tokens(c.reps[i], c.options, p.digits, p.tokens); });
}

Result<PyObject*> json_to_pseudo_text(const Converter&, const Args& args) {
    QUARNEL_TRY(std::vector<TextRep> reps, args.get<std::vector<TextRep>>(0));
    return pseudo_texts(reps.size(), [&](std::size_t i, Plan& p) { text_tokens(reps[i], p.tokens); });
}

#define QUARNEL_OPTION_LINES                                                                                  \
    "    quantization_factor (i32): Upscaling factor. Quantized reps = (reps * quantization_factor).floor()\n" \
    "    convert_id_to_token (bool): True - Return token str; False - Return token_id str\n"                  \
    "    allow_negative_values (bool): Whether to preserve negative values.\n"                                \
    "    negative_prefix (&str): Sparse reps doesn't allow negative values. Thus the entry of negative value\n" \
    "                            will be `{negative_prefix}_{token}`."

#define QUARNEL_JSON_DOC(width, bits)                                                                   \
    "A " width " multi-threaded version of Convert sparse representations to quantized JSON format.\n" \
    "Format: `{token_id / token: int frequency}`, all keys are `str`.\n"                                 \
    "\n"                                                                                                 \
    "### Args:\n"                                                                                        \
    "    reps (PyReadonlyArray2<f" bits ">): Numpy f" bits " array, shape [batch_size, vocab_dim]\n" QUARNEL_OPTION_LINES

#define QUARNEL_TEXT_DOC(width, bits)                                                                                 \
    "A " width " multi-threaded version of Convert sparse representations to quantized pseudo text.\n"               \
    "Format: `token1 token1 ... token1 token2 token2 ... token2 ...`, each `tokenx` will be repeated `frequency times`.\n" \
    "\n"                                                                                                               \
    "### Args:\n"                                                                                                      \
    "\n"                                                                                                               \
    "    reps (PyReadonlyArray2<f" bits ">): Numpy f" bits " array, shape [batch_size, vocab_dim]\n" QUARNEL_OPTION_LINES

}  // namespace

template <>
ClassDef& class_def<Converter>() {
    static ClassDef def = define<Converter, kNew, make>(
        "## Converter can convert sparse arrays to JSON / Pseudo String format efficiently\n"
        "\n"
        "### Args:\n"
        "    vocab_dict (Option<HashMap<i32, String>>): A map of `token_id -> token_str`\n",
        {
            method<Converter, kJson, to_json<Element::F32>>(
                "Same as `self.convert_sparse_reps_to_json_f32`\n" QUARNEL_JSON_DOC("float32", "32")),
            method<Converter, kJsonF32, to_json<Element::F32>>(QUARNEL_JSON_DOC("float32", "32")),
            method<Converter, kJsonF16, to_json<Element::F16>>(QUARNEL_JSON_DOC("float16", "16")),
            method<Converter, kText, to_pseudo_text<Element::F32>>(
                "Same as `self.convert_sparse_reps_to_pseudo_text_f32`\n" QUARNEL_TEXT_DOC("float32", "32")),
            method<Converter, kTextF32, to_pseudo_text<Element::F32>>(QUARNEL_TEXT_DOC("float32", "32")),
            method<Converter, kTextF16, to_pseudo_text<Element::F16>>(QUARNEL_TEXT_DOC("float16", "16")),
            method<Converter, kJsonToText, json_to_pseudo_text>(
                "Convert json reps to pseudo text\n"
                "\n"
                "### Args:\n"
                "    \n"
                "    json_reps (Vec<HashMap<String, i32>>): Format: `{token_id / token: int frequency}`, all keys are "
                "`str`.\n"),
        });
    return def;
}

}  // namespace quarnel::binding
