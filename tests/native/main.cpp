#include <cstring>

#include "check.hpp"

int main(int argc, char** argv) {
    const char* filter = argc > 1 ? argv[1] : "";
    int ran = 0;
    for (auto& c : check::registry()) {
        if (!std::strstr(c.name, filter)) continue;
        int before = check::failures();
        c.body();
        std::printf("%s %s\n", check::failures() == before ? "ok  " : "FAIL", c.name);
        ++ran;
    }
    std::printf("%d tests, %d failed checks\n", ran, check::failures());
    return check::failures() == 0 ? 0 : 1;
}
