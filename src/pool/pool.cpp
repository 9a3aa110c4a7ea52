// The work-stealing scheduler behind pool.hpp (the process-wide pool's life
// and its threads' setup: lifecycle.cpp).
//
// Queues: one shared injector (FIFO) for jobs handed over by threads outside
// the pool, and one deque per worker: its owner pushes and pops at the back,
// other workers steal from the front. Queues are intrusive lists of Task
// headers that live in the callers' stack frames, under one mutex each, so
// scheduling never allocates.
//
// A worker looking for work tries its own deque, then takes from the
// injector, then steals from the other workers (starting at a random
// victim). When several searches find nothing it sleeps on its own
// condition variable.
//
// Fairness between calls: a job in the injector is the start of a call
// from another thread. Taken before stealing, and also between any two
// items of the piece a worker is running (between_items, pool_impl.hpp), it
// waits for an item, not for the batches running before it: a short call
// from one thread is served while a long batch from another goes on, and
// the two batches share the workers.
//
// Wake-ups: every push bumps a job counter and, if any worker has announced
// that it is going to sleep, wakes one sleeper. A worker reads the counter
// before its last search and, under the sleep mutex, refuses to sleep if the
// counter moved; all counter and sleeper-count accesses are sequentially
// consistent, so either the pusher sees the sleeper or the sleeper sees the
// push. A worker waiting in join_context for a stolen job is also woken by
// the thief when that job completes.
//
// Stopping: each job carries the stop flag of the call (the batch handed over
// by an outside thread) it belongs to, and whoever runs it works under that
// flag, so batches nested in its items see it too.
#include "pool/pool.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "core/fault.hpp"
#include "core/texts.hpp"
#include "pool/lifecycle.hpp"

namespace quarnel::pool::detail {

// ---------------------------------------------------------------------------
// Scheduler

namespace {

constexpr std::size_t kCacheLine = 64;
// Fruitless searches (with a yield in between) before a worker sleeps.
constexpr unsigned kSearchesBeforeSleep = 32;

// Header of a queued job; the job object embeds it and outlives its stay in
// any queue.
struct Task {
    void (*execute)(Task* self, bool migrated) noexcept = nullptr;
    Task* prev = nullptr;
    Task* next = nullptr;
};

// An intrusive double-ended queue under one mutex. `size_` allows an
// unlocked emptiness check so that idle searches rarely take locks.
class TaskQueue {
public:
    void push_back(Task* t) noexcept {
        std::lock_guard<std::mutex> lock(mu_);
        t->prev = tail_;
        t->next = nullptr;
        (tail_ ? tail_->next : head_) = t;
        tail_ = t;
        size_.store(size_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }

    Task* pop_back() noexcept {
        if (looks_empty()) return nullptr;
        std::lock_guard<std::mutex> lock(mu_);
        Task* t = tail_;
        if (t) unlink(t);
        return t;
    }

    Task* pop_front() noexcept {
        if (looks_empty()) return nullptr;
        std::lock_guard<std::mutex> lock(mu_);
        Task* t = head_;
        if (t) unlink(t);
        return t;
    }

    // Removes t if it is the last element; false if it is not (taken).
    bool remove_back(Task* t) noexcept {
        std::lock_guard<std::mutex> lock(mu_);
        if (tail_ != t) return false;
        unlink(t);
        return true;
    }

private:
    // The only read of size_ without mu_. It is a hint: size_ is written
    // only under mu_, and the list is read only under mu_, so a stale value
    // costs at most a lock taken for nothing (stale non-zero) or a search
    // that misses a job (stale zero). Missing is harmless: a deque's owner
    // reads its own writes, and every other reader is a worker's search,
    // which run_until repeats until the worker sleeps; each push is followed
    // by Sleep::new_jobs(), whose counter the worker reads (sequentially
    // consistent) before its last search and checks again under the sleep
    // mutex before sleeping. So either that last search sees the new size_
    // (release in push_back, acquire here) or the worker does not sleep.
    bool looks_empty() const noexcept { return size_.load(std::memory_order_acquire) == 0; }

    void unlink(Task* t) noexcept {
        (t->prev ? t->prev->next : head_) = t->next;
        (t->next ? t->next->prev : tail_) = t->prev;
        t->prev = t->next = nullptr;
        size_.store(size_.load(std::memory_order_relaxed) - 1, std::memory_order_release);
    }

    std::mutex mu_;
    Task* head_ = nullptr;
    Task* tail_ = nullptr;
    std::atomic<std::size_t> size_{0};
};

// Set once by the thread that ran a stolen job; probed by its owner.
class CoreLatch {
public:
    bool probe() const noexcept { return set_.load(std::memory_order_seq_cst); }
    void set() noexcept { set_.store(true, std::memory_order_seq_cst); }

private:
    std::atomic<bool> set_{false};
};

// Sleeping and waking of workers (see the file comment).
class Sleep {
public:
    explicit Sleep(std::size_t n) : slots_(std::make_unique<Slot[]>(n)) { idle_.reserve(n); }

