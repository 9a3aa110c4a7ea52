// Entries and their parameters, binding a call's arguments to them, and
// converting each bound argument with the argument-error rule applied.
//
// An entry is declared once, with everything the module derives from it:
// the names that binding accepts and its messages show, which parameters are
// required, each default value and how the text signature shows it, and the
// C++ type each is read as. Bodies read their arguments by name against it
// (Args<E>::get), so a name or type that disagrees with the entry does not
// compile, and reordering an entry's parameters needs no change in a body.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "binding/convert.hpp"
#include "binding/python.hpp"
#include "core/fault.hpp"
#include "core/result.hpp"

namespace quarnel::binding {

inline constexpr std::size_t kMaxParams = 8;

// The C++ type a parameter is read as, as a value a constant can hold.
using TypeId = const void*;
template <class T>
struct TypeTag {
    static constexpr char id = 0;
};
template <class T>
constexpr TypeId type_id() noexcept {
    return &TypeTag<T>::id;
}

// One parameter. Every parameter is positional-or-keyword.
struct Param {
    // What an absent argument reads as.
    enum class Default : std::uint8_t { None, Bool, Int, Str, Empty };

    const char* name;
    TypeId type;                   // what the body reads it as
    Default kind = Default::None;  // None: required
    bool shown = false;            // the text signature shows the value, else "..."
    bool b = false;
    std::int32_t i = 0;
    std::string_view s{};

    constexpr bool operator==(const Param& o) const {
        return std::string_view(name) == o.name && type == o.type && kind == o.kind && shown == o.shown &&
               b == o.b && i == o.i && s == o.s;
    }
};

// Required, read as T.
template <class T>
constexpr Param required(const char* name) {
    return Param{name, type_id<T>()};
}
// Optional, the signature showing the value: "lowercase=True",
// "quantization_factor=100", "negative_prefix=\"neg_\"". Read as bool,
// std::int32_t and std::string.
constexpr Param defaulted(const char* name, bool value) {
    return Param{name, type_id<bool>(), Param::Default::Bool, true, value};
}
constexpr Param defaulted(const char* name, std::int32_t value) {
    return Param{name, type_id<std::int32_t>(), Param::Default::Int, true, false, value};
}
constexpr Param defaulted(const char* name, const char* value) {
    return Param{name, type_id<std::string>(), Param::Default::Str, true, false, 0, value};
}
// Optional, the signature showing "...": "pattern=...", read as std::string.
constexpr Param elided(const char* name, std::string_view value) {
    return Param{name, type_id<std::string>(), Param::Default::Str, false, false, 0, value};
}
// Optional, the signature showing "...", read as T; absent, it reads as an
// empty T (an empty set, no vocabulary).
template <class T>
constexpr Param elided(const char* name) {
    static_assert(std::is_default_constructible_v<T>);
    return Param{name, type_id<T>(), Param::Default::Empty};
}

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

    // The position of the parameter `name`, or nparams.
    constexpr std::size_t index(std::string_view name) const {
        std::size_t i = 0;
        while (i < nparams && name != params[i].name) ++i;
        return i;
    }
    // Whether the entry has a parameter `name` read as `type`.
    constexpr bool declares(std::string_view name, TypeId type) const {
        const std::size_t i = index(name);
        return i < nparams && params[i].type == type;
    }
    constexpr bool same_params(const Entry& o) const {
        if (nparams != o.nparams) return false;
        for (std::size_t i = 0; i < nparams; ++i)
            if (!(params[i] == o.params[i])) return false;
        return true;
    }
};

// A parameter's name as a template argument: args.get<bool, "lowercase">().
template <std::size_t N>
struct ParamName {
    char chars[N]{};
    consteval ParamName(const char (&s)[N]) {
        for (std::size_t i = 0; i < N; ++i) chars[i] = s[i];
    }
    constexpr std::string_view view() const { return {chars, N - 1}; }
};

// "(a, b=True, c=...)", or "($self, a, ...)" for a method.
std::string text_signature(const Entry& entry, bool method);

// Applies the argument-error rule to a failed conversion of `param`: an
// exception of exactly TypeError is replaced by a TypeError whose message is
// prefixed with "argument '{param}': " and whose cause is the original's
// cause; anything else passes unchanged.
Error argument_error(const char* param, Error inner);

// The arguments bound to an entry's parameters (borrowed; null = absent),
// read by position. Bodies read them by name through Args<E> below.
class ArgSlots {
public:
    explicit ArgSlots(const Entry& entry) : entry_(&entry) {}

    const Entry& entry() const noexcept { return *entry_; }

    // Faults unless the body looked at every parameter: a parameter that
    // binding accepts must not be dropped silently.
    void check_all_read() const;

    // Fills the slots or fails with the binding TypeError.
    Result<void> bind_vector(PyObject* const* args, std::size_t nargs, PyObject* kwnames);
    Result<void> bind_tuple(PyObject* args, PyObject* kwargs);

protected:
    bool has_at(std::size_t i) const noexcept {
        read_ |= 1u << i;
        return slots_[i] != nullptr;
    }

    // Converts parameter i, or gives its declared default when absent.
    template <class T>
    Result<T> get_at(std::size_t i) const {
        if (!has_at(i)) return default_value<T>(entry_->params[i]);
        require_gil();
        Result<T> r = Convert<T>::from(slots_[i]);
        if (!r.ok()) return argument_error(entry_->params[i].name, std::move(r).error());
        return r;
    }

private:
    // An optional parameter's default. Its declaration fixes the kind of
    // default by the type read (required(), defaulted(), elided()); a
    // required parameter is never absent here (binding checked it).
    template <class T>
    static T default_value(const Param& p) {
        if constexpr (std::is_same_v<T, bool>) {
            return p.b;
        } else if constexpr (std::is_same_v<T, std::int32_t>) {
            return p.i;
        } else if constexpr (std::is_same_v<T, std::string>) {
            return p.kind == Param::Default::Str ? T(p.s) : T{};
        } else if constexpr (std::is_default_constructible_v<T>) {
            return T{};
        } else {
            fault(std::string("required parameter '") + p.name + "' read while absent");
        }
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

// The arguments of a body written against the entry E, read by name: a
// name E does not declare, or a type other than the one E declares for it,
// does not compile. `bound` is the entry the call was bound to: E itself,
// or an entry with the same parameters under another name.
template <const Entry& E>
class Args : public ArgSlots {
public:
    explicit Args(const Entry& bound) : ArgSlots(bound) {}

    template <class T, ParamName Name>
        requires(E.declares(Name.view(), type_id<T>()))
    Result<T> get() const {
        return get_at<T>(E.index(Name.view()));
    }

    // Whether the argument was given.
    template <ParamName Name>
        requires(E.index(Name.view()) < E.nparams)
    bool has() const noexcept {
        return has_at(E.index(Name.view()));
    }
};

}  // namespace quarnel::binding
