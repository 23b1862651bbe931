// The solid payload's directory, read and written.
#include "payload/solidformat.hpp"

#include "payload/lzmadecoder.hpp"
#include "payload/reservednames.hpp"
#include "payload/sacformat.hpp"
#include "setuputil/utf8.hpp"

#include <cstring>
#include <new>

namespace payload {

namespace {

// Reads the directory's bytes in order; every read is checked against the end.
class DirectoryCursor {
public:
    DirectoryCursor(const std::uint8_t* data, std::size_t size) : at_(data), end_(data + size) {}
    bool Varint(std::uint64_t& value) {
        value = 0;
        for (unsigned shift = 0; shift < 70; shift += 7) {
            if (at_ == end_) return false;
            const std::uint8_t byte = *at_++;
            if (shift == 63 && byte > 1) return false;  // beyond 64 bits
            value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
            if ((byte & 0x80) == 0) return true;
        }
        return false;
    }
    bool Bytes(void* out, std::size_t count) {
        if (static_cast<std::size_t>(end_ - at_) < count) return false;
        if (count) std::memcpy(out, at_, count);
        at_ += count;
        return true;
    }
    std::size_t left() const { return static_cast<std::size_t>(end_ - at_); }

private:
    const std::uint8_t* at_;
    const std::uint8_t* end_;
};

// "sub\dir\name" into the entry's `subfolder` ("\sub\dir") and `filename`.
bool SplitPath(const std::string& path, DirectoryEntry& entry) {
    std::u16string wide;
    if (!setuputil::Utf8ToUtf16(path, wide)) return false;
    const std::size_t cut = wide.rfind(u'\\');
    if (wide.empty() || wide.back() == u'\\') return false;  // no file name
    if (cut == std::u16string::npos) {
        entry.filename = std::move(wide);
        entry.subfolder.clear();
    } else {
        entry.filename = wide.substr(cut + 1);
        entry.subfolder = u"\\" + wide.substr(0, cut);
    }
    return true;
}

void AppendVarint(std::vector<std::uint8_t>& out, std::uint64_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<std::uint8_t>(value | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<std::uint8_t>(value));
}

template <typename T>
void AppendPlain(std::vector<std::uint8_t>& out, const T& value) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
    out.insert(out.end(), bytes, bytes + sizeof value);
}

}  // namespace

bool ParseSolidDirectory(const std::uint8_t* data, std::size_t size, std::uint32_t blockcount,
                         std::uint64_t packedbytes, SolidDirectory& directory) {
    directory = {};
    DirectoryCursor cursor(data, size);
    if (blockcount > size / sizeof(tsolidblock)) return false;
    try {
        directory.blocks.reserve(blockcount);
        std::uint64_t packedoffset = sizeof(tsolidheader);
        std::uint64_t packedleft = packedbytes;
        for (std::uint32_t b = 0; b < blockcount; ++b) {
            SolidBlock block;
            if (!cursor.Bytes(&block.record, sizeof block.record)) return false;
            const tsolidblock& r = block.record;
            LzmaProperties properties;
            // Sizes stay within what a signed 64-bit file size can count.
            if (r.packedsize > packedleft || r.unpackedsize > static_cast<std::uint64_t>(INT64_MAX) ||
                r.dictionary > kMaxSolidDictionary ||
                !ParseLzmaProperties(r.properties, properties) ||
                (r.filter != kSolidFilterNone && r.filter != kSolidFilterX86))
                return false;
            block.packedoffset = static_cast<std::int64_t>(packedoffset);
            packedoffset += r.packedsize;
            packedleft -= r.packedsize;
            directory.blocks.push_back(block);
        }
        if (packedleft != 0) return false;

        std::string path;
        for (SolidBlock& block : directory.blocks) {
            block.firstentry = directory.entries.size();
            std::uint64_t offset = 0;
            // Every entry takes at least 16 bytes: a count past what is
            // left cannot be met, and is refused before anything is reserved.
            if (block.record.entrycount > cursor.left() / 16) return false;
            for (std::uint32_t e = 0; e < block.record.entrycount; ++e) {
                std::uint64_t shared = 0, suffix = 0, filesize = 0;
                if (!cursor.Varint(shared) || shared > path.size() || !cursor.Varint(suffix) ||
                    suffix > kMaxSolidPathBytes - shared || suffix > cursor.left())
                    return false;
                path.resize(static_cast<std::size_t>(shared + suffix));
                cursor.Bytes(&path[static_cast<std::size_t>(shared)], static_cast<std::size_t>(suffix));
                DirectoryEntry entry;
                std::uint8_t flags = 0;
                double filetime = 0;
                if (!cursor.Varint(filesize) || !cursor.Bytes(&entry.attributes, 1) || !cursor.Bytes(&flags, 1) ||
                    !cursor.Bytes(&entry.crc32, 4) || !cursor.Bytes(&filetime, 8) || path.empty() ||
                    !SplitPath(path, entry) || (flags & ~(kSolidEntryUninstaller | kSolidEntryPrerequisite)) != 0)
                    return false;
                if (filesize > block.record.unpackedsize - offset) return false;
                entry.filesize = static_cast<std::int64_t>(filesize);
                entry.block = static_cast<std::uint32_t>(&block - directory.blocks.data());
                entry.blockoffset = offset;
                offset += filesize;
                entry.uninstaller = (flags & kSolidEntryUninstaller) != 0 && entry.subfolder.empty() &&
                                    entry.filename == kUninstallerEntryName;
                entry.prerequisite =
                    (flags & kSolidEntryPrerequisite) != 0 && IsPrerequisiteSubfolder(entry.subfolder);
                directory.entries.push_back(std::move(entry));
            }
            if (offset != block.record.unpackedsize) return false;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return cursor.left() == 0;
}

void AppendSolidDirectory(const std::vector<tsolidblock>& blocks, const std::vector<SolidEntryRecord>& entries,
                          std::vector<std::uint8_t>& out) {
    for (const tsolidblock& block : blocks) AppendPlain(out, block);
    std::string previous;
    for (const SolidEntryRecord& entry : entries) {
        std::size_t shared = 0;
        while (shared < previous.size() && shared < entry.path.size() && previous[shared] == entry.path[shared])
            ++shared;
        AppendVarint(out, shared);
        AppendVarint(out, entry.path.size() - shared);
        out.insert(out.end(), entry.path.begin() + static_cast<std::ptrdiff_t>(shared), entry.path.end());
        AppendVarint(out, entry.size);
        out.push_back(entry.attributes);
        out.push_back(entry.flags);
        AppendPlain(out, entry.crc32);
        AppendPlain(out, entry.filetime);
        previous = entry.path;
    }
}

}  // namespace payload
