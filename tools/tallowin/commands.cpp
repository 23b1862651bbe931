#include "tools/tallowin/commands.hpp"

#include "payload/declarations.hpp"
#include "payload/entrypath.hpp"
#include "payload/installscope.hpp"
#include "payload/packedresource.hpp"
#include "payload/payloadcheck.hpp"
#include "payload/payloadend.hpp"
#include "payload/reservednames.hpp"
#include "payload/sacarchive.hpp"
#include "payload/trailerreader.hpp"
#include "tools/peres/resourcetree.hpp"
#include "tools/peres/versionblock.hpp"
#include "tools/sacwriter/solidwriter.hpp"
#include "tools/sacwriter/textcodec.hpp"
#include "tools/tallowin/declarationsinfo.hpp"
#include "tools/tallowin/installerfile.hpp"
#include "tools/tallowin/jsontext.hpp"
#include "tools/tallowin/parallelextract.hpp"
#include "tools/tallowin/productfile.hpp"
#include "tools/tallowin/signcommand.hpp"
#include "tools/tallowin/stubstamp.hpp"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>

#ifdef _WIN32
#include <io.h>
#define TALLOWIN_ISATTY _isatty
#define TALLOWIN_FILENO _fileno
#else
#include <unistd.h>
#define TALLOWIN_ISATTY isatty
#define TALLOWIN_FILENO fileno
#endif

namespace tallowin {

namespace fs = std::filesystem;
using sacwriter::Cp1252ToUtf8;
using sacwriter::Utf16ToUtf8;

namespace {

// The failure of one entry, with the extraction's own text.
void ComplainEntry(const fs::path& file, const payload::tsacarchive& archive, std::size_t index,
                   const std::u16string& text) {
    std::string message = "entry ";
    message += std::to_string(index);
    message += " \"";
    message += Utf16ToUtf8(payload::EntryDisplayPath(archive.entrylist()[index]));
    message += "\": ";
    message += Utf16ToUtf8(text);
    Complain(file, message);
}

template <std::size_t N>
std::string Text(const payload::ShortString<N>& field) { return Cp1252ToUtf8(payload::ReadShortString(field)); }

// Draws the installer's progress (0..90 while extracting) as a bar on a
// terminal; writes nothing when stderr is not one.
class TerminalProgress final : public payload::ExtractionObserver {
public:
    TerminalProgress() : enabled_(TALLOWIN_ISATTY(TALLOWIN_FILENO(stderr)) != 0) {}
    void SyncProgress(int progress) override { Draw(progress * 100 / 90); }
    // The failed entry reports itself and the command ends there.
    void RequestTermination() override {}
    void Draw(int percent) {
        if (!enabled_ || percent == last_) return;
        last_ = percent;
        const int filled = percent * 40 / 100;
        std::cerr << "\r[" << std::string(filled, '#') << std::string(40 - filled, '.') << "] " << percent << "%"
                  << std::flush;
    }
    void Finish() {
        if (enabled_ && last_ >= 0) std::cerr << "\n";
    }

private:
    bool enabled_;
    int last_ = -1;
};

// The product's top-level file or folder that takes a name the installer
// keeps for itself (payload/reservednames.hpp); "" when none does.
std::string ReservedNameUsed(const std::vector<sacwriter::ArchiveItem>& items) {
    for (const sacwriter::ArchiveItem& item : items) {
        if (item.role != payload::kEntryRoleFile) continue;  // the installer's own entries
        // A subfolder reads "\top\...": its first name is the top folder.
        const std::u16string top =
            item.subfolder.empty() ? item.filename : item.subfolder.substr(1, item.subfolder.find(u'\\', 1) - 1);
        if (payload::IsReservedTopName(top)) return Utf16ToUtf8(top);
    }
    return "";
}

// The stamped stub as a program of its own (its check record sealed over
// no payload), signed by `command`: the uninstaller the installer carries.
bool MakeSignedUninstaller(const StampedStub& stamped, const std::string& command, const fs::path& output,
                           sacwriter::ArchiveItem& item, std::string& error) {
    fs::path file = output;
    file += ".uninstall.partial";
    fs::path scratch = output;
    scratch += ".sign.log";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(stamped.bytes.data()), static_cast<std::streamsize>(stamped.bytes.size()));
        if (!out) error = "cannot write the uninstaller to sign";
    }
    bool ok = error.empty() && SealInstaller(file, stamped, error) && RunSignCommand(command, file, scratch, error);
    if (ok) {
        std::ifstream in(file, std::ios::binary);
        item.data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        ok = !item.data.empty();
        if (!ok) error = "cannot read the signed uninstaller";
    }
    std::error_code ec;
    fs::remove(file, ec);
    item.filename = payload::kUninstallerEntryName;
    item.role = payload::kEntryRoleUninstaller;
    return ok;
}

}  // namespace

