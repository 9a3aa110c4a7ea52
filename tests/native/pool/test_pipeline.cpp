// pool::pipeline: items produced on the pool, consumed in order on the
// calling thread, with a bounded number in between.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "check.hpp"
#include "pool/pipeline.hpp"
#include "pool/pool.hpp"
#include "values.hpp"

using namespace quarnel;
using namespace quarnel::pool;

namespace {

using pool_test::Boom;
using pool_test::MoveOnly;

// Runs a pipeline of n items whose producer fails at `bad_produce` and
// whose consumer fails at `bad_consume` (none when >= n), checking order,
// thread and the bound on items in flight. Returns the items consumed.
std::size_t run(std::size_t n, std::size_t chunk, std::size_t bad_produce, std::size_t bad_consume,
                Result<void>& outcome) {
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<std::size_t> produced{0};
    std::atomic<std::size_t> consumed{0};
    std::atomic<std::size_t> highest{0};
    outcome = pipeline<MoveOnly>(
        n, chunk,
        [&](std::size_t i) -> Result<MoveOnly> {
            // Never further ahead of the consumer than two chunks.
            CHECK(i < consumed + 2 * chunk + 1);
            produced.fetch_add(1);
            std::size_t h = highest.load();
            while (h < i && !highest.compare_exchange_weak(h, i)) {}
            if (i == bad_produce) return key_error("item " + std::to_string(i));
            return MoveOnly(i * 3);
        },
        [&](std::size_t i, MoveOnly&& item) -> Result<void> {
            CHECK(std::this_thread::get_id() == caller);
            CHECK_EQ(i, consumed.load());
            CHECK_EQ(item.value, i * 3);
            ++consumed;
            if (i == bad_consume) return value_error("consumer " + std::to_string(i));
            return {};
        });
    // Nothing runs after the call returned, and a failure stopped the
    // producers soon after it.
    const std::size_t stop = std::min(bad_produce, bad_consume);
    if (stop < n) CHECK(highest.load() <= stop + 2 * chunk);
    else CHECK_EQ(produced.load(), n);
    return consumed.load();
}

struct Watchdog {
    explicit Watchdog(unsigned seconds) { alarm(seconds); }
    ~Watchdog() { alarm(0); }
};

struct Poll {
    std::atomic<bool> answer{false};
    static bool ask(void* self) { return static_cast<Poll*>(self)->answer.load(); }
};

}  // namespace

TEST(pipeline_consumes_every_item_in_order_on_the_calling_thread) {
    for (std::size_t chunk : {1, 3, 16})
        for (std::size_t n : {0, 1, 2, 3, 17, 100, 1000}) {
            Result<void> r;
            CHECK_EQ(run(n, chunk, n, n, r), n);
            CHECK(r.ok());
        }
}

TEST(pipeline_waits_for_the_pool_through_the_blocking_hook) {
    // Slow items: the caller waits for the items the workers make, at most
    // once per chunk.
    std::size_t blocked = 0, consumed = 0;
    bool inside = false;
    const Result<void> r = pipeline<std::size_t>(
        40, 8,
        [](std::size_t i) -> Result<std::size_t> {
            if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            return i;
        },
        [&](std::size_t i, std::size_t&& v) -> Result<void> {
            CHECK(!inside && v == i);
            ++consumed;
            return {};
        },
        [&](auto&& wait) {
            ++blocked;
            inside = true;
            wait();
            inside = false;
        });
    CHECK(r.ok() && consumed == 40);
    CHECK(blocked >= 1 && blocked <= 8);  // chunks of 1, 2, 4, 8, 8, 8, 8 and 1
}

TEST(pipeline_first_failure_stops_both_sides) {
    for (std::size_t chunk : {1, 4, 16})
        for (std::size_t bad : {0, 1, 37, 99}) {
            Result<void> r;
            // A producer failure: the items before it may be consumed, none after.
            CHECK(run(100, chunk, bad, 100, r) <= bad);
            CHECK(!r.ok() && r.error().kind == ErrorKind::KeyError && r.error().message == "item " + std::to_string(bad));
            CHECK_EQ(run(100, chunk, 100, bad, r), bad + 1);
            CHECK(!r.ok() && r.error().kind == ErrorKind::ValueError);
        }
}

TEST(pipeline_faults_are_carried_back) {
    for (std::size_t bad : {0, 5, 60}) {
        bool caught = false;
        try {
            (void)pipeline<int>(
                64, 8, [&](std::size_t i) -> Result<int> {
                    if (i == bad) throw Boom("produce");
                    return static_cast<int>(i);
                },
                [](std::size_t, int&&) -> Result<void> { return {}; });
        } catch (const Boom&) {
            caught = true;
        }
        CHECK(caught);
    }
    bool caught = false;
    try {
        (void)pipeline<int>(
            64, 8, [](std::size_t i) -> Result<int> { return static_cast<int>(i); },
            [](std::size_t i, int&&) -> Result<void> {
                if (i == 30) throw Boom("consume");
                return {};
            });
    } catch (const Boom&) {
        caught = true;
    }
    CHECK(caught);
    // The pool works as before.
    CHECK_EQ(map_ordered<int>(10, [](std::size_t i) { return static_cast<int>(i); }).back(), 9);
}

TEST(pipeline_inside_a_pool_item) {
    const auto sums = map_ordered<std::size_t>(6, [](std::size_t k) {
        std::size_t sum = 0;
        const Result<void> r = pipeline<std::size_t>(
            50 + k, 4, [](std::size_t i) -> Result<std::size_t> { return i; },
            [&](std::size_t, std::size_t&& v) -> Result<void> {
                sum += v;
                return {};
            });
        CHECK(r.ok());
        return sum;
    });
    for (std::size_t k = 0; k < 6; ++k) CHECK_EQ(sums[k], (49 + k) * (50 + k) / 2);
}

TEST(pipeline_stops_when_its_poll_says_so) {
    Watchdog dog(60);
    // While the caller waits for an item: items made on a worker hold it
    // until the call is stopped (the caller makes the items no worker has
    // claimed, until it meets one a worker holds).
    {
        Poll poll;
        poll.answer = true;
        PollScope scope(&Poll::ask, &poll);
        std::size_t consumed = 0;
        bool interrupted = false;
        try {
            (void)pipeline<int>(
                1000000, 8,
                [&](std::size_t i) -> Result<int> {
                    if (const std::atomic<bool>* stop = detail::call_stop())
                        while (!stop->load()) std::this_thread::yield();
                    return static_cast<int>(i);
                },
                [&](std::size_t, int&&) -> Result<void> {
                    ++consumed;
                    return {};
                });
        } catch (const Interrupted&) {
            interrupted = true;
        }
        CHECK(interrupted && consumed < 1000000);
    }
    // Between the items the caller consumes.
    {
        Poll poll;
        PollScope scope(&Poll::ask, &poll);
        std::size_t consumed = 0;
        bool interrupted = false;
        try {
            (void)pipeline<int>(
                100000, 8, [](std::size_t i) -> Result<int> { return static_cast<int>(i); },
                [&](std::size_t, int&&) -> Result<void> {
                    if (++consumed == 20) poll.answer = true;
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                    return {};
                });
        } catch (const Interrupted&) {
            interrupted = true;
        }
        CHECK(interrupted && consumed >= 20 && consumed < 100000);
    }
    CHECK_EQ(map_ordered<int>(10, [](std::size_t i) { return static_cast<int>(i); }).back(), 9);
}
