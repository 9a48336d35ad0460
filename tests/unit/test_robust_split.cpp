// splitRagged marks the region's pixels beyond its level and traces them with the library's
// contour scanner itself; it must cut exactly the pieces that cv::compare, the region's mask
// and cv::findContours cut, in the same order, since later steps depend on the order.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <vector>

#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark::robust {
namespace {

// The pieces as the library cuts them: the quartile sorted out of every other row and column
// of the filled region, then cv::compare, the mask and cv::findContours, and the same tests.
std::vector<Contour> libraryPieces(const cv::Mat& contrast, const Contour& contour, double offset,
                                   double minArea) {
    const cv::Rect box = cv::boundingRect(contour);
    cv::Mat mask = cv::Mat::zeros(box.size(), CV_8U);
    cv::fillPoly(mask, std::vector<Contour>{contour}, cv::Scalar(255), cv::LINE_8, 0, -box.tl());
    const cv::Mat roi = contrast(box);
    std::vector<int> values;
    for (int y = 0; y < box.height; y += 2) {
        for (int x = 0; x < box.width; x += 2) {
            if (mask.at<uchar>(y, x) != 0) {
                values.push_back(offset > 0 ? roi.at<short>(y, x) : -roi.at<short>(y, x));
            }
        }
    }
    std::sort(values.begin(), values.end());
    const double level = tuning::kSplitLevel * values[values.size() * 3 / 4];
    if (level <= std::abs(offset)) {
        return {};
    }
    cv::Mat pieces;
    cv::compare(roi, cv::Scalar::all(offset > 0 ? level : -level), pieces,
                offset > 0 ? cv::CMP_GT : cv::CMP_LT);
    pieces &= mask;
    std::vector<Contour> found;
    std::vector<Contour> kept;
    cv::findContours(pieces, found, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE, box.tl());
    for (const Contour& c : found) {
        const double area = cv::contourArea(c);
        if (area > minArea && wideEnough(c, area, cv::boundingRect(c), tuning::kMinWidth)) {
            kept.push_back(c);
        }
    }
    return kept;
}

// Catches pieces listed in the scanner's order instead of cv::findContours', pieces shifted by
// the padding, a level compared one off where it is a whole number (brighter or darker), and
// texture outside the region (but inside its box) cut as a piece of it.
TEST(RobustSplit, CutsWhatTheLibraryCutsInItsOrder) {
    std::size_t cut = 0;
    for (int seed = 0; seed < 16; ++seed) {
        cv::Mat contrast(200, 260, CV_16SC1);
        cv::RNG rng(static_cast<std::uint64_t>(seed));
        rng.fill(contrast, cv::RNG::UNIFORM, -120, 120);
        cv::GaussianBlur(contrast, contrast, cv::Size(), 1.5 + seed % 4);
        contrast.convertTo(contrast, CV_16S, 3.0);  // blobs with cores and bridges
        for (const double offset : {8.0, -8.0, 15.0}) {
            std::vector<Contour> regions;
            outerContours(contrast, offset, 30.0, 1e9, 1.0, regions);
            for (const Contour& region : regions) {
                const std::vector<Contour> pieces =
                    splitRagged(contrast, region, offset, 20.0, 1.0);
                ASSERT_TRUE(pieces == libraryPieces(contrast, region, offset, 20.0))
                    << "seed " << seed << ", offset " << offset;
                cut += pieces.size();
            }
        }
    }
    EXPECT_GT(cut, 100U);  // enough pieces for their order to matter
}

}  // namespace
}  // namespace shapemark::robust
