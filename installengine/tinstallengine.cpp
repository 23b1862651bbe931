#include "installengine/tinstallengine.hpp"

#include "installengine/declaredeffects.hpp"
#include "installengine/installinputs.hpp"
#include "installengine/shellintegration.hpp"
#include "installengine/fileholders.hpp"
#include "installengine/installedproduct.hpp"
#include "installengine/installrecordfile.hpp"
#include "installengine/prerequisites.hpp"
#include "installengine/vendorprograms.hpp"
#include "installengine/programfolderproof.hpp"
#include "installengine/protectedfolders.hpp"
#include "installengine/shortcutplaces.hpp"
#include "installengine/uninstallerfile.hpp"
#include "installengine/uninstallguard.hpp"
#include "installengine/updateplan.hpp"
#include "payload/entrypath.hpp"
#include "payload/payloadcheck.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/fileops.hpp"
#include "setuputil/namefold.hpp"
#include "setuputil/pathrules.hpp"
#include "setuputil/platform.hpp"
#include "setuputil/registry.hpp"
#include "setuputil/services.hpp"
#include "setuputil/shellopen.hpp"
#include "setuputil/shortcuts.hpp"
#include "setuputil/shellfolders.hpp"
#include "setuputil/textconv.hpp"
#include "setuputil/versioninfo.hpp"
#include "setuputil/windowsearch.hpp"
#include "setuputil/wintext.hpp"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

