#include "tools/peres/resourcetree.hpp"

#include <algorithm>
#include <map>
#include <set>

namespace peres {

namespace {

constexpr std::uint32_t kHighBit = 0x80000000u;
// More entries than any program carries: a table that claims more is damage.
constexpr std::size_t kMaxEntries = 1u << 16;

// Named entries first, in the order of their upper-cased names, then numbers.
struct IdOrder {
    static std::u16string Upper(const std::u16string& s) {
        std::u16string u = s;
        for (char16_t& c : u)
            if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
        return u;
    }
    bool operator()(const ResourceId& a, const ResourceId& b) const {
        const bool an = !a.name.empty(), bn = !b.name.empty();
        if (an != bn) return an;
        if (an) return Upper(a.name) < Upper(b.name) || (Upper(a.name) == Upper(b.name) && a.name < b.name);
        return a.id < b.id;
    }
};

// Reads the tree into a list.  What the list holds -- the data, the names
// each resource carries, the list itself -- may not outgrow the file: a
// small file whose entries all name one large data entry, or one long name,
// would otherwise ask for many times its size.  Each data entry belongs to
// one resource, as linkers write them; a table that names one twice is
// damage.
class Reader {
public:
    Reader(const PeImage& image, const std::uint8_t* base, std::uint32_t size)
        : image_(image), base_(base), size_(size), budget_(image.bytes.size()) {}

    bool Read(std::vector<Resource>& out, std::string& error) {
        std::vector<Resource> found;
        Resource r;
        if (!Walk(0, 0, r, found)) {
            error = "the resource section is damaged";
            return false;
        }
        out = std::move(found);
        return true;
    }

private:
    std::uint32_t U32(std::uint32_t at) const {
        return static_cast<std::uint32_t>(base_[at] | base_[at + 1] << 8 | base_[at + 2] << 16) |
               static_cast<std::uint32_t>(base_[at + 3]) << 24;
    }
    std::uint16_t U16(std::uint32_t at) const { return static_cast<std::uint16_t>(base_[at] | base_[at + 1] << 8); }
    bool Fits(std::uint32_t at, std::uint32_t n) const { return at <= size_ && size_ - at >= n; }

    bool Id(std::uint32_t field, ResourceId& id) const {
        id = {};
        if (!(field & kHighBit)) {
            if (field > 0xFFFF) return false;
            id.id = static_cast<std::uint16_t>(field);
            return true;
        }
        const std::uint32_t at = field & ~kHighBit;
        if (!Fits(at, 2)) return false;
        const std::uint16_t length = U16(at);
        if (length == 0 || !Fits(at + 2, length * 2u)) return false;
        for (std::uint16_t i = 0; i < length; ++i) id.name.push_back(static_cast<char16_t>(U16(at + 2 + i * 2u)));
        return true;
    }

    bool Walk(std::uint32_t at, int level, Resource& r, std::vector<Resource>& out) {
        if (!Fits(at, 16)) return false;
        const std::uint32_t count = std::uint32_t{U16(at + 12)} + U16(at + 14);
        if (!Fits(at + 16, count * 8) || (entries_ += count) > kMaxEntries) return false;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t entry = at + 16 + i * 8;
            const std::uint32_t name = U32(entry), target = U32(entry + 4);
            if (level < 2) {
                // Type and name levels: subdirectories only.
                if (!(target & kHighBit) || !Id(name, level == 0 ? r.type : r.name)) return false;
                const std::uint32_t sub = target & ~kHighBit;
                if (sub <= at) return false;  // tables only point forward: no loops
                if (!Walk(sub, level + 1, r, out)) return false;
            } else {
                if ((target & kHighBit) || (name & kHighBit) || name > 0xFFFF || !Fits(target, 16)) return false;
                r.language = static_cast<std::uint16_t>(name);
                const std::uint32_t rva = U32(target), length = U32(target + 4);
                const std::uint8_t* data = image_.At(rva, length);
                if (!data || !dataentries_.insert(target).second) return false;
                if (!Spend(sizeof(Resource) + length + 2 * (r.type.name.size() + r.name.name.size()))) return false;
                r.codepage = U32(target + 8);
                r.data.assign(data, data + length);
                out.push_back(r);
            }
        }
        return true;
    }

    bool Spend(std::size_t bytes) {
        if (bytes > budget_) return false;
        budget_ -= bytes;
        return true;
    }

    const PeImage& image_;
    const std::uint8_t* base_;
    std::uint32_t size_;
    std::size_t budget_;  // bytes the list may still take
    std::size_t entries_ = 0;
    std::set<std::uint32_t> dataentries_;
};

void Align(std::vector<std::uint8_t>& b, std::size_t to) {
    while (b.size() % to) b.push_back(0);
}

}  // namespace

