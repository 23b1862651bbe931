// Damaged installers: cut short, cut inside the archive with the trailer
// kept, and bytes overwritten at random.  Each must end in a reported
// failure or a clean result, never a crash or a write outside the folder.
#include "tests/unit/archive/archivefixture.hpp"

#include "tools/sacwriter/sacwriter.hpp"

#include <cstring>
#include <filesystem>
#include <sstream>

using namespace archive_testing;
namespace fs = std::filesystem;

namespace {

// The contents GoodInstaller archives, by file name.
Bytes OriginalData(const std::u16string& name) {
    if (name == u"file1") return RandomBytes(70000, 9);
    return TextBytes(90000, name == u"file0" ? 10 : 12);
}

Bytes GoodInstaller() {
    sacwriter::InstallerInput input;
    input.stub = Bytes(3000, 0x4D);
    input.fields.productname = "Damaged product";
    input.fields.exename = "damaged.exe";
    input.licensetext = "License.";
    for (int i = 0; i < 3; ++i) {
        sacwriter::ArchiveItem item;
        item.filename = u"file" + std::u16string(1, static_cast<char16_t>(u'0' + i));
        item.subfolder = i == 2 ? u"\\sub" : u"";
        item.data = OriginalData(item.filename);
        input.items.push_back(item);
    }
    std::ostringstream out;
    std::string error;
    if (!sacwriter::WriteInstaller(input, out, error)) throw std::runtime_error(error);
    const std::string s = out.str();
    return Bytes(s.begin(), s.end());
}

using Damage = ArchiveFixture;

// True when every entry extracted.
bool ExtractAll(payload::tsacarchive& archive) {
    for (std::size_t i = 0; i < archive.entrylist().size(); ++i)
        if (!archive.ExtractEntry(i, nullptr)) return false;
    return true;
}

// Only the destination folder and the installer may appear in the folder.
void ExpectNothingOutside(const testing_support::TempDir& dir) {
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "dest" || name == "setup.exe") << name;
    }
}

// The trailer status of the installer OpenImage last wrote.
payload::TrailerStatus StatusOf(const std::u16string& path) {
    setuputil::FileAccess file;
    payload::tsetuptrailer trailer{};
    std::string license;
    const payload::TrailerStatus status = payload::LoadSetupTrailer(path, file, trailer, license);
    if (status == payload::TrailerStatus::Ok) setuputil::CloseAccess(file);
    return status;
}