namespace installengine {

using namespace setuputil;

namespace {

// The old service needs a moment to go before its name can be used again.
constexpr DWORD kPausePerService = 1000;
// For the eye: the bar at 90 and 100 stays long enough to be seen.
constexpr DWORD kPauseBefore90 = 100;
constexpr DWORD kPauseBefore100 = 200;
constexpr DWORD kPauseAfter100 = 40;
// Files are compared in blocks through the archive's transfer buffers.
constexpr std::uint32_t kCopyBlock = 65536;
static_assert(kCopyBlock <= payload::kTransferBufferSize);

// A file another program holds: an unattended update tries again this long.
constexpr DWORD kUnattendedRetryMs = 5000;
constexpr DWORD kRetryPauseMs = 250;

constexpr char16_t kTextNotPrepared[] = u"The setup data could not be opened.";
constexpr char16_t kTextUnknownFailure[] = u"Unexpected failure.";

}  // namespace

tinstallengine::tinstallengine(InstallHost& host, std::u16string installerpath, payload::InstallScope scope,
                               payload::PayloadKind kind)
    : host_(host), installerpath_(std::move(installerpath)), scope_(scope), kind_(kind) {}

tinstallengine::~tinstallengine() {
    // gui::Thread's destructor stops the body; make sure it has before our
    // members go (the body uses them).
    if (Started() && !Finished()) {
        gui::Thread::Terminate();
        gui::Thread::Resume();
        gui::Thread::WaitFor(INFINITE);
    }
    if (uninstallerfile.handle != 0) CloseAccess(uninstallerfile);
}

void tinstallengine::HandOver(std::int64_t licenseoffset, const std::string& productname, const std::string& exename) {
    licenseoffset_ = licenseoffset;
    productname_ = productname;
    exename_ = exename;
}

bool tinstallengine::OpenArchive() {
    return archive_.OpenArchive(installerpath_, host_.Trailer().archiveoffset, licenseoffset_, kind_);
}

std::u16string tinstallengine::ErrorText() const {
    // The texts of this worker and of extraction are the host's to word;
    // the archive's finer reasons stay as they are.
    using payload::TextId;
    const std::u16string text = errortext_.empty() ? archive_.errortext() : errortext_;
    const std::u16string createprefix = payload::kTextCannotCreatePrefix;
    if (text.size() > createprefix.size() && text.compare(0, createprefix.size(), createprefix) == 0 &&
        text.back() == u')')
        return host_.Text(TextId::CannotCreateFile,
                          {{u"file", std::u16string_view(text).substr(createprefix.size(),
                                                                      text.size() - createprefix.size() - 1)}});
    const std::pair<const char16_t*, TextId> known[] = {
        {kTextNotPrepared, TextId::SetupDataNotOpened},      {kTextUnknownFailure, TextId::UnexpectedFailure},
        {payload::kTextNoFolder, TextId::CannotCreateFolder}, {payload::kTextCannotSeek, TextId::CannotSeekSetupFile},
        {payload::kTextShortRead, TextId::CannotReadSetupFile}, {payload::kTextCorrupt, TextId::FileCorrupt},
        {payload::kTextWriteFailed, TextId::CannotWriteFile}, {payload::kDamagedInstaller, TextId::DamagedInstaller}};
    for (const auto& [english, id] : known)
        if (text == english) return host_.Text(id);
    return text;
}

InstallInputs tinstallengine::Inputs() const {
    const bool peruser = scope_ == payload::InstallScope::User;
    const MachineFolders folders{GetProgramsFolder(), GetStartMenuFolder(), GetDesktopFolder(),
                                 peruser ? u"" : GetWindowsFolder(), peruser ? GetLocalAppDataFolder() : u"",
                                 IsWin2000OrLater()};
    InstallInputs in =
        InputsFromInstaller(host_.Trailer(), archive_.entrylist(), scope_, archive_.installfolder(), folders);
    in.exename = exename_;
    in.productname = productname_;
    // The builder stamps the vendor's name into the installer's version
    // resource, and a name the 8-bit code page lacks into the names record.
    const payload::ProductNames names = host_.ProductNames();
    in.displayname = names.productname;
    in.publisher = names.productname.empty() ? ReadVersionString(installerpath_, u"CompanyName") : names.publisher;
    in.recordid = NewInstallRecordId();
    in.language = host_.LanguageCode();
    in.uninstallcaption = host_.Text(payload::TextId::UninstallShortcut, {{u"product", DisplayName(in)}});
    in.tasks = host_.ChosenTasks();
    // No desktop folder, no desktop shortcut: not made, not recorded, and
    // an update drops the installed version's one.
    if (!WantsDesktopShortcut(declarations_, in)) in.desktopfolder.clear();
    return in;
}

void tinstallengine::Publish(int position) {
    progress = position;
    Synchronize([this] { host_.SetInstallProgress(progress); });
}

void tinstallengine::SyncProgress(int position) {
    // Extraction reports after every chunk, the bar moves in whole steps: a
    // report of the position already shown would change nothing on screen
    // and still cost a round trip to the GUI thread.
    if (position != progress) Publish(position);
}

void tinstallengine::RequestTermination() {
    readfailure_ = true;
    gui::Thread::Terminate();
}

void tinstallengine::SyncFinished() {
    reported_ = true;
    Synchronize([this] {
        host_.SetInstallFailed(failed);
        host_.InstallFinished();
    });
}

void tinstallengine::BeforeStep(InstallStep, int) {}

void tinstallengine::Pause(unsigned long milliseconds) { ::Sleep(milliseconds); }

void tinstallengine::PauseForTheEye(unsigned long milliseconds) {
    if (host_.Watched()) Pause(milliseconds);
}

bool tinstallengine::StopBefore(InstallStep step, int slot) {
    BeforeStep(step, slot);
    // The pause gate: while the cancel question is open the worker waits
    // here, so a Yes finds it before the step, not inside it.
    CheckPoint();
    return Terminated();
}

bool tinstallengine::RunPrerequisites() {
    const auto& prerequisites = declarations_.prerequisites;
    for (std::size_t i = 0; i < prerequisites.size(); ++i) {
        if (StopBefore(InstallStep::Prerequisite, static_cast<int>(i))) return false;
        const payload::PrerequisiteDeclaration& p = prerequisites[i];
        std::u16string found;
        if (PrerequisitePresent(p, found)) {
            host_.Log(u"prerequisite present, skipped: " + p.caption + u" (" + found + u")");
            prerequisitesmet_.push_back(RecordedPrerequisite(p.file, true, 0));
            continue;
        }
        const auto& entries = archive_.entrylist();
        std::size_t index = 0;
        while (index < entries.size() && !(entries[index].prerequisite && SameName(entries[index].filename, p.file)))
            ++index;
        if (index == entries.size()) {
            // The builder packs every declared prerequisite.
            errortext_ = payload::kDamagedInstaller;
            return false;
        }
        Synchronize([&] { host_.SetInstallStatus(host_.Text(payload::TextId::InstallingPrerequisite, {{u"prerequisite", p.caption}})); });
        beganwriting_ = true;
        const std::u16string folder = NewPrivateTempFolder();
        if (folder.empty() || !archive_.ExtractEntryAs(index, folder, p.file)) {
            if (!folder.empty()) RemovePrivateTempFolder(folder, p.file);
            if (folder.empty()) errortext_ = payload::kTextNoFolder;
            return false;
        }
        std::u16string program, arguments;
        PrerequisiteCommand(AddBackslash(folder) + p.file, PrerequisiteArguments(p, !host_.Watched()), program, arguments);
        host_.Log(u"prerequisite: " + p.caption + u": \"" + program + u"\" " + arguments);
        unsigned long code = 0;
        const bool started = setuputil::RunProgram(program, arguments, folder, false, true, &code);
        if (!RemovePrivateTempFolder(folder, p.file)) host_.Log(u"left in the temporary folder: " + folder);
        const std::u16string product = payload::ShownName(host_.ProductNames(), productname_);
        if (!started) {
            errortext_ = host_.Text(payload::TextId::PrerequisiteNotStarted, {{u"prerequisite", p.caption}, {u"product", product}});
            return false;
        }
        const std::u16string codetext = AnsiToWide(Int64ToText(code));
        host_.Log(u"prerequisite exit code: " + codetext);
        if (!IsSuccessCode(p.successcodes, static_cast<std::uint32_t>(code))) {
            errortext_ = host_.Text(payload::TextId::PrerequisiteFailed,
                                    {{u"prerequisite", p.caption}, {u"code", codetext}, {u"product", product}});
            return false;
        }
        if (code == payload::kExitCodeRestartNeeded) restartneeded_ = true;
        prerequisitesmet_.push_back(RecordedPrerequisite(p.file, false, static_cast<std::uint32_t>(code)));
    }
    if (!prerequisites.empty()) Synchronize([&] { host_.SetInstallStatus(u""); });
    return true;
}

bool tinstallengine::RunAfterInstall(const InstallInputs& in) {
    const std::vector<payload::RunDeclaration> runs =
        RunsAt(declarations_, updateend_.update ? payload::RunWhen::AfterUpdate : payload::RunWhen::AfterInstall);
    const std::u16string folder = BareFolder(in);
    const std::u16string version = AnsiToWide(in.productversion), lang = AnsiToWide(in.language);
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (StopBefore(InstallStep::AfterInstallRun, static_cast<int>(i))) return true;
        const payload::RunDeclaration& run = runs[i];
        const std::u16string program = folder + u"\\" + run.program;
        const std::u16string arguments = payload::FillPlaceholders(run.arguments, folder, version, lang);
        host_.Log(u"run: \"" + program + u"\" " + arguments);
        const ProgramRun result = RunVendorProgram(run, program, arguments, folder, !run.elevated);
        host_.Log(u"run: " + result.how);
        if (result.waited) host_.Log(u"run exit code: " + AnsiToWide(Int64ToText(result.exitcode)));
        const bool ok = result.started && (!result.waited || IsSuccessCode(run.successcodes, result.exitcode));
        if (!ok && run.failonerror) {
            errortext_ = host_.Text(payload::TextId::ProgramFailed,
                                    {{u"program", program},
                                     {u"code", result.started ? AnsiToWide(Int64ToText(result.exitcode)) : u"-"}});
            return false;
        }
    }
    return true;
}

