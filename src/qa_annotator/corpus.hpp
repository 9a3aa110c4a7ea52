// A pre-tokenized corpus in native memory: document id -> token list.
//
// Each document is one block in a chunked arena:
//   [u32 count][u32 id length][id bytes, padded to 4][u32 offsets[count + 1]][token bytes]
// with offsets relative to the start of the token bytes; the id sits next to
// the header so a lookup touches one cache line before the tokens. An
// open-addressing table of block locations (chunk and offset, not
// addresses), each tagged with 16 bits of the id's hash, finds a block by
// its id.
// At least kReadSlack readable bytes follow every token's first byte.
// Per document this costs the 8-byte block header, the id and 1.3 to 2.7
// table slots of 8 bytes; per token 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/token_list.hpp"

namespace quarnel::qa_annotator {

class Corpus {
public:
    static constexpr std::size_t kReadSlack = 8;

    Corpus() = default;
    Corpus(Corpus&&) noexcept = default;
    Corpus& operator=(Corpus&&) noexcept = default;

    std::size_t size() const noexcept { return size_; }
    std::optional<TokenView> find(std::string_view id) const noexcept;

    // Hints for a lookup coming soon, to overlap its memory latency with
    // other work: the first brings the id's table slot into cache, the
    // second (after the first had time to land) the start of its block.
    void prefetch_slot(std::string_view id) const noexcept;
    void prefetch_document(std::string_view id) const noexcept;

    // Bytes of native memory held (arena chunks, records, table).
    std::size_t memory_bytes() const noexcept;

    class Builder;

private:
    static std::string_view id_of(const char* block) noexcept;
    static TokenView tokens_of(const char* block) noexcept;
    const char* block_of(std::uint64_t entry) const noexcept;
    std::size_t slot_of(std::string_view id, std::uint64_t hash) const noexcept;
    void insert(const char* block, std::uint64_t location);
    void grow_table(std::size_t min_slots);

    std::vector<std::unique_ptr<char[]>> chunks_;
    std::vector<std::size_t> chunk_sizes_;
    std::size_t chunk_used_ = 0;
    std::size_t size_ = 0;
    std::vector<std::uint64_t> table_;
};

// Fills a corpus one document at a time: begin(id), add tokens, end().
// A document id given twice keeps the later document.
class Corpus::Builder {
public:
    explicit Builder(std::size_t expected_documents);

    void begin(std::string_view id);
    void reserve_tokens(std::size_t expected_tokens);
    // Appends bytes to the token under construction; close_token() ends it.
    std::string& token_bytes() noexcept { return bytes_; }
    void close_token();
    void add_token(std::string_view token) {
        bytes_.append(token.data(), token.size());
        close_token();
    }
    void end();

    Corpus finish() &&;

private:
    // Room for a block of `size` bytes, and its location for the table.
    char* allocate(std::size_t size, std::uint64_t& location);

    Corpus corpus_;
    std::string id_;
    std::string bytes_;
    std::vector<std::uint32_t> offsets_;
};

}  // namespace quarnel::qa_annotator
