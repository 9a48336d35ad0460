// A live source: a camera, a network stream, a pipe or standard input. Nothing tells how many
// frames will come, and it cannot be read through twice. A camera delivers frames at its own
// rate, so waiting a frame period after each would halve it; the rest are paced as files are,
// since a pipe or a server may well be sending one.
#include <utility>

#include "input/frame_source.hpp"
#include "input/live_rule.hpp"

namespace shapemark {

namespace {
class LiveSource final : public FrameSource {
  public:
    LiveSource(InputWord input, std::unique_ptr<cv::VideoCapture> capture)
        : FrameSource(std::move(input), std::move(capture)), live_(isLive(this->input())) {}

    [[nodiscard]] Pacing pacing() const override {
        return input().kind == InputWord::Kind::Camera ? Pacing::Arrival : Pacing::FrameRate;
    }
    // A pipe waits for its reader; a camera or a broadcast does not.
    [[nodiscard]] bool canDrop() const override { return live_; }
    [[nodiscard]] std::optional<long long> frameCount() const override { return std::nullopt; }
    [[nodiscard]] std::string endedEarly() const override { return {}; }

  private:
    bool live_;
};
}  // namespace

std::unique_ptr<FrameSource> makeLiveSource(InputWord input,
                                            std::unique_ptr<cv::VideoCapture> capture) {
    return std::make_unique<LiveSource>(std::move(input), std::move(capture));
}

}  // namespace shapemark
