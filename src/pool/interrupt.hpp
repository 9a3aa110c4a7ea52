// Interrupting long native calls.
//
// The thread that runs a call on behalf of its caller installs a poll for
// the length of the call (PollScope): a function asked, about every
// kPollInterval, whether the call is to stop. It is asked
//   - by the pool, while that thread waits for a batch it started;
//   - by checkpoint(), which loops running on that thread call between items.
// Once the poll says stop, the call's work ends by throwing Interrupted:
// the pool raises the stop flag of every batch the call started, nested
// batches included, so the workers abandon the remaining items; the batch
// ends as soon as the items in progress are done and throws Interrupted to
// the thread that started it. No result of the call survives, and the pool
// is ready for the next call.
//
// An interrupt is an expected outcome, yet it travels by unwinding: it has
// to leave items at any depth of nesting, through the infallible maps
// (whose items have no error path, so their results are plain vectors), on
// whichever worker runs them; the pool already carries unwinding out of
// items, through joins and steals, back to the batch's caller. Interrupted
// is not a std::exception, so no handler for faults takes it for one; the
// thread that installed the poll knows the outcome it stands for (for the
// binding: the exception its poll left pending) and turns it back into a
// value there.
#pragma once

#include <chrono>

namespace quarnel::pool {

// Thrown out of work that its poll stopped (see above).
struct Interrupted {};

inline constexpr std::chrono::milliseconds kPollInterval{50};

// Installs `poll` on this thread while it lives; a null `poll` leaves the
// thread without one (also shadowing an outer scope). `poll(context)`
// returns true to stop the call; it is not asked again after that.
class PollScope;

// This thread's innermost scope, or null when it has no poll.
PollScope* current_poll() noexcept;

class PollScope {
public:
    using Poll = bool (*)(void* context);
    using Clock = std::chrono::steady_clock;

    PollScope(Poll poll, void* context) noexcept;
    ~PollScope();
    PollScope(const PollScope&) = delete;
    PollScope& operator=(const PollScope&) = delete;

    // Whether the call is to stop: asks the poll if at least kPollInterval
    // passed since it was last asked (the first interval starts at the
    // first question); true without asking once it said stop.
    bool stop_requested();

    // When the poll is next due (starting the first interval if need be).
    Clock::time_point due();

private:
    friend PollScope* current_poll() noexcept;

    Poll poll_;
    void* context_;
    Clock::time_point next_{};  // epoch: no interval started yet
    bool stopped_ = false;
    PollScope* previous_;
};

// An interruption point, for long loops: throws Interrupted when the call
// is to stop. On a thread with a poll, asks it when due (cheap otherwise:
// a clock read); in an item of a batch, checks the batch's stop flag.
void checkpoint();

}  // namespace quarnel::pool
