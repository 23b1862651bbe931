// The resource writer and the builder's stamp, on the real stubs of both
// Windows builds: every resource but those replaced stays byte for byte,
// the version block, icon group and picture read back, and the edited
// image stays well-formed (sections, image size, directories, relocations,
// checksum).  Skipped, with the reason, where a stub has not been built.
#include "payload/installscope.hpp"
#include "payload/packedresource.hpp"
#include "payload/payloadcheck.hpp"
#include "tools/peres/icongroup.hpp"
#include "tools/peres/peimage.hpp"
#include "tools/peres/resourcetree.hpp"
#include "tools/peres/versionblock.hpp"
#include "tools/tallowin/stubstamp.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;
using namespace peres;

namespace {

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const Resource* Find(const std::vector<Resource>& list, const Resource& like) {
    for (const Resource& r : list)
        if (r.type == like.type && r.name == like.name && r.language == like.language) return &r;
    return nullptr;
}

bool IsType(const Resource& r, std::uint16_t type) { return r.type.name.empty() && r.type.id == type; }

class StampedStubs : public ::testing::TestWithParam<const char*> {};

}  // namespace

TEST_P(StampedStubs, KeepEverythingButWhatIsReplaced) {
    const fs::path stubpath = fs::path(TALLOWIN_SOURCE_DIR) / GetParam();
    if (!fs::exists(stubpath)) GTEST_SKIP() << stubpath.string() << " is not built";
    const std::vector<std::uint8_t> stub = ReadFile(stubpath);
    PeImage before;
    std::vector<Resource> original;
    std::string error;
    ASSERT_TRUE(ParsePe(stub, before, error)) << error;
    ASSERT_TRUE(ReadResources(before, original, error)) << error;

    tallowin::StubIdentity identity;
    identity.productname = u"Vantrell";
    identity.productversion = u"3.0 beta 2";
    identity.publisher = u"Calderic Software";
    identity.originalfilename = u"vantrell-setup.exe";
    identity.icon = ReadFile(fs::path(TALLOWIN_SOURCE_DIR) / "examples/vantrell/art/vantrell.ico");
    identity.wizardimage = ReadFile(fs::path(TALLOWIN_SOURCE_DIR) / "examples/vantrell/art/wizard.bmp");
    const bool x64 = before.pe32plus;
    EXPECT_EQ(before.machine, x64 ? tallowin::kMachineX64 : tallowin::kMachineX86);
    // A product for the other processor is refused, naming both.
    identity.architecture = x64 ? tallowin::Architecture::X86 : tallowin::Architecture::X64;
    tallowin::StampedStub stamped;
    EXPECT_FALSE(tallowin::StampStub(stub, identity, stamped, error));
    EXPECT_EQ(error, x64 ? "the stub is built for x64, the product's architecture is x86: use the x86 stub"
                         : "the stub is built for x86, the product's architecture is x64: use the x64 stub");
    identity.architecture = x64 ? tallowin::Architecture::X64 : tallowin::Architecture::X86;
    ASSERT_TRUE(tallowin::StampStub(stub, identity, stamped, error)) << error;

    PeImage after;
    std::vector<Resource> edited;
    ASSERT_TRUE(ParsePe(stamped.bytes, after, error)) << error;
    ASSERT_TRUE(ReadResources(after, edited, error)) << error;

    // Replaced: the version, the first icon group and its images, the picture.
    const Resource* oldgroup = nullptr;
    for (const Resource& r : original)
        if (!oldgroup && IsType(r, kTypeGroupIcon)) oldgroup = &r;
    ASSERT_NE(oldgroup, nullptr) << "the stub has no icon";
    const auto replaced = [&](const Resource& r) {
        if (IsType(r, kTypeVersion) || &r == oldgroup) return true;
        if (IsType(r, kTypeRcData) && r.name.name == payload::kSidePictureName) return true;
        if (!IsType(r, kTypeIcon)) return false;
        for (std::size_t e = 6; e + 14 <= oldgroup->data.size(); e += 14)
            if (Get16(oldgroup->data, e + 12) == r.name.id) return true;
        return false;
    };
    std::size_t kept = 0;
    for (const Resource& r : original) {
        if (replaced(r)) continue;
        const Resource* now = Find(edited, r);
        ASSERT_NE(now, nullptr) << "a resource of type " << r.type.id << " is gone";
        EXPECT_EQ(now->data, r.data) << "a resource of type " << r.type.id << " changed";
        ++kept;
    }
    EXPECT_GE(kept, 1u);  // the manifest at least

    // The version block.
    VersionInfo version;
    const auto v = std::find_if(edited.begin(), edited.end(), [](const Resource& r) { return IsType(r, kTypeVersion); });
    ASSERT_NE(v, edited.end());
    ASSERT_TRUE(ParseVersionBlock(v->data, version));
    EXPECT_EQ(version.fileversion, (std::array<std::uint16_t, 4>{3, 0, 0, 0}));
    EXPECT_EQ(version.productversion, version.fileversion);
    EXPECT_EQ(VersionString(version, u"ProductName"), u"Vantrell");
    EXPECT_EQ(VersionString(version, u"ProductVersion"), u"3.0 beta 2");
    EXPECT_EQ(VersionString(version, u"FileDescription"), u"Vantrell Setup");
    EXPECT_EQ(VersionString(version, u"CompanyName"), u"Calderic Software");
    EXPECT_EQ(VersionString(version, u"OriginalFilename"), u"vantrell-setup.exe");
    // No copyright given: no LegalCopyright string at all.
    EXPECT_TRUE(std::none_of(version.strings.begin(), version.strings.end(),
                             [](const auto& s) { return s.first == u"LegalCopyright"; }));

    // The icon group names one RT_ICON per image of the .ico, bytes equal.
    std::vector<IconImage> images;
    ASSERT_TRUE(ParseIcoFile(identity.icon, images, error)) << error;
    ASSERT_EQ(images.size(), 4u);
    const auto group = std::find_if(edited.begin(), edited.end(), [](const Resource& r) { return IsType(r, kTypeGroupIcon); });
    ASSERT_NE(group, edited.end());
    EXPECT_TRUE(group->name == oldgroup->name);
    ASSERT_EQ(group->data.size(), 6 + 14 * images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        Resource like;
        like.type.id = kTypeIcon;
        like.name.id = Get16(group->data, 6 + 14 * i + 12);
        like.language = group->language;
        const Resource* icon = Find(edited, like);
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(icon->data, images[i].data);
        EXPECT_EQ(group->data[6 + 14 * i], images[i].width);
    }

    // The picture, packed, expands to the BMP file; the check record waits at its offset.
    const auto picture = std::find_if(edited.begin(), edited.end(), [](const Resource& r) {
        return IsType(r, kTypeRcData) && r.name.name == payload::kSidePictureName;
    });
    ASSERT_NE(picture, edited.end());
    EXPECT_EQ(payload::ExpandPacked(picture->data.data(), picture->data.size()), identity.wizardimage);
    payload::tpayloadcheck check{};
    ASSERT_TRUE(payload::ParsePayloadCheck(stamped.bytes.data() + stamped.checkoffset, sizeof check, check));

    // Well-formed: same sections, everything before the resources untouched,
    // the relocations moved whole, image size, directories and checksum right.
    ASSERT_EQ(after.sections.size(), before.sections.size());
    const Section& rsrc = after.sections[after.sections.size() - 2];
    const Section& reloc = after.sections.back();
    EXPECT_TRUE(std::equal(stub.begin() + before.sections[0].rawpointer, stub.begin() + rsrc.rawpointer,
                           stamped.bytes.begin() + before.sections[0].rawpointer));
    EXPECT_EQ(after.Directory(kResourceDirectory).address, rsrc.virtualaddress);
    EXPECT_EQ(after.Directory(kResourceDirectory).size, rsrc.virtualsize);
    EXPECT_EQ(after.Directory(kBaseRelocDirectory).address, reloc.virtualaddress);
    EXPECT_EQ(after.Directory(kBaseRelocDirectory).size, before.Directory(kBaseRelocDirectory).size);
    EXPECT_GE(reloc.virtualaddress, rsrc.virtualaddress + rsrc.virtualsize);
    EXPECT_EQ(reloc.virtualaddress % after.sectionalignment, 0u);
    EXPECT_EQ(reloc.rawpointer, rsrc.rawpointer + rsrc.rawsize);
    const Section& oldreloc = before.sections.back();
    EXPECT_TRUE(std::equal(stub.begin() + oldreloc.rawpointer, stub.begin() + oldreloc.rawpointer + oldreloc.rawsize,
                           stamped.bytes.begin() + reloc.rawpointer));
    EXPECT_EQ(stamped.bytes.size(), reloc.rawpointer + reloc.rawsize);
    EXPECT_EQ(Get32(stamped.bytes, after.optionaloffset + 56),
              AlignUp(reloc.virtualaddress + reloc.virtualsize, after.sectionalignment));
    EXPECT_EQ(Get32(stamped.bytes, stamped.checksumoffset), ComputeChecksum(stamped.bytes, stamped.checksumoffset));
    // Address-space layout randomisation stays on: relocations not stripped, dynamic base set.
    EXPECT_EQ(Get16(stamped.bytes, after.optionaloffset - 2) & 0x0001, 0);  // IMAGE_FILE_RELOCS_STRIPPED
    EXPECT_EQ(Get16(stamped.bytes, after.optionaloffset + 70), Get16(stub, before.optionaloffset + 70));

    // Stamping the stamped stub again gives the same bytes: the writer's
    // layout is stable.
    tallowin::StampedStub twice;
    ASSERT_TRUE(tallowin::StampStub(stamped.bytes, identity, twice, error)) << error;
    EXPECT_EQ(twice.bytes, stamped.bytes);

    // A machine-wide product's stub has no scope record and keeps its
    // manifest; a per-user one's gets the record and runs as the user.
    const auto manifestof = [](const std::vector<Resource>& resources) {
        for (const Resource& r : resources)
            if (r.type.name.empty() && r.type.id == peres::kTypeManifest) return std::string(r.data.begin(), r.data.end());
        return std::string();
    };
    const auto scoperecord = [](const std::vector<Resource>& resources) {
        return std::find_if(resources.begin(), resources.end(), [](const Resource& r) {
            return r.type.id == peres::kTypeRcData && r.name.name == payload::kInstallScopeName;
        });
    };
    EXPECT_EQ(manifestof(edited), manifestof(original));
    EXPECT_EQ(scoperecord(edited), edited.end());
    identity.scope = payload::InstallScope::User;
    tallowin::StampedStub peruser;
    ASSERT_TRUE(tallowin::StampStub(stub, identity, peruser, error)) << error;
    PeImage userimage;
    std::vector<Resource> userresources;
    ASSERT_TRUE(ParsePe(peruser.bytes, userimage, error)) << error;
    ASSERT_TRUE(ReadResources(userimage, userresources, error)) << error;
    std::string manifest = manifestof(original);
    const std::size_t level = manifest.find("level=\"requireAdministrator\"");
    ASSERT_NE(level, std::string::npos);
    manifest.replace(level, 28, "level=\"asInvoker\"");
    EXPECT_EQ(manifestof(userresources), manifest);
    const auto record = scoperecord(userresources);
    ASSERT_NE(record, userresources.end());
    payload::InstallScope scope = payload::InstallScope::Machine;
    EXPECT_TRUE(payload::ParseScopeRecord(record->data.data(), record->data.size(), scope));
    EXPECT_EQ(scope, payload::InstallScope::User);
}

