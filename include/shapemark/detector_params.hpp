// The detector's parameters: plain data with documented defaults, handed to a Detector.
// The defaults are the tool's own: a Detector built from DetectorParams{} gives exactly
// detect(bgr, 0).
#pragma once

#include <opencv2/core.hpp>

#include <optional>
#include <vector>

#include <shapemark/export.hpp>
#include <shapemark/shapemark.hpp>

namespace shapemark {

enum class DetectorKind {
    Classic,  // one adaptive threshold of the grey image; the tool's default
    Robust,   // several colour planes and levels, one polygon per physical shape
};

struct DetectorParams {
    // The one place the default upper bound of the area window is written. It was once the only
    // bound: contours that large were taken for background or frame-sized blobs, which holds at
    // the small frame sizes the tool was first used on, not on 1080p footage.
    static constexpr double kDefaultMaxArea = 10000.0;
    // Triangles to octagons; beyond 8 vertices a polygon is taken for a circle-like blob.
    static constexpr int kFewestVertices = 3;
    static constexpr int kMostVertices = 8;

    DetectorKind detector = DetectorKind::Classic;  // YAML `detector`: classic | robust
    // The area window, in square pixels of contour area: a shape is kept when
    // minArea < area < maxArea. minArea is AREASIZE (any int); maxArea is a positive number or
    // none (no upper bound). A window with maxArea <= minArea is valid and keeps nothing.
    int minArea = 0;
    std::optional<double> maxArea = kDefaultMaxArea;
    // Vertex range, within 3 to 8 and minVertices <= maxVertices.
    int minVertices = kFewestVertices;
    int maxVertices = kMostVertices;
    // The classic detector's own values.
    // Adaptive threshold window, odd, 3 to 1001: 71 pixels is wider than the shapes sought
    // (under 100 pixels across), so the local mean follows the lighting, not the shape itself.
    int thresholdBlock = 71;
    // Grey levels a pixel must lie below its local mean, 0 to 255: 15 keeps sensor noise and
    // soft shading out of the binary image.
    double thresholdOffset = 15.0;
    int medianAperture = 3;  // median filter before the threshold: 1 (off) or odd 3 to 7
    // Douglas-Peucker tolerance as a share of the closed perimeter, 0 to 0.5: 2% keeps real
    // corners and drops the staircase of a digitised edge.
    double approxTolerance = 0.02;
    // 3x3 erosions, then as many dilations, of the light areas, 0 to 10: 2 remove light specks
    // and strips thinner than 5 pixels.
    int cleanupPasses = 2;

    // Throws std::invalid_argument naming the field (snake_case) and the range it breaks.
    SHAPEMARK_API void validate() const;
};

// A detector built once from its parameters; detect and draw keep no state between calls,
// so one Detector may be used from several threads at once.
class SHAPEMARK_API Detector {
  public:
    // Validates; throws std::invalid_argument for a bad value or a detector not available.
    explicit Detector(const DetectorParams& params = {});
    [[nodiscard]] const DetectorParams& params() const { return params_; }
    // As shapemark::detect, by these parameters.
    [[nodiscard]] std::vector<Shape> detect(const cv::Mat& bgr) const;
    static void draw(cv::Mat& bgr, const std::vector<Shape>& shapes);

  private:
    DetectorParams params_;
};

// The classic detector's binary image, the one its contours are traced on: 8-bit, 0 where a
// pixel is threshold_offset darker than its surroundings (the shapes), 255 elsewhere. For
// tuning threshold_block, threshold_offset, median_aperture and cleanup_passes.
// Validates `params`; takes the same images as detect.
SHAPEMARK_API cv::Mat binarise(const cv::Mat& bgr, const DetectorParams& params = {});

}  // namespace shapemark
