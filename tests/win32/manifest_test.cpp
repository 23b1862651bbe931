// The application manifest built into setup.exe, read back the way the
// system's loader finds it: resource type RT_MANIFEST, id 1.  Installing and
// uninstalling both need administrator rights, so the stub must ask for
// them; the rest of the manifest (common controls 6, DPI awareness, the
// supported systems) must stay.  A copy stamped by the builder reads, the
// way Explorer and the administrator prompt read it, with the vendor's
// version strings and icon.
#include "tools/tallowin/stubstamp.hpp"

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::wstring ProgramFolder() {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    return path.substr(0, path.find_last_of(L"\\/"));
}

// The manifest text of `exe`, or "" when it has none.
std::string ManifestOf(const std::wstring& exe) {
    HMODULE module = ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) return {};
    std::string text;
    if (HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24) /* RT_MANIFEST */)) {
        const DWORD size = ::SizeofResource(module, resource);
        HGLOBAL loaded = ::LoadResource(module, resource);
        const void* data = loaded ? ::LockResource(loaded) : nullptr;
        if (data) text.assign(static_cast<const char*>(data), size);
    }
    ::FreeLibrary(module);
    return text;
}

// The value of `attribute` in the first element named `element`, or "".
std::string AttributeOf(const std::string& xml, const std::string& element, const std::string& attribute) {
    const std::size_t start = xml.find("<" + element + " ");
    if (start == std::string::npos) return {};
    const std::size_t end = xml.find('>', start);
    const std::string tag = xml.substr(start, end - start);
    const std::size_t at = tag.find(" " + attribute + "=\"");
    if (at == std::string::npos) return {};
    const std::size_t from = at + attribute.size() + 3;
    return tag.substr(from, tag.find('"', from) - from);
}

