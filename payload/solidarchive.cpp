// The solid payload (payload/solidformat.hpp) opened and extracted: the
// SolidStream of the entry's block feeds the same EntryOutput steps as a
// SAC archive's chunks.
#include "payload/sacarchive.hpp"

#include "payload/crc32.hpp"
#include "payload/payloadcheck.hpp"
#include "payload/solidstream.hpp"
#include "setuputil/threads.hpp"

#include <algorithm>
#include <cstring>
#include <new>

namespace payload {

using namespace setuputil;

namespace {

// The text of a stop between pieces; the worker ends quietly on it.
constexpr char16_t kTextStopped[] = u"Stopped";

}  // namespace

bool tsacarchive::OpenSolid() {
    const std::int64_t size = GetFileSize64(archivefile_);
    const std::int64_t footerAt = licenseoffset_ - static_cast<std::int64_t>(sizeof(tsolidfooter));
    const std::int64_t blocksFrom = archiveoffset_ + static_cast<std::int64_t>(sizeof(tsolidheader));
    if (size < 0 || archiveoffset_ < 0 || licenseoffset_ > size || footerAt < blocksFrom)
        return FailOpen(kDamagedInstaller);
    tsolidheader header{};
    tsolidfooter footer{};
    std::uint32_t count = sizeof header;
    if (ReadBlockAt(archivefile_, &header, count, archiveoffset_) != sizeof header ||
        std::memcmp(header.mark, kSolidMark, sizeof kSolidMark) != 0)
        return FailOpen(kDamagedInstaller);
    count = sizeof footer;
    if (ReadBlockAt(archivefile_, &footer, count, footerAt) != sizeof footer ||
        std::memcmp(footer.mark, kSolidMark, sizeof kSolidMark) != 0)
        return FailOpen(kDamagedInstaller);
    // The directory lies between the blocks and the footer: its size is
    // bounded by what the file holds there before anything is allocated.
    if (footer.directorysize > static_cast<std::uint64_t>(footerAt - blocksFrom)) return FailOpen(kDamagedInstaller);
    const std::int64_t directoryAt = footerAt - footer.directorysize;
    std::vector<std::uint8_t> bytes;
    SolidDirectory directory;
    try {
        bytes.resize(footer.directorysize);
    } catch (const std::bad_alloc&) {
        return FailOpen(u"Not enough memory for the archive directory");
    }
    count = footer.directorysize;
    if (count > 0 && ReadBlockAt(archivefile_, bytes.data(), count, directoryAt) != footer.directorysize)
        return FailOpen(kTextShortRead);
    if (Crc32(0, bytes.data(), bytes.size()) != footer.directorycrc ||
        !ParseSolidDirectory(bytes.data(), bytes.size(), footer.blockcount,
                             static_cast<std::uint64_t>(directoryAt - blocksFrom), directory))
        return FailOpen(kDamagedInstaller);
    blocks_ = std::move(directory.blocks);
    entrylist_ = std::move(directory.entries);

    if (!inbuffer_) inbuffer_ = std::make_unique<std::uint8_t[]>(kTransferBufferSize);
    if (!outbuffer_) outbuffer_ = std::make_unique<std::uint8_t[]>(kTransferBufferSize);
    if (!solid_) solid_ = std::make_unique<SolidStream>();
    solid_->Attach(installerpath_, archiveoffset_);
    for (auto& stream : ahead_) stream->Attach(installerpath_, archiveoffset_);
    begunupto_ = 0;
    archiveopen_ = true;
    return true;
}

bool tsacarchive::FailSolid(const std::u16string& text, bool endsrun, ExtractionObserver* observer) {
    errortext_ = text;
    output_.Abandon();
    if (endsrun && observer) observer->RequestTermination();
    return false;
}

namespace {

const char16_t* StreamFailureText(SolidStream::Status status) {
    switch (status) {
    case SolidStream::Status::ShortRead:
        return kTextShortRead;
    case SolidStream::Status::NoMemory:
        return u"Not enough memory to decode the setup data";
    case SolidStream::Status::Ok:
    case SolidStream::Status::Corrupt:
        break;
    }
    return kTextCorrupt;
}

}  // namespace

void tsacarchive::StartAhead(std::uint32_t block) {
    // One decoder per processor, the reader's own included; each holds its
    // block's dictionary (at most kMaxSolidDictionary).
    const std::uint32_t decoders = std::min(setuputil::ProcessorCount(), kMaxSolidDecoders);
    const std::uint32_t last = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(blocks_.size(), static_cast<std::uint64_t>(block) + decoders));
    for (std::uint32_t next = std::max(block + 1, begunupto_); next < last; ++next) {
        std::unique_ptr<SolidStream>* free = nullptr;
        for (auto& stream : ahead_)
            if (!stream->Started() || stream->block() <= block) free = &stream;
        if (!free) {
            auto* stream = new (std::nothrow) SolidStream;
            if (!stream) return;
            stream->Attach(installerpath_, archiveoffset_);
            ahead_.emplace_back(stream);
            free = &ahead_.back();
        }
        // A block that cannot start now (no memory) starts when it is read.
        if ((*free)->Begin(blocks_[next], next) != SolidStream::Status::Ok) {
            (*free)->Stop();
            return;
        }
        begunupto_ = next + 1;
    }
}

