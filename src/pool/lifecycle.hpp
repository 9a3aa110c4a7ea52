// The process-wide pool and the setup of its threads (lifecycle.cpp), for
// the scheduler (pool.cpp).
#pragma once

#include <cstddef>

namespace quarnel::pool::detail {

struct Registry;

// The process's pool, created on first use. When its threads cannot be
// started, that use and every later one raise an internal fault.
Registry& the_registry();

// What a worker thread does first: blocks the process's signals (they reach
// a thread of the host program instead) and names itself "quarnel-<index>".
void prepare_worker_thread(std::size_t index);

}  // namespace quarnel::pool::detail