bool ReadResources(const PeImage& image, std::vector<Resource>& resources, std::string& error) {
    resources.clear();
    const DataDirectory dir = image.Directory(kResourceDirectory);
    if (dir.address == 0 || dir.size == 0) return true;
    const std::uint8_t* base = image.At(dir.address, dir.size);
    if (!base) {
        error = "the resource directory lies outside the file";
        return false;
    }
    return Reader(image, base, dir.size).Read(resources, error);
}

std::vector<std::uint8_t> BuildResourceSection(const std::vector<Resource>& resources, std::uint32_t rva,
                                               std::vector<std::uint32_t>* dataoffsets) {
    // type -> name -> language -> index into `resources`
    using Languages = std::map<std::uint16_t, std::size_t>;
    using Names = std::map<ResourceId, Languages, IdOrder>;
    std::map<ResourceId, Names, IdOrder> tree;
    for (std::size_t i = 0; i < resources.size(); ++i)
        tree[resources[i].type][resources[i].name][resources[i].language] = i;

    // Sizes of the tables, then of the strings, give every offset up front.
    std::uint32_t tables = 16 + 8 * static_cast<std::uint32_t>(tree.size());
    std::uint32_t strings = 0;
    const auto stringBytes = [](const ResourceId& id) { return id.name.empty() ? 0u : 2 + 2 * static_cast<std::uint32_t>(id.name.size()); };
    for (const auto& [type, names] : tree) {
        tables += 16 + 8 * static_cast<std::uint32_t>(names.size());
        strings += stringBytes(type);
        for (const auto& [name, languages] : names) {
            tables += 16 + 8 * static_cast<std::uint32_t>(languages.size());
            strings += stringBytes(name);
        }
    }
    const std::uint32_t entriesAt = (tables + strings + 7) / 8 * 8;
    std::uint32_t dataAt = entriesAt + 16 * static_cast<std::uint32_t>(resources.size());

    std::vector<std::uint8_t> out(entriesAt, 0);
    std::uint32_t nextTable = 0, nextString = tables, nextEntry = entriesAt;
    std::vector<std::uint8_t> entries, data;
    std::vector<std::uint32_t> offsets(resources.size());
    const auto putTable = [&](std::uint32_t at, std::size_t named, std::size_t numbered) {
        Put16(out, at + 12, static_cast<std::uint16_t>(named));
        Put16(out, at + 14, static_cast<std::uint16_t>(numbered));
    };
    const auto idField = [&](const ResourceId& id) -> std::uint32_t {
        if (id.name.empty()) return id.id;
        const std::uint32_t at = nextString;
        Put16(out, at, static_cast<std::uint16_t>(id.name.size()));
        for (std::size_t i = 0; i < id.name.size(); ++i) Put16(out, at + 2 + 2 * i, id.name[i]);
        nextString += stringBytes(id);
        return kHighBit | at;
    };
    const auto countNamed = [](const auto& map) {
        return static_cast<std::size_t>(std::count_if(map.begin(), map.end(), [](const auto& e) { return !e.first.name.empty(); }));
    };

    const std::uint32_t root = nextTable;
    nextTable += 16 + 8 * static_cast<std::uint32_t>(tree.size());
    putTable(root, countNamed(tree), tree.size() - countNamed(tree));
    std::uint32_t rootEntry = root + 16;
    for (const auto& [type, names] : tree) {
        const std::uint32_t typeTable = nextTable;
        nextTable += 16 + 8 * static_cast<std::uint32_t>(names.size());
        Put32(out, rootEntry, idField(type));
        Put32(out, rootEntry + 4, kHighBit | typeTable);
        rootEntry += 8;
        putTable(typeTable, countNamed(names), names.size() - countNamed(names));
        std::uint32_t typeEntry = typeTable + 16;
        for (const auto& [name, languages] : names) {
            const std::uint32_t nameTable = nextTable;
            nextTable += 16 + 8 * static_cast<std::uint32_t>(languages.size());
            Put32(out, typeEntry, idField(name));
            Put32(out, typeEntry + 4, kHighBit | nameTable);
            typeEntry += 8;
            putTable(nameTable, 0, languages.size());
            std::uint32_t nameEntry = nameTable + 16;
            for (const auto& [language, index] : languages) {
                const Resource& r = resources[index];
                Put32(out, nameEntry, language);
                Put32(out, nameEntry + 4, nextEntry);
                nameEntry += 8;
                offsets[index] = dataAt + static_cast<std::uint32_t>(data.size());
                const std::size_t e = entries.size();
                entries.resize(e + 16, 0);
                Put32(entries, e, rva + offsets[index]);
                Put32(entries, e + 4, static_cast<std::uint32_t>(r.data.size()));
                Put32(entries, e + 8, r.codepage);
                nextEntry += 16;
                data.insert(data.end(), r.data.begin(), r.data.end());
                Align(data, 8);
            }
        }
    }
    out.insert(out.end(), entries.begin(), entries.end());
    out.insert(out.end(), data.begin(), data.end());
    if (dataoffsets) *dataoffsets = std::move(offsets);
    return out;
}

