// Pool tests. They run with whatever worker count the process-wide pool got
// (run the binary with RAYON_NUM_THREADS=1 and with several threads); the
// count rules themselves are tested through the pure functions.
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "check.hpp"
#include "pool/cpus.hpp"
#include "pool/pool.hpp"
#include "values.hpp"

using namespace quarnel;
using namespace quarnel::pool;

namespace {

using pool_test::Boom;
using pool_test::MoveOnly;

// A map offering only what try_map_into may use.
struct MinimalMap {
    using key_type = int;
    using mapped_type = std::string;
    void reserve(std::size_t n) { reserved = n; }
    void insert_or_assign(int&& k, std::string&& v) { entries[k] = std::move(v); }
    std::size_t reserved = 0;
    std::unordered_map<int, std::string> entries;
};

// Kills the process (SIGALRM) instead of letting a lost wake-up hang it.
struct Watchdog {
    explicit Watchdog(unsigned seconds) { alarm(seconds); }
    ~Watchdog() { alarm(0); }
};

std::size_t expected_sum(std::size_t n) { return n * (n - 1) / 2; }

}  // namespace

TEST(thread_count_rules) {
    using detail::parse_thread_count;
    CHECK_EQ(parse_thread_count("4"), std::optional<std::size_t>(4));
    CHECK_EQ(parse_thread_count("+4"), std::optional<std::size_t>(4));
    CHECK_EQ(parse_thread_count("007"), std::optional<std::size_t>(7));
    CHECK_EQ(parse_thread_count("0"), std::optional<std::size_t>(0));
    for (const char* bad : {"", "+", "++4", "abc", " 4", "4 ", "-1", "4a", "0x4", "1e3", "99999999999999999999999"})
        CHECK(!parse_thread_count(bad));

    const auto resolve = [](const char* rnt, const char* rrnc, std::size_t cpus) {
        const auto opt = [](const char* s) { return s ? std::optional<std::string_view>(s) : std::nullopt; };
        return detail::resolve_thread_count(opt(rnt), opt(rrnc), cpus);
    };
    CHECK_EQ(resolve("+4", "3", 8), 4u);
    CHECK_EQ(resolve("0", "3", 8), 8u);  // 0 means "all available", not "unset"
    CHECK_EQ(resolve("abc", "3", 8), 3u);
    CHECK_EQ(resolve(" 4", "3", 8), 3u);
    CHECK_EQ(resolve("4 ", nullptr, 8), 8u);
    CHECK_EQ(resolve("-1", nullptr, 8), 8u);
    CHECK_EQ(resolve(nullptr, "3", 8), 3u);
    CHECK_EQ(resolve(nullptr, "0", 8), 8u);
    CHECK_EQ(resolve(nullptr, "x", 8), 8u);
    CHECK_EQ(resolve(nullptr, nullptr, 8), 8u);
    CHECK_EQ(resolve(nullptr, nullptr, 0), 1u);  // unknown CPU count
    CHECK_EQ(resolve("0", nullptr, 0), 1u);

    // The live pool obeys the variable it was started with.
    const char* env = std::getenv("RAYON_NUM_THREADS");
    const auto configured = env ? parse_thread_count(env) : std::nullopt;
    if (configured && *configured > 0) CHECK_EQ(num_threads(), *configured);
    CHECK(num_threads() >= 1);
}