void tinstallengine::CloseRunningCopy() {
    const std::string pattern = WideToAnsi(TrimSpacesAndReturns(AnsiToWide(productname_)) + u" (*");
    if (WindowHandle window = FindWindowByTitle(pattern)) {
        host_.Log(u"close running copy: " + AnsiToWide(pattern));
        SendCloseRequest(window);
    }
}

void tinstallengine::RemoveEarlierServices() {
    if (!IsWin2000OrLater() || scope_ == payload::InstallScope::User) return;
    if (ReadMachineRegString(AppPathsKeyFor(exename_), kDisplaynameValue, "").empty()) return;
    std::vector<payload::ServiceSlot> slots = payload::UsedServiceSlots(host_.Trailer());
    // An update also removes the installed version's services that the new
    // version no longer has: their programs are among the files it removes.
    if (haveinstalledrecord_)
        for (const std::u16string& recorded : installedrecord_.services) {
            const std::string name = WideToAnsi(recorded);
            const bool kept = std::any_of(slots.begin(), slots.end(), [&](const payload::ServiceSlot& slot) {
                return SameName(AnsiToWide(slot.name), recorded);
            });
            if (!kept && HasCompletingName(name)) slots.push_back({"", name});
        }
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (StopBefore(InstallStep::RemoveEarlierService, static_cast<int>(i))) return;
        const payload::ServiceSlot& slot = slots[i];
        beganwriting_ = true;
        host_.Log(u"remove earlier service: " + AnsiToWide(slot.name));
        const bool running = IsServiceRunning(slot.name);
        if (running) StopServiceNamed(slot.name);
        if (DeleteServiceNamed(slot.name) && journal_.Active()) {
            // Put back, should the update fail, with the program the
            // installed version registered for it.
            const std::string key = AppPathsKeyFor(exename_);
            std::string program = slot.program;
            for (std::size_t n = 0; n < kRegisteredServiceSlots; ++n)
                if (ReadMachineRegString(key, ServiceNameValue(n), "") == slot.name)
                    program = ReadMachineRegString(key, ServiceProgramValue(n), "");
            if (!program.empty())
                journal_.SnapshotService(slot.name, AddBackslash(archive_.installfolder()) + AnsiToWide(program),
                                         running);
        }
        ::Sleep(kPausePerService);
    }
}

