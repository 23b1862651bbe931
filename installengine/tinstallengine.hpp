// The install worker: one thread that runs the install sequence once.
//
// The host creates it suspended (CreateInstallWorker), hands over the
// license offset and the product and program names, has it open the
// archive on the GUI thread, hands over the destination folder and starts
// it.  The thread body then, in order: asks a running copy of the product
// to close, removes the services of an earlier installation, extracts every
// entry, copies the stub to the Windows folder as the uninstaller, writes
// the registration and installs and starts the services, creates the
// shortcuts, and reports through SyncFinished.
//
// The worker reaches its host only through synchronised calls
// (SyncProgress, SyncFinished) and stops only at check points: after each
// chunk (inside SyncProgress) and between entries.  A stop request is
// honoured after the entry in hand and once after the extraction loop;
// from then on the registration runs to its end.
//
// Failures, all reported through SyncFinished with the reason in
// `errortext`: a failed OpenArchive (no step then runs), an entry that
// cannot be extracted (also when extraction itself asked for the stop
// after a read failure), and any exception the registration or the
// shortcuts raise.
#pragma once

#include "gui/thread.hpp"
#include "installengine/installhost.hpp"
#include "installengine/installplan.hpp"
#include "payload/extractionobserver.hpp"
#include "payload/sacarchive.hpp"
#include "setuputil/fileaccess.hpp"

#include <cstdint>
#include <string>

namespace installengine {

class tinstallengine : public gui::Thread, public InstallWorker, private payload::ExtractionObserver {
public:
    // `installerpath` is the file the archive is read from; empty means
    // the running program's own file.
    explicit tinstallengine(InstallHost& host, std::u16string installerpath = {});
    ~tinstallengine() override;

    // InstallWorker
    void HandOver(std::int64_t licenseoffset, const std::string& productname, const std::string& exename) override;
    bool OpenArchive() override;
    std::u16string ErrorText() const override { return archive_.errortext; }
    void SetInstallFolder(const std::u16string& folder) override { archive_.installfolder = folder; }
    void Start() override { gui::Thread::Start(); }
    void Suspend() override { gui::Thread::Suspend(); }
    void Resume() override { gui::Thread::Resume(); }
    void Terminate() override { gui::Thread::Terminate(); }
    bool WaitFor(unsigned long milliseconds) override { return gui::Thread::WaitFor(milliseconds); }

protected:
    void Execute() override;

private:
    // payload::ExtractionObserver
    void SyncProgress(int position) override;
    void RequestTermination() override;

    void Publish(int position);
    void SyncFinished();
    InstallInputs Inputs() const;
    void CloseRunningCopy();
    void RemoveEarlierServices();
    void CopyUninstaller(const InstallInputs& in);
    void Register(const InstallInputs& in);
    void CreateShortcuts(const InstallInputs& in);

    InstallHost& host_;
    std::u16string installerpath_;
    setuputil::FileAccess uninstallerfile;
    std::u16string groupfolder;
    payload::tsacarchive archive_;  // archivefile, entrylist, buffers, installfolder, errortext
    int progress = 0;
    bool failed = false;
    bool readfailure_ = false;  // extraction asked for the stop: the file cannot be read
    bool reported_ = false;     // SyncFinished has run
    std::int64_t licenseoffset_ = 0;
    std::string productname_;
    std::string exename_;
};

}  // namespace installengine
