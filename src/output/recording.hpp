// The recording: the marked frames appended to a video file, and the check that none was lost.
#pragma once

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <string>

#include "output/device_output.hpp"

namespace shapemark {

// True for the containers that write their index last (.mp4, .m4v, .mov): a file cut short
// plays nothing.
bool writesIndexLast(const std::string& path);

// True when `path` is a FIFO and its container writes its index last, which needs seeking
// back: the library's writer cannot open it, and deletes the FIFO when it tries.
bool needsSeekingOnPipe(const std::string& path);

class Recording {
  public:
    // Opens `path` for colour frames of `size` at `fps`: MP42 wherever the library can record
    // it, otherwise the container's usual codec (.mp4 and .m4v: H.264, or MPEG-4 part 2 without
    // an H.264 encoder; .webm: VP8). `quiet` keeps the back ends' notes off standard error.
    Recording(std::string path, double fps, cv::Size size, bool quiet);

    [[nodiscard]] bool isOpen() const { return writer_.isOpened(); }

    // Appends one frame. A frame of another size is not recorded, as the library's writer
    // would drop it. Stops recording once the file system can take no more.
    void write(const cv::Mat& img);

    // True once the file system takes no more: frames are being lost, and close() will say so.
    [[nodiscard]] bool losing() const { return !cause_.empty(); }

    // Completes the file, then reads it back: returns a line for standard error when it does
    // not hold every frame written, empty when it does (or when nothing was opened).
    std::string close();

  private:
    [[nodiscard]] std::string lossLine(long long madeIt, const std::string& cause) const;
    // Keeps the first error code that tells why a write to the file failed.
    void noteWriteError(int error);

    std::string path_;
    DeviceOutput device_;  // before the writer, which it outlives
    cv::VideoWriter writer_;
    cv::Size size_;
    bool quiet_;
    long long expected_ = 0;  // frames of the recording's size handed in
    std::string cause_;       // why the file system takes no more, once it does
    int writeError_ = 0;      // errno of the first failed write, which the writer hides
};

}  // namespace shapemark
