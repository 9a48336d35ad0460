// Deflate streams in the zlib format, fed in pieces and appended to a growing byte buffer.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct isal_zstream;

namespace shapemark::png {

class DeflateStream {
  public:
    explicit DeflateStream(std::vector<std::uint8_t>& out) : out_(out), used_(out.size()) {}
    virtual ~DeflateStream() = default;
    DeflateStream(const DeflateStream&) = delete;
    DeflateStream& operator=(const DeflateStream&) = delete;
    DeflateStream(DeflateStream&&) = delete;
    DeflateStream& operator=(DeflateStream&&) = delete;

    // Compresses `size` more bytes; `last` ends the stream. False on the library's error.
    bool add(const std::uint8_t* data, std::size_t size, bool last);

  protected:
    // One piece that the library's 32-bit counts can hold; `final` ends the stream.
    virtual bool addPiece(const std::uint8_t* data, std::size_t size, bool final) = 0;
    // Room for at least `wanted` more bytes at the end of the buffer.
    std::uint8_t* room(std::size_t wanted, std::size_t& available);
    void wrote(std::size_t bytes) { used_ += bytes; }

  private:
    std::vector<std::uint8_t>& out_;
    std::size_t used_;  // bytes of `out_` in use, the stream's after the caller's own
};

// ISA-L's igzip at level 1: about three times as fast as the library's PNG writer on camera
// footage, at a smaller size. libdeflate's level 1 compresses 5 % better but takes half as long
// again, which misses the snapshot's budget. Levels 2 and 3 gain at most 0.5 % on the sample
// scenes, level 3 at ten times the cost.
class FastDeflate final : public DeflateStream {
  public:
    // `windowBits`: how far back matches reach, as a power of 2 from 8 to 15; 0 for igzip's
    // default, 32 KiB.
    explicit FastDeflate(std::vector<std::uint8_t>& out, unsigned windowBits = 0);
    ~FastDeflate() override;
    FastDeflate(const FastDeflate&) = delete;
    FastDeflate& operator=(const FastDeflate&) = delete;
    FastDeflate(FastDeflate&&) = delete;
    FastDeflate& operator=(FastDeflate&&) = delete;
    bool addPiece(const std::uint8_t* data, std::size_t size, bool final) override;

  private:
    std::unique_ptr<isal_zstream> stream_;
    // igzip's hash tables, left uninitialised: it sets them up itself.
    std::unique_ptr<std::uint8_t[]> levelBuffer_;  // NOLINT(modernize-avoid-c-arrays)
};

// zlib's run-length strategy: on the few near-flat images where igzip loses even with its short
// window (flat gray frames), it reaches deflate's best ratio quickly.
class RunDeflate final : public DeflateStream {
  public:
    explicit RunDeflate(std::vector<std::uint8_t>& out);
    ~RunDeflate() override;
    RunDeflate(const RunDeflate&) = delete;
    RunDeflate& operator=(const RunDeflate&) = delete;
    RunDeflate(RunDeflate&&) = delete;
    RunDeflate& operator=(RunDeflate&&) = delete;
    bool addPiece(const std::uint8_t* data, std::size_t size, bool final) override;

  private:
    z_stream stream_{};
    bool open_ = false;
};

}  // namespace shapemark::png
