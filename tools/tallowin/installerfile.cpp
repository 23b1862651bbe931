#include "tools/tallowin/installerfile.hpp"

#include "payload/packedresource.hpp"
#include "payload/payloadend.hpp"
#include "payload/trailerreader.hpp"
#include "tools/peres/resourcetree.hpp"
#include "tools/sacwriter/textcodec.hpp"

#include <algorithm>
#include <fstream>
#include <iostream>

namespace tallowin {

namespace fs = std::filesystem;
using sacwriter::Utf16ToUtf8;

void Complain(const fs::path& file, const std::string& message) {
    std::cerr << "tallowin: " << file.string() << ": " << message << "\n";
}

namespace {

// The headers and section table of a stub lie in its first bytes; then
// only the stub's own sections are read, never the payload behind them.
constexpr std::size_t kStubHeaderBytes = 64u << 10;
// A stub is far smaller than this.
constexpr std::uint64_t kMaxStubBytes = 64u << 20;

std::vector<std::uint8_t> ReadFront(std::ifstream& in, std::uint64_t count) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    in.clear();
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
}

}  // namespace

StubResources ReadStubResources(const fs::path& path) {
    StubResources stub;
    std::ifstream in(path, std::ios::binary);
    std::error_code ec;
    const std::uint64_t size = fs::file_size(path, ec);
    if (ec || !in) return stub;
    const std::uint64_t imagesize = peres::ImageFileSize(ReadFront(in, std::min<std::uint64_t>(size, kStubHeaderBytes)));
    if (imagesize == 0 || imagesize > kMaxStubBytes) return stub;
    std::vector<std::uint8_t> bytes = ReadFront(in, std::min(size, imagesize));
    peres::PeImage image;
    std::vector<peres::Resource> resources;
    std::string error;
    if (!peres::ParsePe(std::move(bytes), image, error) || !peres::ReadResources(image, resources, error)) return stub;
    stub.readable = true;
    stub.machine = image.machine;
    for (const peres::Resource& r : resources) {
        if (!r.type.name.empty()) continue;
        if (r.type.id == peres::kTypeVersion && !stub.hasversion)
            stub.hasversion = peres::ParseVersionBlock(r.data, stub.version);
        if (r.type.id == peres::kTypeGroupIcon) stub.hasicon = true;
        if (r.type.id == peres::kTypeRcData && r.name.name == payload::kSidePictureName) stub.haspicture = true;
        if (r.type.id == peres::kTypeRcData && r.name.name == payload::kPayloadCheckName)
            stub.hascheck = payload::ParsePayloadCheck(r.data.data(), r.data.size(), stub.check);
        if (r.type.id == peres::kTypeRcData && r.name.name == payload::kInstallScopeName)
            stub.scopedamaged = !payload::ParseScopeRecord(r.data.data(), r.data.size(), stub.scope);
        if (r.type.id == peres::kTypeRcData && r.name.name == payload::kDeclarationsName) {
            std::string ignored;
            stub.declarationsdamaged = !payload::ParseDeclarations(r.data.data(), r.data.size(), stub.declarations, ignored);
        }
        if (r.type.id == peres::kTypeRcData && r.name.name == payload::kPayloadKindName)
            stub.kinddamaged = !payload::ParseKindRecord(r.data.data(), r.data.size(), stub.kind);
        if (r.type.id == peres::kTypeRcData && r.name.name == payload::kProductNamesName)
            stub.namesdamaged = !payload::ParseProductNames(r.data.data(), r.data.size(), stub.names);
    }
    return stub;
}

std::unique_ptr<Installer> OpenInstaller(const fs::path& path, bool refusedamage) {
    std::u16string wide;
    try {
        wide = path.u16string();
    } catch (const std::exception&) {
        Complain(path, "the file name is not valid UTF-8");
        return nullptr;
    }
    auto installer = std::make_unique<Installer>();
    installer->stub = ReadStubResources(path);
    setuputil::FileAccess setupfile;
    if (installer->stub.hascheck) {
        if (!setuputil::OpenForRead(setupfile, wide)) {
            Complain(path, Utf16ToUtf8(payload::TrailerStatusText(payload::TrailerStatus::CannotOpen, wide)));
            return nullptr;
        }
        installer->intact = payload::PayloadIntact(setupfile, installer->stub.check);
        setuputil::CloseAccess(setupfile);
        if (!installer->intact && refusedamage) {
            Complain(path, Utf16ToUtf8(payload::kDamagedInstaller));
            return nullptr;
        }
    }
    const payload::TrailerStatus status = payload::LoadSetupTrailer(wide, setupfile, installer->trailer, installer->licensetext);
    if (status != payload::TrailerStatus::Ok) {
        Complain(path, Utf16ToUtf8(payload::TrailerStatusText(status, wide)));
        return nullptr;
    }
    payload::tsecuritydirectory signature;
    if (payload::PayloadEnd(setupfile) < setuputil::GetFileSize64(setupfile) &&
        payload::ReadSecurityDirectory(setupfile, signature))
        installer->certificatetable = signature.tablesize;
    setuputil::CloseAccess(setupfile);
    // Like the installer's start-up: a malformed kind or names record is
    // damage, and so is a names record whose 8-bit form is not the trailer's.
    const StubResources& stub = installer->stub;
    if (stub.kinddamaged || stub.namesdamaged ||
        (!stub.names.productname.empty() &&
         stub.names.eightbit != payload::ReadShortString(installer->trailer.productname))) {
        Complain(path, Utf16ToUtf8(payload::kDamagedInstaller));
        return nullptr;
    }
    if (!installer->archive.OpenArchive(wide, installer->trailer.archiveoffset, installer->trailer.licenseoffset,
                                        installer->stub.kind)) {
        Complain(path, "Problem accessing setup data. (" + Utf16ToUtf8(installer->archive.errortext()) + ")");
        return nullptr;
    }
    return installer;
}


}  // namespace tallowin
