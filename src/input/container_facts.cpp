#include "input/container_facts.hpp"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

#include <array>
#include <memory>

namespace shapemark {

namespace {
struct CloseInput {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using Input = std::unique_ptr<AVFormatContext, CloseInput>;

int openInput(const std::string& name, Input& input) {
    avformat_network_init();  // counted by the library: one init per call, undone below
    AVFormatContext* context = nullptr;
    const int status = avformat_open_input(&context, name.c_str(), nullptr, nullptr);
    avformat_network_deinit();
    input.reset(status < 0 ? nullptr : context);
    return status;
}
}  // namespace

std::string containerOpenError(const std::string& name) {
    Input input;
    const int status = openInput(name, input);
    if (status >= 0) {
        return {};
    }
    std::array<char, AV_ERROR_MAX_STRING_SIZE> text{};
    av_strerror(status, text.data(), text.size());
    return text.data();
}

std::optional<long long> videoPackets(const std::string& name) {
    Input input;
    if (openInput(name, input) < 0 || avformat_find_stream_info(input.get(), nullptr) < 0) {
        return std::nullopt;
    }
    const int video = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video < 0) {
        return std::nullopt;
    }
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(),
                                                          [](AVPacket* p) { av_packet_free(&p); });
    long long count = 0;
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        count += packet->stream_index == video ? 1 : 0;
        av_packet_unref(packet.get());
    }
    return count;
}

std::optional<long long> announcedBytes(const std::string& name) {
    avformat_network_init();
    AVIOContext* io = nullptr;
    std::optional<long long> bytes;
    if (avio_open2(&io, name.c_str(), AVIO_FLAG_READ, nullptr, nullptr) >= 0) {
        const int64_t size = avio_size(io);
        if (size > 0) {
            bytes = size;
        }
        avio_closep(&io);
    }
    avformat_network_deinit();
    return bytes;
}

}  // namespace shapemark