bool tsacarchive::SeekSolid(const DirectoryEntry& entry, ExtractionObserver* observer) {
    if (entry.block >= blocks_.size()) return FailSolid(kTextCorrupt, false, observer);
    if (!solid_->Started() || solid_->block() != entry.block || solid_->position() > entry.blockoffset) {
        // The block may be decoding ahead already.
        bool found = false;
        for (auto& stream : ahead_) {
            if (stream->Started() && stream->block() == entry.block && stream->position() <= entry.blockoffset) {
                solid_->Stop();
                std::swap(solid_, stream);
                found = true;
                break;
            }
        }
        if (!found) {
            const SolidStream::Status status = solid_->Begin(blocks_[entry.block], entry.block);
            if (status != SolidStream::Status::Ok)
                return FailSolid(StreamFailureText(status), status == SolidStream::Status::ShortRead, observer);
            begunupto_ = std::max(begunupto_, entry.block + 1);
        }
        StartAhead(entry.block);
    }
    // The bytes before the entry (entries passed over) are decoded and dropped.
    while (solid_->position() < entry.blockoffset) {
        if (observer && observer->StopRequested()) return FailSolid(kTextStopped, false, observer);
        const std::uint64_t gap = entry.blockoffset - solid_->position();
        const std::uint8_t* data = nullptr;
        std::uint32_t got = 0;
        const SolidStream::Status status =
            solid_->Take(static_cast<std::uint32_t>(std::min<std::uint64_t>(gap, kMaxChunkBytes)), data, got);
        if (status != SolidStream::Status::Ok)
            return FailSolid(StreamFailureText(status), status == SolidStream::Status::ShortRead, observer);
    }
    return true;
}

bool tsacarchive::ExtractSolid(const DirectoryEntry& entry, const std::u16string& folder,
                               ExtractionObserver* observer, ExtractTarget target) {
    if (!output_.Begin(entry, folder, target, errortext_)) return false;
    if (!SeekSolid(entry, observer)) return false;
    std::uint64_t left = static_cast<std::uint64_t>(entry.filesize);
    std::uint32_t crc = 0;
    while (left > 0) {
        const std::uint8_t* data = nullptr;
        std::uint32_t got = 0;
        const SolidStream::Status status =
            solid_->Take(static_cast<std::uint32_t>(std::min<std::uint64_t>(left, kMaxChunkBytes)), data, got);
        if (status != SolidStream::Status::Ok)
            return FailSolid(StreamFailureText(status), status == SolidStream::Status::ShortRead, observer);
        crc = Crc32(crc, data, got);
        if (!output_.Write(data, got, errortext_)) {
            output_.Abandon();
            return false;
        }
        left -= got;
        if (left == 0) break;
        if (solid_->Progress(progress_) && observer) observer->SyncProgress(progress_);
        if (observer && observer->StopRequested()) return FailSolid(kTextStopped, false, observer);
    }
    // The file counts as written only with the bytes the builder hashed.
    if (crc != entry.crc32) return FailSolid(kTextCorrupt, false, observer);
    if (!output_.Finish(errortext_)) {
        output_.Abandon();
        return false;
    }
    return true;
}

}  // namespace payload
