// Two runs writing one recording or log would interleave, and the recording's read-back, which
// counts frames, could not tell. Each output that is a regular file is locked (an exclusive
// flock, never waited for) before anything empties it, and stays locked while the run lasts.
#pragma once

#include <string>
#include <vector>

namespace shapemark {

class OutputLocks {
  public:
    OutputLocks() = default;
    ~OutputLocks();
    OutputLocks(const OutputLocks&) = delete;
    OutputLocks& operator=(const OutputLocks&) = delete;
    OutputLocks(OutputLocks&&) = delete;
    OutputLocks& operator=(OutputLocks&&) = delete;

    // Locks the file at `path`, made empty first where there is none, so that a run starting
    // at the same moment finds it. False only when another process holds its lock. A device, a
    // FIFO, a file that cannot be opened or a file system without locks goes unlocked: what
    // writes to it tells its own failure.
    bool take(const std::string& path);

    // Removes the file at `path` if take() made it and it is still empty: an output never
    // opened leaves no file behind.
    void removeMade(const std::string& path);

    // The same for every file take() made: a refused run leaves nothing behind.
    void removeAllMade();

  private:
    struct Held {
        int fd;
        std::string path;
        bool made;
    };
    std::vector<Held> held_;
};

}  // namespace shapemark
