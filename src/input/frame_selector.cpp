#include "input/frame_selector.hpp"

#include <stdexcept>
#include <string>

namespace shapemark {

FrameSelector::FrameSelector(long long skipRate) : skipRate_(skipRate) {
    if (skipRate == 0) {
        throw std::invalid_argument("the skip rate must be a whole number other than 0");
    }
}

FrameSelector::Step FrameSelector::next(FrameRead::Kind kind) {
    ++counter_;
    if (counter_ % skipRate_ != 0 || kind == FrameRead::Kind::Damaged ||
        kind == FrameRead::Kind::Dropped) {
        return Step::Pass;
    }
    return kind == FrameRead::Kind::End ? Step::End : Step::Process;
}

}  // namespace shapemark
