#include "tools/peres/peimage.hpp"

#include <algorithm>

namespace peres {

std::uint16_t Get16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
std::uint32_t Get32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint32_t>(Get16(b, at)) | static_cast<std::uint32_t>(Get16(b, at + 2)) << 16;
}
void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, static_cast<std::uint16_t>(v));
    Put16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

namespace {

// The headers and section table of `bytes`; `whole`: every section's raw
// data must lie in `bytes` too (else `bytes` may be the file's first part).
bool ParseHeaders(const std::vector<std::uint8_t>& bytes, bool whole, PeImage& image, std::string& error) {
    image = PeImage{};
    const auto fail = [&](const char* what) {
        error = std::string("not a well-formed PE program: ") + what;
        return false;
    };
    if (bytes.size() < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') return fail("no MZ header");
    const std::size_t pe = Get32(bytes, 0x3C);
    if (pe > bytes.size() || bytes.size() - pe < 24 || Get32(bytes, pe) != 0x00004550) return fail("no PE header");
    image.machine = Get16(bytes, pe + 4);
    const std::uint16_t sectioncount = Get16(bytes, pe + 6);
    const std::uint16_t optionalsize = Get16(bytes, pe + 20);
    const std::size_t optional = pe + 24;
    if (bytes.size() - optional < optionalsize || optionalsize < 2) return fail("optional header cut short");
    const std::uint16_t magic = Get16(bytes, optional);
    if (magic != 0x10B && magic != 0x20B) return fail("unknown optional header");
    image.pe32plus = magic == 0x20B;
    const std::size_t directories = optional + (image.pe32plus ? 112 : 96);
    if (directories > optional + optionalsize) return fail("optional header cut short");
    image.optionaloffset = optional;
    image.directoryoffset = directories;
    image.directorycount = Get32(bytes, directories - 4);
    if (image.directorycount > 16 || directories + image.directorycount * 8 > optional + optionalsize)
        return fail("bad data directory table");
    image.sectionalignment = Get32(bytes, optional + 32);
    image.filealignment = Get32(bytes, optional + 36);
    if (image.filealignment == 0 || image.sectionalignment == 0 || (image.filealignment & (image.filealignment - 1)) ||
        (image.sectionalignment & (image.sectionalignment - 1)))
        return fail("bad alignment");
    const std::size_t table = optional + optionalsize;
    if (sectioncount == 0 || bytes.size() - table < sectioncount * std::size_t{40}) return fail("section table cut short");
    for (std::size_t i = 0; i < sectioncount; ++i) {
        const std::size_t h = table + i * 40;
        Section s;
        s.headeroffset = h;
        s.virtualsize = Get32(bytes, h + 8);
        s.virtualaddress = Get32(bytes, h + 12);
        s.rawsize = Get32(bytes, h + 16);
        s.rawpointer = Get32(bytes, h + 20);
        s.characteristics = Get32(bytes, h + 36);
        if (whole && s.rawsize != 0 && (s.rawpointer > bytes.size() || bytes.size() - s.rawpointer < s.rawsize))
            return fail("a section lies past the end of the file");
        if (!image.sections.empty() && s.virtualaddress < image.sections.back().virtualaddress)
            return fail("sections out of order");
        image.sections.push_back(s);
    }
    return true;
}

}  // namespace

bool ParsePe(std::vector<std::uint8_t> bytes, PeImage& image, std::string& error) {
    if (!ParseHeaders(bytes, true, image, error)) return false;
    image.bytes = std::move(bytes);
    return true;
}

std::uint64_t ImageFileSize(const std::vector<std::uint8_t>& headers) {
    PeImage image;
    std::string error;
    if (!ParseHeaders(headers, false, image, error)) return 0;
    std::uint64_t end = image.sections.back().headeroffset + 40;
    for (const Section& s : image.sections)
        if (s.rawsize != 0) end = std::max<std::uint64_t>(end, std::uint64_t{s.rawpointer} + s.rawsize);
    return end;
}

DataDirectory PeImage::Directory(std::uint32_t index) const {
    if (index >= directorycount) return {};
    return {Get32(bytes, directoryoffset + index * 8), Get32(bytes, directoryoffset + index * 8 + 4)};
}

void PeImage::SetDirectory(std::uint32_t index, DataDirectory directory) {
    if (index >= directorycount) return;
    Put32(bytes, directoryoffset + index * 8, directory.address);
    Put32(bytes, directoryoffset + index * 8 + 4, directory.size);
}

const Section* PeImage::SectionAt(std::uint32_t rva) const {
    for (const Section& s : sections) {
        const std::uint32_t span = std::max(s.virtualsize, s.rawsize);
        if (rva >= s.virtualaddress && rva - s.virtualaddress < span) return &s;
    }
    return nullptr;
}

const std::uint8_t* PeImage::At(std::uint32_t rva, std::uint32_t size) const {
    const Section* s = SectionAt(rva);
    // An empty range may sit at the very end of a section's data (an empty
    // resource written last).
    if (!s && size == 0 && rva != 0) s = SectionAt(rva - 1);
    if (!s) return nullptr;
    const std::uint32_t into = rva - s->virtualaddress;
    if (into > s->rawsize || s->rawsize - into < size) return nullptr;
    return bytes.data() + s->rawpointer + into;
}

void PeImage::WriteSectionTable() {
    std::uint32_t initialised = 0, end = 0;
    for (const Section& s : sections) {
        Put32(bytes, s.headeroffset + 8, s.virtualsize);
        Put32(bytes, s.headeroffset + 12, s.virtualaddress);
        Put32(bytes, s.headeroffset + 16, s.rawsize);
        Put32(bytes, s.headeroffset + 20, s.rawpointer);
        if (s.characteristics & 0x40) initialised += s.rawsize;  // IMAGE_SCN_CNT_INITIALIZED_DATA
        end = std::max(end, s.virtualaddress + std::max(s.virtualsize, s.rawsize));
    }
    Put32(bytes, optionaloffset + 8, initialised);            // SizeOfInitializedData
    Put32(bytes, optionaloffset + 56, AlignUp(end, sectionalignment));  // SizeOfImage
}

void PeChecksum::Add(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i, ++position_) {
        // The checksum field reads as zero.
        const std::uint8_t byte =
            position_ >= checksumoffset_ && position_ < checksumoffset_ + 4 ? 0 : data[i];
        if (pendingbyte_ < 0) {
            pendingbyte_ = byte;
        } else {
            sum_ += static_cast<std::uint32_t>(pendingbyte_) | static_cast<std::uint32_t>(byte) << 8;
            sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
            pendingbyte_ = -1;
        }
    }
}

std::uint32_t PeChecksum::Finish() const {
    std::uint64_t sum = sum_;
    if (pendingbyte_ >= 0) sum += static_cast<std::uint32_t>(pendingbyte_);
    sum = (sum & 0xFFFF) + (sum >> 16);
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>((sum & 0xFFFF) + position_);
}

std::uint32_t ComputeChecksum(const std::vector<std::uint8_t>& file, std::size_t checksumoffset) {
    PeChecksum checksum(checksumoffset);
    checksum.Add(file.data(), file.size());
    return checksum.Finish();
}

}  // namespace peres
