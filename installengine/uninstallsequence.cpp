// The uninstall sequence, on the GUI thread inside the wizard's Next
// handler.  It first proves the registered program folder is the product's:
// the folder must hold an install record (installrecord.hpp) that parses,
// whose identifier is the one the uninstall key holds and whose program
// folder is the registered one, both resolved to their final paths.
// Without that proof nothing is touched: the sequence stops with the
// registration kept for a later try (UninstallStopped).
//
// Then the product's beforeuninstall programs the record names, each only
// inside the proven folder and reached through no link; one that must
// succeed and fails asks whether to go on (No stops with nothing removed;
// unattended it is logged and the uninstall goes on).
//
// Then, in an order that a run cut short can repeat: close the running
// program, remove the recorded services, the recorded shortcuts and the
// Start-menu folders they leave empty, the settings folder after asking
// (the host's Ask) and the settings key -- both only when the registration
// names the ones recorded --, the product's declared registry values, its
// sign-in Run value and the keys made for them (declaredeffects.hpp), a
// file association; then the program
// folder's files, never through a link (the one step whose failure stops
// the sequence), the record and the folder; then the registration keys,
// and last the product's own uninstaller (installengine/uninstallerfile.hpp).
// Each removal is logged as it begins.
//
// What the product owns of its program folder: the folder with everything
// in it when the first install created it; otherwise (a folder that held
// other files before, or a record of an earlier version that does not
// say) the recorded files, the folders the install created with
// everything in them, and the folder itself only once it is empty -- the
// finish page then names the folder that stays.
//
// A registration whose program folder no longer exists at all (an
// uninstall cut short after the folder went, or a folder deleted by hand)
// has no record to prove anything: after asking (unattended: at once) the
// product is taken off the list of installed programs -- its keys, the
// shortcuts of its Start-menu folder and desktop that lead into the
// missing folder, its uninstaller -- and no other file is touched.
//
// Every path and key name that still comes from the registration is
// guarded besides: folders only where IsRemovableFolderHere allows it,
// keys only with a real completing name (DeleteRegTree itself refuses the
// shared parents), the settings key only as IsRemovableSettingsKey, a file
// association only when it is the product's own.
//
// A per-user install's uninstall (payload/installscope.hpp) reads and
// deletes the same keys under HKEY_CURRENT_USER, a file association under
// the user's own classes, and never touches HKEY_LOCAL_MACHINE or a service;
// its program folder needs the same proof.
#include "installengine/declaredeffects.hpp"
#include "installengine/shellintegration.hpp"
#include "installengine/installhost.hpp"
#include "installengine/installplan.hpp"
#include "installengine/installrecordfile.hpp"
#include "installengine/prerequisites.hpp"
#include "installengine/programfolderproof.hpp"
#include "installengine/vendorprograms.hpp"
#include "installengine/protectedfolders.hpp"
#include "installengine/registration.hpp"
#include "installengine/shortcutplaces.hpp"
#include "installengine/treedelete.hpp"
#include "installengine/uninstallerfile.hpp"
#include "installengine/uninstallguard.hpp"
#include "installengine/updateplan.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/fileops.hpp"
#include "setuputil/pathrules.hpp"
#include "setuputil/platform.hpp"
#include "setuputil/registry.hpp"
#include "setuputil/services.hpp"
#include "setuputil/shellfolders.hpp"
#include "setuputil/shortcuts.hpp"
#include "setuputil/textconv.hpp"
#include "setuputil/windowsearch.hpp"

#include "setuputil/wintext.hpp"

#include <windows.h>
#include <shlobj.h>

#include <initializer_list>
#include <vector>

