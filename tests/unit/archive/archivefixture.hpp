// A temporary folder with one installer file in it, opened the way the
// installer opens itself: trailer first, then the archive it points at.
#pragma once

#include "payload/sacarchive.hpp"
#include "payload/trailerreader.hpp"
#include "tests/unit/archive/archivebuilder.hpp"
#include "tests/unit/tempdir.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace archive_testing {

// Records what extraction reports to its owner.
struct Recorder final : payload::ExtractionObserver {
    std::vector<int> progress;
    int terminations = 0;
    void SyncProgress(int value) override { progress.push_back(value); }
    void RequestTermination() override { ++terminations; }
    // Asks to stop once `stopafter` progress reports have come (-1: never).
    int stopafter = -1;
    bool StopRequested() override { return stopafter >= 0 && static_cast<int>(progress.size()) >= stopafter; }
};

class ArchiveFixture : public ::testing::Test {
protected:
    testing_support::TempDir dir;
    payload::tsacarchive archive;
    payload::tsetuptrailer trailer{};
    Bytes image;

    std::string HostPath(const char* name) const { return (dir.path() / name).string(); }
    std::u16string InstallerPath() const { return dir.wide(u"setup.exe"); }
    std::u16string Dest() const { return dir.wide(u"dest"); }
    std::filesystem::path DestPath() const { return dir.path() / "dest"; }

    // Writes `bytes` as the installer and opens its archive, of `kind`.
    bool OpenImage(const Bytes& bytes, payload::PayloadKind kind = payload::PayloadKind::Sac) {
        image = bytes;
        archive.CloseArchive();  // the platform refuses to rewrite an open file
        WriteBytes(HostPath("setup.exe"), bytes);
        setuputil::FileAccess file;
        std::string license;
        if (payload::LoadSetupTrailer(InstallerPath(), file, trailer, license) != payload::TrailerStatus::Ok)
            return false;
        setuputil::CloseAccess(file);
        const bool ok = archive.OpenArchive(InstallerPath(), trailer.archiveoffset, trailer.licenseoffset, kind);
        archive.SetInstallFolder(Dest());
        return ok;
    }
    bool Open(const RawInstaller& raw) { return OpenImage(raw.Assemble()); }

    Bytes Extracted(const char* relative) const { return ReadBytes((DestPath() / relative).string()); }
};

}  // namespace archive_testing
