#include "tools/tallowin/stubstamp.hpp"

#include "payload/packedresource.hpp"
#include "payload/payloadcheck.hpp"
#include "payload/texttable.hpp"
#include "setuputil/fileaccess.hpp"
#include "tools/packres/packresource.hpp"
#include "tools/peres/icongroup.hpp"
#include "tools/peres/peimage.hpp"
#include "tools/peres/resourcetree.hpp"
#include "tools/peres/versionblock.hpp"

#include <algorithm>
#include <cstring>
#include <fstream>

namespace tallowin {

using peres::Resource;
using peres::ResourceId;

namespace {

constexpr std::uint16_t kEnglishUs = 0x0409;

std::u16string Dotted(const std::array<std::uint16_t, 4>& v) {
    std::string s;
    for (std::size_t i = 0; i < v.size(); ++i) s += (i ? "." : "") + std::to_string(v[i]);
    return std::u16string(s.begin(), s.end());
}

Resource Make(std::uint16_t type, ResourceId name, std::uint16_t language, std::vector<std::uint8_t> data) {
    Resource r;
    r.type.id = type;
    r.name = std::move(name);
    r.language = language;
    r.data = std::move(data);
    return r;
}

ResourceId Numbered(std::uint16_t id) {
    ResourceId r;
    r.id = id;
    return r;
}

ResourceId Named(const char16_t* name) {
    ResourceId r;
    r.name = name;
    return r;
}

bool IsType(const Resource& r, std::uint16_t type) { return r.type.name.empty() && r.type.id == type; }
bool IsNamed(const Resource& r, std::uint16_t type, const std::u16string& name) {
    return IsType(r, type) && r.name.name == name;
}

// Replaces the first icon group and the images it names.
void PutIcon(std::vector<Resource>& resources, const std::vector<peres::IconImage>& images) {
    ResourceId groupname = Numbered(1);
    std::uint16_t language = kEnglishUs;
    const auto group = std::find_if(resources.begin(), resources.end(),
                                    [](const Resource& r) { return IsType(r, peres::kTypeGroupIcon); });
    if (group != resources.end()) {
        groupname = group->name;
        language = group->language;
        std::vector<std::uint16_t> ids;
        for (std::size_t e = 6; e + 14 <= group->data.size(); e += 14)
            ids.push_back(peres::Get16(group->data, e + 12));
        resources.erase(group);
        std::erase_if(resources, [&](const Resource& r) {
            return IsType(r, peres::kTypeIcon) && r.name.name.empty() &&
                   std::find(ids.begin(), ids.end(), r.name.id) != ids.end();
        });
    }
    std::uint16_t firstid = 1;
    for (const Resource& r : resources)
        if (IsType(r, peres::kTypeIcon) && r.name.name.empty()) firstid = std::max<std::uint16_t>(firstid, r.name.id + 1);
    for (std::size_t i = 0; i < images.size(); ++i)
        resources.push_back(Make(peres::kTypeIcon, Numbered(static_cast<std::uint16_t>(firstid + i)), language, images[i].data));
    resources.push_back(Make(peres::kTypeGroupIcon, groupname, language, peres::BuildIconGroup(images, firstid)));
}

// The manifest of a per-user product's stub: the same, asking to run with
// the user's own rights.  False when it holds no "requireAdministrator"
// level to replace.
bool RunAsInvoker(std::vector<std::uint8_t>& manifest) {
    static constexpr std::string_view kFrom = "level=\"requireAdministrator\"", kTo = "level=\"asInvoker\"";
    std::string text(manifest.begin(), manifest.end());
    const std::size_t at = text.find(kFrom);
    if (at == std::string::npos) return false;
    text.replace(at, kFrom.size(), kTo);
    manifest.assign(text.begin(), text.end());
    return true;
}

}  // namespace

std::uint16_t MachineOf(Architecture architecture) {
    return architecture == Architecture::X64 ? kMachineX64 : kMachineX86;
}

std::string MachineName(std::uint16_t machine) {
    if (machine == kMachineX86) return "x86";
    if (machine == kMachineX64) return "x64";
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text = "machine 0x";
    for (int shift = 12; shift >= 0; shift -= 4) text += kHex[(machine >> shift) & 0xF];
    return text;
}

std::string CheckWizardImage(const std::vector<std::uint8_t>& bmp) {
    const std::string expected = "a 24-bit BMP of " + std::to_string(payload::kSidePictureWidth) + " x " +
                                 std::to_string(payload::kSidePictureHeight) + " pixels";
    switch (payload::CheckSidePicture(bmp.data(), bmp.size())) {
        case payload::SidePictureFault::None: return {};
        case payload::SidePictureFault::NotBmp: return "not a BMP file; the wizard's picture must be " + expected;
        case payload::SidePictureFault::NotPlain24Bit:
            return std::to_string(peres::Get16(bmp, 28)) + "-bit or compressed BMP; it must be " + expected;
        case payload::SidePictureFault::WrongSize: {
            const auto height = static_cast<std::int32_t>(peres::Get32(bmp, 22));
            return std::to_string(static_cast<std::int32_t>(peres::Get32(bmp, 18))) + " x " +
                   std::to_string(height < 0 ? -static_cast<std::int64_t>(height) : height) + " pixels; it must be " + expected;
        }
        case payload::SidePictureFault::NotPixelsAfterHeader:
            return "the BMP file has a larger header, a colour table or a gap before its pixels; it must be " + expected +
                   " with a 40-byte header and the pixels right after it";
        case payload::SidePictureFault::CutShort: return "the BMP file is cut short";
    }
    return "not a BMP file";
}

bool StampStub(const std::vector<std::uint8_t>& stub, const StubIdentity& identity, StampedStub& out,
               std::string& error, std::vector<std::string>* warnings) {
    peres::PeImage image;
    std::vector<Resource> resources;
    if (!peres::ParsePe(stub, image, error) || !peres::ReadResources(image, resources, error)) {
        error = "stub: " + error;
        return false;
    }
    if (image.machine != MachineOf(identity.architecture)) {
        error = "the stub is built for " + MachineName(image.machine) + ", the product's architecture is " +
                MachineName(MachineOf(identity.architecture)) + ": use the " + MachineName(MachineOf(identity.architecture)) +
                " stub";
        return false;
    }

    std::uint16_t language = kEnglishUs;
    for (const Resource& r : resources)
        if (IsType(r, peres::kTypeVersion)) language = r.language;
    std::erase_if(resources, [](const Resource& r) { return IsType(r, peres::kTypeVersion); });
    peres::VersionInfo version;
    std::string ascii;
    for (char16_t c : identity.productversion) ascii += c < 0x80 ? static_cast<char>(c) : ' ';
    version.fileversion = version.productversion = peres::VersionNumbers(ascii);
    version.strings = {{u"CompanyName", identity.publisher},
                       {u"FileDescription", identity.productname + u" Setup"},
                       {u"FileVersion", Dotted(version.fileversion)},
                       {u"LegalCopyright", identity.copyright},
                       {u"OriginalFilename", identity.originalfilename},
                       {u"ProductName", identity.productname},
                       {u"ProductVersion", identity.productversion}};
    resources.push_back(Make(peres::kTypeVersion, Numbered(1), language, peres::BuildVersionBlock(version)));

    if (!identity.icon.empty()) {
        std::vector<peres::IconImage> images;
        if (!peres::ParseIcoFile(identity.icon, images, error)) {
            error = "icon: " + error;
            return false;
        }
        PutIcon(resources, images);
    }

    std::uint16_t rcdatalanguage = kEnglishUs;
    if (!identity.wizardimage.empty()) {
        if (std::string problem = CheckWizardImage(identity.wizardimage); !problem.empty()) {
            error = "wizardimage: " + problem;
            return false;
        }
        std::vector<std::uint8_t> packed;
        if (!packres::PackResource(identity.wizardimage, packed, error)) {
            error = "wizardimage: " + error;
            return false;
        }
        for (const Resource& r : resources)
            if (IsNamed(r, peres::kTypeRcData, payload::kSidePictureName)) rcdatalanguage = r.language;
        std::erase_if(resources, [](const Resource& r) { return IsNamed(r, peres::kTypeRcData, payload::kSidePictureName); });
        resources.push_back(Make(peres::kTypeRcData, Named(payload::kSidePictureName), rcdatalanguage, packed));
    }

    std::vector<std::uint8_t> stubtexts;
    for (const Resource& r : resources)
        if (IsNamed(r, peres::kTypeRcData, payload::kTextsResourceName)) stubtexts = r.data;
    std::vector<payload::TextTable> carried;
    if (identity.texts.languages || !identity.texts.tables.empty()) {
        std::vector<std::uint8_t> packed;
        std::vector<std::string> textwarnings;
        if (!BuildTextsResource(stubtexts, identity.texts, packed, textwarnings, error, &carried)) return false;
        if (warnings) warnings->insert(warnings->end(), textwarnings.begin(), textwarnings.end());
        std::erase_if(resources, [](const Resource& r) { return IsNamed(r, peres::kTypeRcData, payload::kTextsResourceName); });
        resources.push_back(Make(peres::kTypeRcData, Named(payload::kTextsResourceName), rcdatalanguage, packed));
    } else if (!stubtexts.empty()) {
        // Damaged tables fall back to English in the installer, as here.
        if (auto read = payload::ReadPackedTextTables(stubtexts.data(), stubtexts.size())) carried = std::move(*read);
    }
    if (std::string problem = CheckUninstallLinkNames(carried, identity.productname); !problem.empty()) {
        error = problem;
        return false;
    }

    if (identity.scope == payload::InstallScope::User) {
        const auto manifest = std::find_if(resources.begin(), resources.end(),
                                           [](const Resource& r) { return IsType(r, peres::kTypeManifest); });
        if (manifest == resources.end() || !RunAsInvoker(manifest->data)) {
            error = "stub: its manifest does not ask for administrator rights, so it cannot be made a per-user installer";
            return false;
        }
        const payload::tscoperecord scope = payload::MakeScopeRecord(identity.scope);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&scope);
        std::erase_if(resources, [](const Resource& r) { return IsNamed(r, peres::kTypeRcData, payload::kInstallScopeName); });
        resources.push_back(Make(peres::kTypeRcData, Named(payload::kInstallScopeName), rcdatalanguage,
                                 std::vector<std::uint8_t>(bytes, bytes + sizeof scope)));
    }