TEST(cgroup_quota_rules) {
    using detail::cgroup_v1_cpu_limit;
    using detail::cgroup_v2_cpu_limit;
    CHECK(!cgroup_v2_cpu_limit("max 100000\n"));
    CHECK_EQ(cgroup_v2_cpu_limit("200000 100000\n"), std::optional<std::size_t>(2));
    CHECK_EQ(cgroup_v2_cpu_limit("250000 100000"), std::optional<std::size_t>(2));  // floored
    CHECK_EQ(cgroup_v2_cpu_limit("50000 100000"), std::optional<std::size_t>(1));   // at least 1
    CHECK(!cgroup_v2_cpu_limit("100000 0"));
    CHECK(!cgroup_v2_cpu_limit("garbage"));
    CHECK(!cgroup_v1_cpu_limit("-1\n", "100000\n"));
    CHECK_EQ(cgroup_v1_cpu_limit("300000\n", "100000\n"), std::optional<std::size_t>(3));
    CHECK_EQ(cgroup_v1_cpu_limit("1000", "100000"), std::optional<std::size_t>(1));
    CHECK(detail::available_cpus() >= 1);
}

TEST(pool_start_failure_is_a_fault) {
    static std::atomic<int> calls;
    const auto expect_fault = [](detail::Spawner spawn, const char* detail) {
        calls = 0;
        try {
            (void)detail::create_registry(3, spawn);
            CHECK(false);
        } catch (const Fault& f) {
            const std::string msg = f.what();
            CHECK(msg.rfind("The global thread pool has not been initialized.", 0) == 0);
            CHECK(msg.find(detail) != std::string::npos);
        }
    };
    // No thread started at all.
    expect_fault([](void (*)(void*), void*) { throw std::system_error(EAGAIN, std::generic_category()); },
                 "thread 1 of 3");
    // Two threads started, then failure: they stay parked, harmlessly.
    expect_fault(
        [](void (*entry)(void*), void* arg) {
            if (++calls == 3) throw std::system_error(EAGAIN, std::generic_category());
            std::thread(entry, arg).detach();
        },
        "thread 3 of 3");
}

TEST(ordered_results_for_many_sizes) {
    for (std::size_t n : {0, 1, 2, 3, 7, 1000, 100000}) {
        const auto squares = map_ordered<std::size_t>(n, [](std::size_t i) { return i * i; });
        const auto tried = try_map_ordered<MoveOnly>(n, [](std::size_t i) -> Result<MoveOnly> { return MoveOnly(i); });
        CHECK_EQ(squares.size(), n);
        CHECK(tried.ok() && tried.value().size() == n);
        bool in_order = true;
        for (std::size_t i = 0; i < n && tried.ok(); ++i)
            in_order &= squares[i] == i * i && tried.value()[i].value == i;
        CHECK(in_order);
    }
}

TEST(join_runs_both_and_reports_migration) {
    // Both sides always run; a side is "migrated" exactly when it ran on
    // another thread than the caller; on a worker, `a` runs inline.
    const auto checked_join = [](bool on_worker) {
        const auto caller = std::this_thread::get_id();
        std::atomic<int> ran{0};
        bool migrated[2] = {};
        std::thread::id where[2];
        auto a = [&](bool m) { migrated[0] = m, where[0] = std::this_thread::get_id(), ++ran; };
        auto b = [&](bool m) { migrated[1] = m, where[1] = std::this_thread::get_id(), ++ran; };
        join_context(JobRef(a), JobRef(b));
        return ran == 2 && migrated[0] == (where[0] != caller) && migrated[1] == (where[1] != caller) &&
               (where[0] == caller) == on_worker;
    };
    const bool outside = checked_join(false);
    std::atomic<int> inside{0};
    join([&] { inside += checked_join(true); }, [&] { inside += checked_join(true); });
    const auto nested = map_ordered<int>(64, [&](std::size_t) { return checked_join(true) ? 1 : 0; });
    CHECK(outside);
    CHECK_EQ(inside.load(), 2);
    CHECK_EQ(std::count(nested.begin(), nested.end(), 1), 64);
}