// A download cut short has lost its trailer: start-up refuses every cut
// before the archive is looked at, and nothing is extracted.
TEST_F(Damage, CutShortInstallersFail) {
    const Bytes good = GoodInstaller();
    std::size_t cuts = 0, refused = 0;
    for (std::size_t cut = 0; cut < good.size(); cut += good.size() / 97 + 1) {
        const Bytes part(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
        ++cuts;
        const bool opened = OpenImage(part);
        EXPECT_FALSE(opened) << cut;
        if (opened) {
            EXPECT_FALSE(ExtractAll(archive)) << cut;
            continue;
        }
        const payload::TrailerStatus status = StatusOf(InstallerPath());
        EXPECT_NE(status, payload::TrailerStatus::Ok) << cut;
        refused += status != payload::TrailerStatus::Ok;
    }
    EXPECT_GE(cuts, 90u);
    EXPECT_EQ(refused, cuts);
    EXPECT_FALSE(fs::exists(DestPath()));
    ExpectNothingOutside(dir);
}

// Where the chunks of the entry whose first chunk is at `at` end: after its
// last chunk's payload, or after a header with no bits.
std::size_t DataEnd(const Bytes& installer, std::size_t at) {
    for (;;) {
        payload::tchunkheader chunk{};
        std::memcpy(&chunk, installer.data() + at, sizeof chunk);
        at += sizeof chunk;
        if (chunk.bitcount == 0) return at;
        at += static_cast<std::size_t>((chunk.bitcount + 63) / 64 * 8);
        if (chunk.lastflag == 1) return at;
    }
}

// The archive's chunk data cut off at some point, with the directory, the
// license and the trailer kept (the trailer's license offset moved with
// them): the archive opens, every entry whose data lies wholly before the
// cut is extracted whole, and the first entry the cut reaches fails.
TEST_F(Damage, ArchiveCutWithTheTrailerKeptFails) {
    const Bytes good = GoodInstaller();
    payload::tsetuptrailer goodTrailer{};
    std::memcpy(&goodTrailer, good.data() + good.size() - payload::kTrailerSize, payload::kTrailerSize);
    const std::size_t archiveStart = static_cast<std::size_t>(goodTrailer.archiveoffset);
    const std::size_t directoryStart =
        static_cast<std::size_t>(goodTrailer.licenseoffset) - payload::kSacFooterSize - 3 * payload::kSacEntrySize;
    const Bytes tail(good.begin() + static_cast<std::ptrdiff_t>(directoryStart), good.end());

    std::size_t cuts = 0, opened = 0, wholeBeforeFailure = 0, refusedAtTheCut = 0;
    for (std::size_t cut = archiveStart + payload::kSacHeaderSize; cut < directoryStart; cut += 1013) {
        Bytes part(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
        part.insert(part.end(), tail.begin(), tail.end());
        payload::tsetuptrailer moved = goodTrailer;
        moved.licenseoffset -= static_cast<std::int32_t>(directoryStart - cut);
        std::memcpy(part.data() + part.size() - payload::kTrailerSize, &moved, payload::kTrailerSize);
        fs::remove_all(DestPath());
        ++cuts;
        ASSERT_TRUE(OpenImage(part)) << cut << ": " << std::string(archive.errortext().begin(), archive.errortext().end());
        ++opened;
        ASSERT_EQ(archive.entrylist().size(), 3u);
        bool failed = false;
        for (std::size_t i = 0; i < archive.entrylist().size() && !failed; ++i) {
            const payload::DirectoryEntry& entry = archive.entrylist()[i];
            const bool intact = DataEnd(good, archiveStart + static_cast<std::size_t>(entry.dataoffset)) <= cut;
            const bool extracted = archive.ExtractEntry(i, nullptr);
            if (intact) {
                EXPECT_TRUE(extracted) << "cut " << cut << ", entry " << i;
            }
            if (!extracted) {
                failed = true;
                refusedAtTheCut += !intact;
                continue;
            }
            const std::u16string& name = entry.filename;
            const std::u16string& sub = entry.subfolder;
            const fs::path file = DestPath() / fs::path(sub.empty() ? name : sub.substr(1) + u"/" + name);
            // The format carries no checksum: a plain payload whose tail is
            // now other bytes of the same length passes unnoticed, but it
            // never passes for the original.
            EXPECT_EQ(ReadBytes(file.string()) == OriginalData(name), intact) << "cut " << cut << ", entry " << i;
            wholeBeforeFailure += intact;
        }
        EXPECT_TRUE(failed) << "every entry extracted although the cut at " << cut << " took data";
    }
    EXPECT_GT(cuts, 50u);
    EXPECT_EQ(opened, cuts);
    EXPECT_GT(wholeBeforeFailure, 0u) << "no cut left an entry whole";
    EXPECT_GT(refusedAtTheCut, cuts / 2) << "the entries the cuts reached were mostly not refused";
    ExpectNothingOutside(dir);
}

TEST_F(Damage, OverwrittenBytesNeverEscape) {
    const Bytes good = GoodInstaller();
    std::mt19937 rng(77);
    for (int round = 0; round < 150; ++round) {
        Bytes bad = good;
        // Hit the archive and the directory, where the trailer's offsets point.
        const int hits = 1 + static_cast<int>(rng() % 8);
        for (int h = 0; h < hits; ++h) {
            const std::size_t at = 3000 + rng() % (bad.size() - payload::kTrailerSize - 3000);
            bad[at] = static_cast<std::uint8_t>(rng());
        }
        if (OpenImage(bad)) ExtractAll(archive);
    }
    ExpectNothingOutside(dir);
}

}  // namespace
