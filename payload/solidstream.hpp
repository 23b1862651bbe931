// One block of the solid payload (payload/solidformat.hpp) read as its
// decoded bytes, from the installer file through the LZMA decoder and, when
// the block says so, the x86 filter.
//
// The packed stream is read in pieces of up to 64 KiB with positioned
// reads, so other reads of the same file in between (the stub's copy) do
// not disturb it; the decoded bytes come out in pieces of up to 64 KiB.
// Both go through the caller's two transfer buffers; the decoder's only
// memory of its own is its dictionary (at most kMaxSolidDictionary).
//
//   stream.Attach(file, archiveoffset, inbuffer, outbuffer);
//   stream.Begin(blocks[k], k);
//   while (...) stream.Take(want, data, count);   // the block in order
#pragma once

#include "payload/lzmadecoder.hpp"
#include "payload/solidformat.hpp"
#include "payload/x86filter.hpp"
#include "setuputil/fileaccess.hpp"

#include <cstddef>
#include <cstdint>

namespace payload {

class SolidStream final : private LzmaInput {
public:
    enum class Status {
        Ok,
        Corrupt,    // the stream breaks the format, or decodes to fewer bytes than the block says
        ShortRead,  // the installer file could not be read
        NoMemory,   // the dictionary could not be had
    };

    // `packed` and `decoded` are kTransferBufferSize bytes each.
    void Attach(setuputil::FileAccess& file, std::int64_t archiveoffset, std::uint8_t* packed, std::uint8_t* decoded);
    // Starts `block` (the directory's block number `index`) at its first byte.
    Status Begin(const SolidBlock& block, std::uint32_t index);
    // The next bytes of the block, at most `want` (1..65,536): `count` of
    // them at `data`, valid until the next call.  Asking past the block's
    // end is Corrupt.
    Status Take(std::uint32_t want, const std::uint8_t*& data, std::uint32_t& count);

    bool Started() const { return started_; }
    std::uint32_t block() const { return index_; }
    // Decoded bytes of the block taken so far.
    std::uint64_t position() const { return position_; }
    // The share of the payload (archive, license, trailer) read so far,
    // 0..90, as the SAC reader counts it; false when the file says nothing.
    bool Progress(int& progress) const;

private:
    bool Fill(const std::uint8_t*& data, std::size_t& size) override;
    Status Refill();

    setuputil::FileAccess* file_ = nullptr;
    std::int64_t archiveoffset_ = 0;
    std::int64_t filesize_ = -1;
    std::uint8_t* packed_ = nullptr;
    std::uint8_t* decoded_ = nullptr;
    LzmaDecoder decoder_;
    X86Filter filter_;
    bool x86_ = false;
    bool started_ = false;
    bool decoderdone_ = false;
    bool readfailed_ = false;
    std::uint32_t index_ = 0;
    std::int64_t fileposition_ = 0;  // next packed byte in the file
    std::uint64_t packedleft_ = 0;
    std::uint64_t position_ = 0;
    std::size_t readybegin_ = 0;     // final bytes not yet taken: [readybegin_, readyend_)
    std::size_t readyend_ = 0;
    std::size_t tailend_ = 0;        // then bytes the filter has yet to see: [readyend_, tailend_)
};

}  // namespace payload
