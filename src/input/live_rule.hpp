// Which inputs are live: they run at their own pace whether the run keeps up or not.
#pragma once

#include "input/input_word.hpp"

namespace shapemark {

// The frame rate a live input that tells none is recorded at: the commonest one.
constexpr double kLiveFallbackFps = 25.0;

// A camera, a tcp:, udp:, rtp:, rtsp:, srt: or rtmp: stream whatever it announces, or HTTP(S)
// that announces no length. Every other input, a pipe or HTTP with a length included, is a file:
// it waits for the run, and so never loses a frame.
bool isLive(const InputWord& input);

}  // namespace shapemark