int RunBuild(const BuildOptions& options) {
    if (!options.signcommand.empty() && options.signcommand.find(kSignFilePlaceholder) == std::string::npos) {
        std::cerr << "tallowin: the signing command \"" << ElidedCommand(options.signcommand) << "\" names no "
                  << kSignFilePlaceholder << " to sign\n";
        return kExitUsage;
    }
    sacwriter::InstallerInput input;
    StubIdentity identity;
    std::string error;
    std::vector<std::string> warnings;
    if (!LoadProductFile(options.product, options.sourcedateepoch, input, identity, warnings, error)) {
        Complain(options.product, error);
        return kExitBadInstaller;
    }
    if (const std::string reserved = ReservedNameUsed(input.items); !reserved.empty()) {
        Complain(options.product, "the product's files hold \"" + reserved +
                                      "\" at the top of the installation folder, a name the installer keeps for "
                                      "itself: rename it or move it into a subfolder");
        return kExitBadInstaller;
    }
    for (const std::string& warning : warnings) Complain(options.product, "warning: " + warning);
    input.level = options.level;
    input.jobs = options.jobs;
    if (!options.compression.empty() && !ParseCompression(options.compression, input.kind, error)) {
        std::cerr << "tallowin: " << error << "\n";
        return kExitUsage;
    }
    if (input.kind == payload::PayloadKind::Solid && !sacwriter::SolidSupported()) {
        Complain(options.product, sacwriter::kSolidUnsupported);
        return kExitBadInstaller;
    }
    identity.kind = input.kind;

    fs::path stub = options.stub;
    if (stub.empty()) {
        const bool x64 = identity.architecture == Architecture::X64;
        const std::vector<StubPlace>& places = x64 ? options.stubplaces64 : options.stubplaces;
        const StubPlace* found = FindStub(places);
        if (!found) {
            std::cerr << "tallowin: no " << (x64 ? "64-bit (x64)" : "32-bit (x86)")
                      << " stub program found (give one with --stub); looked at:\n" << DescribePlaces(places);
            return kExitBadInstaller;
        }
        stub = found->path;
    }
    std::ifstream stubfile(stub, std::ios::binary);
    if (!stubfile) {
        Complain(stub, "cannot read the stub program");
        return kExitBadInstaller;
    }
    const std::vector<std::uint8_t> plainstub((std::istreambuf_iterator<char>(stubfile)), std::istreambuf_iterator<char>());
    // The vendor's identity goes into the stub before the payload follows
    // it, so `archiveoffset` is the edited stub's size.
    identity.originalfilename = options.output.filename().u16string();
    StampedStub stamped;
    std::vector<std::string> stampwarnings;
    if (!StampStub(plainstub, identity, stamped, error, &stampwarnings)) {
        Complain(stub, error);
        return kExitBadInstaller;
    }
    for (const std::string& warning : stampwarnings) Complain(options.product, "warning: " + warning);
    input.stub = stamped.bytes;
    if (!options.signcommand.empty()) {
        sacwriter::ArchiveItem uninstaller;
        uninstaller.filetime = input.created;
        if (!MakeSignedUninstaller(stamped, options.signcommand, options.output, uninstaller, error)) {
            Complain(options.output, error);
            return kExitBadInstaller;
        }
        input.items.push_back(std::move(uninstaller));
    }

    // Written beside the target and renamed into place, so a failed build
    // leaves an existing installer as it was.
    fs::path partial = options.output;
    partial += ".partial";
    bool ok = false;
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        if (!out) {
            Complain(options.output, "cannot create the installer file");
            return kExitBadInstaller;
        }
        TerminalProgress bar;
        input.progress = [&bar](std::uint64_t done, std::uint64_t total) {
            bar.Draw(total == 0 ? 100 : static_cast<int>(done * 100 / total));
        };
        ok = sacwriter::WriteInstaller(input, out, error);
        bar.Finish();
    }
    if (ok) ok = SealInstaller(partial, stamped, error);
    if (ok && !options.signcommand.empty()) {
        fs::path scratch = options.output;
        scratch += ".sign.log";
        ok = RunSignCommand(options.signcommand, partial, scratch, error);
        // The signed installer must still read as one, its payload intact.
        if (ok && !OpenInstaller(partial, true)) {
            ok = false;
            error = "the signed installer no longer reads as an installer";
        }
    }
    std::error_code ec;
    if (ok) {
        fs::rename(partial, options.output, ec);
        if (ec) error = "cannot create the installer file: " + ec.message();
    }
    if (!ok || ec) {
        fs::remove(partial, ec);
        Complain(ok ? options.output : options.product, error);
        return kExitBadInstaller;
    }
    const bool signing = !options.signcommand.empty();
    std::cout << options.output.string() << ": " << input.items.size() - (signing ? 1 : 0) << " files"
              << (signing ? ", signed, with its signed uninstaller" : "") << "\n";
    return kExitOk;
}

