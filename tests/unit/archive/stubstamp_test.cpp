// The resource writer and the builder's stamp, on the real stubs of both
// Windows builds: every resource but those replaced stays byte for byte,
// the version block, icon group and picture read back, and the edited
// image stays well-formed (sections, image size, directories, relocations,
// checksum).  Skipped, with the reason, where a stub has not been built.
#include "payload/declarations.hpp"
#include "payload/installscope.hpp"
#include "payload/packedresource.hpp"
#include "payload/payloadcheck.hpp"
#include "payload/productnames.hpp"
#include "tools/peres/icongroup.hpp"
#include "tools/peres/peimage.hpp"
#include "tools/peres/resourcetree.hpp"
#include "tools/peres/versionblock.hpp"
#include "tools/tallowin/stubstamp.hpp"
#include "tools/tallowin/stubtexts.hpp"

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
    // The RCDATA record `name` among `resources`, or their end.
    const auto rcdata = [](const std::vector<Resource>& resources, const std::u16string& name) {
        return std::find_if(resources.begin(), resources.end(), [&](const Resource& r) {
            return r.type.id == peres::kTypeRcData && r.name.name == name;
        });
    };
    // The stub stamped for `identity` as it is now, its resources read back.
    const auto restamp = [&](std::vector<Resource>& resources) {
        tallowin::StampedStub out;
        PeImage image;
        return tallowin::StampStub(stub, identity, out, error) && ParsePe(out.bytes, image, error) &&
               ReadResources(image, resources, error);
    };
    EXPECT_EQ(manifestof(edited), manifestof(original));
    EXPECT_EQ(rcdata(edited, payload::kInstallScopeName), edited.end());
    identity.scope = payload::InstallScope::User;
    std::vector<Resource> userresources;
    ASSERT_TRUE(restamp(userresources)) << error;
    std::string manifest = manifestof(original);
    const std::size_t level = manifest.find("level=\"requireAdministrator\"");
    ASSERT_NE(level, std::string::npos);
    manifest.replace(level, 28, "level=\"asInvoker\"");
    EXPECT_EQ(manifestof(userresources), manifest);
    const auto record = rcdata(userresources, payload::kInstallScopeName);
    ASSERT_NE(record, userresources.end());
    payload::InstallScope scope = payload::InstallScope::Machine;
    EXPECT_TRUE(payload::ParseScopeRecord(record->data.data(), record->data.size(), scope));
    EXPECT_EQ(scope, payload::InstallScope::User);

    // Declarations get their record only when there are any; it reads back whole.
    EXPECT_EQ(rcdata(edited, payload::kDeclarationsName), edited.end());
    EXPECT_EQ(rcdata(userresources, payload::kDeclarationsName), userresources.end());
    identity.declarations.startatsignin = true;
    identity.declarations.registry = {
        {payload::RegistryType::Dword, "Software\\Calderic\\Vantrell", u"Port", {}, 27000, {}, ""}};
    std::vector<Resource> declaringresources;
    ASSERT_TRUE(restamp(declaringresources)) << error;
    const auto declared = rcdata(declaringresources, payload::kDeclarationsName);
    ASSERT_NE(declared, declaringresources.end());
    payload::Declarations back;
    ASSERT_TRUE(payload::ParseDeclarations(declared->data.data(), declared->data.size(), back, error)) << error;
    EXPECT_TRUE(back.startatsignin);
    ASSERT_EQ(back.registry.size(), 1u);
    EXPECT_EQ(back.registry[0].number, 27000u);

    // The names record: only for names the code page lacks; it reads back whole.
    EXPECT_EQ(rcdata(edited, payload::kProductNamesName), edited.end());
    identity.names = {u"\u30f4\u30a1\u30f3\u30c8\u30ec\u30eb", u"\u041a\u0430\u043b", "______~0123abcd"};
    std::vector<Resource> namedresources;
    ASSERT_TRUE(restamp(namedresources)) << error;
    const auto names = rcdata(namedresources, payload::kProductNamesName);
    ASSERT_NE(names, namedresources.end());
    payload::ProductNames read;
    ASSERT_TRUE(payload::ParseProductNames(names->data.data(), names->data.size(), read));
    EXPECT_EQ(read.productname, identity.names.productname);
    EXPECT_EQ(read.publisher, identity.names.publisher);
    EXPECT_EQ(read.eightbit, identity.names.eightbit);
    identity.names.publisher = u"Cal\tderic";
    EXPECT_FALSE(restamp(namedresources));
}

