#include "mainunit/triform.hpp"

#include "choosedir/tdir.hpp"
#include "gui/application.hpp"
#include "gui/dialogs.hpp"
#include "installengine/programfolderproof.hpp"
#include "installengine/protectedfolders.hpp"
#include "installengine/registration.hpp"
#include "installengine/uninstallguard.hpp"
#include "mainunit/destinationcheck.hpp"
#include "mainunit/ownlanguages.hpp"
#include "mainunit/taskchoice.hpp"
#include "mainunit/uninstallinfo.hpp"
#include "mainunit/wizardlayout.hpp"
#include "mainunit/wizardtexts.hpp"
#include "payload/payloadcheck.hpp"
#include "payload/trailerreader.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/dialogs.hpp"
#include "setuputil/fileops.hpp"
#include "setuputil/pathrules.hpp"
#include "setuputil/platform.hpp"
#include "setuputil/registry.hpp"
#include "setuputil/shellopen.hpp"
#include "setuputil/shellfolders.hpp"
#include "setuputil/textconv.hpp"

#include <algorithm>

namespace mainunit {

using payload::TextId;
using setuputil::AnsiToWide;
using setuputil::WideToAnsi;

namespace {

// A confirmed cancel gives the worker this long to finish the step in
// hand (the file it is writing, a registry write, a service call) and stop
// at its next check point.  A worker still inside a call then is cut off by
// the end of the process, so the program is gone within a few seconds more.
constexpr unsigned long kCancelWaitMs = 10000;
// A cancelled update puts the installed version back before it ends (the
// services it had are created and started again): a longer bound.
constexpr unsigned long kUpdateCancelWaitMs = 60000;

constexpr char16_t kWesternDialogFont[] = u"MS Sans Serif";
constexpr char16_t kAnyScriptDialogFont[] = u"MS Shell Dlg 2";

// The trailer's 8-bit name: it names the keys that identify the product.
std::string Product(const payload::tsetuptrailer& trailer) { return payload::ReadShortString(trailer.productname); }

// A record the builder wrote into this program's resources, handed with
// its size to `parse`; false when there is none or `parse` refuses it.
template <class Parse>
bool OwnRecord(const char16_t* name, const Parse& parse) {
    HRSRC resource = ::FindResourceW(nullptr, reinterpret_cast<LPCWSTR>(name), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    HGLOBAL loaded = resource ? ::LoadResource(nullptr, resource) : nullptr;
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    return data && parse(data, ::SizeofResource(nullptr, resource));
}

// The payload check record; false when there is none (an installer from
// another builder) or it is malformed.
bool OwnPayloadCheck(payload::tpayloadcheck& check) {
    return OwnRecord(payload::kPayloadCheckName,
                     [&](const void* data, std::size_t size) { return payload::ParsePayloadCheck(data, size, check); });
}

// The scope record: false only when there is one that is malformed.
bool OwnScope(payload::InstallScope& scope) {
    bool present = false;
    const bool parsed = OwnRecord(payload::kInstallScopeName, [&](const void* data, std::size_t size) {
        present = true;
        return payload::ParseScopeRecord(data, size, scope);
    });
    return parsed || !present;
}

// The product's declarations: false only when there is a record that is
// malformed (none: the product declares nothing).
bool OwnDeclarations(payload::Declarations& declarations) {
    bool present = false;
    const bool parsed = OwnRecord(payload::kDeclarationsName, [&](const void* data, std::size_t size) {
        present = true;
        std::string error;
        return payload::ParseDeclarations(data, size, declarations, error);
    });
    return parsed || !present;
}

// The names record: false only when there is one that is malformed.
bool OwnNames(payload::ProductNames& names) {
    bool present = false;
    const bool parsed = OwnRecord(payload::kProductNamesName, [&](const void* data, std::size_t size) {
        present = true;
        return payload::ParseProductNames(data, size, names);
    });
    if (!parsed) names = {};
    return parsed || !present;
}

// The payload kind record: false only when there is one that is malformed.
bool OwnPayloadKind(payload::PayloadKind& kind) {
    bool present = false;
    const bool parsed = OwnRecord(payload::kPayloadKindName, [&](const void* data, std::size_t size) {
        present = true;
        return payload::ParseKindRecord(data, size, kind);
    });
    return parsed || !present;
}

}  // namespace

Triform::Triform(HBITMAP sidepicture, const StartOptions& options) : options_(options) {
    scopeok_ = OwnScope(scope_) && OwnDeclarations(declarations_);
    payloadkindok_ = OwnPayloadKind(payloadkind_);
    namesok_ = OwnNames(names_);
    ChooseWizardLanguage();
    gui::Application* application = gui::Application::Current();
    CreateForm(application ? application->Window() : nullptr, u"Tallowin", 502, 357, DialogFont());
    if (application) application->SetMainForm(*this);
    onResize = [this] { FormResize(); };
    onShow = [this] { FormShow(); };
    onClose = [this] { FormClose(); };
    onCloseQuery = [this] { return FormCloseQuery(); };
    // Unattended nobody sees a page: the controls are not made (under Wine
    // that alone is some 1,800 round trips to the server at start and end).
    if (!options_.unattended) BuildComponents(sidepicture);
    CentreOnScreen();
    FormCreate();
}

Triform::~Triform() {
    // The worker may still call into the form: let it end while every
    // component exists, but not wait for ever on a worker stuck in a call.
    if (engine_) {
        engine_->Terminate();
        engine_->Resume();
        if (!engine_->WaitFor(CancelWaitMs())) EndProgramNow();
    }
    engine_.reset();
}

void Triform::ChooseWizardLanguage() {
    const std::vector<payload::TextTable> tables = OwnTextTables();
    languagecarried_ = options_.language.empty() || payload::PickLanguage(LanguageCodes(tables), options_.language);
    std::vector<std::string> wanted{options_.language};
    if (options_.uninstallmode) {
        // What the install spoke: an untrusted value, only a choice among
        // the tables carried.
        try {
            const setuputil::tregistry registration(installengine::RegistrationRoot(scope_));
            wanted.push_back(registration.ReadString(installengine::AppPathsKeyFor(WideToAnsi(options_.programname)),
                                                     installengine::kLanguageValue, ""));
        } catch (const std::exception&) {
            // A value of another type: as if there were none.
        }
    }
    wanted.push_back(UserLanguageCode());
    language_ = ChooseLanguage(tables, wanted);
}

choosedir::DirTexts Triform::ChooserTexts() const {
    return {Text(TextId::ChooserCaption), Text(TextId::ChooserOk), Text(TextId::ChooserCancel),
            Text(TextId::InvalidFolder), Text(TextId::ErrorCaption), DialogFont()};
}

std::u16string Triform::DialogFont() const {
    // "MS Sans Serif" is a bitmap font of the Western code page: a product
    // named in another script gets the dialog font the system links to a
    // font for every script, as the tables of those scripts choose.
    const std::u16string font = Text(TextId::DialogFont);
    return !names_.productname.empty() && font == kWesternDialogFont ? kAnyScriptDialogFont : font;
}

void Triform::BuildComponents(HBITMAP sidepicture) {
    const gui::Scaler& s = Scale();
    const HFONT bold = BoldFont();
    const gui::Label::Options plain{false, true}, wrapped{true, true}, fixedWrapped{true, false};

    mainback.Create(*this, 0, 0, ClientWidth(), ClientHeight());
    pages.Create(mainback, 0, 0, s(497), s(289), s(4));
    for (gui::Panel* page : {&welcomepage, &licensepage, &installingpage, &finishpage, &uninstallfinishpage,
                             &destinationpage, &taskspage})
        pages.AddPage(*page);

    auto picture = [&](gui::Image& image, gui::Panel& page) {
        image.Create(page, sidepicture, 0, 0, s(150), page.Height());
        page.AlignLeft(image);
    };

    welcometitle.Create(welcomepage, u"", s(168), s(16), s(305), s(33), fixedWrapped);
    welcometitle.SetLabelFont(bold);
    welcomelabel.Create(welcomepage, u"", s(168), s(72), s(313), s(49), fixedWrapped);
    clicknext1.Create(welcomepage, Text(TextId::ClickNextToContinue), s(168), s(256), 0, 0, plain);
    picture(Image3, welcomepage);

    licensetitle.Create(licensepage, Text(TextId::LicenseTitle), s(8), s(8), 0, 0, plain);
    licensetitle.SetLabelFont(bold);
    licenselabel.Create(licensepage, Text(TextId::LicenseLabel), s(16), s(32), 0, 0, plain);
    license.Create(licensepage, s(8), s(56), s(465), s(193));
    agree.Create(licensepage, Text(TextId::LicenseAgree), s(8), s(264), s(321), s(18), false);
    agree.onClick = [this] { agreeClick(); };

    installinglabel.Create(installingpage, u"", s(168), s(120), s(305), 0, wrapped);
    installingtitle.Create(installingpage, Text(TextId::InstallingTitle), s(168), s(16), 0, 0, plain);
    installingtitle.SetLabelFont(bold);
    picture(Image1, installingpage);
    installprogress.Create(installingpage, s(168), s(160), s(305), s(25), 0, 100);

    finishtitle.Create(finishpage, Text(TextId::FinishTitle), s(168), s(16), 0, 0, plain);
    finishtitle.SetLabelFont(bold);
    finishlabel.Create(finishpage, u"", s(168), s(72), s(305), 0, wrapped);
    clickfinish.Create(finishpage, Text(TextId::ClickFinish), s(168), s(264), 0, 0, plain);
    picture(Image2, finishpage);
    launch.Create(finishpage, u"", s(192), s(128), s(145), s(18), true);
    readme.Create(finishpage, Text(TextId::ViewReadme), s(192), s(160), s(177), s(18), false);

    picture(Image5, uninstallfinishpage);
    uninstallfinishtitle.Create(uninstallfinishpage, Text(TextId::UninstallFinishTitle), s(168), s(16), 0, 0, plain);
    uninstallfinishtitle.SetLabelFont(bold);
    uninstallfinishlabel.Create(uninstallfinishpage, u"", s(168), s(72), s(305), 0, wrapped);
    clickfinish2.Create(uninstallfinishpage, Text(TextId::ClickFinish), s(168), s(264), 0, 0, plain);

    installpathlabel.Create(destinationpage, u"", s(168), s(40), s(305), 0, wrapped);
    destinationtitle.Create(destinationpage, Text(TextId::DestinationTitle), s(168), s(16), 0, 0, plain);
    destinationtitle.SetLabelFont(bold);
    clicknext2.Create(destinationpage, u"", s(168), s(264), s(305), 0, wrapped);
    picture(Image4, destinationpage);
    installpath.Create(destinationpage, u"", s(168), s(56), s(233), s(21));
    change.Create(destinationpage, Text(TextId::ChangeButton), s(408), s(56), s(65), s(22));
    change.onClick = [this] { changeClick(); };

    taskstitle.Create(taskspage, Text(TextId::TasksTitle), s(168), s(16), 0, 0, plain);
    taskstitle.SetLabelFont(bold);
    taskslabel.Create(taskspage, Text(TextId::TasksLabel), s(168), s(64), s(305), 0, wrapped);
    clicknext3.Create(taskspage, u"", s(168), s(264), s(305), 0, wrapped);
    picture(Image6, taskspage);
    if (HasTasksPage()) {
        for (const payload::TaskDeclaration& task : declarations_.tasks) {
            taskboxes.push_back(std::make_unique<gui::CheckBox>());
            taskboxes.back()->Create(taskspage, TaskCaption(task, language_), s(168), s(104), s(305), s(18), task.checked);
        }
    }

    // Tab order inside mainback: pages, finish, back, next, cancel.
    finish.Create(mainback, Text(TextId::FinishButton), 0, 0, s(81), s(26));
    finish.Hide();
    finish.onClick = [this] { finishClick(); };
    back.Create(mainback, Text(TextId::BackButton), 0, 0, s(81), s(26));
    back.SetEnabled(false);
    back.onClick = [this] { BackClick(); };
    next.Create(mainback, Text(TextId::NextButton), 0, 0, s(81), s(26));
    next.onClick = [this] { NextClick(); };
    cancel.Create(mainback, Text(TextId::CancelButton), 0, 0, s(81), s(26));
    cancel.onClick = [this] { cancelClick(); };

    built_ = true;
}

void Triform::RunLayout() {
    if (!built_) return;
    WizardParts<gui::Control> parts{
        mainback, pages, cancel, next, back, finish,
        welcomepage, welcometitle, welcomelabel, clicknext1, Image1,
        licensepage, licensetitle, licenselabel, license, agree,
        destinationpage, destinationtitle, installpathlabel, installpath, change, clicknext2,
        taskspage, taskstitle, taskslabel, clicknext3,
        installingpage, installingtitle, installinglabel, installprogress,
        finishpage, finishtitle, finishlabel, launch, readme, clickfinish,
        uninstallfinishpage, uninstallfinishtitle, uninstallfinishlabel, clickfinish2, {}};
    for (const auto& box : taskboxes) parts.taskboxes.push_back(box.get());
    LayoutWizard(parts, Scale());
}

void Triform::FormResize() {
    if (!built_) return;
    mainback.SetBounds(0, 0, ClientWidth(), ClientHeight());
    RunLayout();
}

// --- start-up ---

void Triform::StartupFailed(const std::u16string& message, int exitcode) {
    startupfailed_ = true;
    exitcode_ = exitcode;
    Log(u"outcome: " + message);
    if (!options_.unattended) gui::ShowErrorMessage(nullptr, message, Text(TextId::ErrorCaption));
    if (gui::Application* application = gui::Application::Current()) application->Terminate();
}

void Triform::FormCreate() {
    installfailed_ = false;
    uninstallmode_ = options_.uninstallmode;
    FormResize();
    if (!options_.logfile.empty() && !log_.Open(options_.logfile)) {
        StartupFailed(Text(TextId::LogFileProblem, {{u"file", options_.logfile}}));
        return;
    }
    Log(u"command line: " + options_.commandline);
    Log(std::u16string(u"mode: ") + (uninstallmode_ ? u"uninstall" : u"install") +
        (options_.unattended ? u", unattended" : u", wizard"));
    if (!options_.refusal.empty()) {
        StartupFailed(Text(options_.refusalid, {{u"switch", options_.refusedswitch}}));
        return;
    }
    // Unattended, a language the installer does not carry is a bad switch;
    // the wizard speaks the user's language instead.
    if (!languagecarried_ && options_.unattended) {
        StartupFailed(Text(TextId::UnknownSwitch, {{u"switch", kLanguageSwitch + AnsiToWide(options_.language)}}));
        return;
    }
    Log(u"language: " + AnsiToWide(language_.Code()));
    if (!scopeok_ || !payloadkindok_ || !namesok_) {
        StartupFailed(Text(TextId::DamagedInstaller));
        return;
    }
    if (scope_ == payload::InstallScope::User) Log(u"scope: current user");
    if (uninstallmode_) LoadUninstallMode();
    else LoadInstallMode();
}

void Triform::LoadUninstallMode() {
    // Only the root of this program's own scope: a per-user uninstaller
    // never reads (nor deletes) a machine-wide registration.
    const setuputil::tregistry registration(installengine::RegistrationRoot(scope_));
    const auto read = [&registration](const std::string& key, const std::string& name) {
        return registration.ReadString(key, name, "");
    };
    trailer_ = {};
    if (!LoadUninstallInfo(options_.programname, read, trailer_, destfolder_))
        StartupFailed(Text(TextId::NoUninstallInfo));
    // This uninstaller's names are shown only for the product they belong
    // to; another product's registration shows its own 8-bit name.
    if (names_.eightbit != Product(trailer_)) names_ = {};
}

void Triform::LoadInstallMode() {
    installerpath_ = setuputil::GetParamW(0);
    destfolder_ = scope_ == payload::InstallScope::User ? setuputil::GetUserProgramsFolder()
                                                        : setuputil::GetProgramFilesFolder();
    const payload::TrailerStatus status =
        payload::LoadSetupTrailer(installerpath_, setupfile_.file, trailer_, licensetext_);
    // A download cut short or damaged is refused before anything is
    // written; a cut trailer says so rather than "No install files attached!".
    payload::tpayloadcheck check{};
    if (status != payload::TrailerStatus::CannotOpen && OwnPayloadCheck(check)) {
        setuputil::ScopedFileAccess reopened;
        setuputil::FileAccess& file = setupfile_.file.handle != 0 ? setupfile_.file : reopened.file;
        if (file.handle == 0) OpenForRead(file, installerpath_);
        if (file.handle == 0 || !payload::PayloadIntact(file, check)) {
            if (setupfile_.file.handle != 0) CloseAccess(setupfile_.file);
            StartupFailed(Text(TextId::DamagedInstaller));
            return;
        }
    }
    if (status != payload::TrailerStatus::Ok) {
        // The path as the 8-bit code page shows it.
        StartupFailed(Text(payload::TrailerFailureText(status), {{u"file", AnsiToWide(WideToAnsi(installerpath_))}}));
        return;
    }
    // Names that are not the trailer's were put together from two installers.
    if (!names_.productname.empty() && names_.eightbit != Product(trailer_)) {
        StartupFailed(Text(TextId::DamagedInstaller));
        return;
    }
    // An installed version decides the folder, or refuses an older one
    // before anything is changed.
    const std::string version = payload::ReadShortString(trailer_.productversion);
    installed_ = installengine::FindInstalledProduct(scope_, Product(trailer_));
    installkind_ = installengine::KindOfInstall(installed_.installed, installed_.version, version);
    if (installed_.installed)
        Log(u"installed: " + AnsiToWide(installed_.version) + u" in " + installed_.folder);
    if (installkind_ == installengine::InstallKind::Downgrade) {
        const std::u16string installed = AnsiToWide(installed_.version);
        StartupFailed(Text(TextId::DowngradeRefused, {{u"product", ShownProduct()}, {u"installed", installed},
                                                      {u"version", AnsiToWide(version)}}),
                      kExitDowngrade);
        return;
    }
    ChooseStartingTasks();
}

void Triform::ChooseStartingTasks() {
    // An update starts from the choices its installed version recorded,
    // read from the record only when it is the registered installation's.
    std::vector<std::pair<std::string, bool>> earlier;
    if (IntoInstalledFolder() && !declarations_.tasks.empty()) {
        const installengine::RecordInFolder inplace = installengine::FindRecordInFolder(installed_.folder, Product(trailer_));
        if (inplace.kind == installengine::RecordInFolder::Kind::ThisProduct && inplace.record.id == installed_.recordid)
            earlier = inplace.record.tasks;
    }
    std::u16string unknown;
    if (!ChooseTasks(declarations_.tasks, earlier, options_.taskchanges, chosentasks_, unknown))
        StartupFailed(Text(TextId::UnknownTask, {{u"task", unknown}}));
}

std::u16string Triform::ProposedFolder() const {
    if (IntoInstalledFolder()) return installed_.folder;
    return DestinationText(destfolder_, payload::ReadWideField(trailer_.defaultsubfolder));
}

std::u16string Triform::FolderRefusal(const std::u16string& folder) const {
    if (std::u16string refusal = DestinationRefusal(folder, language_); !refusal.empty()) return refusal;
    // One folder, one product: another product's record stays its own.
    const std::u16string bare = setuputil::RemoveBackslash(folder);
    const installengine::RecordInFolder inplace = installengine::FindRecordInFolder(bare, Product(trailer_));
    if (inplace.kind == installengine::RecordInFolder::Kind::OtherProduct) {
        const std::u16string product = ShownProduct();
        return Text(TextId::FolderHoldsOtherProduct,
                    {{u"folder", bare},
                     {u"other", inplace.record.displayname.empty() ? inplace.record.productname : inplace.record.displayname},
                     {u"product", product}});
    }
    if (!IntoInstalledFolder() || installengine::IsSameFolderHere(folder, installed_.folder)) return {};
    return Text(TextId::InstalledElsewhere, {{u"product", ShownProduct()}, {u"folder", installed_.folder}});
}

unsigned long Triform::CancelWaitMs() const { return IntoInstalledFolder() ? kUpdateCancelWaitMs : kCancelWaitMs; }

void Triform::LogUpdateEnd() {
    if (!engine_) return;
    const installengine::InstallWorker::UpdateEnd end = engine_->UpdateOutcome();
    if (!end.rolledback) return;
    Log(u"outcome: " +
        (end.unrestored.empty() ? Text(TextId::UpdateRestored) : Text(TextId::UpdateNotRestored, {{u"what", end.unrestored}})));
}

// --- texts ---

void Triform::FormShow() {
    const std::u16string product = ShownProduct();
    if (uninstallmode_) {
        const auto t = MakeUninstallTexts(language_, product);
        SetText(t.caption);
        welcometitle.SetText(t.welcometitle);
        welcomelabel.SetText(t.welcomelabel);
        clicknext1.SetText(t.clicknext1);
        uninstallfinishlabel.SetText(t.uninstallfinishlabel);
    } else {
        const auto t =
            MakeInstallTexts(language_, product, AnsiToWide(payload::ReadShortString(trailer_.productversion)));
        SetText(t.caption);
        welcometitle.SetText(t.welcometitle);
        welcomelabel.SetText(t.welcomelabel);
        license.SetText(AnsiToWide(licensetext_));
        installpathlabel.SetText(t.installpathlabel);
        installpath.SetText(ProposedFolder());
        // With the tasks page after it, the destination page only leads on.
        clicknext2.SetText(HasTasksPage() ? Text(TextId::ClickNextToContinue) : t.clicknext2);
        clicknext3.SetText(t.clicknext2);
        for (std::size_t i = 0; i < taskboxes.size(); ++i)
            taskboxes[i]->SetChecked(std::find(chosentasks_.begin(), chosentasks_.end(),
                                               declarations_.tasks[i].name) != chosentasks_.end());
        installinglabel.SetText(t.installinglabel);
        finishlabel.SetText(t.finishlabel);
        launch.SetText(t.launch);
    }
    // Heights of the labels just filled feed the layout.
    RunLayout();
    next.Focus();
}

// --- navigation ---

void Triform::BeginInstall(const std::u16string& chosen) {
    // The installed folder by another spelling (a short name, another
    // letter case) is the installed folder, as its registration spells it.
    const std::u16string folder =
        IntoInstalledFolder() && installengine::IsSameFolderHere(chosen, installed_.folder) ? installed_.folder : chosen;
    Log(u"destination: " + folder);
    if (!taskboxes.empty()) {
        chosentasks_.clear();
        for (std::size_t i = 0; i < taskboxes.size(); ++i)
            if (taskboxes[i]->Checked()) chosentasks_.push_back(declarations_.tasks[i].name);
    }
    if (!declarations_.tasks.empty()) {
        std::u16string tasks;
        for (const std::string& task : chosentasks_) tasks += (tasks.empty() ? u"" : u",") + AnsiToWide(task);
        Log(u"tasks: " + tasks);
    }
    engine_ = installengine::CreateInstallWorker(*this, installerpath_, scope_, payloadkind_);
    engine_->HandOver(static_cast<std::int64_t>(trailer_.licenseoffset), Product(trailer_),
                      payload::ReadShortString(trailer_.exename));
    engine_->SetDeclarations(declarations_);
    if (!engine_->OpenArchive()) {
        const std::u16string problem = Text(TextId::SetupDataProblem, {{u"error", engine_->ErrorText()}});
        Log(problem);
        if (!options_.unattended) setuputil::ShowErrorBox(Handle(), problem, Text(TextId::ErrorCaption));
    }
    engine_->SetInstallFolder(folder);
    engine_->Start();
}

void Triform::ShowInstallingPage(const std::u16string& folder) {
    ShowPage(installingpage);
    next.SetEnabled(false);
    back.SetEnabled(false);
    RunLayout();
    cancel.Focus();
    BeginInstall(folder);
}

void Triform::NextClick() {
    if (CurrentPage() == &destinationpage) {
        const std::u16string folder = installpath.Text();
        const std::u16string refusal = FolderRefusal(folder);
        if (!refusal.empty()) {
            setuputil::ShowErrorBox(Handle(), refusal, Text(TextId::ErrorCaption));
            installpath.Focus();
            return;
        }
        if (HasTasksPage()) {
            ShowPage(taskspage);
            RunLayout();
        } else {
            ShowInstallingPage(folder);
        }
    } else if (CurrentPage() == &taskspage) {
        // The folder as the destination page checked it.
        ShowInstallingPage(installpath.Text());
    } else if (CurrentPage() == &licensepage) {
        ShowPage(destinationpage);
        RunLayout();
    } else if (CurrentPage() == &welcomepage) {
        if (uninstallmode_) {
            uninstalling_ = true;
            installengine::RunUninstallSequence(*this, scope_);
            uninstalling_ = false;
            return;
        }
        back.SetEnabled(true);
        if (trailer_.haslicense != 0) {
            ShowPage(licensepage);
            if (!agree.Checked()) next.SetEnabled(false);
        } else {
            ShowPage(destinationpage);
        }
        RunLayout();
    }
}

void Triform::BackClick() {
    if (CurrentPage() == &taskspage) {
        ShowPage(destinationpage);
    } else if (CurrentPage() == &licensepage) {
        next.SetEnabled(true);
        back.SetEnabled(false);
        ShowPage(welcomepage);
    } else if (CurrentPage() == &destinationpage) {
        if (trailer_.haslicense != 0) {
            ShowPage(licensepage);
        } else {
            ShowPage(welcomepage);
            back.SetEnabled(false);
        }
    }
}

void Triform::agreeClick() { next.SetEnabled(agree.Checked()); }

void Triform::cancelClick() {
    // A close request can arrive while the question is open: one question.
    if (cancelling_ || asking_) return;
    const auto ask = [this](const std::u16string& question) {
        asking_ = true;
        const bool yes = gui::AskWarningYesNo(Handle(), question, Text(TextId::WarningCaption));
        asking_ = false;
        return yes;
    };
    if (CurrentPage() == &installingpage && engine_) {
        engine_->Suspend();
        if (!ask(Text(TextId::CancelInstallQuestion))) {
            engine_->Resume();
            return;
        }
        cancelling_ = true;
        installinglabel.SetText(Text(TextId::CancellingLabel));
        installprogress.SetPosition(0);
        cancel.SetEnabled(false);
        Log(u"outcome: " + Text(TextId::CancellingLabel));
        // The stop request first: a worker let go before it is set could
        // pass its next check point and begin another step.
        engine_->Terminate();
        engine_->Resume();
        const bool stopped = engine_->WaitFor(CancelWaitMs());
        exitcode_ = engine_->BeganWriting() ? kExitFailed : kExitRefused;
        if (!stopped) EndProgramNow();
        LogUpdateEnd();
        Close();
        return;
    }
    // The uninstall removes things step by step on this thread; it is not
    // interrupted halfway (this click can arrive while it handles messages).
    if (uninstalling_) return;
    const std::u16string question = Text(uninstallmode_ ? TextId::CancelUninstallQuestion : TextId::CancelInstallQuestion);
    if (ask(question)) {
        Log(u"outcome: " + question + u" Yes");
        Close();
    }
}

bool Triform::FormCloseQuery() {
    // The question and the bounded wait of Cancel, not an end that waits
    // for the worker without a limit.
    if (CurrentPage() != &installingpage) return true;
    cancelClick();
    return false;
}

void Triform::EndProgramNow() {
    // At once, without waiting for the worker or unwinding the forms it may
    // still call into.  Not ExitProcess: a worker cut off while it holds a
    // lock of the loader or the heap would leave that call waiting for ever.
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(EndOfRun()));
    for (;;) ::Sleep(INFINITE);
}

void Triform::changeClick() {
    if (!dir_) return;
    dir_->directory.ShowPath(destfolder_);
    if (dir_->Choose() != gui::kResultOk) return;
    destfolder_ = dir_->directory.SelectedPath();
    installpath.SetText(DestinationText(destfolder_, payload::ReadWideField(trailer_.defaultsubfolder)));
}

void Triform::finishClick() {
    if (!uninstallmode_) {
        const std::u16string folder = installpath.Text();
        if (launch.Checked()) {
            // As the user who started the installer, not with its
            // administrator rights: a program first started elevated keeps
            // its settings where that user never finds them.
            const std::u16string program = FileInFolder(folder, AnsiToWide(payload::ReadShortString(trailer_.exename)));
            const setuputil::StartedAs how =
                setuputil::RunAsSignedInUser(program, u"", setuputil::RemoveBackslash(folder), false);
            Log(u"run: \"" + program + u"\" " +
                (how == setuputil::StartedAs::User       ? u"as the user"
                 : how == setuputil::StartedAs::Elevated ? u"with the installer's rights (the desktop shell could not be reached)"
                                                         : u"could not be started"));
        }
        if (readme.Checked()) setuputil::ShellOpen(FileInFolder(folder, u"readme.txt"));
        ::Sleep(100);
    }
    Close();
}

void Triform::ShowFinishButtons() {
    back.SetEnabled(false);
    next.Hide();
    finish.Show();
    cancel.SetEnabled(false);
    finish.Focus();
}

void Triform::InstallFinished() {
    // After a confirmed cancel the program is ending: the worker's report
    // (it may have been past its last check point) changes nothing.
    if (cancelling_) return;
    if (installfailed_) {
        const std::u16string message =
            Text(TextId::InstallationError, {{u"error", engine_ ? engine_->ErrorText() : std::u16string()}});
        // A worker that failed before writing (its preparation failed)
        // changed nothing.
        exitcode_ = engine_ && engine_->BeganWriting() ? kExitFailed : kExitRefused;
        if (engine_) {
            // Files in use, and the installed version whole again.
            const installengine::InstallWorker::UpdateEnd end = engine_->UpdateOutcome();
            if (end.fileinuse && end.rolledback && end.unrestored.empty()) exitcode_ = kExitFilesInUse;
        }
        Log(u"outcome: " + message);
        LogUpdateEnd();
        if (!options_.unattended) gui::ShowErrorMessage(Handle(), message, Text(TextId::ErrorCaption));
        if (gui::Application* application = gui::Application::Current()) application->Terminate();
        return;
    }
    exitcode_ = kExitDone;
    Log(u"outcome: " + Text(TextId::FinishLabel, {{u"product", ShownProduct()}}));
    // A prerequisite asked for a restart: said on the finish page, and
    // by the system's own exit code for it.
    const bool restart = engine_ && engine_->RestartNeeded();
    if (restart) {
        exitcode_ = kExitRestartNeeded;
        Log(u"outcome: " + Text(TextId::RestartNeeded));
    }
    if (options_.unattended) return;
    if (restart) finishlabel.SetText(finishlabel.Text() + u"\n\n" + Text(TextId::RestartNeeded));
    ShowPage(finishpage);
    RunLayout();
    ShowFinishButtons();
}

void Triform::SetInstallStatus(const std::u16string& text) {
    if (!text.empty()) Log(u"status: " + text);
    if (options_.unattended) return;
    installinglabel.SetText(text.empty() ? MakeInstallTexts(language_, AnsiToWide(Product(trailer_)),
                                                            AnsiToWide(payload::ReadShortString(trailer_.productversion)))
                                               .installinglabel
                                         : text);
    RunLayout();
}

Triform::FileInUseAnswer Triform::AnswerFileInUse(const std::u16string& file,
                                                  const installengine::FileHolders& holders) {
    if (options_.unattended) return FileInUseAnswer::Cancel;
    std::u16string programs;
    for (const std::u16string& holder : holders.names) programs += (programs.empty() ? u"" : u", ") + holder;
    // Programs the system names and can close are offered to be closed
    // first; No leaves them to the user and asks the plain question.
    if (holders.closable && !holders.names.empty()) {
        const std::u16string offer = Text(TextId::CloseHolders, {{u"file", file}, {u"programs", programs}});
        const bool close = setuputil::AskYesNo(Handle(), offer, Text(TextId::ConfirmCaption));
        Log(u"question: " + offer + (close ? u" Yes" : u" No"));
        if (close) return FileInUseAnswer::CloseHoldersAndRetry;
    }
    const std::u16string question = holders.names.empty() ? Text(TextId::FileInUse, {{u"file", file}})
                                                    : Text(TextId::FileInUseBy, {{u"file", file}, {u"programs", programs}});
    const bool retry = setuputil::AskRetryCancel(Handle(), question, Text(TextId::ErrorCaption));
    Log(u"question: " + question + (retry ? u" Retry" : u" Cancel"));
    return retry ? FileInUseAnswer::Retry : FileInUseAnswer::Cancel;
}

// --- the uninstall sequence's events ---

void Triform::UninstallStarted(const std::u16string& title, const std::u16string& label) {
    // From here the uninstall changes the machine.
    exitcode_ = kExitFailed;
    if (options_.unattended) return;
    ShowPage(installingpage);
    installingtitle.SetText(title);
    installinglabel.SetText(label);
}

void Triform::ProcessMessages() {
    if (gui::Application* application = gui::Application::Current()) application->ProcessMessages();
}

void Triform::UninstallFinished(const std::u16string& kept) {
    exitcode_ = kExitDone;
    const std::u16string done = Text(TextId::UninstallFinishLabel, {{u"product", ShownProduct()}});
    Log(u"outcome: " + done);
    if (!kept.empty()) Log(u"kept: " + kept);
    if (options_.unattended) return;
    if (!kept.empty()) uninstallfinishlabel.SetText(done + u"\n\n" + kept);
    ShowPage(uninstallfinishpage);
    RunLayout();
    ShowFinishButtons();
}

void Triform::UninstallStopped(const std::u16string& reason) {
    // The installing page stays, with the reason in place of the progress
    // text; Cancel ends the program (exit code 1: the uninstall began).
    Log(u"outcome: " + reason);
    if (options_.unattended) return;
    installinglabel.SetText(reason);
    RunLayout();
}

bool Triform::Ask(const std::u16string& question) {
    // Nobody is there to say Yes: what needs a person's word is kept.
    const bool yes = !options_.unattended && setuputil::AskYesNo(Handle(), question, Text(TextId::ConfirmCaption));
    Log(u"question: " + question + (yes ? u" Yes" : u" No"));
    return yes;
}

// --- the unattended run ---

int Triform::RunUnattended() {
    if (startupfailed_) return EndOfRun();
    try {
        if (uninstallmode_) {
            uninstalling_ = true;
            installengine::RunUninstallSequence(*this, scope_);
            uninstalling_ = false;
        } else {
            // /D=, or what the destination page would propose.
            const std::u16string folder = options_.destination ? *options_.destination : ProposedFolder();
            const std::u16string refusal = FolderRefusal(folder);
            if (!refusal.empty()) {
                Log(u"destination: " + folder);
                StartupFailed(refusal);
            } else {
                BeginInstall(folder);
                engine_->WaitFor(INFINITE);
            }
        }
    } catch (const std::exception& error) {
        // The wizard's window procedure would show it; here the log does.
        Log(u"outcome: " + AnsiToWide(error.what()));
        exitcode_ = kExitFailed;
    }
    return EndOfRun();
}

int Triform::EndOfRun() {
    Log(u"exit code: " + AnsiToWide(setuputil::Int64ToText(exitcode_)));
    return exitcode_;
}

}  // namespace mainunit
