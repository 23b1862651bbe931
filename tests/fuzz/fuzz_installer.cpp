// Fuzz target: a whole installer file, read and extracted as the installer
// does it, into a fresh folder.  Besides the sanitizers' findings it stops
// on any file or folder that appears outside the destination folder.
//
// Inputs of at least a trailer's size are the installer file as they are.
// Shorter ones (libFuzzer's usual lengths) are taken as the archive alone
// and get a valid trailer appended that points at them, so that the
// archive reader and the extraction see every input.
//
// With TALLOWIN_FUZZ_EXTRACTED set to a file name, the number of entries
// extracted over the whole run is written there when the run ends, so a
// test can tell that a corpus reaches the extraction.
#include "payload/sacarchive.hpp"
#include "payload/trailerreader.hpp"
#include "payload/trailerwriter.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::size_t extracted = 0;

void ReportExtracted() {
    if (const char* report = std::getenv("TALLOWIN_FUZZ_EXTRACTED")) {
        std::ofstream out(report, std::ios::trunc);
        out << extracted << "\n";
    }
}

fs::path MakeRoot() {
    std::atexit(ReportExtracted);
    const fs::path root = fs::temp_directory_path() / ("tallowin-fuzz-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fs::path root = MakeRoot();
    const fs::path installer = root / "setup.exe";
    // Nested, so that a path climbing out by a few levels lands where the
    // check below looks.
    const fs::path dest = root / "l1" / "l2" / "dest";
    {
        std::ofstream out(installer, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (size < payload::kTrailerSize) {
            payload::TrailerFields fields;
            fields.licenseoffset = static_cast<std::int32_t>(size);
            payload::tsetuptrailer trailer;
            std::string error;
            payload::BuildTrailer(fields, trailer, error);
            out.write(reinterpret_cast<const char*>(&trailer), sizeof trailer);
        }
    }

    setuputil::FileAccess file;
    payload::tsetuptrailer trailer;
    std::string license;
    if (payload::LoadSetupTrailer(installer.u16string(), file, trailer, license) == payload::TrailerStatus::Ok) {
        setuputil::CloseAccess(file);
        payload::tsacarchive archive;
        if (archive.OpenArchive(installer.u16string(), trailer.archiveoffset, trailer.licenseoffset)) {
            archive.SetInstallFolder(dest.u16string());
            for (std::size_t i = 0; i < archive.entrylist().size(); ++i) {
                if (!archive.ExtractEntry(i, nullptr)) break;
                ++extracted;
            }
        }
    }

    const fs::path expected[][2] = {{root, installer}, {root / "l1", root / "l1" / "l2"}, {root / "l1" / "l2", dest}};
    fs::create_directories(root / "l1" / "l2");
    for (const auto& [folder, allowed] : expected) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path() != allowed && !(folder == root && entry.path() == root / "l1")) {
                std::fprintf(stderr, "written outside the destination: %s\n", entry.path().c_str());
                std::abort();
            }
        }
    }
    // Read-only files must not keep the folder alive.
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(dest, ignored))
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(dest, ignored);
    return 0;
}
