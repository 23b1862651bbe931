// The uninstall sequence, on the GUI thread inside the wizard's Next
// handler: close the running program, remove the services, the program
// folder (the one step whose failure stops the sequence), the Start-menu
// folder (with the vendor folders it leaves empty), the settings folder
// after asking (the host's Ask), the shortcuts, a file association and the
// registration keys, and last the product's own uninstaller
// (installengine/uninstallerfile.hpp).  Each removal is logged as it
// begins, and so is the program folder that stops the sequence.
//
// Every path and key name comes from the registration, so each deletion is
// guarded: folder trees and emptied vendor folders only where
// IsRemovableFolderHere allows it (the program folder's refusal stops the
// sequence; a pattern such as "*" is refused, since the shell's delete
// would expand it), the desktop shortcut only as an absolute ".lnk" path
// free of patterns, keys only with a real completing name (and
// DeleteRegTree itself refuses the shared parents), a file association only
// when it is the product's own.
//
// A per-user install's uninstall (payload/installscope.hpp) reads and
// deletes the same keys under HKEY_CURRENT_USER, a file association under
// the user's own classes, and never touches HKEY_LOCAL_MACHINE or a service.
#include "installengine/installhost.hpp"
#include "installengine/installplan.hpp"
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

#include <windows.h>

namespace installengine {

using namespace setuputil;

namespace {

constexpr DWORD kPauseAfterServices = 1000;
constexpr DWORD kPauseAtEnd = 100;
constexpr char kVendorFolder[] = "Calderic";
constexpr char16_t kSettingsQuestion[] = u"Do you want to permanently delete all the settings for this program?";
// The log's reason when the sequence stops at the program folder.
constexpr char16_t kFolderNotRemoved[] = u"Unable to delete the program folder ";

void RemoveServices(InstallHost& host, const tregistry& registration, const std::string& key) {
    if (!IsWin2000OrLater()) return;
    for (std::size_t i = 0; i < kRegisteredServiceSlots; ++i) {
        if (registration.ReadString(key, ServiceProgramValue(i), "").empty()) break;
        const std::string name = registration.ReadString(key, ServiceNameValue(i), "");
        if (name.empty()) continue;
        host.Log(u"remove service: " + AnsiToWide(name));
        if (IsServiceRunning(name)) StopServiceNamed(name);
        DeleteServiceNamed(name);
    }
}

// `programs` + the first folder of `startmenufolder` ("\Acme\Product"
// gives "...\Programs\Acme"); empty when the path has no first folder
// below the one it ends in (a one-level path is the product's own folder).
std::u16string FirstFolderBelow(const std::u16string& programs, const std::u16string& startmenufolder) {
    std::u16string body = startmenufolder;
    while (!body.empty() && body.front() == u'\\') body.erase(0, 1);
    const std::size_t slash = body.find(u'\\');
    if (slash == std::u16string::npos || slash == 0) return {};
    return AddBackslash(programs) + body.substr(0, slash);
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
    const WindowHandle owner = host.OwnerWindow();
    // With no program name the key would be the App Paths key of every
    // program on the machine.
    const bool havekey = HasCompletingName(exename);
    const std::string key = havekey ? AppPathsKeyFor(exename) : std::string();
    auto read = [&](const std::string& name) { return havekey ? registration.ReadString(key, name, "") : std::string(); };
    auto deletekey = [&](RegRoot root, const std::string& path) {
        host.Log(u"delete registry key: " + RootName(root) + u"\\" + AnsiToWide(path));
        DeleteRegTree(root, path);
    };

    host.UninstallStarted("Performing Uninstall", "Uninstalling " + read(kDisplaynameValue) + "...");
    host.ProcessMessages();

    const std::string pattern = WideToAnsi(TrimSpacesAndReturns(AnsiToWide(productname)) + u" (*");
    if (WindowHandle window = FindWindowByTitle(pattern)) {
        host.Log(u"close running copy: " + AnsiToWide(pattern));
        SendCloseRequest(window);
    }

    // A per-user product has no services: names in the user's own
    // registration are never acted on.
    if (havekey && !peruser) RemoveServices(host, registration, key);
    ::Sleep(kPauseAfterServices);

    // A program folder the guard refuses stops the sequence like one that
    // cannot be deleted: its files are still there, so the registration
    // that a retry needs stays too.
    std::u16string& destfolder = host.DestFolder();
    destfolder = RemoveBackslash(destfolder);
    host.Log(u"delete folder: " + destfolder);
    if (!IsRemovableFolderHere(destfolder) || !DeleteFolderTree(owner, destfolder)) {
        host.Log(kFolderNotRemoved + destfolder);
        return;
    }

    if (!startmenufolder.empty()) {
        const std::u16string programs = GetProgramsFolder();
        if (!programs.empty()) {
            const std::u16string group = RemoveBackslash(RemoveBackslash(programs) + startmenufolder);
            if (IsRemovableFolderHere(group)) {
                host.Log(u"delete folder: " + group);
                DeleteFolderTree(owner, group);
            }
            // The vendor folders left empty: ours, and the first folder of
            // the product's own path ("Acme" of "\Acme\Product").
            RemoveFolder(AddBackslash(programs) + AnsiToWide(kVendorFolder));
            const std::u16string vendor = FirstFolderBelow(programs, startmenufolder);
            if (!vendor.empty() && IsRemovableFolderHere(vendor)) RemoveFolder(vendor);
        }
    }

    // The guard comes first: the existence test must not see a pattern.
    const std::u16string appdata = GetAppDataFolder();
    if (!appdatafolder.empty() && !appdata.empty()) {
        const std::u16string settings = AddBackslash(appdata) + AnsiToWide(appdatafolder);
        if (IsRemovableFolderHere(settings) && FolderExists(settings) && host.Ask(kSettingsQuestion)) {
            host.Log(u"delete folder: " + settings);
            DeleteFolderTree(owner, settings);
        }
    }

    const std::string desktop = read(kDesktopValue);
    if (!desktop.empty()) {
        std::u16string link = DecodeLetterHex(desktop);
        const std::size_t zero = link.find(u'\0');
        if (zero != std::u16string::npos) link.resize(zero);
        if (IsShortcutFilePath(link)) {
            host.Log(u"delete file: " + link);
            RemoveFile(link);
        }
    }

    const std::u16string startmenu = GetStartMenuFolder();
    if (!startmenu.empty() && HasCompletingName(StripBadNameChars(AnsiToWide(productname)))) {
        const std::u16string link = AddBackslash(startmenu) + StripBadNameChars(AnsiToWide(productname)) + u".lnk";
        host.Log(u"delete file: " + link);
        RemoveFile(link);
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
    if (HasCompletingName(startmenufolder)) deletekey(RegRoot::CurrentUser, SettingsKeyFor(startmenufolder));

    // Last, the product's own uninstaller: usually this very program, so it
    // is renamed and left to the system to delete at the next restart.  The
    // shared uninstaller of earlier installs stays for the products that
    // still name it.
    if (havekey) RemoveUninstallerFile(UninstallerPath(UninstallerBase(scope), exename), host, scope);

    ::Sleep(kPauseAtEnd);
    host.UninstallFinished();
}

}  // namespace installengine
