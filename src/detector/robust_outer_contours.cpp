#include <opencv2/imgproc/imgproc_c.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include "detector/box_contrast.hpp"
#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark::robust {

namespace {

// The test a region's pixels pass: brighter than their surroundings by more than a positive
// offset, darker by more than a negative one.
void markStandsOut(const cv::Mat& contrast, double offset, cv::Mat& binary) {
    cv::compare(contrast, cv::Scalar::all(offset), binary, offset > 0 ? cv::CMP_GT : cv::CMP_LT);
}

void releaseStorage(CvMemStorage* storage) {
    cvReleaseMemStorage(&storage);
}

// Keeps the outer boundaries (no parent in the two-level hierarchy) that could be a shape, in
// the order cv::findContours lists them. The library's contour scanner is called directly so
// that the many specks, dropped on their length, are never copied out of its storage.
// `padded` holds the binary image inside a 1-pixel border of zeros, as cv::findContours pads
// it; the scanner overwrites it.
void keepOuter(cv::Mat& padded, double minArea, double maxArea, double unit,
               std::vector<Contour>& out) {
    const std::unique_ptr<CvMemStorage, void (*)(CvMemStorage*)> storage(cvCreateMemStorage(0),
                                                                         releaseStorage);
    CvMat image = cvMat(padded);
    CvSeq* first = nullptr;
    cvFindContours(&image, storage.get(), &first, sizeof(CvContour), CV_RETR_CCOMP,
                   CV_CHAIN_APPROX_NONE, cvPoint(-1, -1));
    // The scanner links each new contour in front of its siblings; cv::findContours flattens
    // that tree depth first, so the contours without a parent come in this sibling order.
    Contour contour;
    for (const CvSeq* seq = first; seq != nullptr; seq = seq->h_next) {
        if (!mayEncloseMore(static_cast<std::size_t>(seq->total), minArea)) {
            continue;  // a speck, never copied
        }
        contour.resize(static_cast<std::size_t>(seq->total));
        cvCvtSeqToArray(seq, contour.data());
        const double area = cv::contourArea(contour);
        if (!(area > minArea && area < maxArea)) {
            continue;
        }
        if (!wideEnough(contour, area, cv::boundingRect(contour), tuning::kMinWidth * unit)) {
            continue;
        }
        out.push_back(contour);
    }
}

}  // namespace

bool mayEncloseMore(const Contour& contour, double area) {
    return mayEncloseMore(contour.size(), area);
}

bool mayEncloseMore(std::size_t points, double area) {
    const auto n = static_cast<double>(points);
    return n * n >= 2.0 * CV_PI * area;
}

bool wideEnough(const Contour& contour, double area, const cv::Rect& box, double minWidth) {
    // The hull of a region of width w and diameter D lies in a w × D strip, so an area of more
    // than minWidth × D proves the width without fitting the rectangle; the margin stays clear
    // of the rectangle's single-precision rounding.
    constexpr double kRounding = 0.05;
    if (area >= (minWidth + kRounding) * std::hypot(box.width, box.height)) {
        return true;
    }
    const cv::Size2f rect = cv::minAreaRect(contour).size;
    return std::min(rect.width, rect.height) >= minWidth;
}

cv::Mat localContrast(const cv::Mat& plane, int window) {
    return boxContrast(plane, window);
}

cv::Mat standsOut(const cv::Mat& contrast, double offset) {
    cv::Mat binary;
    markStandsOut(contrast, offset, binary);
    return binary;
}

void outerContours(const cv::Mat& contrast, double offset, double minArea, double maxArea,
                   double unit, std::vector<Contour>& out) {
    cv::Mat padded(contrast.rows + 2, contrast.cols + 2, CV_8UC1);
    padded.row(0).setTo(0);
    padded.row(padded.rows - 1).setTo(0);
    padded.col(0).setTo(0);
    padded.col(padded.cols - 1).setTo(0);
    cv::Mat inside = padded(cv::Rect(1, 1, contrast.cols, contrast.rows));
    markStandsOut(contrast, offset, inside);
    keepOuter(padded, minArea, maxArea, unit, out);
}

}  // namespace shapemark::robust
