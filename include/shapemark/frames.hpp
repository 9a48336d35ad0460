// shapemark::Frames: the processed frames of a video, chosen and marked as the shapemark tool
// chooses and marks them.
#pragma once

#include <opencv2/core.hpp>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <shapemark/detector_params.hpp>
#include <shapemark/shapemark.hpp>

namespace shapemark {

// One processed frame of a video.
struct Frame {
    long long number = 0;          // the frame's 1-based position in the input
    std::optional<double> timeMs;  // its time stamp in ms; none where the input tells none
    cv::Mat image;                 // the frame as decoded, BGR; the caller's own
    std::vector<Shape> shapes;     // detect(image, areaSize)
};

// An input that does not open. what() names the input and the reason; errorNumber() is the
// errno that goes with it (ENOENT, EACCES, EISDIR, ENODEV), or 0 where none does.
class SHAPEMARK_API OpenError : public std::runtime_error {
  public:
    OpenError(const std::string& what, int errorNumber)
        : std::runtime_error(what), errorNumber_(errorNumber) {}
    [[nodiscard]] int errorNumber() const { return errorNumber_; }

  private:
    int errorNumber_;
};

// The input is what the tool's INPUT takes: a file, "-" for standard input, a camera
// ("/dev/video0"), a URL or "pipe:N". Every skip_rate-th frame is processed (a negative rate as
// its absolute value); frames that fail to decode are counted and left out. One object is read
// by one thread at a time.
class SHAPEMARK_API Frames {
  public:
    // Throws std::invalid_argument for a skip rate of 0 and OpenError when the input does not
    // open.
    Frames(const std::string& input, int areaSize, int skipRate = 1);
    // As above, detecting by `params` (std::invalid_argument for bad ones).
    Frames(const std::string& input, const DetectorParams& params, int skipRate = 1);
    ~Frames();
    Frames(Frames&& other) noexcept;
    Frames& operator=(Frames&& other) noexcept;

    // The next processed frame; none at the end of the input.
    std::optional<Frame> next();

    [[nodiscard]] std::optional<double> fps() const;            // none when the input tells none
    [[nodiscard]] cv::Size size() const;                        // width and height
    [[nodiscard]] std::optional<long long> frameCount() const;  // none when unknown

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace shapemark
