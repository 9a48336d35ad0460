// A private temporary folder for the files the benchmarks write; removed with its contents.
#pragma once

#include <string>

namespace shapemark::bench {

class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ScratchFolder(ScratchFolder&&) = delete;
    ScratchFolder& operator=(ScratchFolder&&) = delete;

    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace shapemark::bench
