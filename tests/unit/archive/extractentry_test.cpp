#include "tests/unit/archive/archivefixture.hpp"

#include "setuputil/fileaccess.hpp"

#include <filesystem>
#include <fstream>

using namespace archive_testing;
namespace fs = std::filesystem;

namespace {

using ExtractEntry = ArchiveFixture;

std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

RawInstaller OnePlain(const std::u16string& name, const std::u16string& subfolder, const Bytes& data) {
    RawInstaller raw;
    RawEntry e(name, subfolder, static_cast<std::int64_t>(data.size()));
    AppendPlainChunk(e.chunks, data, true);
    raw.entries.push_back(e);
    return raw;
}

TEST_F(ExtractEntry, MixedLzAndPlainChunksGiveExactlyTheFileSize) {
    const Bytes first = TextBytes(65536, 1), second = RandomBytes(65536, 2), third = RandomBytes(37666, 3);
    RawInstaller raw;
    RawEntry e(u"mixed.bin", u"", 168738);
    AppendLzChunk(e.chunks, first, false);
    AppendPlainChunk(e.chunks, second, false);
    AppendPlainChunk(e.chunks, third, true);
    raw.entries.push_back(e);
    ASSERT_TRUE(Open(raw));

    Recorder recorder;
    ASSERT_TRUE(archive.ExtractEntry(0, &recorder)) << Narrow(archive.errortext());
    EXPECT_EQ(archive.errortext(), u"Extracted");
    Bytes expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    expected.insert(expected.end(), third.begin(), third.end());
    EXPECT_EQ(Extracted("mixed.bin"), expected);
    EXPECT_EQ(recorder.progress.size(), 2u);
    EXPECT_EQ(recorder.terminations, 0);
}

TEST_F(ExtractEntry, ProgressOncePerChunkThatIsNotTheLast) {
    RawInstaller raw;
    RawEntry single(u"one", u"", 100);
    AppendPlainChunk(single.chunks, RandomBytes(100, 4), true);
    raw.entries.push_back(single);
    RawEntry twenty(u"twenty", u"", 20 * 1000);
    for (int i = 0; i < 20; ++i) AppendPlainChunk(twenty.chunks, RandomBytes(1000, 10 + i), i == 19);
    raw.entries.push_back(twenty);
    ASSERT_TRUE(Open(raw));

    Recorder recorder;
    ASSERT_TRUE(archive.ExtractEntry(0, &recorder));
    EXPECT_TRUE(recorder.progress.empty());
    ASSERT_TRUE(archive.ExtractEntry(1, &recorder));
    ASSERT_EQ(recorder.progress.size(), 19u);
    // Each value is the share of the payload read so far, scaled to 0..90.
    const std::int64_t a = trailer.archiveoffset, size = static_cast<std::int64_t>(image.size());
    const std::int64_t start = a + archive.entrylist()[1].dataoffset;
    for (int k = 0; k < 19; ++k) {
        const std::int64_t position = start + (k + 1) * (12 + 1000);
        EXPECT_EQ(recorder.progress[k], (position - a) * 90 / (size - a)) << k;
    }
    EXPECT_EQ(archive.progress(), recorder.progress.back());
}

TEST_F(ExtractEntry, EmptyEntryAndFolders) {
    RawInstaller raw;
    RawEntry empty(u"empty.txt", u"", 0);
    AppendChunkHeader(empty.chunks, payload::kChunkMark, 0, 0, 0);  // bit count 0 ends the entry
    raw.entries.push_back(empty);
    RawEntry nested(u"deep.txt", u"\\a\\b", 3);
    AppendPlainChunk(nested.chunks, Bytes{'x', 'y', 'z'}, true);
    raw.entries.push_back(nested);
    ASSERT_TRUE(Open(raw));

    archive.SetInstallFolder(Dest() + u"\\");  // a trailing backslash changes nothing
    ASSERT_TRUE(archive.ExtractEntry(0, nullptr));
    EXPECT_EQ(archive.errortext(), u"Extracted");
    EXPECT_TRUE(fs::is_regular_file(DestPath() / "empty.txt"));
    EXPECT_EQ(fs::file_size(DestPath() / "empty.txt"), 0u);
    ASSERT_TRUE(archive.ExtractEntry(1, nullptr));
    EXPECT_EQ(Extracted("a/b/deep.txt"), (Bytes{'x', 'y', 'z'}));
}

TEST_F(ExtractEntry, ReplacesAnExistingFileAndAppliesAttributes) {
    RawInstaller raw = OnePlain(u"f.txt", u"", Bytes{1, 2});
    raw.entries[0].record.attributes = 0x21;  // read-only + archive
    ASSERT_TRUE(Open(raw));
    fs::create_directories(DestPath());
    WriteBytes((DestPath() / "f.txt").string(), Bytes(5000, 9));
    ASSERT_TRUE(archive.ExtractEntry(0, nullptr));
    EXPECT_EQ(Extracted("f.txt"), (Bytes{1, 2}));
    EXPECT_EQ(fs::status(DestPath() / "f.txt").permissions() & fs::perms::owner_write, fs::perms::none);

    // Now the file is read-only: it cannot be replaced.
    EXPECT_FALSE(archive.ExtractEntry(0, nullptr));
    EXPECT_EQ(archive.errortext(), u"Unable to create file (" + Dest() + u"\\f.txt)");
}

TEST_F(ExtractEntry, FolderThatCannotBeMade) {
    ASSERT_TRUE(Open(OnePlain(u"f.txt", u"\\sub", Bytes{1})));
    WriteBytes(HostPath("dest"), Bytes{0});  // a file where the folder should be
    EXPECT_FALSE(archive.ExtractEntry(0, nullptr));
    EXPECT_EQ(archive.errortext(), u"Unable to create destination directory for file!");
}

TEST_F(ExtractEntry, DamagedChunksAreFileCorrupt) {
    struct Case {
        const char* what;
        std::uint8_t mark;
        std::int32_t bitcount;
    };
    const Case cases[] = {{"mark", 'D', 64}, {"negative", 'C', -8}, {"too large", 'C', 524289},
                          {"minimum", 'C', -2147483647 - 1}};
    for (const Case& c : cases) {
        RawInstaller raw;
        RawEntry e(u"bad.bin", u"", 8);
        AppendChunkHeader(e.chunks, c.mark, 0, c.bitcount, 1);
        e.chunks.resize(e.chunks.size() + 8, 0x55);
        raw.entries.push_back(e);
        ASSERT_TRUE(Open(raw)) << c.what;
        Recorder recorder;
        EXPECT_FALSE(archive.ExtractEntry(0, &recorder)) << c.what;
        // Refused before any payload read: a read would have run short.
        EXPECT_EQ(archive.errortext(), u"File corrupt") << c.what;
        EXPECT_EQ(recorder.terminations, 0) << c.what;
    }
}

TEST_F(ExtractEntry, DecodedTotalMustMatchTheFileSize) {
    for (std::int64_t filesize : {std::int64_t{10}, std::int64_t{30}, std::int64_t{-1}}) {
        RawInstaller raw = OnePlain(u"f.bin", u"", RandomBytes(20, 5));
        raw.entries[0].record.filesize = filesize;
        ASSERT_TRUE(Open(raw));
        fs::remove_all(DestPath());
        EXPECT_FALSE(archive.ExtractEntry(0, nullptr)) << filesize;
        EXPECT_EQ(archive.errortext(), u"File corrupt") << filesize;
        // Never more than the promised size on disk.
        if (filesize == 10) {
            EXPECT_LE(fs::file_size(DestPath() / "f.bin"), 10u);
        }
    }
}

TEST_F(ExtractEntry, PayloadPastTheEndOfTheFileIsAReadFailure) {
    // A chunk header at the end of the archive whose payload would run far
    // past the end of the installer file.
    RawInstaller raw = OnePlain(u"f.bin", u"", Bytes(8, 1));
    Bytes header;
    AppendChunkHeader(header, payload::kChunkMark, 0, 400000, 1);
    raw.license.assign(header.begin(), header.end());
    ASSERT_TRUE(Open(raw));
    raw.entries[0].record.dataoffset = trailer.licenseoffset - trailer.archiveoffset;
    raw.entries[0].keepoffset = true;
    ASSERT_TRUE(Open(raw));
    Recorder recorder;
    EXPECT_FALSE(archive.ExtractEntry(0, &recorder));
    EXPECT_EQ(archive.errortext(), u"Could not read from SAC file.  Perhaps another file is writing to it.");
    EXPECT_EQ(recorder.terminations, 1);
}

TEST_F(ExtractEntry, UnreachableDataIsASeekFailure) {
    RawInstaller raw = OnePlain(u"f.bin", u"", Bytes(8, 1));
    raw.entries[0].keepoffset = true;
    for (std::int64_t offset : {std::int64_t{-5000}, std::int64_t{0x7FFFFFFFFFFFFFFF}}) {
        raw.entries[0].record.dataoffset = offset;
        ASSERT_TRUE(Open(raw));
        Recorder recorder;
        EXPECT_FALSE(archive.ExtractEntry(0, &recorder));
        EXPECT_EQ(archive.errortext(), u"Could not read from SAC file. Perhaps another file is writing to it?");
        EXPECT_EQ(recorder.terminations, 1);
        EXPECT_EQ(fs::file_size(DestPath() / "f.bin"), 0u);
    }
}

TEST_F(ExtractEntry, DataOffsetIntoAPayloadIsFileCorrupt) {
    RawInstaller raw = OnePlain(u"f.bin", u"", Bytes(64, 0x11));
    raw.entries[0].record.dataoffset = payload::kSacHeaderSize + 12 + 8;
    raw.entries[0].keepoffset = true;
    ASSERT_TRUE(Open(raw));
    EXPECT_FALSE(archive.ExtractEntry(0, nullptr));
    EXPECT_EQ(archive.errortext(), u"File corrupt");
}

TEST_F(ExtractEntry, LzChunkDecodesEvenWithoutTheCompressedFlag) {
    const Bytes data = TextBytes(5000, 6);
    RawInstaller raw;
    raw.header.compressed = 0;
    RawEntry e(u"t.txt", u"", 5000);
    AppendLzChunk(e.chunks, data, true);
    raw.entries.push_back(e);
    ASSERT_TRUE(Open(raw));
    EXPECT_FALSE(archive.HasDecoder());
    ASSERT_TRUE(archive.ExtractEntry(0, nullptr));
    EXPECT_EQ(Extracted("t.txt"), data);
}

TEST_F(ExtractEntry, VerifyDecodesEverythingAndWritesNothing) {
    RawInstaller raw = OnePlain(u"f.bin", u"\\sub", RandomBytes(300, 7));
    RawEntry bad(u"g.bin", u"", 300);
    AppendPlainChunk(bad.chunks, RandomBytes(200, 8), true);
    raw.entries.push_back(bad);
    ASSERT_TRUE(Open(raw));
    EXPECT_TRUE(archive.ExtractEntry(0, nullptr, payload::ExtractTarget::Verify));
    EXPECT_EQ(archive.errortext(), u"Extracted");
    EXPECT_FALSE(archive.ExtractEntry(1, nullptr, payload::ExtractTarget::Verify));
    EXPECT_EQ(archive.errortext(), u"File corrupt");
    EXPECT_FALSE(fs::exists(DestPath()));
}

TEST_F(ExtractEntry, UnsafeEntriesAreRefusedBeforeAnythingIsWritten) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"", u""},           {u".", u""},          {u"..", u""},          {u"...", u""},
        {u"a\\b", u""},        {u"a/b", u""},        {u"c:x", u""},         {u"x:stream", u""},
        {u"COM1", u""},       {u"nul.txt", u""},    {u"con", u""},         {u"LPT9.log", u""},
        {u"f", u"\\.."},      {u"f", u"\\a\\..\\.."}, {u"f", u"\\..\\x"},   {u"f", u"x"},
        {u"f", u"\\c:"},      {u"f", u"\\\\server\\share"}, {u"f", u"\\a\\\\b"}, {u"f", u"\\a/../.."},
        {u"f", u"\\aux"},     {u"f", u"\\"},        {u"tab\there", u""},   {u"f", u"\\ok\\.\\x"},
        // Names the platform reads as patterns, cannot create, or shortens
        // onto another entry's name.
        {u"a*b.txt", u""},    {u"a?b", u""},        {u"a\"b", u""},        {u"a<b>", u""},
        {u"a|b", u""},        {u"readme.txt.", u""}, {u"readme.txt ", u""}, {u"f", u"\\*"},
        {u"f", u"\\Ven?or\\x"}, {u"f", u"\\docs."},
    };
    for (const auto& [name, subfolder] : cases) {
        RawInstaller raw = OnePlain(name, subfolder, Bytes{1});
        ASSERT_TRUE(Open(raw));
        EXPECT_FALSE(archive.ExtractEntry(0, nullptr)) << Narrow(subfolder) << " | " << Narrow(name);
        EXPECT_EQ(archive.errortext().rfind(u"Refused archive entry \"", 0), 0u) << Narrow(archive.errortext());
        EXPECT_FALSE(fs::exists(DestPath())) << Narrow(subfolder) << " | " << Narrow(name);
    }
    // The names these rules leave alone.
    for (const char16_t* fine : {u"a.b.c", u"..hidden", u"cone.d", u"COM10", u"x y"}) {
        ASSERT_TRUE(Open(OnePlain(fine, u"\\sub.d\\x y", Bytes{1})));
        EXPECT_TRUE(archive.ExtractEntry(0, nullptr)) << Narrow(fine) << ": " << Narrow(archive.errortext());
    }
}

