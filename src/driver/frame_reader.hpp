// Reads a video frame by frame, telling the end of the input from a frame that failed to decode.
#pragma once

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

namespace shapemark {

// What one frame query gave.
struct FrameRead {
    enum class Kind { Frame, Damaged, End };
    Kind kind = Kind::End;
    cv::Mat frame;  // the decoded frame (Kind::Frame only), the caller's own: the reader keeps no
                    // reference, so the next decode goes to a new buffer
    double timeMs;  // the frame's time stamp in ms; NaN where the input has none (Kind::Frame only)
};

// One query per call, as the counter counts them. A failed decode is followed by a few silent
// retries (a small fixed budget): if one succeeds, this query reports Kind::Damaged and the next
// query delivers the frame the retry decoded; if none does, this query is Kind::End and so is
// every later one. A failure of the library itself (an exception, memory) is thrown, never
// reported as the end.
class FrameReader {
  public:
    // Decodes tried after a failed one before the input counts as ended. A damaged frame costs
    // one of them; a run of more damaged frames in a row than this ends the input.
    static constexpr int kRetries = 4;

    explicit FrameReader(cv::VideoCapture& capture);
    FrameRead read();
    [[nodiscard]] long long damaged() const;  // queries reported Damaged so far
    [[nodiscard]] long long frames() const;   // queries reported Frame so far

  private:
    bool decode();  // one decode into frame_ and timeMs_; throws when memory ran out

    cv::VideoCapture& capture_;
    cv::Mat frame_;
    double timeMs_ = 0.0;
    bool pending_ = false;  // a retry's frame waits for the next query
    bool ended_ = false;
    bool decodedAny_ = false;
    long long damaged_ = 0;
    long long frames_ = 0;
};

}  // namespace shapemark
