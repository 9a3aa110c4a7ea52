// Heap types wrapping native values one-to-one, and the trampolines that
// connect a class's entries (constructor, methods, call) to the boundary.
//
// A class file declares, for its native type N:
//   - one `Entry` per entry (names and defaults, for binding and for the
//     text signatures);
//   - a body per entry, reading its arguments by name from `Args<kEntry>`
//     (`args.get<bool, "lowercase">()`): `Result<N> make(const Args<kNew>&)`
//     for the constructor, `Result<PyObject*> body(const N&, const Args<kEntry>&)`
//     for a method or the call;
//   - `template <> ClassDef& class_def<N>()`, returning
//     `define<kNew, make>(doc, {method<kEntry, body>(doc), ...}, call<kCall, body>)`.
// Everything else (binding, receiver and borrow, instances, deallocation,
// type creation, documentation, exceptions) lives here.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "binding/args.hpp"
#include "binding/boundary.hpp"
#include "binding/python.hpp"
#include "core/result.hpp"
#include "core/texts.hpp"

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

// Atomic operations on a plain machine word that no constructor made (an
// instance's memory comes from tp_alloc), spelled as std::atomic_ref's. The
// compiler's builtins: the libc++ of Debian 12 has no std::atomic_ref.
class WordCounter {
public:
    explicit WordCounter(std::size_t& word) noexcept : word_(word) {}
    std::size_t fetch_add(std::size_t n, std::memory_order order) const noexcept {
        return order == std::memory_order_relaxed ? __atomic_fetch_add(&word_, n, __ATOMIC_RELAXED)
                                                  : __atomic_fetch_add(&word_, n, __ATOMIC_SEQ_CST);
    }
    std::size_t fetch_sub(std::size_t n, std::memory_order order) const noexcept {
        return order == std::memory_order_release ? __atomic_fetch_sub(&word_, n, __ATOMIC_RELEASE)
                                                  : __atomic_fetch_sub(&word_, n, __ATOMIC_SEQ_CST);
    }
    std::size_t load(std::memory_order order) const noexcept {
        return order == std::memory_order_acquire ? __atomic_load_n(&word_, __ATOMIC_ACQUIRE)
                                                  : __atomic_load_n(&word_, __ATOMIC_SEQ_CST);
    }

private:
    static_assert(__atomic_always_lock_free(sizeof(std::size_t), 0));
    std::size_t& word_;
};

// Instance layout: object header, native value, and a machine word counting
// the calls that are using the native value right now (Borrow below). The
// native value is complete when the constructor returns and never changes
// afterwards: that is why calls on several threads at once (the pool's
// workers, and on free-threaded builds several Python threads) read it
// without any lock. Only the counter changes, atomically; deallocation
// checks that it is back to zero.
template <class Native>
struct Instance {
    PyObject_HEAD
    Native value;
    std::size_t borrows;

    WordCounter borrow_count() noexcept { return WordCounter(borrows); }
};

// An instance's native value in use by one call, for the length of the call
// (calls on other threads may use it at the same time), counted in the
// instance.
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
        if (inst_) inst_->borrow_count().fetch_sub(1, std::memory_order_release);
    }
    const Native& get() const noexcept { return inst_->value; }

private:
    explicit Borrow(Instance<Native>* inst) noexcept : inst_(inst) {
        inst_->borrow_count().fetch_add(1, std::memory_order_relaxed);
    }
    Instance<Native>* inst_;
};

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
    auto* inst = reinterpret_cast<Instance<Native>*>(self);
    // A call holds a reference to its receiver for as long as it borrows
    // the value: an instance that dies borrowed was freed by a reference
    // count gone wrong, and going on would free memory still in use.
    if (inst->borrow_count().load(std::memory_order_acquire) != 0)
        Py_FatalError(texts::kDeallocatedInUse);
    try {
        std::destroy_at(&inst->value);
    } catch (...) {
        PyErr_WriteUnraisable(self);
    }
    type->tp_free(self);
    Py_DECREF(type);
}

