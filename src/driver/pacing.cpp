#include "driver/pacing.hpp"

namespace shapemark {

namespace {
// Without a usable frame rate, wait as for the commonest one, 25 frames per second.
constexpr int kDefaultWaitMs = 40;
}  // namespace

int pacingWaitMs(int fps) {
    if (fps <= 0) {
        return kDefaultWaitMs;
    }
    return fps > 1000 ? kShortestWaitMs : 1000 / fps;
}

int Pacer::waitMs(Clock::time_point now) {
    if (!started_) {
        due_ = now;  // the first frame is due when it is first shown
        started_ = true;
    }
    const Clock::time_point nextDue = due_ + period_;
    const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(nextDue - now);
    if (remaining.count() < kShortestWaitMs) {
        due_ = now + std::chrono::milliseconds(kShortestWaitMs);
        return kShortestWaitMs;
    }
    due_ = nextDue;
    return static_cast<int>(remaining.count());
}

}  // namespace shapemark
