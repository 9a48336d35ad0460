// What the container library itself says about an input the frame reader cannot tell: why it
// does not open, and how many video packets a file holds.
#pragma once

#include <optional>
#include <string>

namespace shapemark {

// The library's own reason that `name` does not open ("Server returned 404 Not Found",
// "Connection refused", ...); empty when it opens there.
std::string containerOpenError(const std::string& name);

// The video packets of the file at `name`, read through without decoding; none when it cannot
// be read through.
std::optional<long long> videoPackets(const std::string& name);

// The bytes the resource at `name` announces (an HTTP Content-Length); none when it announces
// no length or does not open.
std::optional<long long> announcedBytes(const std::string& name);

}  // namespace shapemark
