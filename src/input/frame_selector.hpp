// Which frames a run processes: the counter and the skip rule, one function for the tool and the
// library alike.
#pragma once

#include "input/frame_reader.hpp"

namespace shapemark {

class FrameSelector {
  public:
    enum class Step {
        Process,  // the frame at counter() is processed
        Pass,     // counted, not processed: skipped by the rate, damaged or dropped
        End,      // the input has ended; nothing more comes
    };

    // A negative rate selects as its absolute value does. 0 throws std::invalid_argument.
    explicit FrameSelector(long long skipRate);

    // Counts one query of the reader and says what to do with it. Every query counts, the
    // damaged ones included, so a frame's number is its position in the input; the end is seen
    // only at a query the rate selects, so the counter runs on to that one.
    Step next(FrameRead::Kind kind);

    [[nodiscard]] long long counter() const { return counter_; }

  private:
    long long skipRate_;
    // 64 bits: a counter that cannot overflow on any real input.
    long long counter_ = 0;
};

}  // namespace shapemark
