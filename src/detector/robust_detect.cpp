#include "detector/robust_detect.hpp"

#include <opencv2/core/utility.hpp>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

#include "detector/detector.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark {

std::vector<Shape> detectRobust(const cv::Mat& bgr, const DetectorParams& params) {
    requireColourImage(bgr, "shapemark::detectRobust");
    const double scale = std::min(
        1.0, static_cast<double>(robust::tuning::kWorkingWidth) / std::max(bgr.cols, bgr.rows));
    const double toWorking = scale * scale;  // areas
    const double minArea = params.minArea * toWorking;
    const double maxArea =
        params.maxArea ? *params.maxArea * toWorking : std::numeric_limits<double>::infinity();
    const std::vector<cv::Mat> planes = robust::candidatePlanes(bgr, scale);

    // Every plane at every window, one task each; the colour planes carry less range.
    const std::size_t windows = robust::tuning::kWindows.size();
    const std::size_t tasks = planes.size() * windows;
    std::vector<std::vector<robust::Candidate>> found(tasks);
    // The library hands bodies over through oneTBB's own atomics, which a race checker cannot
    // see: each body's release here and the acquire after the loop show it that the bodies'
    // work is done before their results are read and the planes freed.
    std::atomic<int> bodiesDone{0};
    cv::parallel_for_(cv::Range(0, static_cast<int>(tasks)), [&](const cv::Range& range) {
        for (int t = range.start; t < range.end; ++t) {
            const std::size_t plane = static_cast<std::size_t>(t) / windows;
            const int window = robust::tuning::kWindows[static_cast<std::size_t>(t) % windows];
            // Searched in the plane's own pixels, reported in working pixels.
            const double unit = robust::planeUnit(plane);
            const int planeWindow = 2 * static_cast<int>(std::lround(window * unit / 2.0)) + 1;
            const cv::Mat contrast = robust::localContrast(planes[plane], planeWindow);
            for (const double signedOffset : robust::planeOffsets(plane)) {
                std::vector<robust::Contour> contours;
                robust::outerContours(contrast, signedOffset, minArea * unit * unit,
                                      maxArea * unit * unit, unit, contours);
                std::vector<robust::Candidate>& list = found[static_cast<std::size_t>(t)];
                // The whole region being judged, by its index in `list` (made unique below):
                // its pieces carry it too.
                std::size_t region = 0;
                // Adds a candidate of the region being judged, in working pixels.
                auto record = [&](robust::Candidate c, bool split) {
                    robust::toWorkingPixels(c, unit);
                    c.plane = plane;
                    c.window = window;
                    c.offset = signedOffset;
                    c.split = split;
                    c.region = region;
                    list.push_back(std::move(c));
                };
                const cv::Rect frame(cv::Point(), planes[plane].size());
                // Keeps the candidate a contour makes; says whether it runs along an edge
                // but is no shape, as a shape joined to texture is: such a region is cut,
                // and a piece that passes stands for it when the candidates vote.
                auto keep = [&](const robust::Contour& contour, bool split) {
                    robust::Candidate c =
                        split ? robust::pieceCandidate(contour, planes[plane], frame, unit,
                                                       params.minVertices, params.maxVertices)
                              : robust::wholeCandidate(contour, planes[plane], frame, unit,
                                                       params.minVertices, params.maxVertices);
                    if (!c.onEdge && !split) {
                        c = robust::openRingCandidate(contour, planes[plane], frame, unit,
                                                      planeWindow, params.minVertices,
                                                      params.maxVertices);
                    }
                    const bool ragged = c.onEdge && !c.passes;
                    if (c.onEdge) {
                        record(std::move(c), split);
                    }
                    return ragged;
                };
                for (const robust::Contour& contour : contours) {
                    region = list.size();
                    if (keep(contour, false)) {
                        const std::size_t whole = list.size() - 1;
                        for (const robust::Contour& piece : robust::splitRagged(
                                 contrast, contour, signedOffset, minArea * unit * unit, unit)) {
                            keep(piece, true);
                        }
                        list[whole].cut = std::any_of(
                            list.begin() + static_cast<std::ptrdiff_t>(whole) + 1, list.end(),
                            [](const robust::Candidate& piece) { return piece.passes; });
                        // A region wider than the window that texture makes jagged, and that no
                        // cut frees, may still hold a shape's flat fill: that stands for it.
                        if (!list[whole].cut && list[whole].jagged) {
                            robust::Candidate c = robust::filledRingCandidate(
                                contour, planes[plane], frame, unit, planeWindow,
                                params.minVertices, params.maxVertices);
                            if (c.passes) {
                                record(std::move(c), false);
                                list[whole].cut = true;
                            }
                        }
                    }
                }
            }
        }
        bodiesDone.fetch_add(1, std::memory_order_release);
    });
    (void)bodiesDone.load(std::memory_order_acquire);
    std::vector<robust::Candidate> all;
    for (auto& list : found) {
        // A region's index in `all` names it and its pieces.
        for (robust::Candidate& c : list) {
            c.region += all.size();
        }
        all.insert(all.end(), std::make_move_iterator(list.begin()),
                   std::make_move_iterator(list.end()));
    }

    std::vector<Shape> shapes;
    const std::vector<robust::Candidate> kept = robust::mergeCandidates(std::move(all));
    for (const robust::Candidate& c : kept) {
        Shape shape;
        // A small downscaled shape other than a triangle is traced again at full resolution,
        // and dropped when it is no polygon there (a circle); any other keeps its downscaled
        // corners. A large shape is not: it has corners enough at the working scale, and its
        // trace costs the most.
        const std::optional<robust::Candidate> refined =
            scale < 1.0 && std::sqrt(c.area) < robust::tuning::kRefineSize &&
                    c.polygon.size() >= robust::tuning::kMinRefinedVertices
                ? robust::refineAtFullScale(bgr, c, scale, params.minVertices, params.maxVertices)
                : std::nullopt;
        if (refined && refined->passes) {
            shape.polygon = refined->polygon;
            shape.area = refined->area;
        } else if (refined) {
            continue;
        } else {
            for (const cv::Point& p : c.polygon) {
                shape.polygon.emplace_back(cvRound(p.x / scale), cvRound(p.y / scale));
            }
            shape.area = c.area / toWorking;
        }
        shape.centre = polygonCentre(shape.polygon);
        shapes.push_back(std::move(shape));
    }
    return shapes;
}

}  // namespace shapemark
