// A minimal test harness: TEST(name) { CHECK(...); } registered at static
// initialisation; main.cpp runs every test, or those whose name contains argv[1].
#pragma once

#include <cstdio>
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
