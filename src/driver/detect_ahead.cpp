#include "driver/detect_ahead.hpp"

#include <shapemark/shapemark.hpp>
#include <shapemark/tracker.hpp>

#include <algorithm>
#include <chrono>
#include <utility>

#include "output/interrupts_blocked.hpp"

namespace shapemark {

void markFrame(ProcessedFrame& processed, const Detector& detector, bool sampleColours) {
    // Before drawing, the copy is the captured frame: detecting in it finds the same shapes, and
    // the colours are the shapes' own, not their outlines'.
    processed.shapes = detector.detect(processed.img);
    if (sampleColours) {
        processed.colours = Tracker::colours(processed.img, processed.shapes);
    }
    Detector::draw(processed.img, processed.shapes);
}

DetectAhead::DetectAhead(const Detector& detector, int threads, bool sampleColours)
    : detector_(detector), sampleColours_(sampleColours) {
    const auto count = static_cast<std::size_t>(std::max(1, threads));
    capacity_ = count + 1;
    const InterruptsBlocked blocked;  // the threads inherit the mask
    try {
        for (std::size_t i = 0; i < count; ++i) {
            threads_.emplace_back(&DetectAhead::work, this);
        }
    } catch (...) {
        stop();  // a thread that cannot start: the caller reports it
        throw;
    }
}

DetectAhead::~DetectAhead() {
    stop();
}

void DetectAhead::stop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        queue_.clear();  // frames not started are dropped; their futures say so, unread
    }
    queued_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
    threads_.clear();
}

void DetectAhead::submit(ProcessedFrame frame) {
    std::packaged_task<ProcessedFrame()> task([this, marked = std::move(frame)]() mutable {
        markFrame(marked, detector_, sampleColours_);
        return std::move(marked);
    });
    pending_.push_back(task.get_future());
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(task));
    }
    queued_.notify_one();
}

bool DetectAhead::frontReady() const {
    return !pending_.empty() &&
           pending_.front().wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

ProcessedFrame DetectAhead::takeFront() {
    std::future<ProcessedFrame> front = std::move(pending_.front());
    pending_.pop_front();
    try {
        return front.get();
    } catch (...) {
        stop();
        pending_.clear();
        throw;
    }
}

void DetectAhead::work() {
    for (;;) {
        std::packaged_task<ProcessedFrame()> task;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            queued_.wait(lock, [this] { return !queue_.empty() || stopping_; });
            if (stopping_) {
                return;
            }
            task = std::move(queue_.front());
            queue_.pop_front();
        }
        task();  // an exception is kept in the task's future
    }
}

}  // namespace shapemark
