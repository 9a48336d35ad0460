#include <opencv2/highgui.hpp>

#include "output/output.hpp"

namespace shapemark {

namespace {
// Re-creating the window before each show brings back a window the user has closed.
void showInWindow(const char* title, const cv::Mat& img) {
    cv::namedWindow(title, cv::WINDOW_AUTOSIZE);
    cv::imshow(title, img);
}
}  // namespace

void showRawFrame(const cv::Mat& img, Windows windows) {
    if (windows == Windows::On) {
        showInWindow("Raw", img);
    }
}

void outputTrackedFrame(const cv::Mat& img, cv::VideoWriter& writer, Windows windows) {
    if (windows == Windows::On) {
        showInWindow("Tracked", img);
    }
    saveSnapshot(img, kSnapshotPath);
    writer.write(img);  // does nothing when the writer is not open
}

void releaseFrameObjects(Storage& storage, cv::Mat& img, cv::Mat& imgGrayScale, cv::Mat& Iat) {
    storage.contours.clear();
    storage.polygons.clear();
    img.release();
    imgGrayScale.release();
    Iat.release();
}

}  // namespace shapemark
