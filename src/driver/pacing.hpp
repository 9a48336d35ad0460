// Pacing of a windowed run: processed frames one frame period apart.
#pragma once

#include <chrono>

namespace shapemark {

// The shortest wait that still hands the windows their events: 0 would mean "for ever". A source
// that delivers at its own rate waits this long.
constexpr int kShortestWaitMs = 1;

// Milliseconds of one frame period of the input, as the key wait takes it: 1000/fps, at
// least 1 (0 would mean "for ever"), and 40 when the input tells no usable rate.
int pacingWaitMs(int fps);

// Deadline pacing: the wait after a processed frame is what remains of its frame period,
// counted from when the frame was due, so the work does not add to the period. A frame that
// is already late waits 1 ms (the windows' events still run), and the schedule restarts from
// the present rather than racing through frames to catch up.
class Pacer {
  public:
    using Clock = std::chrono::steady_clock;

    explicit Pacer(int periodMs) : period_(periodMs) {}

    // The key wait, in ms, for the frame just shown at `now`.
    int waitMs(Clock::time_point now);

  private:
    std::chrono::milliseconds period_;
    Clock::time_point due_{};  // when the frame just shown was due
    bool started_ = false;
};

}  // namespace shapemark
