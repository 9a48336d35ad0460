// How many threads a run uses, and on how many CPUs: the one place that decides it.
#pragma once

#include <optional>
#include <string_view>

namespace shapemark {

struct ThreadBudget {
    int threads = 1;  // the marking pool, the snapshot encoders and the library's own loops
    int cpus = 1;     // what this process may keep busy
};

// The CPUs that a cgroup v2 `cpu.max` ("QUOTA PERIOD", or "max PERIOD") allows, rounded up;
// none when it sets no limit or cannot be read.
std::optional<int> cpusFromCpuMax(std::string_view contents);

// The CPUs this process may keep busy: its affinity mask, narrowed by any cgroup CPU quota
// (v1 or v2) on its own group or one above it.
int usableCpus();

// `requested` threads (0: as many as there are usable CPUs); also narrows the library's own
// thread count to match, so that no part of the run reaches past the CPUs it was given.
ThreadBudget takeThreadBudget(int requested);

}  // namespace shapemark
