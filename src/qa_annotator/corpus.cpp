#include "qa_annotator/corpus.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <limits>

#include "core/fault.hpp"

namespace quarnel {

namespace {

constexpr std::size_t kChunkSize = std::size_t{1} << 20;
// A table entry is the document's block address (user-space addresses on
// x86-64 fit in 48 bits) with 16 bits of the id's hash above it; 0 = empty.
constexpr std::uint64_t kAddressMask = (std::uint64_t{1} << 48) - 1;

std::uint64_t hash_id(std::string_view id) noexcept { return std::hash<std::string_view>{}(id); }
std::uint64_t tag_of(std::uint64_t hash) noexcept { return hash & ~kAddressMask; }
const char* block_of(std::uint64_t entry) noexcept { return reinterpret_cast<const char*>(entry & kAddressMask); }

std::size_t align4(std::size_t n) noexcept { return (n + 3) & ~std::size_t{3}; }

std::uint32_t read_u32(const char* p) noexcept {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

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
        if ((e & ~kAddressMask) == tag && id_of(block_of(e)) == id) return i;
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
    if (e == 0 || (e & ~kAddressMask) != tag_of(hash)) return;  // absent, or not in its first slot
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

void Corpus::insert(const char* block) {
    const auto address = reinterpret_cast<std::uint64_t>(block);
    if (address & ~kAddressMask) fault("document block outside the 48-bit address space");
    if ((size_ + 1) * 4 > table_.size() * 3) grow_table(table_.size() * 2);
    const std::string_view id = id_of(block);
    const std::uint64_t hash = hash_id(id);
    const std::size_t slot = slot_of(id, hash);
    if (table_[slot] == 0) ++size_;  // else a repeated id: the later document replaces the earlier
    table_[slot] = tag_of(hash) | address;
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
    // Only a hint (a sequence's own length): capped so a false one is harmless.
    offsets_.reserve(std::min<std::size_t>(expected_tokens, std::size_t{1} << 20) + 1);
}

void Corpus::Builder::close_token() {
    if (bytes_.size() > std::numeric_limits<std::uint32_t>::max())
        fault("a document holds more than 4 GiB of token bytes");
    offsets_.push_back(static_cast<std::uint32_t>(bytes_.size()));
}

char* Corpus::Builder::allocate(std::size_t size) {
    Corpus& c = corpus_;
    c.chunk_used_ = (c.chunk_used_ + 3) & ~std::size_t{3};
    if (c.chunks_.empty() || c.chunk_used_ + size > c.chunk_sizes_.back()) {
        const std::size_t chunk = std::max(size, kChunkSize);
        // Not value-initialised: untouched pages of the chunk stay unmapped.
        // The slack lets readers load a whole word at any token's start.
        c.chunks_.emplace_back(new char[chunk + kReadSlack]);
        c.chunk_sizes_.push_back(chunk);
        c.chunk_used_ = 0;
    }
    char* p = c.chunks_.back().get() + c.chunk_used_;
    c.chunk_used_ += size;
    return p;
}

void Corpus::Builder::end() {
    if (id_.size() > std::numeric_limits<std::uint32_t>::max()) fault("document id longer than 4 GiB");
    const auto count = static_cast<std::uint32_t>(offsets_.size() - 1);
    const auto id_length = static_cast<std::uint32_t>(id_.size());
    const std::size_t offsets_at = 8 + align4(id_.size());
    const std::size_t tokens_at = offsets_at + 4 * offsets_.size();
    char* block = allocate(tokens_at + bytes_.size());
    std::memcpy(block, &count, 4);
    std::memcpy(block + 4, &id_length, 4);
    std::memcpy(block + 8, id_.data(), id_.size());
    std::memset(block + 8 + id_.size(), 0, offsets_at - 8 - id_.size());
    std::memcpy(block + offsets_at, offsets_.data(), 4 * offsets_.size());
    std::memcpy(block + tokens_at, bytes_.data(), bytes_.size());
    corpus_.insert(block);
}

Corpus Corpus::Builder::finish() && { return std::move(corpus_); }

}  // namespace quarnel