    // Announces jobs just pushed to a queue.
    void new_jobs() noexcept {
        jobs_.fetch_add(1, std::memory_order_seq_cst);
        if (sleeping_.load(std::memory_order_seq_cst) > 0) wake_any();
    }

    std::uint64_t jobs_seen() const noexcept { return jobs_.load(std::memory_order_seq_cst); }

    // Blocks worker w until it is woken, unless jobs were announced since
    // `seen` or `latch` is set. True when woken to look for a new job.
    bool sleep(std::size_t w, std::uint64_t seen, const CoreLatch* latch) noexcept {
        sleeping_.fetch_add(1, std::memory_order_seq_cst);
        std::unique_lock<std::mutex> lock(mu_);
        if (jobs_.load(std::memory_order_seq_cst) != seen || (latch && latch->probe())) {
            sleeping_.fetch_sub(1, std::memory_order_seq_cst);
            return false;
        }
        Slot& slot = slots_[w];
        slot.asleep = true;
        slot.for_job = false;
        idle_.push_back(w);
        while (slot.asleep) slot.cv.wait(lock);
        return slot.for_job;
    }

    // Wakes one sleeper, if any, to look for jobs.
    void wake_any() noexcept {
        std::lock_guard<std::mutex> lock(mu_);
        if (idle_.empty()) return;
        const std::size_t w = idle_.back();
        idle_.pop_back();
        wake_locked(w, true);
    }

    // Passes on a wake-up for jobs that its receiver did not use.
    void relay() noexcept {
        if (sleeping_.load(std::memory_order_seq_cst) > 0) wake_any();
    }

    // Wakes worker w if it sleeps: a latch it waits for was set.
    void wake_worker(std::size_t w) noexcept {
        if (sleeping_.load(std::memory_order_seq_cst) == 0) return;
        std::lock_guard<std::mutex> lock(mu_);
        if (!slots_[w].asleep) return;
        idle_.erase(std::find(idle_.begin(), idle_.end(), w));
        wake_locked(w, false);
    }

private:
    struct Slot {
        std::condition_variable cv;
        bool asleep = false;
        bool for_job = false;
    };

    void wake_locked(std::size_t w, bool for_job) noexcept {
        Slot& slot = slots_[w];
        slot.asleep = false;
        slot.for_job = for_job;
        sleeping_.fetch_sub(1, std::memory_order_seq_cst);
        slot.cv.notify_one();
    }

    alignas(kCacheLine) std::atomic<std::uint64_t> jobs_{0};
    alignas(kCacheLine) std::atomic<std::size_t> sleeping_{0};
    alignas(kCacheLine) std::mutex mu_;
    std::unique_ptr<Slot[]> slots_;
    std::vector<std::size_t> idle_;  // sleeping workers, most recent last
};

struct alignas(kCacheLine) Worker {
    Registry* registry = nullptr;
    std::size_t index = 0;
    std::uint64_t rng = 0;
    TaskQueue deque;
};

}  // namespace

struct Registry {
    explicit Registry(std::size_t n) : size(n), workers(std::make_unique<Worker[]>(n)), sleep(n) {
        for (std::size_t i = 0; i < n; ++i) {
            workers[i].registry = this;
            workers[i].index = i;
            workers[i].rng = 0x9E3779B97F4A7C15ull * (i + 1);
        }
    }

    const std::size_t size;
    std::unique_ptr<Worker[]> workers;
    TaskQueue injector;
    Sleep sleep;
};

namespace {

thread_local Worker* t_worker = nullptr;
// The stop flag of the call whose job this thread runs (see call_stop).
thread_local const std::atomic<bool>* t_stop = nullptr;

// Sets the thread's stop flag for the length of one job.
class CallOf {
public:
    explicit CallOf(const std::atomic<bool>* stop) noexcept : previous_(std::exchange(t_stop, stop)) {}
    ~CallOf() { t_stop = previous_; }
    CallOf(const CallOf&) = delete;
    CallOf& operator=(const CallOf&) = delete;

private:
    const std::atomic<bool>* previous_;
};

// A job waiting in a worker's deque for its owner or a thief.
struct StackJob : Task {
    StackJob(JobRef f, Worker& owner) : fn(f), registry(owner.registry), owner(owner.index), stop(t_stop) {
        execute = &run;
    }

