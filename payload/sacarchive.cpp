// Opening the archive: header, footer and directory, each checked against
// the span the setup trailer gives before anything is allocated for it.
#include "payload/sacarchive.hpp"

#include "payload/tsmufflz.hpp"

#include <cstring>

namespace payload {

using namespace setuputil;

tsacarchive::tsacarchive() = default;

tsacarchive::~tsacarchive() { CloseArchive(); }

void tsacarchive::CloseArchive() {
    if (archivefile.handle != 0) CloseAccess(archivefile);
    archiveopen = false;
}

bool tsacarchive::FailOpen(const std::u16string& text) {
    errortext = text;
    CloseArchive();
    return false;
}

namespace {

template <typename Record>
bool ReadRecord(FileAccess& file, Record& record, std::int64_t offset) {
    std::uint32_t count = sizeof(Record);
    return ReadBlockAt(file, &record, count, offset) == sizeof(Record);
}

}  // namespace

bool tsacarchive::OpenArchive(const std::u16string& installerpath, std::int64_t archiveoffset_,
                              std::int64_t licenseoffset_) {
    CloseArchive();
    entrylist.clear();
    errortext.clear();
    archiveoffset = archiveoffset_;
    licenseoffset = licenseoffset_;

    if (!OpenForRead(archivefile, installerpath)) return FailOpen(u"Unable to open the installer file " + installerpath);

    // Header and footer must both lie inside the file, the footer after the
    // header: otherwise the trailer belongs to some other payload.
    const std::int64_t size = GetFileSize64(archivefile);
    const std::int64_t footerAt = licenseoffset - static_cast<std::int64_t>(kSacFooterSize);
    const std::int64_t recordsFrom = archiveoffset + static_cast<std::int64_t>(kSacHeaderSize);
    if (size < 0 || archiveoffset < 0 || licenseoffset > size || footerAt < recordsFrom)
        return FailOpen(u"The archive's offsets do not fit the installer file");

    if (!ReadRecord(archivefile, header, archiveoffset)) return FailOpen(u"Unable to read the archive header");
    if (std::memcmp(header.mark, kSacMark, sizeof kSacMark) != 0)
        return FailOpen(u"The archive header has no SAC1 mark");
    if (!ReadRecord(archivefile, footer, footerAt)) return FailOpen(u"Unable to read the archive directory");
    if (std::memcmp(footer.mark, kSacMark, sizeof kSacMark) != 0)
        return FailOpen(u"The archive directory has no SAC1 mark");
    if (header.encrypted == 1)
        return FailOpen(u"The archive is enciphered, and this installer has no key to decipher it");

    // A directory larger than the archive is damage; refusing it here also
    // keeps a wild count from reserving memory for records that are not there.
    const std::int64_t count = footer.entrycount > 0 ? footer.entrycount : 0;
    if (count > (footerAt - recordsFrom) / static_cast<std::int64_t>(kSacEntrySize))
        return FailOpen(u"The archive directory holds more entries than the archive has room for");

    entrylist.reserve(static_cast<std::size_t>(count));
    const std::int64_t firstRecord = footerAt - count * static_cast<std::int64_t>(kSacEntrySize);
    for (std::int64_t i = 0; i < count; ++i) {
        auto record = std::make_unique<tsacentry>();
        if (!ReadRecord(archivefile, *record, firstRecord + i * static_cast<std::int64_t>(kSacEntrySize)))
            return FailOpen(u"Unable to read the archive directory");
        entrylist.push_back(std::move(record));
    }

    archiveopen = true;
    if (header.compressed == 1 && !decoder) decoder = std::make_unique<tsmufflz>();
    if (!inbuffer) inbuffer = std::make_unique<std::uint8_t[]>(kTransferBufferSize);
    if (!outbuffer) outbuffer = std::make_unique<std::uint8_t[]>(kTransferBufferSize);
    return true;
}

}  // namespace payload
