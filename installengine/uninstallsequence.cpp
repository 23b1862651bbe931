// The uninstall sequence, on the GUI thread inside the wizard's Next
// handler.  It first proves the registered program folder is the product's:
// the folder must hold an install record (installrecord.hpp) that parses,
// whose identifier is the one the uninstall key holds and whose program
// folder is the registered one, both resolved to their final paths.
// Without that proof nothing is touched: the sequence stops with the
// registration kept for a later try (UninstallStopped).
//
// Then: close the running program, remove the recorded services, delete
// the program folder's tree without following links (the one deletion
// whose failure stops the sequence), the recorded shortcuts and the
// Start-menu folders they leave empty, the settings folder after asking
// (the host's Ask) and the settings key -- both only when the registration
// names the ones recorded --, a file association, the registration keys,
// and last the product's own uninstaller (installengine/uninstallerfile.hpp).
// Each removal is logged as it begins.
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
#include "installengine/installhost.hpp"
#include "installengine/installplan.hpp"
#include "installengine/installrecordfile.hpp"
#include "installengine/programfolderproof.hpp"
#include "installengine/protectedfolders.hpp"
#include "installengine/registration.hpp"
#include "installengine/treedelete.hpp"
#include "installengine/uninstallerfile.hpp"
#include "installengine/uninstallguard.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/fileops.hpp"
#include "setuputil/pathrules.hpp"
#include "setuputil/platform.hpp"
#include "setuputil/registry.hpp"
#include "setuputil/services.hpp"
#include "setuputil/shellfolders.hpp"
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

bool IsSpecialFolder(const std::u16string& folder, std::initializer_list<int> csidls) {
    for (int csidl : csidls) {
        wchar_t buffer[MAX_PATH] = {};
        if (::SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE) && buffer[0] != 0 &&
            IsSamePlace(folder, FromWinStr(buffer)))
            return true;
    }
    return false;
}

// A folder below the user's or all users' Programs folder.
bool IsBelowPrograms(const std::u16string& folder) {
    for (int csidl : {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS}) {
        wchar_t buffer[MAX_PATH] = {};
        if (::SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE) && buffer[0] != 0) {
            const std::u16string programs = FromWinStr(buffer);
            if (IsInside(folder, programs) && !IsSamePlace(folder, programs)) return true;
        }
    }
    return false;
}

// The folders a recorded shortcut may lie in: the product's Start-menu
// folder (below a Programs folder), the Programs folder, the Start Menu and
// the desktop, the user's or all users'.
bool IsShortcutPlace(const std::u16string& folder, const InstallRecord& record) {
    if (!record.groupfolder.empty() && IsSamePlace(folder, record.groupfolder) && IsBelowPrograms(folder)) return true;
    return IsSpecialFolder(folder, {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS, CSIDL_STARTMENU, CSIDL_COMMON_STARTMENU,
                                    CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY});
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

void RunUninstallSequence(InstallHost& host, payload::InstallScope scope) {
    const bool peruser = scope == payload::InstallScope::User;
    const RegRoot root = RegistrationRoot(scope);
    const tregistry registration(root);
    const payload::tsetuptrailer& trailer = host.Trailer();
    const std::string exename = payload::ReadShortString(trailer.exename);
    const std::string productname = payload::ReadShortString(trailer.productname);
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
                          host.Text(payload::TextId::UninstallingLabel, {{u"product", AnsiToWide(read(kDisplaynameValue))}}));
    host.ProcessMessages();

    // Nothing is touched before the program folder is proven the product's:
    // a registration changed by any tool, or a folder of someone else's,
    // stops the sequence with the registration kept for a later try.
    std::u16string& destfolder = host.DestFolder();
    destfolder = RemoveBackslash(destfolder);
    const std::string registeredid =
        HasCompletingName(productname) ? registration.ReadString(UninstallKeyFor(productname), kInstallRecordIdValue, "")
                                       : std::string();
    const FolderProof proof = ProveProgramFolder(host, destfolder, registeredid, productname, exename);
    if (!proof.ok) {
        host.UninstallStopped(proof.reason);
        return;
    }
    const InstallRecord& record = proof.record;

    const std::string pattern = WideToAnsi(TrimSpacesAndReturns(AnsiToWide(productname)) + u" (*");
    if (WindowHandle window = FindWindowByTitle(pattern)) {
        host.Log(u"close running copy: " + AnsiToWide(pattern));
        SendCloseRequest(window);
    }

    // A per-user product has no services: names in its record are never
    // acted on.
    if (!peruser) RemoveServices(host, record);
    ::Sleep(kPauseAfterServices);

    // A folder that cannot be deleted whole stops the sequence: its files
    // are still there, so the registration that a retry needs stays too.
    host.Log(u"delete folder: " + destfolder);
    if (!DeleteFolderTree(destfolder, kInstallRecordName)) {
        host.UninstallStopped(host.Text(payload::TextId::FolderNotRemoved, {{u"folder", destfolder}}));
        return;
    }

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

    if (HasCompletingName(productname)) deletekey(root, UninstallKeyFor(productname));
    if (havekey) {
        deletekey(root, key);
        deletekey(RegRoot::CurrentUser, RunKeyFor(exename));
    }
    const std::string settingskey = HasCompletingName(startmenufolder) ? SettingsKeyFor(startmenufolder) : std::string();
    if (!settingskey.empty() && AnsiToWide(settingskey) == record.settingskey && IsRemovableSettingsKey(settingskey))
        deletekey(RegRoot::CurrentUser, settingskey);

    // Last, the product's own uninstaller: usually this very program, so it
    // is renamed and left to the system to delete at the next restart.  The
    // shared uninstaller of earlier installs stays for the products that
    // still name it.
    if (havekey) RemoveUninstallerFile(UninstallerPath(UninstallerBase(scope), exename), host, scope);

    if (host.Watched()) ::Sleep(kPauseAtEnd);
    host.UninstallFinished();
}

}  // namespace installengine
