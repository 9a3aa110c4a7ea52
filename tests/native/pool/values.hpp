// Values the pool tests hand to the pool: an exception type of their own
// and a result type that can only be moved.
#pragma once

#include <cstddef>
#include <stdexcept>

namespace quarnel::pool_test {

struct Boom : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// No default constructor, no copies: ordered output must not need either.
struct MoveOnly {
    explicit MoveOnly(std::size_t v) : value(v) {}
    MoveOnly(MoveOnly&&) = default;
    MoveOnly& operator=(MoveOnly&&) = default;
    std::size_t value;
};

}  // namespace quarnel::pool_test
