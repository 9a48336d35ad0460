#include "output/windows.hpp"

#include <opencv2/highgui.hpp>

namespace shapemark {

namespace {
constexpr int kEscapeKey = 27;
constexpr const char* kVideo = "Video";

// Re-creating the window before each show brings back a window the user has closed.
void showInWindow(const char* title, const cv::Mat& img) {
    cv::namedWindow(title, cv::WINDOW_AUTOSIZE);
    cv::imshow(title, img);
}
}  // namespace

void openWindows(Windows windows) {
    if (windows == Windows::On) {
        cv::namedWindow(kVideo, cv::WINDOW_AUTOSIZE);
    }
}

void showProcessed(const cv::Mat& frame, const cv::Mat& marked, Windows windows) {
    if (windows == Windows::On) {
        showInWindow("Raw", frame);
        showInWindow("Tracked", marked);
    }
}

bool showVideo(const cv::Mat& frame, int waitMs) {
    cv::imshow(kVideo, frame);
    const int key = cv::waitKey(waitMs);
    return (key & 0xFF) == kEscapeKey;
}

void closeWindows(Windows windows) {
    if (windows == Windows::On) {
        cv::destroyWindow(kVideo);
        cv::destroyAllWindows();
    }
}

}  // namespace shapemark
