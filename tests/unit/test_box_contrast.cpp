// The one-pass local contrast against OpenCV's box filter and subtraction.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <array>
#include <vector>

#include "detector/box_contrast.hpp"

namespace shapemark::robust {
namespace {

cv::Mat reference(const cv::Mat& plane, int window) {
    cv::Mat contrast;
    cv::boxFilter(plane, contrast, CV_16S, cv::Size(window, window), cv::Point(-1, -1), true,
                  cv::BORDER_REPLICATE);
    cv::subtract(plane, contrast, contrast, cv::noArray(), CV_16S);
    return contrast;
}

void expectSame(const cv::Mat& plane, int window) {
    const cv::Mat got = boxContrast(plane, window);
    ASSERT_EQ(got.type(), CV_16S);
    ASSERT_EQ(got.size(), plane.size());
    EXPECT_EQ(cv::countNonZero(got != reference(plane, window)), 0)
        << plane.cols << "x" << plane.rows << " window " << window;
}

// Random grey levels, and 0/255 stripes across and down (the largest sums, and each edge's
// replication weighing most).
std::vector<cv::Mat> planes(cv::Size size) {
    cv::Mat noise(size, CV_8UC1);
    cv::RNG rng(size.area());
    rng.fill(noise, cv::RNG::UNIFORM, 0, 256);
    cv::Mat across(size, CV_8UC1);
    cv::Mat down(size, CV_8UC1);
    for (int y = 0; y < size.height; ++y) {
        for (int x = 0; x < size.width; ++x) {
            across.at<uchar>(y, x) = (y / 3) % 2 != 0 ? 255 : 0;
            down.at<uchar>(y, x) = (x / 5) % 2 != 0 ? 0 : 255;
        }
    }
    return {noise, across, down};
}

// Catches a box one row or column short or long, a border replicated from the wrong row, a
// mean rounded other than to nearest: the detector's plane sizes and windows (full-resolution
// boxes included), odd sizes, planes narrower and shorter than the window.
TEST(BoxContrast, SameAsOpenCv) {
    const std::array<cv::Size, 6> sizes = {
        {{1280, 720}, {640, 360}, {203, 157}, {37, 23}, {1, 1}, {130, 2}}};
    for (const cv::Size size : sizes) {
        for (const cv::Mat& plane : planes(size)) {
            for (const int window : {1, 3, 17, 31, 47, 51, 101, 127, 151, 257, 259}) {
                expectSame(plane, window);
            }
        }
    }
}

// Catches a row's last columns divided as the others: OpenCV divides them in double precision,
// where single precision rounds some quotients of a wide window the other way. At 257, a
// corner of 129 on 128 puts the top-left box's sum half a unit plus 1/(2N) above 128: single
// precision rounds it down, double up. In 2 columns it is a last one, in 8 not.
TEST(BoxContrast, LastColumnsAsOpenCv) {
    for (const int cols : {2, 8}) {
        cv::Mat plane(2, cols, CV_8UC1, cv::Scalar(128));
        plane.at<uchar>(0, 0) = 129;
        plane.at<uchar>(1, 1) = 129;
        expectSame(plane, 257);
    }
}

// Catches a region of interest treated as a whole image: OpenCV reads the parent's pixels
// beyond the region's edge and replicates only the parent's own.
TEST(BoxContrast, RegionOfInterestAsOpenCv) {
    for (const cv::Mat& whole : planes({300, 200})) {
        for (const cv::Rect roi :
             {cv::Rect(7, 11, 121, 93), cv::Rect(0, 150, 300, 50), cv::Rect(280, 0, 20, 30)}) {
            expectSame(whole(roi), 31);
            expectSame(whole(roi), 101);
        }
    }
}

}  // namespace
}  // namespace shapemark::robust
