#include <utility>

#include "detector/detector.hpp"

namespace shapemark {

std::vector<Shape> detectClassic(const cv::Mat& bgr, const DetectorParams& p) {
    cv::Mat imgGrayScale;
    cv::Mat Iat;
    Storage storage;
    binariseFrame(bgr, imgGrayScale, Iat, p);
    scanContours(Iat, p, storage);
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
