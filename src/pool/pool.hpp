// The process-wide work-stealing pool and the parallel maps built on it.
//
// Public surface (everything in `detail` is an implementation detail):
//
//   std::size_t quarnel::pool::num_threads();
//       Worker count N; creates the pool on first use.
//
//   void join_context(JobRef a, JobRef b);
//   void join(A&& a, B&& b);
//       Runs a and b, possibly in parallel; returns when both finished.
//       A fault (any C++ exception) in either is rethrown after both ended.
//
//   std::vector<T> map_ordered<T>(n, f);                 f: size_t -> T
//   Result<std::vector<T>> try_map_ordered<T>(n, f);     f: size_t -> Result<T>
//   Result<Map> try_map_into<Map>(n, f);                 f: size_t -> Result<pair<K,V>>
//       Parallel maps over the indices 0..n-1 in the three collection modes.
//       A failing item stops the batch early; the first recorded error is
//       returned and every result is dropped. try_map_into inserts the pairs
//       in index order, so a later duplicate key replaces an earlier one.
//
//   Result<void> pipeline<T>(n, chunk, produce, consume[, blocking]);
//       Items made on the pool, consumed in order on the calling thread
//       (pipeline.hpp).
//
// Every map and pipeline throws Interrupted (interrupt.hpp) when the call
// it belongs to was told to stop: the remaining items are abandoned,
// results dropped. A pipeline's calling thread asks its poll between items
// and while it waits for the pool.
//
// Batches may be started from any thread: a non-pool thread hands the batch
// to the pool's shared queue and blocks until it ends, asking its poll
// (interrupt.hpp), if it has one, while it waits; a worker runs it itself
// and, while waiting for stolen pieces, keeps running other jobs.
// Maps may be nested (an item may start another map) to any depth.
//
// The pool is created on first use and lives until the process exits. Its
// size is read once: RAYON_NUM_THREADS, else RAYON_RS_NUM_CPUS, else the CPUs
// available to the process (see cpus.hpp).
// If its threads cannot be started, every use raises an internal fault.
#pragma once

#include <cstddef>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/result.hpp"
#include "pool/interrupt.hpp"

namespace quarnel::pool {

// A non-owning reference to a callable `void(bool migrated)`. `migrated` is
// true when the job runs on a thread other than the one that created it.
// Copies refer to the same callable.
class JobRef {
public:
    template <class F>
        requires(!std::is_same_v<std::remove_cv_t<F>, JobRef>)
    explicit JobRef(F& f) noexcept
        : obj_(const_cast<void*>(static_cast<const void*>(std::addressof(f)))),
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

template <class T, class F>
std::vector<T> map_ordered(std::size_t n, F&& f);

template <class T, class F>
Result<std::vector<T>> try_map_ordered(std::size_t n, F&& f);

template <class Map, class F>
Result<Map> try_map_into(std::size_t n, F&& f);

}  // namespace quarnel::pool

#include "pool/pool_impl.hpp"
