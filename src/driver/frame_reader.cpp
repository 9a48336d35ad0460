#include "driver/frame_reader.hpp"

#include <cerrno>
#include <cmath>
#include <limits>
#include <new>

namespace shapemark {

void releaseIfShared(cv::Mat& frame) {
    // An atomic read: the holder may be dropping its reference on another thread.
    if (frame.u != nullptr && CV_XADD(&frame.u->refcount, 0) > 1) {
        frame.release();
    }
}

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
    got.frame = frame_;
    got.timeMs = timeMs_;
    return got;
}

bool FrameReader::decode() {
    // The library reports a decoder that ran out of memory as a plain failed read; only errno
    // tells it from a damaged frame or the end.
    errno = 0;
    releaseIfShared(frame_);
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
