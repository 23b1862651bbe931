#include "installengine/installedproduct.hpp"

#include "installengine/programfolderproof.hpp"
#include "installengine/protectedfolders.hpp"
#include "installengine/registration.hpp"
#include "installengine/uninstallguard.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/fileops.hpp"
#include "setuputil/pathrules.hpp"

namespace installengine {

using namespace setuputil;

InstalledProduct FindInstalledProduct(payload::InstallScope scope, const std::string& productname) {
    InstalledProduct found;
    if (!HasCompletingName(productname)) return found;
    const tregistry registration(RegistrationRoot(scope));
    const std::string key = UninstallKeyFor(productname);
    // A value of another type is no folder either.
    std::u16string location;
    try {
        location = registration.ReadWideString(key, kInstallLocationValue, u"");
        found.version = registration.ReadString(key, kDisplayVersionValue, "");
        found.recordid = registration.ReadString(key, kInstallRecordIdValue, "");
    } catch (const RegistryError&) {
        return {};
    }
    const std::u16string folder = RemoveBackslash(location);
    if (folder.empty() || !IsAbsoluteFolder(folder) || !IsRemovableFolderHere(folder)) return {};
    // A folder that is gone holds nothing to update: the install goes
    // where it is told, and its registration replaces the stale one.
    if (ProgramFolderIsGone(folder)) return {};
    found.installed = true;
    found.folder = folder;
    return found;
}

}  // namespace installengine
