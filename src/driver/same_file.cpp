#include <sys/stat.h>

#include "driver/run_setup.hpp"

namespace shapemark {

bool namesSameFile(const char* inputPath, const char* outputPath) {
    struct stat input {};
    struct stat output {};
    // stat follows links, so device and inode identify the file itself.
    if (::stat(inputPath, &input) != 0 || ::stat(outputPath, &output) != 0) {
        return false;
    }
    return input.st_dev == output.st_dev && input.st_ino == output.st_ino;
}

}  // namespace shapemark
