#include "qa_annotator/corpus.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <limits>

#include "core/fault.hpp"
#include "core/unaligned.hpp"

namespace quarnel::qa_annotator {

namespace {

constexpr unsigned kOffsetBits = 18;
constexpr unsigned kChunkBits = 30;
constexpr std::size_t kChunkSize = std::size_t{4} << kOffsetBits;  // 1 MiB
// A table entry is 16 bits of the id's hash, then the block's chunk number
// (its index + 1, so no entry is 0 = empty) and its offset in the chunk in
// 4-byte units. Blocks start at 4-byte boundaries within the first
// kChunkSize bytes of their chunk (a larger block gets a chunk of its own,
// at offset 0), and 2^30 chunks of at least 1 MiB are more memory than any
// machine has; no address bits are assumed, so this holds on every system.
constexpr std::uint64_t kLocationMask = (std::uint64_t{1} << (kOffsetBits + kChunkBits)) - 1;
constexpr std::uint64_t kOffsetMask = (std::uint64_t{1} << kOffsetBits) - 1;
static_assert(kOffsetBits + kChunkBits <= 48, "16 bits of tag must remain");

std::uint64_t hash_id(std::string_view id) noexcept { return std::hash<std::string_view>{}(id); }
std::uint64_t tag_of(std::uint64_t hash) noexcept { return hash & ~kLocationMask; }

std::size_t align4(std::size_t n) noexcept { return (n + 3) & ~std::size_t{3}; }

std::uint32_t read_u32(const char* p) noexcept { return load_unaligned<std::uint32_t>(p); }

}  // namespace

const char* Corpus::block_of(std::uint64_t entry) const noexcept {
    const std::size_t chunk = static_cast<std::size_t>((entry & kLocationMask) >> kOffsetBits) - 1;
    return chunks_[chunk].get() + ((entry & kOffsetMask) << 2);
}

std::string_view Corpus::id_of(const char* d) noexcept { return {d + 8, read_u32(d + 4)}; }

TokenView Corpus::tokens_of(const char* d) noexcept {
    const std::uint32_t count = read_u32(d);
    const char* offsets = d + 8 + align4(read_u32(d + 4));
    return {offsets + 4 * (std::size_t{count} + 1), reinterpret_cast<const std::uint32_t*>(offsets), count};
}

std::size_t Corpus::slot_of(std::string_view id, std::uint64_t hash) const noexcept {
    const std::size_t mask = table_.size() - 1;
    const std::uint64_t tag = tag_of(hash);
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const std::uint64_t e = table_[i];
        if (e == 0) return i;
        if ((e & ~kLocationMask) == tag && id_of(block_of(e)) == id) return i;
    }
}

std::optional<TokenView> Corpus::find(std::string_view id) const noexcept {
    if (table_.empty()) return std::nullopt;
    const std::uint64_t e = table_[slot_of(id, hash_id(id))];
    if (e == 0) return std::nullopt;
    return tokens_of(block_of(e));
}

void Corpus::prefetch_slot(std::string_view id) const noexcept {
    if (table_.empty()) return;
    __builtin_prefetch(&table_[hash_id(id) & (table_.size() - 1)]);
}

void Corpus::prefetch_document(std::string_view id) const noexcept {
    if (table_.empty()) return;
    const std::uint64_t hash = hash_id(id);
    const std::uint64_t e = table_[hash & (table_.size() - 1)];
    if (e == 0 || (e & ~kLocationMask) != tag_of(hash)) return;  // absent, or not in its first slot
    const char* block = block_of(e);
    for (int line = 0; line < 8; ++line) __builtin_prefetch(block + 64 * line);
}

void Corpus::grow_table(std::size_t min_slots) {
    std::size_t slots = std::bit_ceil(std::max<std::size_t>(min_slots, 8));
    std::vector<std::uint64_t> old;
    old.swap(table_);
    table_.assign(slots, 0);
    for (std::uint64_t e : old) {
        if (e == 0) continue;
        const std::string_view id = id_of(block_of(e));
        const std::size_t mask = table_.size() - 1;
        std::size_t i = hash_id(id) & mask;
        while (table_[i] != 0) i = (i + 1) & mask;
        table_[i] = e;
    }
}

