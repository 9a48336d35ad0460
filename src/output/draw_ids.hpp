// Each identified shape's id, written beside its outline on the marked frame.
#pragma once

#include <opencv2/core.hpp>

#include <shapemark/shapemark.hpp>

#include <vector>

namespace shapemark {

// Writes ids[i] just above shapes[i]'s outline (below it at the top edge), in the outline's
// colour; a shape whose id is 0 gets nothing. `ids` has one entry per shape.
void drawIds(cv::Mat& img, const std::vector<Shape>& shapes, const std::vector<int>& ids);

}  // namespace shapemark
