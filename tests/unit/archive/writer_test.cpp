#include "tests/unit/archive/archivefixture.hpp"

#include "tools/sacwriter/sacwriter.hpp"
#include "tools/sacwriter/textcodec.hpp"

#include <sstream>

using namespace archive_testing;
using sacwriter::ArchiveItem;
using sacwriter::InstallerInput;

namespace {

ArchiveItem Item(const std::u16string& name, const std::u16string& subfolder, Bytes data) {
    ArchiveItem item;
    item.filename = name;
    item.subfolder = subfolder;
    item.data = std::move(data);
    return item;
}

InstallerInput Sample(int level) {
    InstallerInput input;
    input.stub = Bytes(4321, 0x5A);
    input.fields.productname = "Vantrell";
    input.fields.exename = "vantrell.exe";
    input.fields.startmenufolder = u"\\Calderic\\Vantrell";
    input.fields.defaultsubfolder = u"\\Vantrell";
    input.licensetext = "You agree.\r\n";
    input.level = level;
    input.created = 45000.5;
    input.items.push_back(Item(u"text.txt", u"\\docs", TextBytes(150000, 1)));
    input.items.push_back(Item(u"random.bin", u"", RandomBytes(70000, 2)));
    input.items.push_back(Item(u"empty", u"", {}));
    for (std::size_t size : {1u, 7u, 8u, 9u, 65535u, 65536u, 65537u, 131072u})
    {
        const std::string digits = std::to_string(size);
        input.items.push_back(Item(u"size" + std::u16string(digits.begin(), digits.end()), u"\\sizes",
                                   TextBytes(size, static_cast<unsigned>(size))));
    }
    return input;
}

Bytes Write(const InstallerInput& input, std::string& error, bool& ok) {
    std::ostringstream out;
    ok = sacwriter::WriteInstaller(input, out, error);
    const std::string s = out.str();
    return Bytes(s.begin(), s.end());
}

Bytes WriteOk(const InstallerInput& input) {
    std::string error;
    bool ok = false;
    Bytes b = Write(input, error, ok);
    EXPECT_TRUE(ok) << error;
    return b;
}

std::string Refusal(const InstallerInput& input) {
    std::string error;
    bool ok = true;
    Write(input, error, ok);
    EXPECT_FALSE(ok);
    return error;
}

using Writer = ArchiveFixture;

TEST_F(Writer, RoundTripAtEveryLevel) {
    for (int level : {0, 1, 6, 9}) {
        const InstallerInput input = Sample(level);
        ASSERT_TRUE(OpenImage(WriteOk(input))) << level;
        EXPECT_EQ(archive.header().compressed, level > 0 ? 1 : 0);
        ASSERT_EQ(archive.entrylist().size(), input.items.size());
        for (std::size_t i = 0; i < archive.entrylist().size(); ++i)
            ASSERT_TRUE(archive.ExtractEntry(i, nullptr)) << level << " " << i;
        for (const ArchiveItem& item : input.items) {
            std::string rel = std::string(item.subfolder.begin(), item.subfolder.end());
            for (char& c : rel)
                if (c == '\\') c = '/';
            if (!rel.empty()) rel.erase(0, 1), rel += '/';
            EXPECT_EQ(Extracted((rel + std::string(item.filename.begin(), item.filename.end())).c_str()), item.data)
                << level;
        }
    }
}

TEST_F(Writer, LayoutOfTheWrittenInstaller) {
    const InstallerInput input = Sample(6);
    const Bytes bytes = WriteOk(input);
    ASSERT_TRUE(OpenImage(bytes));
    EXPECT_EQ(trailer.archiveoffset, 4321);
    EXPECT_TRUE(std::equal(input.stub.begin(), input.stub.end(), bytes.begin()));
    EXPECT_EQ(std::string(bytes.begin() + trailer.licenseoffset, bytes.end() - payload::kTrailerSize), input.licensetext);
    EXPECT_EQ(trailer.haslicense, 1);
    EXPECT_EQ(archive.header().reserved4, 4);
    EXPECT_EQ(archive.header().created, 45000.5);
    EXPECT_EQ(archive.entrylist()[0].dataoffset, 2648);  // the first entry follows the header

    // Entries sorted by path; each entry's chunks follow the previous ones.
    std::vector<std::u16string> paths;
    for (const auto& e : archive.entrylist()) 
        paths.push_back(e.subfolder + u"\\" + e.filename);
    EXPECT_TRUE(std::is_sorted(paths.begin(), paths.end())) << "order";
    for (std::size_t i = 0; i < archive.entrylist().size(); ++i) {
        const payload::DirectoryEntry& e = archive.entrylist()[i];
        // Walk the chunks: stored size, last flag, pieces of at most 64 KiB.
        std::int64_t at = trailer.archiveoffset + e.dataoffset, stored = 0, chunks = 0;
        for (;;) {
            payload::tchunkheader h;
            std::memcpy(&h, bytes.data() + at, sizeof h);
            ++chunks;
            ASSERT_EQ(h.mark, payload::kChunkMark);
            ASSERT_LE(h.bitcount, payload::kMaxChunkBits);
            const std::int64_t n = (h.bitcount + 63) / 64 * 8;
            stored += n;
            at += 12 + n;
            if (h.lastflag == 1) break;
            ASSERT_NE(h.bitcount, 0);
        }
        EXPECT_EQ(stored, e.storedsize) << i;
        EXPECT_EQ(chunks, std::max<std::int64_t>(1, (e.filesize + 65535) / 65536)) << i;
        if (i + 1 < archive.entrylist().size()) {
            EXPECT_EQ(at - trailer.archiveoffset, archive.entrylist()[i + 1].dataoffset);
        }
        // The record as written: its reserved tail stays zero.
        payload::tsacentry record;
        const std::size_t records = archive.entrylist().size();
        std::memcpy(&record,
                    bytes.data() + trailer.licenseoffset - payload::kSacFooterSize - (records - i) * payload::kSacEntrySize,
                    sizeof record);
        EXPECT_EQ(record.dataoffset, e.dataoffset) << i;
        for (std::uint8_t b : record.reserved6192) ASSERT_EQ(b, 0);
        EXPECT_EQ(e.attributes, 0x20);
    }
}

TEST_F(Writer, EmptyFileIsOneChunkOfBitCountZero) {
    InstallerInput input = Sample(6);
    input.items = {Item(u"empty", u"", {})};
    const Bytes bytes = WriteOk(input);
    ASSERT_TRUE(OpenImage(bytes));
    payload::tchunkheader h;
    std::memcpy(&h, bytes.data() + trailer.archiveoffset + 2648, sizeof h);
    EXPECT_EQ(h.bitcount, 0);
    EXPECT_EQ(h.lastflag, 1);
    EXPECT_EQ(archive.entrylist()[0].storedsize, 0);
}

TEST_F(Writer, PiecesThatDoNotShrinkAreStoredPlain) {
    InstallerInput input = Sample(9);
    input.items = {Item(u"random", u"", RandomBytes(1000, 3)), Item(u"text", u"", TextBytes(1000, 4))};
    const Bytes bytes = WriteOk(input);
    ASSERT_TRUE(OpenImage(bytes));
    payload::tchunkheader random, text;
    std::memcpy(&random, bytes.data() + trailer.archiveoffset + archive.entrylist()[0].dataoffset, 12);
    std::memcpy(&text, bytes.data() + trailer.archiveoffset + archive.entrylist()[1].dataoffset, 12);
    EXPECT_EQ(random.lzflag, 0);
    EXPECT_EQ(random.bitcount, 8000);
    EXPECT_EQ(text.lzflag, 1);
    EXPECT_LT(text.bitcount, 8000);
}

TEST(WriterOutput, IsReproducible) {
    InstallerInput a = Sample(6);
    InstallerInput b = Sample(6);
    std::reverse(b.items.begin(), b.items.end());
    EXPECT_EQ(WriteOk(a), WriteOk(b));
    b.created += 1;
    EXPECT_NE(WriteOk(a), WriteOk(b));
}

TEST(WriterOutput, RefusesWhatTheInstallerCouldNotCarry) {
    const auto refuse = [](ArchiveItem item, const char* expect) {
        InstallerInput input = Sample(1);
        input.items.push_back(std::move(item));
        const std::string error = Refusal(input);
        EXPECT_NE(error.find(expect), std::string::npos) << error;
    };
    refuse(Item(u"..", u"", {1}), "not a plain file name");
    refuse(Item(u"a:b", u"", {1}), "not a plain file name");
    refuse(Item(u"nul", u"", {1}), "device name");
    refuse(Item(u"f", u"\\..\\x", {1}), "leave the installation folder");
    refuse(Item(std::u16string(1025, u'n'), u"", {1}), "longer than 1024");
    refuse(Item(u"TEXT.TXT", u"\\DOCS", {1}), "apart from letter case");
    refuse(Item(u"text.txt", u"\\docs\\", {1}), "apart from letter case");
    refuse(Item(u"EMPTY", u"", {1}), "apart from letter case");
    InstallerInput latin = Sample(1);
    latin.items.push_back(Item(u"\u00e9t\u00e9", u"", {1}));
    latin.items.push_back(Item(u"\u00c9T\u00c9", u"", {2}));
    EXPECT_NE(Refusal(latin).find("apart from letter case"), std::string::npos);
    // Names the platform reads as patterns, cannot create, or shortens onto
    // another name.
    for (const char16_t* name : {u"a*b.txt", u"a?b", u"a\"b", u"a<b", u"a>b", u"a|b", u"text.txt.", u"empty "})
        refuse(Item(name, u"", {1}), "* ? \" < > |");
    refuse(Item(u"f", u"\\docs.", {1}), "its folder holds one of");
    refuse(Item(u"f", u"\\d*", {1}), "its folder holds one of");

    InstallerInput big = Sample(0);
    big.maxbytes = 200000;
    EXPECT_NE(Refusal(big).find("larger than 200000 bytes"), std::string::npos);
    InstallerInput level = Sample(10);
    EXPECT_NE(Refusal(level).find("level 10"), std::string::npos);
    InstallerInput license = Sample(1);
    license.licensetext = std::string("a\0b", 3);
    EXPECT_NE(Refusal(license).find("zero byte"), std::string::npos);
    InstallerInput services = Sample(1);
    services.fields.services.assign(6, {"svc.exe", "svc"});
    EXPECT_NE(Refusal(services).find("services"), std::string::npos);
}

TEST(TextCodec, ConvertsExactlyOrRefuses) {
    std::string out;
    ASSERT_TRUE(sacwriter::Utf8ToCp1252("caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D", out));
    EXPECT_EQ(out, "caf\xE9 \x80 \x93q\x94");
    EXPECT_EQ(sacwriter::Cp1252ToUtf8(out), "caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D");
    EXPECT_FALSE(sacwriter::Utf8ToCp1252("\xE6\x97\xA5", out));  // not in the code page
    EXPECT_FALSE(sacwriter::Utf8ToCp1252("\xC3", out));          // cut sequence
    std::u16string wide;
    ASSERT_TRUE(sacwriter::Utf8ToUtf16("a\xF0\x9F\x98\x80", wide));
    EXPECT_EQ(wide, u"a\U0001F600");
    EXPECT_EQ(sacwriter::Utf16ToUtf8(wide), "a\xF0\x9F\x98\x80");
    EXPECT_FALSE(sacwriter::Utf8ToUtf16("\xED\xA0\x80", wide));  // encoded surrogate
    EXPECT_FALSE(sacwriter::Utf8ToUtf16("\xC0\xAF", wide));      // overlong
}

}  // namespace
