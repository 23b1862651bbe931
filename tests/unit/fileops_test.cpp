#include "setuputil/fileops.hpp"

#include "tests/unit/tempdir.hpp"

#include <gtest/gtest.h>

#include <fstream>

using namespace setuputil;
using testing_support::TempDir;

TEST(FolderExists, TellsFoldersFromFilesAndTrustsDriveDesignators) {
    TempDir dir;
    std::ofstream(dir.path() / "file.txt") << "x";
    EXPECT_TRUE(FolderExists(dir.wide()));
    EXPECT_TRUE(FolderExists(dir.wide() + u"\\"));
    EXPECT_FALSE(FolderExists(dir.wide(u"file.txt")));
    EXPECT_FALSE(FolderExists(dir.wide(u"missing")));
    // A pattern names no folder, even when it matches one.
    std::filesystem::create_directory(dir.path() / "sub");
    EXPECT_FALSE(FolderExists(dir.wide(u"s*")));
    EXPECT_FALSE(FolderExists(dir.wide(u"su?")));
    EXPECT_TRUE(FolderExists(u"Q:"));
    EXPECT_TRUE(FolderExists(u"Q:\\"));
    EXPECT_FALSE(FolderExists(u""));
}

TEST(IsAbsoluteFolder, FollowsThePlatformsRule) {
    EXPECT_FALSE(IsAbsoluteFolder(u""));
    EXPECT_FALSE(IsAbsoluteFolder(u"Vantrell"));
    EXPECT_FALSE(IsAbsoluteFolder(u"D:Vantrell"));
#ifdef _WIN32
    EXPECT_TRUE(IsAbsoluteFolder(u"C:\\Vantrell"));
    EXPECT_TRUE(IsAbsoluteFolder(u"\\\\server\\share\\Vantrell"));
    EXPECT_FALSE(IsAbsoluteFolder(u"\\Vantrell"));
#else
    EXPECT_TRUE(IsAbsoluteFolder(u"/tmp/Vantrell"));
    EXPECT_TRUE(IsAbsoluteFolder(u"\\tmp\\Vantrell"));  // read with '/' for '\'
    EXPECT_FALSE(IsAbsoluteFolder(u"C:\\Vantrell"));    // a relative name here
#endif
}

TEST(ForceFolders, CreatesTheWholeChain) {
    TempDir dir;
    const std::u16string deep = dir.wide(u"a\\b\\c");
    EXPECT_TRUE(ForceFolders(deep));
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "a" / "b" / "c"));
    EXPECT_TRUE(ForceFolders(deep + u"\\"));  // exists already; trailing backslash
    EXPECT_TRUE(ForceFolders(dir.wide(u"x\\y\\")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "x" / "y"));
}

TEST(ForceFolders, FailsBelowAFileAndKeepsWhatItMade) {
    TempDir dir;
    ASSERT_TRUE(ForceFolders(dir.wide(u"a")));
    std::ofstream(dir.path() / "a" / "b") << "file in the way";
    EXPECT_FALSE(ForceFolders(dir.wide(u"a\\b\\c")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "a"));
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.path() / "a" / "b"));
}

TEST(IsPlainFile, OnlyExistingOrdinaryFiles) {
    TempDir dir;
    std::ofstream(dir.path() / "file.txt") << "x";
    EXPECT_TRUE(IsPlainFile(dir.wide(u"file.txt")));
    EXPECT_FALSE(IsPlainFile(dir.wide(u"*.txt")));
    EXPECT_FALSE(IsPlainFile(dir.wide()));
    EXPECT_FALSE(IsPlainFile(dir.wide(u"missing.txt")));
    // A device name is refused before the file system is asked (on Windows
    // such a name opens the device, so no file of that name is made here).
    EXPECT_FALSE(IsPlainFile(dir.wide(u"com2")));
    EXPECT_FALSE(IsPlainFile(u"C:\\dir\\com2"));
}

TEST(RemoveFileAndFolder, RemoveOnlyWhatTheyMay) {
    TempDir dir;
    ASSERT_TRUE(ForceFolders(dir.wide(u"sub")));
    std::ofstream(dir.path() / "sub" / "f.txt") << "x";
    EXPECT_FALSE(RemoveFolder(dir.wide(u"sub")));  // not empty
    EXPECT_TRUE(RemoveFile(dir.wide(u"sub\\f.txt")));
    EXPECT_FALSE(RemoveFile(dir.wide(u"sub\\f.txt")));
    EXPECT_TRUE(RemoveFolder(dir.wide(u"sub")));
    EXPECT_FALSE(FolderExists(dir.wide(u"sub")));
}
