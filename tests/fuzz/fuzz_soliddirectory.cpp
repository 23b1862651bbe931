// libFuzzer target for the solid payload's directory parser.
//
// The input: 4 bytes the block count and 4 bytes the packed streams' total
// (little-endian), then the directory's bytes, in a buffer of exactly their
// size so that a read past them trips AddressSanitizer.  A directory the
// parser accepts must keep what the reader relies on: every entry inside
// its block, the blocks' entries and sizes adding up, the packed streams
// laid end to end.
#include "payload/lzmadecoder.hpp"
#include "payload/solidformat.hpp"

#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8) return 0;
    std::uint32_t blockcount = 0, packed = 0;
    std::memcpy(&blockcount, data, 4);
    std::memcpy(&packed, data + 4, 4);
    const std::size_t n = size - 8;
    std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[n ? n : 1]);
    if (n) std::memcpy(bytes.get(), data + 8, n);
    payload::SolidDirectory directory;
    if (!payload::ParseSolidDirectory(bytes.get(), n, blockcount, packed, directory)) return 0;
    if (directory.blocks.size() != blockcount) std::abort();
    std::uint64_t offset = sizeof(payload::tsolidheader);
    std::size_t entry = 0;
    for (std::size_t b = 0; b < directory.blocks.size(); ++b) {
        const payload::SolidBlock& block = directory.blocks[b];
        if (static_cast<std::uint64_t>(block.packedoffset) != offset || block.firstentry != entry) std::abort();
        if (block.record.dictionary > payload::kMaxSolidDictionary) std::abort();
        offset += block.record.packedsize;
        std::uint64_t at = 0;
        for (std::uint32_t e = 0; e < block.record.entrycount; ++e, ++entry) {
            const payload::DirectoryEntry& d = directory.entries.at(entry);
            if (d.block != b || d.blockoffset != at || d.filesize < 0 || d.filename.empty()) std::abort();
            at += static_cast<std::uint64_t>(d.filesize);
        }
        if (at != block.record.unpackedsize) std::abort();
    }
    if (entry != directory.entries.size() || offset != sizeof(payload::tsolidheader) + packed) std::abort();
    return 0;
}
