// Pieces shared by the native benchmark programs.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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

// The lines of a UTF-8 file ('\n'-separated) and their total size in
// bytes; exits with a message naming `program` when it cannot be read.
inline std::vector<std::string> read_lines(const char* program, const char* path, std::size_t& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "%s: cannot open input file %s\n", program, path);
        std::exit(2);
    }
    std::vector<std::string> lines;
    std::string line;
    bytes = 0;
    while (std::getline(in, line)) {
        bytes += line.size();
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace bench
