// Opening the input so that a failure for want of memory is told apart from a bad input.
#pragma once

#include <opencv2/videoio.hpp>

#include <string>

namespace shapemark {

// Opens `path` as the library's default does, FFmpeg first. Throws std::bad_alloc when FFmpeg
// failed for want of memory: the library would report a plain failure, or go on to GStreamer,
// which aborts the process when it runs out.
void openCapture(cv::VideoCapture& capture, const std::string& path);

}  // namespace shapemark
