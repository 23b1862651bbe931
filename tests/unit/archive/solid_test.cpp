// The solid payload: written by the builder, opened and extracted by the
// installer's reader; its directory and blocks refused when damaged, with
// the installer's own texts.
#include "tests/unit/archive/archivefixture.hpp"

#include "payload/crc32.hpp"
#include "payload/lzmadecoder.hpp"
#include "payload/payloadcheck.hpp"
#include "payload/solidformat.hpp"
#include "tools/sacwriter/sacwriter.hpp"
#include "setuputil/utf8.hpp"
#include "tools/sacwriter/solidwriter.hpp"

#include <sstream>

using namespace archive_testing;
using payload::PayloadKind;
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

// A minimal x86 program image: the builder puts it in a filtered block.
Bytes ProgramBytes(std::size_t n, unsigned seed) {
    Bytes b = RandomBytes(n, seed);
    for (std::size_t i = 0x200; i + 5 < n; i += 11) b[i] = 0xE8;
    b[0] = 'M';
    b[1] = 'Z';
    b[0x3C] = 0x80;
    b[0x3D] = b[0x3E] = b[0x3F] = 0;
    b[0x80] = 'P';
    b[0x81] = 'E';
    b[0x82] = b[0x83] = 0;
    b[0x84] = 0x4C;
    b[0x85] = 0x01;
    return b;
}

InstallerInput SolidSample() {
    InstallerInput input;
    input.stub = Bytes(4321, 0x5A);
    input.fields.productname = "Vantrell";
    input.fields.exename = "vantrell.exe";
    input.fields.startmenufolder = u"\\Calderic\\Vantrell";
    input.fields.defaultsubfolder = u"\\Vantrell";
    input.licensetext = "You agree.\r\n";
    input.kind = PayloadKind::Solid;
    input.items.push_back(Item(u"empty", u"", {}));
    input.items.push_back(Item(u"also empty", u"\\deep\\er", {}));
    input.items.push_back(Item(u"big.dat", u"\\data", TextBytes(700000, 1)));
    input.items.push_back(Item(u"noise.bin", u"\\data", RandomBytes(100000, 2)));
    input.items.push_back(Item(u"vantrell.exe", u"", ProgramBytes(120000, 3)));
    input.items.push_back(Item(u"helper.dll", u"\\bin", ProgramBytes(40000, 4)));
    // An x64 ELF program: the filter fits its calls too.
    Bytes elf = ProgramBytes(30000, 8);
    const std::uint8_t elfhead[20] = {0x7F, 'E', 'L', 'F', 2, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 62, 0};
    std::copy(std::begin(elfhead), std::end(elfhead), elf.begin());
    input.items.push_back(Item(u"tool", u"\\bin", elf));
    // Names in several scripts, one beyond the 16-bit plane.
    input.items.push_back(Item(u"Grüße.txt", u"\\Überblick", TextBytes(1000, 5)));
    input.items.push_back(Item(u"\u6587\u4ef6.txt", u"\\\u0434\u0430\u043d\u043d\u044b\u0435", TextBytes(2000, 6)));
    input.items.push_back(Item(u"\U0001F3B5.ini", u"", TextBytes(10, 7)));
    for (int i = 0; i < 2000; ++i) {
        const std::string digits = std::to_string(i);
        std::u16string name(digits.begin(), digits.end());
        name += u".txt";
        input.items.push_back(Item(name, u"\\many", TextBytes(static_cast<std::size_t>(i % 97), static_cast<unsigned>(i))));
    }
    return input;
}

Bytes Write(const InstallerInput& input) {
    std::ostringstream out;
    std::string error;
    EXPECT_TRUE(sacwriter::WriteInstaller(input, out, error)) << error;
    const std::string s = out.str();
    return Bytes(s.begin(), s.end());
}

class Solid : public ArchiveFixture {
protected:
    void SetUp() override {
        if (!sacwriter::SolidSupported()) GTEST_SKIP() << "this build has no LZMA encoder to write solid payloads";
    }
    // The items' bytes by their display path.
    static const ArchiveItem* Find(const InstallerInput& input, const payload::DirectoryEntry& entry) {
        for (const ArchiveItem& item : input.items)
            if (item.filename == entry.filename && item.subfolder == entry.subfolder) return &item;
        return nullptr;
    }
    void ExpectExtracted(const InstallerInput& input, std::size_t index) {
        const payload::DirectoryEntry& entry = archive.entrylist()[index];
        const ArchiveItem* item = Find(input, entry);
        ASSERT_NE(item, nullptr);
        std::filesystem::path path = DestPath();
        std::u16string rel = entry.subfolder + u"\\" + entry.filename;
        for (char16_t& c : rel)
            if (c == u'\\') c = u'/';
        path += std::filesystem::path(rel);
        EXPECT_TRUE(ReadBytes(path.string()) == item->data) << path;
    }
};

