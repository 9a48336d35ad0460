#include "input/frame_feed.hpp"

#include <algorithm>
#include <iterator>
#include <limits>
#include <utility>

namespace shapemark {

FrameFeed::FrameFeed(FrameSource& source, bool dropLate) : source_(source) {
    if (dropLate) {
        reader_ = std::thread([this] { readAhead(); });
    }
}

FrameFeed::~FrameFeed() {
    stop();
}

void FrameFeed::stop() {
    if (!reader_.joinable()) {
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    // A source that stalls holds the thread until the library's own read time-out.
    reader_.join();
}

FrameRead FrameFeed::read() {
    FrameRead got;
    got.timeMs = std::numeric_limits<double>::quiet_NaN();
    if (ended_) {
        return got;  // the end, as the reader reports it for ever
    }
    if (!reader_.joinable()) {
        got = source_.read();
    } else {
        std::unique_lock<std::mutex> lock(mutex_);
        arrived_.wait(lock, [this] { return !waiting_.empty(); });
        Entry& front = waiting_.front();
        if (front.droppedBefore > 0) {
            --front.droppedBefore;
            ++dropped_;
            ++frames_;
            got.kind = FrameRead::Kind::Dropped;
            return got;
        }
        Entry entry = std::move(front);
        waiting_.pop_front();
        lock.unlock();
        if (entry.failure) {
            ended_ = true;
            std::rethrow_exception(entry.failure);
        }
        got = std::move(entry.read);
    }
    frames_ += got.kind == FrameRead::Kind::Frame ? 1 : 0;
    damaged_ += got.kind == FrameRead::Kind::Damaged ? 1 : 0;
    ended_ = got.kind == FrameRead::Kind::End;
    return got;
}

void FrameFeed::readAhead() {
    for (;;) {
        Entry entry;
        try {
            entry.read = source_.read();
        } catch (...) {
            entry.failure = std::current_exception();
        }
        const bool last = entry.failure || entry.read.kind == FrameRead::Kind::End;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) {
                return;
            }
            push(std::move(entry));
        }
        arrived_.notify_one();
        if (last) {
            return;
        }
    }
}

void FrameFeed::push(Entry entry) {
    waiting_.push_back(std::move(entry));
    if (waitingImages() <= kWaitingFrames) {
        return;
    }
    // The oldest image goes; its place is kept as a count on the entry after it, so the numbers
    // of the frames still stand for their places in the source.
    const auto oldest = std::find_if(waiting_.begin(), waiting_.end(), [](const Entry& waiting) {
        return waiting.read.kind == FrameRead::Kind::Frame;
    });
    const auto next = std::next(oldest);
    next->droppedBefore += oldest->droppedBefore + 1;
    waiting_.erase(oldest);
}

int FrameFeed::waitingImages() const {
    return static_cast<int>(std::count_if(
        waiting_.begin(), waiting_.end(),
        [](const Entry& waiting) { return waiting.read.kind == FrameRead::Kind::Frame; }));
}

}  // namespace shapemark
