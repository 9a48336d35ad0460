// What the run takes from the input's properties, which the library reports as doubles that may
// be anything.
#pragma once

#include <string>

namespace shapemark {

// A capture property as a whole number, truncated toward zero; NaN, infinities and values
// beyond the int range become 0.
int truncateProperty(double value);

// The rate the recording gets: the input's cut to a whole number, as the pacing uses it; below
// 1 fps, where that would give 0 and so no recording at all, the input's own.
double recordingRate(double inputFps);

// `reported` is the library's frame count. AVI and MP4/MOV files keep the number of frames in
// their headers; for other containers the library estimates it from the duration, which a longer
// audio track stretches, so nothing is announced there. 0 when nothing is announced.
long long announcedFrames(const std::string& path, double reported);

}  // namespace shapemark
