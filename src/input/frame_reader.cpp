#include "input/frame_reader.hpp"

#include <cerrno>
#include <cmath>
#include <limits>
#include <new>
#include <utility>

namespace shapemark {

FrameReader::FrameReader(cv::VideoCapture& capture) : capture_(capture) {}

FrameRead FrameReader::read() {
    FrameRead got;
    got.timeMs = std::numeric_limits<double>::quiet_NaN();
    if (ended_) {
        return got;
    }
    if (pendingDamaged_ == 0 && !pending_) {
        if (decode()) {
            pending_ = true;
        } else {
            // Look ahead: failures up to the budget that end in a frame are damage, one query
            // each; a full budget of failures is the end.
            int failed = 1;
            while (failed < kFailedReadsToEnd && !(pending_ = decode())) {
                ++failed;
            }
            if (!pending_) {
                ended_ = true;
                frame_.release();
                return got;
            }
            pendingDamaged_ = failed;
        }
    }
    if (pendingDamaged_ > 0) {
        --pendingDamaged_;
        ++damaged_;
        got.kind = FrameRead::Kind::Damaged;
        return got;
    }
    pending_ = false;
    ++frames_;
    got.kind = FrameRead::Kind::Frame;
    // Handed over, not shared: a frame passed on as it is stays intact, and the reader never
    // looks at who else holds it.
    got.frame = std::move(frame_);
    got.timeMs = timeMs_;
    return got;
}

bool FrameReader::decode() {
    // The library reports a decoder that ran out of memory as a plain failed read; only errno
    // tells it from a damaged frame or the end.
    errno = 0;
    const bool decoded = capture_.read(frame_) && !frame_.empty();
    if (!decoded) {
        if (errno == ENOMEM) {
            throw std::bad_alloc();
        }
        return false;
    }
    // Streams without time stamps report the library's "none" value scaled (huge and negative),
    // or 0 for every frame; a time counts only when it comes after the last one taken (the first
    // may be 0).
    const double time = capture_.get(cv::CAP_PROP_POS_MSEC);
    const bool usable = std::isfinite(time) && time >= 0.0 && time > lastTimeMs_;
    timeMs_ = usable ? time : std::numeric_limits<double>::quiet_NaN();
    if (usable) {
        lastTimeMs_ = time;
    }
    return true;
}

long long FrameReader::damaged() const {
    return damaged_;
}

long long FrameReader::frames() const {
    return frames_;
}

}  // namespace shapemark
