// How many workers the pool gets: the count rules of the two environment
// variables, and the CPUs available to the process.
//
// On Linux the CPUs available are those of the affinity mask, limited by the
// CPU quota of the process's cgroup (v1 or v2) and its ancestors. Elsewhere
// they are what std::thread::hardware_concurrency reports.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace quarnel::pool::detail {

// A decimal integer: an optional leading '+', then one or more digits and
// nothing else. Values that overflow size_t are not integers.
std::optional<std::size_t> parse_thread_count(std::string_view text);

// The worker count from the two environment variables (nullopt when unset)
// and the CPUs available to the process.
std::size_t resolve_thread_count(std::optional<std::string_view> rayon_num_threads,
                                 std::optional<std::string_view> rayon_rs_num_cpus,
                                 std::size_t available_cpus);

// CPU limit from a cgroup v2 `cpu.max` ("quota period" or "max period"), or
// from cgroup v1 `cpu.cfs_quota_us` / `cpu.cfs_period_us` (quota -1 = none).
// nullopt when there is no limit or the text is not understood.
std::optional<std::size_t> cgroup_v2_cpu_limit(std::string_view cpu_max);
std::optional<std::size_t> cgroup_v1_cpu_limit(std::string_view quota, std::string_view period);

// CPUs this process may use (see above); at least 1.
std::size_t available_cpus();

}  // namespace quarnel::pool::detail
