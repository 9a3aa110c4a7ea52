// Binding a call's arguments to an entry's parameters, and converting each
// bound argument with the argument-error rule applied.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <string>

#include "binding/convert.hpp"
#include "binding/python.hpp"
#include "core/result.hpp"

namespace quarnel::binding {

inline constexpr std::size_t kMaxParams = 8;

// One entry of a class: "{cls}.{func}()" in messages. Every parameter is
// positional-or-keyword; the first `required` ones are required.
struct Entry {
    const char* cls;
    const char* func;
    std::array<const char*, kMaxParams> params;
    std::size_t nparams;
    std::size_t required;

    constexpr Entry(const char* cls_, const char* func_, std::initializer_list<const char*> names,
                    std::size_t required_)
        : cls(cls_), func(func_), params{}, nparams(names.size()), required(required_) {
        std::size_t i = 0;
        for (const char* n : names) params[i++] = n;
    }
};

// Applies the argument-error rule to a failed conversion of `param`: an
// exception of exactly TypeError is replaced by a TypeError whose message is
// prefixed with "argument '{param}': " and whose cause is the original's
// cause; anything else passes unchanged.
Error argument_error(const char* param, Error inner);

// The arguments bound to an entry's parameters (borrowed; null = absent).
class Args {
public:
    explicit Args(const Entry& entry) : entry_(&entry) {}

    bool has(std::size_t i) const noexcept { return slots_[i] != nullptr; }
    PyObject* raw(std::size_t i) const noexcept { return slots_[i]; }
    const Entry& entry() const noexcept { return *entry_; }

    // Converts parameter i (which must be bound, i.e. required or present).
    template <class T>
    Result<T> get(std::size_t i) const {
        require_gil();
        Result<T> r = Convert<T>::from(slots_[i]);
        if (!r.ok()) return argument_error(entry_->params[i], std::move(r).error());
        return r;
    }

    // Converts parameter i, or returns `fallback` unconverted when absent.
    template <class T>
    Result<T> get_or(std::size_t i, T fallback) const {
        if (!has(i)) return fallback;
        return get<T>(i);
    }

    // Fills the slots or fails with the binding TypeError.
    Result<void> bind_vector(PyObject* const* args, std::size_t nargs, PyObject* kwnames);
    Result<void> bind_tuple(PyObject* args, PyObject* kwargs);

private:
    Result<void> bind_positional(PyObject* const* args, std::size_t nargs);
    Result<void> bind_keyword(PyObject* name, PyObject* value);
    Result<void> check_required() const;
    std::string entry_name() const;

    const Entry* entry_;
    std::array<PyObject*, kMaxParams> slots_{};
};

}  // namespace quarnel::binding
