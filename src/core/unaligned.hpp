// Reading a value of trivially copyable type T from memory that may not be
// aligned for it (packed records, the bytes of a string).
#pragma once

#include <cstring>
#include <type_traits>

namespace quarnel {

template <class T>
inline T load_unaligned(const void* p) noexcept {
    static_assert(std::is_trivially_copyable_v<T>);
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

}  // namespace quarnel
