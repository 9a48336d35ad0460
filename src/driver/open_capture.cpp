#include "driver/open_capture.hpp"

#include <cerrno>
#include <new>

namespace shapemark {

void openCapture(cv::VideoCapture& capture, const std::string& path) {
    // The library tells no more than a failed open; errno, set by the allocation, tells.
    errno = 0;
    if (capture.open(path, cv::CAP_FFMPEG)) {
        return;
    }
    if (errno == ENOMEM) {
        throw std::bad_alloc();
    }
    errno = 0;
    if (!capture.open(path) && errno == ENOMEM) {
        throw std::bad_alloc();
    }
}

}  // namespace shapemark
