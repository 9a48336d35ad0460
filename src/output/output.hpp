// Frame outputs: the two windows of a processed frame, the hand-over of the marked copy to the
// ordered outputs, and the release of the frame's objects.
#pragma once

#include <opencv2/core.hpp>

#include "detector/detector.hpp"
#include "output/ordered_outputs.hpp"

namespace shapemark {

// Windows are off when no display can be reached or none is wanted; then no window call is
// ever made.
enum class Windows { On, Off };

void showRawFrame(const cv::Mat& img, Windows windows);

// Shows the marked frame in "Tracked" and hands it, with the shapes outlined on it, to the
// outputs: the snapshot, the recording and the detection log. `img` is empty afterwards: the
// outputs own it, and free it when the last of them is done. False once an output has failed.
bool outputTrackedFrame(cv::Mat& img, const Storage& storage, long long frameCount, double timeMs,
                        Windows windows, OrderedOutputs& outputs);

void releaseFrameObjects(Storage& storage, cv::Mat& img, cv::Mat& imgGrayScale, cv::Mat& Iat);

}  // namespace shapemark
