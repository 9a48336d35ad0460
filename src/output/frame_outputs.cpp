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

bool outputTrackedFrame(cv::Mat& img, const Storage& storage, long long frameCount, double timeMs,
                        Windows windows, OrderedOutputs& outputs) {
    if (windows == Windows::On) {
        showInWindow("Tracked", img);
    }
    ProcessedFrame processed;
    processed.frameCount = frameCount;
    processed.timeMs = timeMs;
    // Moved, not copied; and no reference stays behind, so the frame is freed where the
    // outputs finish with it, never under a reader.
    processed.img = std::move(img);
    processed.shapes.reserve(storage.marked.size());
    for (const Mark& mark : storage.marked) {
        processed.shapes.push_back({storage.polygons[mark.polygon], mark.area});
    }
    return outputs.handOver(std::move(processed));
}

void releaseFrameObjects(Storage& storage, cv::Mat& img, cv::Mat& imgGrayScale, cv::Mat& Iat) {
    storage.contours.clear();
    storage.polygons.clear();
    storage.marked.clear();
    img.release();
    imgGrayScale.release();
    Iat.release();
}

}  // namespace shapemark
