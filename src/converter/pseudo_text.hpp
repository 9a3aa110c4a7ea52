// Pseudo texts of a batch, made in two passes on the pool so that each text
// is written once, straight into storage of exactly its length and width
// (for the binding, a new str): plan() lists every row's tokens and measures
// its text; the caller allocates; render() writes the texts.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "converter/render.hpp"
#include "core/result.hpp"
#include "pool/pool.hpp"

namespace quarnel::converter {

// Bytes per code unit of a text whose widest code point is max_char: 1, 2
// or 4, as in the narrowest of Latin-1, UCS-2 and UCS-4.
inline std::size_t unit_size(char32_t max_char) noexcept { return max_char < 0x100 ? 1 : max_char < 0x10000 ? 2 : 4; }

// The physical memory of this machine in bytes (the largest size_t when
// it cannot be told).
std::size_t machine_memory() noexcept;

class TextBatch {
public:
    // Plans n texts on the pool: plan_row(i, tokens) fills row i's tokens,
    // whose texts must stay valid until render().
    // Texts that could not exist in `memory_limit` bytes, together or a
    // single one whose length overflows, are refused with a MemoryError
    // before anything is allocated.
    template <class PlanRow>
    static Result<TextBatch> plan(std::size_t n, PlanRow&& plan_row, std::size_t memory_limit = machine_memory());

    std::size_t size() const noexcept { return rows_.size(); }
    // Row i's text size; valid once plan() succeeded.
    const TextSize& text_size(std::size_t i) const noexcept { return *rows_[i].size; }

    // Writes every text on the pool: text i into out[i], which has room for
    // exactly text_size(i).length code units of unit_size(max_char) bytes
    // (null when the length is 0).
    void render(std::span<void* const> out) const;

private:
    struct Row {
        std::vector<Token> tokens;
        std::optional<TextSize> size;
    };

    explicit TextBatch(std::vector<Row> rows) : rows_(std::move(rows)) {}
    Result<void> check_sizes(std::size_t memory_limit) const;

    std::vector<Row> rows_;
};

template <class PlanRow>
Result<TextBatch> TextBatch::plan(std::size_t n, PlanRow&& plan_row, std::size_t memory_limit) {
    TextBatch batch(pool::map_ordered<Row>(n, [&](std::size_t i) {
        Row row;
        plan_row(i, row.tokens);
        row.size = measure(row.tokens);
        return row;
    }));
    QUARNEL_TRY_VOID(batch.check_sizes(memory_limit));
    return batch;
}

}  // namespace quarnel::converter
