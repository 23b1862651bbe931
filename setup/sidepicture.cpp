#include "sidepicture.hpp"

#include "payload/packedresource.hpp"

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
    // Only the form the builder accepts: the info header, then the pixels.
    if (payload::CheckSidePicture(bmp.data(), bmp.size()) != payload::SidePictureFault::None) return nullptr;

    BITMAPINFO info{};  // copied out for the header's alignment
    std::memcpy(&info.bmiHeader, bmp.data() + sizeof(BITMAPFILEHEADER), sizeof info.bmiHeader);
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) {
        if (bitmap) ::DeleteObject(bitmap);
        return nullptr;
    }
    std::memcpy(bits, bmp.data() + payload::kSidePictureHeaderBytes, payload::SidePicturePixelBytes());
    return bitmap;
}

}  // namespace setup
