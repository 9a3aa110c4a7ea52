// Reading an argument by a name its entry does not declare, or as another
// type than the entry declares, does not compile. This file is compiled with
// the module (it needs the interpreter's headers) and holds only constant
// checks: if it builds, they pass.
#include <cstdint>
#include <string>

#include "binding/args.hpp"

namespace quarnel::binding {
namespace {

constexpr Entry kEntry{"C", "f", {required<std::string>("text"), defaulted("lowercase", true), defaulted("n", 3)}};

template <const Entry& E, class T, ParamName Name>
constexpr bool readable = requires(const Args<E>& a) { a.template get<T, Name>(); };
template <const Entry& E, ParamName Name>
constexpr bool testable = requires(const Args<E>& a) { a.template has<Name>(); };

static_assert(readable<kEntry, std::string, "text">);
static_assert(readable<kEntry, bool, "lowercase">);
static_assert(readable<kEntry, std::int32_t, "n">);
static_assert(!readable<kEntry, bool, "text">, "a declared name read as another type");
static_assert(!readable<kEntry, std::int32_t, "lowercase">, "a bool read as an integer");
static_assert(!readable<kEntry, bool, "lowercas">, "a name the entry does not declare");
static_assert(testable<kEntry, "n"> && !testable<kEntry, "m">);

// A body written for one entry serves another only with the same
// parameters (the entry paths check this with a static_assert).
constexpr Entry kRenamed = kEntry.renamed("g");
constexpr Entry kReordered{"C", "f", {required<std::string>("text"), defaulted("n", 3), defaulted("lowercase", true)}};
constexpr Entry kOtherDefault{"C", "f", {required<std::string>("text"), defaulted("lowercase", false), defaulted("n", 3)}};
static_assert(kEntry.same_params(kRenamed));
static_assert(!kEntry.same_params(kReordered) && !kEntry.same_params(kOtherDefault));

}  // namespace
}  // namespace quarnel::binding
