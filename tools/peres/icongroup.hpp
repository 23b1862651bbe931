// Icons: an .ico file split into its images, and the icon group resource
// (RT_GROUP_ICON) that names them as RT_ICON resources.
//
//   .ico          6-byte header (0, type 1, count), 16-byte entries
//                 (width, height, colours, 0, planes, bit count, size,
//                 file offset), then the images
//   icon group    the same header, 14-byte entries: the file offset
//                 replaced by the 16-bit id of the image's RT_ICON resource
//
// Each image is a PNG or a BMP without its file header (a
// BITMAPINFOHEADER, the colour pixels and the mask); anything else is refused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace peres {

struct IconImage {
    std::uint8_t width = 0, height = 0, colours = 0;  // 0 means 256 for width and height
    std::uint16_t planes = 0, bitcount = 0;
    std::vector<std::uint8_t> data;
};

// At most this many images; more is not a real icon.
inline constexpr std::size_t kMaxIconImages = 64;

bool ParseIcoFile(const std::vector<std::uint8_t>& file, std::vector<IconImage>& images, std::string& error);

// The group resource for `images`, whose RT_ICON ids are `firstid`, `firstid` + 1, ...
std::vector<std::uint8_t> BuildIconGroup(const std::vector<IconImage>& images, std::uint16_t firstid);

}  // namespace peres
