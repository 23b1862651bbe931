// The resource section of a PE image as a flat list, and the writer that
// puts a list back as a new resource section.
//
// A resource is named by type, name and language; types and names are
// numbers or UTF-16 strings.  Reading walks the three-level directory with
// every offset checked (loops and overlong tables refused).  Writing lays
// the section out as linkers do: the directory tables, the name strings,
// the data entries, then the data, each piece 8-byte aligned; named entries
// before numbered ones, each group sorted.  ReplaceResources puts the new
// section where the old one was and moves only the base relocation section
// behind it, so the code, its relocations and every other RVA stay valid.
#pragma once

#include "tools/peres/peimage.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace peres {

inline constexpr std::uint16_t kTypeIcon = 3;
inline constexpr std::uint16_t kTypeRcData = 10;
inline constexpr std::uint16_t kTypeGroupIcon = 14;
inline constexpr std::uint16_t kTypeVersion = 16;
inline constexpr std::uint16_t kTypeManifest = 24;

// A number when `name` is empty, else the string.
struct ResourceId {
    std::uint16_t id = 0;
    std::u16string name;
    bool operator==(const ResourceId&) const = default;
};

struct Resource {
    ResourceId type;
    ResourceId name;
    std::uint16_t language = 0;
    std::uint32_t codepage = 0;
    std::vector<std::uint8_t> data;
};

bool ReadResources(const PeImage& image, std::vector<Resource>& resources, std::string& error);

// The section bytes for `resources` placed at `rva`.  `dataoffsets` (when
// given) receives each resource's data offset in the section, in the order of
// `resources`.
std::vector<std::uint8_t> BuildResourceSection(const std::vector<Resource>& resources, std::uint32_t rva,
                                               std::vector<std::uint32_t>* dataoffsets = nullptr);

// Replaces the image's resource section with `resources` and sets the
// section table, the image size, the resource and relocation directories
// and the header checksum.  Refused, with the reason, for an image whose
// resource section is followed by anything but the relocations, that has
// bytes after its last section or a certificate table (sign the installer,
// not the stub).  `dataoffsets` as above, but as file offsets.
bool ReplaceResources(PeImage& image, const std::vector<Resource>& resources, std::string& error,
                      std::vector<std::uint32_t>* dataoffsets = nullptr);

}  // namespace peres
