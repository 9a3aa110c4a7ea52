// Usage: test_<piece> [FILTER] [--skip NAME]...
// Runs every test whose name contains FILTER (all when absent), except the
// ones named after --skip (reported as skipped). A filter that selects no
// test (or only skipped ones) fails the run: after a rename it would
// otherwise pass having tested nothing.
#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "check.hpp"

int main(int argc, char** argv) {
    const char* filter = "";
    std::vector<std::string_view> skip;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--skip") == 0 && i + 1 < argc)
            skip.emplace_back(argv[++i]);
        else
            filter = argv[i];
    }
    int ran = 0, skipped = 0;
    for (auto& c : check::registry()) {
        if (!std::strstr(c.name, filter)) continue;
        if (std::find(skip.begin(), skip.end(), c.name) != skip.end()) {
            std::printf("skip %s\n", c.name);
            ++skipped;
            continue;
        }
        int before = check::failures();
        c.body();
        std::printf("%s %s\n", check::failures() == before ? "ok  " : "FAIL", c.name);
        ++ran;
    }
    if (ran == 0) {
        std::printf("FAIL: no test ran: none whose name contains \"%s\"%s\n", filter,
                    skipped ? " is left after --skip" : "");
        return 1;
    }
    std::printf("%d tests, %d failed checks", ran, check::failures());
    if (skipped) std::printf(", %d skipped", skipped);
    std::printf("\n");
    return check::failures() == 0 ? 0 : 1;
}
