// The registration record: how an installation is found again.
//
// The product's uninstaller is the bare stub (or the signed uninstaller its
// installer carries), so everything the uninstall needs beyond the
// program's file name lives in two keys under
// HKEY_LOCAL_MACHINE -- or, for a per-user product (payload/installscope.hpp),
// the same keys with the same values under HKEY_CURRENT_USER
// (RegistrationRoot), where the list of installed programs finds the
// current user's programs.  This header is the one place that names them and
// their values; the install sequence writes them (installplan.hpp), start-up
// in uninstall mode and the uninstall sequence read them back, and the
// uninstall removes both keys as whole trees.
//
//   App Paths key  "SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\" + exename
//     (default)         full path of the main program
//     "Path"            letter-hex of the installation folder as given
//     "Displayname"     product name; non-empty means "installed"
//     "Startpath"       letter-hex of the Start-menu folder
//     "Desktop"         letter-hex of the desktop shortcut's path
//     "AppData"         settings folder name, possibly empty
//     "service" + n     program of service slot n (0..4), used slots only
//     "servicenames" + n  name of service slot n
//     "fileassociations"  an extension key under HKEY_CLASSES_ROOT (read only)
//     "Language"        the code of the language the install spoke ("de",
//                       "pt-BR"), which its uninstaller speaks; untrusted:
//                       one it does not carry gives the user's language
//   uninstall key  "software\microsoft\windows\currentversion\uninstall\" + productname
//                  (the trailer's 8-bit name: for a name in any script the
//                  builder's 8-bit form, payload/productnames.hpp, so the key
//                  stays the same from one version to the next)
//     "DisplayName", "UninstallString"  what the list of installed programs
//                       shows and runs; "DisplayName" is the name in any
//                       script (a wide value) when the installer carries it
//     "DisplayVersion", "DisplayIcon", "InstallLocation"  product version,
//                       main program path, installation folder as given
//     "EstimatedSize"   REG_DWORD, the archived files' size in KiB, rounded up
//     "NoModify", "NoRepair"  REG_DWORD 1: the list offers only removal
//     "QuietUninstallString"  "UninstallString" + " /S": the removal without
//                       a window, for deployment tools
//     "Publisher"       the installer's own publisher (the names record's,
//                       else its version resource's CompanyName; a wide
//                       value), only when it has a non-empty one
//     "InstallRecordId" the identifier of the install record in the program
//                       folder (installrecord.hpp): the uninstall deletes
//                       the folder only when the record there carries it
//
// Every App Paths value is an 8-bit string; names are matched without regard to case.
// The service values form a list that ends at the first empty or missing
// "service" + n: slots of an earlier, larger installation stay and are read
// as part of it.
#pragma once

#include "payload/installscope.hpp"
#include "payload/setuptrailer.hpp"
#include "setuputil/registry.hpp"

#include <cstddef>
#include <string>

namespace installengine {

// The root both keys live under for an install of `scope`; an install and
// its uninstall read and write that root and no other.
setuputil::RegRoot RegistrationRoot(payload::InstallScope scope);

std::string AppPathsKeyFor(const std::string& exename);
std::string UninstallKeyFor(const std::string& productname);
// Removed by the uninstall although nothing here writes them: the product's
// Run entry and its per-user settings key ("software" + "\Vendor\Product").
std::string RunKeyFor(const std::string& exename);
std::string SettingsKeyFor(const std::u16string& startmenufolder);

// App Paths key values.
inline constexpr char kProgramValue[] = "";  // the default value
inline constexpr char kPathValue[] = "Path";
inline constexpr char kDisplaynameValue[] = "Displayname";
inline constexpr char kStartpathValue[] = "Startpath";
inline constexpr char kDesktopValue[] = "Desktop";
inline constexpr char kAppDataValue[] = "AppData";
inline constexpr char kFileAssociationsValue[] = "fileassociations";
inline constexpr char kLanguageValue[] = "Language";
// "service" + n and "servicenames" + n, n in decimal.
std::string ServiceProgramValue(std::size_t slot);
std::string ServiceNameValue(std::size_t slot);
// One pair of service values per service slot of the trailer.
inline constexpr std::size_t kRegisteredServiceSlots = payload::kServiceSlots;

// Uninstall key values.
inline constexpr char kDisplayNameValue[] = "DisplayName";
inline constexpr char kUninstallStringValue[] = "UninstallString";
inline constexpr char kDisplayVersionValue[] = "DisplayVersion";
inline constexpr char kDisplayIconValue[] = "DisplayIcon";
inline constexpr char kInstallLocationValue[] = "InstallLocation";
inline constexpr char kEstimatedSizeValue[] = "EstimatedSize";
inline constexpr char kNoModifyValue[] = "NoModify";
inline constexpr char kNoRepairValue[] = "NoRepair";
inline constexpr char kQuietUninstallStringValue[] = "QuietUninstallString";
inline constexpr char kPublisherValue[] = "Publisher";
inline constexpr char kInstallRecordIdValue[] = "InstallRecordId";

// Each product has an uninstaller of its own, in a folder of ours below the
// Windows folder, named after its program: "vantrell.exe" gives
// "<Windows>\Tallowin\vantrell-uninstall.exe" (a name without ".exe" keeps
// it whole: "tool" gives "tool-uninstall.exe").  Only administrators can
// write there, and the uninstall never runs from inside the folder it
// deletes.  A per-user product's uninstaller lives in the same folder of
// ours below the user's local application data instead
// ("%LOCALAPPDATA%\Tallowin\vantrell-uninstall.exe"): the `windowsfolder`
// argument below is then that folder.  Empty when `exename` is not a plain
// file name.
inline constexpr char16_t kUninstallerFolderName[] = u"Tallowin";
inline constexpr char16_t kUninstallerSuffix[] = u"-uninstall.exe";
std::u16string UninstallerFolder(const std::u16string& windowsfolder);
std::u16string UninstallerPath(const std::u16string& windowsfolder, const std::string& exename);
// The one uninstaller of earlier installs, in the Windows folder, shared by
// every product they installed: never written or removed any more, so that
// their registrations ("...\tallowui.exe -ui <program>") keep working.
inline constexpr char16_t kSharedUninstallerName[] = u"tallowui.exe";

// The command line that runs `uninstaller` for `exename`: the uninstaller's
// path in double quotes, " -ui " and the program name.
inline constexpr char16_t kUninstallSwitch[] = u"-ui";
std::u16string UninstallCommand(const std::u16string& uninstaller, const std::string& exename);
// The switch of the unattended run, and the uninstall command with it.
inline constexpr char16_t kUnattendedSwitch[] = u"/S";
std::u16string QuietUninstallCommand(const std::u16string& uninstaller, const std::string& exename);

}  // namespace installengine
