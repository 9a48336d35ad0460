// Headless runs detect the next frames on other cores while the main thread decodes: decoding,
// detecting and drawing on one thread would cap the run at that one thread's speed.
#pragma once

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include <shapemark/detector_params.hpp>

#include "output/processed_frame.hpp"

namespace shapemark {

// Marks a processed frame whose `img` holds the captured frame's pixels (the frame itself, or a
// copy): detects the shapes in it, then draws them on it. With `sampleColours` (tracking), each
// shape's mean colour is taken in between, while the pixels are still the captured ones.
void markFrame(ProcessedFrame& processed, const Detector& detector, bool sampleColours = false);

// A small pool that marks frames and gives them back in the order they came. The main thread
// owns the object; only the pool's threads run markFrame.
class DetectAhead {
  public:
    // `threads` threads (at least one), and one frame more than that ahead; `sampleColours` as
    // markFrame takes it.
    DetectAhead(const Detector& detector, int threads, bool sampleColours = false);
    ~DetectAhead();
    DetectAhead(const DetectAhead&) = delete;
    DetectAhead& operator=(const DetectAhead&) = delete;
    DetectAhead(DetectAhead&&) = delete;
    DetectAhead& operator=(DetectAhead&&) = delete;

    void submit(ProcessedFrame frame);
    [[nodiscard]] bool empty() const { return pending_.empty(); }
    [[nodiscard]] bool full() const { return pending_.size() >= capacity_; }
    [[nodiscard]] bool frontReady() const;

    // The oldest frame submitted, marked; waits for it. A marking that failed is rethrown, and
    // every later frame is dropped, so that no output ever skips a frame.
    ProcessedFrame takeFront();

  private:
    void work();
    void stop();

    const Detector detector_;  // only read, by every thread at once
    const bool sampleColours_;
    std::size_t capacity_ = 0;
    std::deque<std::future<ProcessedFrame>> pending_;  // in frame order

    std::mutex mutex_;  // guards the two below
    std::condition_variable queued_;
    std::deque<std::packaged_task<ProcessedFrame()>> queue_;
    bool stopping_ = false;

    std::vector<std::thread> threads_;
};

}  // namespace shapemark
