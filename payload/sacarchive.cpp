// Opening the archive: header, footer and directory, each checked against
// the span the setup trailer gives before anything is allocated for it.
#include "payload/sacarchive.hpp"

#include "payload/payloadend.hpp"
#include "payload/reservednames.hpp"
#include "payload/solidstream.hpp"
#include "payload/tsmufflz.hpp"

#include <algorithm>
#include <cstring>
#include <new>

namespace payload {

using namespace setuputil;

tsacarchive::tsacarchive() = default;

tsacarchive::~tsacarchive() { CloseArchive(); }

void tsacarchive::CloseArchive() {
    // The solid payload's decoders stop before the file goes.
    if (solid_) solid_->Stop();
    for (auto& stream : ahead_) stream->Stop();
    if (archivefile_.handle != 0) CloseAccess(archivefile_);
    archiveopen_ = false;
}

bool tsacarchive::FailOpen(const std::u16string& text) {
    errortext_ = text;
    entrylist_.clear();
    CloseArchive();
    return false;
}

namespace {

// The stub is copied in blocks of 64 KiB through a transfer buffer.
constexpr std::uint32_t kStubCopyBlock = 65536;
static_assert(kStubCopyBlock <= kTransferBufferSize);

template <typename Record>
bool ReadRecord(FileAccess& file, Record& record, std::int64_t offset) {
    std::uint32_t count = sizeof(Record);
    return ReadBlockAt(file, &record, count, offset) == sizeof(Record);
}

// Directory records are read this many at a time into a transfer buffer.
constexpr std::size_t kRecordsPerRead = kTransferBufferSize / sizeof(tsacentry);
static_assert(kRecordsPerRead >= 1);

DirectoryEntry EntryOf(const tsacentry& record) {
    DirectoryEntry entry;
    entry.filename = ReadWideField(record.filename);
    entry.subfolder = ReadWideField(record.subfolder);
    entry.filesize = record.filesize;
    entry.storedsize = record.storedsize;
    entry.dataoffset = record.dataoffset;
    entry.attributes = record.attributes;
    entry.uninstaller = record.role == kEntryRoleUninstaller && entry.subfolder.empty() &&
                        entry.filename == kUninstallerEntryName;
    entry.prerequisite = record.role == kEntryRolePrerequisite && IsPrerequisiteSubfolder(entry.subfolder);
    return entry;
}

}  // namespace

bool tsacarchive::OpenArchive(const std::u16string& installerpath, std::int64_t archiveoffset,
                              std::int64_t licenseoffset, PayloadKind kind) {
    CloseArchive();
    entrylist_.clear();
    blocks_.clear();
    kind_ = kind;
    errortext_.clear();
    archiveoffset_ = archiveoffset;
    licenseoffset_ = licenseoffset;
    installerpath_ = installerpath;

    if (!OpenForRead(archivefile_, installerpath)) return FailOpen(u"Unable to open the installer file " + installerpath);
    if (kind == PayloadKind::Solid) return OpenSolid();

    // Header and footer must both lie inside the file, the footer after the
    // header: otherwise the trailer belongs to some other payload.
    const std::int64_t size = GetFileSize64(archivefile_);
    const std::int64_t footerAt = licenseoffset - static_cast<std::int64_t>(kSacFooterSize);
    const std::int64_t recordsFrom = archiveoffset + static_cast<std::int64_t>(kSacHeaderSize);
    if (size < 0 || archiveoffset < 0 || licenseoffset > size || footerAt < recordsFrom)
        return FailOpen(u"The archive's offsets do not fit the installer file");

    if (!ReadRecord(archivefile_, header_, archiveoffset)) return FailOpen(u"Unable to read the archive header");
    if (std::memcmp(header_.mark, kSacMark, sizeof kSacMark) != 0)
        return FailOpen(u"The archive header has no SAC1 mark");
    if (!ReadRecord(archivefile_, footer_, footerAt)) return FailOpen(u"Unable to read the archive directory");
    if (std::memcmp(footer_.mark, kSacMark, sizeof kSacMark) != 0)
        return FailOpen(u"The archive directory has no SAC1 mark");
    if (header_.encrypted == 1)
        return FailOpen(u"The archive is enciphered, and this installer has no key to decipher it");

    // A directory larger than the archive is damage; refusing it here also
    // keeps a wild count from reserving memory for records that are not there.
    const std::int64_t count = footer_.entrycount > 0 ? footer_.entrycount : 0;
    if (count > (footerAt - recordsFrom) / static_cast<std::int64_t>(kSacEntrySize))
        return FailOpen(u"The archive directory holds more entries than the archive has room for");

    // The records lie one after another: one seek, then reads of several
    // records at a time through a transfer buffer.
    if (!inbuffer_) inbuffer_ = std::make_unique<std::uint8_t[]>(kTransferBufferSize);
    if (!outbuffer_) outbuffer_ = std::make_unique<std::uint8_t[]>(kTransferBufferSize);
    const std::int64_t firstRecord = footerAt - count * static_cast<std::int64_t>(kSacEntrySize);
    if (count > 0 && !SeekAbsolute(archivefile_, firstRecord)) return FailOpen(u"Unable to read the archive directory");
    try {
        entrylist_.reserve(static_cast<std::size_t>(count));
        tsacentry record;  // one record copied out of the buffer at a time
        for (auto left = static_cast<std::size_t>(count); left > 0;) {
            const std::size_t records = std::min(kRecordsPerRead, left);
            const auto bytes = static_cast<std::uint32_t>(records * sizeof(tsacentry));
            std::uint32_t got = bytes;
            if (ReadBlock(archivefile_, inbuffer_.get(), got) != bytes)
                return FailOpen(u"Unable to read the archive directory");
            for (std::size_t r = 0; r < records; ++r) {
                std::memcpy(&record, inbuffer_.get() + r * sizeof(tsacentry), sizeof(tsacentry));
                entrylist_.push_back(EntryOf(record));
            }
            left -= records;
        }
    } catch (const std::bad_alloc&) {
        return FailOpen(u"Not enough memory for the archive directory");
    }

    archiveopen_ = true;
    reader_.Attach(archivefile_, archiveoffset_);
    if (header_.compressed == 1 && !decoder_) decoder_ = std::make_unique<tsmufflz>();
    return true;
}

bool tsacarchive::CopyStub(FileAccess& output, std::int64_t size) {
    // A signed installer's stub names the certificate table past its end;
    // the copy gets that entry cleared.
    tsecuritydirectory signature;
    ReadSecurityDirectory(archivefile_, signature);
    if (!inbuffer_ || !SeekAbsolute(archivefile_, 0)) return false;
    std::uint8_t* const block = inbuffer_.get();
    for (std::int64_t position = 0; position < size;) {
        const std::int64_t left = size - position;
        const std::uint32_t want = left < kStubCopyBlock ? static_cast<std::uint32_t>(left) : kStubCopyBlock;
        std::uint32_t count = want;
        ReadBlock(archivefile_, block, count);
        if (count != want) return false;
        ClearSecurityEntryInCopy(signature, size, position, block, count);
        if (!WriteBlock(output, block, static_cast<std::int32_t>(count))) return false;
        position += count;
    }
    return true;
}

}  // namespace payload
