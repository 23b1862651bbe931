// Extracting one entry: compose and check the destination, then copy the
// entry's chunks through the two transfer buffers.
#include "payload/sacarchive.hpp"

#include "payload/entrypath.hpp"
#include "payload/tsmufflz.hpp"
#include "setuputil/fileops.hpp"
#include "setuputil/pathrules.hpp"

#include <limits>
#include <utility>

namespace payload {

using namespace setuputil;

namespace {

std::u16string Refused(const tsacentry& entry, const std::u16string& reason) {
    return u"Refused archive entry \"" + EntryDisplayPath(entry) + u"\": " + reason;
}

}  // namespace

std::u16string EntryRefusal(const tsacentry& entry, const std::u16string& installfolder) {
    if (installfolder.empty()) return Refused(entry, u"no installation folder is given");
    // A relative folder would land wherever the process happens to be.
    if (!IsAbsoluteFolder(installfolder)) return Refused(entry, u"the installation folder is not an absolute path");
    const EntryPathProblem problem = CheckEntryPath(ReadWideField(entry.filename), ReadWideField(entry.subfolder));
    if (problem != EntryPathProblem::None) return Refused(entry, EntryPathProblemText(problem));
    if (entry.filesize < 0) return kTextCorrupt;
    return {};
}

std::u16string EntryFolder(const tsacentry& entry, const std::u16string& installfolder) {
    return AddBackslash(RemoveBackslash(installfolder) + ReadWideField(entry.subfolder));
}

bool ChunkHeaderFits(const tchunkheader& chunk) {
    return chunk.mark == kChunkMark && chunk.bitcount >= 0 && chunk.bitcount <= kMaxChunkBits;
}

bool PayloadProgress(FileAccess& archivefile, std::int64_t archiveoffset, int& progress) {
    const std::int64_t position = CurrentPosition(archivefile);
    const std::int64_t size = GetFileSize64(archivefile);
    if (position < archiveoffset || size <= archiveoffset) return false;
    progress = static_cast<int>((position - archiveoffset) * 90 / (size - archiveoffset));
    return true;
}

bool tsacarchive::ExtractEntry(std::size_t index, ExtractionObserver* observer, ExtractTarget target) {
    if (!archiveopen || !inbuffer || !outbuffer || index >= entrylist.size()) {
        errortext = u"The archive is not open or has no such entry";
        return false;
    }
    const tsacentry& entry = *entrylist[index];

    // Everything that could send the file elsewhere is settled before the
    // first folder is made.
    if (std::u16string refusal = EntryRefusal(entry, installfolder); !refusal.empty()) {
        errortext = std::move(refusal);
        return false;
    }

    const std::u16string folder = EntryFolder(entry, installfolder);
    const std::u16string fullpath = folder + ReadWideField(entry.filename);
    const bool writing = target == ExtractTarget::Write;

    ScopedFileAccess output;
    if (writing) {
        if (!ForceFolders(folder)) {
            errortext = kTextNoFolder;
            return false;
        }
        if (!OpenForWrite(output.file, fullpath)) {
            errortext = kTextCannotCreatePrefix + fullpath + u")";
            return false;
        }
    }

    const bool reachable = entry.dataoffset >= 0 &&
                           entry.dataoffset <= std::numeric_limits<std::int64_t>::max() - archiveoffset;
    if (!reachable || !SeekAbsolute(archivefile, archiveoffset + entry.dataoffset)) {
        errortext = kTextCannotSeek;
        if (observer) observer->RequestTermination();
        return false;
    }

    std::int64_t decoded = 0;
    for (;;) {
        std::uint32_t count = kChunkHeaderSize;
        ReadBlock(archivefile, &chunk, count);
        if (count < kChunkHeaderSize || chunk.bitcount == 0) break;
        if (!ChunkHeaderFits(chunk)) {
            errortext = kTextCorrupt;
            return false;
        }
        const auto stored = static_cast<std::uint32_t>(payload::ChunkPayloadBytes(chunk.bitcount));
        count = stored;
        ReadBlock(archivefile, inbuffer.get(), count);
        if (count != stored) {
            errortext = kTextShortRead;
            if (observer) observer->RequestTermination();
            return false;
        }

        std::uint32_t bytes = 0;
        if (chunk.lzflag == 1) {
            // The decoder keeps no state between calls, so an LZ chunk in an
            // archive not marked compressed decodes just the same.
            if (!decoder) decoder = std::make_unique<tsmufflz>();
            bytes = static_cast<std::uint32_t>(chunk.bitcount);
            decoder->DecodeChunk(inbuffer.get(), outbuffer.get(), bytes);
            std::swap(inbuffer, outbuffer);
        } else {
            bytes = static_cast<std::uint32_t>(chunk.bitcount) / 8;
        }
        // Never write past the size the directory promises.
        if (bytes > kMaxChunkBytes || static_cast<std::int64_t>(bytes) > entry.filesize - decoded) {
            errortext = kTextCorrupt;
            return false;
        }
        if (writing && !WriteBlock(output.file, inbuffer.get(), static_cast<std::int32_t>(bytes))) {
            errortext = kTextWriteFailed;
            return false;
        }
        decoded += bytes;
        if (chunk.lastflag == 1) break;

        if (PayloadProgress(archivefile, archiveoffset, progress) && observer) observer->SyncProgress(progress);
    }

    if (decoded != entry.filesize) {
        errortext = kTextCorrupt;
        return false;
    }
    if (writing) {
        CloseAccess(output.file);
        SetFileAttrs(fullpath, entry.attributes);
    }
    errortext = kTextExtracted;
    return true;
}

}  // namespace payload
