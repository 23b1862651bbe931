// Damaged installers: cut short, cut inside the archive with the trailer
// kept, and bytes overwritten at random.  Each must end in a reported
// failure or a clean result, never a crash or a write outside the folder.
#include "tests/unit/archive/archivefixture.hpp"

#include "tools/sacwriter/sacwriter.hpp"

#include <filesystem>
#include <sstream>

using namespace archive_testing;
namespace fs = std::filesystem;

namespace {

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
        item.data = i == 1 ? RandomBytes(70000, 9) : TextBytes(90000, 10 + i);
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
    for (std::size_t i = 0; i < archive.entrylist.size(); ++i)
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

TEST_F(Damage, CutShortInstallersFail) {
    const Bytes good = GoodInstaller();
    for (std::size_t cut = 0; cut < good.size(); cut += good.size() / 97 + 1) {
        const Bytes part(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
        if (OpenImage(part)) {
            EXPECT_FALSE(ExtractAll(archive)) << cut;
        }
    }
    ExpectNothingOutside(dir);
}

TEST_F(Damage, ArchiveCutWithTheTrailerKeptFails) {
    const Bytes good = GoodInstaller();
    const Bytes trailerBytes(good.end() - payload::kTrailerSize, good.end());
    const std::size_t archiveEnd = good.size() - payload::kTrailerSize;
    for (std::size_t cut = 0; cut < archiveEnd; cut += 1013) {
        Bytes part(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
        part.insert(part.end(), trailerBytes.begin(), trailerBytes.end());
        if (OpenImage(part)) {
            EXPECT_FALSE(ExtractAll(archive)) << cut;
        }
    }
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
