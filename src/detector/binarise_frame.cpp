#include <opencv2/imgproc.hpp>

#include <cmath>

#include "detector/detector.hpp"

namespace shapemark {

void cloneFrame(const cv::Mat& frame, cv::Mat& img) {
    img = frame.clone();
}

namespace {
// The library's mean-C adaptive threshold, pixel for pixel: the same box mean, then
// grey - mean > -ceil(offset). The library makes that test through a lookup table, one pixel at
// a time; as grey >= mean - (ceil(offset) - 1), a subtraction that stops at 0 (where every grey
// passes) and a comparison, it runs on whole vectors.
void thresholdBelowLocalMean(const cv::Mat& grey, cv::Mat& binary, const DetectorParams& p) {
    static_assert(params::kThresholdMax == 255.0, "the comparison writes 255 or 0");
    cv::boxFilter(grey, binary, CV_8U, cv::Size(p.thresholdBlock, p.thresholdBlock),
                  cv::Point(-1, -1), true, cv::BORDER_REPLICATE | cv::BORDER_ISOLATED);
    const double margin = std::ceil(p.thresholdOffset) - 1.0;
    if (margin < 0.0) {
        // An offset of 0: grey > mean, which grey >= mean + 1 would get wrong where mean + 1
        // saturates at 255.
        cv::compare(grey, binary, binary, cv::CMP_GT);
        return;
    }
    cv::subtract(binary, cv::Scalar::all(margin), binary);  // saturates at 0
    cv::compare(grey, binary, binary, cv::CMP_GE);
}
}  // namespace

void binariseFrame(const cv::Mat& img, cv::Mat& imgGrayScale, cv::Mat& Iat,
                   const DetectorParams& p) {
    imgGrayScale.create(img.size(), CV_8UC1);
    cv::cvtColor(img, imgGrayScale, cv::COLOR_BGR2GRAY);
    Iat.create(img.size(), CV_8UC1);
    if (p.medianAperture > 1) {
        cv::medianBlur(imgGrayScale, imgGrayScale, p.medianAperture);
    }
    thresholdBelowLocalMean(imgGrayScale, Iat, p);
    if (p.cleanupPasses > 0) {
        // An empty kernel is the 3x3 rectangle anchored at its centre.
        cv::erode(Iat, Iat, cv::Mat(), cv::Point(-1, -1), p.cleanupPasses);
        cv::dilate(Iat, Iat, cv::Mat(), cv::Point(-1, -1), p.cleanupPasses);
    }
}

}  // namespace shapemark