int RunList(const fs::path& path, bool json) {
    const auto installer = OpenInstaller(path);
    if (!installer) return kExitBadInstaller;
    const auto& entries = installer->archive.entrylist();
    if (json) std::cout << "[";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const payload::DirectoryEntry& e = entries[i];
        const std::string name = Utf16ToUtf8(payload::EntryDisplayPath(e));
        if (json) {
            std::cout << (i ? ",\n " : "\n ") << "{\"path\": " << JsonString(name)
                      << ", \"filename\": " << JsonString(Utf16ToUtf8(e.filename))
                      << ", \"subfolder\": " << JsonString(Utf16ToUtf8(e.subfolder))
                      << ", \"size\": " << e.filesize << ", \"stored\": " << e.storedsize
                      << ", \"uninstaller\": " << (e.uninstaller ? "true" : "false")
                      << ", \"prerequisite\": " << (e.prerequisite ? "true" : "false")
                      << ", \"attributes\": " << static_cast<int>(e.attributes) << "}";
        } else {
            std::cout << e.filesize << "\t" << e.storedsize << "\t" << name
                      << (e.uninstaller ? "\t(the signed uninstaller)" : "")
                      << (e.prerequisite ? "\t(a prerequisite: run before the install, never installed)" : "") << "\n";
        }
    }
    if (json) std::cout << (entries.empty() ? "]\n" : "\n]\n");
    return kExitOk;
}

