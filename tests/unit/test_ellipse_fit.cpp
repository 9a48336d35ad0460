// fitContourEllipse stands in for cv::fitEllipse in the roundness test, which compares the
// contour's distance to the ellipse with its distance to its polygon: the ellipse must be the
// library's, to within rounding.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <vector>

#include "detector/ellipse_fit.hpp"
#include "noise_contours.hpp"

namespace shapemark::robust {
namespace {

// Near enough where the library's own fit is repeatable (on a degenerate set it perturbs the
// points at random, so two of its calls differ); the angle only where the axes differ.
void expectSameEllipse(const std::vector<cv::Point>& contour, std::size_t& compared) {
    const cv::RotatedRect expected = cv::fitEllipse(contour);
    const cv::RotatedRect again = cv::fitEllipse(contour);
    if (expected.center != again.center || expected.size != again.size) {
        return;
    }
    const cv::RotatedRect found = fitContourEllipse(contour);
    const double size = 1.0 + expected.size.height;
    ASSERT_LE(cv::norm(found.center - expected.center), 1e-4 * size) << contour.size() << " points";
    ASSERT_LE(std::abs(found.size.width - expected.size.width), 1e-4 * size);
    ASSERT_LE(std::abs(found.size.height - expected.size.height), 1e-4 * size);
    if (expected.size.height > 1.01F * expected.size.width) {
        const double turn = std::remainder(found.angle - expected.angle, 180.0);
        ASSERT_LE(std::abs(turn), 1e-2) << expected.angle << " against " << found.angle;
    }
    ++compared;
}

// Catches the conic's signs or its two fits' rows mixed up, the centre or the axes left in the
// scaled coordinates, the axes swapped without the angle's quarter turn, and a degenerate set
// solved (badly) instead of handed to the library.
TEST(EllipseFit, IsTheLibrarysEllipse) {
    std::size_t compared = 0;
    for (int seed = 0; seed < 6; ++seed) {
        for (const auto& contour :
             testing::noiseContours(seed, cv::Size(320, 240), 1.5 + seed, [](cv::Mat&) {})) {
            if (contour.size() > 5) {
                expectSameEllipse(contour, compared);
            }
        }
    }
    cv::RNG rng(3);
    for (int k = 0; k < 300; ++k) {  // ellipses, thin ones and circles, and short point runs
        std::vector<cv::Point> contour;
        cv::ellipse2Poly(cv::Point(rng.uniform(0, 400), rng.uniform(0, 400)),
                         cv::Size(rng.uniform(1, 150), rng.uniform(1, 150)), rng.uniform(0, 360), 0,
                         rng.uniform(20, 361), rng.uniform(1, 10), contour);
        if (contour.size() > 5) {
            expectSameEllipse(contour, compared);
        }
    }
    EXPECT_GT(compared, 700U);
}

}  // namespace
}  // namespace shapemark::robust
