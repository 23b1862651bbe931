// A PE image (PE32 or PE32+) held in memory: its headers and section table
// read with every offset checked against the file, and the header fields a
// resource edit changes written back.
//
// Only what the builder needs: the data directories, the section table, the
// image size and the header checksum.  A file that is not a well-formed PE
// image is refused with a message saying what is wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace peres {

inline constexpr std::uint32_t kResourceDirectory = 2;
inline constexpr std::uint32_t kSecurityDirectory = 4;
inline constexpr std::uint32_t kBaseRelocDirectory = 5;

struct DataDirectory {
    std::uint32_t address = 0;  // an RVA; a file offset for the security directory
    std::uint32_t size = 0;
};

struct Section {
    std::size_t headeroffset = 0;  // file offset of its 40-byte header
    std::uint32_t virtualaddress = 0, virtualsize = 0, rawpointer = 0, rawsize = 0, characteristics = 0;
};

struct PeImage {
    std::vector<std::uint8_t> bytes;
    bool pe32plus = false;
    std::uint16_t machine = 0;         // the file header's processor (0x14C x86, 0x8664 x64)
    std::size_t optionaloffset = 0;    // the optional header
    std::size_t directoryoffset = 0;   // its data directory table
    std::uint32_t directorycount = 0;
    std::uint32_t filealignment = 0, sectionalignment = 0;
    std::vector<Section> sections;

    DataDirectory Directory(std::uint32_t index) const;
    void SetDirectory(std::uint32_t index, DataDirectory directory);
    // The section holding `rva`, or null.
    const Section* SectionAt(std::uint32_t rva) const;
    // The file bytes behind [rva, rva + size), or null when they are not all in one section's raw data.
    const std::uint8_t* At(std::uint32_t rva, std::uint32_t size) const;
    // Writes the section table, SizeOfImage and SizeOfInitializedData from `sections`.
    void WriteSectionTable();
    std::size_t ChecksumOffset() const { return optionaloffset + 64; }
};

bool ParsePe(std::vector<std::uint8_t> bytes, PeImage& image, std::string& error);

// How many of a file's first bytes its PE image takes (headers and every
// section's raw data), read from `headers`, the file's first bytes; 0 when
// they do not hold a well-formed header and section table.
std::uint64_t ImageFileSize(const std::vector<std::uint8_t>& headers);

// The header checksum of a file (the image help library's algorithm): the
// 16-bit ones'-complement-style sum of the file with the checksum field
// taken as zero, plus the file's length.  Fed in pieces of any size.
class PeChecksum {
public:
    explicit PeChecksum(std::uint64_t checksumoffset) : checksumoffset_(checksumoffset) {}
    void Add(const std::uint8_t* data, std::size_t size);
    std::uint32_t Finish() const;

private:
    std::uint64_t checksumoffset_;
    std::uint64_t position_ = 0;
    std::uint64_t sum_ = 0;
    int pendingbyte_ = -1;  // the low byte of a word split between pieces
};

std::uint32_t ComputeChecksum(const std::vector<std::uint8_t>& file, std::size_t checksumoffset);

inline std::uint32_t AlignUp(std::uint32_t value, std::uint32_t alignment) {
    return alignment == 0 ? value : (value + alignment - 1) / alignment * alignment;
}

std::uint16_t Get16(const std::vector<std::uint8_t>& b, std::size_t at);
std::uint32_t Get32(const std::vector<std::uint8_t>& b, std::size_t at);
void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v);
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v);

}  // namespace peres
