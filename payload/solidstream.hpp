// One block of the solid payload (payload/solidformat.hpp) read as its
// decoded bytes, from the installer file through the LZMA decoder and, when
// the block says so, the x86 filter.
//
// The block is decoded on a worker thread of its own, into the decoder's
// dictionary, while the reader takes the bytes from there in order: the
// decoder runs ahead of the reader by at most the dictionary, the reader
// waits for bytes not decoded yet.  The block's bytes the reader still
// needs are never overwritten, and memory stays at the dictionary (at most
// kMaxSolidDictionary) and two buffers of 64 KiB.  Without a thread (none
// could be made) the reader decodes the block itself.
//
// The stream opens the installer file again for itself: its positioned
// reads go through a handle of its own, so the reader's other reads (the
// stub's copy) and other streams decoding other blocks do not disturb it.
//
//   stream.Attach(installerpath, archiveoffset);
//   stream.Begin(blocks[k], k);                    // the worker starts
//   while (...) stream.Take(want, data, count);   // the block in order
//   stream.Stop();                                 // also by Begin and the destructor
#pragma once

#include "payload/lzmadecoder.hpp"
#include "payload/solidformat.hpp"
#include "payload/x86filter.hpp"
#include "setuputil/fileaccess.hpp"
#include "setuputil/threads.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace payload {

class SolidStream final : private LzmaInput {
public:
    enum class Status {
        Ok,
        Corrupt,    // the stream breaks the format, or decodes to fewer bytes than the block says
        ShortRead,  // the installer file could not be read
        NoMemory,   // the dictionary could not be had
    };

    SolidStream() = default;
    ~SolidStream();
    SolidStream(const SolidStream&) = delete;
    SolidStream& operator=(const SolidStream&) = delete;

    void Attach(const std::u16string& installerpath, std::int64_t archiveoffset);
    // Starts `block` (the directory's block number `index`) at its first
    // byte, its decoding on the worker.
    Status Begin(const SolidBlock& block, std::uint32_t index);
    // The next bytes of the block, at most `want` (1..65,536): `count` of
    // them at `data`, valid until the next call.  Asking past the block's
    // end is Corrupt.
    Status Take(std::uint32_t want, const std::uint8_t*& data, std::uint32_t& count);
    // Ends the worker; the stream must be begun again before it is read.
    void Stop();

    bool Started() const { return started_; }
    std::uint32_t block() const { return index_; }
    // Decoded bytes of the block taken so far.
    std::uint64_t position() const { return position_; }
    // The share of the payload (archive, license, trailer) read so far,
    // 0..90, as the SAC reader counts it: the block's packed bytes in the
    // proportion of its decoded bytes taken; false when the file says nothing.
    bool Progress(int& progress) const;

private:
    bool Fill(const std::uint8_t*& data, std::size_t& size) override;
    static void RunWorker(void* stream);
    // Decodes the next stretch the reader's position allows (on the worker,
    // waits for the reader when it allows none); false when the stream has
    // ended (done or broken) or the worker is to stop.
    bool DecodeStep(bool onworker);
    Status Refill();

    std::u16string path_;
    setuputil::ScopedFileAccess file_;
    std::int64_t archiveoffset_ = 0;
    std::int64_t filesize_ = -1;
    std::unique_ptr<std::uint8_t[]> packed_;   // kMaxChunkBytes each
    std::unique_ptr<std::uint8_t[]> decoded_;
    LzmaDecoder decoder_;
    X86Filter filter_;
    setuputil::WorkerThread worker_;
    // Shared between the worker and the reader, under lock_.
    setuputil::Lock lock_;
    setuputil::Signal decodedmore_;  // the worker to the reader
    setuputil::Signal takenmore_;    // the reader to the worker
    std::uint64_t published_ = 0;    // bytes decoded and ready in the dictionary
    std::uint64_t released_ = 0;     // bytes the reader has copied out of it
    bool finished_ = false;          // the decoder ended: outcome_ says how
    LzmaResult outcome_ = LzmaResult::More;
    bool stop_ = false;
    // The worker's own.
    bool readfailed_ = false;
    std::int64_t fileposition_ = 0;  // next packed byte in the file
    std::uint64_t packedleft_ = 0;
    // The reader's own.
    SolidBlock block_{};
    bool x86_ = false;
    bool started_ = false;
    bool decoderdone_ = false;
    std::uint32_t index_ = 0;
    std::uint64_t copied_ = 0;       // decoded bytes copied out of the dictionary
    std::uint64_t position_ = 0;
    std::size_t readybegin_ = 0;     // final bytes not yet taken: [readybegin_, readyend_)
    std::size_t readyend_ = 0;
    std::size_t tailend_ = 0;        // then bytes the filter has yet to see: [readyend_, tailend_)
};

}  // namespace payload