TEST(StubManifest, AsksForAdministratorRightsAndKeepsTheRest) {
    const std::string manifest = ManifestOf(ProgramFolder() + L"\\setup.exe");
    ASSERT_FALSE(manifest.empty()) << "setup.exe carries no RT_MANIFEST resource 1";
    EXPECT_EQ(AttributeOf(manifest, "requestedExecutionLevel", "level"), "requireAdministrator");
    EXPECT_EQ(AttributeOf(manifest, "requestedExecutionLevel", "uiAccess"), "false");
    // Exactly one execution level is asked for.
    EXPECT_EQ(manifest.find("<requestedExecutionLevel", manifest.find("<requestedExecutionLevel") + 1),
              std::string::npos);

    // Common controls version 6.
    const std::size_t controls = manifest.find("name=\"Microsoft.Windows.Common-Controls\"");
    ASSERT_NE(controls, std::string::npos);
    const std::size_t identity = manifest.rfind("<assemblyIdentity", controls);
    EXPECT_EQ(AttributeOf(manifest.substr(identity), "assemblyIdentity", "version"), "6.0.0.0");
    EXPECT_EQ(AttributeOf(manifest.substr(identity), "assemblyIdentity", "publicKeyToken"), "6595b64144ccf1df");

    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
    // Vista, 7, 8, 8.1 and 10/11.
    for (const char* id : {"{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                           "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
        EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"") + id + "\"/>"), std::string::npos) << id;
}

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::wstring VersionString(const std::vector<unsigned char>& block, const std::wstring& name) {
    const WORD* translation = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", (void**)&translation, &length) || length < 4)
        return L"(no translation)";
    wchar_t key[64];
    swprintf(key, 64, L"\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);
    const wchar_t* value = nullptr;
    if (!::VerQueryValueW(block.data(), (key + name).c_str(), (void**)&value, &length) || !value) return L"(none)";
    return value;
}

// The colour and mask pixels of an icon as 32-bit rows.
std::vector<std::uint32_t> IconPixels(HICON icon, int& size) {
    ICONINFO info{};
    std::vector<std::uint32_t> pixels;
    if (!icon || !::GetIconInfo(icon, &info)) return pixels;
    BITMAP bm{};
    ::GetObjectW(info.hbmColor, sizeof bm, &bm);
    size = bm.bmWidth;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = bm.bmWidth;
    bi.bmiHeader.biHeight = -bm.bmHeight;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    HDC dc = ::GetDC(nullptr);
    for (HBITMAP bitmap : {info.hbmColor, info.hbmMask}) {
        std::vector<std::uint32_t> part(static_cast<std::size_t>(bm.bmWidth) * bm.bmHeight);
        ::GetDIBits(dc, bitmap, 0, bm.bmHeight, part.data(), &bi, DIB_RGB_COLORS);
        pixels.insert(pixels.end(), part.begin(), part.end());
    }
    ::ReleaseDC(nullptr, dc);
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    return pixels;
}

TEST(StampedStub, CarriesTheVendorsVersionInformationAndIcon) {
    const std::filesystem::path art = VENDOR_ART;
    tallowin::StubIdentity identity;
    identity.productname = u"Vantrell";
    identity.productversion = u"2.1";
    identity.publisher = u"Calderic Software";
    identity.copyright = u"Copyright (C) 2026 Calderic Software";
    identity.originalfilename = u"vantrell-setup.exe";
    identity.icon = ReadFile(art / "vantrell.ico");
    // The stub beside this program is built for its processor.
    identity.architecture = sizeof(void*) == 8 ? tallowin::Architecture::X64 : tallowin::Architecture::X86;
    tallowin::StampedStub stamped;
    std::string error;
    ASSERT_TRUE(tallowin::StampStub(ReadFile(ProgramFolder() + L"\\setup.exe"), identity, stamped, error)) << error;
    const std::wstring copy = (std::filesystem::temp_directory_path() / "vantrell-setup.exe").wstring();
    std::ofstream(std::filesystem::path(copy), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(stamped.bytes.data()), static_cast<std::streamsize>(stamped.bytes.size()));

    DWORD ignored = 0;
    std::vector<unsigned char> block(::GetFileVersionInfoSizeW(copy.c_str(), &ignored));
    ASSERT_FALSE(block.empty()) << "no version resource";
    ASSERT_TRUE(::GetFileVersionInfoW(copy.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    EXPECT_EQ(VersionString(block, L"ProductName"), L"Vantrell");
    EXPECT_EQ(VersionString(block, L"ProductVersion"), L"2.1");
    EXPECT_EQ(VersionString(block, L"FileDescription"), L"Vantrell Setup");
    EXPECT_EQ(VersionString(block, L"CompanyName"), L"Calderic Software");
    EXPECT_EQ(VersionString(block, L"LegalCopyright"), L"Copyright (C) 2026 Calderic Software");
    EXPECT_EQ(VersionString(block, L"OriginalFilename"), L"vantrell-setup.exe");
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", (void**)&fixed, &length) && fixed);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00020001u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00020001u);

    // The program icon as the shell takes it (the first icon group), and
    // each bitmap size as the loader picks it, equal the .ico's own images.
    HICON large = nullptr;
    ASSERT_EQ(::ExtractIconExW(copy.c_str(), 0, &large, nullptr, 1), 1u);
    const int shellsize = ::GetSystemMetrics(SM_CXICON);
    HICON fromfile = static_cast<HICON>(::LoadImageW(nullptr, (art / "vantrell.ico").c_str(), IMAGE_ICON, shellsize,
                                                     shellsize, LR_LOADFROMFILE));
    int got = 0, want = 0;
    EXPECT_EQ(IconPixels(large, got), IconPixels(fromfile, want));
    EXPECT_EQ(got, shellsize);
    ::DestroyIcon(large);
    ::DestroyIcon(fromfile);
    HMODULE module = ::LoadLibraryExW(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    for (int size : {16, 32, 48}) {
        HICON stamp = static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0));
        HICON file = static_cast<HICON>(
            ::LoadImageW(nullptr, (art / "vantrell.ico").c_str(), IMAGE_ICON, size, size, LR_LOADFROMFILE));
        const std::vector<std::uint32_t> a = IconPixels(stamp, got), b = IconPixels(file, want);
        EXPECT_FALSE(a.empty()) << size;
        EXPECT_EQ(got, size);
        EXPECT_TRUE(a == b) << "the " << size << "-pixel icon differs from the .ico's";
        ::DestroyIcon(stamp);
        ::DestroyIcon(file);
    }
    ::FreeLibrary(module);
    std::filesystem::remove(copy);
}

TEST(StubManifest, AnElevatedStubStartsUnderTheTestSystem) {
    // Wine grants the level without asking: the stub starts and, with no
    // payload attached, ends after its start-up message.  A stub that could
    // not start would fail here with ERROR_ELEVATION_REQUIRED.
    const std::wstring exe = ProgramFolder() + L"\\setup.exe";
    std::wstring command = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(::CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &info))
        << "CreateProcess failed with " << ::GetLastError();
    // Its message box: "No install files attached!"; close it.
    HWND box = nullptr;
    for (int i = 0; i < 500 && !box; ++i) {
        ::Sleep(20);
        HWND window = nullptr;
        while ((window = ::FindWindowExW(nullptr, window, L"#32770", nullptr)) != nullptr) {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(window, &pid);
            if (pid == info.dwProcessId) {
                box = window;
                break;
            }
        }
    }
    EXPECT_NE(box, nullptr) << "the stub showed no start-up message";
    if (box) {
        // The box's window exists a moment before its text does.
        wchar_t text[256] = {};
        for (int i = 0; i < 250 && ::GetDlgItemTextW(box, 0xFFFF, text, 256) == 0; ++i) ::Sleep(20);
        EXPECT_STREQ(text, L"No install files attached!");
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    EXPECT_EQ(::WaitForSingleObject(info.hProcess, 20000), WAIT_OBJECT_0);
    ::TerminateProcess(info.hProcess, 1);
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
}

}  // namespace
