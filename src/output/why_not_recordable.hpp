// Why the library's writer would not open a recording: the reasons a user can act on.
#pragma once

#include <opencv2/core.hpp>

#include <string>

namespace shapemark {

// Why a recording of `size` at `fps` did not open at `path`, as the words after its name in the
// warning: the file system first, then the container, then memory, the frame size or rate.
std::string whyNotRecordable(const std::string& path, double fps, cv::Size size, bool quiet);

}  // namespace shapemark
