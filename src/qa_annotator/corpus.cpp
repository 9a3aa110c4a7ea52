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
constexpr std::uint64_t kIndexMask = 0xFFFFFFFFu;

std::uint64_t hash_id(std::string_view id) noexcept { return std::hash<std::string_view>{}(id); }

// The upper 32 bits of a table entry hold a tag of the hash; the lower hold
// the document index + 1 (0 = empty slot).
std::uint64_t tag_of(std::uint64_t hash) noexcept { return (hash >> 32) << 32; }

std::uint32_t read_u32(const char* p) noexcept {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

std::string_view Corpus::id_of(const Doc& d) noexcept {
    const std::uint32_t count = read_u32(d);
    return {d + 4 * (std::size_t{count} + 3), read_u32(d + 4)};
}

TokenView Corpus::tokens_of(const Doc& d) noexcept {
    const std::uint32_t count = read_u32(d);
    const auto* offsets = reinterpret_cast<const std::uint32_t*>(d + 8);
    return {d + 4 * (std::size_t{count} + 3) + read_u32(d + 4), offsets, count};
}

std::size_t Corpus::slot_of(std::string_view id, std::uint64_t hash) const noexcept {
    const std::size_t mask = table_.size() - 1;
    const std::uint64_t tag = tag_of(hash);
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const std::uint64_t e = table_[i];
        if (e == 0) return i;
        if ((e & ~kIndexMask) == tag && id_of(docs_[(e & kIndexMask) - 1]) == id) return i;
    }
}

std::optional<TokenView> Corpus::find(std::string_view id) const noexcept {
    if (table_.empty()) return std::nullopt;
    const std::uint64_t e = table_[slot_of(id, hash_id(id))];
    if (e == 0) return std::nullopt;
    return tokens_of(docs_[(e & kIndexMask) - 1]);
}

void Corpus::grow_table(std::size_t min_slots) {
    std::size_t slots = std::bit_ceil(std::max<std::size_t>(min_slots, 8));
    std::vector<std::uint64_t> old;
    old.swap(table_);
    table_.assign(slots, 0);
    for (std::uint64_t e : old) {
        if (e == 0) continue;
        const std::string_view id = id_of(docs_[(e & kIndexMask) - 1]);
        const std::size_t mask = table_.size() - 1;
        std::size_t i = hash_id(id) & mask;
        while (table_[i] != 0) i = (i + 1) & mask;
        table_[i] = e;
    }
}

void Corpus::insert(Doc doc) {
    if (docs_.size() >= std::numeric_limits<std::uint32_t>::max() - 1) fault("corpus holds too many documents");
    if ((docs_.size() + 1) * 4 > table_.size() * 3) grow_table(table_.size() * 2);
    const std::string_view id = id_of(doc);
    const std::uint64_t hash = hash_id(id);
    const std::size_t slot = slot_of(id, hash);
    if (table_[slot] != 0) {
        docs_[(table_[slot] & kIndexMask) - 1] = doc;  // a repeated id keeps the later document
        return;
    }
    docs_.push_back(doc);
    table_[slot] = tag_of(hash) | docs_.size();
}

std::size_t Corpus::memory_bytes() const noexcept {
    std::size_t total = docs_.capacity() * sizeof(Doc) + table_.capacity() * sizeof(std::uint64_t);
    for (std::size_t s : chunk_sizes_) total += s;
    return total;
}

Corpus::Builder::Builder(std::size_t expected_documents) {
    corpus_.docs_.reserve(expected_documents);
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
        c.chunks_.emplace_back(new char[chunk]);
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
    const std::size_t header = 4 * (std::size_t{count} + 3);
    char* block = allocate(header + id_.size() + bytes_.size());
    std::memcpy(block, &count, 4);
    std::memcpy(block + 4, &id_length, 4);
    std::memcpy(block + 8, offsets_.data(), 4 * offsets_.size());
    std::memcpy(block + header, id_.data(), id_.size());
    std::memcpy(block + header + id_.size(), bytes_.data(), bytes_.size());
    corpus_.insert(block);
}

Corpus Corpus::Builder::finish() && { return std::move(corpus_); }

}  // namespace quarnel
