// The cgroup v2 quota, read from sample `cpu.max` contents.
#include <gtest/gtest.h>

#include "driver/thread_budget.hpp"

namespace {

using shapemark::cpusFromCpuMax;

// Catches a quota rounded down (1.5 CPUs must not become 1, nor half a CPU 0) or a period
// and quota read the wrong way round.
TEST(CpusFromCpuMax, RoundsTheQuotaUpToWholeCpus) {
    EXPECT_EQ(cpusFromCpuMax("150000 100000\n"), 2);
    EXPECT_EQ(cpusFromCpuMax("200000 100000\n"), 2);
    EXPECT_EQ(cpusFromCpuMax("50000 100000\n"), 1);
    EXPECT_EQ(cpusFromCpuMax("400000 50000"), 8);
}

// Catches "max" (no limit) or a damaged file taken as a limit of 0 or 1 CPU.
TEST(CpusFromCpuMax, NoLimitUnlessTheFileSetsOne) {
    EXPECT_EQ(cpusFromCpuMax("max 100000\n"), std::nullopt);
    EXPECT_EQ(cpusFromCpuMax(""), std::nullopt);
    EXPECT_EQ(cpusFromCpuMax("150000"), std::nullopt);
    EXPECT_EQ(cpusFromCpuMax("150000 0"), std::nullopt);
    EXPECT_EQ(cpusFromCpuMax("1.5 100000"), std::nullopt);
}

}  // namespace
