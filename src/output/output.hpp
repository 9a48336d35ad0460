// Frame outputs: the two windows of a processed frame, the snapshot file, the recording and
// the release of the frame's objects.
#pragma once

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <string>

#include "detector/detector.hpp"

namespace shapemark {

// Windows are off when no display can be reached; then no window call is ever made.
enum class Windows { On, Off };

// The snapshot's path is fixed by the tool's users' set-up; on Linux it is relative to the
// working folder.
inline const std::string kSnapshotPath = "C:/Users/kalenvir/Desktop/cage3.png";

void showRawFrame(const cv::Mat& img, Windows windows);

// Shows the marked frame, replaces the snapshot and appends the frame to the recording.
void outputTrackedFrame(const cv::Mat& img, cv::VideoWriter& writer, Windows windows);

void releaseFrameObjects(Storage& storage, cv::Mat& img, cv::Mat& imgGrayScale, cv::Mat& Iat);

// Replaces `path` with the PNG of `img` in one rename, so a reader never sees half a file.
// Failures (missing folder, no permission, full disk) leave `path` as it was and no temporary
// file behind; they are not reported, the run goes on.
bool saveSnapshot(const cv::Mat& img, const std::string& path);

}  // namespace shapemark
