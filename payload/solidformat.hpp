// The solid payload: the files of an installer as one or a few LZMA blocks
// with a compact directory, the second payload kind beside the SAC archive
// (payload/sacformat.hpp).  The builder writes it when the vendor asks for
// it; the stub learns the kind from its payload kind record
// (payload/payloadkind.hpp), never from the archive or the command line.
//
//   archive offset 0   tsolidheader (8 bytes)
//   then               the blocks' packed streams, one after another
//   then               the directory (`directorysize` bytes):
//                        `blockcount` x tsolidblock (32 bytes each)
//                        the entries, in data order (below)
//   last               tsolidfooter (16 bytes), ending exactly where the
//                      license text begins
//
// A block is the raw LZMA stream (payload/lzmadecoder.hpp) of its entries'
// bytes one after another, the x86 filter (payload/x86filter.hpp) applied
// first when `filter` says so; block k holds the next `entrycount` entries.
//
// An entry, its numbers as LEB128 varints (7 bits a byte, low first, at
// most ten bytes):
//   shared    varint   bytes its path shares with the previous entry's
//   suffix    varint   length of the rest of the path, then those bytes:
//                      the path "sub\dir\name" in UTF-8
//   size      varint   bytes the file holds
//   attributes  1 byte  low eight file-attribute bits
//   flags     1 byte   kSolidEntryUninstaller, kSolidEntryPrerequisite, or 0
//   crc32     4 bytes  of the file's bytes (payload/crc32.hpp)
//   filetime  8 bytes  day count since 30 December 1899
//
// The directory's CRC-32 is in the footer.  ParseSolidDirectory refuses a
// directory that breaks any rule; the reader turns that into "This
// installer is damaged".  Records are little-endian; the static_asserts pin
// every offset.
#pragma once

#include "payload/sacentry.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace payload {

inline constexpr char kSolidMark[4] = {'T', 'S', 'P', '1'};

#pragma pack(push, 1)
struct tsolidheader {
    char mark[4];                 // kSolidMark
    std::uint32_t reserved4;      // zero
};

struct tsolidblock {
    std::uint64_t packedsize;     // bytes of the LZMA stream
    std::uint64_t unpackedsize;   // bytes it decodes to: its entries' sizes together
    std::uint32_t dictionary;     // at most kMaxSolidDictionary
    std::uint8_t properties;      // the LZMA properties byte (lc, lp, pb)
    std::uint8_t filter;          // kSolidFilterNone or kSolidFilterX86
    std::uint8_t reserved22[2];
    std::uint32_t entrycount;     // entries the block holds
    std::uint32_t reserved28;
};

struct tsolidfooter {
    char mark[4];                 // kSolidMark
    std::uint32_t directorysize;  // bytes of the directory right before the footer
    std::uint32_t directorycrc;   // its CRC-32
    std::uint32_t blockcount;
};
#pragma pack(pop)

inline constexpr std::uint8_t kSolidFilterNone = 0;
inline constexpr std::uint8_t kSolidFilterX86 = 1;
inline constexpr std::uint8_t kSolidEntryUninstaller = 1;
inline constexpr std::uint8_t kSolidEntryPrerequisite = 2;  // sacformat.hpp: kEntryRolePrerequisite

static_assert(sizeof(tsolidheader) == 8);
static_assert(sizeof(tsolidblock) == 32);
static_assert(offsetof(tsolidblock, unpackedsize) == 8);
static_assert(offsetof(tsolidblock, dictionary) == 16);
static_assert(offsetof(tsolidblock, properties) == 20);
static_assert(offsetof(tsolidblock, filter) == 21);
static_assert(offsetof(tsolidblock, entrycount) == 24);
static_assert(sizeof(tsolidfooter) == 16);
static_assert(offsetof(tsolidfooter, directorysize) == 4);
static_assert(offsetof(tsolidfooter, directorycrc) == 8);
static_assert(offsetof(tsolidfooter, blockcount) == 12);

// A path is at most this many UTF-8 bytes (two full name fields of the
// SAC record, each character up to three bytes).
inline constexpr std::size_t kMaxSolidPathBytes = 2 * 1024 * 3;

// One block as the reader uses it: where its stream lies in the archive.
struct SolidBlock {
    tsolidblock record{};
    std::int64_t packedoffset = 0;  // from the archive's start
    std::size_t firstentry = 0;
};

// The parsed directory.  Entries get their `block` and `blockoffset`.
struct SolidDirectory {
    std::vector<SolidBlock> blocks;
    std::vector<DirectoryEntry> entries;
};

// Parses `size` bytes of directory for `blockcount` blocks whose packed
// streams take `packedbytes` bytes from archive offset sizeof(tsolidheader).
// False for anything out of rule: sizes that do not add up, a block with
// a dictionary or properties the decoder refuses, a path that is not
// UTF-8, too long or without a file name, a shared prefix longer than the previous path, bytes
// left over.  Entries are allocated only as the bytes that hold them are
// read.
bool ParseSolidDirectory(const std::uint8_t* data, std::size_t size, std::uint32_t blockcount,
                         std::uint64_t packedbytes, SolidDirectory& directory);

// The builder's side: an entry as written.
struct SolidEntryRecord {
    std::string path;  // "sub\dir\name", UTF-8
    std::uint64_t size = 0;
    std::uint8_t attributes = 0;
    std::uint8_t flags = 0;
    std::uint32_t crc32 = 0;
    double filetime = 0;
};
// Appends the directory: the block records, then the entries (already in
// data order, block by block).
void AppendSolidDirectory(const std::vector<tsolidblock>& blocks, const std::vector<SolidEntryRecord>& entries,
                          std::vector<std::uint8_t>& out);

}  // namespace payload
