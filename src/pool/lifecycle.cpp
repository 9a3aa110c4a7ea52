// The process-wide pool's life: created on first use, with the worker count
// the environment or the machine gives, then kept until the process exits;
// a forked child starts a pool of its own. And what every worker thread
// does first: take its name and block the process's signals.
#include "pool/lifecycle.hpp"

#if defined(__unix__) || defined(__APPLE__)
#include <pthread.h>
#include <signal.h>
#define QUARNEL_POOL_PTHREADS 1
#endif

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "core/fault.hpp"
#include "pool/cpus.hpp"
#include "pool/pool.hpp"

namespace quarnel::pool::detail {

namespace {

// Names the calling thread "quarnel-<index>" where the system lets a
// thread name itself (names at most 15 bytes).
void name_this_thread(std::size_t index) {
    char name[16];
    std::snprintf(name, sizeof name, "quarnel-%zu", index % 1000000);
#if defined(__linux__)
    pthread_setname_np(pthread_self(), name);
#elif defined(__APPLE__)
    pthread_setname_np(name);
#else
    (void)name;
#endif
}

// Workers take no signals sent to the process (Ctrl-C, a kill): those then
// reach a thread of the host program (with Python, the main thread is woken
// from a blocking call to run the handler) instead of a worker, where the
// interpreter would only note them for later. The signals of a fault in the
// worker itself stay deliverable, for crash handlers and sanitizers.
void block_signals() {
#if defined(QUARNEL_POOL_PTHREADS)
    sigset_t set;
    sigfillset(&set);
    for (int own : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT, SIGSYS}) sigdelset(&set, own);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
#endif
}

void spawn_std_thread(void (*entry)(void*), void* arg) { std::thread(entry, arg).detach(); }

struct Global {
    std::mutex mu;
    std::atomic<Registry*> registry{nullptr};
    std::string failure;  // the fault message, once starting the pool failed
};

// Never destroyed, so nothing the workers use is torn down at exit.
Global& global() {
    static Global* const g = [] {
        auto* state = new Global;
#if defined(QUARNEL_POOL_PTHREADS)
        // A forked child has none of the parent's threads: it gets a pool of
        // its own on first use instead of queueing work nobody would run.
        // (Systems without fork need none of this.)
        pthread_atfork([] { global().mu.lock(); }, [] { global().mu.unlock(); },
                       [] {
                           Global& child = global();
                           child.registry.store(nullptr, std::memory_order_relaxed);
                           g_waiting_calls.store(0, std::memory_order_relaxed);  // the parent's queue stays there
                           child.failure.clear();
                           child.mu.unlock();
                       });
#endif
        return state;
    }();
    return *g;
}

std::optional<std::string_view> env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string_view>(value) : std::nullopt;
}

}  // namespace

Registry& the_registry() {
    Global& g = global();
    if (Registry* r = g.registry.load(std::memory_order_acquire)) return *r;
    std::unique_lock<std::mutex> lock(g.mu);
    if (Registry* r = g.registry.load(std::memory_order_relaxed)) return *r;
    if (!g.failure.empty()) {
        const std::string message = g.failure;
        lock.unlock();
        fault(message);
    }
    const std::size_t n =
        resolve_thread_count(env("RAYON_NUM_THREADS"), env("RAYON_RS_NUM_CPUS"), available_cpus());
    try {
        Registry* r = create_registry(n, &spawn_std_thread);
        g.registry.store(r, std::memory_order_release);
        return *r;
    } catch (const std::exception& e) {
        g.failure = e.what();
        throw;
    }
}

void prepare_worker_thread(std::size_t index) {
    block_signals();
    name_this_thread(index);
}

}  // namespace quarnel::pool::detail