TEST(stolen_job_wakes_its_sleeping_owner) {
    // With several workers, `a` holds on until `b` was stolen; `b` then takes
    // long enough for the owner to fall asleep, and only the thief can wake it.
    Watchdog dog(60);
    const bool can_steal = num_threads() > 1;
    for (int round = 0; round < 5; ++round) {
        std::atomic<bool> b_started{false};
        bool b_migrated = false;
        auto a = [&](bool) {
            while (can_steal && !b_started) std::this_thread::yield();
        };
        auto b = [&](bool m) {
            b_started = true;
            b_migrated = m;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        };
        (void)map_ordered<int>(1, [&](std::size_t) { return join_context(JobRef(a), JobRef(b)), 0; });
        CHECK_EQ(b_migrated, can_steal);
    }
}

TEST(single_item_batch_runs_where_it_started) {
    const auto caller = std::this_thread::get_id();
    const auto outside = map_ordered<std::thread::id>(1, [](std::size_t) { return std::this_thread::get_id(); });
    CHECK(outside[0] != caller);  // handed to the pool, not run by the blocked caller
    const auto inside = map_ordered<int>(16, [](std::size_t) {
        const auto me = std::this_thread::get_id();
        return map_ordered<std::thread::id>(1, [](std::size_t) { return std::this_thread::get_id(); })[0] == me;
    });
    CHECK_EQ(std::count(inside.begin(), inside.end(), 1), 16);
}

TEST(nesting_three_levels) {
    constexpr std::size_t n = 24;
    const auto outer = try_map_ordered<std::size_t>(n, [](std::size_t i) -> Result<std::size_t> {
        const auto middle = map_ordered<std::size_t>(n, [i](std::size_t j) {
            const auto inner = try_map_into<std::unordered_map<std::size_t, std::size_t>>(
                n, [i, j](std::size_t k) -> Result<std::pair<std::size_t, std::size_t>> {
                    return std::pair<std::size_t, std::size_t>{k, (i * n + j) * n + k};
                });
            std::size_t sum = 0;
            for (std::size_t k = 0; k < n; ++k) sum += inner.value().at(k);
            return sum;
        });
        bool ordered = true;
        std::size_t sum = 0;
        for (std::size_t j = 0; j < n; ++j) {
            ordered &= middle[j] == (i * n + j) * n * n + expected_sum(n);
            sum += middle[j];
        }
        if (!ordered) return value_error("inner results out of order");
        return sum;
    });
    CHECK(outer.ok());
    std::size_t total = 0;
    for (std::size_t v : outer.value()) total += v;
    CHECK_EQ(total, expected_sum(n * n * n));
}

TEST(first_error_only) {
    constexpr std::size_t n = 20000;
    // Every item fails: one error, and it is one an item produced.
    const auto all = try_map_ordered<int>(n, [](std::size_t i) -> Result<int> {
        return value_error("item " + std::to_string(i));
    });
    CHECK(!all.ok());
    CHECK(all.error().kind == ErrorKind::ValueError);
    const std::string& msg = all.error().message;
    CHECK(msg.rfind("item ", 0) == 0 && std::stoul(msg.substr(5)) < n);

    // A single failing item anywhere decides the outcome of every mode.
    for (std::size_t bad : {std::size_t{0}, n / 2 + 1, n - 1}) {
        const auto fail_at = [bad](std::size_t i) -> Result<std::pair<int, std::string>> {
            if (i == bad) return key_error("missing " + std::to_string(i));
            return std::pair<int, std::string>{static_cast<int>(i), "v"};
        };
        const auto ordered = try_map_ordered<std::pair<int, std::string>>(n, fail_at);
        const auto into = try_map_into<MinimalMap>(n, fail_at);
        CHECK(!ordered.ok() && ordered.error() == key_error("missing " + std::to_string(bad)));
        CHECK(!into.ok() && into.error() == key_error("missing " + std::to_string(bad)));
    }
}

