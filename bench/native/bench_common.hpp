// Pieces shared by the native benchmark programs.
#pragma once

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double seconds_since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// A JSON list of numbers with 9 significant digits.
inline std::string json_list(const std::vector<double>& xs) {
    std::ostringstream out;
    out.precision(9);
    out << '[';
    for (std::size_t i = 0; i < xs.size(); ++i) out << (i ? "," : "") << xs[i];
    out << ']';
    return out.str();
}

}  // namespace bench
