// Interrupting calls: polls, the stop flag of a call and its nested batches.
// Items here wait for their call's stop flag instead of sleeping, so the
// counts below hold whatever the timing.
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "check.hpp"
#include "pool/pool.hpp"

using namespace quarnel;
using namespace quarnel::pool;

namespace {

struct Watchdog {
    explicit Watchdog(unsigned seconds) { alarm(seconds); }
    ~Watchdog() { alarm(0); }
};

bool call_stopped() {
    const std::atomic<bool>* stop = detail::call_stop();
    return stop && stop->load();
}

// Holds its thread until the call it belongs to is stopped.
void wait_for_stop() {
    while (!call_stopped()) std::this_thread::yield();
}

struct CountingPoll {
    std::atomic<int> asked{0};
    std::atomic<bool> answer{true};
    static bool ask(void* self) {
        auto* p = static_cast<CountingPoll*>(self);
        ++p->asked;
        return p->answer.load();
    }
};

template <class Body>
bool interrupted(Body&& body) {
    try {
        body();
    } catch (const Interrupted&) {
        return true;
    }
    return false;
}

}  // namespace

TEST(interrupt_stops_every_kind_of_map) {
    Watchdog dog(60);
    constexpr std::size_t n = 100000;
    for (int kind = 0; kind < 3; ++kind) {
        CountingPoll poll;
        PollScope scope(&CountingPoll::ask, &poll);
        std::atomic<std::size_t> done{0};
        const auto item = [&](std::size_t i) {
            wait_for_stop();
            ++done;
            return i;
        };
        const bool stopped = interrupted([&] {
            if (kind == 0) (void)map_ordered<std::size_t>(n, item);
            if (kind == 1)
                (void)try_map_ordered<std::size_t>(n, [&](std::size_t i) -> Result<std::size_t> { return item(i); });
            if (kind == 2)
                (void)try_map_into<std::unordered_map<std::size_t, std::size_t>>(
                    n, [&](std::size_t i) -> Result<std::pair<std::size_t, std::size_t>> {
                        return std::pair<std::size_t, std::size_t>{i, item(i)};
                    });
        });
        CHECK(stopped);
        CHECK_EQ(poll.asked.load(), 1);   // never asked again once it said stop
        CHECK(done.load() <= num_threads());  // only the items in progress finished
    }
    // The pool is intact, and a thread without a poll is never interrupted.
    const auto v = map_ordered<std::size_t>(1000, [](std::size_t i) { return i; });
    CHECK_EQ(v[999], 999u);
}

TEST(nested_batches_of_a_stopped_call_stop_too) {
    Watchdog dog(60);
    CountingPoll poll;
    PollScope scope(&CountingPoll::ask, &poll);
    std::atomic<std::size_t> inner_done{0}, innermost_done{0};
    const bool stopped = interrupted([&] {
        (void)try_map_ordered<int>(4, [&](std::size_t) -> Result<int> {
            const auto inner = map_ordered<int>(1000, [&](std::size_t j) {
                if (j % 2 == 0) {
                    (void)try_map_ordered<int>(1000, [&](std::size_t) -> Result<int> {
                        wait_for_stop();
                        ++innermost_done;
                        return 1;
                    });
                }
                wait_for_stop();
                checkpoint();  // an interruption point inside an item throws too
                ++inner_done;
                return 1;
            });
            return static_cast<int>(inner.size());
        });
    });
    CHECK(stopped);
    CHECK_EQ(inner_done.load(), 0u);
    CHECK(innermost_done.load() <= num_threads());
}

TEST(interrupting_one_call_leaves_the_others_whole) {
    // Another outside thread keeps running batches while calls of this one
    // are stopped: workers abandoning a stopped call's items run the other
    // call's jobs in between, and must not stop those.
    Watchdog dog(120);
    std::atomic<bool> finish{false};
    std::atomic<int> rounds{0}, bad{0};
    std::thread other([&] {
        while (!finish || rounds < 1) {
            const auto v = map_ordered<std::size_t>(2000, [](std::size_t i) {
                return map_ordered<std::size_t>(3, [i](std::size_t k) { return i + k; })[2];
            });
            for (std::size_t i = 0; i < v.size(); ++i) bad += v[i] != i + 2;
            ++rounds;
        }
    });
    int stopped = 0;
    for (int call = 0; call < 20; ++call) {
        CountingPoll poll;
        PollScope scope(&CountingPoll::ask, &poll);
        stopped += interrupted([&] {
            (void)map_ordered<int>(1000000, [&](std::size_t i) {
                // The call lasts until its poll stops it, however fast the
                // other items go (they can all end within one poll interval).
                if (i == 0) wait_for_stop();
                return map_ordered<int>(2, [](std::size_t k) { return static_cast<int>(k); })[1];
            });
        });
    }
    finish = true;
    other.join();
    CHECK_EQ(stopped, 20);
    CHECK_EQ(bad.load(), 0);
}

TEST(a_poll_that_says_stop_always_interrupts) {
    Watchdog dog(60);
    // The only item finishes after the stop: nothing is abandoned, yet the
    // call is interrupted (its caller has an exception waiting).
    {
        CountingPoll poll;
        PollScope scope(&CountingPoll::ask, &poll);
        CHECK(interrupted([&] { (void)map_ordered<int>(1, [](std::size_t) { return wait_for_stop(), 1; }); }));
    }
    // A fault is reported over the interrupt.
    {
        CountingPoll poll;
        PollScope scope(&CountingPoll::ask, &poll);
        bool faulted = false;
        try {
            (void)map_ordered<int>(1, [](std::size_t) -> int {
                wait_for_stop();
                throw std::runtime_error("boom");
            });
        } catch (const std::runtime_error&) {
            faulted = true;
        } catch (const Interrupted&) {
        }
        CHECK(faulted);
    }
}

TEST(checkpoints_on_the_calling_thread) {
    Watchdog dog(60);
    // Without a poll (or under a scope without one) a checkpoint never throws.
    for (int i = 0; i < 1000; ++i) checkpoint();
    CountingPoll outer;
    outer.answer = false;
    PollScope outer_scope(&CountingPoll::ask, &outer);
    {
        PollScope none(nullptr, nullptr);
        CHECK(current_poll() == nullptr);
        for (int i = 0; i < 1000; ++i) checkpoint();
    }
    CHECK(current_poll() == &outer_scope);
    // The poll is asked only when due, then every checkpoint throws without asking again.
    while (outer.asked.load() == 0) checkpoint();
    CHECK_EQ(outer.asked.load(), 1);
    outer.answer = true;
    int throws = 0;
    while (!interrupted([] { checkpoint(); })) {
    }
    for (int i = 0; i < 10; ++i) throws += interrupted([] { checkpoint(); });
    CHECK_EQ(throws, 10);
    CHECK_EQ(outer.asked.load(), 2);
}
