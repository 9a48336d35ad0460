#include <shapemark/shapemark.hpp>

#include "detector/detector.hpp"

namespace shapemark {

void draw(cv::Mat& bgr, const std::vector<Shape>& shapes) {
    requireColourImage(bgr, "shapemark::draw");
    for (const Shape& shape : shapes) {
        drawPolygonOutline(bgr, shape.polygon);
    }
}

}  // namespace shapemark
