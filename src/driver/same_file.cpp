#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "driver/run_setup.hpp"

namespace shapemark {

bool namesSameFile(const char* inputPath, const char* outputPath) {
    struct stat input {};
    struct stat output {};
    // stat follows links, so device and inode identify the file itself.
    if (::stat(inputPath, &input) == 0 && ::stat(outputPath, &output) == 0) {
        return input.st_dev == output.st_dev && input.st_ino == output.st_ino;
    }
    // A file still to be made has no inode yet; compare where the two names lead.
    std::error_code error;
    const auto first = std::filesystem::weakly_canonical(inputPath, error);
    if (error) {
        return false;
    }
    const auto second = std::filesystem::weakly_canonical(outputPath, error);
    return !error && first == second;
}

}  // namespace shapemark