TEST(stop_flag_stops_the_batch) {
    // Item 0 fails; every other item holds its thread until the stop flag is
    // up. So at most one item per thread completes besides item 0, whatever
    // the timing (the leftmost piece always runs on the starting thread).
    constexpr std::size_t n = 100000;
    detail::FailureSlot slot;
    std::atomic<std::size_t> completed{0};
    auto f = [&](std::size_t i) -> Result<int> {
        if (i == 0) return value_error("first");
        while (!slot.stopped()) std::this_thread::yield();
        ++completed;
        return 1;
    };
    detail::run_batch(n, [&](detail::Splitter sp) { (void)detail::try_collect<int>(0, n, sp, false, f, slot); });
    CHECK(slot.take() == std::optional<Error>(value_error("first")));
    CHECK(completed.load() <= num_threads());
}

TEST(faults_are_carried_back) {
    constexpr std::size_t n = 1000, bad = 500;
    for (int depth = 0; depth < 3; ++depth) {
        std::vector<std::atomic<bool>> ran(n);
        // The fault fires at `depth` levels of nesting below the batch.
        std::function<int(int)> dive = [&](int level) -> int {
            if (level == 0) throw Boom("boom");
            return map_ordered<int>(2, [&](std::size_t) { return dive(level - 1); })[0];
        };
        try {
            (void)map_ordered<int>(n, [&](std::size_t i) {
                ran[i] = true;
                return i == bad ? dive(depth) : 0;
            });
            CHECK(false);
        } catch (const Boom& e) {
            CHECK_EQ(std::string(e.what()), "boom");
        }
        // Only the rest of the faulting piece is skipped: everything before
        // the fault ran, and what did not run directly follows it.
        std::size_t first_skipped = n, last_skipped = 0, skipped = 0;
        for (std::size_t i = 0; i < n; ++i)
            if (!ran[i]) first_skipped = std::min(first_skipped, i), last_skipped = i, ++skipped;
        CHECK(skipped == 0 || (first_skipped == bad + 1 && last_skipped - first_skipped + 1 == skipped));
    }
    // Fallible maps carry faults back too; join reports a's when both fail.
    bool threw = false;
    try {
        (void)try_map_ordered<int>(100, [](std::size_t i) -> Result<int> {
            if (i == 3) fault("broken invariant");
            return 1;
        });
    } catch (const Fault&) {
        threw = true;
    }
    CHECK(threw);
    std::atomic<int> sides{0};
    try {
        join([&] { ++sides; throw Boom("a"); }, [&] { ++sides; throw Boom("b"); });
    } catch (const Boom& e) {
        CHECK_EQ(std::string(e.what()), "a");
    }
    CHECK_EQ(sides.load(), 2);
    // The pool still works.
    const auto after = map_ordered<std::size_t>(1000, [](std::size_t i) { return i; });
    CHECK_EQ(after[999], 999u);
}

TEST(duplicate_keys_later_index_wins) {
    const auto m = try_map_into<MinimalMap>(1000, [](std::size_t i) -> Result<std::pair<int, std::string>> {
        return std::pair<int, std::string>{static_cast<int>(i % 10), std::to_string(i)};
    });
    CHECK(m.ok() && m.value().entries.size() == 10 && m.value().reserved == 1000);
    for (int k = 0; k < 10 && m.ok(); ++k) CHECK_EQ(m.value().entries.at(k), std::to_string(990 + k));
}

TEST(concurrent_external_callers) {
    Watchdog dog(120);
    std::atomic<int> bad{0};
    std::vector<std::thread> callers;
    for (std::size_t t = 0; t < 8; ++t) {
        callers.emplace_back([t, &bad] {
            for (std::size_t round = 0; round < 60; ++round) {
                const std::size_t n = (t * 37 + round * 11) % 300;
                const auto v = map_ordered<std::size_t>(n, [&](std::size_t i) { return t * 1000000 + i; });
                const auto m = try_map_into<std::unordered_map<std::size_t, std::size_t>>(
                    n, [&](std::size_t i) -> Result<std::pair<std::size_t, std::size_t>> {
                        if (round % 7 == 3 && i == n / 2) return value_error(std::to_string(t));
                        return std::pair<std::size_t, std::size_t>{i, t + i};
                    });
                for (std::size_t i = 0; i < n; ++i) bad += v[i] != t * 1000000 + i;
                if (round % 7 == 3 && n > 0)
                    bad += m.ok() || m.error().message != std::to_string(t);
                else
                    bad += !m.ok() || m.value().size() != n || (n > 0 && m.value().at(n - 1) != t + n - 1);
            }
        });
    }
    for (auto& c : callers) c.join();
    CHECK_EQ(bad.load(), 0);
}