INSTANTIATE_TEST_SUITE_P(BothPresets, StampedStubs,
                         ::testing::Values("build/windows/bin/setup.exe", "build/windows64/bin/setup.exe"));

TEST(VersionNumbers, LeadingNumbersOfTheText) {
    using N = std::array<std::uint16_t, 4>;
    EXPECT_EQ(VersionNumbers("2.1"), (N{2, 1, 0, 0}));
    EXPECT_EQ(VersionNumbers("3.0 beta 2"), (N{3, 0, 0, 0}));
    EXPECT_EQ(VersionNumbers("beta"), (N{0, 0, 0, 0}));
    EXPECT_EQ(VersionNumbers(""), (N{0, 0, 0, 0}));
    EXPECT_EQ(VersionNumbers("1.2.3.4.5"), (N{1, 2, 3, 4}));
    EXPECT_EQ(VersionNumbers("10.20-rc1"), (N{10, 20, 0, 0}));
    EXPECT_EQ(VersionNumbers("7."), (N{7, 0, 0, 0}));
    EXPECT_EQ(VersionNumbers("99999.1"), (N{65535, 1, 0, 0}));
}

TEST(StubStamp, RefusesBadIconsPicturesAndStubs) {
    std::vector<IconImage> images;
    std::string error;
    EXPECT_FALSE(ParseIcoFile({'B', 'M', 0, 0, 0, 0}, images, error));
    EXPECT_EQ(error, "not an icon file (.ico)");
    // One image that claims to lie past the end of the file.
    std::vector<std::uint8_t> ico = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0};
    const std::uint32_t size = 1000, offset = 22;
    for (int i = 0; i < 4; ++i) ico.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
    for (int i = 0; i < 4; ++i) ico.push_back(static_cast<std::uint8_t>(offset >> (8 * i)));
    EXPECT_FALSE(ParseIcoFile(ico, images, error));
    EXPECT_EQ(error, "icon image 1 lies outside the file");
    ico.resize(22 + 1000, 0x55);  // there now, but neither PNG nor bitmap
    EXPECT_FALSE(ParseIcoFile(ico, images, error));
    EXPECT_EQ(error, "icon image 1 is neither a PNG nor a bitmap");

    std::vector<std::uint8_t> bmp = ReadFile(fs::path(TALLOWIN_SOURCE_DIR) / "examples/vantrell/art/wizard.bmp");
    ASSERT_EQ(bmp.size(), 135654u);
    EXPECT_EQ(tallowin::CheckWizardImage(bmp), "");
    bmp[18] = 151;  // width
    EXPECT_EQ(tallowin::CheckWizardImage(bmp), "151 x 300 pixels; it must be a 24-bit BMP of 150 x 300 pixels");
    bmp[18] = 150;
    bmp[28] = 32;  // bit count
    EXPECT_EQ(tallowin::CheckWizardImage(bmp), "32-bit or compressed BMP; it must be a 24-bit BMP of 150 x 300 pixels");
    bmp[28] = 24;
    bmp.resize(bmp.size() - 1);
    EXPECT_EQ(tallowin::CheckWizardImage(bmp), "the BMP file is cut short");

    tallowin::StampedStub out;
    EXPECT_FALSE(tallowin::StampStub(std::vector<std::uint8_t>(7000, 0x4D), {}, out, error));
    EXPECT_EQ(error, "stub: not a well-formed PE program: no MZ header");
}
