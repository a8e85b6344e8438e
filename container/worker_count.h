// How many workers compress (or decode) the blocks of one run: the number
// given in ROMFOLD_THREADS, or by default one per CPU this process may run on.
#pragma once

namespace romfold {

// The largest worker count accepted; more is refused rather than attempted.
inline constexpr unsigned max_workers = 1024;

// Reads a ROMFOLD_THREADS value. Null (unset), "" and "0" mean one worker per
// available CPU and give 0; "1" to "1024" in decimal digits give that number.
// Anything else (a sign, spaces, letters, a larger number) returns false.
bool parse_worker_setting(const char* text, unsigned* workers);

// The CPUs this process may run on, at least 1: on Linux the affinity mask,
// lowered to a CPU quota of its cgroup where one is set (rounded up); on
// Windows the process affinity mask.
unsigned available_cpus();

// The worker count for a parsed setting: the setting itself, or for 0 the
// available CPUs (at most max_workers).
unsigned resolve_workers(unsigned setting);

}  // namespace romfold
