#include "tools/tallowin/commands.hpp"

#include "payload/entrypath.hpp"
#include "payload/payloadend.hpp"
#include "payload/sacarchive.hpp"
#include "payload/trailerreader.hpp"
#include "setuputil/platform.hpp"
#include "tools/sacwriter/textcodec.hpp"
#include "tools/tallowin/jsontext.hpp"
#include "tools/tallowin/parallelextract.hpp"
#include "tools/tallowin/productfile.hpp"

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

void Complain(const fs::path& file, const std::string& message) {
    std::cerr << "tallowin: " << file.string() << ": " << message << "\n";
}

// The failure of one entry, with the extraction's own text.
void ComplainEntry(const fs::path& file, const payload::tsacarchive& archive, std::size_t index,
                   const std::u16string& text) {
    std::string message = "entry ";
    message += std::to_string(index);
    message += " \"";
    message += Utf16ToUtf8(payload::EntryDisplayPath(*archive.entrylist()[index]));
    message += "\": ";
    message += Utf16ToUtf8(text);
    Complain(file, message);
}

// An installer with its trailer, license text and archive directory read,
// exactly as the installer's own start-up and worker read them.
struct Installer {
    payload::tsetuptrailer trailer{};
    std::string licensetext;
    payload::tsacarchive archive;
    std::int64_t certificatetable = 0;  // size of a signed installer's certificate table; 0: not signed
};

std::unique_ptr<Installer> OpenInstaller(const fs::path& path) {
    std::u16string wide;
    try {
        wide = path.u16string();
    } catch (const std::exception&) {
        Complain(path, "the file name is not valid UTF-8");
        return nullptr;
    }
    auto installer = std::make_unique<Installer>();
    setuputil::FileAccess setupfile;
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
    if (!installer->archive.OpenArchive(wide, installer->trailer.archiveoffset, installer->trailer.licenseoffset)) {
        Complain(path, "Problem accessing setup data. (" + Utf16ToUtf8(installer->archive.errortext()) + ")");
        return nullptr;
    }
    return installer;
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

}  // namespace

int RunBuild(const BuildOptions& options) {
    sacwriter::InstallerInput input;
    std::string error;
    if (!LoadProductFile(options.product, options.sourcedateepoch, input, error)) {
        Complain(options.product, error);
        return kExitBadInstaller;
    }
    input.level = options.level;
    input.jobs = options.jobs;

    fs::path stub = options.stub;
    if (stub.empty()) stub = fs::path(setuputil::GetParamW(0)).parent_path() / "setup.exe";
    std::ifstream stubfile(stub, std::ios::binary);
    if (!stubfile) {
        Complain(stub, "cannot read the stub program (give one with --stub)");
        return kExitBadInstaller;
    }
    input.stub.assign(std::istreambuf_iterator<char>(stubfile), std::istreambuf_iterator<char>());

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
    std::cout << options.output.string() << ": " << input.items.size() << " files\n";
    return kExitOk;
}

int RunList(const fs::path& path, bool json) {
    const auto installer = OpenInstaller(path);
    if (!installer) return kExitBadInstaller;
    const auto& entries = installer->archive.entrylist();
    if (json) std::cout << "[";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const payload::tsacentry& e = *entries[i];
        const std::string name = Utf16ToUtf8(payload::EntryDisplayPath(e));
        if (json) {
            std::cout << (i ? ",\n " : "\n ") << "{\"path\": " << JsonString(name)
                      << ", \"filename\": " << JsonString(Utf16ToUtf8(payload::ReadWideField(e.filename)))
                      << ", \"subfolder\": " << JsonString(Utf16ToUtf8(payload::ReadWideField(e.subfolder)))
                      << ", \"size\": " << e.filesize << ", \"stored\": " << e.storedsize
                      << ", \"attributes\": " << static_cast<int>(e.attributes) << "}";
        } else {
            std::cout << e.filesize << "\t" << e.storedsize << "\t" << name << "\n";
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

    if (json) {
        std::cout << "{\n \"productname\": " << JsonString(Text(t.productname))
                  << ",\n \"productversion\": " << JsonString(Text(t.productversion))
                  << ",\n \"exename\": " << JsonString(Text(t.exename))
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
                  << ",\n \"compressed\": " << (installer->archive.header().compressed == 1 ? "true" : "false")
                  << ",\n \"entries\": " << entries
                  << ",\n \"signed\": " << (installer->certificatetable > 0 ? "true" : "false")
                  << ",\n \"certificatetable\": " << installer->certificatetable << "\n}\n";
        return kExitOk;
    }
    std::cout << "productname:      " << Text(t.productname) << "\n"
              << "productversion:   " << Text(t.productversion) << "\n"
              << "exename:          " << Text(t.exename) << "\n"
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
              << "certificate:      "
              << (installer->certificatetable > 0
                      ? "table of " + std::to_string(installer->certificatetable) + " bytes (signed)"
                      : std::string("none (not signed)"))
              << "\n";
    return kExitOk;
}

int RunTest(const fs::path& path, unsigned jobs) {
    const auto installer = OpenInstaller(path);
    if (!installer) return kExitBadInstaller;
    payload::tsacarchive& archive = installer->archive;
    // Verify composes the paths as an install would (under an absolute
    // folder, as extraction requires) but writes nothing.
    archive.SetInstallFolder(fs::current_path().u16string());
    std::size_t failed = 0;
    ExtractAll(archive, payload::ExtractTarget::Verify, jobs, nullptr, [&](std::size_t i, bool ok, const std::u16string& text) {
        const std::string name = Utf16ToUtf8(payload::EntryDisplayPath(*archive.entrylist()[i]));
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
    const auto installer = OpenInstaller(path);
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