namespace installengine {

using namespace setuputil;

namespace {

constexpr DWORD kPauseAfterServices = 1000;
constexpr DWORD kPauseAtEnd = 100;  // for the eye: unattended runs skip it
constexpr char kVendorFolder[] = "Calderic";

void RemoveServices(InstallHost& host, const InstallRecord& record) {
    if (!IsWin2000OrLater()) return;
    for (const std::u16string& service : record.services) {
        const std::string name = WideToAnsi(service);
        if (!HasCompletingName(name)) continue;
        host.Log(u"remove service: " + service);
        if (IsServiceRunning(name)) StopServiceNamed(name);
        DeleteServiceNamed(name);
    }
}

// The recorded shortcuts that lie where a shortcut of ours may, then the
// Start-menu folder and the vendor folders above it while they are empty.
void RemoveShortcuts(InstallHost& host, const InstallRecord& record) {
    std::vector<std::u16string> links = record.shortcuts;
    if (!record.desktopshortcut.empty()) links.push_back(record.desktopshortcut);
    for (const std::u16string& link : links) {
        if (!IsShortcutFilePath(link) || !IsShortcutPlace(ParentFolder(link), record)) continue;
        host.Log(u"delete file: " + link);
        RemoveFile(link);
    }
    const std::u16string programs = GetProgramsFolder();
    for (std::u16string folder = RemoveBackslash(record.groupfolder);
         !folder.empty() && IsBelowPrograms(folder) && IsRemovableFolderHere(folder); folder = ParentFolder(folder)) {
        if (!RemoveFolder(folder)) break;  // not empty: another product's shortcuts stay, and its folders
        host.Log(u"removed empty folder: " + folder);
    }
    if (!programs.empty()) RemoveFolder(AddBackslash(programs) + AnsiToWide(kVendorFolder));
}

// The program folder's files, the record and the folder, as far as they
// are the product's (above).  `ok` false when something recorded stays:
// the record and the registration stay with it for a retry.
struct FolderRemoval {
    bool ok = false;
    bool kept = false;  // the folder stays, holding what the product did not install
};

FolderRemoval RemoveProgramFolder(InstallHost& host, const std::u16string& folder, const InstallRecord& record) {
    if (record.foldercreated) {
        host.Log(u"delete folder: " + folder);
        return {DeleteFolderTree(folder, kInstallRecordName), false};
    }
    const std::u16string finalfolder = FinalPath(folder);
    if (finalfolder.empty()) return {};
    bool ok = true;
    for (const std::u16string& file : record.files) {
        host.Log(u"delete file: " + AddBackslash(folder) + file);
        ok = DeleteEntryOf(folder, finalfolder, file, false) && ok;
    }
    // What an update cut short left behind is the product's too.
    ok = DeleteEntryOf(folder, finalfolder, kUpdateBackupFolder, true) && ok;
    for (auto it = record.folders.rbegin(); it != record.folders.rend(); ++it) {
        host.Log(u"delete folder: " + AddBackslash(folder) + *it);
        ok = DeleteEntryOf(folder, finalfolder, *it, true) && ok;
    }
    if (!ok || !DeleteEntryOf(folder, finalfolder, kInstallRecordName, false)) return {};
    if (RemoveFolder(folder)) host.Log(u"removed empty folder: " + folder);
    return {true, FolderExists(folder)};
}

// A shortcut in one of the places a shortcut of ours may lie that leads
// into `folder`.
void RemoveLinkInto(InstallHost& host, const std::u16string& link, const std::u16string& folder,
                    const InstallRecord& places) {
    if (!IsShortcutFilePath(link) || !IsShortcutPlace(ParentFolder(link), places) || !IsPlainFile(link)) return;
    const std::u16string target = ReadShortcutTarget(link);
    if (target.empty() || !IsInside(target, folder)) return;
    host.Log(u"delete file: " + link);
    RemoveFile(link);
}

std::u16string RootName(RegRoot root) {
    switch (root) {
        case RegRoot::LocalMachine: return u"HKLM";
        case RegRoot::CurrentUser: return u"HKCU";
        case RegRoot::ClassesRoot: return u"HKCR";
        case RegRoot::Users: return u"HKU";
    }
    return u"";
}

}  // namespace

namespace {

// The product's registered shortcuts that lead into its missing program
// folder: those of its Start-menu folder, the Start Menu's own and the
// desktop's; then the Start-menu folders left empty.
void RemoveStaleShortcuts(InstallHost& host, const std::u16string& folder, const std::u16string& startmenufolder,
                          const std::u16string& desktoplink, const std::u16string& productname) {
    InstallRecord places;
    const std::u16string programs = GetProgramsFolder();
    if (!programs.empty() && HasCompletingName(startmenufolder))
        places.groupfolder = RemoveBackslash(RemoveBackslash(programs) + startmenufolder);
    const setuputil::ShortcutSession session;
    if (!places.groupfolder.empty() && IsBelowPrograms(places.groupfolder) &&
        IsRemovableFolderHere(places.groupfolder)) {
        WIN32_FIND_DATAW found{};
        HANDLE search = ::FindFirstFileW(WinStr(places.groupfolder + u"\\*.lnk"), &found);
        if (search != INVALID_HANDLE_VALUE) {
            std::vector<std::u16string> links;
            do {
                if (!(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
                    links.push_back(places.groupfolder + u"\\" + FromWinStr(found.cFileName));
            } while (::FindNextFileW(search, &found));
            ::FindClose(search);
            for (const std::u16string& link : links) RemoveLinkInto(host, link, folder, places);
        }
    }
    const std::u16string startmenu = GetStartMenuFolder();
    if (!startmenu.empty())
        RemoveLinkInto(host, AddBackslash(startmenu) + StripBadNameChars(productname) + u".lnk", folder,
                       places);
    if (!desktoplink.empty()) RemoveLinkInto(host, desktoplink, folder, places);
    RemoveShortcuts(host, places);  // only the empty Start-menu folders: the place list names no shortcut
}

}  // namespace

namespace {

// False when a program failed and the person watching chose not to go on:
// the uninstall then stops with nothing removed.  Unattended, a failure is
// logged and the uninstall goes on.
bool RunBeforeUninstall(InstallHost& host, const InstallRecord& record) {
    const std::u16string folder = RemoveBackslash(record.programfolder);
    for (const std::u16string& entry : record.uninstallruns) {
        payload::RunDeclaration run;
        if (!ParseRecordedRun(entry, run) || !IsPlainFileInFolder(folder, run.program)) {
            host.Log(u"not run (no program of the product's): " + entry);
            continue;
        }
        const std::u16string program = folder + u"\\" + run.program;
        host.Log(u"run: \"" + program + u"\" " + run.arguments);
        const ProgramRun result = RunVendorProgram(run, program, run.arguments, folder, false);
        if (result.waited) host.Log(u"run exit code: " + AnsiToWide(Int64ToText(result.exitcode)));
        const bool ok = result.started && (!result.waited || IsSuccessCode(run.successcodes, result.exitcode));
        if (ok || !run.failonerror) continue;
        const std::u16string code = result.started ? AnsiToWide(Int64ToText(result.exitcode)) : u"-";
        if (!host.Watched()) {
            host.Log(host.Text(payload::TextId::ProgramFailed, {{u"program", program}, {u"code", code}}));
            continue;
        }
        const std::u16string question = host.Text(payload::TextId::ProgramFailedContinue,
                                                  {{u"program", program}, {u"code", code}, {u"product", record.displayname.empty() ? record.productname : record.displayname}});
        if (!host.Ask(question)) {
            host.UninstallStopped(host.Text(payload::TextId::ProgramFailed, {{u"program", program}, {u"code", code}}));
            return false;
        }
    }
    return true;
}

}  // namespace

void RunUninstallSequence(InstallHost& host, payload::InstallScope scope) {
    const bool peruser = scope == payload::InstallScope::User;
    const RegRoot root = RegistrationRoot(scope);
    const tregistry registration(root);
    const payload::tsetuptrailer& trailer = host.Trailer();
    const std::string exename = payload::ReadShortString(trailer.exename);
    const std::string productname = payload::ReadShortString(trailer.productname);
    // The name a person sees: the program's names record, else the 8-bit one.
    const std::u16string shown = payload::ShownName(host.ProductNames(), productname);
    const std::u16string startmenufolder = payload::ReadWideField(trailer.startmenufolder);
    const std::string appdatafolder = payload::ReadShortString(trailer.appdatafolder);
    // With no program name the key would be the App Paths key of every
    // program on the machine.
    const bool havekey = HasCompletingName(exename);
    const std::string key = havekey ? AppPathsKeyFor(exename) : std::string();
    auto read = [&](const std::string& name) { return havekey ? registration.ReadString(key, name, "") : std::string(); };
    auto deletekey = [&](RegRoot at, const std::string& path) {
        host.Log(u"delete registry key: " + RootName(at) + u"\\" + AnsiToWide(path));
        DeleteRegTree(at, path);
    };

    host.UninstallStarted(host.Text(payload::TextId::UninstallingTitle),
                          host.Text(payload::TextId::UninstallingLabel,
                                    {{u"product", host.ProductNames().productname.empty() ? AnsiToWide(read(kDisplaynameValue))
                                                                                          : shown}}));
    host.ProcessMessages();

    std::u16string& destfolder = host.DestFolder();
    destfolder = RemoveBackslash(destfolder);
    const auto removeregistration = [&] {
        if (HasCompletingName(productname)) deletekey(root, UninstallKeyFor(productname));
        if (havekey) {
            deletekey(root, key);
            deletekey(RegRoot::CurrentUser, RunKeyFor(exename));
        }
    };

    if (ProgramFolderIsGone(destfolder)) {
        const std::u16string product = shown;
        host.Log(u"the program folder is gone: " + destfolder);
        // Unattended, the administrator's command is the answer.
        if (host.Watched() &&
            !host.Ask(host.Text(payload::TextId::StaleRegistration, {{u"folder", destfolder}, {u"product", product}}))) {
            host.UninstallStopped(host.Text(payload::TextId::NotRemovedNoRecord,
                                            {{u"folder", destfolder}, {u"error", u"the folder does not exist"}}));
            return;
        }
        RemoveStaleShortcuts(host, destfolder, startmenufolder, DecodeLetterHex(read(kDesktopValue)), shown);
        removeregistration();
        if (havekey) RemoveUninstallerFile(UninstallerPath(UninstallerBase(scope), exename), host, scope);
        host.UninstallFinished(u"");
        return;
    }

    // Nothing is touched before the program folder is proven the product's:
    // a registration changed by any tool, or a folder of someone else's,
    // stops the sequence with the registration kept for a later try.
    const std::string registeredid =
        HasCompletingName(productname) ? registration.ReadString(UninstallKeyFor(productname), kInstallRecordIdValue, "")
                                       : std::string();
    const FolderProof proof = ProveProgramFolder(host, destfolder, registeredid, productname, exename);
    if (!proof.ok) {
        host.UninstallStopped(proof.reason);
        return;
    }
    const InstallRecord& record = proof.record;

    // The product's own programs before anything is removed: only those
    // the record names inside the proven folder, reached through no link.
    if (!RunBeforeUninstall(host, record)) return;

    const std::string pattern = WideToAnsi(TrimSpacesAndReturns(AnsiToWide(productname)) + u" (*");
    if (WindowHandle window = FindWindowByTitle(pattern)) {
        host.Log(u"close running copy: " + AnsiToWide(pattern));
        SendCloseRequest(window);
    }

    // A per-user product has no services: names in its record are never
    // acted on.
    if (!peruser) RemoveServices(host, record);
    ::Sleep(kPauseAfterServices);

    RemoveShortcuts(host, record);

    // Only the settings folder the install recorded, and only when the
    // registration names the same one; the guard comes first: the
    // existence test must not see a pattern.
    const std::u16string appdata = GetAppDataFolder();
    if (!appdatafolder.empty() && !appdata.empty() && AnsiToWide(appdatafolder) == record.settingsfolder) {
        const std::u16string settings = AddBackslash(appdata) + AnsiToWide(appdatafolder);
        if (IsRemovableFolderHere(settings) && FolderExists(settings) && host.Ask(host.Text(payload::TextId::SettingsQuestion))) {
            host.Log(u"delete folder: " + settings);
            DeleteFolderTree(settings);
        }
    }
    const std::string settingskey = HasCompletingName(startmenufolder) ? SettingsKeyFor(startmenufolder) : std::string();
    if (!settingskey.empty() && AnsiToWide(settingskey) == record.settingskey && IsRemovableSettingsKey(settingskey))
        deletekey(RegRoot::CurrentUser, settingskey);

    // The product's declared registry values, its sign-in Run value while
    // it still starts this program, and the keys the install made once empty.
    UndoDeclared(host, record, scope);
    // Its PATH entries and variables, file types and link schemes, each
    // while it is still the product's.
    UndoShell(host, record, nullptr, scope, nullptr);

    const std::string extension = read(kFileAssociationsValue);
    if (IsRemovableExtensionKey(extension)) {
        // The user's own classes live in HKEY_CURRENT_USER\Software\Classes.
        const RegRoot classes = peruser ? RegRoot::CurrentUser : RegRoot::ClassesRoot;
        const std::string below = peruser ? "Software\\Classes\\" : "";
        const std::string filetype = tregistry(classes).ReadString(below + extension, "", "");
        const AssociationKeys keys = AssociationKeysToRemove(extension, filetype);
        if (!keys.filetype.empty()) deletekey(classes, below + keys.filetype);
        if (!keys.extension.empty()) deletekey(classes, below + keys.extension);
    }

    // What cannot be deleted stops the sequence: the record stays with it,
    // and so does the registration that a retry needs.
    const FolderRemoval removed = RemoveProgramFolder(host, destfolder, record);
    if (!removed.ok) {
        host.UninstallStopped(host.Text(payload::TextId::FolderNotRemoved, {{u"folder", destfolder}}));
        return;
    }

    removeregistration();

    // Last, the product's own uninstaller: usually this very program, so it
    // is renamed and left to the system to delete at the next restart.  The
    // shared uninstaller of earlier installs stays for the products that
    // still name it.
    if (havekey) RemoveUninstallerFile(UninstallerPath(UninstallerBase(scope), exename), host, scope);

    if (host.Watched()) ::Sleep(kPauseAtEnd);
    host.UninstallFinished(removed.kept ? host.Text(payload::TextId::FolderKept,
                                                    {{u"folder", destfolder}, {u"product", shown}})
                                        : std::u16string());
}

}  // namespace installengine