int RunInfo(const fs::path& path, bool json) {
    const auto installer = OpenInstaller(path);
    if (!installer) return kExitBadInstaller;
    const payload::tsetuptrailer& t = installer->trailer;
    const std::string startmenu = Utf16ToUtf8(payload::ReadWideField(t.startmenufolder));
    const std::string subfolder = Utf16ToUtf8(payload::ReadWideField(t.defaultsubfolder));
    const std::size_t services = payload::UsedServiceSlots(t).size();
    const std::size_t shortcuts = payload::UsedShortcutSlots(t).size();
    const std::size_t entries = installer->archive.entrylist().size();
    const auto& list = installer->archive.entrylist();
    const auto carried = std::find_if(list.begin(), list.end(), [](const payload::DirectoryEntry& e) { return e.uninstaller; });
    const bool signeduninstaller = carried != list.end();
    const StubResources& stub = installer->stub;
    const std::string publisher = Utf16ToUtf8(peres::VersionString(stub.version, u"CompanyName"));
    const std::string copyright = Utf16ToUtf8(peres::VersionString(stub.version, u"LegalCopyright"));
    const auto numbers = [](const std::array<std::uint16_t, 4>& v) {
        return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." + std::to_string(v[3]);
    };
    const std::string fileversion = stub.hasversion ? numbers(stub.version.fileversion) : "";
    const std::string productnumbers = stub.hasversion ? numbers(stub.version.productversion) : "";
    const char* checkstate = !stub.hascheck ? "none" : installer->intact ? "intact" : "damaged";
    // A "TPC2" record covers the whole file, an older one the payload alone.
    const bool wholefile = payload::CoversWholeFile(stub.check);
    const std::uint64_t covered = std::uint64_t{stub.check.payloadlength} + (wholefile ? stub.check.stubsize : 0);
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08x", stub.check.crc32);
    const auto yes = [](bool b) { return b ? "true" : "false"; };
    const std::string architecture = MachineName(stub.machine);
    const bool solid = installer->archive.kind() == payload::PayloadKind::Solid;
    const std::string scope = stub.scopedamaged                                 ? "damaged"
                              : stub.scope == payload::InstallScope::User ? "user"
                                                                          : "machine";
    const std::string registryroot = stub.scope == payload::InstallScope::User ? "HKCU" : "HKLM";
    // A product named in a script the 8-bit code page lacks: the names
    // record's name, and the trailer's 8-bit form that names its keys.
    const bool names = !stub.names.productname.empty();
    const std::string productname = names ? Utf16ToUtf8(stub.names.productname) : Text(t.productname);
    const std::string productkey = names ? Text(t.productname) : "";

    if (json) {
        std::cout << "{\n \"productname\": " << JsonString(productname);
        if (names) std::cout << ",\n \"productkey\": " << JsonString(productkey);
        std::cout
                  << ",\n \"productversion\": " << JsonString(Text(t.productversion))
                  << ",\n \"exename\": " << JsonString(Text(t.exename))
                  << ",\n \"architecture\": " << JsonString(architecture) << ",\n \"scope\": " << JsonString(scope)
                  << ",\n \"startmenufolder\": " << JsonString(startmenu)
                  << ",\n \"defaultsubfolder\": " << JsonString(subfolder)
                  << ",\n \"appdatafolder\": " << JsonString(Text(t.appdatafolder)) << ",\n \"services\": [";
        for (std::size_t i = 0; i < services; ++i)
            std::cout << (i ? ", " : "") << "{\"program\": " << JsonString(Text(t.serviceprograms[i]))
                      << ", \"name\": " << JsonString(Text(t.servicenames[i])) << "}";
        std::cout << "],\n \"shortcuts\": [";
        for (std::size_t i = 0; i < shortcuts; ++i)
            std::cout << (i ? ", " : "") << "{\"target\": " << JsonString(Text(t.shortcuttargets[i]))
                      << ", \"caption\": " << JsonString(Text(t.shortcutcaptions[i])) << "}";
        std::cout << "],\n \"haslicense\": " << (t.haslicense ? "true" : "false")
                  << ",\n \"licenselength\": " << installer->licensetext.size()
                  << ",\n \"archiveoffset\": " << t.archiveoffset << ",\n \"licenseoffset\": " << t.licenseoffset
                  << ",\n \"compressed\": " << (solid || installer->archive.header().compressed == 1 ? "true" : "false")
                  << ",\n \"compression\": \"" << (solid ? "solid" : "per-file") << "\""
                  << ",\n \"blocks\": " << installer->archive.blocks().size()
                  << ",\n \"entries\": " << entries
                  << ",\n \"signed\": " << (installer->certificatetable > 0 ? "true" : "false")
                  << ",\n \"certificatetable\": " << installer->certificatetable
                  << ",\n \"signeduninstaller\": " << yes(signeduninstaller)
                  << ",\n \"publisher\": " << JsonString(publisher) << ",\n \"copyright\": " << JsonString(copyright)
                  << ",\n \"fileversion\": " << JsonString(fileversion)
                  << ",\n \"productversionnumbers\": " << JsonString(productnumbers)
                  << ",\n \"icon\": " << yes(stub.hasicon) << ",\n \"picture\": " << yes(stub.haspicture)
                  << ",\n \"checksum\": " << yes(stub.hascheck) << ",\n \"checksumstate\": \"" << checkstate << "\"";
        if (stub.hascheck)
            std::cout << ",\n \"checkcovers\": \"" << (wholefile ? "file" : "payload")
                      << "\",\n \"payloadlength\": " << stub.check.payloadlength << ",\n \"crc32\": \"" << crc << "\"";
        std::cout << ",\n \"declarations\": ";
        if (stub.declarationsdamaged) std::cout << "\"damaged\"";
        else PrintDeclarationsJson(std::cout, stub.declarations, registryroot);
        std::cout << "\n}\n";
        return kExitOk;
    }
    std::cout << "productname:      " << productname << "\n";
    if (names) std::cout << "productkey:       " << productkey << " (the 8-bit form: uninstall key, App Paths \"Displayname\")\n";
    std::cout
              << "productversion:   " << Text(t.productversion) << "\n"
              << "exename:          " << Text(t.exename) << "\n"
              << "architecture:     " << architecture << "\n"
              << "scope:            " << scope << (scope == "user" ? " (current user, no elevation)" : "") << "\n"
              << "startmenufolder:  " << startmenu << "\n"
              << "defaultsubfolder: " << subfolder << "\n"
              << "appdatafolder:    " << Text(t.appdatafolder) << "\n";
    for (std::size_t i = 0; i < services; ++i)
        std::cout << "service " << i << ":        " << Text(t.servicenames[i]) << " = " << Text(t.serviceprograms[i]) << "\n";
    for (std::size_t i = 0; i < shortcuts; ++i)
        std::cout << "shortcut " << i << ":       " << Text(t.shortcutcaptions[i]) << " -> " << Text(t.shortcuttargets[i]) << "\n";
    std::cout << "license:          " << (t.haslicense ? std::to_string(installer->licensetext.size()) + " bytes" : "none") << "\n"
              << "archiveoffset:    " << t.archiveoffset << "\n"
              << "licenseoffset:    " << t.licenseoffset << "\n"
              << "entries:          " << entries << "\n"
              << "compression:      " << (solid ? "solid, " + std::to_string(installer->archive.blocks().size()) + " LZMA blocks"
                                                : std::string("per-file")) << "\n"
              << "certificate:      "
              << (installer->certificatetable > 0
                      ? "table of " + std::to_string(installer->certificatetable) + " bytes (signed)"
                      : std::string("none (not signed)"))
              << "\n"
              << "uninstaller:      "
              << (signeduninstaller ? "signed, carried in the payload (" + std::to_string(carried->filesize) + " bytes)"
                                    : std::string("a copy of the stub (not signed)"))
              << "\n"
              << "publisher:        " << (publisher.empty() ? "none" : publisher) << "\n"
              << "copyright:        " << (copyright.empty() ? "none" : copyright) << "\n"
              << "version numbers:  " << (stub.hasversion ? "file " + fileversion + ", product " + productnumbers : std::string("none")) << "\n"
              << "icon:             " << (stub.hasicon ? "present" : "none") << "\n"
              << "picture:          " << (stub.haspicture ? "present" : "none") << "\n"
              << "checksum:         "
              << (stub.hascheck ? std::string("CRC-32 ") + crc + (wholefile ? " over the whole file, " : " over the payload, ") +
                                      std::to_string(covered) + " bytes (" + checkstate + ")"
                                : std::string("none"))
              << "\n";
    if (stub.declarationsdamaged) std::cout << "declarations:     damaged\n";
    PrintDeclarations(std::cout, stub.declarations, registryroot);
    return kExitOk;
}

