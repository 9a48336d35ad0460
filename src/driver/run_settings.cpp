#include "driver/run_setup.hpp"

namespace shapemark {

int truncateProperty(double value) {
    // The int range, as doubles: anything outside, NaN included, fails both comparisons.
    if (!(value > -2147483649.0 && value < 2147483648.0)) {
        return 0;
    }
    return static_cast<int>(value);
}

double recordingRate(double inputFps) {
    const int whole = truncateProperty(inputFps);
    return whole == 0 && inputFps > 0 && inputFps < 1 ? inputFps : static_cast<double>(whole);
}

}  // namespace shapemark
