#include "binding/boundary.hpp"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "core/fault.hpp"
#include "core/texts.hpp"

#if PY_VERSION_HEX >= 0x030D0000
#include <pthread.h>
#endif

namespace quarnel::binding {

namespace {

thread_local bool t_gil_held = false;

PyObject* exception_type(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::TypeError: return PyExc_TypeError;
        case ErrorKind::ValueError: return PyExc_ValueError;
        case ErrorKind::KeyError: return PyExc_KeyError;
        case ErrorKind::OverflowError: return PyExc_OverflowError;
        case ErrorKind::ImportError: return PyExc_ImportError;
        case ErrorKind::MemoryError: return PyExc_MemoryError;
        case ErrorKind::Pending: break;
    }
    return PyExc_SystemError;
}

// Created on the first fault and kept for the life of the process. Two
// threads faulting at once on a free-threaded build may both create one:
// the first published is kept, the other dropped before anyone sees it.
PyObject* panic_exception_type() {
    static std::atomic<PyObject*> type{nullptr};
    if (PyObject* made = type.load(std::memory_order_acquire)) return made;
    PyObject* made = PyErr_NewExceptionWithDoc(texts::kPanicName, texts::kPanicDoc,
                                               PyExc_BaseException, nullptr);
    if (!made) return nullptr;
    PyObject* expected = nullptr;
    if (type.compare_exchange_strong(expected, made, std::memory_order_acq_rel)) return made;
    Py_DECREF(made);
    return expected;
}

[[noreturn]] void abort_at_boundary() {
    std::fputs(texts::kPanicAbort, stderr);
    std::fflush(stderr);
    std::abort();
}

void raise_panic(const std::string& message) {
    PyObject* type = panic_exception_type();
    if (!type) return;  // the interpreter's exception from creating the type stays set
    PyObject* text = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
    if (!text) return;
    PyErr_SetObject(type, text);
    Py_DECREF(text);
}

}  // namespace

void require_gil() {
    if (!t_gil_held) fault("a Python object was about to be touched without the interpreter lock");
}

detail::GilMark::GilMark(bool held) noexcept : previous_(t_gil_held) { t_gil_held = held; }
detail::GilMark::~GilMark() { t_gil_held = previous_; }

#if PY_VERSION_HEX >= 0x030D0000
namespace {
// The identifier of the thread that runs signal handlers, the interpreter's
// main thread: learnt when the module is initialised, and in a forked child
// the thread that forked (the interpreter makes it the child's main thread).
std::atomic<unsigned long> g_main_thread{0};
}  // namespace
#endif

Result<void> learn_main_thread() {
#if PY_VERSION_HEX >= 0x030D0000
    Ref threading = Ref::steal(PyImport_ImportModule("threading"));
    if (!threading) return pending();
    Ref main = Ref::steal(PyObject_CallMethod(threading.get(), "main_thread", nullptr));
    if (!main) return pending();
    Ref ident = Ref::steal(PyObject_GetAttrString(main.get(), "ident"));
    if (!ident) return pending();
    const unsigned long id = PyLong_AsUnsignedLong(ident.get());
    if (PyErr_Occurred()) return pending();
    g_main_thread.store(id, std::memory_order_relaxed);
    static const int once = pthread_atfork(nullptr, nullptr, [] {
        g_main_thread.store(PyThread_get_thread_ident(), std::memory_order_relaxed);
    });
    (void)once;
#endif
    return {};
}

// Only the main thread of the main interpreter runs signal handlers, so
// only there is polling worth taking the lock for. Needs the lock held.
bool on_main_thread() noexcept {
#if PY_VERSION_HEX >= 0x030D0000
    // Public API from 3.13 on (_PyOS_IsMainThread became internal).
    return PyThread_get_thread_ident() == g_main_thread.load(std::memory_order_relaxed) &&
           PyInterpreterState_Get() == PyInterpreterState_Main();
#else
    return _PyOS_IsMainThread() != 0;
#endif
}

detail::Released::Released() noexcept
    : main_thread_(on_main_thread()),
      state_(PyEval_SaveThread()),
      poll_(main_thread_ ? &Released::signalled : nullptr, this) {}

detail::Released::~Released() {
    // The marks are restored after this body: take the lock back first.
    PyEval_RestoreThread(state_);
}

bool detail::Released::signalled(void* self) noexcept {
    auto* released = static_cast<Released*>(self);
    PyEval_RestoreThread(released->state_);
    bool raised;
    {
        GilMark mark(true);
        raised = PyErr_CheckSignals() != 0;  // the exception stays pending until the boundary
    }
    released->state_ = PyEval_SaveThread();
    return raised;
}

detail::HeldPoll::HeldPoll() noexcept : poll_(&HeldPoll::signalled, this) {}

bool detail::HeldPoll::signalled(void*) noexcept {
    // With an exception pending (the work failed, say on a handler's
    // exception raised from the work itself) no handler may run: stop.
    if (PyErr_Occurred()) return true;
    // Other threads waiting for the lock take their turn (a thread about to
    // send a signal, say), as they would between bytecodes.
    PyThreadState* state = PyEval_SaveThread();
    PyEval_RestoreThread(state);
    return PyErr_CheckSignals() != 0;  // the exception stays pending until the boundary
}

void raise(const Error& error) {
    if (error.kind == ErrorKind::Pending) {
        if (!PyErr_Occurred())
            PyErr_SetString(PyExc_SystemError, texts::kNoPendingException);
        return;
    }
    PyObject* text = PyUnicode_DecodeUTF8(error.message.data(),
                                          static_cast<Py_ssize_t>(error.message.size()), "replace");
    if (!text) return;
    PyErr_SetObject(exception_type(error.kind), text);
    Py_DECREF(text);
}

void raise_current_exception() noexcept {
    try {
        try {
            throw;
        } catch (const pool::Interrupted&) {
            // Not a fault: the signal handler's exception is set already.
            if (!PyErr_Occurred())
                PyErr_SetString(PyExc_SystemError, texts::kInterruptedWithoutException);
        } catch (const std::bad_alloc&) {
            PyErr_NoMemory();
        } catch (const Fault& f) {
            // fault() already wrote the message to stderr.
            raise_panic(*f.what() ? f.what() : texts::kPanicNoMessage);
        } catch (const std::exception& e) {
            std::fprintf(stderr, texts::kInternalFault, e.what());
            raise_panic(*e.what() ? e.what() : texts::kPanicNoMessage);
        } catch (...) {
            std::fprintf(stderr, texts::kInternalFault, texts::kPanicNoMessage);
            raise_panic(texts::kPanicNoMessage);
        }
    } catch (...) {
        abort_at_boundary();
    }
}

}  // namespace quarnel::binding
