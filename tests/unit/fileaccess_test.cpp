#include "setuputil/fileaccess.hpp"
#include "setuputil/fileops.hpp"

#include "tests/unit/tempdir.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

using namespace setuputil;
using testing_support::TempDir;

namespace {

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string ReadWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(BlockBytes, RoundsBitsUpToWholeBlocks) {
    EXPECT_EQ(BlockBytes(0, 64), 0);
    EXPECT_EQ(BlockBytes(1, 64), 8);
    EXPECT_EQ(BlockBytes(64, 64), 8);
    EXPECT_EQ(BlockBytes(65, 64), 16);
    EXPECT_EQ(BlockBytes(128, 64), 16);
    EXPECT_EQ(BlockBytes(9, 8), 2);
    EXPECT_EQ(BlockBytes(524288, 64), 65536);
    EXPECT_EQ(BlockBytes(-1, 64), 0);  // truncating division: no block for a negative count
}

TEST(FileAccess, OpenForReadOfAMissingFileLeavesTheRecordAlone) {
    TempDir dir;
    FileAccess file;
    file.handle = 1234;
    file.writeMode = 7;
    EXPECT_FALSE(OpenForRead(file, dir.wide(u"missing.bin")));
    EXPECT_EQ(file.handle, 1234);
    EXPECT_EQ(file.writeMode, 7);
}

TEST(FileAccess, ReadsReportShortCountsAtTheEnd) {
    TempDir dir;
    std::string content(1000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
    WriteFile(dir.path() / "data.bin", content);

    FileAccess file;
    ASSERT_TRUE(OpenForRead(file, dir.wide(u"data.bin")));
    EXPECT_EQ(file.writeMode, 0);
    EXPECT_EQ(GetFileSize64(file), 1000);

    char buffer[100];
    std::uint32_t count = 100;
    EXPECT_EQ(ReadBlockAt(file, buffer, count, 960), 40u);
    EXPECT_EQ(count, 40u);
    EXPECT_EQ(std::string(buffer, 40), content.substr(960));
    EXPECT_EQ(CurrentPosition(file), 1000);
    count = 100;
    EXPECT_EQ(ReadBlock(file, buffer, count), 0u);
    EXPECT_EQ(count, 0u);

    count = 10;
    EXPECT_EQ(ReadBlockAt(file, buffer, count, 1000), 0u);
    EXPECT_TRUE(SeekAbsolute(file, 3));
    count = 4;
    EXPECT_EQ(ReadBlock(file, buffer, count), 4u);
    EXPECT_EQ(std::string(buffer, 4), content.substr(3, 4));
    EXPECT_EQ(CurrentPosition(file), 7);

    count = 10;
    EXPECT_EQ(ReadBlockAt(file, buffer, count, -5), 0u);  // a failed seek leaves the count
    EXPECT_EQ(count, 10u);
    EXPECT_TRUE(CloseAccess(file));
    EXPECT_FALSE(CloseAccess(file));  // a second close is harmless
}

TEST(FileAccess, OpenForWriteTruncatesAndWritesWholeBlocks) {
    TempDir dir;
    WriteFile(dir.path() / "out.bin", std::string(5000, 'x'));
    FileAccess file;
    ASSERT_TRUE(OpenForWrite(file, dir.wide(u"out.bin")));
    EXPECT_EQ(file.writeMode, 1);
    EXPECT_EQ(GetFileSize64(file), 0);
    EXPECT_TRUE(WriteBlock(file, "hello", 5));
    EXPECT_TRUE(WriteBlock(file, "", 0));
    EXPECT_FALSE(WriteBlock(file, "x", -1));
    EXPECT_EQ(CurrentPosition(file), 5);
    ASSERT_TRUE(CloseAccess(file));
    EXPECT_EQ(ReadWhole(dir.path() / "out.bin"), "hello");
}

TEST(FileAccess, WriterIsExclusiveAndReadersShare) {
    TempDir dir;
    const std::u16string path = dir.wide(u"shared.bin");
    FileAccess writer;
    ASSERT_TRUE(OpenForWrite(writer, path));
    FileAccess other;
    EXPECT_FALSE(OpenForWrite(other, path));
    EXPECT_FALSE(OpenForRead(other, path));
    ASSERT_TRUE(WriteBlock(writer, "abc", 3));
    ASSERT_TRUE(CloseAccess(writer));

    FileAccess first, second;
    ASSERT_TRUE(OpenForRead(first, path));
    EXPECT_TRUE(OpenForRead(second, path));
    EXPECT_FALSE(OpenForWrite(writer, path));  // no writer while readers hold it
    EXPECT_TRUE(CloseAccess(first));
    EXPECT_TRUE(CloseAccess(second));
    EXPECT_EQ(ReadWhole(dir.path() / "shared.bin"), "abc");  // the failed writer truncated nothing
}

TEST(FileAccess, ReadOnlyFileCannotBeReplaced) {
    TempDir dir;
    const std::u16string path = dir.wide(u"locked.txt");
    WriteFile(dir.path() / "locked.txt", "keep");
    SetFileAttrs(path, kAttrReadOnly);
    FileAccess file;
    EXPECT_FALSE(OpenForWrite(file, path));
    EXPECT_FALSE(RemoveFile(path));
    EXPECT_EQ(ReadWhole(dir.path() / "locked.txt"), "keep");
    SetFileAttrs(path, kAttrArchive);
    EXPECT_TRUE(OpenForWrite(file, path));
    CloseAccess(file);
}
