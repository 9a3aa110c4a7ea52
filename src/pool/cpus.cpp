// The worker count rules and CPU discovery behind cpus.hpp. Only Linux has
// the affinity mask and cgroups read here; other systems take the standard
// library's processor count.
#include "pool/cpus.hpp"

#include <algorithm>
#include <limits>
#include <string>

#if defined(__linux__)
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#else
#include <thread>
#endif

namespace quarnel::pool::detail {

namespace {

// One or more decimal digits and nothing else; nullopt on overflow.
std::optional<std::size_t> parse_digits(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::size_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const auto digit = static_cast<std::size_t>(c - '0');
        if (value > (std::numeric_limits<std::size_t>::max() - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::string_view trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

std::optional<std::size_t> quota_limit(std::size_t quota, std::size_t period) {
    if (period == 0) return std::nullopt;
    return std::max<std::size_t>(quota / period, 1);
}

#if defined(__linux__)

std::optional<std::string> read_file(const std::string& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return std::move(text).str();
}

std::size_t affinity_cpus() {
    // The mask can be larger than cpu_set_t on big machines: grow until it fits.
    for (int cpus = 1024; cpus <= (1 << 20); cpus *= 2) {
        cpu_set_t* set = CPU_ALLOC(cpus);
        if (set == nullptr) break;
        const std::size_t size = CPU_ALLOC_SIZE(cpus);
        const int rc = sched_getaffinity(0, size, set);
        const int err = errno;
        const std::size_t count = rc == 0 ? static_cast<std::size_t>(CPU_COUNT_S(size, set)) : 0;
        CPU_FREE(set);
        if (rc == 0) return count;
        if (err != EINVAL) break;
    }
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<std::size_t>(online) : 0;
}

// The tightest CPU quota on the process's cgroup and its ancestors, for both
// cgroup versions; nullopt when none is set or nothing can be read.
std::optional<std::size_t> cgroup_cpus() {
    std::optional<std::size_t> best;
    const auto consider = [&](std::optional<std::size_t> limit) {
        if (limit && (!best || *limit < *best)) best = limit;
    };
    // Reads the limit in `base + path` and each parent directory up to base.
    const auto walk = [&](const std::string& base, std::string_view path, auto read_limit) {
        std::string dir = base;
        if (path != "/") dir += path;
        for (;;) {
            consider(read_limit(dir));
            if (dir.size() <= base.size()) break;
            dir.resize(dir.rfind('/'));
        }
    };
    const auto v2 = [](const std::string& dir) -> std::optional<std::size_t> {
        const auto text = read_file(dir + "/cpu.max");
        return text ? cgroup_v2_cpu_limit(*text) : std::nullopt;
    };
    const auto v1 = [](const std::string& dir) -> std::optional<std::size_t> {
        const auto quota = read_file(dir + "/cpu.cfs_quota_us");
        const auto period = read_file(dir + "/cpu.cfs_period_us");
        return quota && period ? cgroup_v1_cpu_limit(*quota, *period) : std::nullopt;
    };

    const auto membership = read_file("/proc/self/cgroup");
    if (!membership) {
        consider(v2("/sys/fs/cgroup"));
        consider(v1("/sys/fs/cgroup/cpu"));
        return best;
    }
    // Lines are "id:controllers:path"; the cgroup v2 line is "0::path".
    std::string_view rest = *membership;
    while (!rest.empty()) {
        const std::size_t eol = std::min(rest.find('\n'), rest.size());
        const std::string_view line = rest.substr(0, eol);
        rest.remove_prefix(std::min(eol + 1, rest.size()));
        const std::size_t c1 = line.find(':');
        const std::size_t c2 = c1 == std::string_view::npos ? c1 : line.find(':', c1 + 1);
        if (c2 == std::string_view::npos) continue;
        const std::string_view id = line.substr(0, c1);
        const std::string_view controllers = line.substr(c1 + 1, c2 - c1 - 1);
        const std::string_view path = line.substr(c2 + 1);
        if (path.empty() || path.front() != '/' || path.find("/..") != std::string_view::npos) continue;
        if (id == "0" && controllers.empty()) {
            walk("/sys/fs/cgroup", path, v2);
            continue;
        }
        for (std::string_view list = controllers; !list.empty();) {
            const std::size_t comma = std::min(list.find(','), list.size());
            if (list.substr(0, comma) == "cpu") {
                walk("/sys/fs/cgroup/cpu", path, v1);
                walk("/sys/fs/cgroup/cpu,cpuacct", path, v1);
                break;
            }
            list.remove_prefix(std::min(comma + 1, list.size()));
        }
    }
    return best;
}

#else

// No portable notion of an affinity mask or a CPU quota: the processor
// count the standard library reports (0 when unknown).
std::size_t affinity_cpus() { return std::thread::hardware_concurrency(); }

std::optional<std::size_t> cgroup_cpus() { return std::nullopt; }

#endif

}  // namespace

std::optional<std::size_t> parse_thread_count(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    return parse_digits(text);
}

std::size_t resolve_thread_count(std::optional<std::string_view> rayon_num_threads,
                                 std::optional<std::string_view> rayon_rs_num_cpus,
                                 std::size_t available) {
    available = std::max<std::size_t>(available, 1);
    if (rayon_num_threads) {
        if (const auto n = parse_thread_count(*rayon_num_threads)) return *n > 0 ? *n : available;
    }
    if (rayon_rs_num_cpus) {
        if (const auto n = parse_thread_count(*rayon_rs_num_cpus); n && *n > 0) return *n;
    }
    return available;
}

std::optional<std::size_t> cgroup_v2_cpu_limit(std::string_view cpu_max) {
    cpu_max = trim(cpu_max);
    const std::size_t space = cpu_max.find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    const std::string_view quota = cpu_max.substr(0, space);
    const auto period = parse_digits(cpu_max.substr(space + 1));
    if (quota == "max" || !period) return std::nullopt;
    const auto q = parse_digits(quota);
    return q ? quota_limit(*q, *period) : std::nullopt;
}

std::optional<std::size_t> cgroup_v1_cpu_limit(std::string_view quota, std::string_view period) {
    const auto q = parse_digits(trim(quota));  // -1 (no limit) is not digits
    const auto p = parse_digits(trim(period));
    return q && p ? quota_limit(*q, *p) : std::nullopt;
}

std::size_t available_cpus() {
    std::size_t cpus = affinity_cpus();
    if (const auto limit = cgroup_cpus(); limit && (cpus == 0 || *limit < cpus)) cpus = *limit;
    return std::max<std::size_t>(cpus, 1);
}

}  // namespace quarnel::pool::detail
