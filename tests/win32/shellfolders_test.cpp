#include "setuputil/shellfolders.hpp"

#include <windows.h>

#include <gtest/gtest.h>

using namespace setuputil;

namespace {

bool IsFolder(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(reinterpret_cast<const wchar_t*>(path.c_str()));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

TEST(SpecialFolders, AreExistingAbsolutePathsWithoutTrailingBackslash) {
    const struct {
        const char* name;
        std::u16string path;
    } folders[] = {
        {"Desktop", GetDesktopFolder()},     {"AppData", GetAppDataFolder()},
        {"StartMenu", GetStartMenuFolder()}, {"Programs", GetProgramsFolder()},
        {"Windows", GetWindowsFolder()},     {"ProgramFiles", GetProgramFilesFolder()},
    };
    for (const auto& folder : folders) {
        SCOPED_TRACE(folder.name);
        const std::u16string& p = folder.path;
        ASSERT_GE(p.size(), 4u);
        EXPECT_TRUE((p[0] >= u'A' && p[0] <= u'Z') || (p[0] >= u'a' && p[0] <= u'z'));
        EXPECT_EQ(p.substr(1, 2), u":\\");
        EXPECT_NE(p.back(), u'\\');
        EXPECT_EQ(p.find(u'\0'), std::u16string::npos);
        EXPECT_TRUE(IsFolder(p));
    }
}

TEST(SpecialFolders, AreTheUsersOwnAndDistinct) {
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(lstrcmpiW(windows, reinterpret_cast<const wchar_t*>(GetWindowsFolder().c_str())), 0);
    // The Programs folder lies inside the Start menu folder.
    const std::u16string start = GetStartMenuFolder();
    const std::u16string programs = GetProgramsFolder();
    ASSERT_GT(programs.size(), start.size());
    EXPECT_EQ(programs.substr(0, start.size() + 1), start + u"\\");
    EXPECT_NE(GetDesktopFolder(), GetAppDataFolder());
    EXPECT_NE(GetWindowsFolder(), GetProgramFilesFolder());
}

}  // namespace
