#include "sidepicture.hpp"

#include "payload/packedresource.hpp"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace setup {

HBITMAP LoadSidePicture(HINSTANCE instance) {
    HRSRC resource = ::FindResourceW(instance, reinterpret_cast<LPCWSTR>(payload::kSidePictureName), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!resource) return nullptr;
    HGLOBAL loaded = ::LoadResource(instance, resource);
    const void* packed = loaded ? ::LockResource(loaded) : nullptr;
    if (!packed) return nullptr;
    const std::vector<std::uint8_t> bmp =
        payload::ExpandPacked(static_cast<const std::uint8_t*>(packed), ::SizeofResource(instance, resource));

    // The file header, then the info header and colour table up to the pixels.
    BITMAPFILEHEADER file{};
    if (bmp.size() < sizeof file + sizeof(BITMAPINFOHEADER)) return nullptr;
    std::memcpy(&file, bmp.data(), sizeof file);
    if (file.bfType != 0x4D42 || file.bfOffBits < sizeof file + sizeof(BITMAPINFOHEADER) || file.bfOffBits > bmp.size())
        return nullptr;
    // Copied out to get the header's alignment right.
    std::vector<std::uint8_t> info(bmp.begin() + sizeof file, bmp.begin() + file.bfOffBits);
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(info.data());
    if (header->biCompression != BI_RGB || header->biWidth <= 0) return nullptr;
    const std::size_t stride = (static_cast<std::size_t>(header->biWidth) * header->biBitCount + 31) / 32 * 4;
    const std::size_t pixels = stride * static_cast<std::size_t>(std::abs(header->biHeight));
    if (bmp.size() - file.bfOffBits < pixels) return nullptr;

    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(info.data()), DIB_RGB_COLORS,
                                        &bits, nullptr, 0);
    if (!bitmap || !bits) {
        if (bitmap) ::DeleteObject(bitmap);
        return nullptr;
    }
    std::memcpy(bits, bmp.data() + file.bfOffBits, pixels);
    return bitmap;
}

}  // namespace setup
