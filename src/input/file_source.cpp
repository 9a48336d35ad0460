// A file: read at whatever speed the run goes, never dropping a frame, its frame count taken
// from containers that keep one.
#include <string>
#include <utility>

#include "input/container_facts.hpp"
#include "input/frame_source.hpp"
#include "input/input_properties.hpp"

namespace shapemark {

namespace {
class FileSource final : public FrameSource {
  public:
    FileSource(InputWord input, std::unique_ptr<cv::VideoCapture> capture)
        : FrameSource(std::move(input), std::move(capture)),
          announced_(announcedFrames(this->input().openName, property(cv::CAP_PROP_FRAME_COUNT))) {}

    [[nodiscard]] Pacing pacing() const override { return Pacing::FrameRate; }
    [[nodiscard]] bool canDrop() const override { return false; }
    [[nodiscard]] std::optional<long long> frameCount() const override {
        return announced_ > 0 ? std::optional<long long>(announced_) : std::nullopt;
    }

    [[nodiscard]] std::string endedEarly() const override {
        const FrameReader& got = reader();
        const long long queried = got.frames() + got.damaged();
        // Every end is a run of failed decodes; only the container's own packets tell whether
        // frames were still to come. Reading them through costs a pass over the file, so only
        // where the library's own count or estimate says more frames were due.
        if (!got.ended() || !(property(cv::CAP_PROP_FRAME_COUNT) > static_cast<double>(queried))) {
            return {};
        }
        const std::optional<long long> packets = videoPackets(input().openName);
        if (!packets || *packets <= queried) {
            return {};
        }
        return "shapemark: the input ended after frame " + std::to_string(queried) + ": " +
               std::to_string(FrameReader::kFailedReadsToEnd) +
               " frames in a row cannot be decoded, and " + std::to_string(*packets - queried) +
               " more of its " + std::to_string(*packets) + " frames are not read";
    }

  private:
    long long announced_;
};
}  // namespace

std::unique_ptr<FrameSource> makeFileSource(InputWord input,
                                            std::unique_ptr<cv::VideoCapture> capture) {
    return std::make_unique<FileSource>(std::move(input), std::move(capture));
}

}  // namespace shapemark
