#include "container/worker_count.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>
#elif defined(__linux__)
#include <sched.h>
#else
#include <thread>
#endif

namespace romfold {
namespace {

#if defined(__linux__)

// The first line of a small file, without its line end; empty when unreadable.
// Plain stdio: these are system files, not the run's files.
std::string first_line(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) return {};
    char line[4096];
    const bool got = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    if (!got) return {};
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

// The CPUs a quota of `quota` microseconds per `period` allows, rounded up;
// 0 when there is no quota.
unsigned quota_cpus(long long quota, long long period) {
    if (quota <= 0 || period <= 0) return 0;
    return static_cast<unsigned>((quota + period - 1) / period);
}

// The CPU quota of this process's cgroup: cgroup v2's cpu.max ("max 100000"
// or "200000 100000"), else v1's cpu.cfs_quota_us and cpu.cfs_period_us; 0
// when none is set. The cgroup's own directory is tried first, then the
// mount's root, which is the process's cgroup inside most containers.
unsigned cgroup_cpu_limit() {
    std::string group;
    if (std::FILE* file = std::fopen("/proc/self/cgroup", "r"); file != nullptr) {
        char line[4096];
        while (std::fgets(line, sizeof line, file) != nullptr) {
            if (std::strncmp(line, "0::", 3) == 0) {
                group = line + 3;
                while (!group.empty() && group.back() == '\n') group.pop_back();
                break;
            }
        }
        std::fclose(file);
    }
    const std::string roots[] = {"/sys/fs/cgroup" + group, "/sys/fs/cgroup"};
    for (const std::string& root : roots) {
        const std::string max = first_line(root + "/cpu.max");
        if (!max.empty()) {
            long long quota = 0;
            long long period = 0;
            if (std::sscanf(max.c_str(), "%lld %lld", &quota, &period) == 2) return quota_cpus(quota, period);
            return 0;  // "max": no quota
        }
    }
    const std::string quota = first_line("/sys/fs/cgroup/cpu/cpu.cfs_quota_us");
    const std::string period = first_line("/sys/fs/cgroup/cpu/cpu.cfs_period_us");
    if (quota.empty() || period.empty()) return 0;
    return quota_cpus(std::atoll(quota.c_str()), std::atoll(period.c_str()));
}

unsigned affinity_cpus() {
    // A set large enough for any machine the kernel supports.
    constexpr int most_cpus = 8192;
    cpu_set_t* set = CPU_ALLOC(most_cpus);
    if (set == nullptr) return 1;
    const std::size_t size = CPU_ALLOC_SIZE(most_cpus);
    CPU_ZERO_S(size, set);
    unsigned count = 1;
    if (sched_getaffinity(0, size, set) == 0) count = static_cast<unsigned>(CPU_COUNT_S(size, set));
    CPU_FREE(set);
    return count == 0 ? 1 : count;
}

#endif

}  // namespace

bool parse_worker_setting(const char* text, unsigned* workers) {
    if (text == nullptr || *text == '\0') {
        *workers = 0;
        return true;
    }
    unsigned value = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') return false;
        value = value * 10 + static_cast<unsigned>(*c - '0');
        if (value > max_workers) return false;
    }
    *workers = value;
    return true;
}

unsigned available_cpus() {
#ifdef _WIN32
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) == 0) return 1;
    unsigned count = 0;
    for (; process != 0; process &= process - 1) ++count;
    return count == 0 ? 1 : count;
#elif defined(__linux__)
    const unsigned cpus = affinity_cpus();
    const unsigned limit = cgroup_cpu_limit();
    return limit != 0 && limit < cpus ? limit : cpus;
#else
    const unsigned cpus = std::thread::hardware_concurrency();
    return cpus == 0 ? 1 : cpus;
#endif
}

unsigned resolve_workers(unsigned setting) {
    if (setting != 0) return setting;
    const unsigned cpus = available_cpus();
    return cpus < max_workers ? cpus : max_workers;
}

}  // namespace romfold
