#include "driver/frame_loop.hpp"

#include <shapemark/shapemark.hpp>

#include <cstdio>
#include <exception>
#include <string>
#include <utility>

#include "cli/exit_status.hpp"
#include "detector/detector.hpp"
#include "driver/detect_ahead.hpp"
#include "driver/interrupt.hpp"
#include "driver/pacing.hpp"
#include "driver/tool_failure.hpp"
#include "input/frame_feed.hpp"
#include "input/frame_selector.hpp"
#include "output/draw_ids.hpp"
#include "output/windows.hpp"

namespace shapemark {

namespace {
// Shows the captured frame and waits out its frame period; true when Escape was pressed.
bool showAndPace(const cv::Mat& frame, const RunState& run, Pacer& pacer) {
    if (run.windows == Windows::Off) {
        return false;  // nobody watches and no key can come
    }
    return showVideo(frame, pacer.waitMs(Pacer::Clock::now()));
}

// An input that ended early still ends the run normally, but says so: in a run of frames that
// cannot be decoded, or short of the frames its header claims.
void noteShortInput(const FrameSource& source, const RunState& run) {
    const std::string early = source.endedEarly();
    if (!early.empty()) {
        run.progress->note(early);
        return;
    }
    const long long queried = source.reader().frames() + source.reader().damaged();
    const long long announced = source.frameCount().value_or(0);
    if (queried < announced) {
        run.progress->note("shapemark: the input ended after " + std::to_string(queried) +
                           " of the " + std::to_string(announced) + " frames it announces");
    }
}

int frameWaitMs(const RunState& run) {
    return run.source->pacing() == FrameSource::Pacing::FrameRate ? pacingWaitMs(run.fps)
                                                                  : kShortestWaitMs;
}

std::string stoppedAfter(long long frameCount, const std::exception_ptr& error) {
    return "shapemark: stopped after " + std::to_string(frameCount) +
           " frames: " + whatFailed(error);
}

// Ids carry state from frame to frame, so this runs on the main thread, in frame order, before
// anything shows or encodes the marked frame.
void identifyShapes(ProcessedFrame& processed, RunState& run) {
    if (!run.tracker) {
        return;
    }
    const std::vector<TrackedShape> tracked = run.tracker->update(
        processed.frameCount, processed.shapes, processed.img.size(), processed.colours);
    processed.ids.reserve(tracked.size());
    for (const TrackedShape& shape : tracked) {
        processed.ids.push_back(shape.id);
    }
    if (run.drawIds) {
        drawIds(processed.img, processed.shapes, processed.ids);
    }
}

bool handOver(ProcessedFrame processed, RunState& run) {
    run.summary.shapesMarked += static_cast<long long>(processed.shapes.size());
    // Moved, not copied; and no reference stays behind, so the frame is freed where the
    // outputs finish with it, never under a reader.
    return run.outputs->handOver(std::move(processed));
}

// Hands over the frames marked ahead, in frame order: those ready, and then the oldest while
// the pool is full; with `all`, every one. Once an output has failed the rest still go, as the
// frame that found the failure did: the run ends as on Escape, with every frame counted kept.
// False once an output has failed.
bool handOverMarked(DetectAhead& ahead, RunState& run, bool all) {
    bool sound = true;
    while (!ahead.empty() && (all || ahead.full() || ahead.frontReady())) {
        ProcessedFrame marked = ahead.takeFront();
        identifyShapes(marked, run);
        sound = handOver(std::move(marked), run) && sound;
    }
    return sound;
}
}  // namespace

bool samplesColours(const RunState& run) {
    return run.tracker && run.trackerParams.usesColour();
}

bool processFrame(const cv::Mat& frame, long long frameCount, double timeMs, RunState& run) {
    ProcessedFrame processed;
    processed.frameCount = frameCount;
    processed.timeMs = timeMs;
    if (run.ahead) {
        processed.img = frame;  // no copy: nobody writes to the frame again
        run.ahead->submit(std::move(processed));
        return handOverMarked(*run.ahead, run, false);
    }
    cloneFrame(frame, processed.img);
    markFrame(processed, run.detector, samplesColours(run));
    identifyShapes(processed, run);
    showProcessed(frame, processed.img, run.windows);
    return handOver(std::move(processed), run);
}

void finishMarking(RunState& run) {
    if (run.ahead) {
        handOverMarked(*run.ahead, run, true);
    }
}

RunResult runFrameLoop(RunState& run) {
    RunResult result;
    FrameSelector selector(run.skipRate);
    long long frameCount = 0;  // the selector's counter, for the lines after the loop
    FrameFeed feed(*run.source, run.dropLate);
    bool inputEnded = false;
    Pacer pacer(frameWaitMs(run));
    try {
        for (;;) {
            FrameRead got = feed.read();
            const FrameSelector::Step step = selector.next(got.kind);
            frameCount = selector.counter();
            std::printf("%lld/n", frameCount);
            std::fflush(stdout);  // no line break ever comes, so flush each count
            if (got.kind == FrameRead::Kind::Damaged && feed.damaged() == 1) {
                run.progress->note("shapemark: frame " + std::to_string(frameCount) +
                                   " cannot be decoded; skipped (damaged frames are counted)");
            }
            run.progress->update(feed.frames(), feed.dropped());
            if (step == FrameSelector::Step::End) {
                inputEnded = true;
                break;
            }
            if (step == FrameSelector::Step::Process) {
                ++run.summary.framesProcessed;
                const bool outputsSound = processFrame(got.frame, frameCount, got.timeMs, run);
                // A lost output ends the run as Escape would: what was handed over is kept.
                if (showAndPace(got.frame, run, pacer) || !outputsSound) {
                    break;
                }
            }
            if (interruptSignal() != 0) {
                break;
            }
        }
    } catch (...) {
        // The tool itself failed: what was handed over is still finished, as on Escape.
        result.failure = stoppedAfter(frameCount, std::current_exception());
    }
    try {
        // Every frame read before the loop ended is kept, as if it had been marked at once; a
        // frame whose marking failed drops the ones after it.
        finishMarking(run);
    } catch (...) {
        if (result.failure.empty()) {
            result.failure = stoppedAfter(frameCount, std::current_exception());
        }
    }
    run.ahead.reset();
    feed.stop();
    // The feed counts what it handed out: decoded, skipped and dropped.
    run.summary.framesRead = feed.frames();
    run.summary.framesDamaged = feed.damaged();
    run.summary.framesDropped = feed.dropped();
    if (inputEnded) {
        noteShortInput(*run.source, run);
    }
    closeWindows(run.windows);
    run.source->close();
    // Every frame handed over is written before the recording is completed.
    result.outputs = run.outputs->drain();
    const int signalNumber = interruptSignal();
    result.status = signalNumber != 0 ? kSignalStatusBase + signalNumber : 0;
    return result;
}

}  // namespace shapemark
