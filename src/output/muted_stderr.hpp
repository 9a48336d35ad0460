// Silences standard error around the library calls whose video back ends print straight to it.
#pragma once

namespace shapemark {

// While alive and active, standard error goes to /dev/null: the video back ends print some
// notes straight to it, past the library's log. Only opening calls are wrapped, so the tool's
// own messages are never lost.
class MutedStderr {
  public:
    explicit MutedStderr(bool active);
    ~MutedStderr();
    MutedStderr(const MutedStderr&) = delete;
    MutedStderr& operator=(const MutedStderr&) = delete;
    MutedStderr(MutedStderr&&) = delete;
    MutedStderr& operator=(MutedStderr&&) = delete;

  private:
    int saved_ = -1;
};

}  // namespace shapemark