TEST_F(ExtractEntry, NoInstallFolderMeansNoExtraction) {
    RawInstaller raw = OnePlain(u"f.bin", u"", Bytes{1});
    payload::WriteWideField(raw.entries[0].record.fixedfolder, dir.wide(u"fixed"));
    ASSERT_TRUE(Open(raw));
    archive.SetInstallFolder({});
    EXPECT_FALSE(archive.ExtractEntry(0, nullptr));
    EXPECT_NE(archive.errortext().find(u"f.bin"), std::u16string::npos);
    EXPECT_FALSE(fs::exists(dir.path() / "fixed"));
}

TEST_F(ExtractEntry, ARelativeInstallFolderMeansNoExtraction) {
    ASSERT_TRUE(Open(OnePlain(u"f.bin", u"\\sub", Bytes{1})));
    // Whatever the process's current folder is, nothing may appear there.
    const fs::path cwd = dir.path() / "cwd";
    fs::create_directories(cwd);
    const fs::path before = fs::current_path();
    fs::current_path(cwd);
    std::vector<std::u16string> relative = {u"Vantrell", u"D:Vantrell", u"sub\\Vantrell", u".\\Vantrell", u".."};
#ifdef _WIN32
    // Rooted without a drive, and the device namespace.
    for (const char16_t* more : {u"\\Vantrell", u"/Vantrell", u"\\\\?\\C:\\Vantrell", u"\\\\server"})
        relative.push_back(more);
#endif
    for (const std::u16string& folder : relative) {
        archive.SetInstallFolder(folder);
        EXPECT_FALSE(archive.ExtractEntry(0, nullptr)) << Narrow(folder);
        EXPECT_NE(archive.errortext().find(u"absolute"), std::u16string::npos) << Narrow(archive.errortext());
    }
    fs::current_path(before);
    EXPECT_TRUE(fs::is_empty(cwd));
    archive.SetInstallFolder(Dest());
    EXPECT_TRUE(archive.ExtractEntry(0, nullptr)) << Narrow(archive.errortext());
}

TEST_F(ExtractEntry, NeedsAnOpenArchiveAndAValidIndex) {
    EXPECT_FALSE(archive.ExtractEntry(0, nullptr));
    ASSERT_TRUE(Open(OnePlain(u"f.bin", u"", Bytes{1})));
    EXPECT_FALSE(archive.ExtractEntry(1, nullptr));
    archive.CloseArchive();
    EXPECT_FALSE(archive.ExtractEntry(0, nullptr));
}

}  // namespace
