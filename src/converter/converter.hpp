// Converter: batches of sparse weight vectors (float32 or float16 matrices)
// into quantized term-frequency maps (JSON reps), and those into pseudo text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "converter/half.hpp"
#include "converter/render.hpp"
#include "converter/scan.hpp"
#include "core/result.hpp"

namespace quarnel {

// A matrix read in place: element (r, c) at data + r * row_stride + c * col_stride.
struct MatrixView {
    const char* data;
    std::size_t rows;
    std::size_t cols;
    std::ptrdiff_t row_stride;
    std::ptrdiff_t col_stride;
    converter::Element element;
};

struct ConvertOptions {
    std::int32_t quantization_factor = 100;
    bool convert_id_to_token = false;
    bool allow_negative_values = false;
    std::string negative_prefix = "neg_";
};

// One entry of a JSON rep. Its key is the column's text (the vocabulary's
// token, or the column index in decimal), behind the negative prefix when
// `negative`; the placeholder of an empty row has column kPlaceholder.
struct RepEntry {
    std::uint32_t column;
    std::int32_t value;
    bool negative;
};
inline constexpr std::uint32_t kPlaceholder = UINT32_MAX;

// A row's JSON rep: keys are unique (as texts); the order means nothing.
using JsonRep = std::vector<RepEntry>;

// A rep whose keys are plain strings, as given from outside.
using TextRep = std::vector<std::pair<std::string, std::int32_t>>;

// The floored single-precision product x * q as a saturated 32-bit integer
// (NaN gives 0).
std::int32_t quantize(float x, float q) noexcept;

class Converter {
public:
    using Vocab = std::unordered_map<std::int32_t, std::string>;

    explicit Converter(Vocab vocab = {});

    // The JSON reps of all rows, in row order, converted on the pool; or the
    // first KeyError a row recorded.
    Result<std::vector<JsonRep>> convert(const MatrixView& matrix, const ConvertOptions& options) const;

    // Per-thread buffers of the row conversion, reused from row to row.
    struct Scratch {
        std::vector<std::uint32_t> columns;  // kept by the keep test
        std::vector<std::uint16_t> halves;   // their float16 patterns
        std::vector<float> values;           // their values in single precision
    };

    // One row.
    Result<JsonRep> convert_row(const MatrixView& matrix, std::size_t row, const ConvertOptions& options,
                                bool dedup, Scratch& scratch) const;

    // Whether two entries of one row may have equal key texts under these
    // options (then rows are deduplicated by text, the later column winning).
    bool keys_may_collide(const ConvertOptions& options) const;

    // The key text of an entry without the prefix: the token, the decimal
    // column (written to `digits`, room for 10 bytes) or the placeholder.
    std::string_view base_key(const RepEntry& entry, const ConvertOptions& options, char* digits) const;
    // The whole key text.
    std::string key(const RepEntry& entry, const ConvertOptions& options) const;

    // The rep's tokens for rendering; decimal keys are written to `digits`,
    // which must not reallocate while the tokens are used (it is reserved here).
    void tokens(const JsonRep& rep, const ConvertOptions& options, std::vector<char>& digits,
                std::vector<converter::Token>& out) const;

    const Vocab& vocab() const noexcept { return vocab_; }

private:
    const std::string* token(std::uint32_t column) const noexcept;

    Vocab vocab_;
    bool duplicate_texts_ = false;  // two ids share one token text
};

// Tokens of a rep with plain string keys.
void text_tokens(const TextRep& rep, std::vector<converter::Token>& out);

}  // namespace quarnel
