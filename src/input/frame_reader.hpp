// Reads a video frame by frame, telling the end of the input from a frame that failed to decode.
#pragma once

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

namespace shapemark {

// What one frame query gave.
struct FrameRead {
    // Dropped: a frame of a live input left out because the run fell behind (see FrameFeed).
    enum class Kind { Frame, Damaged, Dropped, End };
    Kind kind = Kind::End;
    cv::Mat frame;  // the decoded frame (Kind::Frame only), the caller's own: the reader keeps no
                    // reference, so the next decode goes to a new buffer
    double timeMs;  // the frame's time stamp in ms; NaN where the input has none or one that is
                    // negative or not after the last one's (Kind::Frame only)
};

// One query per call, as the counter counts them. Each failed decode is one query: a run of
// failed decodes followed by a frame is that many damaged frames, each reported Kind::Damaged;
// a run of kFailedReadsToEnd failed decodes in a row is the end, whatever came before, and so is
// every later query. A failure of the library itself (an exception, memory) is thrown, never
// reported as the end.
class FrameReader {
  public:
    // Failed decodes in a row that end the input. The end of a file is a failed decode too, so
    // the reader looks this far ahead before it calls a failure damage.
    static constexpr int kFailedReadsToEnd = 5;

    explicit FrameReader(cv::VideoCapture& capture);
    FrameRead read();
    [[nodiscard]] long long damaged() const;  // queries reported Damaged so far
    [[nodiscard]] long long frames() const;   // queries reported Frame so far
    // True once a run of failed decodes has ended the input.
    [[nodiscard]] bool ended() const { return ended_; }

  private:
    bool decode();  // one decode into frame_ and timeMs_; throws when memory ran out

    cv::VideoCapture& capture_;
    cv::Mat frame_;
    double timeMs_ = 0.0;
    double lastTimeMs_ = -1.0;      // the last time stamp taken; below 0 before the first
    bool pending_ = false;          // a frame decoded after a run of failures waits its turn
    long long pendingDamaged_ = 0;  // damaged queries still to report before it
    bool ended_ = false;
    long long damaged_ = 0;
    long long frames_ = 0;
};

}  // namespace shapemark
