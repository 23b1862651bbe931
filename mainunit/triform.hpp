// The wizard form: start-up and mode decision, six pages with hidden tabs,
// the four buttons below them, navigation, the hand-over to the install
// worker, its completion and the finish actions.
//
// Install mode:   welcome -> license (when the trailer has one) ->
//                 destination -> additional tasks (when the product
//                 declares optional tasks, taskchoice.hpp) -> installing
//                 -> finish
// Uninstall mode: welcome -> installing -> uninstall finish; the uninstall
//                 runs inside NextClick on this thread.
//
// Unattended (/S) the form is never shown: RunUnattended takes the steps
// the pages would take -- the same start-up, destination check, worker and
// uninstall sequence -- with no message box (every message goes to the log)
// and the settings question answered No.  The tasks the page would show
// checked are the ones carried out; /TASKS= changes them, both ways, and
// an unknown task name in it is refused before anything is written.
//
// When the product is installed already (installengine/installedproduct.hpp)
// a newer or the same version goes into the installed version's folder --
// the destination page shows it and refuses another, /D= naming another is
// refused --, and an older version is refused at start-up (exit code 3).  Both ways the run ends with an
// exit code of mainunit/startoptions.hpp.
#pragma once

#include "gui/form.hpp"
#include "gui/widgets.hpp"
#include "installengine/installedproduct.hpp"
#include "installengine/installhost.hpp"
#include "installengine/updateplan.hpp"
#include "mainunit/logfile.hpp"
#include "mainunit/startoptions.hpp"
#include "mainunit/wizardlanguage.hpp"
#include "payload/declarations.hpp"
#include "payload/setuptrailer.hpp"
#include "payload/texttable.hpp"
#include "setuputil/fileaccess.hpp"

#include <memory>
#include <string>
#include <vector>

namespace choosedir {
class Tdir;
struct DirTexts;
}

namespace mainunit {

class Triform : public gui::Form, public installengine::InstallHost {
public:
    // Builds the form and its components (hidden) and runs FormCreate.
    // `sidepicture` is shown on five pages and must outlive the form.
    Triform(HBITMAP sidepicture, const StartOptions& options);
    ~Triform() override;

    void SetChooser(choosedir::Tdir& chooser) { dir_ = &chooser; }
    // The folder chooser's texts, in the wizard's language.
    choosedir::DirTexts ChooserTexts() const;
    // The language's dialog font, or one for any script when the product is named in one.
    std::u16string DialogFont() const;

    // Handlers.
    void FormCreate();
    void FormShow();
    void FormResize();
    void FormClose() {}
    // A close request while the installing page is up is a Cancel.
    bool FormCloseQuery();
    void NextClick();
    void BackClick();
    void cancelClick();
    void agreeClick();
    void changeClick();
    void finishClick();

    // installengine::InstallHost.
    const payload::tsetuptrailer& Trailer() const override { return trailer_; }
    setuputil::WindowHandle OwnerWindow() const override { return Handle(); }
    bool Watched() const override { return !options_.unattended; }
    // After a confirmed cancel the bar stays where the cancel put it; an
    // unattended run has no bar.
    void SetInstallProgress(int position) override {
        if (!cancelling_ && built_) installprogress.SetPosition(position);
    }
    void SetInstallFailed(bool failed) override { installfailed_ = failed; }
    void InstallFinished() override;
    void SetInstallStatus(const std::u16string& text) override;
    FileInUseAnswer AnswerFileInUse(const std::u16string& file, const installengine::FileHolders& holders) override;
    std::u16string& DestFolder() override { return destfolder_; }
    void UninstallStarted(const std::u16string& title, const std::u16string& label) override;
    void ProcessMessages() override;
    void UninstallFinished(const std::u16string& kept) override;
    void UninstallStopped(const std::u16string& reason) override;
    bool Ask(const std::u16string& question) override;
    void Log(const std::u16string& line) override { log_.Line(line); }
    std::u16string Text(payload::TextId id, payload::TextInserts inserts = {}) const override {
        return language_.Text(id, inserts);
    }
    std::string LanguageCode() const override { return language_.Code(); }
    std::vector<std::string> ChosenTasks() const override { return chosentasks_; }
    payload::ProductNames ProductNames() const override { return names_; }

    bool UninstallMode() const { return uninstallmode_; }

