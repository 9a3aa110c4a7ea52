// A minimal test harness: TEST(name) { CHECK(...); } registered at static
// initialisation; main.cpp runs every test, or those whose name contains argv[1].
#pragma once

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace check {

struct Case {
    const char* name;
    std::function<void()> body;
};

inline std::vector<Case>& registry() {
    static std::vector<Case> cases;
    return cases;
}

inline int& failures() {
    static int n = 0;
    return n;
}

// QUARNEL_TEST_SCALE=N (a whole number, default 1) shrinks the exhaustive
// and random suites N times for slow runs, such as under an emulator: they
// take 1/N of their random cases, and every code point below U+0800 (the one-
// and two-byte UTF-8 forms) but only every Nth one above it.
inline std::size_t scale() {
    static const std::size_t n = [] {
        const char* text = std::getenv("QUARNEL_TEST_SCALE");
        const long v = text ? std::strtol(text, nullptr, 10) : 1;
        return v > 1 ? static_cast<std::size_t>(v) : std::size_t{1};
    }();
    return n;
}

// n shrunk by scale(), at least 1.
inline std::size_t scaled(std::size_t n) { return n / scale() > 0 ? n / scale() : 1; }

// Whether an exhaustive code point loop visits c under scale().
inline bool visits(char32_t c) { return c < 0x800 || c % scale() == 0; }

struct Register {
    Register(const char* name, std::function<void()> body) { registry().push_back({name, std::move(body)}); }
};

}  // namespace check

#define CHECK_CONCAT_IMPL(a, b) a##b
#define CHECK_CONCAT(a, b) CHECK_CONCAT_IMPL(a, b)
#define TEST(name)                                                              \
    static void CHECK_CONCAT(test_, name)();                                    \
    static check::Register CHECK_CONCAT(reg_, name)(#name, CHECK_CONCAT(test_, name)); \
    static void CHECK_CONCAT(test_, name)()

#define CHECK(cond)                                                             \
    do {                                                                        \
        if (!(cond)) {                                                          \
            std::fprintf(stderr, "%s:%d: CHECK failed: %s\n", __FILE__, __LINE__, #cond); \
            ++check::failures();                                                \
        }                                                                       \
    } while (0)

#define CHECK_EQ(a, b)                                                          \
    do {                                                                        \
        if (!((a) == (b))) {                                                    \
            std::fprintf(stderr, "%s:%d: CHECK_EQ failed: %s == %s\n", __FILE__, __LINE__, #a, #b); \
            ++check::failures();                                                \
        }                                                                       \
    } while (0)