namespace {

// True when both files hold the same bytes; read through the two transfer
// buffers.
bool SameContent(const std::u16string& a, const std::u16string& b, std::uint8_t* bufa, std::uint8_t* bufb) {
    ScopedFileAccess first, second;
    if (!OpenForRead(first.file, a) || !OpenForRead(second.file, b)) return false;
    const std::int64_t size = GetFileSize64(first.file);
    if (size < 0 || size != GetFileSize64(second.file)) return false;
    for (std::int64_t done = 0; done < size;) {
        const std::int64_t left = size - done;
        const std::uint32_t want = left < kCopyBlock ? static_cast<std::uint32_t>(left) : kCopyBlock;
        std::uint32_t counta = want, countb = want;
        ReadBlock(first.file, bufa, counta);
        ReadBlock(second.file, bufb, countb);
        if (counta != want || countb != want || std::memcmp(bufa, bufb, want) != 0) return false;
        done += want;
    }
    return true;
}

}  // namespace

bool tinstallengine::WriteStubCopy(const std::u16string& path) {
    if (!OpenForWrite(uninstallerfile, path)) return false;
    const bool whole = archive_.CopyStub(uninstallerfile, host_.Trailer().archiveoffset);
    return CloseAccess(uninstallerfile) && whole;
}

bool tinstallengine::WriteSignedUninstaller(const std::u16string& path) {
    const auto& entries = archive_.entrylist();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].uninstaller) continue;
        const std::size_t slash = path.find_last_of(u'\\');
        return archive_.ExtractEntryAs(i, path.substr(0, slash), path.substr(slash + 1));
    }
    return false;
}

bool tinstallengine::CopyUninstaller(const InstallInputs& in) {
    // Written whole under a name of its own first: a failed copy never
    // leaves a partial uninstaller for the registration to name.  The
    // signed uninstaller the installer carries takes the place of the copy
    // of the stub.
    const std::u16string target = UninstallerPath(in);
    if (target.empty()) {
        errortext_ = payload::kTextCannotCreatePrefix + AnsiToWide(in.exename) + u")";
        archive_.CloseArchive();
        return false;
    }
    host_.Log(u"file: " + target);
    const std::u16string folder = UninstallerFolder(in.windowsfolder);
    const std::u16string copy = ForceFolders(folder) ? NewTemporaryFile(folder) : u"";
    const bool carried = std::any_of(archive_.entrylist().begin(), archive_.entrylist().end(),
                                     [](const payload::DirectoryEntry& e) { return e.uninstaller; });
    bool ok = !copy.empty() && (carried ? WriteSignedUninstaller(copy) : WriteStubCopy(copy));
    // An uninstaller with the same bytes stays as it is: its uninstall may
    // be running it.
    if (ok && IsPlainFile(target) &&
        SameContent(copy, target, archive_.inbuffer(), archive_.outbuffer())) {
        RemoveFile(copy);
    } else if (ok && journal_.Active()) {
        // An update keeps the installed version's uninstaller until it has succeeded.
        const bool existed = IsPlainFile(target);
        ok = MoveAsideRetrying(target, true) != UpdateJournal::Move::Failed && !IsPlainFile(target) &&
             MoveOver(copy, target);
        if (ok && !existed) journal_.NoteNewFile(target);
    } else if (ok) {
        ok = MoveOver(copy, target);
    }
    if (!ok) {
        if (!copy.empty()) RemoveFile(copy);
        errortext_ = payload::kTextCannotCreatePrefix + target + u")";
    }
    archive_.CloseArchive();
    return ok;
}

void tinstallengine::NoteNewFolders(const payload::DirectoryEntry& entry) {
    std::u16string relative;
    std::size_t at = 0;
    const std::u16string& sub = entry.subfolder;
    while (at < sub.size()) {
        const std::size_t next = sub.find(u'\\', at + 1);
        const std::u16string part = sub.substr(at, next == std::u16string::npos ? std::u16string::npos : next - at);
        at = next == std::u16string::npos ? sub.size() : next;
        if (part.size() <= 1) continue;  // the tolerated trailing backslash
        relative += (relative.empty() ? u"" : u"\\") + part.substr(1);
        if (!seenfolders_.insert(relative).second) continue;
        if (!FolderExists(AddBackslash(archive_.installfolder()) + relative)) {
            createdfolders_.push_back(relative);
            if (journal_.Active()) journal_.NoteNewFolder(relative);
        }
    }
}

