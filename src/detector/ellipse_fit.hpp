// The ellipse cv::fitEllipse fits to a contour, for the roundness test, which fits one to most
// contours it sees.
#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace shapemark::robust {

// cv::fitEllipse(contour) to within rounding: the library's least squares, in its own
// coordinates, solved through their normal equations instead of a singular value
// decomposition, which cost nine tenths of the library's fit. A point set the normal equations
// would solve poorly (nearly on a line or a conic's degenerate case) goes to the library, as
// do sets of five points or fewer.
cv::RotatedRect fitContourEllipse(const std::vector<cv::Point>& contour);

}  // namespace shapemark::robust
