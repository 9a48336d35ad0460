// The run's frames from a source, in source order. A source that waits for the run is read on
// the caller's thread, one frame per call. A live source that may drop is read on a thread of
// its own as frames arrive; when the run falls behind, the oldest waiting frames are dropped,
// so no more than kWaitingFrames images ever wait.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "input/frame_source.hpp"

namespace shapemark {

class FrameFeed {
  public:
    // Frames that may wait for the run: a short burst is absorbed, and the frame marked is at
    // most this many behind the source.
    static constexpr int kWaitingFrames = 4;

    FrameFeed(FrameSource& source, bool dropLate);
    ~FrameFeed();
    FrameFeed(const FrameFeed&) = delete;
    FrameFeed& operator=(const FrameFeed&) = delete;

    // The next frame in source order, as FrameReader::read gives it; a dropped one comes back
    // as Kind::Dropped, in its place. A failure of the reader thread is rethrown here, in its
    // place too.
    FrameRead read();

    // Stops reading: afterwards the source may close. Frames still waiting are never counted.
    void stop();

    // What read() has handed out so far; a dropped frame counts as a frame read.
    [[nodiscard]] long long frames() const { return frames_; }
    [[nodiscard]] long long damaged() const { return damaged_; }
    [[nodiscard]] long long dropped() const { return dropped_; }

  private:
    // One read, with the frames dropped just before it.
    struct Entry {
        long long droppedBefore = 0;
        FrameRead read;
        std::exception_ptr failure;
    };

    void readAhead();                         // the reader thread
    void push(Entry entry);                   // under the lock
    [[nodiscard]] int waitingImages() const;  // under the lock

    FrameSource& source_;
    long long frames_ = 0;
    long long damaged_ = 0;
    long long dropped_ = 0;
    bool ended_ = false;  // read() has handed out the end

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Entry> waiting_;
    bool stopping_ = false;
    std::thread reader_;  // last: started once everything above is ready
};

}  // namespace shapemark
