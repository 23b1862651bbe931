// The install worker: one thread that runs the install sequence once.
//
// The host creates it suspended (CreateInstallWorker), hands over the
// license offset and the product and program names, has it open the
// archive on the GUI thread, hands over the destination folder and starts
// it.  The thread body then, in order: runs the product's prerequisites
// that are not there yet (prerequisites.hpp: a failure ends the run before
// any file of the product), asks a running copy of the product
// to close, removes the services of an earlier installation, extracts every
// entry, writes the product's own uninstaller (installengine/registration.hpp),
// writes the install record into the program folder (installrecord.hpp; part
// of the uninstaller step), writes the registration and installs and starts
// the services, writes the product's declared registry values and its
// sign-in Run value (declaredeffects.hpp), creates the shortcuts, runs the
// vendor's afterinstall (for an update: afterupdate) programs, and reports
// through SyncFinished.  A prerequisite's exit code 3010 makes
// RestartNeeded true.
//
// The worker reaches its host only through synchronised calls
// (SyncProgress, SyncFinished) and pauses only at check points: after each
// chunk that moves the bar (inside SyncProgress; reports of the position
// the bar already shows are dropped), between entries, and at every step
// boundary below.  A stop request (the wizard's confirmed cancel) lets the step in
// hand finish and keeps every later step from beginning: it is read, right
// after the pause gate, before each earlier service is removed, before the
// extraction, after each entry, and before the uninstaller copy, the
// registration, each service, the shortcuts and each shortcut.  A stopped
// run reports nothing.  A registration that has begun writes its
// record to the end; only the services not yet installed are left out of
// it.
//
// Around the progress marks 90 and 100 the sequence pauses briefly so that
// a person sees each step on the installing page; an unattended run (the
// host is not watched) goes straight on.  The pause after each earlier
// service removed is a wait for the service to go, and every run takes it.
//
// Each step's line goes to the host's log as the step begins: every file
// written, registry value, service and shortcut.
//
// Into the folder of the installed version of the product (its uninstall
// key's "InstallLocation", installedproduct.hpp) the run is an update: the
// installed files it replaces and those of the installed version's proven
// record (programfolderproof.hpp) that it no longer carries are moved aside
// first (updatejournal.hpp) -- a file another program holds is asked about
// (the host's AnswerFileInUse, which may have its holders closed) or, unattended, tried again for a few
// seconds --, the registration, services and shortcuts are read before
// they change, and a failure or a stop at any step puts the installed
// version back before the run ends.  After a successful update what was
// moved aside is deleted, with the dropped folders left empty.  A first
// install keeps the old rule: a stop or a failure undoes nothing.
//
// Failures, all reported through SyncFinished with the reason in
// `errortext`: a failed OpenArchive (no step then runs), an entry that
// cannot be extracted (also when extraction itself asked for the stop
// after a read failure), an uninstaller or an install record that cannot
// be written whole (no registration follows), and any exception the
// registration raises.  A
// shortcut that cannot be saved is no failure: it is skipped.
#pragma once

#include "gui/thread.hpp"
#include "installengine/declaredplan.hpp"
#include "installengine/installhost.hpp"
#include "installengine/installplan.hpp"
#include "installengine/updatejournal.hpp"
#include "payload/extractionobserver.hpp"
#include "payload/sacarchive.hpp"
#include "setuputil/fileaccess.hpp"

#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace installengine {

// The steps at whose start the worker reads the stop request.
enum class InstallStep {
    RemoveEarlierService,  // slot: the trailer's service slot
    Extraction,
    UninstallerCopy,
    Registration,
    Service,  // slot: the trailer's service slot
    Shortcuts,
    Shortcut,  // slot: the shortcut's place in the plan
    Prerequisite,  // slot: the prerequisite's place in the declarations
    AfterInstallRun,  // slot: the program's place among those of its time
};

class tinstallengine : public gui::Thread, public InstallWorker, private payload::ExtractionObserver {
public:
    // `installerpath` is the installer file: the archive and the stub the
    // uninstaller is copied from.
    tinstallengine(InstallHost& host, std::u16string installerpath,
                   payload::InstallScope scope = payload::InstallScope::Machine,
                   payload::PayloadKind kind = payload::PayloadKind::Sac);
    ~tinstallengine() override;

