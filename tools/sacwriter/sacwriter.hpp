// Writing installers: the stub, then a SAC archive of the product's files,
// the license text and the setup trailer.
//
// Each file is cut into pieces of at most 65,536 bytes; a piece becomes an
// LZ chunk when that stores it in fewer bytes, else a plain chunk, and the
// last piece carries lastflag 1.  An empty file is one chunk of bit count 0.
// Every LZ chunk is decoded again before it is written, so an encoder fault
// fails the build instead of shipping a broken installer.
//
// The output is reproducible: entries are sorted by their path (ordinal
// UTF-16 order of "subfolder\filename"), every reserved byte is zero, and
// the only dates are those the caller passes in.  Pieces are compressed on
// `jobs` threads, each piece on its own, and written in order, so the bytes
// are the same for any number of threads.
//
// Everything the reader would refuse is refused here, with a message naming
// the item or field: names the directory cannot carry or that would leave
// the installation folder, two entries that differ only in letter case
// (they would overwrite each other), and an installer of 2 GiB or more
// (offsets in the trailer are signed 32-bit).
#pragma once

#include "payload/payloadkind.hpp"
#include "payload/sacformat.hpp"
#include "payload/trailerwriter.hpp"
#include "tools/lz/lzencoder.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace sacwriter {

struct ArchiveItem {
    std::u16string filename;            // plain name
    std::u16string subfolder;           // "" or "\a\b"
    std::filesystem::path source;       // read from this file when not empty,
    std::vector<std::uint8_t> data;     // else these bytes are the file
    std::uint8_t attributes = 0x20;     // the archive bit
    double filetime = 0;                // day count since 30 December 1899
    std::uint8_t role = payload::kEntryRoleFile;
};

// Largest installer file: its size must fit the trailer's signed 32-bit offsets.
inline constexpr std::int64_t kMaxInstallerBytes = 0x7FFFFFFF;

struct InstallerInput {
    std::vector<std::uint8_t> stub;
    std::string licensetext;            // 8-bit text; empty: no license page
    payload::TrailerFields fields;      // offsets and haslicense are filled in here
    std::vector<ArchiveItem> items;
    int level = lz::kDefaultLevel;      // 0: plain chunks only, else 1..9
    // Sac: the SAC archive; Solid: the solid payload (solidwriter.hpp),
    // which `level` does not touch.
    payload::PayloadKind kind = payload::PayloadKind::Sac;
    double created = 0;                 // the header's day count
    std::int64_t maxbytes = kMaxInstallerBytes;  // tests lower it
    unsigned jobs = 1;                  // threads compressing pieces; 0: one per core
    // After each piece is written: the file bytes written so far and in all.
    std::function<void(std::uint64_t done, std::uint64_t total)> progress;
};

// Writes the whole installer to `out`.  False with `error` set; `out` then
// holds a partial file that the caller discards.
bool WriteInstaller(const InstallerInput& input, std::ostream& out, std::string& error);

// One piece of a file (at most 65,536 bytes) as a chunk appended to `out`;
// `stored` grows by its payload bytes.  `level` 0 stores it plainly.  False
// only when an LZ stream fails to decode back to its piece.
bool AppendPieceChunk(lz::LzEncoder& encoder, const std::uint8_t* piece, std::size_t size, bool last, int level,
                      std::vector<std::uint8_t>& out, std::int64_t& stored, std::string& error);

// Day count since 30 December 1899 of a POSIX time in seconds.
double DayCountFromUnix(std::int64_t seconds);

// A path inside the installation folder ("a\b\name") as the platform
// compares it ("\A\B\NAME"): letters without case (setuputil/namefold.hpp),
// each part without its trailing dots and blanks, no empty parts.  Two
// paths with one folded path are one file to Windows.
std::u16string FoldedPath(const std::u16string& path);

// The item's entry path check and length limits; "" when the item is fine.
std::string CheckItem(const ArchiveItem& item);

}  // namespace sacwriter
