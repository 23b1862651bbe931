#include "payload/solidstream.hpp"

#include "payload/sacformat.hpp"

#include <algorithm>
#include <cstring>
#include <new>

namespace payload {

using namespace setuputil;

namespace {
// Decoded bytes are produced and handed over this many at a time.
constexpr std::size_t kPiece = kMaxChunkBytes;
}  // namespace

SolidStream::~SolidStream() { Stop(); }

void SolidStream::Attach(const std::u16string& installerpath, std::int64_t archiveoffset) {
    Stop();
    if (file_.file.handle != 0) CloseAccess(file_.file);
    path_ = installerpath;
    archiveoffset_ = archiveoffset;
    filesize_ = -1;
}

void SolidStream::Stop() {
    if (worker_.Running()) {
        {
            LockHolder hold(lock_);
            stop_ = true;
        }
        takenmore_.Set();
        worker_.Join();
    }
    started_ = false;
}

SolidStream::Status SolidStream::Begin(const SolidBlock& block, std::uint32_t index) {
    Stop();
    index_ = index;
    block_ = block;
    x86_ = block.record.filter == kSolidFilterX86;
    filter_ = X86Filter();
    decoderdone_ = false;
    readfailed_ = false;
    fileposition_ = archiveoffset_ + block.packedoffset;
    packedleft_ = block.record.packedsize;
    copied_ = position_ = 0;
    readybegin_ = readyend_ = tailend_ = 0;
    published_ = released_ = 0;
    finished_ = stop_ = false;
    outcome_ = LzmaResult::More;
    if (file_.file.handle == 0) {
        if (!OpenForRead(file_.file, path_)) return Status::ShortRead;
        filesize_ = GetFileSize64(file_.file);
    }
    if (!packed_) packed_.reset(new (std::nothrow) std::uint8_t[kPiece]);
    if (!decoded_) decoded_.reset(new (std::nothrow) std::uint8_t[kPiece]);
    if (!packed_ || !decoded_) return Status::NoMemory;
    LzmaProperties properties;
    if (!ParseLzmaProperties(block.record.properties, properties)) return Status::Corrupt;
    if (!decoder_.Begin(properties, block.record.dictionary, block.record.unpackedsize, *this))
        return Status::NoMemory;
    started_ = true;
    // Without a worker the reader decodes as it reads.
    worker_.Start(&SolidStream::RunWorker, this);
    return Status::Ok;
}

bool SolidStream::Fill(const std::uint8_t*& data, std::size_t& size) {
    if (packedleft_ == 0 || readfailed_) return false;
    std::uint32_t count = static_cast<std::uint32_t>(std::min<std::uint64_t>(packedleft_, kPiece));
    const std::uint32_t want = count;
    ReadBlockAt(file_.file, packed_.get(), count, fileposition_);
    if (count != want) {
        readfailed_ = true;
        return false;
    }
    fileposition_ += count;
    packedleft_ -= count;
    data = packed_.get();
    size = count;
    return true;
}

void SolidStream::RunWorker(void* stream) {
    auto* self = static_cast<SolidStream*>(stream);
    while (self->DecodeStep(true)) {
    }
}

bool SolidStream::DecodeStep(bool onworker) {
    std::uint64_t released;
    {
        LockHolder hold(lock_);
        if (stop_ || finished_) return false;
        released = released_;
    }
    // Never past the bytes the reader still needs in the dictionary.
    const std::uint64_t room = released + decoder_.window();
    if (decoder_.decoded() >= room) {
        if (onworker) takenmore_.Wait();
        return true;
    }
    const LzmaResult result = decoder_.DecodeTo(std::min<std::uint64_t>(room, decoder_.decoded() + kPiece));
    {
        LockHolder hold(lock_);
        published_ = decoder_.decoded();
        if (result != LzmaResult::More) {
            finished_ = true;
            outcome_ = result;
        }
    }
    decodedmore_.Set();
    return result == LzmaResult::More;
}

SolidStream::Status SolidStream::Refill() {
    // The bytes the filter has not converted yet move to the front.
    const std::size_t tail = tailend_ - readyend_;
    std::memmove(decoded_.get(), decoded_.get() + readyend_, tail);
    readybegin_ = 0;
    if (decoderdone_) {
        readyend_ = tailend_ = tail;
        return tail > 0 ? Status::Ok : Status::Corrupt;
    }
    // Waits for the worker (or decodes) until there are new bytes or the end.
    std::uint64_t published;
    bool finished;
    LzmaResult outcome;
    for (;;) {
        {
            LockHolder hold(lock_);
            published = published_;
            finished = finished_;
            outcome = outcome_;
        }
        if (published > copied_ || finished) break;
        if (worker_.Running())
            decodedmore_.Wait();
        else
            DecodeStep(false);
    }
    const std::size_t got = static_cast<std::size_t>(std::min<std::uint64_t>(published - copied_, kPiece - tail));
    decoder_.CopyOut(copied_, decoded_.get() + tail, got);
    copied_ += got;
    {
        LockHolder hold(lock_);
        released_ = copied_;
    }
    takenmore_.Set();
    if (got == 0 && outcome == LzmaResult::Corrupt) return readfailed_ ? Status::ShortRead : Status::Corrupt;
    decoderdone_ = finished && outcome == LzmaResult::Done && copied_ == published;
    tailend_ = tail + got;
    readyend_ = x86_ ? filter_.Decode(decoded_.get(), tailend_) : tailend_;
    if (decoderdone_) readyend_ = tailend_;  // the last few bytes are final as they are
    // Nothing final yet is fine while more comes (the filter holds back the
    // start of an instruction); at the end it is asking past the block.
    return readyend_ > 0 || !decoderdone_ ? Status::Ok : Status::Corrupt;
}

SolidStream::Status SolidStream::Take(std::uint32_t want, const std::uint8_t*& data, std::uint32_t& count) {
    count = 0;
    if (!started_) return Status::Corrupt;
    if (readybegin_ == readyend_) {
        Status status = Refill();
        // Bytes the filter holds back until more follow: ask again.
        while (status == Status::Ok && readyend_ == 0) status = Refill();
        if (status != Status::Ok) {
            Stop();
            return status;
        }
    }
    count = static_cast<std::uint32_t>(std::min<std::size_t>(want, readyend_ - readybegin_));
    data = decoded_.get() + readybegin_;
    readybegin_ += count;
    position_ += count;
    return Status::Ok;
}

bool SolidStream::Progress(int& progress) const {
    if (filesize_ <= archiveoffset_ || block_.record.unpackedsize == 0) return false;
    const std::uint64_t packed =
        static_cast<std::uint64_t>(static_cast<double>(block_.record.packedsize) *
                                   (static_cast<double>(position_) / static_cast<double>(block_.record.unpackedsize)));
    const std::int64_t read = block_.packedoffset + static_cast<std::int64_t>(packed);
    progress = static_cast<int>(std::min<std::int64_t>(read, filesize_ - archiveoffset_) * 90 / (filesize_ - archiveoffset_));
    return true;
}

}  // namespace payload
