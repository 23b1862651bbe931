// The side picture as the stub shows it: expanded from the packed resource
// it is the same bitmap, pixel for pixel, as the platform's own loading of
// the original file gives -- the stub's own picture, and the vendor's that
// the builder stamps into a copy of the stub; a picture of a form the
// builder refuses, put into a copy past it, is not shown.
#include "setup/sidepicture.hpp"
#include "payload/packedresource.hpp"
#include "tools/packres/packresource.hpp"
#include "tools/peres/resourcetree.hpp"
#include "tools/tallowin/stubstamp.hpp"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

struct Picture {
    DIBSECTION dib{};
    bool ok = false;
};

Picture Describe(HBITMAP bitmap) {
    Picture p;
    p.ok = bitmap && ::GetObjectW(bitmap, sizeof p.dib, &p.dib) == sizeof p.dib && p.dib.dsBm.bmBits;
    return p;
}

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Pixel equality of the picture `module` carries with the BMP file `bmp`.
void ExpectSamePicture(HMODULE module, const wchar_t* bmp) {
    HBITMAP expanded = setup::LoadSidePicture(module);
    HBITMAP original =
        static_cast<HBITMAP>(::LoadImageW(nullptr, bmp, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    const Picture got = Describe(expanded), want = Describe(original);
    ASSERT_TRUE(want.ok) << "cannot load the original bitmap";
    ASSERT_TRUE(got.ok) << "the packed picture did not load";
    EXPECT_EQ(got.dib.dsBm.bmWidth, 150);
    EXPECT_EQ(got.dib.dsBm.bmHeight, 300);
    EXPECT_EQ(got.dib.dsBm.bmWidth, want.dib.dsBm.bmWidth);
    EXPECT_EQ(got.dib.dsBm.bmHeight, want.dib.dsBm.bmHeight);
    EXPECT_EQ(got.dib.dsBm.bmBitsPixel, want.dib.dsBm.bmBitsPixel);
    EXPECT_EQ(got.dib.dsBmih.biHeight, want.dib.dsBmih.biHeight) << "rows in another order";
    const std::size_t bytes = static_cast<std::size_t>(want.dib.dsBm.bmWidthBytes) * want.dib.dsBm.bmHeight;
    ASSERT_EQ(got.dib.dsBm.bmWidthBytes, want.dib.dsBm.bmWidthBytes);
    EXPECT_EQ(std::memcmp(got.dib.dsBm.bmBits, want.dib.dsBm.bmBits, bytes), 0) << "the pixels differ";
    ::DeleteObject(expanded);
    ::DeleteObject(original);
}

TEST(SidePicture, ExpandsToTheOriginalBitmap) { ExpectSamePicture(::GetModuleHandleW(nullptr), SIDEPICTURE_BMP); }

TEST(SidePicture, TheVendorsPictureReplacesTheStubsOwn) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::filesystem::path folder = std::filesystem::path(self).parent_path();
    tallowin::StubIdentity identity;
    identity.productname = u"Vantrell";
    identity.wizardimage = ReadFile(VENDOR_PICTURE_BMP);
    // The stub beside this program is built for its processor.
    identity.architecture = sizeof(void*) == 8 ? tallowin::Architecture::X64 : tallowin::Architecture::X86;
    tallowin::StampedStub stamped;
    std::string error;
    ASSERT_TRUE(tallowin::StampStub(ReadFile(folder / "setup.exe"), identity, stamped, error)) << error;
    const std::filesystem::path copy = std::filesystem::temp_directory_path() / "stamped-picture.exe";
    std::ofstream(copy, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(stamped.bytes.data()), static_cast<std::streamsize>(stamped.bytes.size()));
    HMODULE module = ::LoadLibraryExW(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr) << "the stamped stub does not load";
    ExpectSamePicture(module, VENDOR_PICTURE_BMP);
    ::FreeLibrary(module);
    std::filesystem::remove(copy);
}

TEST(SidePicture, APictureOfAnotherFormIsNotShown) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::vector<std::uint8_t> stub = ReadFile(std::filesystem::path(self).parent_path() / "setup.exe");
    // A 124-byte header where the file holds 40, and a gap before the pixels.
    for (const auto& [at, value] : {std::pair{14, 124}, std::pair{10, 58}}) {
        std::vector<std::uint8_t> bmp = ReadFile(VENDOR_PICTURE_BMP);
        peres::Put32(bmp, at, static_cast<std::uint32_t>(value));
        std::vector<std::uint8_t> packed;
        peres::PeImage image;
        std::vector<peres::Resource> resources;
        std::string error;
        ASSERT_TRUE(packres::PackResource(bmp, packed, error) && peres::ParsePe(stub, image, error) &&
                    peres::ReadResources(image, resources, error)) << error;
        for (peres::Resource& r : resources)
            if (r.name.name == payload::kSidePictureName) r.data = packed;
        ASSERT_TRUE(peres::ReplaceResources(image, resources, error)) << error;
        const std::filesystem::path copy = std::filesystem::temp_directory_path() / "odd-picture.exe";
        std::ofstream(copy, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(image.bytes.data()), static_cast<std::streamsize>(image.bytes.size()));
        HMODULE module = ::LoadLibraryExW(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr);
        EXPECT_EQ(setup::LoadSidePicture(module), nullptr) << "byte " << at;
        ::FreeLibrary(module);
        std::filesystem::remove(copy);
    }
}

TEST(SidePicture, MissingResourceGivesNoPicture) {
    // This DLL carries no side picture.
    EXPECT_EQ(setup::LoadSidePicture(::GetModuleHandleW(L"kernel32.dll")), nullptr);
}

}  // namespace
