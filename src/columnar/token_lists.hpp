// Columns of token lists: a column of texts in, for each text the tokens a
// tokenizer gives it out, as large_list<utf8> arrays (one per input chunk;
// a null text gives a null list), written straight into the arrays'
// buffers.
//
// The rows are cut into blocks of a few hundred KB of text that the pool
// tokenizes (checking that each text is UTF-8 first) while the calling
// thread appends finished blocks, in order, to the output buffers
// (pool::pipeline): besides the output, memory holds at most two rounds of
// blocks. The output buffers grow by doubling and are trimmed at the end.
#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "columnar/input.hpp"
#include "columnar/output.hpp"
#include "core/result.hpp"
#include "core/token_list.hpp"
#include "pool/pipeline.hpp"
#include "pool/pool.hpp"

namespace quarnel::columnar {

// Whether `text` is well-formed UTF-8 (what the interpreter's strict UTF-8
// decoder accepts); ASCII runs are skipped eight bytes at a time.
bool is_utf8(std::string_view text) noexcept;

// The first non-null row, in column order, whose text is not UTF-8:
// (chunk, row within the chunk).
std::optional<std::pair<std::size_t, std::size_t>> first_invalid_row(const StringColumn& column) noexcept;

// The message of the error a call returns for text that is not UTF-8; the
// binding replaces it with the interpreter's own UnicodeDecodeError for the
// first such row (first_invalid_row).
inline constexpr std::string_view kNotUtf8 = "a text is not valid UTF-8";

// The tokens of a block of rows: all of them in one list, and after each
// row the number of tokens so far (a null row adds none).
struct TokenBlock {
    TokenList tokens;
    std::vector<std::uint32_t> row_ends;
};

// Rows [begin, end) of one chunk.
struct BlockRange {
    std::size_t chunk;
    std::size_t begin;
    std::size_t end;
};

// Cuts every chunk into blocks of about `target_bytes` of text (at least
// one row each).
std::vector<BlockRange> cut_blocks(const StringColumn& column, std::size_t target_bytes);

// A MemoryError when the output for `text_bytes` of input over `rows` rows
// could not fit in this machine's memory, before any work is done.
Result<void> check_room(std::size_t rows, std::size_t text_bytes);

// The large_list<utf8> array of one chunk, filled block by block.
class ListBuilder {
public:
    explicit ListBuilder(const StringChunk& chunk);
    // Appends the lists of the rows of `block`, the next ones of the chunk.
    void append(const TokenBlock& block);
    std::shared_ptr<Node> finish();

private:
    void reserve_tokens(std::size_t more);
    void reserve_bytes(std::size_t more);
    void widen();

    std::size_t rows_;
    std::size_t row_ = 0;  // rows appended so far
    Buffer list_offsets_;
    Buffer validity_;
    std::size_t null_count_;
    Buffer offsets_;  // of the strings: 32-bit until the bytes pass 2^31 - 1
    Buffer bytes_;
    std::size_t tokens_ = 0;
    std::size_t size_ = 0;  // bytes used
    std::size_t token_capacity_ = 0;
    std::size_t byte_capacity_ = 0;
    bool wide_ = false;
};

// Gives every chunk the same string type: 64-bit offsets in all when one
// needed them.
void unify_string_offsets(std::vector<std::shared_ptr<Node>>& lists);

// Turns the strings of every list into utf8_view: a 16-byte view per
// string, inline up to 12 bytes, else pointing into the data buffer, which
// stays (the offsets go). ValueError when a chunk's strings hold 2 GiB or
// more (views address their buffer with 32-bit offsets).
Result<void> strings_to_views(std::vector<std::shared_ptr<Node>>& lists);

// The large_list<utf8> arrays of `column`, one per chunk:
// tokenize(chunk, begin, end, block) appends the tokens of the non-null
// rows [begin, end) of `chunk` to block.tokens and, after each row (null
// rows too), pushes block.tokens.size() to block.row_ends. Fails with
// ValueError kNotUtf8 when a non-null text is not UTF-8 (tokenize then
// never sees it), or with what check_room refuses. With `views`, the strings
// are utf8_view (strings_to_views).
template <class Tokenize>
Result<std::vector<std::shared_ptr<Node>>> token_lists(const StringColumn& column, Tokenize&& tokenize,
                                                       bool views = false, std::size_t block_bytes = 0) {
    std::size_t bytes = 0;
    for (const StringChunk& c : column.chunks()) bytes += c.text_bytes(0, c.size());
    QUARNEL_TRY_VOID(check_room(column.rows(), bytes));
    // Blocks of up to 256 KB, and at least eight per worker when the text is
    // short, so that the workers finish together.
    if (block_bytes == 0)
        block_bytes = std::clamp<std::size_t>(bytes / (8 * pool::num_threads()), std::size_t{1} << 12,
                                               std::size_t{1} << 18);
    const std::vector<BlockRange> blocks = cut_blocks(column, block_bytes);
    const auto& chunks = column.chunks();
    std::vector<std::shared_ptr<Node>> out;
    out.reserve(chunks.size());
    std::optional<ListBuilder> builder;
    std::size_t next_chunk = 0;
    // Chunks without rows have no blocks.
    const auto finish_up_to = [&](std::size_t chunk) {
        for (; next_chunk < chunk; ++next_chunk) {
            if (!builder) builder.emplace(chunks[next_chunk]);
            out.push_back(builder->finish());
            builder.reset();
        }
    };
    Result<void> r = pool::pipeline<TokenBlock>(
        blocks.size(), 2 * pool::num_threads(),
        [&](std::size_t b) -> Result<TokenBlock> {
            const BlockRange& range = blocks[b];
            const StringChunk& chunk = chunks[range.chunk];
            for (std::size_t i = range.begin; i < range.end; ++i)
                if (!chunk.is_null(i) && !is_utf8(chunk[i])) return value_error(std::string(kNotUtf8));
            TokenBlock block;
            block.tokens.reserve((chunk.text_bytes(range.begin, range.end)) / 5 + 1,
                                 chunk.text_bytes(range.begin, range.end));
            block.row_ends.reserve(range.end - range.begin);
            tokenize(chunk, range.begin, range.end, block);
            return block;
        },
        [&](std::size_t b, TokenBlock&& block) -> Result<void> {
            finish_up_to(blocks[b].chunk);
            if (!builder) builder.emplace(chunks[blocks[b].chunk]);
            builder->append(block);
            return {};
        });
    if (!r) return std::move(r).error();
    finish_up_to(chunks.size());
    if (views) {
        QUARNEL_TRY_VOID(strings_to_views(out));
    } else {
        unify_string_offsets(out);
    }
    return out;
}

}  // namespace quarnel::columnar
