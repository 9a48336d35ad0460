// A recording that is not a regular file (a device such as /dev/full, a FIFO): nothing can be
// read back from it, and the video library hides its write errors, so the device itself is
// asked whether it takes writes. The library also removes the name it failed to open, which
// for a FIFO would be the user's FIFO; it is handed a private link to it instead.
#pragma once

#include <string>

namespace shapemark {

// True for a name that leads to an existing file other than a regular one.
bool isDeviceOutput(const std::string& path);

class DeviceOutput {
  public:
    // For a device or FIFO at `path`: a private link to it, named as `path` is, for the
    // library to open. Otherwise nothing, and writerPath() is `path`.
    explicit DeviceOutput(const std::string& path);
    ~DeviceOutput();
    DeviceOutput(const DeviceOutput&) = delete;
    DeviceOutput& operator=(const DeviceOutput&) = delete;
    DeviceOutput(DeviceOutput&&) = delete;
    DeviceOutput& operator=(DeviceOutput&&) = delete;

    // The name for the library to open.
    [[nodiscard]] const std::string& writerPath() const { return writerPath_; }

    // After a failed open: whether another codec may be tried. The library removed the link,
    // which is made again. A FIFO's reader saw its end at the failed open, so a FIFO is not
    // tried again (the open would wait for a reader forever).
    bool mayRetry();

    // Once the library has tried to open it: the private link goes.
    void dropLink();

    // Once the library has opened it: a descriptor of the tool's own on the device, to ask.
    void watch();

    // Why writes to the device fail (a FIFO whose reader is gone, /dev/full), or an empty
    // string while they do not, or when nothing is watched.
    [[nodiscard]] std::string refusal() const;

    // Lets go of the device, so that a FIFO's reader sees its end.
    void release();

  private:
    std::string path_;
    std::string writerPath_;
    std::string target_;      // the absolute path the private link leads to
    std::string linkFolder_;  // empty when there is no private link
    int fd_ = -1;
    bool readerGone_ = false;  // a FIFO found without a reader once the library opened it
};

}  // namespace shapemark
