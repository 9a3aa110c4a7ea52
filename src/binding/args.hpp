// Entries and their parameters, binding a call's arguments to them, and
// converting each bound argument with the argument-error rule applied.
//
// An entry is declared once, with everything the module derives from it:
// the names that binding accepts and its messages show, which parameters are
// required, each default value and how the text signature shows it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

#include "binding/convert.hpp"
#include "binding/python.hpp"
#include "core/fault.hpp"
#include "core/result.hpp"

namespace quarnel::binding {

inline constexpr std::size_t kMaxParams = 8;

// One parameter. Every parameter is positional-or-keyword.
struct Param {
    // What an absent argument reads as.
    enum class Default : std::uint8_t { None, Bool, Int, Str, Empty };

    const char* name;
    Default kind = Default::None;  // None: required
    bool shown = false;            // the text signature shows the value, else "..."
    bool b = false;
    std::int32_t i = 0;
    std::string_view s{};
};

// Required.
constexpr Param required(const char* name) { return Param{name}; }
// Optional, the signature showing the value: "lowercase=True",
// "quantization_factor=100", "negative_prefix=\"neg_\"".
constexpr Param defaulted(const char* name, bool value) { return Param{name, Param::Default::Bool, true, value}; }
constexpr Param defaulted(const char* name, std::int32_t value) {
    return Param{name, Param::Default::Int, true, false, value};
}
constexpr Param defaulted(const char* name, const char* value) {
    return Param{name, Param::Default::Str, true, false, 0, value};
}
// Optional, the signature showing "...": "pattern=...". Without a value an
// absent argument reads as an empty value (an empty set, no vocabulary).
constexpr Param elided(const char* name, std::string_view value) {
    return Param{name, Param::Default::Str, false, false, 0, value};
}
constexpr Param elided(const char* name) { return Param{name, Param::Default::Empty}; }

// One entry of a class: "{cls}.{func}()" in messages. The required
// parameters come first.
struct Entry {
    const char* cls;
    const char* func;
    std::array<Param, kMaxParams> params;
    std::size_t nparams;
    std::size_t required;

    constexpr Entry(const char* cls_, const char* func_, std::initializer_list<Param> list)
        : cls(cls_), func(func_), params{}, nparams(list.size()), required(0) {
        // Thrown while a constant is initialised: a compile error.
        if (list.size() > kMaxParams) throw std::logic_error("too many parameters");
        std::size_t i = 0;
        for (const Param& p : list) {
            if (p.kind == Param::Default::None && i != required)
                throw std::logic_error("a required parameter after an optional one");
            if (p.kind == Param::Default::None) ++required;
            params[i++] = p;
        }
    }

    // The same parameters under another name: the call slot takes what a
    // method takes.
    constexpr Entry renamed(const char* func_) const {
        Entry e = *this;
        e.func = func_;
        return e;
    }
};

// "(a, b=True, c=...)", or "($self, a, ...)" for a method.
std::string text_signature(const Entry& entry, bool method);

// Applies the argument-error rule to a failed conversion of `param`: an
// exception of exactly TypeError is replaced by a TypeError whose message is
// prefixed with "argument '{param}': " and whose cause is the original's
// cause; anything else passes unchanged.
Error argument_error(const char* param, Error inner);

// The arguments bound to an entry's parameters (borrowed; null = absent).
class Args {
public:
    explicit Args(const Entry& entry) : entry_(&entry) {}

    bool has(std::size_t i) const noexcept {
        read_ |= 1u << i;
        return slots_[i] != nullptr;
    }
    const Entry& entry() const noexcept { return *entry_; }

    // Converts parameter i, or gives its declared default when absent.
    template <class T>
    Result<T> get(std::size_t i) const {
        if (!has(i)) return default_value<T>(entry_->params[i]);
        require_gil();
        Result<T> r = Convert<T>::from(slots_[i]);
        if (!r.ok()) return argument_error(entry_->params[i].name, std::move(r).error());
        return r;
    }

    // Faults unless the body looked at every parameter: a parameter that
    // binding accepts must not be dropped silently.
    void check_all_read() const;

    // Fills the slots or fails with the binding TypeError.
    Result<void> bind_vector(PyObject* const* args, std::size_t nargs, PyObject* kwnames);
    Result<void> bind_tuple(PyObject* args, PyObject* kwargs);

private:
    template <class T>
    T default_value(const Param& p) const {
        using D = Param::Default;
        if constexpr (std::is_same_v<T, bool>) {
            if (p.kind == D::Bool) return p.b;
        } else if constexpr (std::is_same_v<T, std::int32_t>) {
            if (p.kind == D::Int) return p.i;
        } else if constexpr (std::is_constructible_v<T, std::string_view>) {
            if (p.kind == D::Str) return T(p.s);
        }
        if constexpr (std::is_default_constructible_v<T>)
            if (p.kind == D::Empty) return T{};
        fault(entry_name() + ": the declared default of '" + p.name + "' does not fit the type it is read as");
    }

    Result<void> bind_positional(PyObject* const* args, std::size_t nargs);
    Result<void> bind_keyword(PyObject* name, PyObject* value, bool hold = false);
    Result<void> check_required() const;
    std::string entry_name() const;

    const Entry* entry_;
    std::array<PyObject*, kMaxParams> slots_{};
#ifdef Py_GIL_DISABLED
    // Values taken from a keyword dict, held: another thread could change
    // the dict (the interpreter's own calls pass a fresh one).
    std::array<Ref, kMaxParams> held_{};
#endif
    mutable unsigned read_ = 0;  // bit i: parameter i was looked at
};

}  // namespace quarnel::binding