int RunTest(const fs::path& path, unsigned jobs) {
    const auto installer = OpenInstaller(path, true);
    if (!installer) return kExitBadInstaller;
    payload::tsacarchive& archive = installer->archive;
    // Verify composes the paths as an install would (under an absolute
    // folder, as extraction requires) but writes nothing.
    archive.SetInstallFolder(fs::current_path().u16string());
    std::size_t failed = 0;
    ExtractAll(archive, payload::ExtractTarget::Verify, jobs, nullptr, [&](std::size_t i, bool ok, const std::u16string& text) {
        const std::string name = Utf16ToUtf8(payload::EntryDisplayPath(archive.entrylist()[i]));
        if (ok) {
            std::cout << "ok      " << name << "\n";
        } else {
            ++failed;
            std::cout << "FAILED  " << name << "\n";
            ComplainEntry(path, archive, i, text);
        }
        return true;
    });
    std::cout << archive.entrylist().size() << " entries tested, " << failed << " failed\n";
    return failed == 0 ? kExitOk : kExitBadInstaller;
}

int RunExtract(const fs::path& path, const fs::path& folder, unsigned jobs) {
    const auto installer = OpenInstaller(path, true);
    if (!installer) return kExitBadInstaller;
    payload::tsacarchive& archive = installer->archive;
    try {
        archive.SetInstallFolder(fs::absolute(folder).u16string());
    } catch (const std::exception&) {
        Complain(folder, "the folder name is not valid UTF-8");
        return kExitUsage;
    }
    TerminalProgress progress;
    bool failed = false;
    ExtractAll(archive, payload::ExtractTarget::Write, jobs, &progress, [&](std::size_t i, bool ok, const std::u16string& text) {
        if (ok) return true;
        // Like the installer: the first entry that fails ends the run.
        progress.Finish();
        ComplainEntry(path, archive, i, text);
        failed = true;
        return false;
    });
    if (failed) return kExitBadInstaller;
    progress.Draw(100);
    progress.Finish();
    std::cout << archive.entrylist().size() << " files extracted to " << folder.string() << "\n";
    return kExitOk;
}

}  // namespace tallowin
