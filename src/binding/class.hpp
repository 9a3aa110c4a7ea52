// Heap types wrapping native values one-to-one, and the trampolines that
// connect a class's entries (constructor, methods, call) to the boundary.
//
// A class file declares, for its native type N:
//   - one `Entry` per entry (names and defaults, for binding and for the
//     text signatures);
//   - a body per entry: `Result<N> make(const Args&)` for the constructor,
//     `Result<PyObject*> body(const N&, const Args&)` for a method or call;
//   - `template <> ClassDef& class_def<N>()`, returning
//     `define<N, kNew, make>(doc, {method<N, kEntry, body>(doc), ...}, call<N, kCall, body>)`.
// Everything else (binding, receiver and borrow, instances, deallocation,
// type creation, documentation, exceptions) lives here.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "binding/args.hpp"
#include "binding/boundary.hpp"
#include "binding/python.hpp"
#include "core/result.hpp"

namespace quarnel::binding {

using FastMethod = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

struct MethodDef {
    const Entry* entry;  // the name and the text signature: "tokenize($self, text)"
    const char* body;    // may be empty
    FastMethod function;
};

struct ClassDef {
    const Entry* constructor;  // the class name and the text signature: "(pattern=..., lowercase=True)"
    const char* body;
    std::size_t basicsize;
    newfunc construct;
    ternaryfunc call;  // null when instances are not callable
    destructor dealloc;
    std::vector<MethodDef> methods;

    const char* name() const noexcept { return constructor->cls; }

    // Filled once by type_object(); kept for the life of the process.
    std::atomic<PyTypeObject*> type = nullptr;
    std::string qualified_name{};  // the type keeps pointing at it
    std::vector<PyMethodDef> method_table{};
    std::vector<std::string> docs{};
};

// The class's type object, created on first need (null with an exception
// set if creation fails). Borrowed: the cache keeps it alive.
PyTypeObject* type_object(ClassDef& def);

// Each class file specialises this for its native type.
template <class Native>
ClassDef& class_def();

// Instance layout: object header, native value, shared-borrow counter.
// The native value is complete when the constructor returns and never
// changes afterwards: that is why calls on several threads at once (the
// pool's workers, and on free-threaded builds several Python threads) read
// it without any lock. Only the counter changes, atomically.
template <class Native>
struct Instance {
    PyObject_HEAD
    Native value;
    std::size_t borrows;

    std::atomic_ref<std::size_t> borrow_count() noexcept { return std::atomic_ref<std::size_t>(borrows); }
};
static_assert(std::atomic_ref<std::size_t>::required_alignment <= alignof(std::size_t) &&
              std::atomic_ref<std::size_t>::is_always_lock_free);

// A shared borrow of an instance's native value for the length of a call
// (calls on other threads may hold theirs at the same time).
template <class Native>
class Borrow {
public:
    static Result<Borrow> take(PyObject* self) {
        ClassDef& def = class_def<Native>();
        PyTypeObject* type = type_object(def);
        if (!type) return pending();
        if (!PyObject_TypeCheck(self, type)) return cannot_convert(self, def.name());
        return Borrow(reinterpret_cast<Instance<Native>*>(self));
    }
    Borrow(Borrow&& other) noexcept : inst_(std::exchange(other.inst_, nullptr)) {}
    Borrow(const Borrow&) = delete;
    Borrow& operator=(const Borrow&) = delete;
    Borrow& operator=(Borrow&&) = delete;
    ~Borrow() {
        if (inst_) inst_->borrow_count().fetch_sub(1, std::memory_order_relaxed);
    }
    const Native& get() const noexcept { return inst_->value; }

private:
    explicit Borrow(Instance<Native>* inst) noexcept : inst_(inst) {
        inst_->borrow_count().fetch_add(1, std::memory_order_relaxed);
    }
    Instance<Native>* inst_;
};

template <class Native>
using ConstructBody = Result<Native> (*)(const Args&);
template <class Native>
using MethodBody = Result<PyObject*> (*)(const Native&, const Args&);

// Moves a complete native value into a new instance of `type`.
template <class Native>
Result<PyObject*> instantiate(PyTypeObject* type, Native&& value) {
    allocfunc alloc = type->tp_alloc ? type->tp_alloc : PyType_GenericAlloc;
    PyObject* obj = alloc(type, 0);
    if (!obj) return pending();  // `value` is destroyed by its owner
    auto* inst = reinterpret_cast<Instance<Native>*>(obj);
    new (&inst->value) Native(std::move(value));
    inst->borrows = 0;
    return obj;
}

template <class Native>
void dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    try {
        std::destroy_at(&reinterpret_cast<Instance<Native>*>(self)->value);
    } catch (...) {
        PyErr_WriteUnraisable(self);
    }
    type->tp_free(self);
    Py_DECREF(type);
}

