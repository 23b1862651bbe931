// Writes the starting corpora of the fuzz targets, so that their runs begin
// from inputs that reach deep into the code instead of from nothing:
//
//   OUTDIR/fuzz_installer/    small valid installers made by the writer:
//                             LZ and plain chunks, several entries,
//                             subfolders, empty files, a license, a file of
//                             several chunks
//   OUTDIR/fuzz_decodechunk/  LZ streams from the encoder, each behind the
//                             target's leading byte (bits left out: 0)
//   OUTDIR/fuzz_peres/        each STUB given (the Windows builds' stubs) as
//                             built and as the builder stamps it; a STUB
//                             that does not exist is left out
//   OUTDIR/fuzz_lzma/         the blocks of solid installers from the writer
//                             (text, noise, x86 programs), each behind the
//                             target's five leading bytes
//   OUTDIR/fuzz_soliddirectory/  their directories, behind the block count
//                             and the packed total
//                             (none where the writer has no LZMA encoder)
//   OUTDIR/fuzz_installrecord/  install records as the install writes them (and a
//                               product's declarations resource):
//                             the sample product's, one without a Start-menu
//                             folder or services, one with many entries
//
// Usage: make_seeds OUTDIR [STUB...]
#include "installengine/declaredplan.hpp"
#include "installengine/installplan.hpp"
#include "tools/lz/lzencoder.hpp"
#include "payload/lzmadecoder.hpp"
#include "payload/solidformat.hpp"
#include "tools/sacwriter/sacwriter.hpp"
#include "tools/sacwriter/solidwriter.hpp"
#include "tools/tallowin/stubstamp.hpp"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Text(std::size_t size, unsigned seed) {
    static const char* const words[] = {"Vantrell ", "install ", "folder ", "the ", "file ", "\r\n", "setup "};
    Bytes out;
    unsigned state = seed;
    while (out.size() < size) {
        state = state * 1103515245u + 12345u;
        const std::string word = words[(state >> 16) % 7];
        out.insert(out.end(), word.begin(), word.end());
    }
    out.resize(size);
    return out;
}

Bytes Noise(std::size_t size, unsigned seed) {
    Bytes out(size);
    unsigned state = seed * 2654435761u + 1;
    for (auto& b : out) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        b = static_cast<std::uint8_t>(state);
    }
    return out;
}

sacwriter::ArchiveItem Item(std::u16string subfolder, std::u16string name, Bytes data, std::uint8_t attributes = 0x20) {
    sacwriter::ArchiveItem item;
    item.subfolder = std::move(subfolder);
    item.filename = std::move(name);
    item.data = std::move(data);
    item.attributes = attributes;
    return item;
}

