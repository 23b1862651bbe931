// Extracting one entry: the steps of payload/extractsteps.hpp, one chunk at
// a time through the two transfer buffers.
#include "payload/sacarchive.hpp"

#include "payload/tsmufflz.hpp"

namespace payload {

bool tsacarchive::ExtractEntry(std::size_t index, ExtractionObserver* observer, ExtractTarget target) {
    if (!archiveopen_ || index >= entrylist_.size()) {
        errortext_ = u"The archive is not open or has no such entry";
        return false;
    }
    return Extract(entrylist_[index], installfolder_, observer, target);
}

bool tsacarchive::ExtractEntryAs(std::size_t index, const std::u16string& folder, const std::u16string& filename) {
    if (!archiveopen_ || index >= entrylist_.size()) {
        errortext_ = u"The archive is not open or has no such entry";
        return false;
    }
    DirectoryEntry entry = entrylist_[index];
    entry.filename = filename;
    entry.subfolder.clear();
    return Extract(entry, folder, nullptr, ExtractTarget::Write);
}

bool tsacarchive::Extract(const DirectoryEntry& entry, const std::u16string& folder, ExtractionObserver* observer,
                          ExtractTarget target) {
    if (kind_ == PayloadKind::Solid) return ExtractSolid(entry, folder, observer, target);
    if (!output_.Begin(entry, folder, target, errortext_)) return false;

    ReadStatus status = reader_.Seek(entry);
    while (status == ReadStatus::Ok) {
        status = reader_.Read(chunk_, inbuffer_.get());
        if (status != ReadStatus::Ok) break;
        if (chunk_.lzflag == 1 && !decoder_) decoder_ = std::make_unique<tsmufflz>();
        // A plain chunk of an archive that has made no decoder yet never
        // uses one; the reference still has to name an object.
        const tsmufflz unused;
        std::uint32_t bytes = 0;
        const std::uint8_t* data =
            ChunkBytes(chunk_, decoder_ ? *decoder_ : unused, inbuffer_.get(), outbuffer_.get(), bytes);
        if (!output_.Write(data, bytes, errortext_)) {
            output_.Abandon();
            return false;
        }
        if (chunk_.lastflag == 1) {
            status = ReadStatus::EntryEnd;
            break;
        }
        if (reader_.Progress(progress_) && observer) observer->SyncProgress(progress_);
    }
    if (status != ReadStatus::EntryEnd) {
        errortext_ = ReadFailureText(status);
        output_.Abandon();
        if (ReadFailureEndsRun(status) && observer) observer->RequestTermination();
        return false;
    }
    if (!output_.Finish(errortext_)) {
        output_.Abandon();
        return false;
    }
    return true;
}

}  // namespace payload
