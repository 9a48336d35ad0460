#include "png/deflate_stream.hpp"

#include <isa-l/igzip_lib.h>

#include <algorithm>

namespace shapemark::png {

namespace {
constexpr std::size_t kMinRoom = std::size_t{64} * 1024;
// The libraries count input in 32-bit fields.
constexpr std::size_t kMaxPiece = 1U << 30U;
}  // namespace

std::uint8_t* DeflateStream::room(std::size_t wanted, std::size_t& available) {
    if (out_.size() - used_ < wanted) {
        out_.resize(used_ + std::max({wanted, kMinRoom, out_.size() / 2}));
    }
    available = std::min(out_.size() - used_, kMaxPiece);
    return out_.data() + used_;
}

bool DeflateStream::add(const std::uint8_t* data, std::size_t size, bool last) {
    do {
        const std::size_t piece = std::min(size, kMaxPiece);
        if (!addPiece(data, piece, last && piece == size)) {
            return false;
        }
        data += piece;
        size -= piece;
    } while (size > 0);
    if (last) {
        out_.resize(used_);  // trimmed to what was written
    }
    return true;
}

FastDeflate::FastDeflate(std::vector<std::uint8_t>& out, unsigned windowBits)
    : DeflateStream(out), stream_(std::make_unique<isal_zstream>()) {
    isal_deflate_init(stream_.get());
    levelBuffer_.reset(new std::uint8_t[ISAL_DEF_LVL1_DEFAULT]);  // NOLINT: left uninitialised
    stream_->level = 1;
    stream_->level_buf = levelBuffer_.get();
    stream_->level_buf_size = ISAL_DEF_LVL1_DEFAULT;
    stream_->gzip_flag = IGZIP_ZLIB;
    stream_->hist_bits = static_cast<std::uint16_t>(windowBits);
    stream_->flush = NO_FLUSH;
}

FastDeflate::~FastDeflate() = default;

bool FastDeflate::addPiece(const std::uint8_t* data, std::size_t size, bool final) {
    isal_zstream& s = *stream_;
    s.next_in = const_cast<std::uint8_t*>(data);  // the library's API lacks const
    s.avail_in = static_cast<std::uint32_t>(size);
    s.end_of_stream = final ? 1 : 0;
    do {
        std::size_t available = 0;
        s.next_out = room(size / 2 + 1024, available);
        s.avail_out = static_cast<std::uint32_t>(available);
        if (isal_deflate(&s) != COMP_OK) {
            return false;
        }
        wrote(available - s.avail_out);
    } while (s.avail_in > 0 || (final && s.internal_state.state != ZSTATE_END));
    return true;
}

RunDeflate::RunDeflate(std::vector<std::uint8_t>& out) : DeflateStream(out) {
    open_ = deflateInit2(&stream_, 1, Z_DEFLATED, MAX_WBITS, MAX_MEM_LEVEL, Z_RLE) == Z_OK;
}

RunDeflate::~RunDeflate() {
    if (open_) {
        deflateEnd(&stream_);
    }
}

bool RunDeflate::addPiece(const std::uint8_t* data, std::size_t size, bool final) {
    if (!open_) {
        return false;
    }
    stream_.next_in = const_cast<Bytef*>(data);  // zlib's API lacks const
    stream_.avail_in = static_cast<uInt>(size);
    int status = Z_OK;
    do {
        std::size_t available = 0;
        stream_.next_out = room(size / 2 + 1024, available);
        stream_.avail_out = static_cast<uInt>(available);
        status = deflate(&stream_, final ? Z_FINISH : Z_NO_FLUSH);
        if (status == Z_STREAM_ERROR) {
            return false;
        }
        wrote(available - stream_.avail_out);
    } while (stream_.avail_in > 0 || (final && status != Z_STREAM_END));
    return true;
}

}  // namespace shapemark::png
