// Internal faults: conditions native code cannot recover from (a broken
// invariant, an error reported by the regex engine during a search). They
// unwind to the call boundary, which raises them as PanicException.
#pragma once

#include <stdexcept>
#include <string>

namespace quarnel {

class Fault : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes the message to standard error, then throws Fault.
[[noreturn]] void fault(const std::string& message);

}  // namespace quarnel