bool tinstallengine::WriteRecord(const InstallInputs& in) {
    InstallRecord record = PlanInstallRecord(in);
    record.foldercreated = foldercreated_;
    record.folders = createdfolders_;
    record.files = writtenfiles_;
    declaredplan_ = PlanDeclared(declarations_, in);
    RecordDeclared(declaredplan_, scope_, haveinstalledrecord_ ? &installedrecord_ : nullptr, record);
    RecordShell(host_, declaredplan_, scope_, haveinstalledrecord_ ? &installedrecord_ : nullptr, record);
    record.tasks = TaskChoices(declarations_, in);
    record.prerequisites = prerequisitesmet_;
    for (const payload::RunDeclaration& run : RunsAt(declarations_, payload::RunWhen::BeforeUninstall))
        record.uninstallruns.push_back(RecordedRun(
            run, payload::FillPlaceholders(run.arguments, BareFolder(in), AnsiToWide(in.productversion),
                                           AnsiToWide(in.language))));
    if (haveinstalledrecord_) {
        // The installed version's folders the new one still uses were
        // created by an install of the product too; parents stay first.
        std::vector<std::u16string> folders;
        for (const std::u16string& folder : installedrecord_.folders)
            if (std::find(droppedfolders_.begin(), droppedfolders_.end(), folder) == droppedfolders_.end())
                folders.push_back(folder);
        folders.insert(folders.end(), createdfolders_.begin(), createdfolders_.end());
        record.folders = folders;
    }
    const std::u16string path = InstallRecordPath(record.programfolder);
    host_.Log(u"file: " + path);
    if (journal_.Active()) {
        if (MoveAsideRetrying(kInstallRecordName) == UpdateJournal::Move::Failed || IsPlainFile(path)) {
            errortext_ = payload::kTextCannotCreatePrefix + path + u")";
            return false;
        }
        journal_.NoteNewFile(kInstallRecordName);
    }
    newrecord_ = record;
    // An empty archive has made no folder yet: the record needs one.
    if (ForceFolders(record.programfolder) && WriteInstallRecord(record)) return true;
    errortext_ = payload::kTextCannotCreatePrefix + path + u")";
    return false;
}

void tinstallengine::Register(const InstallInputs& in) {
    const RegistrationPlan plan = PlanRegistration(in);
    const tregistry registry(RegistrationRoot(scope_));
    const std::u16string root = scope_ == payload::InstallScope::User ? u"HKCU\\" : u"HKLM\\";
    const auto write = [&](const RegValue& v) {
        const std::u16string name = v.name.empty() ? u"(default)" : AnsiToWide(v.name);
        host_.Log(u"registry: " + root + AnsiToWide(v.key) + u" " + name);
        if (v.kind == RegValueKind::Number)
            registry.WriteDword(v.key, v.name, v.number);
        else if (v.kind == RegValueKind::WideText)
            registry.WriteWideString(v.key, v.name, v.widevalue);
        else
            registry.WriteString(v.key, v.name, v.value);
    };
    if (journal_.Active()) {
        journal_.SnapshotKey(RegistrationRoot(scope_), AppPathsKeyFor(in.exename));
        journal_.SnapshotKey(RegistrationRoot(scope_), UninstallKeyFor(in.productname));
    }
    for (const RegValue& v : plan.appvalues) write(v);
    for (std::size_t i = 0; i < plan.services.size(); ++i) {
        // A stop leaves the services not yet installed out of the record;
        // the uninstall values below still complete it.
        if (StopBefore(InstallStep::Service, static_cast<int>(i))) break;
        const ServiceInstall& service = plan.services[i];
        host_.Log(u"service: " + AnsiToWide(service.name) + u" " + service.programpath);
        if (InstallService(service.name, service.programpath)) {
            if (journal_.Active()) journal_.NoteServiceInstalled(service.name);
            StartServiceNamed(service.name);
        }
        write(service.programvalue);
        write(service.namevalue);
    }
    for (const RegValue& v : plan.uninstallvalues) write(v);
    ApplyDeclared(host_, declaredplan_, scope_, haveinstalledrecord_ ? &installedrecord_ : nullptr, journal_);
    // What the installed version made for the shell and this one no longer declares goes first.
    if (haveinstalledrecord_) UndoShell(host_, installedrecord_, &newrecord_, scope_, &journal_);
    ApplyShell(host_, declaredplan_, newrecord_, scope_, journal_);
}

bool tinstallengine::CreateShortcuts(const InstallInputs& in) {
    groupfolder = GroupFolder(in);
    if (journal_.Active() && !groupfolder.empty()) {
        // The Start-menu folders this update makes go again on a rollback.
        std::vector<std::u16string> missing;
        for (std::u16string f = RemoveBackslash(groupfolder); !f.empty() && !FolderExists(f); f = ParentFolder(f))
            missing.insert(missing.begin(), f);
        for (const std::u16string& f : missing) journal_.NoteNewFolder(f);
    }
    const bool havegroup = !groupfolder.empty() && ForceFolders(groupfolder);
    // A shortcut that cannot be saved is skipped: the product is installed
    // and registered, and the other shortcuts are still made.
    const std::vector<ShortcutSpec> links = PlanShortcuts(in);
    const setuputil::ShortcutSession session;
    for (std::size_t i = 0; i < links.size(); ++i) {
        if (StopBefore(InstallStep::Shortcut, static_cast<int>(i))) return false;
        const ShortcutSpec& link = links[i];
        if (link.ingroup && !havegroup) continue;
        host_.Log(u"shortcut: " + link.linkfile);
        if (journal_.Active()) journal_.SnapshotFile(link.linkfile);
        CreateShortcut(link.target, link.arguments, link.description, link.workfolder, link.linkfile);
    }
    return true;
}

