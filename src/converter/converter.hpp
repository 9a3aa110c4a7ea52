// Converter: batches of sparse weight vectors (float32 or float16 matrices)
// into quantized term-frequency maps (JSON reps), and those into pseudo text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "converter/half.hpp"
#include "converter/render.hpp"
#include "converter/scan.hpp"
#include "core/result.hpp"
#include "pool/pipeline.hpp"
#include "pool/pool.hpp"

namespace quarnel::converter {

// A matrix read in place: element (r, c) at data + r * row_stride + c * col_stride.
struct MatrixView {
    const char* data;
    std::size_t rows;
    std::size_t cols;
    std::ptrdiff_t row_stride;
    std::ptrdiff_t col_stride;
    converter::Element element;
};

// Column indices are kept in 32 bits, one value short of their range (the
// placeholder's): a matrix with rows and more columns than kMaxColumns is
// refused with an OverflowError before any work.
inline constexpr std::size_t kMaxColumns = UINT32_MAX - 1;
Result<void> check_columns(const MatrixView& matrix);

struct ConvertOptions {
    std::int32_t quantization_factor = 100;
    bool convert_id_to_token = false;
    bool allow_negative_values = false;
    std::string negative_prefix = "neg_";
};

// One entry of a JSON rep, made on a worker with everything the thread
// building the dicts needs: the key is the prefix (when `negative`)
// followed by base(), the column's token (owned by the converter), its
// index in decimal, or the placeholder; `ascii` tells whether base() is all
// ASCII. `key` is the column, or the column count for the placeholder (see
// Conversion::key_id).
struct RepEntry {
    const char* token;  // the base text when not held in `digits`
    std::uint32_t size;  // of the base text
    std::uint32_t key;
    std::int32_t value;
    bool negative;
    bool ascii;
    char digits[10];

    std::string_view base() const noexcept { return {token ? token : digits, size}; }
};

// A row's JSON rep, entries in column order.
using JsonRep = std::vector<RepEntry>;

// A rep whose keys are plain strings, as given from outside.
using TextRep = std::vector<std::pair<std::string, std::int32_t>>;

// The floored single-precision product x * q as a saturated 32-bit integer
// (NaN gives 0).
std::int32_t quantize(float x, float q) noexcept;

// A vocabulary kept compact for lookups from many threads: the texts in one
// buffer, in ascending order of id, each described by a record. When the ids
// fill most of their range (a tokenizer's 0 to N - 1, say), the records sit
// in a table by id and finding an id is one access; otherwise the records
// are in id order and an open-addressing table of (id, index) pairs finds
// them. A text of 4 GiB or more is an internal fault.
class Vocabulary {
public:
    static constexpr std::uint32_t kNone = UINT32_MAX;

    explicit Vocabulary(const std::unordered_map<std::int32_t, std::string>& texts);

    // The index of the text of `id`, or kNone.
    std::uint32_t find(std::int64_t id) const noexcept {
        if (dense_) {
            const auto i = static_cast<std::uint64_t>(id - base_);
            return i < index_.size() && index_[i].present ? static_cast<std::uint32_t>(i) : kNone;
        }
        return find_sparse(id);
    }
    // Starts loading what find(id) and text() will read.
    void prefetch(std::int64_t id) const noexcept {
        const auto i = static_cast<std::uint64_t>(id - base_);
        if (dense_ && i < index_.size()) __builtin_prefetch(&index_[i]);
    }
    std::string_view text(std::uint32_t index) const noexcept {
        const Text& t = index_[index];
        return std::string_view(texts_.data() + t.start, t.size);
    }
    // Whether text `index` is all ASCII.
    bool ascii(std::uint32_t index) const noexcept { return index_[index].ascii; }
    // The number of texts, and the index of each.
    std::size_t size() const noexcept { return count_; }
    std::vector<std::uint32_t> indices() const;

private:
    struct Slot {
        std::int32_t id;
        std::uint32_t index;  // kNone: empty
    };
    struct Text {
        std::size_t start;  // in texts_
        std::uint32_t size;
        bool ascii;
        bool present;  // false for the ids missing from a dense table
    };

    std::uint32_t find_sparse(std::int64_t id) const noexcept;

    std::string texts_;
    std::vector<Text> index_;  // dense: by id - base_; else in id order
    std::vector<Slot> slots_;  // not dense: a power of two, at most half full
    std::size_t count_ = 0;
    std::int64_t base_ = 0;
    bool dense_ = false;
};

class Converter {
public:
    using Vocab = std::unordered_map<std::int32_t, std::string>;

