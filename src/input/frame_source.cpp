#include "input/frame_source.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <utility>

#include "input/input_properties.hpp"

namespace shapemark {

FrameSource::FrameSource(InputWord input, std::unique_ptr<cv::VideoCapture> capture)
    : input_(std::move(input)), capture_(std::move(capture)), reader_(*capture_) {}

cv::Size FrameSource::size() const {
    return {truncateProperty(property(cv::CAP_PROP_FRAME_WIDTH)),
            truncateProperty(property(cv::CAP_PROP_FRAME_HEIGHT))};
}

std::unique_ptr<FrameSource> FrameSource::open(const std::string& word) {
    InputWord named = resolveInput(word);
    // A terminal holds no video: reading it would wait for typing that never makes one.
    if (named.kind == InputWord::Kind::StandardInput && ::isatty(0) == 1) {
        throw InputError("standard input is a terminal; pipe or redirect a video into it", ENOTTY);
    }
    if (std::optional<InputError> unreadable = unreadableFile(named)) {
        throw *unreadable;
    }
    auto capture = std::make_unique<cv::VideoCapture>();
    // A library that ran out of memory tells no more than a failed open; errno tells. FFmpeg,
    // the library's first choice, is asked alone first, so that no later back end's attempt
    // overwrites its errno.
    errno = 0;
    if (named.apiPreference == cv::CAP_ANY && !capture->open(named.openName, cv::CAP_FFMPEG) &&
        errno == ENOMEM) {
        throw std::bad_alloc();
    }
    if (!capture->isOpened()) {
        errno = 0;
        capture->open(named.openName, named.apiPreference);
    }
    if (!capture->isOpened()) {
        if (errno == ENOMEM) {
            throw std::bad_alloc();
        }
        throw whyNotOpened(named);
    }
    struct stat file {};
    const bool regularFile =
        ::stat(named.identityPath.c_str(), &file) == 0 && S_ISREG(file.st_mode);
    if (named.kind == InputWord::Kind::Camera || named.kind == InputWord::Kind::Stream ||
        !regularFile) {
        return makeLiveSource(std::move(named), std::move(capture));
    }
    return makeFileSource(std::move(named), std::move(capture));
}

}  // namespace shapemark
