// Lists of dicts that share their key objects: the keys are drawn from one
// dense range of ids, and the str of each is made once, when a dict first
// needs it, then shared by every dict that has that key. Small int values
// are shared the same way. Interpreter lock held throughout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "binding/boundary.hpp"
#include "binding/build.hpp"
#include "binding/python.hpp"
#include "core/result.hpp"

namespace quarnel::binding {

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
    // in under the key of id key_id(e) with the int value(e), as dict
    // assignment does (an equal key met again keeps its place and takes the
    // new value). key_text(e) gives the UTF-8 text of a key not made yet.
    template <class Entries, class Id, class Value, class Text>
    Result<void> append(const Entries& entries, Id&& key_id, Value&& value, Text&& key_text);

    // The list (a new reference); items not appended are left empty, so
    // only a complete list may be handed to Python.
    PyObject* release() noexcept { return list_.release(); }

private:
    static constexpr std::int32_t kSharedInts = 4096;

    PyObject* shared_int(std::int32_t v);

    Ref list_;
    std::size_t next_ = 0;
    std::vector<PyObject*> keys_;  // owned references, null until made
    std::vector<PyObject*> ints_;  // owned references, null until made
};

template <class Entries, class Id, class Value, class Text>
Result<void> SharedKeyDicts::append(const Entries& entries, Id&& key_id, Value&& value, Text&& key_text) {
    if (!keep_building()) return pending();
    const std::size_t n = std::size(entries);
    Ref dict = Ref::steal(new_dict(n));
    if (!dict) return pending();
    for (std::size_t j = 0; j < n; ++j) {
        // Keys sit all over the table and the heap: start loading ahead.
        constexpr std::size_t kAhead = 8;
        if (j + kAhead < n) __builtin_prefetch(&keys_[key_id(entries[j + kAhead])]);
        if (j + kAhead / 2 < n)
            if (PyObject* next = keys_[key_id(entries[j + kAhead / 2])]) __builtin_prefetch(next);
        const auto& e = entries[j];
        PyObject*& key = keys_[key_id(e)];
        if (!key) {
            const std::string_view text = key_text(e);
            if (!(key = to_python(text))) return pending();
        }
        const std::int32_t v = value(e);
        PyObject* item = v >= 0 && v < kSharedInts ? shared_int(v) : PyLong_FromLong(v);
        if (!item) return pending();
        const int set = PyDict_SetItem(dict.get(), key, item);
        if (!(v >= 0 && v < kSharedInts)) Py_DECREF(item);
        if (set < 0) return pending();
    }
    PyList_SET_ITEM(list_.get(), static_cast<Py_ssize_t>(next_++), dict.release());
    return {};
}

}  // namespace quarnel::binding
