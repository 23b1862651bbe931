// One archive entry as extraction and the listings use it: the directory
// record's names read out of their fixed fields, and the numbers the
// extraction needs, as stored.
//
// The record itself (tsacentry, payload/sacformat.hpp) is 6,232 bytes,
// nearly all of it three 1,024-unit name fields.  Holding records would
// take 16 MB for a product of 2,655 files and more than a 32-bit installer
// can address for a few hundred thousand; first touching that memory is
// also what opening a large archive spent its time on.  An entry here
// takes the length of its names.
#pragma once

#include <cstdint>
#include <string>

namespace payload {

struct DirectoryEntry {
    std::u16string filename;      // name without folder
    std::u16string subfolder;     // "" or "\a\b", relative to the install folder
    std::int64_t filesize = 0;    // bytes the chunks decode to
    std::int64_t storedsize = 0;  // total of the payload sizes
    std::int64_t dataoffset = 0;  // first chunk header, from the archive's start
    std::uint8_t attributes = 0;  // low eight file-attribute bits
    // The signed uninstaller (payload/sacformat.hpp): the role, the name
    // and no subfolder all say so.
    bool uninstaller = false;
    // A prerequisite's installer (payload/sacformat.hpp): the role and the
    // subfolder "\~tallowin-prerequisites" both say so.
    bool prerequisite = false;
    // The solid payload's (payload/solidformat.hpp): the file's CRC-32, its
    // block and where its bytes begin in the block's decoded stream.
    std::uint32_t crc32 = 0;
    std::uint32_t block = 0;
    std::uint64_t blockoffset = 0;
};

}  // namespace payload
