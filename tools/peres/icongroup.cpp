#include "tools/peres/icongroup.hpp"

#include "tools/peres/peimage.hpp"

#include <algorithm>

namespace peres {

namespace {

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool IsPng(const std::vector<std::uint8_t>& d) {
    return d.size() >= 8 && std::equal(d.begin(), d.begin() + 8, kPngSignature);
}

}  // namespace

bool ParseIcoFile(const std::vector<std::uint8_t>& file, std::vector<IconImage>& images, std::string& error) {
    images.clear();
    if (file.size() < 6 || Get16(file, 0) != 0 || Get16(file, 2) != 1) {
        error = "not an icon file (.ico)";
        return false;
    }
    const std::size_t count = Get16(file, 4);
    if (count == 0 || count > kMaxIconImages) {
        error = "an icon file holds 1 to " + std::to_string(kMaxIconImages) + " images, this one " + std::to_string(count);
        return false;
    }
    if (file.size() < 6 + 16 * count) {
        error = "the icon file is cut short";
        return false;
    }
    // Images of a real icon lie side by side: together no bigger than the
    // file.  Entries naming one large image many times are refused before
    // the copies are made.
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t size = Get32(file, 6 + 16 * i + 8), offset = Get32(file, 6 + 16 * i + 12);
        if (size == 0 || offset > file.size() || file.size() - offset < size) {
            error = "icon image " + std::to_string(i + 1) + " lies outside the file";
            return false;
        }
        total += size;
    }
    if (total > file.size()) {
        error = "the icon file's images overlap (together " + std::to_string(total) + " bytes in a file of " +
                std::to_string(file.size()) + ")";
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t e = 6 + 16 * i;
        IconImage image;
        image.width = file[e];
        image.height = file[e + 1];
        image.colours = file[e + 2];
        image.planes = Get16(file, e + 4);
        image.bitcount = Get16(file, e + 6);
        const std::uint32_t size = Get32(file, e + 8), offset = Get32(file, e + 12);
        image.data.assign(file.begin() + offset, file.begin() + offset + size);
        if (!IsPng(image.data)) {
            if (image.data.size() < 40 || Get32(image.data, 0) != 40) {
                error = "icon image " + std::to_string(i + 1) + " is neither a PNG nor a bitmap";
                return false;
            }
            // Directory entries of some tools leave these as zero.
            if (image.planes == 0) image.planes = 1;
            if (image.bitcount == 0) image.bitcount = Get16(image.data, 14);
        }
        images.push_back(std::move(image));
    }
    return true;
}

std::vector<std::uint8_t> BuildIconGroup(const std::vector<IconImage>& images, std::uint16_t firstid) {
    std::vector<std::uint8_t> group(6 + 14 * images.size(), 0);
    Put16(group, 2, 1);
    Put16(group, 4, static_cast<std::uint16_t>(images.size()));
    for (std::size_t i = 0; i < images.size(); ++i) {
        const std::size_t e = 6 + 14 * i;
        const IconImage& image = images[i];
        group[e] = image.width;
        group[e + 1] = image.height;
        group[e + 2] = image.colours;
        Put16(group, e + 4, image.planes);
        Put16(group, e + 6, image.bitcount);
        Put32(group, e + 8, static_cast<std::uint32_t>(image.data.size()));
        Put16(group, e + 12, static_cast<std::uint16_t>(firstid + i));
    }
    return group;
}

}  // namespace peres
