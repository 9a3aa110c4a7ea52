// The call boundary: every entry from the interpreter runs its body through
// `boundary`, which turns error descriptors into Python exceptions and
// internal faults (any C++ exception) into PanicException. `without_gil`
// releases the interpreter lock around native work, which the main thread's
// signal handlers may interrupt (pool/interrupt.hpp).
#pragma once

#include <exception>
#include <type_traits>
#include <utility>

#include "binding/python.hpp"
#include "core/result.hpp"
#include "pool/interrupt.hpp"

namespace quarnel::binding {

// The descriptor for "a C API call failed and left its exception set".
inline Error pending() { return Error{ErrorKind::Pending, {}}; }

// Sets the Python exception for `error` (interpreter lock held).
void raise(const Error& error);

// Sets PanicException (or MemoryError for std::bad_alloc) for the exception
// currently being handled; for pool::Interrupted, leaves the exception the
// signal handler raised. Aborts if that itself fails.
void raise_current_exception() noexcept;

// Faults unless this thread holds the interpreter lock: the conversions and
// result builders call it before touching any Python object.
void require_gil();

// Learns which thread is the interpreter's main thread, the one that runs
// signal handlers (module initialisation calls it), and tells whether this
// thread is that one (interpreter lock held).
Result<void> learn_main_thread();
bool on_main_thread() noexcept;

namespace detail {
class GilMark {
public:
    explicit GilMark(bool held) noexcept;
    ~GilMark();
    GilMark(const GilMark&) = delete;
    GilMark& operator=(const GilMark&) = delete;

private:
    bool previous_;
};

// The interpreter lock released for native work (see without_gil).
class Released {
public:
    Released() noexcept;
    ~Released();
    Released(const Released&) = delete;
    Released& operator=(const Released&) = delete;

private:
    static bool signalled(void* self) noexcept;

    bool main_thread_;
    PyThreadState* state_;
    GilMark mark_{false};
    pool::PollScope poll_;
};

// Signal polling for native work that keeps the lock (see keeping_gil).
class HeldPoll {
public:
    HeldPoll() noexcept;
    HeldPoll(const HeldPoll&) = delete;
    HeldPoll& operator=(const HeldPoll&) = delete;

private:
    static bool signalled(void* self) noexcept;

    pool::PollScope poll_;
};
}  // namespace detail

// Runs `body` (returning Result<PyObject*>, a new reference on success) and
// returns what the interpreter expects: the object, or NULL with an
// exception set.
template <class Body>
PyObject* boundary(Body&& body) noexcept {
    detail::GilMark mark(true);
    try {
        Result<PyObject*> r = body();
        if (r.ok()) return r.value();
        raise(r.error());
        return nullptr;
    } catch (...) {
        raise_current_exception();
        return nullptr;
    }
}

// Runs `f` with the interpreter lock released and takes it back afterwards,
// also when `f` ends by an exception (which then continues to the boundary).
// On the main thread, `f`'s batches and checkpoints (pool/interrupt.hpp)
// run the pending signal handlers about every pool::kPollInterval, taking
// the lock back for just that; when a handler raises (KeyboardInterrupt for
// Ctrl-C), `f` ends by pool::Interrupted and the call raises the handler's
// exception.
template <class F>
auto without_gil(F&& f) -> std::invoke_result_t<F&> {
    detail::Released released;
    return f();
}

// Runs `f`, native work that keeps the interpreter lock while the pool
// works for it (a pipeline whose calling thread builds the result). About
// every pool::kPollInterval, at its waits and checkpoints, it lets other
// threads take the lock for their turn and runs the pending signal handlers
// (on the main thread), as without_gil does; when a handler raises, `f`
// ends by pool::Interrupted and the call raises the handler's exception.
template <class F>
auto keeping_gil(F&& f) -> std::invoke_result_t<F&> {
    require_gil();
    detail::HeldPoll poll;
    return f();
}

}  // namespace quarnel::binding