bool tinstallengine::BeginUpdate() {
    const std::u16string folder = RemoveBackslash(archive_.installfolder());
    // A first install into a folder that is not there yet makes the folder
    // the product's, with everything that ever lands in it.
    foldercreated_ = IsAbsoluteFilePath(folder) && !FolderExists(folder);
    const InstalledProduct installed = FindInstalledProduct(scope_, productname_);
    const bool intoinstalled = installed.installed && IsSameFolderHere(installed.folder, folder);
    // One folder, one product: another product's record is never taken
    // over, and the product's own record without its registration (a
    // registry cleaned by hand) is the installed version's.
    const RecordInFolder inplace = foldercreated_ ? RecordInFolder{} : FindRecordInFolder(folder, productname_);
    if (inplace.kind == RecordInFolder::Kind::OtherProduct) {
        errortext_ = host_.Text(payload::TextId::FolderHoldsOtherProduct,
                                {{u"folder", folder},
                                 {u"other", inplace.record.displayname.empty() ? inplace.record.productname
                                                                               : inplace.record.displayname},
                                 {u"product", payload::ShownName(host_.ProductNames(), productname_)}});
        return false;
    }
    if (intoinstalled) {
        host_.Log(u"update of the installed version " + AnsiToWide(installed.version) + u" in " + installed.folder);
        // Only a record proven the installed version's names files to
        // remove; its program may have had another name.
        const FolderProof proof = ProveProgramFolder(host_, installed.folder, installed.recordid, productname_, "");
        if (proof.ok) {
            haveinstalledrecord_ = true;
            installedrecord_ = proof.record;
        } else {
            host_.Log(u"no file of the installed version is removed: " + proof.reason);
        }
    } else if (inplace.kind == RecordInFolder::Kind::ThisProduct) {
        host_.Log(u"update of an unregistered install of version " + inplace.record.productversion + u" in " + folder);
        haveinstalledrecord_ = true;
        installedrecord_ = inplace.record;
    } else {
        return true;
    }
    updateend_.update = true;
    // An update keeps what the first install found; without a proven
    // record nothing says the folder was the product's alone.
    foldercreated_ = haveinstalledrecord_ && installedrecord_.foldercreated;
    if (journal_.Begin(folder)) return true;
    errortext_ = payload::kTextCannotCreatePrefix + journal_.BackupFolder() + u")";
    return false;
}

UpdateJournal::Move tinstallengine::MoveAsideRetrying(const std::u16string& relative, bool inplace) {
    const std::u16string full = inplace ? relative : AddBackslash(archive_.installfolder()) + relative;
    const DWORD start = ::GetTickCount();
    for (;;) {
        const UpdateJournal::Move result = inplace ? journal_.MoveAsideInPlace(relative) : journal_.MoveAside(relative);
        if (result != UpdateJournal::Move::InUse) return result;
        bool retry = false;
        if (host_.Watched()) {
            const FileHolders holders = ProgramsHoldingFile(full);
            host_.Log(u"file in use: " + full);
            auto answer = InstallHost::FileInUseAnswer::Cancel;
            Synchronize([&] { answer = host_.AnswerFileInUse(full, holders); });
            // Here, on the worker: the programs may take seconds to close.
            if (answer == InstallHost::FileInUseAnswer::CloseHoldersAndRetry && holders.closable)
                host_.Log((CloseProgramsHoldingFile(full) ? u"holders closed: " : u"holders still running: ") + full);
            retry = answer != InstallHost::FileInUseAnswer::Cancel;
        } else if (::GetTickCount() - start < kUnattendedRetryMs) {
            ::Sleep(kRetryPauseMs);
            retry = true;
        }
        if (!retry || Terminated()) {
            updateend_.fileinuse = !Terminated();
            return result;
        }
    }
}

bool tinstallengine::ReplaceInstalledFile(const std::u16string& relative) {
    const std::u16string full = AddBackslash(archive_.installfolder()) + relative;
    const auto cannot = [&](const std::u16string& path) {
        errortext_ = payload::kTextCannotCreatePrefix + path + u")";
        return false;
    };
    // A file of the installed version where the new one has a folder:
    // moved aside like any replaced file, so the folder can be made.
    for (std::size_t slash = relative.find(u'\\'); slash != std::u16string::npos;
         slash = relative.find(u'\\', slash + 1)) {
        const std::u16string above = relative.substr(0, slash);
        if (!IsPlainFile(AddBackslash(archive_.installfolder()) + above)) continue;
        if (MoveAsideRetrying(above) != UpdateJournal::Move::Done) return cannot(full);
    }
    // A folder of the installed version where the new one has a file: only
    // one that version created goes aside whole (the uninstall would have
    // taken it whole too); anything else is not the update's to move.
    if (FolderExists(full)) {
        const bool created = haveinstalledrecord_ &&
                             std::any_of(installedrecord_.folders.begin(), installedrecord_.folders.end(),
                                         [&](const std::u16string& f) { return SameName(f, relative); });
        if (!created || MoveAsideRetrying(relative) != UpdateJournal::Move::Done) return cannot(full);
        journal_.NoteNewFile(relative);
        return true;
    }
    UpdateJournal::Move moved = UpdateJournal::Move::Failed;
    if (!IsInUpdateBackup(relative)) moved = MoveAsideRetrying(relative);
    if (moved == UpdateJournal::Move::Missing) journal_.NoteNewFile(relative);
    if (moved == UpdateJournal::Move::Done || moved == UpdateJournal::Move::Missing) return true;
    return cannot(full);
}

