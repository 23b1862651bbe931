// The SAC archive: the files of an installer, stored as chunks, with a
// directory of fixed-size entry records at its end.
//
//   archive offset 0     header (2,648 bytes)
//   each entry's chunks  12-byte chunk header + payload, one after another
//   entry records        entrycount x 6,232 bytes, in entry order
//   footer (8 bytes)     ends exactly where the license text begins
//
// This header is the one definition of the four records, shared by the
// stub that reads them and by the builder that writes them.  All numbers are
// little-endian; the static_asserts pin every offset.
//
// A chunk's payload takes ceil(bitcount / 64) * 8 bytes.  An LZ chunk
// (lzflag 1) decodes to at most 65,536 bytes; a plain chunk holds its bytes
// as they are, bitcount / 8 of them.  A chunk with lastflag 1 or a bitcount
// of 0 ends its entry.
#pragma once

#include "payload/setuptrailer.hpp"
#include "setuputil/fileaccess.hpp"

#include <cstddef>
#include <cstdint>

namespace payload {

inline constexpr char kSacMark[4] = {'S', 'A', 'C', '1'};
inline constexpr std::uint8_t kChunkMark = 0x43;  // 'C'

#pragma pack(push, 1)
struct tsacheader {
    char mark[4];                  // "SAC1"
    std::uint8_t reserved4;        // 4 as written
    std::uint8_t reserved5;
    std::uint8_t encrypted;        // 1: payloads are enciphered
    std::uint8_t reserved7;
    WideField reserved8;
    std::uint8_t reserved2056[8];
    std::uint8_t compressed;       // 1: the archive uses LZ chunks
    std::uint8_t padding2065[7];
    double created;                // day count since 30 December 1899
    std::uint8_t reserved2080[568];
};

struct tsacfooter {
    char mark[4];                  // "SAC1"
    std::int32_t entrycount;       // 0 or less: no entries
};

struct tsacentry {
    std::uint8_t iv[8];            // cipher chain start, enciphered archives only
    WideField filename;            // name without folder
    WideField subfolder;           // "" or "\a\b", relative to the install folder
    std::int64_t filesize;         // bytes the chunks decode to
    WideField fixedfolder;         // absolute folder, used without an install folder
    std::int64_t storedsize;       // total of the payload sizes
    std::uint8_t role;             // kEntryRoleFile, kEntryRoleUninstaller or kEntryRolePrerequisite
    std::uint8_t attributes;       // low eight file-attribute bits
    std::uint8_t padding6170[6];
    double filetime;               // day count since 30 December 1899
    std::int64_t dataoffset;       // first chunk header, from the archive's start
    std::uint8_t reserved6192[40];
};

struct tchunkheader {
    std::uint8_t mark;             // kChunkMark
    std::uint8_t lzflag;           // 1: LZ bit stream; otherwise plain bytes
    std::uint8_t padding2[2];
    std::int32_t bitcount;         // payload length in bits
    std::uint8_t lastflag;         // 1: the entry's last chunk
    std::uint8_t padding9[3];
};
#pragma pack(pop)

// An entry's role.  An installer whose setup.exe is signed carries its
// uninstaller, signed by the same command, as one more entry: role
// kEntryRoleUninstaller, no subfolder, the name "uninstall.exe" (a name the
// builder keeps from the product's own files).  The install writes it as
// the product's uninstaller instead of a copy of the stub and never into
// the installation folder.  Readers that know no roles (older tools) see an
// ordinary top-level file.
inline constexpr std::uint8_t kEntryRoleFile = 0;
inline constexpr std::uint8_t kEntryRoleUninstaller = 1;
inline constexpr char16_t kUninstallerEntryName[] = u"uninstall.exe";
// A prerequisite's installer (payload/declarations.hpp): role
// kEntryRolePrerequisite, in the subfolder kPrerequisiteFolder (a top name
// the builder keeps from the product's files, reservednames.hpp), its own
// file name.  The install extracts it into a temporary folder of its own,
// runs it and deletes it; it never lands in the installation folder.
inline constexpr std::uint8_t kEntryRolePrerequisite = 2;
inline constexpr char16_t kPrerequisiteFolder[] = u"~tallowin-prerequisites";

inline constexpr std::size_t kSacHeaderSize = 2648;
inline constexpr std::size_t kSacFooterSize = 8;
inline constexpr std::size_t kSacEntrySize = 6232;
inline constexpr std::size_t kChunkHeaderSize = 12;

// A chunk decodes to, and its payload occupies, at most this many bytes.
inline constexpr std::size_t kMaxChunkBytes = 65536;
inline constexpr std::int32_t kMaxChunkBits = static_cast<std::int32_t>(kMaxChunkBytes * 8);
// The two transfer buffers hold one chunk plus the byte the decoder may
// touch past its limit.
inline constexpr std::size_t kTransferBufferSize = kMaxChunkBytes + 1;

// A chunk's payload fills whole 64-bit blocks: the stream's bits rounded up
// to a multiple of 8 bytes.  The reader and the writer both size chunks
// with this.
inline constexpr std::int64_t kChunkBlockBits = 64;
constexpr std::int64_t ChunkPayloadBytes(std::int64_t bitcount) {
    return setuputil::BlockBytes(bitcount, kChunkBlockBits);
}
static_assert(ChunkPayloadBytes(kMaxChunkBits) == static_cast<std::int64_t>(kMaxChunkBytes));
static_assert(ChunkPayloadBytes(1) == 8 && ChunkPayloadBytes(65) == 16);

static_assert(sizeof(tsacheader) == kSacHeaderSize);
static_assert(offsetof(tsacheader, encrypted) == 6);
static_assert(offsetof(tsacheader, reserved8) == 8);
static_assert(offsetof(tsacheader, reserved2056) == 2056);
static_assert(offsetof(tsacheader, compressed) == 2064);
static_assert(offsetof(tsacheader, created) == 2072);
static_assert(offsetof(tsacheader, reserved2080) == 2080);

static_assert(sizeof(tsacfooter) == kSacFooterSize);
static_assert(offsetof(tsacfooter, entrycount) == 4);

static_assert(sizeof(tsacentry) == kSacEntrySize);
static_assert(offsetof(tsacentry, filename) == 8);
static_assert(offsetof(tsacentry, subfolder) == 2056);
static_assert(offsetof(tsacentry, filesize) == 4104);
static_assert(offsetof(tsacentry, fixedfolder) == 4112);
static_assert(offsetof(tsacentry, storedsize) == 6160);
static_assert(offsetof(tsacentry, role) == 6168);
static_assert(offsetof(tsacentry, attributes) == 6169);
static_assert(offsetof(tsacentry, filetime) == 6176);
static_assert(offsetof(tsacentry, dataoffset) == 6184);
static_assert(offsetof(tsacentry, reserved6192) == 6192);

static_assert(sizeof(tchunkheader) == kChunkHeaderSize);
static_assert(offsetof(tchunkheader, lzflag) == 1);
static_assert(offsetof(tchunkheader, bitcount) == 4);
static_assert(offsetof(tchunkheader, lastflag) == 8);

}  // namespace payload
