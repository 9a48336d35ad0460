// Step 5: a lost track found again by what its shape looks like.
#pragma once

#include <shapemark/shapemark.hpp>

#include <opencv2/core.hpp>

#include <vector>

#include "track/track.hpp"

namespace shapemark::track {

// Where and how step 5 looks: this frame, the frame before it, and the parameters it uses.
struct Reidentification {
    long long frameNumber = 0;
    long long previousFrame = 0;
    double centreGate = 0.0;
    double colourWeight = 0.0;
};

// Step 5: each confirmed track lost since before the last frame (`previousFrame`) and still
// unpaired may take one unpaired shape that looks like it (the same vertex count, both whole;
// areas within kReidentifiedArea of each other) and does not touch the frame's border,
// within reach of where the track was last seen (its own radius plus the distance it goes at
// its speed in the input frames since, up to the centre gate) or within its own radius of where
// it is expected (`expected`, one per track): a shape missed on a straight path comes back where
// its motion leads, farther from where it went than any reach from there that would not take
// shapes that merely look like it. Pairs are chosen one to one, the nearest and likest first
// (least total cost). Fills columnOfRow; returns which rows it paired.
std::vector<bool> reidentify(const std::vector<Track>& tracks,
                             const std::vector<cv::Point2d>& expected,
                             const std::vector<Shape>& shapes, const std::vector<double>& areas,
                             const std::vector<bool>& enters,
                             const std::vector<cv::Scalar>& colours, const Reidentification& at,
                             std::vector<int>& columnOfRow);

}  // namespace shapemark::track
