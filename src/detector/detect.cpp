#include <shapemark/shapemark.hpp>

#include <stdexcept>
#include <string>

#include "detector/detector.hpp"

namespace shapemark {

void requireColourImage(const cv::Mat& bgr, const char* caller) {
    if (bgr.empty()) {
        throw std::invalid_argument(std::string(caller) +
                                    ": expected a non-empty 8-bit 3-channel BGR image, got an "
                                    "empty one");
    }
    if (bgr.type() != CV_8UC3 || bgr.dims != 2) {
        throw std::invalid_argument(
            std::string(caller) + ": expected an 8-bit 3-channel BGR image (CV_8UC3), got " +
            cv::typeToString(bgr.type()) + " with " + std::to_string(bgr.dims) + " dimensions");
    }
}

std::vector<Shape> detect(const cv::Mat& bgr, int areaSize) {
    requireColourImage(bgr, "shapemark::detect");
    cv::Mat imgGrayScale;
    cv::Mat Iat;
    Storage storage;
    binariseFrame(bgr, imgGrayScale, Iat);
    scanContours(Iat, areaSize, storage);
    std::vector<Shape> shapes;
    shapes.reserve(storage.marked.size());
    for (const Mark& mark : storage.marked) {
        Polygon& polygon = storage.polygons[mark.polygon];
        const cv::Point2d centre = polygonCentre(polygon);
        shapes.push_back({std::move(polygon), mark.area, centre});
    }
    return shapes;
}

}  // namespace shapemark