TEST_F(Solid, RoundTripInEntryOrderAndAnyOther) {
    const InstallerInput input = SolidSample();
    const Bytes image = Write(input);
    ASSERT_TRUE(OpenImage(image, PayloadKind::Solid)) << setuputil::Utf16ToUtf8(archive.errortext());
    ASSERT_EQ(archive.entrylist().size(), input.items.size());
    // Programs go to a block of their own, with the x86 filter.
    ASSERT_GE(archive.blocks().size(), 2u);
    EXPECT_EQ(archive.blocks().back().record.filter, payload::kSolidFilterX86);
    EXPECT_EQ(archive.blocks().front().record.filter, payload::kSolidFilterNone);
    for (const payload::DirectoryEntry& entry : archive.entrylist()) {
        const bool program = entry.filename == u"vantrell.exe" || entry.filename == u"helper.dll" || entry.filename == u"tool";
        EXPECT_EQ(archive.blocks()[entry.block].record.filter == payload::kSolidFilterX86, program)
            << setuputil::Utf16ToUtf8(entry.filename);
    }
    Recorder recorder;
    for (std::size_t i = 0; i < archive.entrylist().size(); ++i) {
        ASSERT_TRUE(archive.ExtractEntry(i, &recorder)) << i << " " << setuputil::Utf16ToUtf8(archive.errortext());
        EXPECT_EQ(archive.errortext(), payload::kTextExtracted);
        ExpectExtracted(input, i);
    }
    EXPECT_FALSE(recorder.progress.empty()) << "the big file reports progress between its pieces";
    EXPECT_TRUE(std::is_sorted(recorder.progress.begin(), recorder.progress.end()));
    EXPECT_LE(recorder.progress.back(), 90);
    EXPECT_EQ(recorder.terminations, 0);
    // Backwards: every entry starts its block again; a retry of the same
    // entry too.
    std::filesystem::remove_all(DestPath());
    for (std::size_t i = archive.entrylist().size(); i-- > 0;) {
        if (i % 97 != 0 && archive.entrylist()[i].filesize < 1000) continue;  // a sample keeps it quick
        ASSERT_TRUE(archive.ExtractEntry(i, nullptr)) << i;
        ASSERT_TRUE(archive.ExtractEntry(i, nullptr, payload::ExtractTarget::Verify)) << i;
        ExpectExtracted(input, i);
    }
}

TEST_F(Solid, ReproducibleWithAnyNumberOfThreads) {
    InstallerInput input = SolidSample();
    input.items.resize(40);
    input.jobs = 1;
    const Bytes one = Write(input);
    input.jobs = 3;
    std::reverse(input.items.begin(), input.items.end());
    EXPECT_TRUE(Write(input) == one);
    // The default kind is untouched by the solid one's existence.
    input.kind = PayloadKind::Sac;
    const Bytes sac = Write(input);
    EXPECT_EQ(std::memcmp(sac.data() + 4321, payload::kSacMark, 4), 0);
}

TEST_F(Solid, DamageIsRefusedWithTheInstallersTexts) {
    InstallerInput input = SolidSample();
    input.items.resize(12);
    const Bytes image = Write(input);
    ASSERT_TRUE(OpenImage(image, PayloadKind::Solid));
    const std::size_t footerAt = static_cast<std::size_t>(trailer.licenseoffset) - sizeof(payload::tsolidfooter);
    payload::tsolidfooter footer;
    std::memcpy(&footer, image.data() + footerAt, sizeof footer);
    const std::size_t directoryAt = footerAt - footer.directorysize;

    // The wrong kind either way round.
    EXPECT_FALSE(OpenImage(image, PayloadKind::Sac));
    InstallerInput sacinput = input;
    sacinput.kind = PayloadKind::Sac;
    EXPECT_FALSE(OpenImage(Write(sacinput), PayloadKind::Solid));
    EXPECT_EQ(archive.errortext(), payload::kDamagedInstaller);

    // Any byte of the directory or footer changed: the installer is damaged.
    for (std::size_t at = directoryAt; at < footerAt + sizeof footer; at += 7) {
        Bytes damaged = image;
        damaged[at] ^= 0x21;
        EXPECT_FALSE(OpenImage(damaged, PayloadKind::Solid)) << at;
        EXPECT_EQ(archive.errortext(), payload::kDamagedInstaller) << at;
        EXPECT_TRUE(archive.entrylist().empty());
    }
    // A byte of a block changed: some entry is "File corrupt", none is
    // written whole with other bytes, and the run is not ended as for a
    // file that cannot be read.
    for (std::size_t at = 4321 + sizeof(payload::tsolidheader) + 3; at < directoryAt; at += (directoryAt - at) / 5 + 1) {
        Bytes damaged = image;
        damaged[at] ^= 0x5A;
        ASSERT_TRUE(OpenImage(damaged, PayloadKind::Solid));
        Recorder recorder;
        bool failed = false;
        for (std::size_t i = 0; i < archive.entrylist().size() && !failed; ++i) {
            if (archive.ExtractEntry(i, &recorder, payload::ExtractTarget::Verify)) continue;
            failed = true;
            EXPECT_EQ(archive.errortext(), payload::kTextCorrupt) << at;
        }
        EXPECT_TRUE(failed) << at;
        EXPECT_EQ(recorder.terminations, 0);
    }
}

