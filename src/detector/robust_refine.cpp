#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

#include "detector/contour_hull.hpp"
#include "detector/lab_planes.hpp"
#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"
#include "detector/smooth_plane.hpp"

namespace shapemark::robust {

std::optional<Candidate> refineAtFullScale(const cv::Mat& bgr, const Candidate& found, double scale,
                                           int minVertices, int maxVertices) {
    // No window wider than the shape is needed, and the box traced grows with the window.
    const cv::Rect working = cv::boundingRect(found.hull);
    const int across = 2 * (std::max(working.width, working.height) / 2) + 1;
    const int narrowed = std::min(found.window, std::max(tuning::kMaxRefineWindow, across));
    const int window = 2 * static_cast<int>(std::lround(narrowed / scale / 2.0)) + 1;
    const cv::Rect around(
        cv::Point(cvFloor(working.x / scale), cvFloor(working.y / scale)),
        cv::Point(cvCeil(working.br().x / scale), cvCeil(working.br().y / scale)));
    const int margin = window / 2 + tuning::kBorderMargin + 2;
    const cv::Rect box = (around + cv::Size(2 * margin, 2 * margin) - cv::Point(margin, margin)) &
                         cv::Rect(0, 0, bgr.cols, bgr.rows);
    cv::Mat source =
        labPlane(bgr(box), found.plane == kShadowPlane ? 0 : static_cast<int>(found.plane));
    if (colourPlane(found.plane)) {
        source = chromaInShadow(source, labPlane(bgr(box), 0));
    }
    cv::Mat plane = smoothPlane(source, tuning::kSmoothSigma);
    if (found.plane == kShadowPlane) {
        plane = lightnessInShadow(plane);
    }
    const cv::Mat contrast = localContrast(plane, window);
    const std::vector<Contour> contours = allOuterContours(contrast, found.offset);
    // The outer contour around the candidate's centre, whole inside the box.
    const cv::Moments m = cv::moments(found.hull);
    if (m.m00 <= 0.0) {
        return std::nullopt;
    }
    const cv::Point2f centre(static_cast<float>(m.m10 / m.m00 / scale - box.x),
                             static_cast<float>(m.m01 / m.m00 / scale - box.y));
    const Contour* best = nullptr;
    double bestArea = 0.0;
    for (const Contour& contour : contours) {
        const double area = contourAreaOf(contour);
        if (area > bestArea && cv::pointPolygonTest(contour, centre, false) >= 0) {
            best = &contour;
            bestArea = area;
        }
    }
    if (best == nullptr) {
        return std::nullopt;
    }
    // The piece of a ragged region around the centre, as large as the candidate was; none
    // when texture, not a shape, was cut out.
    const double minPiece = tuning::kSamePiece * found.area / (scale * scale);
    auto pieceAround = [&](const Contour& region) {
        Contour piece;
        for (Contour& c : splitRagged(contrast, region, found.offset, 0.0, 1.0 / scale)) {
            if (cv::pointPolygonTest(c, centre, false) >= 0 && contourAreaOf(c) >= minPiece) {
                piece = std::move(c);
            }
        }
        return piece;
    };
    Contour piece;
    if (found.split) {
        // Cut out again as it was on the working image.
        piece = pieceAround(*best);
        if (piece.empty()) {
            return Candidate{};
        }
        best = &piece;
    }
    // A trace that overlaps the candidate too little is another region (texture the shape
    // touches only at full resolution): the working-scale corners stand.
    Contour tracedHull;
    contourHull(*best, tracedHull);
    std::vector<cv::Point2f> candidateHull(found.hull.size());
    std::transform(found.hull.begin(), found.hull.end(), candidateHull.begin(),
                   [&](const cv::Point2f& p) { return p / scale - cv::Point2f(box.tl()); });
    if (convexIou(std::vector<cv::Point2f>(tracedHull.begin(), tracedHull.end()), candidateHull) <
        tuning::kSameTrace) {
        return std::nullopt;
    }
    // Whole inside the box, bar the sides the frame's border cuts.
    const cv::Rect traced = cv::boundingRect(*best);
    const int m2 = tuning::kBorderMargin;
    if ((traced.x < m2 && box.x > 0) || (traced.y < m2 && box.y > 0) ||
        (traced.br().x > box.width - m2 && box.br().x < bgr.cols) ||
        (traced.br().y > box.height - m2 && box.br().y < bgr.rows)) {
        return std::nullopt;
    }
    const cv::Rect frame(-box.tl(), bgr.size());
    Candidate refined =
        found.split ? pieceCandidate(*best, plane, frame, 1.0 / scale, minVertices, maxVertices)
                    : wholeCandidate(*best, plane, frame, 1.0 / scale, minVertices, maxVertices);
    if (!found.split && refined.onEdge && !refined.passes) {
        // At full resolution the shape may touch texture it was clear of on the working image.
        const Contour cut = pieceAround(*best);
        if (!cut.empty()) {
            Candidate again =
                pieceCandidate(cut, plane, frame, 1.0 / scale, minVertices, maxVertices);
            if (again.passes) {
                refined = std::move(again);
            }
        }
    }
    // Back from the box to frame pixels.
    std::transform(refined.polygon.begin(), refined.polygon.end(), refined.polygon.begin(),
                   [&](const cv::Point& p) { return p + box.tl(); });
    std::transform(refined.hull.begin(), refined.hull.end(), refined.hull.begin(),
                   [&](const cv::Point2f& p) { return p + cv::Point2f(box.tl()); });
    return refined;
}

}  // namespace shapemark::robust
