#include "pool/interrupt.hpp"

#include "pool/pool.hpp"

namespace quarnel::pool {

namespace {

thread_local PollScope* t_poll = nullptr;

}  // namespace

PollScope::PollScope(Poll poll, void* context) noexcept : poll_(poll), context_(context), previous_(t_poll) {
    t_poll = this;
}

PollScope::~PollScope() { t_poll = previous_; }

PollScope::Clock::time_point PollScope::due() {
    if (next_ == Clock::time_point{}) next_ = Clock::now() + kPollInterval;
    return next_;
}

bool PollScope::stop_requested() {
    if (stopped_) return true;
    const Clock::time_point now = Clock::now();
    if (next_ == Clock::time_point{}) {
        next_ = now + kPollInterval;
        return false;
    }
    if (now < next_) return false;
    stopped_ = poll_(context_);
    next_ = Clock::now() + kPollInterval;  // the poll may take a while
    return stopped_;
}

PollScope* current_poll() noexcept {
    PollScope* p = t_poll;
    return p && p->poll_ ? p : nullptr;
}

void checkpoint() {
    detail::throw_if_stopped(detail::call_stop());
    if (PollScope* p = current_poll(); p && p->stop_requested()) throw Interrupted{};
}

}  // namespace quarnel::pool
