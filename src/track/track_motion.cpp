#include "track/track_motion.hpp"

#include <algorithm>
#include <cmath>
#include <complex>

namespace shapemark::track {

namespace {

// The share of a new heading in the smoothed rate of turn: enough to follow a curve, little
// enough that a shape clipped by an edge does not throw its track off.
constexpr double kTurnUpdate = 0.5;

// Below this speed, in pixels a frame, a heading is mostly the polygon's rounding.
constexpr double kSlowestTurning = 1.0;

// A quarter turn in 8 frames: sharper measured turns are noise.
constexpr double kSharpestTurn = 0.2;

}  // namespace

cv::Point2d travel(const Track& t, double frames) {
    const std::complex<double> velocity(t.velocity.x, t.velocity.y);
    std::complex<double> sum = velocity * frames;
    if (std::abs(t.turn) > 1e-9) {
        const std::complex<double> step = std::polar(1.0, t.turn);
        // velocity * (step + step^2 + ... + step^frames)
        sum = velocity * step * (1.0 - std::pow(step, frames)) / (1.0 - step);
    }
    return {sum.real(), sum.imag()};
}

cv::Point2d medianVelocity(Track& t, cv::Point2d measured) {
    const auto median = [](double a, double b, double c) {
        return std::max(std::min(a, b), std::min(std::max(a, b), c));
    };
    const cv::Point2d velocity = t.measured < 2
                                     ? measured
                                     : cv::Point2d(median(measured.x, t.steps[0].x, t.steps[1].x),
                                                   median(measured.y, t.steps[0].y, t.steps[1].y));
    t.steps[1] = t.steps[0];
    t.steps[0] = measured;
    t.measured = std::min(t.measured + 1, 2);
    return velocity;
}

void updateTurn(Track& t, cv::Point2d measured, double frames) {
    const double slowest = std::min(cv::norm(measured), cv::norm(t.velocity));
    if (slowest < kSlowestTurning) {
        t.turn = 0.0;
        return;
    }
    const double turned = std::atan2(t.velocity.cross(measured), t.velocity.dot(measured)) / frames;
    t.turn = std::clamp(t.turn + kTurnUpdate * (turned - t.turn), -kSharpestTurn, kSharpestTurn);
}

}  // namespace shapemark::track
