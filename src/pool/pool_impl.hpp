// Implementation details of pool.hpp: the splitting rule and the three
// collection modes, plus the hooks pool.cpp provides to them and to
// pipeline.hpp (and to tests).
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/fault.hpp"
#include "core/result.hpp"
#include "pool/interrupt.hpp"

namespace quarnel::pool::detail {

// ---- Pool start ----

struct Registry;

// Starts a detached thread running entry(arg); throws on failure.
using Spawner = void (*)(void (*entry)(void*), void* arg);

// Creates a pool of `n` workers, each started through `spawn`. When a thread
// cannot be started, raises an internal fault whose message begins with
// "The global thread pool has not been initialized." (threads already
// started stay parked on the abandoned pool).
Registry* create_registry(std::size_t n, Spawner spawn);

// ---- Running on the pool ----

// Calls op(false) right here when the caller is a pool worker; otherwise
// queues op as one job for the pool, blocks until it ran (op(true)) and
// rethrows its exception, if any. While blocked it asks the thread's poll;
// when that says stop, it raises the stop flag of op's call and, once op
// ended, throws Interrupted (unless op ended by a fault, which wins).
void in_worker(JobRef op);

// A job handed to the pool without waiting for it, for a caller that has
// work of its own meanwhile: queued by the constructor as a job of the call
// whose stop flag is `stop` (on a pool worker, run right there instead).
// wait() waits as in_worker does (asking the thread's poll, throwing
// Interrupted) and rethrows the job's fault. Left without wait(), the
// destructor raises the stop flag and waits for the job to end.
class Background {
public:
    Background(JobRef op, std::atomic<bool>& stop);
    ~Background();
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;
    void wait();
    // Whether wait() would return at once (no job, or the job ended).
    bool done() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};

// The stop flag of the call the work on this thread belongs to: every job
// carries the flag of the call whose batch queued it. Null outside jobs.
const std::atomic<bool>* call_stop() noexcept;

inline void throw_if_stopped(const std::atomic<bool>* stop) {
    if (stop && stop->load(std::memory_order_relaxed)) throw Interrupted{};
}

// Jobs of calls from threads outside the pool that wait in its shared queue
// for a worker (a hint: changed with the queue, read without its lock).
inline std::atomic<std::size_t> g_waiting_calls{0};

// On a pool worker: runs the jobs waiting in the shared queue, if any.
void serve_waiting_calls();

// Between two items of a piece: stops when the call is told to, and lets a
// call from another thread in. A worker deep in a long batch thus takes up
// a short call's job after the item it is on, instead of after the batch,
// and goes on with its piece once that job ended (so concurrent calls share
// the workers instead of waiting for each other's batches).
inline void between_items(const std::atomic<bool>* stop) {
    throw_if_stopped(stop);
    if (g_waiting_calls.load(std::memory_order_relaxed) != 0) serve_waiting_calls();
}

// Adaptive splitting: a piece splits in halves while each half keeps at
// least one item and either it was stolen (budget becomes max(N, budget/2))
// or its budget is above 0 (the budget halves).
struct Splitter {
    std::size_t budget;
    std::size_t threads;

    bool try_split(std::size_t len, bool migrated) noexcept {
        if (len < 2) return false;
        if (migrated) {
            budget = std::max(threads, budget / 2);
            return true;
        }
        if (budget > 0) {
            budget /= 2;
            return true;
        }
        return false;
    }
};

// Runs body(top_splitter) as one batch on the pool. The pool is created
// first, even for an empty batch.
template <class Body>
void run_batch(std::size_t n, Body&& body) {
    const std::size_t threads = num_threads();
    if (n == 0) return;
    auto op = [&](bool) { body(Splitter{threads, threads}); };
    in_worker(JobRef(op));
}

// Calls leaf(begin, end) on consecutive pieces that together cover [begin, end).
template <class Leaf>
void split_range(std::size_t begin, std::size_t end, Splitter sp, bool migrated, Leaf& leaf) {
    if (sp.try_split(end - begin, migrated)) {
        const std::size_t mid = begin + (end - begin) / 2;
        auto left = [&](bool m) { split_range(begin, mid, sp, m, leaf); };
        auto right = [&](bool m) { split_range(mid, end, sp, m, leaf); };
        join_context(JobRef(left), JobRef(right));
    } else {
        leaf(begin, end);
    }
}

// Per-batch failure slot and stop flag. The mutex is only ever try-locked:
// a failing item never waits, and of concurrent failures one is kept.
class FailureSlot {
public:
    void record(Error e) {
        if (mu_.try_lock()) {
            if (!error_) error_ = std::move(e);
            mu_.unlock();
        }
        stop_.store(true, std::memory_order_release);
    }