    static void run(Task* t, bool migrated) noexcept {
        auto* self = static_cast<StackJob*>(t);
        try {
            CallOf call(self->stop);
            self->fn(migrated);
        } catch (...) {
            self->error = std::current_exception();
        }
        Registry* const registry = self->registry;
        const std::size_t owner = self->owner;
        self->latch.set();  // from here on the owner may return and free *self
        registry->sleep.wake_worker(owner);
    }

    JobRef fn;
    Registry* registry;
    std::size_t owner;
    const std::atomic<bool>* stop;  // of the call that queued the job
    std::exception_ptr error;
    CoreLatch latch;
};

// A job handed to the pool by an outside thread, which waits for it (see
// await), right away or after doing other work meanwhile (Background).
struct InjectedJob : Task {
    InjectedJob(JobRef f, std::atomic<bool>& stop) : fn(f), stop(&stop) { execute = &run; }

    static void run(Task* t, bool migrated) noexcept {
        auto* self = static_cast<InjectedJob*>(t);
        try {
            CallOf call(self->stop);
            self->fn(migrated);
        } catch (...) {
            self->error = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(self->mu);
        self->done = true;
        self->cv.notify_all();
    }

    JobRef fn;
    std::atomic<bool>* stop;  // of the call the job belongs to; raised when its poll says stop
    std::exception_ptr error;
    std::mutex mu;
    std::condition_variable cv;
    bool done = false;
};

struct Found {
    Task* task;
    bool migrated;
};

// The injector's queue and the count of waiting calls change together.
void inject(Registry& r, Task* t) {
    g_waiting_calls.fetch_add(1, std::memory_order_relaxed);
    r.injector.push_back(t);
    r.sleep.new_jobs();
}

Task* take_injected(Registry& r) {
    Task* t = r.injector.pop_front();
    if (t) g_waiting_calls.fetch_sub(1, std::memory_order_relaxed);
    return t;
}

Found find_work(Worker& w) {
    if (Task* t = w.deque.pop_back()) return {t, false};
    Registry& r = *w.registry;
    if (Task* t = take_injected(r)) return {t, true};
    if (r.size > 1) {
        w.rng ^= w.rng << 13;
        w.rng ^= w.rng >> 7;
        w.rng ^= w.rng << 17;
        const std::size_t start = w.rng % r.size;
        for (std::size_t k = 0; k < r.size; ++k) {
            const std::size_t victim = (start + k) % r.size;
            if (victim == w.index) continue;
            if (Task* t = r.workers[victim].deque.pop_front()) return {t, true};
        }
    }
    return {nullptr, false};
}

// Runs pool jobs until `latch` is set (forever when null).
void run_until(Worker& w, const CoreLatch* latch) {
    Sleep& sleep = w.registry->sleep;
    unsigned fruitless = 0;
    bool woken_for_job = false;
    for (;;) {
        if (latch && latch->probe()) {
            if (woken_for_job) sleep.relay();
            return;
        }
        woken_for_job = false;
        Found found = find_work(w);
        if (!found.task && fruitless >= kSearchesBeforeSleep) {
            const std::uint64_t seen = sleep.jobs_seen();
            found = find_work(w);
            if (!found.task) {
                woken_for_job = sleep.sleep(w.index, seen, latch);
                fruitless = 0;
                continue;
            }
        }
        if (found.task) {
            fruitless = 0;
            found.task->execute(found.task, found.migrated);
        } else {
            ++fruitless;
            std::this_thread::yield();
        }
    }
}

void worker_main(void* arg) {
    Worker& w = *static_cast<Worker*>(arg);
    t_worker = &w;
    prepare_worker_thread(w.index);
    run_until(w, nullptr);
}

// `injected`: the join was handed over by a thread outside the pool, so
// both sides run away from their caller.
void join_on_worker(Worker& w, JobRef a, JobRef b, bool injected) {
    StackJob job_b(b, w);
    w.deque.push_back(&job_b);
    w.registry->sleep.new_jobs();

    std::exception_ptr error_a;
    try {
        a(injected);
    } catch (...) {
        error_a = std::current_exception();
    }

    std::exception_ptr error_b;
    if (w.deque.remove_back(&job_b)) {
        try {
            b(injected);
        } catch (...) {
            error_b = std::current_exception();
        }
    } else {
        // Stolen (or already run by this thread while `a` waited): help
        // with other jobs until it is done.
        run_until(w, &job_b.latch);
        error_b = job_b.error;
    }
    if (error_a) std::rethrow_exception(error_a);
    if (error_b) std::rethrow_exception(error_b);
}

// The outside thread waits for its job, asking its poll (if any) whenever
// due; once the poll said stop it raises the job's stop flag and waits for
// the job to end without asking again. Then rethrows the job's fault, or
// throws Interrupted if the poll said stop.
void await(InjectedJob& job) {
    PollScope* const poll = current_poll();
    bool interrupted = false;
    {
        std::unique_lock<std::mutex> lock(job.mu);
        while (!job.done) {
            if (!poll || interrupted) {
                job.cv.wait(lock);
                continue;
            }
            job.cv.wait_until(lock, poll->due());
            if (job.done) break;
            lock.unlock();  // the poll may take long: the job must be able to finish meanwhile
            interrupted = poll->stop_requested();
            if (interrupted) job.stop->store(true, std::memory_order_relaxed);
            lock.lock();
        }
    }
    if (job.error) std::rethrow_exception(job.error);
    if (interrupted) throw Interrupted{};
}

void run_injected(Registry& r, JobRef op) {
    std::atomic<bool> stop{false};
    InjectedJob job(op, stop);
    inject(r, &job);
    await(job);
}

}  // namespace

Registry* create_registry(std::size_t n, Spawner spawn) {
    std::unique_ptr<Registry> registry;
    std::size_t started = 0;
    try {
        registry = std::make_unique<Registry>(n);
        for (; started < n; ++started) spawn(&worker_main, &registry->workers[started]);
        return registry.release();
    } catch (...) {
        if (started > 0) (void)registry.release();  // its running threads keep using it
        std::string message = std::string(texts::kPoolNotStarted) + ": could not start worker thread " +
                              std::to_string(started + 1) + " of " + std::to_string(n);
        try {
            throw;
        } catch (const std::exception& e) {
            message += std::string(": ") + e.what();
        } catch (...) {
        }
        fault(message);
    }
}

const std::atomic<bool>* call_stop() noexcept { return t_stop; }

void serve_waiting_calls() {
    Worker* w = t_worker;
    if (!w) return;  // a caller's own thread: it serves only its own call
    // One job per item: calls that keep coming must not starve the piece.
    if (Task* t = take_injected(*w->registry)) t->execute(t, true);
}

struct Background::State : InjectedJob {
    using InjectedJob::InjectedJob;
};

Background::Background(JobRef op, std::atomic<bool>& stop) {
    if (t_worker) {
        op(false);  // a pool worker has nothing else to do meanwhile: it runs the job right away
        return;
    }
    Registry& r = the_registry();
    state_ = std::make_unique<State>(op, stop);
    inject(r, state_.get());
}

Background::~Background() {
    if (!state_) return;
    // Left without wait(): the caller is unwinding. Stop the job early.
    state_->stop->store(true, std::memory_order_relaxed);
    std::unique_lock<std::mutex> lock(state_->mu);
    state_->cv.wait(lock, [&] { return state_->done; });
}

bool Background::done() const {
    if (!state_) return true;
    std::lock_guard<std::mutex> lock(state_->mu);
    return state_->done;
}

void Background::wait() {
    if (!state_) return;
    const std::unique_ptr<State> job = std::move(state_);
    await(*job);  // returns or throws only once the job ended
}

void in_worker(JobRef op) {
    if (t_worker) {
        op(false);
        return;
    }
    run_injected(the_registry(), op);
}

}  // namespace quarnel::pool::detail

namespace quarnel::pool {

std::size_t num_threads() { return detail::the_registry().size; }

void join_context(JobRef a, JobRef b) {
    using namespace detail;
    if (Worker* w = t_worker) {
        join_on_worker(*w, a, b, false);
        return;
    }
    auto whole = [&](bool) { join_on_worker(*t_worker, a, b, true); };
    run_injected(the_registry(), JobRef(whole));
}

}  // namespace quarnel::pool
