// The detector's parameters: plain data with documented defaults, handed to a Detector.
// The defaults are the tool's own: a Detector built from DetectorParams{} gives exactly
// detect(bgr, 0).
#pragma once

#include <opencv2/core.hpp>

#include <optional>
#include <vector>

#include <shapemark/shapemark.hpp>

namespace shapemark {

enum class DetectorKind {
    Classic,  // one adaptive threshold of the grey image; the tool's default
    Robust,   // several colour planes and levels, one polygon per physical shape
};

struct DetectorParams {
    DetectorKind detector = DetectorKind::Classic;  // YAML `detector`: classic | robust
    // The area window, in square pixels of contour area: a shape is kept when
    // minArea < area < maxArea. minArea is AREASIZE (any int); maxArea is > minArea, or none.
    int minArea = 0;
    std::optional<double> maxArea = kDefaultMaxArea;
    // Vertex range, within 3 to 8 and minVertices <= maxVertices.
    int minVertices = 3;
    int maxVertices = 8;
    // The classic detector's own values.
    int thresholdBlock = 71;        // adaptive threshold window: odd, 3 to 1001
    double thresholdOffset = 15.0;  // grey levels below the local mean: 0 to 255
    int medianAperture = 3;         // median filter: 1 (off) or odd 3 to 7
    double approxTolerance = 0.02;  // polygon tolerance as a share of the perimeter: 0 to 0.5
    int cleanupPasses = 2;          // erosions, then as many dilations: 0 to 10

    // The one place the default upper bound is written.
    static constexpr double kDefaultMaxArea = 10000.0;

    // Throws std::invalid_argument naming the field (snake_case) and the range it breaks.
    void validate() const;
};

// A detector built once from its parameters; detect and draw keep no state between calls,
// so one Detector may be used from several threads at once.
class Detector {
  public:
    explicit Detector(DetectorParams params = {});  // validates; throws std::invalid_argument
    [[nodiscard]] const DetectorParams& params() const { return params_; }
    [[nodiscard]] std::vector<Shape> detect(const cv::Mat& bgr) const;
    static void draw(cv::Mat& bgr, const std::vector<Shape>& shapes);

  private:
    DetectorParams params_;
};

// The classic detector's binary image, the one its contours are traced on (for tuning).
cv::Mat binarise(const cv::Mat& bgr, const DetectorParams& params = {});

}  // namespace shapemark
