// The frame count an input announces, where its container keeps one.
#pragma once

#include <string>

namespace shapemark {

// `reported` is the library's frame count. AVI and MP4/MOV files keep the number of frames in
// their headers; for other containers the library estimates it from the duration, which a longer
// audio track stretches, so nothing is announced there. 0 when nothing is announced.
long long announcedFrames(const std::string& path, double reported);

}  // namespace shapemark
