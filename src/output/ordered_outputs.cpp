#include "output/ordered_outputs.hpp"

#include <algorithm>
#include <atomic>
#include <exception>
#include <utility>

#include "output/interrupts_blocked.hpp"
#include "output/snapshot.hpp"

namespace shapemark {

struct OrderedOutputs::Job {
    std::uint64_t sequence = 0;
    ProcessedFrame frame;
    std::atomic<int> partsLeft{0};
};

namespace {
// Frames in flight beyond one per encoder: they keep every encoder fed while the main thread
// detects the next frame.
constexpr unsigned kFramesBeyondEncoders = 2;

std::string workerError(const char* what, const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return std::string("shapemark: ") + what + " failed: " + e.what();
    } catch (...) {
        return std::string("shapemark: ") + what + " failed";
    }
}
}  // namespace

OrderedOutputs::OrderedOutputs(OutputSinks sinks, unsigned encoders)
    : sinks_(std::move(sinks)),
      encoders_(std::max(1U, encoders)),
      capacity_(encoders_ + kFramesBeyondEncoders) {
    const InterruptsBlocked blocked;  // the threads inherit the mask
    try {
        threads_.emplace_back(&OrderedOutputs::recordFrames, this);
        if (snapshotEach()) {
            for (unsigned i = 0; i < encoders_; ++i) {
                threads_.emplace_back(&OrderedOutputs::encodeSnapshots, this);
            }
        }
    } catch (...) {
        // A thread that cannot start (memory, a process limit): the ones that did are stopped,
        // and the failure is the caller's to report.
        drain();
        throw;
    }
}

OrderedOutputs::~OrderedOutputs() {
    drain();
}

bool OrderedOutputs::handOver(ProcessedFrame frame) {
    const bool withSnapshot = snapshotEach();
    if (sinks_.snapshotAtEnd) {
        lastFrame_ = frame.img;  // shared, not copied: nobody writes to it any more
    }
    auto job = std::make_shared<Job>();
    job->frame = std::move(frame);
    job->partsLeft = withSnapshot ? 2 : 1;
    bool failed = false;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        roomFreed_.wait(lock, [this] { return inFlight_ < capacity_; });
        ++inFlight_;
        job->sequence = handedOver_++;
        recordQueue_.push_back(job);
        if (withSnapshot) {
            snapshotQueue_.push_back(job);
        }
        failed = failed_;
    }
    recordReady_.notify_one();
    if (withSnapshot) {
        snapshotReady_.notify_one();
    }
    return !failed;
}

OrderedOutputs::JobPtr OrderedOutputs::next(std::deque<JobPtr>& queue,
                                            std::condition_variable& ready) {
    std::unique_lock<std::mutex> lock(mutex_);
    ready.wait(lock, [&] { return !queue.empty() || closing_; });
    if (queue.empty()) {
        return nullptr;  // closing, and nothing left
    }
    JobPtr job = std::move(queue.front());
    queue.pop_front();
    return job;
}

void OrderedOutputs::recordFrames() {
    bool broken = false;  // after an exception, neither file is touched again
    while (const JobPtr job = next(recordQueue_, recordReady_)) {
        if (!broken) {
            try {
                record(job->frame);
            } catch (...) {
                broken = true;
                fail(workerError("recording", std::current_exception()));
            }
        }
        finishPart(job);
    }
}

// A lost recording or log stops the run; what was lost is said once they are closed.
void OrderedOutputs::record(const ProcessedFrame& frame) {
    Recording* recording = sinks_.recording.get();
    DetectionLog* log = sinks_.log.get();
    bool lost = false;
    if (recording != nullptr) {
        recording->write(frame.img);  // counts the frame even once the disk takes no more
        lost = recording->losing();
    }
    if (log != nullptr) {
        lost = !log->append(frame) || lost;
    }
    if (lost) {
        const std::lock_guard<std::mutex> lock(mutex_);
        failed_ = true;
    }
}

void OrderedOutputs::encodeSnapshots() {
    while (const JobPtr job = next(snapshotQueue_, snapshotReady_)) {
        std::string draft;
        try {
            draft = writeSnapshotDraft(job->frame.img, *sinks_.snapshotPath, sinks_.snapshotMode);
        } catch (...) {
            fail(workerError("snapshot", std::current_exception()));
        }
        commitInOrder(job->sequence, std::move(draft), job);
    }
}

void OrderedOutputs::commitInOrder(std::uint64_t sequence, std::string draft, const JobPtr& job) {
    std::vector<JobPtr> committed;
    {
        const std::lock_guard<std::mutex> lock(commitMutex_);
        drafts_.emplace(sequence, std::make_pair(std::move(draft), job));
        while (!drafts_.empty() && drafts_.begin()->first == nextCommit_) {
            auto& [waiting, owner] = drafts_.begin()->second;
            if (!waiting.empty()) {
                commitSnapshot(waiting, *sinks_.snapshotPath);  // silent on failure
            }
            committed.push_back(std::move(owner));
            drafts_.erase(drafts_.begin());
            ++nextCommit_;
        }
    }
    for (const JobPtr& done : committed) {
        finishPart(done);
    }
}

void OrderedOutputs::finishPart(const JobPtr& job) {
    if (job->partsLeft.fetch_sub(1) != 1) {
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        --inFlight_;
    }
    roomFreed_.notify_one();
}

// Every ending drains, so an interrupted batch still leaves its last frame.
void OrderedOutputs::snapshotLastFrame() {
    if (!sinks_.snapshotAtEnd || !sinks_.snapshotPath || lastFrame_.empty()) {
        return;
    }
    try {
        saveSnapshot(lastFrame_, *sinks_.snapshotPath, sinks_.snapshotMode);  // silent on failure
    } catch (...) {
        fail(workerError("snapshot", std::current_exception()));
    }
    lastFrame_.release();
}

void OrderedOutputs::fail(std::string line) {
    const std::lock_guard<std::mutex> lock(mutex_);
    failed_ = true;
    failures_.push_back(std::move(line));
}

OutputReport OrderedOutputs::drain() {
    if (drained_) {
        return {};
    }
    drained_ = true;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    recordReady_.notify_all();
    snapshotReady_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
    snapshotLastFrame();
    OutputReport report;
    // The files' own checks come first: they say what was lost, and how much.
    if (sinks_.recording) {
        std::string lost = sinks_.recording->close();
        if (!lost.empty()) {
            report.failures.push_back(std::move(lost));
        }
    }
    if (sinks_.log) {
        std::string lost = sinks_.log->close();
        if (!lost.empty()) {
            report.failures.push_back(std::move(lost));
        }
    }
    report.failures.insert(report.failures.end(), failures_.begin(), failures_.end());
    return report;
}

}  // namespace shapemark
