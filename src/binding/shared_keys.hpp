// Lists of dicts that share their key objects: the keys are drawn from one
// dense range of ids, and the str of each is made once, when a dict first
// needs it, then shared by every dict that has that key. Small int values
// are shared the same way. Interpreter lock held throughout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "binding/boundary.hpp"
#include "binding/build.hpp"
#include "binding/python.hpp"
#include "core/result.hpp"

namespace quarnel::binding {

// A key's text in two pieces of UTF-8, `prefix` followed by `text`; when
// `ascii`, both are known to be ASCII.
struct KeyText {
    std::string_view prefix;
    std::string_view text;
    bool ascii;
};

// A new str of the key's text.
PyObject* to_python(const KeyText& key);

class SharedKeyDicts {
public:
    // A list of `dicts` dicts, to be appended in order, with key ids below
    // `key_ids`.
    SharedKeyDicts(std::size_t dicts, std::size_t key_ids);
    ~SharedKeyDicts();
    SharedKeyDicts(const SharedKeyDicts&) = delete;
    SharedKeyDicts& operator=(const SharedKeyDicts&) = delete;

    // Whether creating the list failed (its exception is set).
    bool failed() const noexcept { return !list_; }

    // Appends the next dict, holding `entries` in their order: entry e goes
    // in under the key of id keys.id(e) with the int keys.value(e), as dict
    // assignment does (an equal key met again keeps its place and takes the
    // new value). keys.text(e) gives the KeyText of a key not made yet, and
    // keys.text_address(e) where that text is read from (or null), so that
    // it can be loaded ahead. After a failure the builder takes no more dicts.
    template <class Entries, class Keys>
    Result<void> append(const Entries& entries, Keys& keys);

    // The list (a new reference); items not appended are left empty, so
    // only a complete list may be handed to Python.
    PyObject* release() noexcept { return list_.release(); }

private:
    static constexpr std::int32_t kSharedInts = 4096;

    // A new reference to the int v.
    PyObject* int_object(std::int32_t v) {
        if (v < 0 || v >= kSharedInts) return PyLong_FromLong(v);
        PyObject*& slot = ints_[static_cast<std::size_t>(v)];
        if (!slot && !(slot = PyLong_FromLong(v))) return nullptr;
        Py_INCREF(slot);
        return slot;
    }

    Ref list_;
    std::size_t next_ = 0;
    // Borrowed: a key is owned by the dicts holding it, which the list
    // keeps alive for as long as the table is used.
    std::vector<PyObject*> keys_;
    std::vector<PyObject*> ints_;  // owned
};

template <class Entries, class Keys>
Result<void> SharedKeyDicts::append(const Entries& entries, Keys& keys) {
    if (!keep_building()) return pending();
    const std::size_t n = std::size(entries);
    Ref dict = Ref::steal(new_dict(n));
    if (!dict) return pending();
    for (std::size_t j = 0; j < n; ++j) {
        // Keys sit all over the table and the heap: start loading ahead, the
        // text of a key still to be made, or the made key itself.
        constexpr std::size_t kAhead = 8;
        if (j + kAhead < n) __builtin_prefetch(&keys_[keys.id(entries[j + kAhead])]);
        if (j + kAhead / 2 < n) {
            const auto& ahead = entries[j + kAhead / 2];
            const PyObject* next = keys_[keys.id(ahead)];
            if (const void* p = next ? next : keys.text_address(ahead)) __builtin_prefetch(p);
        }
        const auto& e = entries[j];
        PyObject*& key = keys_[keys.id(e)];
        const bool made = !key;
        if (made) {
            if (!(key = to_python(keys.text(e)))) return pending();
        }
        PyObject* item = int_object(keys.value(e));
        const int set = item ? PyDict_SetItem(dict.get(), key, item) : -1;
        Py_XDECREF(item);
        if (made) {
            // The dict now holds the new key, unless the insertion failed or
            // it already had an equal key (which it keeps instead).
            const bool kept = set == 0 && Py_REFCNT(key) > 1;
            Py_DECREF(key);
            if (!kept) key = nullptr;
        }
        if (set < 0) return pending();
    }
    PyList_SET_ITEM(list_.get(), static_cast<Py_ssize_t>(next_++), dict.release());
    return {};
}

}  // namespace quarnel::binding
