#include "payload/payloadend.hpp"

#include "payload/setuptrailer.hpp"
#include "payload/trailerreader.hpp"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace payload {

using setuputil::FileAccess;

namespace {

// The PE header fields on the way to the security directory entry.
constexpr std::int64_t kNewHeaderPointerAt = 0x3C;     // in the DOS header: offset of "PE\0\0"
constexpr std::int64_t kCoffHeaderAt = 4;              // after the signature
constexpr std::int64_t kOptionalHeaderSizeAt = 16;     // in the COFF header, 16 bits
constexpr std::int64_t kOptionalHeaderAt = 4 + 20;     // signature and COFF header
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::int64_t kChecksumAt = 64;               // in the optional header, both kinds
// In the optional header: the count of data directories and their table.
constexpr std::int64_t kPe32DirectoryCountAt = 92;
constexpr std::int64_t kPe32DirectoriesAt = 96;
constexpr std::int64_t kPe32PlusDirectoryCountAt = 108;
constexpr std::int64_t kPe32PlusDirectoriesAt = 112;
constexpr std::uint32_t kSecurityDirectory = 4;        // index of the entry
constexpr std::int64_t kDirectoryEntrySize = 8;        // offset and size, 32 bits each
constexpr std::int64_t kTableAlignment = 8;            // the certificate table's start

bool ReadAt(FileAccess& file, std::int64_t offset, void* bytes, std::uint32_t size) {
    std::uint32_t count = size;
    return offset >= 0 && ReadBlockAt(file, bytes, count, offset) == size;
}

std::uint16_t Le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

bool ReadSecurityDirectory(FileAccess& file, tsecuritydirectory& directory) {
    directory = {};
    unsigned char b[4];
    if (!ReadAt(file, 0, b, 2) || b[0] != 'M' || b[1] != 'Z') return false;
    if (!ReadAt(file, kNewHeaderPointerAt, b, 4)) return false;
    const std::int64_t pe = Le32(b);
    if (!ReadAt(file, pe, b, 4) || std::memcmp(b, "PE\0\0", 4) != 0) return false;
    if (!ReadAt(file, pe + kCoffHeaderAt + kOptionalHeaderSizeAt, b, 2)) return false;
    const std::int64_t optionalSize = Le16(b);
    const std::int64_t optional = pe + kOptionalHeaderAt;
    if (!ReadAt(file, optional, b, 2)) return false;
    std::int64_t countAt = 0, directoriesAt = 0;
    switch (Le16(b)) {
        case kPe32Magic: countAt = kPe32DirectoryCountAt; directoriesAt = kPe32DirectoriesAt; break;
        case kPe32PlusMagic: countAt = kPe32PlusDirectoryCountAt; directoriesAt = kPe32PlusDirectoriesAt; break;
        default: return false;
    }
    if (optionalSize >= kChecksumAt + 4) directory.checksumoffset = optional + kChecksumAt;
    // The entry exists only when the header counts it and has room for it.
    const std::int64_t entry = directoriesAt + kSecurityDirectory * kDirectoryEntrySize;
    if (optionalSize < entry + kDirectoryEntrySize) return false;
    if (!ReadAt(file, optional + countAt, b, 4) || Le32(b) <= kSecurityDirectory) return false;
    unsigned char e[kDirectoryEntrySize];
    if (!ReadAt(file, optional + entry, e, sizeof e)) return false;
    directory.entryoffset = optional + entry;
    directory.tableoffset = Le32(e);
    directory.tablesize = Le32(e + 4);
    return true;
}

std::int64_t PayloadEnd(FileAccess& file) {
    const std::int64_t size = GetFileSize64(file);
    if (size < 0) return -1;
    tsecuritydirectory directory;
    if (!ReadSecurityDirectory(file, directory) || directory.tablesize == 0) return size;
    const std::int64_t table = directory.tableoffset;
    if (table + directory.tablesize != size) return size;
    // The table starts on an 8-byte boundary: signers pad the file with up
    // to 7 zero bytes first.  The payload ends where a trailer (its mark at
    // the right place) ends, before the padding; the table must follow that
    // payload, not lie inside the stub, so it begins past the trailer's
    // archive offset.
    for (std::int64_t pad = 0; pad < kTableAlignment; ++pad) {
        const std::int64_t end = table - pad;
        unsigned char padding = 0;
        if (pad > 0 && (!ReadAt(file, end, &padding, 1) || padding != 0)) break;
        const std::int64_t at = end - static_cast<std::int64_t>(kTrailerSize);
        tsetuptrailer trailer;
        if (at < 0 || !ReadAt(file, at, &trailer, sizeof trailer)) break;
        if (!HasFilesMark(trailer)) continue;
        return table > trailer.archiveoffset ? end : size;
    }
    return size;
}

void ClearSecurityEntryInCopy(const tsecuritydirectory& directory, std::int64_t copysize, std::int64_t position,
                              void* block, std::uint32_t count) {
    if (directory.entryoffset < 0) return;
    if (static_cast<std::int64_t>(directory.tableoffset) + directory.tablesize <= copysize) return;
    const std::int64_t from = std::max(position, directory.entryoffset);
    const std::int64_t to = std::min(position + static_cast<std::int64_t>(count),
                                     directory.entryoffset + kDirectoryEntrySize);
    if (from >= to) return;
    std::memset(static_cast<unsigned char*>(block) + (from - position), 0, static_cast<std::size_t>(to - from));
}

}  // namespace payload
