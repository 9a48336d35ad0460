#include "track/merged_shapes.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>

#include "track/assignment.hpp"
#include "track/shape_likeness.hpp"

namespace shapemark::track {

namespace {

// A track lost at most this many input frames (counted as in lostSince) may lie merged where its
// last shape was. Lost longer, its last place says little: a region passing over it is more
// often another shape's, and the region's track, carried on, loses its own shape's motion.
constexpr long long kLatelyLost = 3;

// A shape overlapping a track's last one, moved to where the track is expected, by this much is
// that shape again (as a shape matches a true one in the scores).
constexpr double kSameShape = 0.5;

// Whether `other` covers more of `region` than `holder` does (convex outlines: each shape's last
// outline, moved to where its track is expected). Learnt whole areas alone do not tell which of
// two shapes of about one size a region mostly is (shapes of 790 and 990 px² were learnt as 865
// and 854, and the region went to the wrong one); where each shape lies in it does. A track that
// took the region in the frame before covers all of it and keeps it.
bool coversMore(const FloatPolygon& region, const FloatPolygon& other, const FloatPolygon& holder) {
    return sharedArea(region, other) > sharedArea(region, holder);
}

// Whether the shape a track took last looked like its whole shape: neither a piece of it nor
// grown past it (merged with another). Only then does its last outline show where it lies.
bool tookWhole(const Track& t) {
    const double lastArea = cv::contourArea(t.outline);
    return !looksHidden(t, lastArea) && kHiddenShare * lastArea <= t.area;
}

// The track a shape is the whole shape of, or -1: of the tracks seen in the frame before
// (`previousFrame`) to which it looks whole, the one whose last outline, moved to where it is
// expected, it overlaps most, by at least kSameShape.
int ownerOf(const std::vector<Track>& tracks, const std::vector<cv::Point2d>& expected,
            cv::Point2d centre, const FloatPolygon& outline, double area, long long previousFrame) {
    int owner = -1;
    double best = kSameShape;
    for (std::size_t k = 0; k < tracks.size(); ++k) {
        const Track& t = tracks[k];
        if (t.lookOnly || t.lastSeen != previousFrame || looksHidden(t, area)) {
            continue;
        }
        const FloatPolygon moved = shifted(t.outline, expected[k] - t.centre);
        // Overlapping it by half, a shape of about its size has its centre inside it.
        if (!covers(moved, cv::Point2f(centre))) {
            continue;
        }
        const double overlap = intersectionOverUnion(moved, outline);
        if (overlap >= best) {
            best = overlap;
            owner = static_cast<int>(k);
        }
    }
    return owner;
}

}  // namespace

bool cameApart(const std::vector<Track>& tracks, std::size_t row,
               const std::vector<cv::Point2d>& expected, const std::vector<Shape>& shapes,
               const std::vector<FloatPolygon>& outlines, const std::vector<double>& areas,
               long long previousFrame) {
    const Track& t = tracks[row];
    const double area = cv::contourArea(t.outline);
    const FloatPolygon moved = shifted(t.outline, expected[row] - t.centre);
    // Only a neighbour seen in the frame the track's last shape was taken in shows that it was
    // no part of it.
    const bool seenBefore = t.lastSeen == previousFrame;
    int inside = 0;
    double total = 0.0;
    for (std::size_t j = 0; j < shapes.size(); ++j) {
        if (!covers(moved, cv::Point2f(shapes[j].centre))) {
            continue;
        }
        if (areas[j] >= kHiddenShare * area) {
            return false;
        }
        const int owner = seenBefore ? ownerOf(tracks, expected, shapes[j].centre, outlines[j],
                                               areas[j], previousFrame)
                                     : -1;
        if (owner < 0 || static_cast<std::size_t>(owner) == row) {
            ++inside;
            total += areas[j];
        }
    }
    return inside >= 2 && total >= kHiddenShare * area;
}

bool swallowsAnother(const FloatPolygon& outline, double area, double trackArea,
                     const std::vector<cv::Point2f>& unseen) {
    return area * kHiddenShare > trackArea &&
           std::any_of(unseen.begin(), unseen.end(),
                       [&outline](cv::Point2f at) { return covers(outline, at); });
}

std::vector<cv::Point2f> unseenPlaces(const std::vector<Track>& tracks,
                                      const std::vector<cv::Point2d>& expected,
                                      const std::vector<int>& columnOfRow, long long frameNumber) {
    std::vector<cv::Point2f> places =
        placesOf(tracks, expected, [&columnOfRow](std::size_t i) { return columnOfRow[i] < 0; });
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const Track& t = tracks[i];
        if (columnOfRow[i] < 0 && !t.lookOnly && frameNumber - lostSince(t) <= kLatelyLost) {
            places.emplace_back(t.seen);
        }
    }
    return places;
}

