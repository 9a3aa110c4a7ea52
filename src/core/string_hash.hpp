// Hash for unordered containers of std::string or std::u16string that are
// searched with a string_view of the same characters, without building a
// string (use with std::equal_to<>).
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

namespace quarnel {

struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
    std::size_t operator()(std::u16string_view s) const noexcept { return std::hash<std::u16string_view>{}(s); }
};

}  // namespace quarnel
