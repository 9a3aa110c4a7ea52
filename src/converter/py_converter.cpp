// The Python class Converter: entries, docs and glue.
#include "binding/build.hpp"
#include "binding/class.hpp"
#include "binding/numpy.hpp"
#include "binding/shared_keys.hpp"
#include "converter/converter.hpp"
#include "converter/pseudo_text.hpp"
#include "codec/utf8.hpp"
#include "core/texts.hpp"

namespace quarnel::binding {

using converter::Conversion;
using converter::ConvertOptions;
using converter::Converter;
using converter::Element;
using converter::JsonRep;
using converter::MatrixView;
using converter::RepEntry;
using converter::TextBatch;
using converter::TextRep;
using converter::Token;
using converter::check_columns;
using converter::text_tokens;

namespace {

constexpr Entry kNew{"Converter", "__new__", {elided<Converter::Vocab>("vocab_dict")}};
// The matrix methods share one parameter list, `reps` read as a float32 or
// a float16 matrix.
template <NumpyType T>
constexpr Entry matrix_entry(const char* func) {
    return Entry{"Converter",
                 func,
                 {required<NumpyMatrix<T>>("reps"), defaulted("quantization_factor", 100),
                  defaulted("convert_id_to_token", false), defaulted("allow_negative_values", false),
                  defaulted("negative_prefix", "neg_")}};
}
constexpr Entry kJson = matrix_entry<NumpyType::Float32>("convert_sparse_reps_to_json");
constexpr Entry kJsonF32 = kJson.renamed("convert_sparse_reps_to_json_f32");
constexpr Entry kJsonF16 = matrix_entry<NumpyType::Float16>("convert_sparse_reps_to_json_f16");
constexpr Entry kText = kJson.renamed("convert_sparse_reps_to_pseudo_text");
constexpr Entry kTextF32 = kJson.renamed("convert_sparse_reps_to_pseudo_text_f32");
constexpr Entry kTextF16 = kJsonF16.renamed("convert_sparse_reps_to_pseudo_text_f16");
constexpr Entry kJsonToText{"Converter", "convert_json_reps_to_pseudo_text", {required<std::vector<TextRep>>("json_reps")}};

Result<Converter> make(const Args<kNew>& args) {
    if (!args.has<"vocab_dict">()) return Converter();
    QUARNEL_TRY(Converter::Vocab vocab, args.get<Converter::Vocab, "vocab_dict">());
    return Converter(std::move(vocab));
}

// The arguments of a matrix method; `reps` keeps the array alive.
template <Element E>
struct MatrixArgs {
    static constexpr NumpyType kType = E == Element::F32 ? NumpyType::Float32 : NumpyType::Float16;
    NumpyMatrix<kType> reps;
    ConvertOptions options;

    MatrixView view() const { return {reps.data, reps.rows, reps.cols, reps.row_stride, reps.col_stride, E}; }
};

// The arguments of the matrix methods over elements E.
template <Element E>
using MatrixParams = Args<E == Element::F32 ? kJson : kJsonF16>;

template <Element E>
Result<MatrixArgs<E>> matrix_args(const MatrixParams<E>& args) {
    MatrixArgs<E> out;
    QUARNEL_TRY(out.reps, args.template get<NumpyMatrix<MatrixArgs<E>::kType>, "reps">());
    QUARNEL_TRY(out.options.quantization_factor, args.template get<std::int32_t, "quantization_factor">());
    QUARNEL_TRY(out.options.convert_id_to_token, args.template get<bool, "convert_id_to_token">());
    QUARNEL_TRY(out.options.allow_negative_values, args.template get<bool, "allow_negative_values">());
    QUARNEL_TRY(out.options.negative_prefix, args.template get<std::string, "negative_prefix">());
    QUARNEL_TRY_VOID(check_columns(out.view()));
    return out;
}

// The keys of JSON rep entries, for SharedKeyDicts.
class RepKeys {
public:
    explicit RepKeys(const Conversion& conversion)
        : prefix_(conversion.options().negative_prefix),
          prefix_ascii_(codec::is_ascii(prefix_)),
          cols_(conversion.matrix().cols) {}

