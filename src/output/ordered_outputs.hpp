// The ordered output path: the snapshot, the recording and the detection log of each processed
// frame, written off the main thread, in frame order.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "output/detection_log.hpp"
#include "output/processed_frame.hpp"
#include "output/recording.hpp"

namespace shapemark {

// Where the frames go; any of the three may be absent.
struct OutputSinks {
    std::optional<std::string> snapshotPath;
    mode_t snapshotMode = 0644;
    bool snapshotAtEnd = false;  // one snapshot, of the last frame, when drained
    std::unique_ptr<Recording> recording;
    std::unique_ptr<DetectionLog> log;
};

// The outcome of a run's outputs: one line for standard error per output that lost data (the
// recording, the log) or per worker that failed; empty when everything made it. Snapshot
// failures are not reported: the snapshot is only a view.
struct OutputReport {
    std::vector<std::string> failures;
};

// Standard threads and two small queues rather than a task library's pipeline: the main thread
// must block when the hand-off is full (a flow graph's limiter rejects instead), and the
// encoders must not share a pool with the library's own parallel loops, which would run them
// late or steal their cores while the main thread waits inside such a loop.
//
// Frames flow two ways at once. One thread records each frame and appends its log lines, in
// hand-over order. A pool of encoders turns frames into PNG drafts, several at a time, and
// whichever finishes a draft commits every draft that is next in frame order, so the snapshot
// is replaced in frame order. A frame leaves when both ways are done with it.
class OrderedOutputs {
  public:
    // `encoders` PNG encoders (at least one), and two frames more than that in flight.
    OrderedOutputs(OutputSinks sinks, unsigned encoders);
    ~OrderedOutputs();
    OrderedOutputs(const OrderedOutputs&) = delete;
    OrderedOutputs& operator=(const OrderedOutputs&) = delete;
    OrderedOutputs(OrderedOutputs&&) = delete;
    OrderedOutputs& operator=(OrderedOutputs&&) = delete;

    // The one way in. Waits while the hand-off is full, so no frame is ever dropped. False
    // once an output has failed: the run should stop.
    bool handOver(ProcessedFrame frame);

    // The one way out: writes every frame handed over, completes the recording and the log,
    // and reports. Later calls report nothing more.
    OutputReport drain();

  private:
    struct Job;
    using JobPtr = std::shared_ptr<Job>;

    JobPtr next(std::deque<JobPtr>& queue, std::condition_variable& ready);
    void recordFrames();
    void encodeSnapshots();
    void commitInOrder(std::uint64_t sequence, std::string draft, const JobPtr& job);
    void record(const ProcessedFrame& frame);
    void finishPart(const JobPtr& job);
    void fail(std::string line);
    void snapshotLastFrame();
    // A snapshot of every frame, by the encoders; otherwise none, or one at the end.
    [[nodiscard]] bool snapshotEach() const {
        return sinks_.snapshotPath.has_value() && !sinks_.snapshotAtEnd;
    }

    OutputSinks sinks_;
    const unsigned encoders_;
    const unsigned capacity_;

    std::mutex mutex_;  // guards everything below up to the threads
    std::condition_variable roomFreed_;
    std::condition_variable recordReady_;
    std::condition_variable snapshotReady_;
    std::deque<JobPtr> recordQueue_;
    std::deque<JobPtr> snapshotQueue_;
    unsigned inFlight_ = 0;
    std::uint64_t handedOver_ = 0;
    bool closing_ = false;
    bool failed_ = false;
    std::vector<std::string> failures_;  // the workers' own errors

    std::mutex commitMutex_;  // guards the drafts waiting for their turn
    std::map<std::uint64_t, std::pair<std::string, JobPtr>> drafts_;
    std::uint64_t nextCommit_ = 0;

    cv::Mat lastFrame_;  // with snapshotAtEnd: the last frame handed over; main thread only

    std::vector<std::thread> threads_;
    bool drained_ = false;
};

}  // namespace shapemark
