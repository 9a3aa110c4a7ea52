// A small hash map for results that are filled once and then read in
// order: entries live in one vector (iteration follows insertion), found
// through an open-addressing table of entry indices. Two allocations per
// map instead of one per entry.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace quarnel {

template <class K, class V, class Hash = std::hash<K>, class Eq = std::equal_to<>>
class FlatMap {
public:
    using key_type = K;
    using mapped_type = V;
    using value_type = std::pair<K, V>;

    void reserve(std::size_t n) {
        entries_.reserve(n);
        if (n * 2 > slots_.size()) rehash(std::bit_ceil(n * 2));
    }

    // Inserts, or replaces the value of an equal key.
    void insert_or_assign(K key, V value) {
        if ((entries_.size() + 1) * 2 > slots_.size()) rehash(std::max<std::size_t>(8, slots_.size() * 2));
        std::uint32_t& slot = slots_[probe(key)];
        if (slot != 0) {
            entries_[slot - 1].second = std::move(value);
            return;
        }
        entries_.emplace_back(std::move(key), std::move(value));
        slot = static_cast<std::uint32_t>(entries_.size());
    }

    // The value of an equal key, or null.
    template <class Key>
    const V* find(const Key& key) const {
        if (slots_.empty()) return nullptr;
        const std::uint32_t slot = slots_[probe(key)];
        return slot == 0 ? nullptr : &entries_[slot - 1].second;
    }

    std::size_t size() const noexcept { return entries_.size(); }
    bool empty() const noexcept { return entries_.empty(); }
    auto begin() const noexcept { return entries_.begin(); }
    auto end() const noexcept { return entries_.end(); }

private:
    template <class Key>
    std::size_t probe(const Key& key) const {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = Hash{}(key) & mask;; i = (i + 1) & mask)
            if (slots_[i] == 0 || Eq{}(entries_[slots_[i] - 1].first, key)) return i;
    }

    void rehash(std::size_t n) {
        slots_.assign(n, 0);
        const std::size_t mask = n - 1;
        for (std::size_t e = 0; e < entries_.size(); ++e) {
            std::size_t i = Hash{}(entries_[e].first) & mask;
            while (slots_[i] != 0) i = (i + 1) & mask;
            slots_[i] = static_cast<std::uint32_t>(e + 1);
        }
    }

    std::vector<value_type> entries_;
    std::vector<std::uint32_t> slots_;  // entry index + 1; 0 = empty
};

}  // namespace quarnel