    std::size_t id(const RepEntry& e) const noexcept { return Conversion::key_id(e, cols_); }
    static std::int32_t value(const RepEntry& e) noexcept { return e.value; }
    KeyText text(const RepEntry& e) const noexcept {
        return e.negative ? KeyText{prefix_, e.base(), e.ascii && prefix_ascii_} : KeyText{{}, e.base(), e.ascii};
    }
    static const void* text_address(const RepEntry& e) noexcept { return e.token; }

private:
    std::string_view prefix_;
    bool prefix_ascii_;
    std::size_t cols_;
};

template <Element E>
Result<PyObject*> to_json(const Converter& converter, const MatrixParams<E>& args) {
    QUARNEL_TRY(MatrixArgs<E> a, matrix_args<E>(args));
    const Conversion conversion(converter, a.view(), std::move(a.options));
    CollectorPause pause;
    SharedKeyDicts dicts(conversion.matrix().rows, conversion.key_ids());
    if (dicts.failed()) return pending();
    RepKeys keys(conversion);
    // The dicts of converted rows are built here while the pool converts
    // the next ones; the lock is let go while waiting for rows.
    Result<void> r = keeping_gil([&] {
        return conversion.stream([&](std::size_t, JsonRep&& rep) { return dicts.append(rep, keys); },
                                 [](auto&& wait) { without_gil(wait); });
    });
    a.reps.array = Ref();
    if (!r) return std::move(r).error();
    return dicts.release();
}

// ---- pseudo text ----

// The texts of a planned batch as a list of str, each allocated at its
// exact size, then written on the pool with the lock released.
Result<PyObject*> texts(Result<TextBatch> batch) {
    if (!batch) return std::move(batch).error();
    return built(planned_strs(
        batch->size(), [&](std::size_t i) { return batch->text_size(i); },
        [&](std::span<void* const> data) { without_gil([&] { batch->render(data); }); }));
}

template <Element E>
Result<PyObject*> to_pseudo_text(const Converter& converter, const MatrixParams<E>& args) {
    QUARNEL_TRY(MatrixArgs<E> a, matrix_args<E>(args));
    const Conversion conversion(converter, a.view(), std::move(a.options));
    Result<std::vector<JsonRep>> reps = without_gil([&] { return conversion.all_rows(); });
    a.reps.array = Ref();
    if (!reps) return std::move(reps).error();
    return texts(without_gil([&] {
        return TextBatch::plan(reps->size(), [&](std::size_t i, std::vector<Token>& tokens) {
            conversion.tokens((*reps)[i], tokens);
        });
    }));
}

Result<PyObject*> json_to_pseudo_text(const Converter&, const Args<kJsonToText>& args) {
    QUARNEL_TRY(std::vector<TextRep> reps, args.get<std::vector<TextRep>, "json_reps">());
    return texts(without_gil([&] {
        return TextBatch::plan(reps.size(), [&](std::size_t i, std::vector<Token>& tokens) {
            text_tokens(reps[i], tokens);
        });
    }));
}

}  // namespace

template <>
ClassDef& class_def<Converter>() {
    static ClassDef def = define<kNew, make>(texts::kConverterDoc,
                                             {
                                                 method<kJson, to_json<Element::F32>>(texts::kJsonDoc),
                                                 method<kJsonF32, to_json<Element::F32>>(texts::kJsonF32Doc),
                                                 method<kJsonF16, to_json<Element::F16>>(texts::kJsonF16Doc),
                                                 method<kText, to_pseudo_text<Element::F32>>(texts::kTextDoc),
                                                 method<kTextF32, to_pseudo_text<Element::F32>>(texts::kTextF32Doc),
                                                 method<kTextF16, to_pseudo_text<Element::F16>>(texts::kTextF16Doc),
                                                 method<kJsonToText, json_to_pseudo_text>(texts::kJsonToTextDoc),
                                             });
    return def;
}

}  // namespace quarnel::binding