    explicit Converter(const Vocab& vocab = {});

    // Whether two entries of one row may have equal key texts under these
    // options.
    bool keys_may_collide(const ConvertOptions& options) const;

    const Vocabulary& vocabulary() const noexcept { return vocabulary_; }

private:
    bool has_text(std::string_view text) const;

    Vocabulary vocabulary_;
    std::vector<std::uint32_t> by_text_;  // the vocabulary's indices in text order
    bool duplicate_texts_ = false;        // two ids share one token text
};

// One call's conversion of a matrix. Rows convert independently, on any
// thread and in any order.
class Conversion {
public:
    Conversion(const Converter& converter, const MatrixView& matrix, ConvertOptions options);

    // Buffers of the row conversion, reused from row to row by one thread
    // at a time.
    struct Scratch {
        template <class T>
        struct Buffer {
            std::unique_ptr<T[]> data;  // left uninitialized: written before read
            std::size_t capacity = 0;
            T* get(std::size_t n) {
                if (n > capacity) data.reset(new T[capacity = n]);
                return data.get();
            }
        };
        Buffer<std::uint32_t> columns;  // kept by the keep test
        Buffer<std::uint16_t> halves;   // their float16 patterns
        Buffer<float> values;           // their values in single precision
    };

    // Row r: its entries in column order, or the placeholder when it has
    // none; or the KeyError of its first kept column without a token. Two
    // entries may have equal key texts (see merge_equal_keys).
    Result<JsonRep> row(std::size_t r, Scratch& scratch) const;
    // The same with buffers of the call's own, freed with it.
    Result<JsonRep> row(std::size_t r) const;

    // The rep with one entry per key text: where texts are equal, the
    // later column's value at the place of the first. Inserting the entries
    // of `row` into a map that keeps first places (a Python dict) gives the
    // same. all_rows merges only when Converter::keys_may_collide.
    JsonRep merge_equal_keys(JsonRep rep) const;

    // The merged reps of all rows, in row order, converted on the pool; or
    // the first KeyError a row recorded.
    Result<std::vector<JsonRep>> all_rows() const;

    // Converts the rows on the pool while the calling thread consumes them
    // in row order as they come, consume(r, JsonRep&&) -> Result<void>,
    // with a bounded number of rows in between (pool::pipeline; the caller
    // waits for rows through blocking(wait)). Rows are not merged
    // (merge_equal_keys). The first failure, a row's KeyError or one that
    // consume returns, stops both sides and is returned.
    template <class Consume, class Blocking>
    Result<void> stream(Consume&& consume, Blocking&& blocking) const {
        return pool::pipeline<JsonRep>(
            matrix_.rows, kStreamChunk, [&](std::size_t r) { return row(r); }, consume, blocking);
    }
    template <class Consume>
    Result<void> stream(Consume&& consume) const {
        return stream(consume, [](auto&& wait) { wait(); });
    }

    // Every key text a call can produce has an id below key_ids(): column c
    // has c, the placeholder cols, c's negative entry cols + 1 + c (see
    // key_id, given this call's column count).
    std::size_t key_ids() const noexcept { return matrix_.cols + 1 + (options_.allow_negative_values ? matrix_.cols : 0); }
    static std::size_t key_id(const RepEntry& e, std::size_t cols) noexcept {
        return e.negative ? cols + 1 + e.key : e.key;
    }

    // The whole key text, written to `out`.
    std::string_view key(const RepEntry& entry, std::string& out) const;

    // The rep's tokens for rendering (viewing the rep's entries).
    void tokens(const JsonRep& rep, std::vector<converter::Token>& out) const;

    const MatrixView& matrix() const noexcept { return matrix_; }
    const ConvertOptions& options() const noexcept { return options_; }

private:
    // Rows the pool converts at a time while the previous ones are consumed.
    static constexpr std::size_t kStreamChunk = 16;

    // Scratch buffers for the rows in progress, reused from row to row.
    mutable std::mutex scratch_mu_;
    mutable std::vector<std::unique_ptr<Scratch>> scratch_;

    const Converter& converter_;
    MatrixView matrix_;
    ConvertOptions options_;
};

// Tokens of a rep with plain string keys.
void text_tokens(const TextRep& rep, std::vector<converter::Token>& out);

}  // namespace quarnel::converter
