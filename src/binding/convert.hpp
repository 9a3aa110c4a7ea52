// Conversions of Python argument values into native values. Every
// conversion runs with the interpreter lock held and copies what it keeps.
//
// Convert<T>::from(PyObject*) -> Result<T> exists for std::string, bool,
// std::int32_t, TokenList (a sequence of str), std::vector<T> (a sequence),
// std::vector<std::pair<K, V>> (a dict's entries, in its order),
// std::unordered_map<K, V> (a dict), std::unordered_set<T> (a set or
// frozenset), and any type built from a dict of token lists through its
// Builder (TokenListsBuilt below). The primitives below serve them all.
#pragma once

#include <algorithm>
#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "binding/boundary.hpp"
#include "binding/python.hpp"
#include "core/capacity.hpp"
#include "core/fault.hpp"
#include "core/result.hpp"
#include "core/token_list.hpp"
#include "core/texts.hpp"

namespace quarnel::binding {

// "'{type}' object cannot be converted to '{target}'"
Error cannot_convert(PyObject* value, const char* target);

// Appends the UTF-8 encoding of a str to `out`, encoding straight from the
// str's own storage (nothing is cached on the str object).
// Not a str: TypeError naming 'PyString'; a lone surrogate: the interpreter's
// UnicodeEncodeError (and `out` is left as it was).
Result<void> append_utf8(PyObject* value, std::string& out);

// Copies a str's code points out of its own storage: `copy(units, n)` gets
// them as Py_UCS1, Py_UCS2 or Py_UCS4 units, whichever the str holds, and
// returns false when one is a surrogate, which UTF-8 cannot encode (leaving
// its output as it was); then the interpreter's UTF-8 encoder raises the
// UnicodeEncodeError users know. Not a str: TypeError naming 'PyString'.
template <class Copy>
Result<void> copy_code_points(PyObject* value, Copy&& copy);

// Calls f(std::string_view) with the UTF-8 bytes of a str, valid during the
// call only. Same refusals as append_utf8.
template <class F>
Result<void> with_utf8(PyObject* value, F&& f);

// Checks that `value` may be read as a list: not a str, and passing the
// sequence check. Returns the length when it can be read cheaply, else -1.
Result<Py_ssize_t> check_sequence(PyObject* value);

// Calls f(item) -> Result<void> on every item of a sequence, in order
// (list and tuple directly; anything else through its iterator).
template <class F>
Result<void> for_each_item(PyObject* sequence, F&& f);

// The same for a sequence of str: f(str) gets each item once it is known to
// be a str (any other item fails with the str conversion's error). f must
// not run Python code (copying the text doesn't), so list and tuple items
// are read without taking references: nothing can change the sequence
// (with the interpreter lock held throughout, or on free-threaded builds
// under the list's critical section).
template <class F>
Result<void> for_each_str(PyObject* sequence, F&& f);

// Calls f(key, value) -> Result<void> on every entry of a dict, in its order
// (on free-threaded builds, the entries it had at one moment).
template <class F>
Result<void> for_each_entry(PyObject* dict, F&& f);

template <class T, class Enable = void>
struct Convert;

template <>
struct Convert<std::string> {
    static Result<std::string> from(PyObject* value);
};

// A sequence of str, into one compact token list.
template <>
struct Convert<TokenList> {
    static Result<TokenList> from(PyObject* value);
};

template <>
struct Convert<bool> {
    static Result<bool> from(PyObject* value);
};

template <>
struct Convert<std::int32_t> {
    static Result<std::int32_t> from(PyObject* value);
};

template <class T>
struct Convert<std::vector<T>> {
    static Result<std::vector<T>> from(PyObject* value) {
        QUARNEL_TRY(Py_ssize_t len, check_sequence(value));
        std::vector<T> out;
        out.reserve(capacity_hint(len));
        QUARNEL_TRY_VOID(for_each_item(value, [&](PyObject* item) -> Result<void> {
            QUARNEL_TRY(T v, Convert<T>::from(item));
            out.push_back(std::move(v));
            return {};
        }));
        return out;
    }
};

template <>
struct Convert<std::vector<std::string>> {
    static Result<std::vector<std::string>> from(PyObject* value);
};

// A dict's entries in its order (a vector of pairs never comes from a
// sequence of pairs).
template <class K, class V>
struct Convert<std::vector<std::pair<K, V>>> {
    static Result<std::vector<std::pair<K, V>>> from(PyObject* value) {
        if (!PyDict_Check(value)) return cannot_convert(value, texts::kPyDict);
        std::vector<std::pair<K, V>> out;
        out.reserve(static_cast<std::size_t>(PyDict_GET_SIZE(value)));
        QUARNEL_TRY_VOID(for_each_entry(value, [&](PyObject* key, PyObject* item) -> Result<void> {
            QUARNEL_TRY(K k, Convert<K>::from(key));
            QUARNEL_TRY(V v, Convert<V>::from(item));
            out.emplace_back(std::move(k), std::move(v));
            return {};
        }));
        return out;
    }
};

template <class K, class V, class H, class E>
struct Convert<std::unordered_map<K, V, H, E>> {
    static Result<std::unordered_map<K, V, H, E>> from(PyObject* value) {
        if (!PyDict_Check(value)) return cannot_convert(value, texts::kPyDict);
        std::unordered_map<K, V, H, E> out;
        out.reserve(static_cast<std::size_t>(PyDict_GET_SIZE(value)));
        QUARNEL_TRY_VOID(for_each_entry(value, [&](PyObject* key, PyObject* item) -> Result<void> {
            QUARNEL_TRY(K k, Convert<K>::from(key));
            QUARNEL_TRY(V v, Convert<V>::from(item));
            out.insert_or_assign(std::move(k), std::move(v));
            return {};
        }));
        return out;
    }
};

template <class T, class H, class E>
struct Convert<std::unordered_set<T, H, E>> {
    static Result<std::unordered_set<T, H, E>> from(PyObject* value) {
        if (!PyAnySet_Check(value)) return cannot_convert(value, texts::kPySet);
        std::unordered_set<T, H, E> out;
        out.reserve(static_cast<std::size_t>(PySet_GET_SIZE(value)));
#ifdef Py_GIL_DISABLED
        if (PySet_CheckExact(value)) {
            // Another thread may change the set meanwhile: read a copy of
            // it taken at one moment (under the set's critical section).
            Ref copy = Ref::steal(PySequence_List(value));
            if (!copy) return pending();
            for (Py_ssize_t i = 0; i < PyList_GET_SIZE(copy.get()); ++i) {
                QUARNEL_TRY(T v, Convert<T>::from(PyList_GET_ITEM(copy.get(), i)));
                out.insert(std::move(v));
            }
            return out;
        }
#endif
        Ref it = Ref::steal(PyObject_GetIter(value));
        if (!it) return pending();
        while (Ref item = Ref::steal(PyIter_Next(it.get()))) {
            QUARNEL_TRY(T v, Convert<T>::from(item.get()));
            out.insert(std::move(v));
        }
        if (PyErr_Occurred()) return pending();
        return out;
    }
};

// A type filled from a dict of str -> sequence of str one entry at a time,
// token bytes going straight into its storage: T::Builder(expected entries),
// begin(key), reserve_tokens(n), token_bytes() (the next token's bytes are
// appended there), close_token(), end(), std::move(builder).finish() -> T.
template <class T>
concept TokenListsBuilt = std::constructible_from<typename T::Builder, std::size_t> &&
                          requires(typename T::Builder b, std::string_view key, std::size_t n) {
    b.begin(key);
    b.reserve_tokens(n);
    { b.token_bytes() } -> std::same_as<std::string&>;
    b.close_token();
    b.end();
    { std::move(b).finish() } -> std::same_as<T>;
};

template <TokenListsBuilt T>
struct Convert<T, void> {
    static Result<T> from(PyObject* value) {
        if (!PyDict_Check(value)) return cannot_convert(value, texts::kPyDict);
        typename T::Builder builder(static_cast<std::size_t>(PyDict_GET_SIZE(value)));
        QUARNEL_TRY_VOID(for_each_entry(value, [&](PyObject* key, PyObject* tokens) -> Result<void> {
            auto id = with_utf8(key, [&](std::string_view k) { builder.begin(k); });
            if (!id) return id;
            QUARNEL_TRY(Py_ssize_t len, check_sequence(tokens));
            builder.reserve_tokens(capacity_hint(len));
            auto items = for_each_str(tokens, [&](PyObject* token) -> Result<void> {
                QUARNEL_TRY_VOID(append_utf8(token, builder.token_bytes()));
                builder.close_token();
                return {};
            });
            if (!items) return items;
            builder.end();
            return {};
        }));
        return std::move(builder).finish();
    }
};

// ---------------------------------------------------------------------------

template <class Copy>
Result<void> copy_code_points(PyObject* value, Copy&& copy) {
    if (!PyUnicode_Check(value)) return cannot_convert(value, texts::kPyString);
#if PY_VERSION_HEX < 0x030C0000
    if (PyUnicode_READY(value) < 0) return pending();
#endif
    const void* data = PyUnicode_DATA(value);
    const auto n = static_cast<std::size_t>(PyUnicode_GET_LENGTH(value));
    bool ok = false;
    switch (PyUnicode_KIND(value)) {
        case PyUnicode_1BYTE_KIND: ok = copy(static_cast<const Py_UCS1*>(data), n); break;
        case PyUnicode_2BYTE_KIND: ok = copy(static_cast<const Py_UCS2*>(data), n); break;
        default: ok = copy(static_cast<const Py_UCS4*>(data), n); break;
    }
    if (ok) return {};
    Ref held = Ref::borrow(value);  // raising the error may run Python code
    Ref bytes = Ref::steal(PyUnicode_AsUTF8String(value));
    if (!bytes) return pending();
    fault("a str holding a surrogate encoded as UTF-8");
}

template <class F>
Result<void> with_utf8(PyObject* value, F&& f) {
    if (PyUnicode_Check(value) && PyUnicode_IS_READY(value) && PyUnicode_IS_ASCII(value)) {
        // ASCII text is its own UTF-8.
        f(std::string_view(static_cast<const char*>(PyUnicode_DATA(value)),
                           static_cast<std::size_t>(PyUnicode_GET_LENGTH(value))));
        return {};
    }
    std::string utf8;
    QUARNEL_TRY_VOID(append_utf8(value, utf8));
    f(std::string_view(utf8));
    return {};
}

namespace detail {

#ifndef Py_GIL_DISABLED
// `hold`: take a reference to each list or tuple item while f runs. Needed
// whenever f may run Python code, which could change the sequence.
template <bool hold, class F>
Result<void> for_each_item(PyObject* sequence, F&& f) {
    if (PyList_CheckExact(sequence) || PyTuple_CheckExact(sequence)) {
        const bool is_list = PyList_CheckExact(sequence);
        // The size is re-read every step: a conversion may run Python code
        // that changes the list, exactly as its iterator would see it.
        PyObject* const* items = is_list ? reinterpret_cast<PyListObject*>(sequence)->ob_item
                                         : reinterpret_cast<PyTupleObject*>(sequence)->ob_item;
        for (Py_ssize_t i = 0; i < (is_list ? PyList_GET_SIZE(sequence) : PyTuple_GET_SIZE(sequence)); ++i) {
            if (is_list) items = reinterpret_cast<PyListObject*>(sequence)->ob_item;  // may have moved
            // Items are scattered objects: start loading a few ahead.
            constexpr Py_ssize_t kAhead = 8;
            if (i + kAhead < (is_list ? PyList_GET_SIZE(sequence) : PyTuple_GET_SIZE(sequence))) {
                const char* ahead = reinterpret_cast<const char*>(items[i + kAhead]);
                __builtin_prefetch(ahead);
                __builtin_prefetch(ahead + 56);  // a small str's state and text may be on the next line
            }
            Ref held = hold ? Ref::borrow(items[i]) : Ref();
            QUARNEL_TRY_VOID(f(items[i]));
        }
        return {};
    }
    Ref it = Ref::steal(PyObject_GetIter(sequence));
    if (!it) return pending();
    while (Ref item = Ref::steal(PyIter_Next(it.get())))
        QUARNEL_TRY_VOID(f(item.get()));
    if (PyErr_Occurred()) return pending();
    return {};
}
#else
// Free-threaded: other threads run while this one converts, so a list is
// read as it was at one moment, never partly before and partly after
// another thread changed it; no item is used while another thread may drop
// it. Without `hold`, f runs no Python code, and the list's critical
// section keeps it unchanged while its items are read in place; with
// `hold`, f may run Python code (which suspends any critical section), so
// a copy of the list, taken at one moment, is read instead. Tuples are
// read in place: they never change.
template <class F>
Result<void> for_each_in(PyObject* const* items, Py_ssize_t n, F& f) {
    for (Py_ssize_t i = 0; i < n; ++i) {
        // Items are scattered objects: start loading a few ahead.
        constexpr Py_ssize_t kAhead = 8;
        if (i + kAhead < n) {
            const char* ahead = reinterpret_cast<const char*>(items[i + kAhead]);
            __builtin_prefetch(ahead);
            __builtin_prefetch(ahead + 56);  // a small str's state and text may be on the next line
        }
        QUARNEL_TRY_VOID(f(items[i]));
    }
    return {};
}

inline PyObject* const* tuple_items(PyObject* tuple) {
    return reinterpret_cast<PyTupleObject*>(tuple)->ob_item;
}

template <bool hold, class F>
Result<void> for_each_item(PyObject* sequence, F&& f) {
    if (PyTuple_CheckExact(sequence)) return for_each_in(tuple_items(sequence), PyTuple_GET_SIZE(sequence), f);
    // A list, or a subclass that iterates as a list does.
    if (PyList_Check(sequence) && Py_TYPE(sequence)->tp_iter == PyList_Type.tp_iter) {
        if constexpr (hold) {
            Ref copy = Ref::steal(PyList_AsTuple(sequence));  // under the list's critical section
            if (!copy) return pending();
            return for_each_in(tuple_items(copy.get()), PyTuple_GET_SIZE(copy.get()), f);
        } else {
            CriticalSection section(sequence);
            return for_each_in(reinterpret_cast<PyListObject*>(sequence)->ob_item, PyList_GET_SIZE(sequence), f);
        }
    }
    Ref it = Ref::steal(PyObject_GetIter(sequence));
    if (!it) return pending();
    while (Ref item = Ref::steal(PyIter_Next(it.get())))
        QUARNEL_TRY_VOID(f(item.get()));
    if (PyErr_Occurred()) return pending();
    return {};
}
#endif

}  // namespace detail

template <class F>
Result<void> for_each_item(PyObject* sequence, F&& f) {
    return detail::for_each_item<true>(sequence, std::forward<F>(f));
}

template <class F>
Result<void> for_each_str(PyObject* sequence, F&& f) {
    return detail::for_each_item<false>(sequence, [&](PyObject* item) -> Result<void> {
        if (!PyUnicode_Check(item)) {
            Ref held = Ref::borrow(item);  // naming its type may run Python code
            return cannot_convert(item, texts::kPyString);
        }
        return f(item);
    });
}

template <class F>
Result<void> for_each_entry(PyObject* dict, F&& f) {
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
#ifdef Py_GIL_DISABLED
    // Other threads run meanwhile: the entries as they were at one moment,
    // collected under the dict's critical section (which converting them
    // might suspend), each held while it is converted.
    std::vector<std::pair<Ref, Ref>> entries;
    {
        CriticalSection section(dict);
        entries.reserve(static_cast<std::size_t>(PyDict_GET_SIZE(dict)));
        while (PyDict_Next(dict, &pos, &key, &value)) entries.emplace_back(Ref::borrow(key), Ref::borrow(value));
    }
    for (const auto& [k, v] : entries)
        QUARNEL_TRY_VOID(f(k.get(), v.get()));
#else
    while (PyDict_Next(dict, &pos, &key, &value)) {
        // Hold both while converting: a conversion may run Python code.
        Ref k = Ref::borrow(key), v = Ref::borrow(value);
        QUARNEL_TRY_VOID(f(k.get(), v.get()));
    }
#endif
    return {};
}

}  // namespace quarnel::binding
