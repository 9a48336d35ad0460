#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <map>

#include "detector/robust_detect.hpp"
#include "detector/robust_tuning.hpp"

namespace shapemark::robust {

namespace {

double intersection(const std::vector<cv::Point2f>& a, const std::vector<cv::Point2f>& b) {
    if (!(cv::boundingRect(a) & cv::boundingRect(b)).area()) {
        return 0.0;
    }
    std::vector<cv::Point2f> common;
    return static_cast<double>(cv::intersectConvexConvex(a, b, common, true));
}

// The group's polygon: the vertex count most of its passing members agree on, and the largest
// of those, which is the outer edge.
const Candidate* representative(const std::vector<const Candidate*>& group) {
    std::map<std::size_t, int> votes;
    int passing = 0;
    for (const Candidate* c : group) {
        if (c->passes) {
            ++votes[c->polygon.size()];
            ++passing;
        }
    }
    if (2 * passing < static_cast<int>(group.size())) {
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
    const double common = intersection(a, b);
    const double both = cv::contourArea(a) + cv::contourArea(b) - common;
    return both > 0.0 ? common / both : 0.0;
}

std::vector<Candidate> mergeCandidates(std::vector<Candidate> candidates) {
    std::sort(candidates.begin(), candidates.end(),
              [](const Candidate& a, const Candidate& b) { return a.area > b.area; });
    // Each group is seeded by its largest member.
    std::vector<std::vector<const Candidate*>> groups;
    for (const Candidate& c : candidates) {
        auto group = std::find_if(groups.begin(), groups.end(), [&](const auto& g) {
            return convexIou(g.front()->hull, c.hull) >= tuning::kSameShapeIou;
        });
        if (group == groups.end()) {
            groups.push_back({&c});
        } else {
            group->push_back(&c);
        }
    }
    std::vector<Candidate> kept;
    for (const auto& group : groups) {
        const Candidate* best = representative(group);
        if (best == nullptr) {
            continue;
        }
        const bool inside = std::any_of(kept.begin(), kept.end(), [&](const Candidate& outer) {
            return intersection(outer.hull, best->hull) >=
                   tuning::kInsideShare * cv::contourArea(best->hull);
        });
        if (!inside) {
            kept.push_back(*best);
        }
    }
    return kept;
}

}  // namespace shapemark::robust