void Corpus::insert(const char* block, std::uint64_t location) {
    if ((size_ + 1) * 4 > table_.size() * 3) grow_table(table_.size() * 2);
    const std::string_view id = id_of(block);
    const std::uint64_t hash = hash_id(id);
    const std::size_t slot = slot_of(id, hash);
    if (table_[slot] == 0) ++size_;  // else a repeated id: the later document replaces the earlier
    table_[slot] = tag_of(hash) | location;
}

std::size_t Corpus::memory_bytes() const noexcept {
    std::size_t total = table_.capacity() * sizeof(std::uint64_t);
    for (std::size_t s : chunk_sizes_) total += s;
    return total;
}

Corpus::Builder::Builder(std::size_t expected_documents) {
    corpus_.grow_table(expected_documents + expected_documents / 3 + 1);
    offsets_.push_back(0);
}

void Corpus::Builder::begin(std::string_view id) {
    id_.assign(id.data(), id.size());
    bytes_.clear();
    offsets_.resize(1);
}

void Corpus::Builder::reserve_tokens(std::size_t expected_tokens) {
    offsets_.reserve(expected_tokens + 1);
}

void Corpus::Builder::close_token() {
    if (bytes_.size() > std::numeric_limits<std::uint32_t>::max())
        fault("a document holds more than 4 GiB of token bytes");
    offsets_.push_back(static_cast<std::uint32_t>(bytes_.size()));
}

char* Corpus::Builder::allocate(std::size_t size, std::uint64_t& location) {
    Corpus& c = corpus_;
    c.chunk_used_ = (c.chunk_used_ + 3) & ~std::size_t{3};
    if (c.chunks_.empty() || c.chunk_used_ + size > c.chunk_sizes_.back()) {
        if (c.chunks_.size() >= (std::size_t{1} << kChunkBits) - 1) fault("corpus arena has too many chunks");
        const std::size_t chunk = std::max(size, kChunkSize);
        // Not value-initialised: untouched pages of the chunk stay unmapped.
        // The slack lets readers load a whole word at any token's start.
        c.chunks_.emplace_back(new char[chunk + kReadSlack]);
        c.chunk_sizes_.push_back(chunk);
        c.chunk_used_ = 0;
    }
    // Below kChunkSize: a block that would end past it in a standard chunk
    // started a new one above.
    const std::size_t offset = c.chunk_used_;
    location = (static_cast<std::uint64_t>(c.chunks_.size()) << kOffsetBits) | (offset >> 2);
    c.chunk_used_ += size;
    return c.chunks_.back().get() + offset;
}

void Corpus::Builder::end() {
    if (id_.size() > std::numeric_limits<std::uint32_t>::max()) fault("document id longer than 4 GiB");
    const auto count = static_cast<std::uint32_t>(offsets_.size() - 1);
    const auto id_length = static_cast<std::uint32_t>(id_.size());
    const std::size_t offsets_at = 8 + align4(id_.size());
    const std::size_t tokens_at = offsets_at + 4 * offsets_.size();
    std::uint64_t location = 0;
    char* block = allocate(tokens_at + bytes_.size(), location);
    std::memcpy(block, &count, 4);
    std::memcpy(block + 4, &id_length, 4);
    std::memcpy(block + 8, id_.data(), id_.size());
    std::memset(block + 8 + id_.size(), 0, offsets_at - 8 - id_.size());
    std::memcpy(block + offsets_at, offsets_.data(), 4 * offsets_.size());
    std::memcpy(block + tokens_at, bytes_.data(), bytes_.size());
    corpus_.insert(block, location);
}

Corpus Corpus::Builder::finish() && { return std::move(corpus_); }

}  // namespace quarnel::qa_annotator
