// Building Python results from native values (interpreter lock held).
// Every builder returns a new reference, or null with an exception set.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "binding/boundary.hpp"
#include "binding/python.hpp"
#include "core/token_list.hpp"

namespace quarnel::binding {

// A new str from UTF-8 bytes (ASCII copied straight into a new str).
PyObject* to_python(std::string_view s);
inline PyObject* to_python(const std::string& s) { return to_python(std::string_view(s)); }

template <class I>
    requires(std::is_integral_v<I> && !std::is_same_v<I, bool>)
PyObject* to_python(I v) {
    if constexpr (std::is_signed_v<I>)
        return PyLong_FromLongLong(static_cast<long long>(v));
    else
        return PyLong_FromUnsignedLongLong(static_cast<unsigned long long>(v));
}

// Called between the rows of a result being built (lists of lists, lists of
// dicts): runs pending signal handlers, so that Ctrl-C stops the building of
// a large result too. False with the handler's exception set (a few loads
// when nothing is pending).
inline bool keep_building() { return PyErr_CheckSignals() == 0; }

// A new list of n items, item(i) making item i (a new reference, or null
// with an exception set). When the items are the rows of a larger result
// (`rows`), pending signal handlers run between them (keep_building).
template <class Item>
PyObject* new_list(std::size_t n, Item&& item, bool rows = false) {
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(n)));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < n; ++i) {
        if (rows && !keep_building()) return nullptr;
        PyObject* value = item(i);
        if (!value) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), value);
    }
    return list.release();
}

// A list of str, one per token.
PyObject* to_python(const TokenView& tokens);
inline PyObject* to_python(const TokenList& tokens) { return to_python(tokens.view()); }

// A new str of exactly the characters of UTF-16 `s`, built straight in the
// narrowest kind that holds them (a lone surrogate stays one character).
PyObject* to_python(std::u16string_view s);
// A list of the str of group g, and a list holding one such list per group.
PyObject* to_python(const Utf16TokenGroups& groups, std::size_t g);
PyObject* to_python(const Utf16TokenGroups& groups);

template <class T>
PyObject* to_python(const std::vector<T>& items) {
    return new_list(items.size(), [&](std::size_t i) { return to_python(items[i]); }, true);
}

// A new dict with room for `size` entries.
inline PyObject* new_dict(std::size_t size) {
#if PY_VERSION_HEX < 0x030D0000
    return _PyDict_NewPresized(static_cast<Py_ssize_t>(size));
#else
    (void)size;
    return PyDict_New();
#endif
}

// A new str of `length` characters, none above `max_char`, for the caller
// to fill in place: `data` gets its storage, code units of 1, 2 or 4 bytes
// (the narrowest that holds max_char); null for length 0 (the empty str is
// shared and never written).
PyObject* new_str(std::size_t length, char32_t max_char, void*& data);

// A list of n new str whose sizes were planned beforehand: size(i) gives
// text i's `length` and `max_char` (as for new_str); then fill(data), with
// data a std::span<void* const> of the n storages, writes every text in
// place (for example on the pool, the lock released).
template <class Size, class Fill>
PyObject* planned_strs(std::size_t n, Size&& size, Fill&& fill) {
    std::vector<void*> data(n);
    Ref list = Ref::steal(new_list(n, [&](std::size_t i) {
        const auto& s = size(i);
        return new_str(s.length, s.max_char, data[i]);
    }));
    if (!list) return nullptr;
    fill(std::span<void* const>(data));
    return list.release();
}

// A dict from any map-like range of (key, value) pairs, in its iteration order.
template <class Map>
    requires requires(const Map& m) { m.begin()->first; m.begin()->second; m.size(); }
PyObject* to_python(const Map& map) {
    Ref dict = Ref::steal(new_dict(map.size()));
    if (!dict) return nullptr;
    for (const auto& [key, value] : map) {
        Ref k = Ref::steal(to_python(key));
        if (!k) return nullptr;
        Ref v = Ref::steal(to_python(value));
        if (!v) return nullptr;
        if (PyDict_SetItem(dict.get(), k.get(), v.get()) < 0) return nullptr;
    }
    return dict.release();
}

// Keeps the cycle collector from running while a result is built: the
// result's containers hold only fresh strings and ints, so collections
// triggered by its allocations would only re-scan it. The collector's
// previous state is restored afterwards (nothing else runs meanwhile: the
// interpreter lock is held throughout). Not on free-threaded builds: there
// other threads run meanwhile, and the switch is the whole process's (a
// thread's gc.disable() could be undone by the restore).
class CollectorPause {
public:
#ifdef Py_GIL_DISABLED
    CollectorPause() noexcept {}  // user-provided: a pause that does nothing is still "used"
    ~CollectorPause() {}
#else
    CollectorPause() noexcept : was_enabled_(PyGC_Disable() == 1) {}
    ~CollectorPause() {
        if (was_enabled_) PyGC_Enable();
    }
#endif
    CollectorPause(const CollectorPause&) = delete;
    CollectorPause& operator=(const CollectorPause&) = delete;

private:
#ifndef Py_GIL_DISABLED
    bool was_enabled_;
#endif
};

// Builds the Python result of a call from a native value (and the
// arguments that pick a part of it).
template <class... T>
PyObject* build_result(const T&... value) {
    require_gil();
    CollectorPause pause;
    return to_python(value...);
}

}  // namespace quarnel::binding