    bool stopped() const noexcept { return stop_.load(std::memory_order_acquire); }

    // After the batch: the recorded error, if an item failed.
    std::optional<Error> take() {
        if (error_) return std::move(error_);
        // try_lock may in principle fail spuriously; never pass a stopped
        // batch off as a complete one.
        if (stopped()) fault("parallel map stopped without recording its error");
        return std::nullopt;
    }

private:
    std::mutex mu_;
    std::optional<Error> error_;
    std::atomic<bool> stop_{false};
};

// One unsplit piece of a fallible map: items in index order until the
// first one during which the stop flag is seen (its result is dropped).
template <class T, class F>
std::vector<T> collect_piece(std::size_t begin, std::size_t end, F& f, FailureSlot& slot) {
    std::vector<T> out;
    if (slot.stopped()) return out;
    out.reserve(end - begin);
    const std::atomic<bool>* stop = call_stop();
    for (std::size_t i = begin; i < end; ++i) {
        between_items(stop);
        auto r = f(i);
        if (!r.ok()) slot.record(std::move(r).error());
        if (slot.stopped()) break;
        out.emplace_back(std::move(r).value());
    }
    return out;
}

// The fallible map over [begin, end): per-piece vectors, concatenated in
// index order as the halves join.
template <class T, class F>
std::vector<T> try_collect(std::size_t begin, std::size_t end, Splitter sp, bool migrated, F& f,
                           FailureSlot& slot) {
    if (slot.stopped()) return {};
    if (!sp.try_split(end - begin, migrated)) return collect_piece<T>(begin, end, f, slot);
    const std::size_t mid = begin + (end - begin) / 2;
    std::vector<T> left;
    std::vector<T> right;
    auto jl = [&](bool m) { left = try_collect<T>(begin, mid, sp, m, f, slot); };
    auto jr = [&](bool m) { right = try_collect<T>(mid, end, sp, m, f, slot); };
    join_context(JobRef(jl), JobRef(jr));
    if (slot.stopped()) return {};  // the batch fails; results are dropped anyway
    left.insert(left.end(), std::make_move_iterator(right.begin()), std::make_move_iterator(right.end()));
    return left;
}

}  // namespace quarnel::pool::detail

namespace quarnel::pool {

template <class T, class F>
std::vector<T> map_ordered(std::size_t n, F&& f) {
    std::vector<std::optional<T>> slots(n);
    auto leaf = [&](std::size_t begin, std::size_t end) {
        const std::atomic<bool>* stop = detail::call_stop();
        for (std::size_t i = begin; i < end; ++i) {
            detail::between_items(stop);
            slots[i].emplace(f(i));
        }
    };
    detail::run_batch(n, [&](detail::Splitter sp) { detail::split_range(0, n, sp, false, leaf); });
    std::vector<T> out;
    out.reserve(n);
    for (std::optional<T>& slot : slots) out.push_back(std::move(*slot));
    return out;
}

template <class T, class F>
Result<std::vector<T>> try_map_ordered(std::size_t n, F&& f) {
    detail::FailureSlot slot;
    std::vector<T> out;
    detail::run_batch(n, [&](detail::Splitter sp) { out = detail::try_collect<T>(0, n, sp, false, f, slot); });
    if (std::optional<Error> error = slot.take()) return std::move(*error);
    return Result<std::vector<T>>(std::move(out));
}

template <class Map, class F>
Result<Map> try_map_into(std::size_t n, F&& f) {
    using Item = typename std::invoke_result_t<F&, std::size_t>::value_type;
    Result<std::vector<Item>> pairs = try_map_ordered<Item>(n, f);
    if (!pairs.ok()) return std::move(pairs).error();
    Map map;
    map.reserve(n);
    for (Item& kv : pairs.value()) map.insert_or_assign(std::move(kv.first), std::move(kv.second));
    return Result<Map>(std::move(map));
}

}  // namespace quarnel::pool
