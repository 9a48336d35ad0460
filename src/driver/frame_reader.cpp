#include "driver/frame_reader.hpp"

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
    if (!pending_ && !decode()) {
        for (int retry = 0; retry < kRetries && !pending_; ++retry) {
            pending_ = decode();
        }
        if (pending_) {
            ++damaged_;
            got.kind = FrameRead::Kind::Damaged;
        } else {
            ended_ = true;
            frame_.release();
        }
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
    // The library reports 0 where a frame has no time stamp; only the first frame may truly
    // start at 0.
    const double time = capture_.get(cv::CAP_PROP_POS_MSEC);
    timeMs_ = std::isfinite(time) && (time != 0.0 || !decodedAny_)
                  ? time
                  : std::numeric_limits<double>::quiet_NaN();
    decodedAny_ = true;
    return true;
}

long long FrameReader::damaged() const {
    return damaged_;
}

long long FrameReader::frames() const {
    return frames_;
}

}  // namespace shapemark
