// pool::pipeline: items made on the pool and consumed in order on the
// calling thread, as they come (the Converter's JSON dicts and the columnar
// token lists are built this way while the pool works on the next rows).
//
//   Result<void> pipeline<T>(n, chunk, produce, consume[, blocking]);
// produce: size_t -> Result<T>, on the pool; consume: (size_t, T&&) ->
// Result<void>, on the calling thread, in index order, each item as
// soon as it is there. The pool starts on the next chunk of items
// before the caller consumes the current one (chunks grow from 1 item
// to `chunk`), so at most two chunks exist at a time; the items of a
// chunk are claimed one at a time, and the caller first makes those
// of the current chunk that no worker has claimed yet, so it never
// waits for work the pool has not begun. The first failure of either
// side stops both and is returned; a fault on either side is
// rethrown once the pool's part ended. On a pool worker the chunks
// are made in turn with the consuming. When the caller has to wait
// for an item a worker is making, it yields for a moment, then waits
// through blocking(wait), which must call wait() (and may, say,
// release a lock around it).
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "core/result.hpp"
#include "pool/pool.hpp"

namespace quarnel::pool {

namespace detail {

// One chunk of a pipeline: items [begin, begin + size), claimed one at a
// time, through `next`, by the pool's job and by the calling thread alike;
// ready[i] is set once item i's making ended (its result is in items[i]
// unless the pipeline stopped).
template <class T>
struct PipelineChunk {
    std::size_t begin = 0;
    std::size_t size = 0;
    std::vector<std::optional<T>> items;
    std::unique_ptr<std::atomic<bool>[]> ready;
    std::atomic<std::size_t> next{0};
    std::function<void(bool)> run;  // the job's body
    std::optional<Background> job;  // ended (or stopped and waited for) before the above go
};

// Rounds of yielding a pipeline's calling thread spends waiting for an item
// a worker is making, before it waits for the worker's job to end.
inline constexpr unsigned kPipelineSpins = 256;

}  // namespace detail

template <class T, class Produce, class Consume, class Blocking>
Result<void> pipeline(std::size_t n, std::size_t chunk, Produce&& produce, Consume&& consume, Blocking&& blocking) {
    using Chunk = detail::PipelineChunk<T>;
    if (n == 0) return {};
    chunk = std::max<std::size_t>(chunk, 1);
    const std::size_t threads = num_threads();
    detail::FailureSlot slot;
    std::atomic<bool> stop{false};  // the call flag of the chunks' jobs
    // Makes the unclaimed items of a chunk, one at a time, until none is
    // left. An item made after the pipeline stopped stays empty.
    const auto claim = [&](Chunk& c) {
        for (std::size_t i; (i = c.next.fetch_add(1, std::memory_order_relaxed)) < c.size;) {
            if (!slot.stopped()) {
                detail::between_items(detail::call_stop());
                Result<T> r = produce(c.begin + i);
                if (r.ok()) c.items[i].emplace(std::move(r).value());
                else slot.record(std::move(r).error());
            }
            c.ready[i].store(true, std::memory_order_release);
        }
    };
    // Hands a chunk to the pool: one claiming loop per worker.
    const auto start = [&](Chunk& c, std::size_t begin, std::size_t size) {
        c.begin = begin;
        c.size = size;
        c.items.clear();
        c.items.resize(size);
        c.ready = std::make_unique<std::atomic<bool>[]>(size);
        c.next.store(0, std::memory_order_relaxed);
        c.run = [&c, &claim, threads](bool migrated) {
            auto leaf = [&](std::size_t, std::size_t) { claim(c); };
            detail::split_range(0, threads, detail::Splitter{threads, threads}, migrated, leaf);
        };
        c.job.emplace(JobRef(c.run), stop);
    };
    // Waits until item i of a chunk is made: a worker is on it, so briefly
    // by spinning; then, or once the job ended, through blocking(). An
    // item still not ready after the job ended was not made: the job's
    // fault is rethrown here, or the pipeline stopped.
    const auto await_item = [&](Chunk& c, std::size_t i) {
        for (unsigned spin = 0; !c.ready[i].load(std::memory_order_acquire); ++spin) {
            if (spin % 64 == 63 && c.job->done()) break;
            if (spin == detail::kPipelineSpins) {
                blocking([&] { c.job->wait(); });
                break;
            }
            std::this_thread::yield();
        }
        if (!c.ready[i].load(std::memory_order_acquire)) c.job->wait();
    };
    // Chunks alternate between two buffers: the pool starts on the next
    // chunk before the caller consumes the current one, and the caller
    // first makes what the pool has not claimed of the current chunk.
    // Chunks double from one item up to `chunk`.
    Chunk chunks[2];
    start(chunks[0], 0, 1);
    for (std::size_t k = 0;; ++k) {
        Chunk& current = chunks[k % 2];
        Chunk& next = chunks[(k + 1) % 2];
        const std::size_t next_begin = current.begin + current.size;
        const std::size_t next_size = std::min({2 * current.size, chunk, n - next_begin});
        if (next_size > 0) start(next, next_begin, next_size);
        claim(current);
        for (std::size_t i = 0; i < current.size && !slot.stopped(); ++i) {
            await_item(current, i);
            if (slot.stopped()) break;
            checkpoint();
            if (Result<void> r = consume(current.begin + i, std::move(*current.items[i])); !r.ok())
                slot.record(std::move(r).error());
            current.items[i].reset();
        }
        if (!current.job->done()) blocking([&] { current.job->wait(); });
        current.job->wait();
        if (slot.stopped() || next_size == 0) break;
    }
    // After a failure the next chunk's job may still be out (skipping its
    // items): it ends before the error is taken.
    for (Chunk& c : chunks)
        if (c.job && !c.job->done()) blocking([&] { c.job->wait(); });
    for (Chunk& c : chunks)
        if (c.job) c.job->wait();
    if (std::optional<Error> error = slot.take()) return std::move(*error);
    return {};
}

template <class T, class Produce, class Consume>
Result<void> pipeline(std::size_t n, std::size_t chunk, Produce&& produce, Consume&& consume) {
    return pipeline<T>(n, chunk, produce, consume, [](auto&& wait) { wait(); });
}

}  // namespace quarnel::pool