namespace detail {

// Faults (dropping the result) unless the body read every parameter.
inline void read_all_or_drop(const Args& a, PyObject* result) {
    try {
        a.check_all_read();
    } catch (...) {
        Py_DECREF(result);
        throw;
    }
}

template <class Native, const Entry& E, ConstructBody<Native> Body>
PyObject* construct_slot(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return boundary([&]() -> Result<PyObject*> {
        Args a(E);
        QUARNEL_TRY_VOID(a.bind_tuple(args, kwargs));
        QUARNEL_TRY(Native value, Body(a));
        a.check_all_read();
        return instantiate<Native>(type, std::move(value));
    });
}

template <class Native, const Entry& E, MethodBody<Native> Body>
PyObject* method_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return boundary([&]() -> Result<PyObject*> {
        Args a(E);
        QUARNEL_TRY_VOID(a.bind_vector(args, static_cast<std::size_t>(PyVectorcall_NARGS(nargsf)), kwnames));
        QUARNEL_TRY(Borrow<Native> self_ref, Borrow<Native>::take(self));
        Result<PyObject*> result = Body(self_ref.get(), a);
        if (result) read_all_or_drop(a, result.value());
        return result;
    });
}

template <class Native, const Entry& E, MethodBody<Native> Body>
PyObject* call_slot(PyObject* self, PyObject* args, PyObject* kwargs) {
    return boundary([&]() -> Result<PyObject*> {
        Args a(E);
        QUARNEL_TRY_VOID(a.bind_tuple(args, kwargs));
        QUARNEL_TRY(Borrow<Native> self_ref, Borrow<Native>::take(self));
        Result<PyObject*> result = Body(self_ref.get(), a);
        if (result) read_all_or_drop(a, result.value());
        return result;
    });
}

}  // namespace detail

// A method of the class: its entry, the body of its documentation, its body.
template <class Native, const Entry& E, MethodBody<Native> Body>
MethodDef method(const char* doc = "") {
    return MethodDef{&E, doc, &detail::method_entry<Native, E, Body>};
}

// The call slot: calling an instance runs Body with the arguments bound to E.
template <class Native, const Entry& E, MethodBody<Native> Body>
inline constexpr ternaryfunc call = &detail::call_slot<Native, E, Body>;

// The class: constructed by Make from arguments bound to New, which also
// names the class and gives its text signature.
template <class Native, const Entry& New, ConstructBody<Native> Make>
ClassDef define(const char* doc, std::vector<MethodDef> methods, ternaryfunc call_slot = nullptr) {
    return ClassDef{&New,
                    doc,
                    sizeof(Instance<Native>),
                    &detail::construct_slot<Native, New, Make>,
                    call_slot,
                    &dealloc<Native>,
                    std::move(methods)};
}

// Builds the result object, mapping a failed build to the pending exception.
inline Result<PyObject*> built(PyObject* result) {
    if (!result) return pending();
    return result;
}

}  // namespace quarnel::binding
