// The process-wide work-stealing pool and the parallel maps built on it.
//
// Public surface (everything else is an implementation detail):
//
//   std::size_t quarnel::pool::num_threads();
//       Worker count N; creates the pool on first use.
//
//   void join(A&& a, B&& b);
//       Runs a() and b(), possibly in parallel; returns when both finished.
//       A fault (any C++ exception) in either is rethrown after both ended.
//
//   std::vector<T> map_ordered<T>(n, f);                 f: size_t -> T
//   Result<std::vector<T>> try_map_ordered<T>(n, f);     f: size_t -> Result<T>
//   Result<Map> try_map_into<Map>(n, f);                 f: size_t -> Result<pair<K,V>>
//       Parallel maps over the indices 0..n-1 in the three collection modes.
//
// Batches may be started from any thread: a non-pool thread hands the batch
// to the pool's shared queue and blocks until it ends; a worker runs it
// itself and, while waiting for stolen pieces, keeps running other tasks.
#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/result.hpp"

namespace quarnel::pool {

// A non-owning reference to a callable `void(bool migrated)`. `migrated` is
// true when the job runs on a thread other than the one that created it.
class JobRef {
public:
    template <class F>
    explicit JobRef(F& f) noexcept
        : obj_(static_cast<void*>(&f)),
          call_([](void* o, bool migrated) { (*static_cast<F*>(o))(migrated); }) {}
    void operator()(bool migrated) const { call_(obj_, migrated); }

private:
    void* obj_;
    void (*call_)(void*, bool);
};

// Worker count of the pool (creates the pool on first use).
std::size_t num_threads();

// Runs a(migrated) and b(migrated), possibly in parallel. Both always run to
// completion; a fault in either is rethrown afterwards (a's when both fault).
void join_context(JobRef a, JobRef b);

template <class A, class B>
void join(A&& a, B&& b) {
    auto ja = [&](bool) { a(); };
    auto jb = [&](bool) { b(); };
    join_context(JobRef(ja), JobRef(jb));
}

namespace detail {

// Adaptive splitting: a piece splits in halves while each half keeps at
// least one item and either it was stolen (budget becomes max(N, budget/2))
// or its budget is above 0 (the budget halves).
struct Splitter {
    std::size_t budget;

    bool try_split(bool migrated) {
        if (migrated) {
            budget = std::max(num_threads(), budget / 2);
            return true;
        }
        if (budget > 0) {
            budget /= 2;
            return true;
        }
        return false;
    }
};

// Calls leaf(begin, end) on consecutive pieces that together cover [begin, end).
template <class Leaf>
void split_range(std::size_t begin, std::size_t end, Splitter sp, bool migrated, Leaf& leaf) {
    std::size_t len = end - begin;
    if (len >= 2 && sp.try_split(migrated)) {
        std::size_t mid = begin + len / 2;
        auto left = [&](bool m) { split_range(begin, mid, sp, m, leaf); };
        auto right = [&](bool m) { split_range(mid, end, sp, m, leaf); };
        join_context(JobRef(left), JobRef(right));
    } else {
        leaf(begin, end);
    }
}

// Runs `leaf` over [0, n) split adaptively, as one batch on the pool.
template <class Leaf>
void run_batch(std::size_t n, Leaf& leaf);

// Per-batch failure slot (only ever try-locked) and stop flag.
struct FailureSlot {
    std::mutex mu;
    std::optional<Error> error;
    std::atomic<bool> stop{false};

    void record(Error e) {
        if (mu.try_lock()) {
            if (!error) error = std::move(e);
            mu.unlock();
        }
        stop.store(true, std::memory_order_release);
    }
    bool stopped() const { return stop.load(std::memory_order_acquire); }
};

// Result vector of a fallible piece, concatenated in index order by merge.
template <class T>
struct PieceResult {
    std::vector<T> items;
};

template <class T, class F>
void try_collect(std::size_t begin, std::size_t end, Splitter sp, bool migrated, F& f,
                 FailureSlot& slot, std::vector<T>& out);

}  // namespace detail

template <class T, class F>
std::vector<T> map_ordered(std::size_t n, F&& f);

template <class T, class F>
Result<std::vector<T>> try_map_ordered(std::size_t n, F&& f);

template <class Map, class F>
Result<Map> try_map_into(std::size_t n, F&& f);

}  // namespace quarnel::pool

#include "pool/pool_impl.hpp"