    // InstallWorker
    void HandOver(std::int64_t licenseoffset, const std::string& productname, const std::string& exename) override;
    void SetDeclarations(const payload::Declarations& declarations) override { declarations_ = declarations; }
    bool OpenArchive() override;
    std::u16string ErrorText() const override;
    void SetInstallFolder(const std::u16string& folder) override { archive_.SetInstallFolder(folder); }
    void Start() override { gui::Thread::Start(); }
    void Suspend() override { gui::Thread::Suspend(); }
    void Resume() override { gui::Thread::Resume(); }
    void Terminate() override { gui::Thread::Terminate(); }
    bool WaitFor(unsigned long milliseconds) override { return gui::Thread::WaitFor(milliseconds); }
    bool BeganWriting() const override { return beganwriting_.load(); }
    UpdateEnd UpdateOutcome() const override { return updateend_; }
    bool RestartNeeded() const override { return restartneeded_; }

protected:
    void Execute() override;
    // Called on the worker right before the stop request is read at the
    // start of `step`.  Does nothing here; a derived worker can watch the
    // run or hold it at a step boundary.
    virtual void BeforeStep(InstallStep step, int slot);
    // Waits `milliseconds`: a pause at a progress mark, taken only when the
    // host is watched.  A derived worker can record the pauses instead.
    virtual void Pause(unsigned long milliseconds);

private:
    // True when a stop was requested: `step` then must not begin.
    bool StopBefore(InstallStep step, int slot = 0);
    // payload::ExtractionObserver
    void SyncProgress(int position) override;
    void RequestTermination() override;
    bool StopRequested() override { return Terminated(); }

    void Publish(int position);
    // A pause for the person watching the bar; none when nobody is.
    void PauseForTheEye(unsigned long milliseconds);
    void SyncFinished();
    InstallInputs Inputs() const;
    // Runs the prerequisites not already there; false (with `errortext`
    // set, or on a stop) when one failed: the install then ends.
    bool RunPrerequisites();
    // The vendor's afterinstall (or, for an update, afterupdate) programs;
    // false with `errortext` set when one that must succeed failed.
    bool RunAfterInstall(const InstallInputs& in);
    void CloseRunningCopy();
    void RemoveEarlierServices();
    // Writes the product's uninstaller (the signed one the installer
    // carries, else a copy of the stub) to a temporary name in its folder
    // and moves it over the uninstaller when whole (an identical
    // uninstaller is kept); false with `errortext` set when it cannot.
    bool CopyUninstaller(const InstallInputs& in);
    bool WriteStubCopy(const std::u16string& path);
    // Notes the folders extracting `entry` will create, before it runs.
    void NoteNewFolders(const payload::DirectoryEntry& entry);
    // Writes the install record into the program folder; false with
    // `errortext` set when it cannot.
    bool WriteRecord(const InstallInputs& in);
    bool WriteSignedUninstaller(const std::u16string& path);
    void Register(const InstallInputs& in);
    // False when a stop came between two shortcuts.
    bool CreateShortcuts(const InstallInputs& in);

    // Update: begins the journal when the destination is the installed
    // version's folder; false with `errortext` set when it cannot.
    bool BeginUpdate();
    // Moves the installed file `relative` aside, trying again while another
    // program holds it; the journal's answer, InUse when it stays held.
    UpdateJournal::Move MoveAsideRetrying(const std::u16string& relative, bool inplace = false);
    // Before an entry is written over the installed version: false (with
    // `errortext` set) when its file cannot be moved aside.
    bool ReplaceInstalledFile(const std::u16string& relative);
    // The installed version's files the new one does not carry, moved aside.
    bool RemoveDroppedFiles();
    // What the installed version made besides its files and this one does
    // not: shortcuts whose captions changed, the App Paths key and the
    // uninstaller of a renamed program.  Through the journal.
    void RemoveWhatTheUpdateDrops(const InstallInputs& in);
    // The end of an update: Commit after success, Rollback after a failure
    // or a stop; nothing for a first install.
    void CommitUpdate();
    void RollBackUpdate();
    // True when `relative` resolves inside the program folder to where its
    // name says, through no link.
    bool IsOwnPlace(const std::u16string& relative) const;

    InstallHost& host_;
    std::u16string installerpath_;
    payload::InstallScope scope_;
    payload::PayloadKind kind_;
    setuputil::FileAccess uninstallerfile;
    std::u16string groupfolder;
    payload::tsacarchive archive_;  // the installer file, entrylist, buffers, installfolder, errortext
    std::u16string errortext_;      // a failure of the worker's own; else the archive's text
    int progress = 0;
    bool failed = false;
    bool readfailure_ = false;  // extraction asked for the stop: the file cannot be read
    bool reported_ = false;     // SyncFinished has run
    std::atomic<bool> beganwriting_{false};
    std::int64_t licenseoffset_ = 0;
    std::string productname_;
    std::string exename_;
    payload::Declarations declarations_;
    std::vector<std::u16string> prerequisitesmet_;  // the install record's "prerequisite" entries
    bool restartneeded_ = false;
    DeclaredPlan declaredplan_;  // planned with the record, carried out with the registration
    InstallRecord newrecord_;    // the record written, whose shell effects the registration carries out
    // For the install record: the folders extraction created and the files
    // it wrote, relative to the program folder.
    std::vector<std::u16string> createdfolders_;
    std::vector<std::u16string> writtenfiles_;
    std::set<std::u16string> seenfolders_;
    // Update state: the journal, the installed version's proven record (when
    // it left one) and how the update ended.
    UpdateJournal journal_;
    bool haveinstalledrecord_ = false;
    bool foldercreated_ = false;  // the program folder is the product's (installrecord.hpp)
    InstallRecord installedrecord_;
    std::vector<std::u16string> droppedfolders_;
    UpdateEnd updateend_;
};

}  // namespace installengine
