// The snapshot file: the PNG of the last marked frame, replaced in one rename so that a reader
// never sees half a file. A device or FIFO is never replaced: the PNG is written into it. Its
// failures (missing folder, no permission, full disk, a FIFO nobody reads) leave the file as it
// was and no draft behind; they are not reported, the run goes on. A run killed in the instant
// between naming a draft and renaming it leaves one draft, `.shapemark-XXXXXXXX.tmp`, which
// removeStaleDrafts clears later.
#pragma once

#include <sys/types.h>

#include <opencv2/core.hpp>

#include <string>

#include "output/file_names.hpp"

namespace shapemark {

// The mode a new file gets under the process's umask.
mode_t newFileMode();

// Removes this user's drafts older than a minute from the folder of the snapshot `path`: drafts
// that killed runs left.
void removeStaleDrafts(const std::string& path);

// Encodes `img` as PNG into a new temporary file beside `path`: unnamed where the file system
// allows it (then held open until committed), else under a unique temporary name. Returns the
// draft for commitSnapshot, or an empty string on failure (then nothing is left behind).
std::string writeSnapshotDraft(const cv::Mat& img, const std::string& path, mode_t mode);

// Puts a draft in place of `path` with a rename; on failure removes the draft. True when `path`
// was replaced. Every draft must be committed once: an unnamed one holds a descriptor.
bool commitSnapshot(const std::string& draft, const std::string& path);

// Both steps at once: replaces `path` with the PNG of `img`.
bool saveSnapshot(const cv::Mat& img, const std::string& path, mode_t mode);

}  // namespace shapemark