    if (!identity.declarations.Empty()) {
        std::string why;
        const std::string text = payload::FormatDeclarations(identity.declarations, &why);
        if (text.empty()) {
            error = "the declarations cannot be carried: " + why;
            return false;
        }
        std::erase_if(resources, [](const Resource& r) { return IsNamed(r, peres::kTypeRcData, payload::kDeclarationsName); });
        resources.push_back(Make(peres::kTypeRcData, Named(payload::kDeclarationsName), rcdatalanguage,
                                 std::vector<std::uint8_t>(text.begin(), text.end())));
    }
    if (!identity.names.productname.empty()) {
        const std::vector<std::uint8_t> record = payload::MakeProductNames(identity.names);
        if (record.empty()) {
            error = "the product's names cannot be carried: a name past its bound or with a control character";
            return false;
        }
        std::erase_if(resources, [](const Resource& r) { return IsNamed(r, peres::kTypeRcData, payload::kProductNamesName); });
        resources.push_back(Make(peres::kTypeRcData, Named(payload::kProductNamesName), rcdatalanguage, record));
    }
    if (identity.kind != payload::PayloadKind::Sac) {
        const payload::tkindrecord kind = payload::MakeKindRecord(identity.kind);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&kind);
        std::erase_if(resources, [](const Resource& r) { return IsNamed(r, peres::kTypeRcData, payload::kPayloadKindName); });
        resources.push_back(Make(peres::kTypeRcData, Named(payload::kPayloadKindName), rcdatalanguage,
                                 std::vector<std::uint8_t>(bytes, bytes + sizeof kind)));
    }

    // The check record, filled in by SealInstaller (pushed last: its offset is the last one).
    std::erase_if(resources, [](const Resource& r) { return IsNamed(r, peres::kTypeRcData, payload::kPayloadCheckName); });
    std::vector<std::uint8_t> record(sizeof(payload::tpayloadcheck), 0);
    std::memcpy(record.data(), payload::kPayloadCheckMark, sizeof payload::kPayloadCheckMark);
    resources.push_back(Make(peres::kTypeRcData, Named(payload::kPayloadCheckName), rcdatalanguage, record));

    std::vector<std::uint32_t> offsets;
    if (!peres::ReplaceResources(image, resources, error, &offsets)) {
        error = "stub: " + error;
        return false;
    }
    out.checkoffset = offsets.back();
    out.checksumoffset = image.ChecksumOffset();
    out.bytes = std::move(image.bytes);
    return true;
}

