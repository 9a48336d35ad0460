// The tool's three windows: "Video" shows each processed frame as captured and takes the keys,
// "Raw" the same frame, "Tracked" the marked copy. Every window call of the tool is here.
#pragma once

#include <opencv2/core.hpp>

namespace shapemark {

// Windows are off when no display can be reached or none is wanted; then no window call is
// ever made.
enum class Windows { On, Off };

// Opens "Video". It must exist before any output file is touched: if the window system fails
// after all, the toolkit aborts the process, and the outputs are then untouched.
void openWindows(Windows windows);

// Shows a processed frame as captured in "Raw" and its marked copy in "Tracked".
void showProcessed(const cv::Mat& frame, const cv::Mat& marked, Windows windows);

// Shows the frame in "Video" and waits up to `waitMs` for a key; true when it was Escape.
bool showVideo(const cv::Mat& frame, int waitMs);

void closeWindows(Windows windows);

}  // namespace shapemark
