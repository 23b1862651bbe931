// Uninstall mode's start-up: the product's registration values
// (installengine/registration.hpp), read from its App Paths key, into the wizard's trailer
// copy and destination folder.
//
// The registry is reached through a reader function (key path, value name
// -> the string value, "" when missing), so the rules can be checked on the
// host against a stand-in registry.
#pragma once

#include "payload/setuptrailer.hpp"

#include <functional>
#include <string>

namespace mainunit {

using MachineStringReader = std::function<std::string(const std::string& keypath, const std::string& name)>;

// Fills `exename` (from `programname`), `productname`, `startmenufolder`
// and `appdatafolder` of a zeroed `trailer`, and `destfolder`.  Texts are
// cut to their fields' room (255 characters; 520 units for the Start-menu
// folder).  False when the registration lacks a product name or a path:
// there is then nothing the uninstaller could safely remove.
bool LoadUninstallInfo(const std::u16string& programname, const MachineStringReader& read,
                       payload::tsetuptrailer& trailer, std::u16string& destfolder);

}  // namespace mainunit
