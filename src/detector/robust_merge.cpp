#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark::robust {

namespace {

// A candidate's hull with its bounding box and area, worked out once: merging compares every
// candidate with every group, and recomputing them per pair cost more than the overlaps.
struct Outline {
    const std::vector<cv::Point2f>* hull = nullptr;
    cv::Rect box;
    double area = 0.0;
};

Outline outlineOf(const std::vector<cv::Point2f>& hull) {
    return {&hull, cv::boundingRect(hull), cv::contourArea(hull)};
}

double intersection(const Outline& a, const Outline& b) {
    if ((a.box & b.box).area() == 0) {
        return 0.0;
    }
    std::vector<cv::Point2f> common;
    return static_cast<double>(cv::intersectConvexConvex(*a.hull, *b.hull, common, true));
}

double iou(const Outline& a, const Outline& b) {
    const double common = intersection(a, b);
    const double both = a.area + b.area - common;
    return both > 0.0 ? common / both : 0.0;
}

// Whether two outlines overlap by at least `share` of their union. The overlap is at most the
// smaller area, so outlines of too unequal areas fail without intersecting them; the bound is
// widened by far more than the single-precision rounding of the intersection's corners.
bool overlapAtLeast(const Outline& a, const Outline& b, double share) {
    const double most = std::min(a.area, b.area) * 1.001 + 1.0;
    if (most < share * (a.area + b.area - most)) {
        return false;
    }
    return iou(a, b) >= share;
}

// Whether another member of the group than `c`, of the same region, fails as well, and every
// such member fails as jagged.
bool sameJaggedRegion(const std::vector<const Candidate*>& group, const Candidate* c) {
    bool other = false;
    for (const Candidate* d : group) {
        if (d->region == c->region && !d->passes && !d->cut) {
            if (!d->jagged) {
                return false;
            }
            other = other || d != c;
        }
    }
    return other;
}

// Whether the shape was seen on the colour-opponent planes only: lightness does not tell it
// from its ground.
bool seenInColourOnly(const std::vector<const Candidate*>& group) {
    return std::all_of(group.begin(), group.end(),
                       [](const Candidate* c) { return colourPlane(c->plane); });
}

// A member too small on its colour-opponent plane to tell corners from curves there.
bool tooCoarse(const Candidate* c) {
    return std::sqrt(c->area) * planeUnit(c->plane) < tuning::kCoarseColourSize;
}

// The group's polygon: the vertex count most of its passing members agree on, and the largest
// of those, which is the outer edge. A ragged region that a passing piece was cut out of does
// not vote: it failed for the texture joined to it, which the piece is free of. A region and
// the pieces cut out of it that all fail as jagged vote once: the texture that makes the
// region jagged makes its pieces so too, one piece of evidence. Failures of another kind
// (curving, a drifting vertex count) each count: a circle joined to texture fails so at every
// cut. In a group seen on the colour planes only, a member too coarse there to judge does not
// vote against one that passes.
const Candidate* representative(const std::vector<const Candidate*>& group) {
    std::map<std::size_t, int> votes;
    int passing = 0;
    int abstaining = 0;
    std::vector<std::size_t> counted;  // regions whose jagged failures have voted
    const bool colourOnly = seenInColourOnly(group);
    for (const Candidate* c : group) {
        if (c->passes) {
            ++votes[c->polygon.size()];
            ++passing;
        } else if (c->cut || (colourOnly && tooCoarse(c))) {
            ++abstaining;
        } else if (sameJaggedRegion(group, c)) {
            if (std::find(counted.begin(), counted.end(), c->region) != counted.end()) {
                ++abstaining;
            } else {
                counted.push_back(c->region);
            }
        }
    }
    if (passing == 0 || 2 * passing < static_cast<int>(group.size()) - abstaining) {
        return nullptr;  // mostly a curve, a concave or a ragged outline
    }
    const auto best =
        std::max_element(votes.begin(), votes.end(),
                         [](const auto& a, const auto& b) { return a.second < b.second; });
    const auto largest = std::find_if(group.begin(), group.end(), [&](const Candidate* c) {
        return c->passes && c->polygon.size() == best->first;
    });
    return largest == group.end() ? nullptr : *largest;
}

}  // namespace

void toWorkingPixels(Candidate& candidate, double unit) {
    if (unit == 1.0) {
        return;
    }
    std::transform(
        candidate.polygon.begin(), candidate.polygon.end(), candidate.polygon.begin(),
        [&](const cv::Point& p) { return cv::Point(cvRound(p.x / unit), cvRound(p.y / unit)); });
    std::transform(candidate.hull.begin(), candidate.hull.end(), candidate.hull.begin(),
                   [&](const cv::Point2f& p) { return p / unit; });
    candidate.area /= unit * unit;
}

double convexIou(const std::vector<cv::Point2f>& a, const std::vector<cv::Point2f>& b) {
    return iou(outlineOf(a), outlineOf(b));
}

std::vector<Candidate> mergeCandidates(std::vector<Candidate> candidates) {
    std::sort(candidates.begin(), candidates.end(),
              [](const Candidate& a, const Candidate& b) { return a.area > b.area; });
    std::vector<Outline> outlines(candidates.size());
    std::transform(candidates.begin(), candidates.end(), outlines.begin(),
                   [](const Candidate& c) { return outlineOf(c.hull); });
    // Each group is seeded by its largest member.
    std::vector<std::vector<const Candidate*>> groups;
    std::vector<std::size_t> seeds;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const auto seed = std::find_if(seeds.begin(), seeds.end(), [&](std::size_t s) {
            return overlapAtLeast(outlines[s], outlines[i], tuning::kSameShapeIou);
        });
        if (seed == seeds.end()) {
            seeds.push_back(i);
            groups.push_back({&candidates[i]});
        } else {
            groups[static_cast<std::size_t>(seed - seeds.begin())].push_back(&candidates[i]);
        }
    }
    std::vector<Candidate> kept;
    // Room for every group, so that the hulls of the polygons kept stay where they are.
    kept.reserve(groups.size());
    std::vector<Outline> keptOutlines;
    for (const auto& group : groups) {
        const Candidate* best = representative(group);
        if (best == nullptr) {
            continue;
        }
        const Outline outline = outlines[static_cast<std::size_t>(best - candidates.data())];
        const bool inside =
            std::any_of(keptOutlines.begin(), keptOutlines.end(), [&](const Outline& outer) {
                return intersection(outer, outline) >= tuning::kInsideShare * outline.area;
            });
        if (inside) {
            continue;
        }
        const Candidate* stroke = strokeAround(*best, candidates);
        if (stroke == nullptr) {
            kept.push_back(*best);
        } else if (std::optional<Candidate> drawn = strokeOutline(*best, *stroke)) {
            kept.push_back(std::move(*drawn));
        } else {
            continue;
        }
        keptOutlines.push_back(outlineOf(kept.back().hull));
    }
    return kept;
}

}  // namespace shapemark::robust
