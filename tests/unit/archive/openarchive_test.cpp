#include "tests/unit/archive/archivefixture.hpp"

#include "payload/tsmufflz.hpp"

using namespace archive_testing;
using payload::ReadWideField;

namespace {

RawInstaller ThreeEntries(const char16_t* a, const char16_t* b, const char16_t* c) {
    RawInstaller raw;
    for (const char16_t* name : {a, b, c}) {
        RawEntry e(name, u"", 3);
        AppendPlainChunk(e.chunks, Bytes{1, 2, 3}, true);
        raw.entries.push_back(e);
    }
    return raw;
}

using OpenArchive = ArchiveFixture;

TEST_F(OpenArchive, KeepsFileOrderAndPreparesBuffers) {
    ASSERT_TRUE(Open(ThreeEntries(u"B", u"C", u"A"))) << "text: " << std::string(archive.errortext().begin(), archive.errortext().end());
    ASSERT_EQ(archive.entrylist().size(), 3u);
    EXPECT_EQ(archive.entrylist()[0].filename, u"B");
    EXPECT_EQ(archive.entrylist()[1].filename, u"C");
    EXPECT_EQ(archive.entrylist()[2].filename, u"A");
    EXPECT_TRUE(archive.IsOpen());
    EXPECT_TRUE(archive.HasDecoder());  // compressed is 1
}

TEST_F(OpenArchive, ManyEntriesAreReadWholeInFileOrder) {
    // More records than one read through a transfer buffer takes, with a
    // part-filled last read.
    RawInstaller raw;
    constexpr int kEntries = 23;
    for (int i = 0; i < kEntries; ++i) {
        const std::u16string name = u"f" + std::u16string(1, static_cast<char16_t>(u'a' + i));
        RawEntry e(name, i % 2 ? u"\\sub" : u"", i);
        AppendPlainChunk(e.chunks, Bytes(static_cast<std::size_t>(i), 7), true);
        raw.entries.push_back(e);
    }
    ASSERT_TRUE(Open(raw));
    ASSERT_EQ(archive.entrylist().size(), static_cast<std::size_t>(kEntries));
    for (int i = 0; i < kEntries; ++i) {
        const payload::DirectoryEntry& e = archive.entrylist()[static_cast<std::size_t>(i)];
        EXPECT_EQ(e.filename, u"f" + std::u16string(1, static_cast<char16_t>(u'a' + i))) << i;
        EXPECT_EQ(e.subfolder, i % 2 ? u"\\sub" : u"") << i;
        EXPECT_EQ(e.filesize, i) << i;
        EXPECT_EQ(e.attributes, 0x20) << i;
    }
    for (std::size_t i = 0; i < archive.entrylist().size(); ++i) EXPECT_TRUE(archive.ExtractEntry(i, nullptr)) << i;
}

TEST_F(OpenArchive, ZeroOrNegativeEntryCountMeansNoEntries) {
    for (std::int32_t count : {0, -1, -2147483647 - 1}) {
        RawInstaller raw = ThreeEntries(u"a", u"b", u"c");
        raw.overrideCount = true;
        raw.entrycount = count;
        ASSERT_TRUE(Open(raw)) << count;
        EXPECT_TRUE(archive.entrylist().empty()) << count;
    }
}

TEST_F(OpenArchive, EntryCountLargerThanTheArchiveIsRefused) {
    for (std::int32_t count : {4, 1000, 2147483647}) {
        RawInstaller raw = ThreeEntries(u"a", u"b", u"c");
        raw.overrideCount = true;
        raw.entrycount = count;
        EXPECT_FALSE(Open(raw)) << count;
        EXPECT_TRUE(archive.entrylist().empty()) << count;
        EXPECT_FALSE(archive.errortext().empty());
        EXPECT_FALSE(archive.IsOpen());
    }
}

TEST_F(OpenArchive, ChecksBothMarks) {
    RawInstaller raw = ThreeEntries(u"a", u"b", u"c");
    raw.header.mark[3] = '2';
    EXPECT_FALSE(Open(raw));
    EXPECT_NE(archive.errortext().find(u"SAC1"), std::u16string::npos);

    RawInstaller footer = ThreeEntries(u"a", u"b", u"c");
    footer.footermark[0] = 'X';
    EXPECT_FALSE(Open(footer));
    EXPECT_NE(archive.errortext().find(u"SAC1"), std::u16string::npos);
}

TEST_F(OpenArchive, RefusesEncipheredArchives) {
    RawInstaller raw = ThreeEntries(u"a", u"b", u"c");
    raw.header.encrypted = 1;
    EXPECT_FALSE(Open(raw));
    EXPECT_NE(archive.errortext().find(u"enciphered"), std::u16string::npos);
    // Other values of the byte mean a plain archive.
    raw.header.encrypted = 2;
    EXPECT_TRUE(Open(raw));
}

TEST_F(OpenArchive, OffsetsThatDoNotFitTheFileAreRefused) {
    const Bytes good = ThreeEntries(u"a", u"b", u"c").Assemble();
    ASSERT_TRUE(OpenImage(good));
    const std::int64_t size = static_cast<std::int64_t>(good.size());
    const std::int64_t a = trailer.archiveoffset, l = trailer.licenseoffset;
    const std::pair<std::int64_t, std::int64_t> cases[] = {
        {-1, l}, {a, size + 1}, {a, a + 2648 + 7}, {l, l}, {a + 1, l}, {0x7FFFFFFF, l}, {a, 0}};
    for (const auto& [archiveoffset, licenseoffset] : cases) {
        payload::tsacarchive other;
        EXPECT_FALSE(other.OpenArchive(InstallerPath(), archiveoffset, licenseoffset))
            << archiveoffset << " " << licenseoffset;
        EXPECT_FALSE(other.IsOpen());
    }
}

TEST_F(OpenArchive, MissingFileFails) {
    EXPECT_FALSE(archive.OpenArchive(dir.wide(u"nothing.exe"), 0, 100));
    EXPECT_FALSE(archive.errortext().empty());
}

TEST_F(OpenArchive, NamesEndAtTheFirstZeroUnitOrTakeAllUnits) {
    RawInstaller raw;
    RawEntry help(u"help.chm", u"", 0);
    const std::u16string leftovers = u"junk after the end";
    for (std::size_t i = 0; i < leftovers.size(); ++i) help.record.filename[9 + i] = leftovers[i];
    AppendChunkHeader(help.chunks, payload::kChunkMark, 0, 0, 1);
    raw.entries.push_back(help);

    RawEntry full(u"", u"", 0);
    for (std::size_t i = 0; i < payload::kWideFieldUnits; ++i)
        full.record.filename[i] = static_cast<char16_t>(u'a' + i % 26);
    AppendChunkHeader(full.chunks, payload::kChunkMark, 0, 0, 1);
    raw.entries.push_back(full);

    ASSERT_TRUE(Open(raw));
    EXPECT_EQ(archive.entrylist()[0].filename, u"help.chm");
    const std::u16string& whole = archive.entrylist()[1].filename;
    ASSERT_EQ(whole.size(), payload::kWideFieldUnits);
    EXPECT_EQ(whole[1023], static_cast<char16_t>(u'a' + 1023 % 26));
}

TEST_F(OpenArchive, UncompressedArchiveHasNoDecoder) {
    RawInstaller raw = ThreeEntries(u"a", u"b", u"c");
    raw.header.compressed = 0;
    ASSERT_TRUE(Open(raw));
    EXPECT_FALSE(archive.HasDecoder());
    for (std::size_t i = 0; i < 3; ++i) EXPECT_TRUE(archive.ExtractEntry(i, nullptr));
    EXPECT_FALSE(archive.HasDecoder());
}

}  // namespace