// The names record as any tool may have written it: every length is
// checked against the record's size and bound, every text against control
// characters and unpaired surrogates.
TEST(ProductNamesRecord, ReadsBackAndRefusesWhatIsMalformed) {
    const payload::ProductNames names{u"V\U0001F600", u"", "__~0123abcd"};
    const std::vector<std::uint8_t> record = payload::MakeProductNames(names);
    ASSERT_EQ(record.size(), 12u + 2 * 3 + 11);
    payload::ProductNames read;
    ASSERT_TRUE(payload::ParseProductNames(record.data(), record.size(), read));
    EXPECT_EQ(read.productname, names.productname);
    EXPECT_TRUE(read.publisher.empty());
    EXPECT_EQ(read.eightbit, names.eightbit);
    EXPECT_EQ(payload::ShownName(read, "ignored"), names.productname);

    const auto refused = [&](std::size_t at, std::uint8_t value, std::size_t size) {
        std::vector<std::uint8_t> bad = record;
        if (at < bad.size()) bad[at] = value;
        bad.resize(size);
        payload::ProductNames out;
        return !payload::ParseProductNames(bad.data(), bad.size(), out);
    };
    EXPECT_TRUE(refused(0, 'X', record.size()));                // the mark
    EXPECT_TRUE(refused(4, 4, record.size()));                  // a name longer than the record holds
    EXPECT_TRUE(refused(4, 0, record.size()));                  // no name
    EXPECT_TRUE(refused(8, 0, record.size()));                  // no 8-bit form
    EXPECT_TRUE(refused(10, 1, record.size()));                 // the zero field
    EXPECT_TRUE(refused(record.size(), 0, record.size() - 1));  // cut short
    EXPECT_TRUE(refused(record.size(), 0, record.size() + 1));  // grown
    EXPECT_TRUE(refused(12, 0x09, record.size()));              // a tab in the name
    EXPECT_TRUE(refused(15, 0x00, record.size()));              // half a surrogate pair
    EXPECT_TRUE(refused(20, 0x00, record.size()));              // a zero in the 8-bit form
    EXPECT_FALSE(refused(record.size(), 0, record.size()));
    EXPECT_FALSE(payload::ParseProductNames(nullptr, 0, read));
    EXPECT_TRUE(payload::MakeProductNames({std::u16string(256, u'x'), u"", "x"}).empty());
    EXPECT_TRUE(payload::MakeProductNames({u"", u"", "x"}).empty());
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

namespace {

// A small PE32 stub made here: headers, .text at file offset 0x200, the
// given resource section at 0x400 (RVA 0x2000), .reloc after it unless left
// out; file and section alignment as given.
std::vector<std::uint8_t> MiniStub(std::vector<std::uint8_t> rsrc, std::uint32_t filealignment = 0x200,
                                   std::uint32_t sectionalignment = 0x1000, bool reloc = true) {
    constexpr std::size_t kOptional = 0x58, kTable = kOptional + 224;
    std::vector<std::uint8_t> b(0x400, 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, 0x40);
    Put32(b, 0x40, 0x00004550);
    Put16(b, 0x44, 0x14C);
    Put16(b, 0x46, reloc ? 3 : 2);
    Put16(b, 0x54, 224);
    Put16(b, 0x56, 0x102);
    Put16(b, kOptional, 0x10B);
    Put32(b, kOptional + 32, sectionalignment);
    Put32(b, kOptional + 36, filealignment);
    Put32(b, kOptional + 60, 0x200);  // SizeOfHeaders
    Put32(b, kOptional + 92, 16);
    std::fill(b.begin() + 0x200, b.end(), 0xCC);
    const std::uint32_t rsrcsize = static_cast<std::uint32_t>(rsrc.size());
    rsrc.resize(AlignUp(rsrcsize, 0x200), 0);
    const std::uint32_t relocat = 0x400 + static_cast<std::uint32_t>(rsrc.size());
    b.insert(b.end(), rsrc.begin(), rsrc.end());
    if (reloc) {
        b.resize(b.size() + 0x200, 0);
        Put32(b, relocat + 4, 8);  // one empty block
    }
    const auto section = [&](int i, const char* name, std::uint32_t rva, std::uint32_t size, std::uint32_t raw,
                             std::uint32_t rawsize) {
        const std::size_t h = kTable + 40 * i;
        std::copy(name, name + 5, b.begin() + h);
        Put32(b, h + 8, size);
        Put32(b, h + 12, rva);
        Put32(b, h + 16, rawsize);
        Put32(b, h + 20, raw);
        Put32(b, h + 36, 0x40000040);
    };
    section(0, ".text", 0x1000, 0x200, 0x200, 0x200);
    section(1, ".rsrc", 0x2000, rsrcsize, 0x400, static_cast<std::uint32_t>(rsrc.size()));
    Put32(b, kOptional + 96 + 2 * 8, 0x2000);
    Put32(b, kOptional + 96 + 2 * 8 + 4, rsrcsize);
    if (reloc) {
        section(2, ".relo", 0x2000 + AlignUp(rsrcsize, 0x1000), 8, relocat, 0x200);
        Put32(b, kOptional + 96 + 5 * 8, 0x2000 + AlignUp(rsrcsize, 0x1000));
        Put32(b, kOptional + 96 + 5 * 8 + 4, 8);
    }
    return b;
}

Resource Rc(std::uint16_t type, std::uint16_t id, std::vector<std::uint8_t> data) {
    Resource r;
    r.type.id = type;
    r.name.id = id;
    r.language = 0x409;
    r.data = std::move(data);
    return r;
}

// A resource section of at least `size` bytes whose tree (RT_RCDATA 1) has
// `languages` entries, each naming a data entry of the section's first
// `span` bytes: one data entry named by all of them when `shared`, else one each.
std::vector<std::uint8_t> HostileTree(std::uint16_t languages, bool shared, std::uint32_t span, std::uint32_t size = 0) {
    const std::uint32_t entries = 0x30 + 16 + 8u * languages;
    const std::uint32_t data = entries + 16u * (shared ? 1 : languages);
    std::vector<std::uint8_t> t(std::max({data, span, size}), 0x41);
    std::fill(t.begin(), t.begin() + data, 0);
    Put16(t, 14, 1);
    Put32(t, 16, kTypeRcData);
    Put32(t, 20, 0x80000018);
    Put16(t, 0x18 + 14, 1);
    Put32(t, 0x18 + 16, 1);
    Put32(t, 0x18 + 20, 0x80000030);
    Put16(t, 0x30 + 14, languages);
    for (std::uint32_t i = 0; i < languages; ++i) {
        const std::uint32_t entry = entries + (shared ? 0 : 16 * i);
        Put32(t, 0x30 + 16 + 8 * i, i);
        Put32(t, 0x30 + 16 + 8 * i + 4, entry);
        Put32(t, entry, 0x2000);
        Put32(t, entry + 4, span);
    }
    return t;
}

}  // namespace

TEST(ResourceReader, KeepsNoMoreThanTheFileHolds) {
    std::string error;
    const auto read = [&](const std::vector<std::uint8_t>& stub, std::vector<Resource>& out) {
        PeImage image;
        EXPECT_TRUE(ParsePe(stub, image, error)) << error;
        return ReadResources(image, out, error);
    };
    std::vector<Resource> resources;
    // 4,000 entries naming one 64 KiB data entry once asked for 256 MiB.
    EXPECT_FALSE(read(MiniStub(HostileTree(4000, true, 64 << 10)), resources));
    EXPECT_EQ(error, "the resource section is damaged");
    // As many data entries, each spanning the section: more than the file.
    EXPECT_FALSE(read(MiniStub(HostileTree(4000, false, 64 << 10)), resources));
    // Three entries of their own over a quarter of the section: the file
    // holds that much.
    ASSERT_TRUE(read(MiniStub(HostileTree(3, false, 16 << 10, 64 << 10)), resources)) << error;
    ASSERT_EQ(resources.size(), 3u);
    EXPECT_EQ(resources[2].data.size(), 16u << 10);
    // One more than the file holds.
    EXPECT_FALSE(read(MiniStub(HostileTree(5, false, 16 << 10, 64 << 10)), resources));
}

TEST(StubStamp, UnusualStubsAreRefusedOrReadBack) {
    const std::vector<std::uint8_t> tree = BuildResourceSection({Rc(kTypeRcData, 1, {1, 2, 3})}, 0x2000);
    tallowin::StubIdentity identity;
    identity.productname = u"Vantrell";
    tallowin::StampedStub out;
    std::string error;
    ASSERT_TRUE(tallowin::StampStub(MiniStub(tree), identity, out, error)) << error;

    // Raw data that starts inside the headers would be written over them.
    std::vector<std::uint8_t> stub = MiniStub(tree);
    Put32(stub, 0x138 + 40 + 20, 0);
    EXPECT_FALSE(tallowin::StampStub(stub, identity, out, error));
    EXPECT_EQ(error, "stub: the stub's resource section starts inside its headers");
    // A file alignment Windows does not load.
    stub = MiniStub(tree, 1);
    EXPECT_FALSE(tallowin::StampStub(stub, identity, out, error));
    EXPECT_EQ(error, "stub: the stub's file alignment (1) is not one Windows loads");

    // An empty resource sorting last: written at the very end of the
    // section's data when that fills whole 512-byte blocks, it still reads
    // back.  An earlier resource's size moves the end through every place.
    int atblockend = 0;
    for (std::uint32_t pad = 0; pad < 512; pad += 8) {
        const std::vector<std::uint8_t> empty = BuildResourceSection(
            {Rc(kTypeRcData, 1, std::vector<std::uint8_t>(pad + 1, 7)), Rc(0x7FFF, 1, {})}, 0x2000);
        ASSERT_TRUE(tallowin::StampStub(MiniStub(empty, 0x200, 0x1000, false), identity, out, error)) << error;
        PeImage image;
        std::vector<Resource> back;
        ASSERT_TRUE(ParsePe(out.bytes, image, error) && ReadResources(image, back, error)) << error;
        EXPECT_TRUE(std::any_of(back.begin(), back.end(), [](const Resource& r) { return r.type.id == 0x7FFF && r.data.empty(); }));
        atblockend += image.sections.back().virtualsize % 0x200 == 0;
    }
    EXPECT_EQ(atblockend, 1);
}

TEST(StubStamp, PicturesAndIconsOnlyOfTheFormTheStubDraws) {
    std::vector<std::uint8_t> bmp = ReadFile(fs::path(TALLOWIN_SOURCE_DIR) / "examples/vantrell/art/wizard.bmp");
    ASSERT_EQ(tallowin::CheckWizardImage(bmp), "");
    const std::string layout = "the BMP file has a larger header, a colour table or a gap before its pixels; it must be "
                               "a 24-bit BMP of 150 x 300 pixels with a 40-byte header and the pixels right after it";
    for (const auto& [at, value] : {std::pair{10, 0}, std::pair{14, 124}, std::pair{46, 0x7FFFFFFF}, std::pair{10, 58}}) {
        std::vector<std::uint8_t> odd = bmp;
        Put32(odd, at, static_cast<std::uint32_t>(value));
        EXPECT_EQ(tallowin::CheckWizardImage(odd), layout) << at;
        EXPECT_NE(payload::CheckSidePicture(odd.data(), odd.size()), payload::SidePictureFault::None) << at;
    }

    // 64 entries naming one image of 16 MiB: 1 GiB of resources, refused.
    std::vector<std::uint8_t> ico(6 + 16 * 64, 0);
    Put16(ico, 2, 1);
    Put16(ico, 4, 64);
    const std::uint32_t imagesize = 16u << 20;
    for (int i = 0; i < 64; ++i) {
        Put32(ico, 6 + 16 * i + 8, imagesize);
        Put32(ico, 6 + 16 * i + 12, static_cast<std::uint32_t>(ico.size()));
    }
    ico.resize(ico.size() + imagesize, 0);
    Put32(ico, 6 + 16 * 64, 40);
    std::vector<IconImage> images;
    std::string error;
    EXPECT_FALSE(ParseIcoFile(ico, images, error));
    EXPECT_EQ(error, "the icon file's images overlap (together 1073741824 bytes in a file of 16778246)");
}

// The product's language tables: the stub's, changed and added to by the
// vendor's and cut to `languages`; a new language warns of each text it
// lacks; a language nobody supplies is refused.
TEST(StubTexts, VendorTablesOverTheStubsCutToTheLanguages) {
    const auto read = [](const std::vector<std::uint8_t>& packed) {
        const std::vector<std::uint8_t> bundle = payload::ExpandPacked(packed.data(), packed.size());
        return payload::ReadTextTables(std::string_view(reinterpret_cast<const char*>(bundle.data()), bundle.size()));
    };
    tallowin::VendorTexts shipped;
    shipped.tables = {{"de", {{"NextButton", "&Weiter  >"}, {"BackButton", "<  &Zur\xC3\xBC" "ck"}}},
                      {"fr", {{"NextButton", "&Suivant  >"}}}};
    std::vector<std::uint8_t> stubtexts;
    std::vector<std::string> warnings;
    std::string error;
    ASSERT_TRUE(tallowin::BuildTextsResource({}, shipped, stubtexts, warnings, error)) << error;

    tallowin::VendorTexts vendor;
    vendor.languages = std::vector<std::string>{"en", "de", "sv"};
    vendor.tables = {{"de", {{"NextButton", "Weiter"}}}, {"sv", {{"NextButton", "&N\xC3\xA4sta  >"}}}};
    warnings.clear();
    std::vector<std::uint8_t> packed;
    ASSERT_TRUE(tallowin::BuildTextsResource(stubtexts, vendor, packed, warnings, error)) << error;
    const auto tables = read(packed);
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables[0].code, "de");
    EXPECT_EQ(tables[0].texts, (std::vector<std::pair<std::string, std::string>>{{"NextButton", "Weiter"},
                                                                                {"BackButton", "<  &Zur\xC3\xBC" "ck"}}));
    EXPECT_EQ(tables[1].code, "sv");
    EXPECT_EQ(warnings.size(), payload::kTextCount - 1);
    EXPECT_NE(std::find(warnings.begin(), warnings.end(),
                        "texts.sv: FinishLabel is missing; the installer shows the English text in its place"),
              warnings.end());

    vendor.languages = std::vector<std::string>{"de", "ko"};
    EXPECT_FALSE(tallowin::BuildTextsResource(stubtexts, vendor, packed, warnings, error));
    EXPECT_EQ(error, "languages: the installer has no table for ko (add one with [texts.ko] or a language file)");
    const std::vector<std::uint8_t> damaged(stubtexts.begin(), stubtexts.begin() + stubtexts.size() / 2);
    EXPECT_FALSE(tallowin::BuildTextsResource(damaged, vendor, packed, warnings, error));
    EXPECT_EQ(error.rfind("stub: its language tables are damaged", 0), 0u) << error;
}
