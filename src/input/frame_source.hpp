// Where frames come from: a file, or a live source (a camera, a network stream, a pipe or
// standard input). Each kind decides its pacing, whether it may drop frames, whether it knows
// its frame count and what the same-file checks compare against.
#pragma once

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "input/frame_reader.hpp"
#include "input/input_word.hpp"

namespace shapemark {

// An input that does not open: what() is the reason ("no such file", ...); errorNumber() the
// errno that goes with it, or 0 where none does.
class InputError : public std::runtime_error {
  public:
    InputError(const std::string& reason, int errorNumber)
        : std::runtime_error(reason), errorNumber_(errorNumber) {}
    [[nodiscard]] int errorNumber() const { return errorNumber_; }

  private:
    int errorNumber_;
};

class FrameSource {
  public:
    enum class Pacing {
        FrameRate,  // shown one frame period apart: the source is read faster than it plays
        Arrival,    // shown as it comes: the source itself delivers at its own rate
    };

    // Opens the input an INPUT word names. Throws InputError when it does not open, and
    // std::bad_alloc when the library ran out of memory trying.
    static std::unique_ptr<FrameSource> open(const std::string& word);

    virtual ~FrameSource() = default;
    FrameSource(const FrameSource&) = delete;
    FrameSource& operator=(const FrameSource&) = delete;

    [[nodiscard]] virtual Pacing pacing() const = 0;
    // A live input (isLive) may lose frames the run was too slow to take; a file never does.
    [[nodiscard]] virtual bool canDrop() const = 0;
    // The frames the input announces and truly holds; none when it does not say.
    [[nodiscard]] virtual std::optional<long long> frameCount() const = 0;
    // After the end: a line for standard error when the input ended in a run of frames that
    // failed to decode before the container's last one; empty otherwise.
    [[nodiscard]] virtual std::string endedEarly() const = 0;

    FrameRead read() { return reader_.read(); }
    [[nodiscard]] const FrameReader& reader() const { return reader_; }
    [[nodiscard]] const InputWord& input() const { return input_; }
    // The library's own view, for the properties the run takes as they are.
    [[nodiscard]] double property(int id) const { return capture_->get(id); }
    [[nodiscard]] double fps() const { return property(cv::CAP_PROP_FPS); }
    [[nodiscard]] cv::Size size() const;
    void close() { capture_->release(); }

  protected:
    FrameSource(InputWord input, std::unique_ptr<cv::VideoCapture> capture);

  private:
    InputWord input_;
    std::unique_ptr<cv::VideoCapture> capture_;  // owned apart, so the reader's reference holds
    FrameReader reader_;
};

// The kinds, made by FrameSource::open from an opened capture.
std::unique_ptr<FrameSource> makeFileSource(InputWord input,
                                            std::unique_ptr<cv::VideoCapture> capture);
std::unique_ptr<FrameSource> makeLiveSource(InputWord input,
                                            std::unique_ptr<cv::VideoCapture> capture);

// Why the input `input` names does not open, as the InputError to throw.
InputError whyNotOpened(const InputWord& input);

// For a file that is missing, unreadable or a folder, why; none for anything else. Asked before
// the library, whose back ends would each try the name and log their own complaints.
std::optional<InputError> unreadableFile(const InputWord& input);

}  // namespace shapemark