TEST_F(Solid, AStopBetweenPiecesEndsTheEntryUnfinished) {
    InstallerInput input = SolidSample();
    input.items.resize(3);  // the two empty files and the big one
    ASSERT_TRUE(OpenImage(Write(input), PayloadKind::Solid));
    Recorder recorder;
    recorder.stopafter = 2;
    bool stopped = false;
    for (std::size_t i = 0; i < archive.entrylist().size(); ++i)
        if (!archive.ExtractEntry(i, &recorder)) {
            stopped = true;
            EXPECT_EQ(archive.entrylist()[i].filename, u"big.dat");
        }
    EXPECT_TRUE(stopped);
    EXPECT_EQ(recorder.progress.size(), 2u);
    EXPECT_LT(std::filesystem::file_size(DestPath() / "data" / "big.dat"), 700000u);
}

TEST(SolidDirectory, RefusesWhatBreaksItsRules) {
    payload::tsolidblock block{};
    block.packedsize = 100;
    block.unpackedsize = 30;
    block.dictionary = 1 << 16;
    block.properties = 0x5D;
    block.entrycount = 2;
    std::vector<payload::SolidEntryRecord> entries(2);
    entries[0].path = "sub\\a.txt";
    entries[0].size = 10;
    entries[1].path = "sub\\b.txt";
    entries[1].size = 20;
    const auto parse = [](const std::vector<payload::tsolidblock>& blocks,
                          const std::vector<payload::SolidEntryRecord>& list, std::uint64_t packed = 100) {
        Bytes bytes;
        payload::AppendSolidDirectory(blocks, list, bytes);
        payload::SolidDirectory directory;
        return payload::ParseSolidDirectory(bytes.data(), bytes.size(), static_cast<std::uint32_t>(blocks.size()),
                                            packed, directory) &&
               directory.entries.size() == list.size();
    };
    ASSERT_TRUE(parse({block}, entries));
    {
        Bytes bytes;
        payload::AppendSolidDirectory({block}, entries, bytes);
        payload::SolidDirectory directory;
        ASSERT_TRUE(payload::ParseSolidDirectory(bytes.data(), bytes.size(), 1, 100, directory));
        EXPECT_EQ(directory.entries[1].subfolder, u"\\sub");
        EXPECT_EQ(directory.entries[1].filename, u"b.txt");
        EXPECT_EQ(directory.entries[1].blockoffset, 10u);
        // Bytes left over, or one missing.
        bytes.push_back(0);
        EXPECT_FALSE(payload::ParseSolidDirectory(bytes.data(), bytes.size(), 1, 100, directory));
        bytes.resize(bytes.size() - 2);
        EXPECT_FALSE(payload::ParseSolidDirectory(bytes.data(), bytes.size(), 1, 100, directory));
        // More blocks than the bytes could hold.
        EXPECT_FALSE(payload::ParseSolidDirectory(bytes.data(), bytes.size(), 0xFFFFFFFFu, 100, directory));
    }
    EXPECT_FALSE(parse({block}, entries, 101)) << "packed streams that do not fill their span";
    payload::tsolidblock b = block;
    b.unpackedsize = 31;
    EXPECT_FALSE(parse({b}, entries)) << "entries that do not add up to the block";
    b = block;
    b.entrycount = 100000;
    EXPECT_FALSE(parse({b}, entries)) << "more entries than bytes";
    b = block;
    b.dictionary = payload::kMaxSolidDictionary + 1;
    EXPECT_FALSE(parse({b}, entries)) << "a dictionary above the cap";
    b = block;
    b.properties = 9 * 5 * 5;
    EXPECT_FALSE(parse({b}, entries)) << "properties the decoder refuses";
    b = block;
    b.filter = 2;
    EXPECT_FALSE(parse({b}, entries)) << "an unknown filter";
    auto bad = entries;
    bad[1].path = "sub\\\xC3";
    EXPECT_FALSE(parse({block}, bad)) << "a path that is not UTF-8";
    bad = entries;
    bad[1].path = std::string(payload::kMaxSolidPathBytes + 1, 'x');
    EXPECT_FALSE(parse({block}, bad)) << "a path too long";
    bad = entries;
    bad[1].path = "sub\\";
    EXPECT_FALSE(parse({block}, bad)) << "a path without a file name";
    b = block;
    b.unpackedsize = 1ull << 63;
    bad = entries;
    bad[1].size = (1ull << 63) - 10;
    EXPECT_FALSE(parse({b}, bad)) << "sizes beyond a signed 64-bit count";
    bad = entries;
    bad[1].flags = 0x80;
    EXPECT_FALSE(parse({block}, bad)) << "an unknown flag";
}

}  // namespace
