// Small file operations that the outputs share.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace shapemark {

// Writes all of `size` bytes, across short writes and interrupted calls. False on failure; errno
// then tells why (0 for a write that took nothing, as a full disk may).
bool writeAll(int fd, const void* data, std::size_t size);

// Waits until the file behind `fd` is on the disk: a write that fails only then (an I/O error, a
// full disk under the file system) shows nowhere else. Returns 0, or the error; a file that
// cannot be synced (a pipe, a device) counts as synced.
int syncToDisk(int fd);

// The name's extension, from its last dot, in lower case; empty when it has none.
std::string lowerExtension(std::string_view path);

}  // namespace shapemark
