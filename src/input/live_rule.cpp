#include "input/live_rule.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <string_view>

#include "input/container_facts.hpp"

namespace shapemark {

namespace {
// Protocols that deliver as the sender sends: nothing waits for a slow reader.
constexpr std::array<std::string_view, 6> kLiveProtocols = {"tcp",  "udp", "rtp",
                                                            "rtsp", "srt", "rtmp"};

std::string protocolOf(const std::string& word) {
    std::string name = word.substr(0, word.find(':'));
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name;
}
}  // namespace

bool isLive(const InputWord& input) {
    if (input.kind == InputWord::Kind::Camera) {
        return true;
    }
    if (input.kind != InputWord::Kind::Stream) {
        return false;
    }
    const std::string protocol = protocolOf(input.word);
    // rtmps, srtp, udplite and the like are the same protocols over another layer.
    const bool live = std::any_of(
        kLiveProtocols.begin(), kLiveProtocols.end(),
        [&](std::string_view name) { return protocol.compare(0, name.size(), name) == 0; });
    if (live) {
        return true;
    }
    // A served file says how long it is; a broadcast over HTTP does not.
    return (protocol == "http" || protocol == "https") && !announcedBytes(input.openName);
}

}  // namespace shapemark
