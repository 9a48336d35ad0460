// The library's walk over a video: the tool's frame source and selection rule, with detection.
#include <shapemark/detector_params.hpp>
#include <shapemark/frames.hpp>

#include <cmath>
#include <utility>

#include "input/frame_selector.hpp"
#include "input/frame_source.hpp"

namespace shapemark {

struct Frames::State {
    std::unique_ptr<FrameSource> source;
    FrameSelector selector;
    Detector detector;
    bool ended = false;
};

namespace {
DetectorParams withMinArea(int areaSize) {
    DetectorParams params;
    params.minArea = areaSize;
    return params;
}
}  // namespace

Frames::Frames(const std::string& input, int areaSize, int skipRate)
    : Frames(input, withMinArea(areaSize), skipRate) {}

Frames::Frames(const std::string& input, const DetectorParams& params, int skipRate) {
    Detector detector(params);         // refuses bad parameters before anything opens
    FrameSelector selector(skipRate);  // refuses 0 before anything opens
    std::unique_ptr<FrameSource> source;
    try {
        source = FrameSource::open(input);
    } catch (const InputError& error) {
        throw OpenError("cannot open '" + input + "': " + error.what(), error.errorNumber());
    }
    state_ = std::make_unique<State>(State{std::move(source), selector, std::move(detector)});
}

Frames::~Frames() = default;
Frames::Frames(Frames&&) noexcept = default;
Frames& Frames::operator=(Frames&&) noexcept = default;

std::optional<Frame> Frames::next() {
    while (!state_->ended) {
        FrameRead read = state_->source->read();
        switch (state_->selector.next(read.kind)) {
            case FrameSelector::Step::Pass:
                continue;
            case FrameSelector::Step::End:
                state_->ended = true;  // the input stays open: its properties still answer
                break;
            case FrameSelector::Step::Process: {
                Frame frame;
                frame.number = state_->selector.counter();
                if (std::isfinite(read.timeMs)) {
                    frame.timeMs = read.timeMs;
                }
                frame.image = std::move(read.frame);  // the reader keeps no reference
                frame.shapes = state_->detector.detect(frame.image);
                return frame;
            }
        }
    }
    return std::nullopt;
}

std::optional<double> Frames::fps() const {
    const double fps = state_->source->fps();
    return std::isfinite(fps) && fps > 0 ? std::optional<double>(fps) : std::nullopt;
}

cv::Size Frames::size() const {
    return state_->source->size();
}

std::optional<long long> Frames::frameCount() const {
    return state_->source->frameCount();
}

}  // namespace shapemark