bool mergesLost(const FloatPolygon& outline, cv::Point2f own,
                const std::vector<cv::Point2f>& expected) {
    return covers(outline, own) &&
           std::count_if(expected.begin(), expected.end(),
                         [&outline](cv::Point2f at) { return covers(outline, at); }) >= 2;
}

void preferLarger(const std::vector<Track>& tracks, const std::vector<cv::Point2d>& expected,
                  const std::vector<FloatPolygon>& outlines, const std::vector<double>& areas,
                  const cv::Mat& cost, long long previousFrame, std::vector<int>& columnOfRow) {
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const int j = columnOfRow[i];
        if (j < 0) {
            continue;
        }
        // A track whose shape is larger takes the region, or one of about its size (whose last
        // shape was whole): then where each lies in the region decides.
        double largest = tracks[i].area / kSameSize;
        int larger = -1;
        // A holder missed too, last seen whole, yields to a track seen no earlier: that one took
        // the region while the holder was lost under it (scene 3 frame 111). A holder last seen as
        // a region too took the merge by turns with the other, and keeps the pairing's choice.
        const Track& holder = tracks[i];
        const long long seenSince =
            holder.lastSeen < previousFrame && tookWhole(holder) ? holder.lastSeen : previousFrame;
        for (std::size_t k = 0; k < tracks.size(); ++k) {
            const Track& t = tracks[k];
            const std::vector<cv::Point2f> place{cv::Point2f(expected[k])};
            if (columnOfRow[k] < 0 && !t.lookOnly && t.area > largest &&
                (t.area > tracks[i].area || tookWhole(t)) && t.lastSeen >= seenSince &&
                cost.at<double>(static_cast<int>(k), j) < kForbidden &&
                swallowsAnother(outlines[j], areas[j], tracks[i].area, place) &&
                coversMore(outlines[j], shifted(t.outline, expected[k] - t.centre),
                           shifted(tracks[i].outline, expected[i] - tracks[i].centre))) {
                largest = t.area;
                larger = static_cast<int>(k);
            }
        }
        if (larger >= 0) {
            columnOfRow[larger] = j;
            columnOfRow[i] = -1;
        }
    }
}

void preferCameOut(const std::vector<Track>& tracks, const std::vector<double>& areas,
                   const std::vector<bool>& enters, const cv::Mat& cost, long long previousFrame,
                   double shapeWeight, std::vector<int>& columnOfRow) {
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const Track& holder = tracks[i];
        const int j = columnOfRow[i];
        if (j < 0 || holder.lastSeen == previousFrame || enters[j] ||
            !looksHidden(holder, areas[j])) {
            continue;
        }
        const auto row = static_cast<int>(i);
        const double off = sizeUnlikeness(areas[j], holder.area);
        double cheapest = kForbidden;
        int other = -1;
        for (std::size_t k = 0; k < tracks.size(); ++k) {
            const Track& t = tracks[k];
            const double pairCost = cost.at<double>(static_cast<int>(k), j);
            if (columnOfRow[k] >= 0 || t.lookOnly || t.lastCovered <= t.lastSeen ||
                pairCost >= cheapest || looksHidden(t, areas[j]) ||
                areas[j] > kMergedGrowth * t.area ||
                pairCost - cost.at<double>(row, j) >=
                    shapeWeight * (off - sizeUnlikeness(areas[j], t.area))) {
                continue;
            }
            cheapest = pairCost;
            other = static_cast<int>(k);
        }
        if (other >= 0) {
            columnOfRow[other] = j;
            columnOfRow[i] = -1;
        }
    }
}

}  // namespace shapemark::track
