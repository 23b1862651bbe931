#include "payload/extractsteps.hpp"

#include "payload/entrypath.hpp"
#include "payload/tsmufflz.hpp"
#include "setuputil/fileops.hpp"
#include "setuputil/pathrules.hpp"

#include <limits>

namespace payload {

using namespace setuputil;

namespace {

std::u16string Refused(const DirectoryEntry& entry, const std::u16string& reason) {
    return u"Refused archive entry \"" + EntryDisplayPath(entry) + u"\": " + reason;
}

}  // namespace

std::u16string EntryRefusal(const DirectoryEntry& entry, const std::u16string& installfolder) {
    if (installfolder.empty()) return Refused(entry, u"no installation folder is given");
    // A relative folder would land wherever the process happens to be.
    if (!IsAbsoluteFolder(installfolder)) return Refused(entry, u"the installation folder is not an absolute path");
    const EntryPathProblem problem = CheckEntryPath(entry.filename, entry.subfolder);
    if (problem != EntryPathProblem::None) return Refused(entry, EntryPathProblemText(problem));
    if (entry.filesize < 0) return kTextCorrupt;
    return {};
}

std::u16string EntryFolder(const DirectoryEntry& entry, const std::u16string& installfolder) {
    return AddBackslash(RemoveBackslash(installfolder) + entry.subfolder);
}

bool ChunkHeaderFits(const tchunkheader& chunk) {
    return chunk.mark == kChunkMark && chunk.bitcount >= 0 && chunk.bitcount <= kMaxChunkBits;
}

const char16_t* ReadFailureText(ReadStatus status) {
    switch (status) {
    case ReadStatus::CannotSeek:
        return kTextCannotSeek;
    case ReadStatus::ShortRead:
        return kTextShortRead;
    case ReadStatus::Corrupt:
        return kTextCorrupt;
    case ReadStatus::Ok:
    case ReadStatus::EntryEnd:
        break;
    }
    return u"";
}

bool ReadFailureEndsRun(ReadStatus status) {
    return status == ReadStatus::CannotSeek || status == ReadStatus::ShortRead;
}

void ChunkReader::Attach(FileAccess& file, std::int64_t archiveoffset) {
    file_ = &file;
    archiveoffset_ = archiveoffset;
    filesize_ = GetFileSize64(file);
    position_ = -1;
}

ReadStatus ChunkReader::Seek(const DirectoryEntry& entry) {
    const bool reachable = file_ != nullptr && entry.dataoffset >= 0 &&
                           entry.dataoffset <= std::numeric_limits<std::int64_t>::max() - archiveoffset_;
    if (!reachable || !SeekAbsolute(*file_, archiveoffset_ + entry.dataoffset)) {
        position_ = -1;
        return ReadStatus::CannotSeek;
    }
    position_ = archiveoffset_ + entry.dataoffset;
    return ReadStatus::Ok;
}

ReadStatus ChunkReader::Read(tchunkheader& chunk, std::uint8_t* payload) {
    std::uint32_t count = kChunkHeaderSize;
    ReadBlock(*file_, &chunk, count);
    position_ += count;
    if (count < kChunkHeaderSize || chunk.bitcount == 0) return ReadStatus::EntryEnd;
    if (!ChunkHeaderFits(chunk)) return ReadStatus::Corrupt;
    const auto stored = static_cast<std::uint32_t>(ChunkPayloadBytes(chunk.bitcount));
    count = stored;
    ReadBlock(*file_, payload, count);
    position_ += count;
    return count == stored ? ReadStatus::Ok : ReadStatus::ShortRead;
}

bool ChunkReader::Progress(int& progress) const {
    if (position_ < archiveoffset_ || filesize_ <= archiveoffset_) return false;
    progress = static_cast<int>((position_ - archiveoffset_) * 90 / (filesize_ - archiveoffset_));
    return true;
}

const std::uint8_t* ChunkBytes(const tchunkheader& chunk, const tsmufflz& decoder, const std::uint8_t* payload,
                               std::uint8_t* decoded, std::uint32_t& bytes) {
    bytes = static_cast<std::uint32_t>(chunk.bitcount);
    if (chunk.lzflag != 1) {
        bytes /= 8;
        return payload;
    }
    decoder.DecodeChunk(payload, decoded, bytes);
    return decoded;
}

bool EntryOutput::Begin(const DirectoryEntry& entry, const std::u16string& installfolder, ExtractTarget target,
                        std::u16string& errortext) {
    Abandon();
    entry_ = &entry;
    written_ = 0;
    writing_ = target == ExtractTarget::Write;
    // Everything that could send the file elsewhere is settled before the
    // first folder is made.
    if (std::u16string refusal = EntryRefusal(entry, installfolder); !refusal.empty()) {
        errortext = std::move(refusal);
        return false;
    }
    const std::u16string folder = EntryFolder(entry, installfolder);
    fullpath_ = folder + entry.filename;
    if (!writing_) return true;
    // Most entries go to a folder that an earlier one made: the folder
    // chain is walked only when the file cannot be created as it is.  The
    // outcomes are those of making the folders first.
    if (OpenForWrite(output_.file, fullpath_)) return true;
    if (!ForceFolders(folder)) {
        errortext = kTextNoFolder;
        return false;
    }
    if (!OpenForWrite(output_.file, fullpath_)) {
        errortext = kTextCannotCreatePrefix + fullpath_ + u")";
        return false;
    }
    return true;
}

bool EntryOutput::Write(const std::uint8_t* data, std::uint32_t bytes, std::u16string& errortext) {
    if (bytes > kMaxChunkBytes || static_cast<std::int64_t>(bytes) > entry_->filesize - written_) {
        errortext = kTextCorrupt;
        return false;
    }
    if (writing_ && !WriteBlock(output_.file, data, static_cast<std::int32_t>(bytes))) {
        errortext = kTextWriteFailed;
        return false;
    }
    written_ += bytes;
    return true;
}

bool EntryOutput::Finish(std::u16string& errortext) {
    if (written_ != entry_->filesize) {
        errortext = kTextCorrupt;
        return false;
    }
    if (writing_) {
        CloseAccess(output_.file);
        // Most entries carry just the archive bit, which the new file has:
        // the call (three round trips to Wine's server) is saved for them.
        if (entry_->attributes != kAttrCreatedFile) SetFileAttrs(fullpath_, entry_->attributes);
    }
    errortext = kTextExtracted;
    return true;
}

void EntryOutput::Abandon() {
    if (output_.file.handle != 0) CloseAccess(output_.file);
}

}  // namespace payload
