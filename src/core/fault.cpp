#include "core/fault.hpp"

#include <cstdio>

namespace quarnel {

void fault(const std::string& message) {
    std::fprintf(stderr, "quarnel: internal fault: %s\n", message.c_str());
    std::fflush(stderr);
    throw Fault(message);
}

}  // namespace quarnel