bool tinstallengine::IsOwnPlace(const std::u16string& relative) const {
    const std::u16string folder = FinalPath(archive_.installfolder());
    const std::u16string final = FinalPath(AddBackslash(archive_.installfolder()) + relative);
    return !folder.empty() && !final.empty() && IsSamePlace(final, folder + u"\\" + relative);
}

bool tinstallengine::RemoveDroppedFiles() {
    if (!haveinstalledrecord_) return true;
    const DroppedEntries dropped = DroppedByUpdate(installedrecord_, writtenfiles_, createdfolders_);
    droppedfolders_ = dropped.folders;
    for (const std::u16string& file : dropped.files) {
        const std::u16string full = AddBackslash(archive_.installfolder()) + file;
        host_.Log(u"delete file: " + full);
        // A name that leads elsewhere (a link on the way) is never followed:
        // that file stays where it is.
        const UpdateJournal::Move moved = MoveAsideRetrying(file);
        if (moved == UpdateJournal::Move::InUse || (moved == UpdateJournal::Move::Failed && Terminated())) {
            errortext_ = payload::kTextCannotCreatePrefix + full + u")";
            return false;
        }
    }
    return true;
}

void tinstallengine::RemoveWhatTheUpdateDrops(const InstallInputs& in) {
    if (!haveinstalledrecord_ || !journal_.Active()) return;
    // Shortcuts of the installed version that this one no longer makes (a
    // caption that changed), where a shortcut of ours may lie; then their
    // Start-menu folders while empty.
    const InstallRecord now = PlanInstallRecord(in);
    std::vector<std::u16string> made = now.shortcuts, before = installedrecord_.shortcuts;
    if (!now.desktopshortcut.empty()) made.push_back(now.desktopshortcut);
    if (!installedrecord_.desktopshortcut.empty()) before.push_back(installedrecord_.desktopshortcut);
    for (const std::u16string& link : before) {
        if (std::any_of(made.begin(), made.end(), [&](const std::u16string& m) { return IsSamePlace(m, link); }))
            continue;
        if (!IsShortcutFilePath(link) || !IsShortcutPlace(ParentFolder(link), installedrecord_) || !IsPlainFile(link))
            continue;
        host_.Log(u"delete file: " + link);
        journal_.SnapshotFile(link);
        RemoveFile(link);
    }
    for (std::u16string folder = RemoveBackslash(installedrecord_.groupfolder);
         !folder.empty() && IsBelowPrograms(folder) && IsRemovableFolderHere(folder); folder = ParentFolder(folder)) {
        if (!RemoveFolder(folder)) break;
        host_.Log(u"removed empty folder: " + folder);
    }
    // A renamed program: the installed version's App Paths key, while it
    // is still this product's, and its uninstaller.
    const std::u16string oldexe = installedrecord_.exename;
    if (SameName(oldexe, AnsiToWide(in.exename)) || payload::CheckFileName(oldexe) != payload::EntryPathProblem::None) return;
    const std::string oldname = WideToAnsi(oldexe);
    const tregistry registry(RegistrationRoot(scope_));
    const std::string oldkey = AppPathsKeyFor(oldname);
    if (registry.ReadString(oldkey, kDisplaynameValue, "") == productname_) {
        host_.Log(u"delete registry key: " + AnsiToWide(oldkey));
        journal_.SnapshotKey(RegistrationRoot(scope_), oldkey);
        DeleteRegTree(RegistrationRoot(scope_), oldkey);
    }
    const std::u16string olduninstaller = UninstallerPath(in.windowsfolder, oldname);
    if (!olduninstaller.empty() && IsPlainFile(olduninstaller)) {
        host_.Log(u"delete file: " + olduninstaller);
        MoveAsideRetrying(olduninstaller, true);
    }
}

