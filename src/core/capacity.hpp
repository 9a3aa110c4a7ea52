// Room reserved from a length reported before the items are read (a
// sequence's len(), a dict's size): only a hint, since an object may report
// any length or change while it is read. It is capped, so a false one costs
// little; the container grows as usual past the cap.
#pragma once

#include <concepts>
#include <cstddef>

namespace quarnel {

inline constexpr std::size_t kMaxCapacityHint = std::size_t{1} << 20;

// The number of items to reserve room for: `length` capped, 0 when negative.
template <std::integral N>
constexpr std::size_t capacity_hint(N length) noexcept {
    if (length <= 0) return 0;
    const auto n = static_cast<std::size_t>(length);
    return n < kMaxCapacityHint ? n : kMaxCapacityHint;
}

}  // namespace quarnel
