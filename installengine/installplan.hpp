// What an installation writes, computed as data from the setup trailer and
// the folders it lands in: the registration values in their order, the
// services, and the ten shortcuts.  The worker (tinstallengine) only
// carries these out, so every name and text here can be checked on the host.
#pragma once

#include "installengine/installrecord.hpp"
#include "installengine/registration.hpp"
#include "payload/installscope.hpp"
#include "payload/setuptrailer.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace installengine {

// A shortcut slot split at its first "-": the target part keeps everything
// before it (a trailing blank included), the argument part starts with it.
struct ShortcutSlotParts {
    std::u16string target;
    std::u16string arguments;
};
ShortcutSlotParts SplitShortcutSlot(const std::u16string& slot);

// The folders and texts an installation is computed from.  Folders are
// full paths as the platform reports them (with or without a trailing
// backslash, except where noted).
struct InstallInputs {
    std::u16string installfolder;    // as the user gave it
    std::string exename;
    std::string productname;         // the trailer's 8-bit name: it names the keys that identify the product
    std::u16string displayname;      // the name a person sees (payload/productnames.hpp); "": productname
    std::string productversion;
    std::u16string publisher;        // the installer's own (CompanyName); "" writes no "Publisher"
    std::int64_t payloadbytes = 0;   // the sum of the archive entries' sizes
    std::u16string startmenufolder;  // "\Vendor\Product" or ""
    std::string appdatafolder;
    std::vector<payload::ServiceSlot> services;
    std::vector<payload::ShortcutSlot> shortcuts;
    std::u16string programsfolder;
    std::u16string startmenuroot;    // the user's Start Menu folder
    std::u16string desktopfolder;    // "": no desktop shortcut
    std::u16string windowsfolder;    // where the uninstaller folder lies: the Windows folder, or a per-user
                                     // install's local application data (registration.hpp)
    bool withservices = true;        // platform generation 5 or later
    std::string recordid;            // the install record's identifier
    std::string language;            // the wizard's language code; "" writes no "Language"
    std::u16string uninstallcaption; // the uninstall shortcut's caption; "" gives the English one
    // The optional tasks chosen (payload::TaskDeclaration names): a
    // declaration of a task not among them is not carried out, and the
    // desktop shortcut is made unless the product declares the desktopicon
    // task and it is not chosen.
    std::vector<std::string> tasks;
    // Where the registration goes: HKEY_LOCAL_MACHINE, or HKEY_CURRENT_USER
    // for a per-user product; the record's "key" lines name that root.
    payload::InstallScope scope = payload::InstallScope::Machine;
};

// Derived texts used in several places.
std::u16string DisplayName(const InstallInputs& in);       // the name a person sees, trimmed
std::u16string IdentityName(const InstallInputs& in);      // the 8-bit name, trimmed: names the Run value
std::u16string LinkName(const InstallInputs& in);          // bad characters dropped + ".lnk"
std::u16string ProgramPath(const InstallInputs& in);       // folder + "\" + exename
std::u16string BareFolder(const InstallInputs& in);        // installfolder without its trailing backslash
std::u16string UninstallerPath(const InstallInputs& in);   // the product's own (registration.hpp); "" without one
// The product's Start-menu folder, ending in a backslash.
std::u16string GroupFolder(const InstallInputs& in);
std::u16string DesktopLinkPath(const InstallInputs& in);

// A string value (REG_SZ) unless `kind` says number (REG_DWORD).  Paths
// are written in UTF-16 (`widevalue`, kind WideText): a folder the user
// chose is never squeezed through the 8-bit code page, nor is a name in
// any script ("DisplayName", "Publisher").  The texts that come from the
// trailer's 8-bit fields stay 8-bit.
enum class RegValueKind { Text, Number, WideText };
struct RegValue {
    std::string key;
    std::string name;  // "" is the default value
    std::string value{};
    RegValueKind kind = RegValueKind::Text;
    std::uint32_t number = 0;
    std::u16string widevalue{};
};
// The text of a string value, whichever form it is written in.
std::u16string ValueText(const RegValue& v);

// "EstimatedSize" of the installed-programs entry: `bytes` in KiB, rounded
// up, at most what a REG_DWORD holds.
std::uint32_t EstimatedSizeKiB(std::int64_t bytes);

struct ServiceInstall {
    std::string name;
    std::u16string programpath;  // installation folder + the slot's program, unquoted
    RegValue programvalue;       // "service" + n
    RegValue namevalue;          // "servicenames" + n
};

// The registration in the order it is written: the App Paths values, then
// per service its installation followed by its two values, then the
// uninstall key's values -- "DisplayName" and "UninstallString", then what
// the system's list of installed programs shows besides the name.  All
// under HKEY_LOCAL_MACHINE.  The install record's identifier follows the
// quiet uninstall command.
struct RegistrationPlan {
    std::vector<RegValue> appvalues;
    std::vector<ServiceInstall> services;
    std::vector<RegValue> uninstallvalues;
};
RegistrationPlan PlanRegistration(const InstallInputs& in);

struct ShortcutSpec {
    std::u16string linkfile;
    std::u16string target;
    std::u16string arguments;
    std::u16string description;
    std::u16string workfolder;
    bool ingroup;  // made only when the Start-menu folder could be created
};

// The ten shortcut kinds in the order of creation: product in the group,
// product in the Start Menu, the extra slots, the uninstaller, the desktop.
std::vector<ShortcutSpec> PlanShortcuts(const InstallInputs& in);

// The install record of this installation without its files and folders
// (the worker adds those as it extracts): identifier, names, program
// folder, the Start-menu folder and every shortcut PlanShortcuts makes
// (the desktop one apart), the settings folder and key, the services and
// the keys PlanRegistration writes.
InstallRecord PlanInstallRecord(const InstallInputs& in);

}  // namespace installengine