void tinstallengine::CommitUpdate() {
    if (!journal_.Active()) return;
    host_.Log(u"delete folder: " + journal_.BackupFolder());
    const std::u16string left = journal_.Commit();
    if (!left.empty()) host_.Log(u"left for a later update or the uninstall: " + left);
    for (const std::u16string& folder : droppedfolders_) {
        if (!IsOwnPlace(folder)) continue;
        if (RemoveFolder(AddBackslash(archive_.installfolder()) + folder))
            host_.Log(u"removed empty folder: " + AddBackslash(archive_.installfolder()) + folder);
    }
}

void tinstallengine::RollBackUpdate() {
    if (!journal_.Active()) return;
    host_.Log(u"restore the installed version");
    updateend_.unrestored = journal_.Rollback();
    updateend_.rolledback = true;
}

void tinstallengine::Execute() {
    try {
        failed = false;
        // Without an open archive there is no directory, no file to copy
        // from and no buffers: nothing below may run.
        if (!archive_.IsOpen()) {
            failed = true;
            if (archive_.errortext().empty()) errortext_ = kTextNotPrepared;
            SyncFinished();
            return;
        }
        if (!BeginUpdate()) {
            failed = true;
            SyncFinished();
            return;
        }

        // Before any file of the product: a prerequisite that fails ends
        // the install with the product untouched.
        if (!RunPrerequisites()) {
            if (Terminated() && errortext_.empty()) return RollBackUpdate();
            failed = true;
            RollBackUpdate();
            SyncFinished();
            return;
        }

        CloseRunningCopy();
        RemoveEarlierServices();
        // A stopped update puts the installed version back; a stopped first
        // install leaves what it wrote.
        if (StopBefore(InstallStep::Extraction)) return RollBackUpdate();

        beganwriting_ = true;
        for (std::size_t index = 0; index < archive_.entrylist().size(); ++index) {
            // The signed uninstaller is written with the uninstaller and a
            // prerequisite ran from a temporary folder: neither goes into
            // the installation folder.
            if (archive_.entrylist()[index].uninstaller || archive_.entrylist()[index].prerequisite) continue;
            host_.Log(u"file: " + AddBackslash(archive_.installfolder()) +
                      payload::EntryDisplayPath(archive_.entrylist()[index]));
            const payload::DirectoryEntry& entry = archive_.entrylist()[index];
            NoteNewFolders(entry);
            if (journal_.Active() && !ReplaceInstalledFile(payload::EntryDisplayPath(entry))) {
                failed = true;
                break;
            }
            if (!archive_.ExtractEntry(index, this)) {
                failed = true;
                break;
            }
            writtenfiles_.push_back(payload::EntryDisplayPath(entry));
            if (Terminated()) break;
            CheckPoint();
        }
        // A stop the user asked for ends the run quietly; one that
        // extraction asked for after a read failure is that entry's failure
        // and is reported like any other.
        if (Terminated() && !(failed && readfailure_)) return RollBackUpdate();
        if (!failed && !RemoveDroppedFiles()) failed = true;
        if (Terminated() && !failed) return RollBackUpdate();
        if (!failed) {
            const InstallInputs in = Inputs();
            PauseForTheEye(kPauseBefore90);
            Publish(90);
            if (StopBefore(InstallStep::UninstallerCopy)) return RollBackUpdate();
            if (!CopyUninstaller(in) || !WriteRecord(in)) {
                // No registration may name an uninstaller or a record that is not there.
                failed = true;
                RollBackUpdate();
                SyncFinished();
                return;
            }
            Publish(95);
            if (StopBefore(InstallStep::Registration)) return RollBackUpdate();
            Register(in);
            if (StopBefore(InstallStep::Shortcuts)) return RollBackUpdate();
            if (!CreateShortcuts(in)) return RollBackUpdate();
            RemoveWhatTheUpdateDrops(in);
            // A program that must succeed and fails: an update is put back;
            // a first install ends with its record written, so the
            // uninstall can remove what it wrote.
            if (!RunAfterInstall(in)) {
                failed = true;
                RollBackUpdate();
                SyncFinished();
                return;
            }
            if (Terminated()) return RollBackUpdate();
            CommitUpdate();
            PauseForTheEye(kPauseBefore100);
            Publish(100);
            PauseForTheEye(kPauseAfter100);
        }
        if (failed) RollBackUpdate();
        SyncFinished();
    } catch (const std::exception& error) {
        if (reported_) throw;  // the wizard's own handler failed: nothing more to tell it
        failed = true;
        errortext_ = AnsiToWide(error.what());
        RollBackUpdate();
        SyncFinished();
    } catch (...) {
        if (reported_) throw;
        failed = true;
        errortext_ = kTextUnknownFailure;
        RollBackUpdate();
        SyncFinished();
    }
}

std::unique_ptr<InstallWorker> CreateInstallWorker(InstallHost& host, std::u16string installerpath,
                                                   payload::InstallScope scope, payload::PayloadKind kind) {
    return std::make_unique<tinstallengine>(host, std::move(installerpath), scope, kind);
}

}  // namespace installengine