    // The unattended run, in place of the message loop; answers the exit code.
    int RunUnattended();
    // Logs the exit code and answers it; for the end of the message loop.
    int EndOfRun();

private:
    // The language of this run (mainunit/wizardlanguage.hpp), before any
    // window exists: the font's face is the language's.
    void ChooseWizardLanguage();
    void BuildComponents(HBITMAP sidepicture);
    void RunLayout();
    void ShowPage(gui::Panel& page) { pages.SetActivePage(page); }
    gui::Panel* CurrentPage() const { return pages.ActivePage(); }
    void LoadInstallMode();
    void LoadUninstallMode();
    // The tasks chosen before the page (taskchoice.hpp); an unknown name
    // of /TASKS= is a start-up refusal.
    void ChooseStartingTasks();
    bool HasTasksPage() const { return !options_.uninstallmode && !declarations_.tasks.empty(); }
    // Every refusal before anything is changed: logs it, shows it (not
    // unattended), sets the exit code and ends the program.
    void StartupFailed(const std::u16string& message, int exitcode = kExitRefused);
    // An update or a repair: the destination is the installed version's folder.
    bool IntoInstalledFolder() const {
        return installkind_ == installengine::InstallKind::Update || installkind_ == installengine::InstallKind::Repair;
    }
    // The folder the destination page proposes, and /S installs into without /D=.
    std::u16string ProposedFolder() const;
    // The product's name as a person sees it: the names record's, else the 8-bit one.
    std::u16string ShownProduct() const { return payload::ShownName(names_, payload::ReadShortString(trailer_.productname)); }
    // Why `folder` cannot be the destination (destinationcheck.hpp, or not
    // the installed version's folder); "" when it can.  The page and /D=
    // share it.
    std::u16string FolderRefusal(const std::u16string& folder) const;
    // Logs whether a failed or stopped update put the installed version back.
    void LogUpdateEnd();
    unsigned long CancelWaitMs() const;
    // The step into the installing page: the worker, prepared and started.
    void BeginInstall(const std::u16string& folder);
    void ShowInstallingPage(const std::u16string& folder);
    void ShowFinishButtons();
    [[noreturn]] void EndProgramNow();

    // State, in the order the form holds it.
    bool uninstallmode_ = false;
    // The builder's record in this program (payload/installscope.hpp): for
    // the machine, or the current user.
    payload::InstallScope scope_ = payload::InstallScope::Machine;
    bool scopeok_ = true;  // false: the scope or the declarations record is malformed
    payload::Declarations declarations_;
    // How the archive is stored (payload/payloadkind.hpp).
    payload::PayloadKind payloadkind_ = payload::PayloadKind::Sac;
    bool payloadkindok_ = true;  // false: the payload kind record is malformed
    // The product's names in any script (payload/productnames.hpp); an
    // empty productname: none, the trailer's 8-bit name is shown.
    payload::ProductNames names_;
    bool namesok_ = true;  // false: the names record is malformed
    WizardLanguage language_;
    bool languagecarried_ = true;  // false: /LANG= names a language this program does not carry
    payload::tsetuptrailer trailer_{};
    std::string licensetext_;
    std::u16string installerpath_;  // this program's own file: the installer
    std::u16string destfolder_;
    std::unique_ptr<installengine::InstallWorker> engine_;
    bool installfailed_ = false;
    // What is installed already, and what this install therefore is.
    installengine::InstalledProduct installed_;
    installengine::InstallKind installkind_ = installengine::InstallKind::FirstInstall;
    // The optional tasks chosen, as the product declares their names: what
    // the tasks page shows checked, then what it left checked.
    std::vector<std::string> chosentasks_;

    setuputil::ScopedFileAccess setupfile_;  // the installer, open while the program runs
    const StartOptions options_;
    LogFile log_;
    int exitcode_ = kExitRefused;
    bool startupfailed_ = false;
    choosedir::Tdir* dir_ = nullptr;
    bool built_ = false;
    bool cancelling_ = false;
    bool asking_ = false;  // the cancel question is open
    bool uninstalling_ = false;

    // Components; parents before children, so children go first.
    gui::Panel mainback;
    gui::PageControl pages;
    gui::Panel welcomepage, licensepage, installingpage, finishpage, uninstallfinishpage, destinationpage, taskspage;
    gui::Label welcometitle, welcomelabel, clicknext1;
    gui::Image Image3;
    gui::Label licensetitle, licenselabel;
    gui::Memo license;
    gui::CheckBox agree;
    gui::Label installinglabel, installingtitle;
    gui::Image Image1;
    gui::ProgressBar installprogress;
    gui::Label finishtitle, finishlabel, clickfinish;
    gui::Image Image2;
    gui::CheckBox launch, readme;
    gui::Image Image5;
    gui::Label uninstallfinishtitle, uninstallfinishlabel, clickfinish2;
    gui::Label installpathlabel, destinationtitle, clicknext2;
    gui::Image Image4;
    gui::Edit installpath;
    gui::Button change;
    gui::Label taskstitle, taskslabel, clicknext3;
    gui::Image Image6;
    std::vector<std::unique_ptr<gui::CheckBox>> taskboxes;  // one per declared task, in their order
    gui::Button finish, back, next, cancel;
};

}  // namespace mainunit