// A long batch from one thread must not keep a short call from another
// waiting for it: the short call is served between two items of the long
// batch, long before that batch is half done (were it served only once
// workers ran out of the long batch's pieces, three quarters or more of the
// long batch would come first; with one worker, all of it).
TEST(a_long_batch_does_not_starve_a_short_call) {
    Watchdog dog(300);
    constexpr std::size_t kLong = 20000;
    std::atomic<bool> long_started{false}, short_done{false};
    std::atomic<std::size_t> before{0};  // long items begun before the short call ended
    std::thread long_caller([&] {
        map_ordered<int>(kLong, [&](std::size_t) {
            long_started = true;
            if (!short_done.load()) {
                ++before;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            return 0;
        });
    });
    while (!long_started.load()) std::this_thread::yield();
    const auto v = map_ordered<std::size_t>(64, [](std::size_t i) { return i; });
    short_done = true;
    long_caller.join();
    CHECK_EQ(v[63], 63u);
    CHECK(before.load() < kLong / 2);
}

TEST(no_lost_wakeups) {
    Watchdog dog(120);
    // Pauses of varying length between batches make new batches arrive while
    // the workers are at every stage of falling asleep.
    std::size_t total = 0;
    for (int round = 0; round < 12000; ++round) {
        const std::size_t n = 1 + round % 4;
        for (std::size_t v : map_ordered<std::size_t>(n, [](std::size_t i) { return i; })) total += v;
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(round * 7 % 113);
        while (std::chrono::steady_clock::now() < until) {
        }
    }
    CHECK_EQ(total, 3000u * (0 + 1 + 3 + 6));
    // Tiny joins nested in tiny batches.
    const auto nested = map_ordered<int>(2000, [](std::size_t i) {
        int a = 0, b = 0;
        join([&] { a = static_cast<int>(i); }, [&] { b = 1; });
        return a + b;
    });
    CHECK_EQ(nested[1999], 2000);
}

// ThreadSanitizer cannot start threads in a child forked from a process
// that has threads (GCC announces it with a macro, clang with a feature).
#if defined(__SANITIZE_THREAD__)
#define QUARNEL_TEST_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QUARNEL_TEST_TSAN 1
#endif
#endif
#if !defined(QUARNEL_TEST_TSAN)
TEST(forked_child_gets_its_own_pool) {
    (void)num_threads();
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(30);  // a child queueing work for its parent's threads would hang
        const auto v = map_ordered<std::size_t>(1000, [](std::size_t i) { return i; });
        _exit(v[999] == 999 ? 0 : 1);
    }
    int status = 0;
    CHECK(pid > 0 && waitpid(pid, &status, 0) == pid);
    CHECK(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}
#endif

// Signals sent to the process are for the host's threads (Python runs its
// handlers on its main thread); a fault's own signals stay deliverable.
TEST(workers_leave_process_signals_to_the_host) {
    const auto masks = map_ordered<int>(64, [](std::size_t) {
        sigset_t blocked;
        pthread_sigmask(SIG_BLOCK, nullptr, &blocked);
        return sigismember(&blocked, SIGINT) + 2 * sigismember(&blocked, SIGTERM) + 4 * sigismember(&blocked, SIGSEGV);
    });
    CHECK(std::all_of(masks.begin(), masks.end(), [](int m) { return m == 3; }));
}
