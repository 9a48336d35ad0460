#include <opencv2/imgproc.hpp>

#include <shapemark/shapemark.hpp>

#include <utility>

#include "detector/detector.hpp"

namespace shapemark {

Shape shapeOf(std::vector<cv::Point> polygon) {
    Shape shape;
    if (!polygon.empty()) {
        shape.area = cv::contourArea(polygon);
        shape.centre = polygonCentre(polygon);
    }
    shape.polygon = std::move(polygon);
    return shape;
}

}  // namespace shapemark
