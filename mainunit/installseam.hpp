// The meeting point of the wizard and the install engine.
//
// The wizard (Triform) implements WizardHost: what the engine may use of it,
// always on the GUI thread -- the trailer copy, the owner window for its
// questions, the targets of its synchronised progress and completion calls,
// and the page and text changes of the uninstall sequence.
//
// The engine implements InstallWorker (the worker thread as the wizard sees
// it) and the two functions at the end.  The wizard calls, in this order:
// CreateInstallWorker (suspended), HandOver, OpenArchive, SetInstallFolder,
// Start; then Suspend/Resume around its cancel question, and Terminate plus
// WaitFor when a cancel is confirmed.  It owns the worker until the program
// ends.
#pragma once

#include "payload/setuptrailer.hpp"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

namespace mainunit {

class WizardHost {
public:
    virtual ~WizardHost() = default;

    virtual const payload::tsetuptrailer& Trailer() const = 0;
    // Owner window of message boxes.
    virtual HWND WizardWindow() const = 0;

    // Install: what SyncProgress and SyncFinished reach.
    virtual void SetInstallProgress(int position) = 0;
    virtual void SetInstallFailed(bool failed) = 0;
    virtual void InstallFinished() = 0;

    // Uninstall: the installed program folder (the sequence may rewrite it),
    // and the pages and texts it shows while it runs.
    virtual std::u16string& DestFolder() = 0;
    virtual void ShowInstallingPage() = 0;
    virtual void SetInstallingTitle(const std::string& text) = 0;
    virtual void SetInstallingLabel(const std::string& text) = 0;
    virtual void ProcessMessages() = 0;
    // Shows the uninstall finish page with its buttons (Back disabled, Next
    // hidden, Finish shown, Cancel disabled) and runs the layout.
    virtual void ShowUninstallFinishPage() = 0;
};

class InstallWorker {
public:
    virtual ~InstallWorker() = default;
    virtual void HandOver(std::int64_t licenseoffset, const std::string& productname, const std::string& exename) = 0;
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
};

// Provided by the engine.  Both run on the GUI thread.
std::unique_ptr<InstallWorker> CreateInstallWorker(WizardHost& host);
void RunUninstallSequence(WizardHost& host);

}  // namespace mainunit