bool Write(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool Installer(const fs::path& file, std::vector<sacwriter::ArchiveItem> items, int level, std::string license) {
    sacwriter::InstallerInput input;
    input.stub = {'M', 'Z', 0x90, 0, 3, 0, 0, 0};  // a stand-in: the targets never run the stub
    input.licensetext = std::move(license);
    input.fields.productname = "Seed";
    input.fields.productversion = "1";
    input.fields.exename = "seed.exe";
    input.fields.startmenufolder = u"\\Calderic\\Seed";
    input.fields.defaultsubfolder = u"\\Seed";
    input.items = std::move(items);
    input.level = level;
    std::ostringstream out;
    std::string error;
    if (!sacwriter::WriteInstaller(input, out, error)) {
        std::fprintf(stderr, "make_seeds: %s: %s\n", file.string().c_str(), error.c_str());
        return false;
    }
    return Write(file, out.str());
}

bool Stream(const fs::path& file, const Bytes& data, int level) {
    std::vector<std::uint8_t> coded;
    const std::uint32_t bits = lz::EncodeLzChunk(data.data(), data.size(), level, coded);
    // Leading byte: how many bits of the last byte are not part of the stream.
    const unsigned spare = static_cast<unsigned>((8 - bits % 8) % 8);
    std::string bytes(1, static_cast<char>(spare));
    bytes.append(reinterpret_cast<const char*>(coded.data()), (bits + 7) / 8);
    return Write(file, bytes);
}

// A solid installer of `items`: its directory and each block as the two
// solid targets take them.
bool Solid(const fs::path& root, const std::string& name, std::vector<sacwriter::ArchiveItem> items) {
    if (!sacwriter::SolidSupported()) return true;
    sacwriter::InstallerInput input;
    input.stub = {'M', 'Z', 0x90, 0, 3, 0, 0, 0};
    input.fields.productname = "Seed";
    input.fields.exename = "seed.exe";
    input.fields.startmenufolder = u"\\Calderic\\Seed";
    input.fields.defaultsubfolder = u"\\Seed";
    input.items = std::move(items);
    input.kind = payload::PayloadKind::Solid;
    std::ostringstream out;
    std::string error;
    if (!sacwriter::WriteInstaller(input, out, error)) {
        std::fprintf(stderr, "make_seeds: %s: %s\n", name.c_str(), error.c_str());
        return false;
    }
    const std::string file = out.str();
    // The archive ends where the trailer's last 11,384 bytes begin (no license).
    const std::size_t end = file.size() - sizeof(payload::tsetuptrailer);
    payload::tsolidfooter footer;
    std::memcpy(&footer, file.data() + end - sizeof footer, sizeof footer);
    const std::size_t directoryAt = end - sizeof footer - footer.directorysize;
    const std::size_t blocksAt = input.stub.size() + sizeof(payload::tsolidheader);
    const std::uint32_t packed = static_cast<std::uint32_t>(directoryAt - blocksAt);
    std::string seed(8, '\0');
    std::memcpy(&seed[0], &footer.blockcount, 4);
    std::memcpy(&seed[4], &packed, 4);
    seed.append(file, directoryAt, footer.directorysize);
    bool ok = Write(root / "fuzz_soliddirectory" / name, seed);
    payload::SolidDirectory directory;
    if (!payload::ParseSolidDirectory(reinterpret_cast<const std::uint8_t*>(file.data()) + directoryAt,
                                      footer.directorysize, footer.blockcount, packed, directory))
        return false;
    for (std::size_t b = 0; b < directory.blocks.size(); ++b) {
        const payload::tsolidblock& r = directory.blocks[b].record;
        // The target's dictionary field: the smallest of its choices that holds the block's.
        unsigned shift = 0;
        while (shift < 8 && (payload::kMinLzmaDictionary << shift) < r.dictionary) ++shift;
        std::string block(5, '\0');
        block[0] = static_cast<char>(r.properties);
        for (int i = 0; i < 3; ++i) block[1 + i] = static_cast<char>(r.unpackedsize >> (8 * i));
        block[4] = static_cast<char>((shift << 1) | (r.filter == payload::kSolidFilterX86 ? 1 : 0));
        block.append(file, input.stub.size() + static_cast<std::size_t>(directory.blocks[b].packedoffset),
                     static_cast<std::size_t>(r.packedsize));
        ok &= Write(root / "fuzz_lzma" / (name + "-" + std::to_string(b)), block);
    }
    return ok;
}

// A stand-in x86 program: the builder gives it a block with the x86 filter.
Bytes Program(std::size_t size, unsigned seed) {
    Bytes b = Noise(size, seed);
    for (std::size_t i = 0x100; i + 5 < size; i += 9) b[i] = 0xE8;
    const std::uint8_t head[] = {'M', 'Z'};
    std::memcpy(b.data(), head, 2);
    b[0x3C] = 0x40;
    b[0x3D] = b[0x3E] = b[0x3F] = 0;
    const std::uint8_t pe[] = {'P', 'E', 0, 0, 0x64, 0x86};
    std::memcpy(b.data() + 0x40, pe, sizeof pe);
    return b;
}

// The stub as it is and as the builder stamps it, for a machine-wide and a
// per-user product of the stub's own processor.
bool Stub(const fs::path& folder, const fs::path& stub, int index) {
    std::ifstream in(stub, std::ios::binary);
    if (!in) return true;
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    tallowin::StubIdentity identity;
    identity.productname = u"Seed";
    identity.productversion = u"1.0";
    tallowin::StampedStub stamped, user;
    std::string error;
    for (tallowin::Architecture architecture : {tallowin::Architecture::X86, tallowin::Architecture::X64}) {
        identity.architecture = architecture;
        if (tallowin::StampStub(bytes, identity, stamped, error)) break;
    }
    identity.scope = payload::InstallScope::User;
    if (!stamped.bytes.empty()) tallowin::StampStub(bytes, identity, user, error);
    if (stamped.bytes.empty() || user.bytes.empty()) {
        std::fprintf(stderr, "make_seeds: %s: %s\n", stub.string().c_str(), error.c_str());
        return false;
    }
    const std::string name = "stub" + std::to_string(index);
    return Write(folder / (name + ".exe"), std::string(bytes.begin(), bytes.end())) &&
           Write(folder / (name + "-stamped.exe"), std::string(stamped.bytes.begin(), stamped.bytes.end())) &&
           Write(folder / (name + "-user.exe"), std::string(user.bytes.begin(), user.bytes.end()));
}

// A record as the install plans it for `in`, with `files` extracted and
// `declared` (registry values and a Run value) added.
bool Record(const fs::path& file, installengine::InstallInputs in, const std::vector<std::u16string>& folders,
            const std::vector<std::u16string>& files, const payload::Declarations& declared = {}) {
    in.programsfolder = u"C:\\Users\\me\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
    in.startmenuroot = u"C:\\Users\\me\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu";
    in.desktopfolder = u"C:\\Users\\me\\Desktop";
    in.windowsfolder = u"C:\\Windows";
    in.recordid = "5f0c2a9e41b37d68c0e1f2a3b4c5d6e7";
    installengine::InstallRecord record = installengine::PlanInstallRecord(in);
    record.folders = folders;
    record.files = files;
    const installengine::DeclaredPlan plan = installengine::PlanDeclared(declared, in);
    for (const installengine::DeclaredValue& v : plan.values)
        record.registryvalues.push_back(installengine::RecordedValue(u"HKLM", v.key, v.name));
    if (!plan.values.empty()) record.createdkeys = {installengine::RecordedKey(u"HKLM", "Software\\Calderic")};
    record.signin = plan.signinname;
    record.signincommand = plan.signincommand;
    // The shell's lines as a first install on a clean machine decides them.
    record.tasks = installengine::TaskChoices(declared, in);
    record.pathentries = plan.pathentries;
    for (const auto& [name, value] : plan.variables) record.variables.push_back(name + u"=" + value);
    for (const installengine::PlannedFileType& type : plan.filetypes) {
        const std::u16string progid(type.progid.begin(), type.progid.end());
        record.progids.push_back(progid + u"|" + type.verbs.front().second);
        for (const std::string& e : type.extensions) record.extensions.push_back(std::u16string(e.begin(), e.end()) + u"|" + progid + u"|dk");
    }
    for (const installengine::PlannedProtocol& p : plan.protocols)
        record.protocols.push_back(std::u16string(p.scheme.begin(), p.scheme.end()) + u"|" + p.command);
    const std::string text = installengine::FormatInstallRecord(record);
    if (text.empty()) {
        std::fprintf(stderr, "make_seeds: %s: the record cannot be written\n", file.string().c_str());
        return false;
    }
    return Write(file, text);
}

bool Records(const fs::path& folder) {
    installengine::InstallInputs sample;
    sample.installfolder = u"C:\\Program Files\\Vantrell";
    sample.exename = "vantrell.exe";
    sample.productname = "Vantrell";
    sample.startmenufolder = u"\\Calderic\\Vantrell";
    sample.appdatafolder = "Vantrell";
    sample.services = {{"vantrelld.exe", "VantrellService"}};
    sample.shortcuts = {{"docs\\guide.txt", "Vantrell guide"}, {"vantrell.exe -safe", "Vantrell (safe mode)"}};
    bool ok = Record(folder / "sample.dat", sample, {u"docs"},
                     {u"vantrell.exe", u"vantrelld.exe", u"readme.txt", u"docs\\guide.txt", u"docs\\help.html"});
    installengine::InstallInputs bare;
    bare.installfolder = u"D:\\Apps\\Seed\\";
    bare.exename = "seed.exe";
    bare.productname = "Seed";
    ok &= Record(folder / "bare.dat", bare, {}, {u"seed.exe"});
    std::vector<std::u16string> folders, files;
    for (int i = 0; i < 40; ++i) {
        const std::u16string sub = u"lib\\m" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26));
        if (i < 26) folders.push_back(sub);
        files.push_back(sub + u"\\f\u00fcr " + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)) + u".dll");
    }
    folders.insert(folders.begin(), u"lib");
    ok &= Record(folder / "many.dat", sample, folders, files);
    // A product that declares its own values and starts at sign-in; the
    // declarations resource itself shares the target.
    payload::Declarations declared;
    declared.registry = {
        {payload::RegistryType::String, "Software\\Calderic\\Vantrell", u"Server", {u"{app}\\licence"}, 0, {}, ""},
        {payload::RegistryType::Dword, "Software\\Calderic\\Vantrell", u"Port", {}, 8080, {}, ""},
        {payload::RegistryType::MultiString, "Software\\Calderic\\Vantrell\\Paths", u"", {u"a", u"b"}, 0, {}, ""},
        {payload::RegistryType::Binary, "Software\\Calderic\\Vantrell", u"Key", {}, 0, {1, 2, 0xff}, ""}};
    declared.startatsignin = true;
    declared.signinarguments = u"/tray";
    declared.tasks = {{"desktopicon", true, u"", {}}, {"path", false, u"Add to PATH", {{"de", u"Zu PATH hinzuf\u00fcgen"}}}};
    declared.path = {{u"", "path"}, {u"bin", ""}};
    declared.environment = {{u"VANTRELL_HOME", u"{app}", ""}};
    declared.filetypes = {{"Calderic.Vantrell.Document.1", u"Vantrell document", {".vtr"}, u"vantrell.exe", 0,
                           {{"open", u"vantrell.exe", u"\"%1\""}}, ""}};
    declared.protocols = {{"vantrell", u"Vantrell link", u"vantrell.exe", u"\"%1\"", ""}};
    sample.tasks = {"desktopicon"};
    ok &= Record(folder / "declared.dat", sample, {}, {u"vantrell.exe"}, declared);
    ok &= Write(folder / "declarations.txt", payload::FormatDeclarations(declared));
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_seeds OUTDIR [STUB...]\n");
        return 2;
    }
    const fs::path root = argv[1];
    const fs::path installers = root / "fuzz_installer";
    const fs::path streams = root / "fuzz_decodechunk";
    std::error_code error;
    fs::create_directories(installers, error);
    fs::create_directories(streams, error);
    fs::create_directories(root / "fuzz_installrecord", error);

    bool ok = true;
    ok &= Installer(installers / "lz-several.exe",
                    {Item(u"", u"readme.txt", Text(3000, 1)), Item(u"\\docs", u"guide.txt", Text(5000, 2)),
                     Item(u"\\docs\\deep", u"notes.txt", Text(700, 3), 0x21), Item(u"", u"empty.dat", {})},
                    6, "");
    ok &= Installer(installers / "plain-license.exe",
                    {Item(u"", u"a.bin", Noise(900, 4)), Item(u"\\sub", u"b.bin", Noise(300, 5))}, 0,
                    "You may use this.\r\n");
    ok &= Installer(installers / "multi-chunk.exe",
                    {Item(u"", u"big.txt", Text(70000, 6)), Item(u"", u"big.bin", Noise(66000, 7))}, 1, "License.");
    ok &= Installer(installers / "mixed.exe",
                    {Item(u"", u"half.bin", [] {
                         Bytes b = Text(2000, 8);
                         const Bytes n = Noise(2000, 9);
                         b.insert(b.end(), n.begin(), n.end());
                         return b;
                     }()),
                     Item(u"\\x", u"only-empty", {})},
                    9, "");
    ok &= Installer(installers / "empty-archive.exe", {}, 6, "");

    ok &= Stream(streams / "text-6", Text(4000, 10), 6);
    ok &= Stream(streams / "text-1", Text(20000, 11), 1);
    ok &= Stream(streams / "runs-9", Bytes(5000, 'a'), 9);
    ok &= Stream(streams / "full-chunk", Text(65536, 12), 6);
    ok &= Stream(streams / "short", Text(40, 13), 6);

    const fs::path stubs = root / "fuzz_peres";
    fs::create_directories(stubs, error);
    for (int i = 2; i < argc; ++i) ok &= Stub(stubs, argv[i], i - 1);
    ok &= Records(root / "fuzz_installrecord");
    fs::create_directories(root / "fuzz_lzma", error);
    fs::create_directories(root / "fuzz_soliddirectory", error);
    ok &= Solid(root, "several", {Item(u"", u"readme.txt", Text(3000, 21)), Item(u"\\docs", u"guide.txt", Text(5000, 22)),
                                  Item(u"\\docs", u"empty.dat", {}), Item(u"", u"noise.bin", Noise(2000, 23)),
                                  Item(u"", u"seed.exe", Program(6000, 24)), Item(u"\\\u00e9t\u00e9", u"\u6587.txt", Text(100, 25))});
    ok &= Solid(root, "runs", {Item(u"", u"zeros.bin", Bytes(100000, 0)), Item(u"", u"text.txt", Text(70000, 26))});
    return ok ? 0 : 1;
}