// What an entry's body is, from its signature:
//   Result<N> (*)(const Args<E>&)                    a constructor of N;
//   Result<PyObject*> (*)(const N&, const Args<E>&)  a method of N (or the call);
//   Result<PyObject*> (*)(const Args<E>&)            a module function.
// E is the entry the body reads its arguments by; `Native` the receiver's
// type (void without one).
template <class F>
struct BodyTraits;
template <class R, const Entry& E>
struct BodyTraits<Result<R> (*)(const Args<E>&)> {
    static constexpr const Entry& entry = E;
    using Native = void;
    using Made = R;  // PyObject* for a function
};
template <class N, const Entry& E>
struct BodyTraits<Result<PyObject*> (*)(const N&, const Args<E>&)> {
    static constexpr const Entry& entry = E;
    using Native = N;
    using Made = PyObject*;
};

namespace detail {

// Faults (dropping the result) unless the body read every parameter.
inline void read_all_or_drop(const ArgSlots& a, PyObject* result) {
    try {
        a.check_all_read();
    } catch (...) {
        Py_DECREF(result);
        throw;
    }
}

// The one path of every entry: binds the arguments to Bound (through
// `bind`, by vector or by tuple), runs the body with its receiver borrowed
// (a method), or instantiates what it made (a constructor, `self` being the
// type), and checks that the body read every parameter.
template <const Entry& Bound, auto Body, class Bind>
Result<PyObject*> enter(PyObject* self, Bind&& bind) {
    using Traits = BodyTraits<decltype(Body)>;
    static_assert(Bound.same_params(Traits::entry), "an entry bound to a body written for other parameters");
    using Native = typename Traits::Native;
    using Made = typename Traits::Made;
    Args<Traits::entry> a(Bound);
    QUARNEL_TRY_VOID(bind(static_cast<ArgSlots&>(a)));
    Result<PyObject*> result = pending();
    if constexpr (!std::is_void_v<Native>) {
        QUARNEL_TRY(Borrow<Native> receiver, Borrow<Native>::take(self));
        result = Body(receiver.get(), a);
    } else if constexpr (std::is_same_v<Made, PyObject*>) {
        result = Body(a);
    } else {
        QUARNEL_TRY(Made value, Body(a));
        a.check_all_read();
        return instantiate<Made>(reinterpret_cast<PyTypeObject*>(self), std::move(value));
    }
    if (result) read_all_or_drop(a, result.value());
    return result;
}

// The entry called with the vectorcall convention (methods, functions).
template <const Entry& E, auto Body>
PyObject* vector_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return boundary([&] {
        return enter<E, Body>(self, [&](ArgSlots& a) {
            return a.bind_vector(args, static_cast<std::size_t>(PyVectorcall_NARGS(nargsf)), kwnames);
        });
    });
}

// The entry called with a tuple and a dict (the call slot; the constructor,
// `self` being the type).
template <const Entry& E, auto Body>
PyObject* tuple_entry(PyObject* self, PyObject* args, PyObject* kwargs) {
    return boundary([&] { return enter<E, Body>(self, [&](ArgSlots& a) { return a.bind_tuple(args, kwargs); }); });
}

template <const Entry& E, auto Body>
PyObject* construct_slot(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return tuple_entry<E, Body>(reinterpret_cast<PyObject*>(type), args, kwargs);
}

}  // namespace detail

// A method of the class: its entry, the body of its documentation, its body.
template <const Entry& E, auto Body>
MethodDef method(const char* doc = "") {
    return MethodDef{&E, doc, &detail::vector_entry<E, Body>};
}

// The call slot: calling an instance runs Body with the arguments bound to E.
template <const Entry& E, auto Body>
inline constexpr ternaryfunc call = &detail::tuple_entry<E, Body>;

// The class: constructed by Make from arguments bound to New, which also
// names the class and gives its text signature.
template <const Entry& New, auto Make>
ClassDef define(const char* doc, std::vector<MethodDef> methods, ternaryfunc call_slot = nullptr) {
    using Native = typename BodyTraits<decltype(Make)>::Made;
    return ClassDef{&New,
                    doc,
                    sizeof(Instance<Native>),
                    &detail::construct_slot<New, Make>,
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
