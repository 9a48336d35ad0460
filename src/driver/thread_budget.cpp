#include "driver/thread_budget.hpp"

#include <sched.h>

#include <opencv2/core/utility.hpp>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <string>

namespace shapemark {

namespace {
constexpr const char* kCgroupRoot = "/sys/fs/cgroup";

// Keeps the lower of two limits, either of which may be missing.
void narrow(std::optional<int>& tightest, std::optional<int> cpus) {
    if (cpus && (!tightest || *cpus < *tightest)) {
        tightest = cpus;
    }
}

std::optional<long long> wholeNumber(std::string_view text) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// A quota of `quota` microseconds in every `period`: that many CPUs, rounded up.
std::optional<int> cpusFromQuota(std::optional<long long> quota, std::optional<long long> period) {
    if (!quota || !period || *quota <= 0 || *period <= 0) {
        return std::nullopt;
    }
    return static_cast<int>(std::max(1LL, (*quota + *period - 1) / *period));
}

std::string firstLine(const std::filesystem::path& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

// The quota set on a v1 `cpu` controller's group folder, if any.
std::optional<int> cpusFromCfsQuota(const std::filesystem::path& folder) {
    return cpusFromQuota(wholeNumber(firstLine(folder / "cpu.cfs_quota_us")),
                         wholeNumber(firstLine(folder / "cpu.cfs_period_us")));
}

std::optional<int> cpusFromCpuMaxFile(const std::filesystem::path& folder) {
    return cpusFromCpuMax(firstLine(folder / "cpu.max"));
}

// The tightest quota on `group` (a path below `mount`) and every group above it. Inside a
// container the path may name the host's group: the mount's root is then the container's own.
using QuotaReader = std::optional<int> (*)(const std::filesystem::path& folder);

std::optional<int> tightestQuota(const std::filesystem::path& mount, const std::string& group,
                                 QuotaReader quota) {
    std::filesystem::path below = std::filesystem::path(group).relative_path().lexically_normal();
    std::error_code error;
    if (below.empty() || *below.begin() == ".." ||
        !std::filesystem::is_directory(mount / below, error)) {
        below.clear();
    }
    std::optional<int> tightest = quota(mount);
    std::filesystem::path folder = mount;
    for (const std::filesystem::path& part : below) {
        folder /= part;
        narrow(tightest, quota(folder));
    }
    return tightest;
}

// The quota of every cgroup hierarchy that holds this process: "ID:CONTROLLERS:PATH" lines, the
// unified (v2) one with ID 0 and no controllers.
std::optional<int> cpusFromCgroups() {
    std::ifstream groups("/proc/self/cgroup");
    std::optional<int> tightest;
    for (std::string line; std::getline(groups, line);) {
        const std::size_t first = line.find(':');
        const std::size_t second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) {
            continue;
        }
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const std::string group = line.substr(second + 1);
        const std::filesystem::path root = kCgroupRoot;
        if (controllers.empty()) {
            narrow(tightest, tightestQuota(root, group, cpusFromCpuMaxFile));
        } else if (("," + controllers + ",").find(",cpu,") != std::string::npos) {
            // Mounted by its controllers' names, or by "cpu" with the others linked to it.
            const std::filesystem::path mount = root / controllers;
            std::error_code error;
            narrow(tightest,
                   tightestQuota(std::filesystem::is_directory(mount, error) ? mount : root / "cpu",
                                 group, cpusFromCfsQuota));
        }
    }
    return tightest;
}
}  // namespace

std::optional<int> cpusFromCpuMax(std::string_view contents) {
    while (!contents.empty() && (contents.back() == '\n' || contents.back() == ' ')) {
        contents.remove_suffix(1);
    }
    const std::size_t space = contents.find(' ');
    if (space == std::string_view::npos) {
        return std::nullopt;
    }
    return cpusFromQuota(wholeNumber(contents.substr(0, space)),
                         wholeNumber(contents.substr(space + 1)));
}

int usableCpus() {
    cpu_set_t mask;
    CPU_ZERO(&mask);
    std::optional<int> cpus =
        ::sched_getaffinity(0, sizeof(mask), &mask) == 0 ? CPU_COUNT(&mask) : cv::getNumberOfCPUs();
    narrow(cpus, cpusFromCgroups());
    return std::max(1, cpus.value_or(1));
}

ThreadBudget takeThreadBudget(int requested) {
    ThreadBudget budget;
    budget.cpus = usableCpus();
    budget.threads = requested > 0 ? requested : budget.cpus;
    // Only ever narrowed: the library's own count already follows the affinity mask, and its
    // task scheduler warns on standard error when asked for as many workers as there are CPUs.
    if (budget.threads < cv::getNumThreads()) {
        cv::setNumThreads(budget.threads);
    }
    return budget;
}

}  // namespace shapemark
