#include <cmath>

#include "driver/run_setup.hpp"

namespace shapemark {

namespace {
// Without a usable frame rate, wait as for the commonest one, 25 frames per second.
constexpr int kDefaultWaitMs = 40;
// The shortest wait that still hands the windows their events: 0 would mean "for ever".
constexpr int kShortestWaitMs = 1;
}  // namespace

int truncateProperty(double value) {
    // The int range, as doubles: anything outside, NaN included, fails both comparisons.
    if (!(value > -2147483649.0 && value < 2147483648.0)) {
        return 0;
    }
    return static_cast<int>(value);
}

int pacingWaitMs(int fps) {
    if (fps <= 0) {
        return kDefaultWaitMs;
    }
    return fps > 1000 ? kShortestWaitMs : 1000 / fps;
}

}  // namespace shapemark