bool SealInstaller(const std::filesystem::path& installer, const StampedStub& stub, std::string& error) {
    error = "cannot complete the installer file";
    // The CRC-32 the installer's start-up computes (payload/payloadcheck.hpp).
    std::uint32_t crc = 0;
    std::int64_t length = -1;
    {
        setuputil::ScopedFileAccess reader;
        if (!setuputil::OpenForRead(reader.file, installer.u16string())) return false;
        length = setuputil::GetFileSize64(reader.file);
        if (length < static_cast<std::int64_t>(stub.bytes.size()) || length > 0xFFFFFFFFll ||
            !payload::WholeFileCrc32(reader.file, length, static_cast<std::uint32_t>(stub.checkoffset), crc))
            return false;
    }
    payload::tpayloadcheck record{};
    std::memcpy(record.mark, payload::kPayloadCheckMark, sizeof record.mark);
    record.stubsize = static_cast<std::uint32_t>(stub.bytes.size());
    record.payloadlength = static_cast<std::uint32_t>(length - static_cast<std::int64_t>(stub.bytes.size()));
    record.crc32 = crc;
    record.recordoffset = static_cast<std::uint32_t>(stub.checkoffset);
    std::fstream file(installer, std::ios::binary | std::ios::in | std::ios::out);
    if (!file) return false;
    std::vector<std::uint8_t> block(1 << 20);
    const auto pass = [&](std::uint64_t from, const auto& use) {
        file.clear();
        file.seekg(static_cast<std::streamoff>(from));
        while (file) {
            file.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
            if (file.gcount() > 0) use(block.data(), static_cast<std::size_t>(file.gcount()));
        }
        return file.eof();
    };
    file.clear();
    file.seekp(static_cast<std::streamoff>(stub.checkoffset));
    file.write(reinterpret_cast<const char*>(&record), sizeof record);
    file.flush();
    peres::PeChecksum checksum(stub.checksumoffset);
    if (!file || !pass(0, [&](const std::uint8_t* data, std::size_t size) { checksum.Add(data, size); })) return false;
    std::uint8_t sum[4];
    const std::uint32_t value = checksum.Finish();
    for (int i = 0; i < 4; ++i) sum[i] = static_cast<std::uint8_t>(value >> (8 * i));
    file.clear();
    file.seekp(static_cast<std::streamoff>(stub.checksumoffset));
    file.write(reinterpret_cast<const char*>(sum), sizeof sum);
    file.flush();
    if (!file) return false;
    error.clear();
    return true;
}

}  // namespace tallowin
