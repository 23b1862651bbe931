#include "payload/solidstream.hpp"

#include "payload/sacformat.hpp"

#include <algorithm>
#include <cstring>

namespace payload {

using namespace setuputil;

namespace {
// Decoded bytes are produced this many at a time.
constexpr std::size_t kPiece = kMaxChunkBytes;
static_assert(kPiece <= kTransferBufferSize);
}  // namespace

void SolidStream::Attach(FileAccess& file, std::int64_t archiveoffset, std::uint8_t* packed, std::uint8_t* decoded) {
    file_ = &file;
    archiveoffset_ = archiveoffset;
    filesize_ = GetFileSize64(file);
    packed_ = packed;
    decoded_ = decoded;
    started_ = false;
}

SolidStream::Status SolidStream::Begin(const SolidBlock& block, std::uint32_t index) {
    started_ = false;
    index_ = index;
    x86_ = block.record.filter == kSolidFilterX86;
    filter_ = X86Filter();
    decoderdone_ = false;
    readfailed_ = false;
    fileposition_ = archiveoffset_ + block.packedoffset;
    packedleft_ = block.record.packedsize;
    position_ = 0;
    readybegin_ = readyend_ = tailend_ = 0;
    LzmaProperties properties;
    if (!ParseLzmaProperties(block.record.properties, properties)) return Status::Corrupt;
    if (!decoder_.Begin(properties, block.record.dictionary, block.record.unpackedsize, *this))
        return Status::NoMemory;
    started_ = true;
    return Status::Ok;
}

bool SolidStream::Fill(const std::uint8_t*& data, std::size_t& size) {
    if (packedleft_ == 0 || readfailed_) return false;
    std::uint32_t count = static_cast<std::uint32_t>(std::min<std::uint64_t>(packedleft_, kMaxChunkBytes));
    const std::uint32_t want = count;
    ReadBlockAt(*file_, packed_, count, fileposition_);
    if (count != want) {
        readfailed_ = true;
        return false;
    }
    fileposition_ += count;
    packedleft_ -= count;
    data = packed_;
    size = count;
    return true;
}

SolidStream::Status SolidStream::Refill() {
    // The bytes the filter has not converted yet move to the front.
    const std::size_t tail = tailend_ - readyend_;
    std::memmove(decoded_, decoded_ + readyend_, tail);
    readybegin_ = 0;
    if (decoderdone_) {
        readyend_ = tailend_ = tail;
        return tail > 0 ? Status::Ok : Status::Corrupt;
    }
    std::size_t got = 0;
    const LzmaResult result = decoder_.Decode(decoded_ + tail, kPiece - tail, got);
    if (result == LzmaResult::Corrupt) return readfailed_ ? Status::ShortRead : Status::Corrupt;
    decoderdone_ = result == LzmaResult::Done;
    tailend_ = tail + got;
    readyend_ = x86_ ? filter_.Decode(decoded_, tailend_) : tailend_;
    if (decoderdone_) readyend_ = tailend_;  // the last few bytes are final as they are
    return readyend_ > 0 ? Status::Ok : Status::Corrupt;
}

SolidStream::Status SolidStream::Take(std::uint32_t want, const std::uint8_t*& data, std::uint32_t& count) {
    count = 0;
    if (!started_) return Status::Corrupt;
    if (readybegin_ == readyend_) {
        const Status status = Refill();
        if (status != Status::Ok) {
            started_ = false;
            return status;
        }
    }
    count = static_cast<std::uint32_t>(std::min<std::size_t>(want, readyend_ - readybegin_));
    data = decoded_ + readybegin_;
    readybegin_ += count;
    position_ += count;
    return Status::Ok;
}

bool SolidStream::Progress(int& progress) const {
    if (fileposition_ < archiveoffset_ || filesize_ <= archiveoffset_) return false;
    progress = static_cast<int>((fileposition_ - archiveoffset_) * 90 / (filesize_ - archiveoffset_));
    return true;
}

}  // namespace payload
