#include "detector/polygon_fits.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace shapemark::robust {

namespace {

// A stretch of the contour from `start` to `end` (indices, running on past the last point to
// the first), with what decides whether it is split: its farthest point from the chord, the
// distance times the chord's length, and the chord's squared length.
struct Stretch {
    int start = 0;
    int end = 0;
    bool single = false;  // no point between its ends
    double farthest = 0.0;
    double chord2 = 0.0;
    int split = 0;
    int first = -1;  // its two halves, by index in the tree, once measured
    int second = -1;
};

class StretchTree {
  public:
    explicit StretchTree(const std::vector<cv::Point>& contour)
        : points_(contour.data()), count_(static_cast<int>(contour.size())) {
        stretches_.reserve(64);
        stack_.reserve(32);
    }

    int add(int start, int end) {
        Stretch s;
        s.start = start;
        s.end = end;
        const cv::Point a = points_[start];
        const cv::Point b = points_[end];
        int pos = next(start);
        s.single = pos == end;
        if (!s.single) {
            // The library's arithmetic, in its order.
            const double dx = b.x - a.x;
            const double dy = b.y - a.y;
            while (pos != end) {
                const cv::Point p = points_[pos];
                pos = next(pos);
                const double distance = std::fabs((p.y - a.y) * dx - (p.x - a.x) * dy);
                if (distance > s.farthest) {
                    s.farthest = distance;
                    s.split = (pos + count_ - 1) % count_;
                }
            }
            s.chord2 = dx * dx + dy * dy;
        }
        stretches_.push_back(s);
        return static_cast<int>(stretches_.size()) - 1;
    }

    // Appends the start of every stretch the fit at squared tolerance eps2 keeps, in order.
    void fit(int root, double eps2, std::vector<cv::Point>& out) {
        stack_.clear();
        stack_.push_back(root);
        while (!stack_.empty()) {
            const int k = stack_.back();
            stack_.pop_back();
            const Stretch& s = stretches_[static_cast<std::size_t>(k)];
            if (s.single || s.farthest * s.farthest <= eps2 * s.chord2) {
                out.push_back(points_[s.start]);
                continue;
            }
            if (s.first < 0) {
                const int start = s.start;
                const int split = s.split;
                const int end = s.end;
                const int first = add(start, split);
                const int second = add(split, end);
                stretches_[static_cast<std::size_t>(k)].first = first;
                stretches_[static_cast<std::size_t>(k)].second = second;
            }
            const Stretch& measured = stretches_[static_cast<std::size_t>(k)];
            stack_.push_back(measured.second);
            stack_.push_back(measured.first);
        }
    }

  private:
    [[nodiscard]] int next(int pos) const { return pos + 1 >= count_ ? 0 : pos + 1; }

    const cv::Point* points_;
    int count_;
    std::vector<Stretch> stretches_;
    std::vector<int> stack_;
};

// The library's last stage: drops a vertex lying almost on the line through its neighbours.
void dropStraightVertices(std::vector<cv::Point>& dst, double eps2) {
    const int count = static_cast<int>(dst.size());
    int newCount = count;
    auto read = [&](int& pos) {
        const cv::Point p = dst[static_cast<std::size_t>(pos)];
        if (++pos >= count) {
            pos = 0;
        }
        return p;
    };
    int pos = count - 1;
    cv::Point start = read(pos);
    int wpos = pos;
    cv::Point pt = read(pos);
    for (int i = 0; i < count && newCount > 2; i++) {
        const cv::Point end = read(pos);
        const double dx = end.x - start.x;
        const double dy = end.y - start.y;
        const double dist = std::fabs((pt.x - start.x) * dy - (pt.y - start.y) * dx);
        const double successive =
            (pt.x - start.x) * (end.x - pt.x) + (pt.y - start.y) * (end.y - pt.y);
        if (dist * dist <= 0.5 * eps2 * (dx * dx + dy * dy) && dx != 0 && dy != 0 &&
            successive >= 0) {
            newCount--;
            dst[static_cast<std::size_t>(wpos)] = start = end;
            if (++wpos >= count) {
                wpos = 0;
            }
            pt = read(pos);
            i++;
            continue;
        }
        dst[static_cast<std::size_t>(wpos)] = start = pt;
        if (++wpos >= count) {
            wpos = 0;
        }
        pt = end;
    }
    dst.resize(static_cast<std::size_t>(newCount));
}

}  // namespace

void closedPolygonFits(const std::vector<cv::Point>& contour, const std::vector<double>& tolerances,
                       std::vector<std::vector<cv::Point>>& polygons) {
    polygons.resize(tolerances.size());
    const int count = static_cast<int>(contour.size());
    const bool unfit = std::any_of(tolerances.begin(), tolerances.end(),
                                   [](double eps) { return eps < 0.0 || !(eps < 1e30); });
    if (count == 0 || unfit) {
        // What the library does with these (no fit, or its error), left to it.
        for (std::size_t i = 0; i < tolerances.size(); ++i) {
            cv::approxPolyDP(contour, polygons[i], tolerances[i], true);
        }
        return;
    }
    // 1. Two far points: the farthest from the first point, then from that one, then again.
    int pos = 0;
    int farStart = 0;
    double farthest = 0.0;
    cv::Point start;
    for (int iteration = 0; iteration < 3; ++iteration) {
        farthest = 0.0;
        pos = (pos + farStart) % count;
        start = contour[static_cast<std::size_t>(pos)];
        if (++pos >= count) {
            pos = 0;
        }
        for (int j = 1; j < count; ++j) {
            const cv::Point p = contour[static_cast<std::size_t>(pos)];
            if (++pos >= count) {
                pos = 0;
            }
            const double dx = p.x - start.x;
            const double dy = p.y - start.y;
            const double dist = dx * dx + dy * dy;
            if (dist > farthest) {
                farthest = dist;
                farStart = j;
            }
        }
    }
    const int from = pos % count;
    const int to = (farStart + from) % count;
    StretchTree tree(contour);
    int there = -1;
    int back = -1;
    // Fitted into one buffer, then copied at their size: growing each polygon point by point
    // cost more in allocations than the fits.
    std::vector<cv::Point> fit;
    fit.reserve(64);
    for (std::size_t i = 0; i < tolerances.size(); ++i) {
        const double eps2 = tolerances[i] * tolerances[i];
        fit.clear();
        if (farthest <= eps2) {
            fit.push_back(start);
        } else {
            if (there < 0) {
                there = tree.add(from, to);
                back = tree.add(to, from);
            }
            tree.fit(there, eps2, fit);
            tree.fit(back, eps2, fit);
        }
        dropStraightVertices(fit, eps2);
        polygons[i].assign(fit.begin(), fit.end());
    }
}

}  // namespace shapemark::robust
