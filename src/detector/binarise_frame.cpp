#include <opencv2/imgproc.hpp>

#include "detector/detector.hpp"

namespace shapemark {

void cloneFrame(const cv::Mat& frame, cv::Mat& img) {
    img = frame.clone();
}

void binariseFrame(const cv::Mat& img, cv::Mat& imgGrayScale, cv::Mat& Iat) {
    imgGrayScale.create(img.size(), CV_8UC1);
    cv::cvtColor(img, imgGrayScale, cv::COLOR_BGR2GRAY);
    Iat.create(img.size(), CV_8UC1);
    cv::medianBlur(imgGrayScale, imgGrayScale, params::kMedianAperture);
    cv::adaptiveThreshold(imgGrayScale, Iat, params::kThresholdMax, cv::ADAPTIVE_THRESH_MEAN_C,
                          cv::THRESH_BINARY, params::kThresholdBlock, params::kThresholdOffset);
    // An empty kernel is the 3x3 rectangle anchored at its centre.
    cv::erode(Iat, Iat, cv::Mat(), cv::Point(-1, -1), params::kMorphologyIterations);
    cv::dilate(Iat, Iat, cv::Mat(), cv::Point(-1, -1), params::kMorphologyIterations);
}

}  // namespace shapemark
