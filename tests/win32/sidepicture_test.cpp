// The side picture as the stub shows it: expanded from the packed resource
// it is the same bitmap, pixel for pixel, as the platform's own loading of
// the original file gives.
#include "setup/sidepicture.hpp"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

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

TEST(SidePicture, ExpandsToTheOriginalBitmap) {
    HBITMAP expanded = setup::LoadSidePicture(::GetModuleHandleW(nullptr));
    HBITMAP original = static_cast<HBITMAP>(
        ::LoadImageW(nullptr, SIDEPICTURE_BMP, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
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

TEST(SidePicture, MissingResourceGivesNoPicture) {
    // This DLL carries no side picture.
    EXPECT_EQ(setup::LoadSidePicture(::GetModuleHandleW(L"kernel32.dll")), nullptr);
}

}  // namespace
