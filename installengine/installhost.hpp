// What the install engine asks of the program that hosts it, and what it
// offers in return.
//
// The host (the wizard, or a test stand-in) implements InstallHost; every
// call but Log reaches it on the GUI thread -- the trailer copy, the owner
// window for questions, the targets of the worker's synchronised progress
// and completion calls, and the events of the uninstall sequence, which the
// host turns into page and text changes of its own.  Log comes from either
// thread, each step's line before the step begins.
//
// The engine implements InstallWorker (the worker thread as the host sees
// it) and the two functions at the end.  The host calls, in this order:
// CreateInstallWorker (suspended), HandOver, OpenArchive, SetInstallFolder,
// Start; then Suspend/Resume around its cancel question, and Terminate plus
// WaitFor when a cancel is confirmed.  It owns the worker until the program
// ends.
#pragma once

#include "installengine/fileholders.hpp"
#include "payload/declarations.hpp"
#include "payload/installscope.hpp"
#include "payload/payloadkind.hpp"
#include "payload/productnames.hpp"
#include "payload/setuptrailer.hpp"
#include "payload/texttable.hpp"
#include "setuputil/utf8.hpp"
#include "setuputil/windowhandle.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace installengine {

class InstallHost {
public:
    virtual ~InstallHost() = default;

    virtual const payload::tsetuptrailer& Trailer() const = 0;
    // Owner window of message boxes.
    virtual setuputil::WindowHandle OwnerWindow() const = 0;
    // True when a person watches the run on the installing page.  The
    // install's short pauses at its progress marks are there only for
    // them; a run without a person (/S) takes none.
    virtual bool Watched() const = 0;

    // Install: what SyncProgress and SyncFinished reach.
    virtual void SetInstallProgress(int position) = 0;
    virtual void SetInstallFailed(bool failed) = 0;
    virtual void InstallFinished() = 0;
    // The installing page's text while a prerequisite installs ("" back to
    // the page's own); through a synchronised call.
    virtual void SetInstallStatus(const std::u16string& text) { (void)text; }
    // An update cannot replace (or remove) the file `file` of the installed
    // version: another program holds it.  `holders` are the programs the
    // system names (often none).  Retry tries again; CloseHoldersAndRetry,
    // only for closable holders, first asks them to close
    // (fileholders.hpp); Cancel ends the
    // update, which then puts the installed version back.  Asked only of a
    // watched run; an unattended one tries again for a few seconds by itself
    // and never closes a program.
    enum class FileInUseAnswer { Retry, CloseHoldersAndRetry, Cancel };
    virtual FileInUseAnswer AnswerFileInUse(const std::u16string& file, const FileHolders& holders) = 0;

    // Uninstall: the installed program folder (the sequence may rewrite it)
    // and the events of the sequence.  UninstallStarted comes first, with
    // the title and the progress text to show while it runs;
    // ProcessMessages lets the host repaint between steps; UninstallFinished
    // comes last, after the final step, or UninstallStopped after a stop.
    virtual std::u16string& DestFolder() = 0;
    virtual void UninstallStarted(const std::u16string& title, const std::u16string& label) = 0;
    virtual void ProcessMessages() = 0;
    // `kept`, when not empty, says what stayed on purpose (a program folder
    // that held files the product did not install), for the finish page
    // and the log.
    virtual void UninstallFinished(const std::u16string& kept) = 0;
    // The sequence stopped before its end (after UninstallStarted, instead
    // of UninstallFinished): `reason` says why, for the page and the log.
    virtual void UninstallStopped(const std::u16string& reason) = 0;
    // The uninstall's Yes/No question (the settings folder); true for Yes.
    // A run without a person answers No.
    virtual bool Ask(const std::u16string& question) = 0;

    // One line of the run's log: the step about to begin, or what stopped
    // the run.  Called from the GUI thread and the worker alike.
    virtual void Log(const std::u16string& line) = 0;

    // A text a person sees (payload/textids.hpp), in the host's language,
    // with its inserts filled; from either thread.  English by default.
    virtual std::u16string Text(payload::TextId id, payload::TextInserts inserts = {}) const;
    // The code of that language ("en", "de"), recorded with the
    // registration so that the uninstaller speaks it; "" records none.
    virtual std::string LanguageCode() const { return {}; }
    // The optional tasks the user chose (payload::TaskDeclaration names,
    // InstallInputs::tasks), fixed before the worker starts; from either
    // thread.  None by default: only declarations of no task are carried out.
    virtual std::vector<std::string> ChosenTasks() const { return {}; }
    // The product's names as a person sees them (payload/productnames.hpp),
    // when this program carries them and they belong to the trailer's (or
    // the registration's) 8-bit name; from either thread.  None by default:
    // the 8-bit name is shown, and the publisher is the version resource's.
    virtual payload::ProductNames ProductNames() const { return {}; }
};

inline std::u16string InstallHost::Text(payload::TextId id, payload::TextInserts inserts) const {
    return payload::FillText<char16_t>(setuputil::Utf8ToUtf16Replacing(std::string(payload::EnglishText(id))), inserts);
}

class InstallWorker {
public:
    virtual ~InstallWorker() = default;
    virtual void HandOver(std::int64_t licenseoffset, const std::string& productname, const std::string& exename) = 0;
    // What the product declares beyond its files (payload/declarations.hpp),
    // as the installer's own record gives it; none unless handed over.
    virtual void SetDeclarations(const payload::Declarations& declarations) = 0;
    virtual bool OpenArchive() = 0;
    virtual std::u16string ErrorText() const = 0;
    virtual void SetInstallFolder(const std::u16string& folder) = 0;
    virtual void Start() = 0;
    virtual void Suspend() = 0;
    virtual void Resume() = 0;
    virtual void Terminate() = 0;
    // Waits, handling messages, until the worker's thread body has returned;
    // false when it is still running after `milliseconds`.
    virtual bool WaitFor(unsigned long milliseconds) = 0;
    // True once the worker has begun a step that writes (removing the
    // services of an earlier installation, extracting): from then on a
    // stop or a failure leaves something changed.
    virtual bool BeganWriting() const = 0;
    // How an update (an install into the folder of the installed version)
    // that failed or was stopped ended: whether the installed version was
    // put back, what of it could not be ("" when all was), and whether a
    // file held by another program was the failure.  Read once the worker
    // has reported or stopped.
    struct UpdateEnd {
        bool update = false;
        bool rolledback = false;
        std::u16string unrestored;
        bool fileinuse = false;
    };
    virtual UpdateEnd UpdateOutcome() const = 0;
    // True when a prerequisite the install ran asked for a restart (exit
    // code 3010).  Read once the worker has reported.
    virtual bool RestartNeeded() const { return false; }
};

// Both run on the GUI thread.  `installerpath` is the installer file the
// worker reads its archive and the uninstaller's stub from.
// `scope`: the installer's own (payload/installscope.hpp); a per-user
// install or uninstall reads and writes HKEY_CURRENT_USER and the user's
// folders only.  `kind`: how its archive is stored (payload/payloadkind.hpp).
std::unique_ptr<InstallWorker> CreateInstallWorker(InstallHost& host, std::u16string installerpath,
                                                   payload::InstallScope scope = payload::InstallScope::Machine,
                                                   payload::PayloadKind kind = payload::PayloadKind::Sac);
void RunUninstallSequence(InstallHost& host, payload::InstallScope scope = payload::InstallScope::Machine);

}  // namespace installengine