bool ReplaceResources(PeImage& image, const std::vector<Resource>& resources, std::string& error,
                      std::vector<std::uint32_t>* dataoffsets) {
    const DataDirectory rsrc = image.Directory(kResourceDirectory);
    const DataDirectory reloc = image.Directory(kBaseRelocDirectory);
    if (image.Directory(kSecurityDirectory).size != 0) {
        error = "the stub is signed; sign the built installer instead";
        return false;
    }
    std::size_t at = image.sections.size();
    for (std::size_t i = 0; i < image.sections.size(); ++i)
        if (rsrc.address != 0 && image.sections[i].virtualaddress == rsrc.address) at = i;
    if (at == image.sections.size()) {
        error = "the stub has no resource section of its own";
        return false;
    }
    // Only the relocations may follow: nothing refers to where they lie
    // but their directory entry.
    for (std::size_t i = at + 1; i < image.sections.size(); ++i)
        if (image.sections[i].virtualaddress != reloc.address || reloc.address == 0) {
            error = "the stub's resource section is not its last (before the relocations)";
            return false;
        }
    for (std::uint32_t d = 0; d < image.directorycount; ++d) {
        const DataDirectory dir = image.Directory(d);
        if (d == kResourceDirectory || d == kBaseRelocDirectory || d == kSecurityDirectory || dir.address == 0) continue;
        if (dir.address >= rsrc.address) {
            error = "a data directory lies in the stub's resource section";
            return false;
        }
    }
    std::uint32_t end = 0;
    for (const Section& s : image.sections)
        if (s.rawsize) end = std::max(end, s.rawpointer + s.rawsize);
    if (end != image.bytes.size()) {
        error = "the stub has bytes after its last section (is it an installer already?)";
        return false;
    }
    // The section is written from its raw pointer to the end of the file:
    // that must lie past the headers and every other section's data.
    const std::uint32_t headers = Get32(image.bytes, image.optionaloffset + 60);  // SizeOfHeaders
    const std::size_t table = image.sections.back().headeroffset + 40;
    if (image.sections[at].rawpointer < std::max<std::size_t>(headers, table)) {
        error = "the stub's resource section starts inside its headers";
        return false;
    }
    for (std::size_t i = 0; i < at; ++i)
        if (image.sections[i].rawsize != 0 &&
            image.sections[i].rawpointer + std::uint64_t{image.sections[i].rawsize} > image.sections[at].rawpointer) {
            error = "the stub's resource section does not lie after its other sections in the file";
            return false;
        }
    // The alignments the format allows: a file alignment of 512 to 64 KiB,
    // equal to the section alignment when that is below the page size.
    if (image.filealignment < 512 || image.filealignment > 65536 ||
        (image.sectionalignment < 4096 && image.filealignment != image.sectionalignment)) {
        error = "the stub's file alignment (" + std::to_string(image.filealignment) + ") is not one Windows loads";
        return false;
    }

    Section& section = image.sections[at];
    std::vector<std::uint8_t> built = BuildResourceSection(resources, section.virtualaddress, dataoffsets);
    std::vector<std::uint8_t> moved;  // the relocations' raw bytes
    std::uint32_t relocSize = 0;
    if (at + 1 < image.sections.size()) {
        const Section& r = image.sections[at + 1];
        moved.assign(image.bytes.begin() + r.rawpointer, image.bytes.begin() + r.rawpointer + r.rawsize);
        relocSize = reloc.size;
    }
    const std::uint32_t length = static_cast<std::uint32_t>(built.size());
    section.virtualsize = length;
    section.rawsize = AlignUp(length, image.filealignment);
    built.resize(section.rawsize, 0);
    image.bytes.resize(section.rawpointer);
    image.bytes.insert(image.bytes.end(), built.begin(), built.end());
    if (at + 1 < image.sections.size()) {
        Section& r = image.sections[at + 1];
        r.virtualaddress = AlignUp(section.virtualaddress + length, image.sectionalignment);
        r.rawpointer = static_cast<std::uint32_t>(image.bytes.size());
        image.bytes.insert(image.bytes.end(), moved.begin(), moved.end());
        image.SetDirectory(kBaseRelocDirectory, {r.virtualaddress, relocSize});
    }
    image.SetDirectory(kResourceDirectory, {section.virtualaddress, length});
    image.WriteSectionTable();
    if (dataoffsets)
        for (std::uint32_t& offset : *dataoffsets) offset += section.rawpointer;
    Put32(image.bytes, image.ChecksumOffset(), ComputeChecksum(image.bytes, image.ChecksumOffset()));
    // What is written must read back, resource for resource.
    PeImage written;
    std::vector<Resource> again;
    std::string ignored;
    if (!ParsePe(image.bytes, written, ignored) || !ReadResources(written, again, ignored) ||
        again.size() != resources.size()) {
        error = "the stub edited with the new resources does not read back";
        return false;
    }
    return true;
}

}  // namespace peres
