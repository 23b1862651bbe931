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

bool tsacarchive::ExtractEntry(std::size_t index, ExtractionObserver* observer, ExtractTarget target) {
    if (!archiveopen || !inbuffer || !outbuffer || index >= entrylist.size()) {
        errortext = u"The archive is not open or has no such entry";
        return false;
    }
    const tsacentry& entry = *entrylist[index];
    const std::u16string filename = ReadWideField(entry.filename);
    const std::u16string subfolder = ReadWideField(entry.subfolder);

    // Everything that could send the file elsewhere is settled before the
    // first folder is made.
    if (installfolder.empty()) {
        errortext = Refused(entry, u"no installation folder is given");
        return false;
    }
    // A relative folder would land wherever the process happens to be.
    if (!IsAbsoluteFolder(installfolder)) {
        errortext = Refused(entry, u"the installation folder is not an absolute path");
        return false;
    }
    const EntryPathProblem problem = CheckEntryPath(filename, subfolder);
    if (problem != EntryPathProblem::None) {
        errortext = Refused(entry, EntryPathProblemText(problem));
        return false;
    }
    if (entry.filesize < 0) {
        errortext = kTextCorrupt;
        return false;
    }

    const std::u16string folder = AddBackslash(RemoveBackslash(installfolder) + subfolder);
    const std::u16string fullpath = folder + filename;
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
        // A payload larger than a transfer buffer is refused unread.
        if (chunk.mark != kChunkMark || chunk.bitcount < 0 || chunk.bitcount > kMaxChunkBits) {
            errortext = kTextCorrupt;
            return false;
        }
        const auto stored = static_cast<std::uint32_t>(BlockBytes(chunk.bitcount, 64));
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

        const std::int64_t position = CurrentPosition(archivefile);
        const std::int64_t size = GetFileSize64(archivefile);
        if (position >= archiveoffset && size > archiveoffset) {
            progress = static_cast<int>((position - archiveoffset) * 90 / (size - archiveoffset));
            if (observer) observer->SyncProgress(progress);
        }
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
